# Lays out one architecture of the driver package, ready to install:
#   cmake -DBUILD=<build folder> -DOUT=<folder> -DSETTINGS_TOOL=<program>
#         -DSOURCE=<repository> -P layout.cmake
# The modules are taken from the build folder (wherever its targets put
# them), the data files from package/, and the default settings files are
# made by SETTINGS_TOOL.  A catalog (.cat) is not made: signing it is the
# vendor's step (see the README).
foreach(_v BUILD OUT SETTINGS_TOOL SOURCE)
  if(NOT DEFINED ${_v})
    message(FATAL_ERROR "layout.cmake: -D${_v}=... is missing")
  endif()
endforeach()
include(${CMAKE_CURRENT_LIST_DIR}/package_files.cmake)

file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT})

# A built module by its file name: the one PACKAGE_BUILT_AT names, else
# exactly one in the build folder.
function(find_module name out_var)
  foreach(_at IN LISTS PACKAGE_BUILT_AT)
    if(_at MATCHES "^${name}=(.*)$")
      set(${out_var} ${BUILD}/${CMAKE_MATCH_1} PARENT_SCOPE)
      return()
    endif()
  endforeach()
  file(GLOB_RECURSE _found LIST_DIRECTORIES false ${BUILD}/*/${name})
  list(FILTER _found EXCLUDE REGEX "/CMakeFiles/|/tests/|/_deps/")
  list(LENGTH _found _n)
  if(NOT _n EQUAL 1)
    message(FATAL_ERROR "layout.cmake: ${name}: ${_n} built copies in ${BUILD} (${_found})")
  endif()
  set(${out_var} ${_found} PARENT_SCOPE)
endfunction()

foreach(_m IN LISTS PACKAGE_MODULES)
  find_module(${_m} _path)
  file(COPY_FILE ${_path} ${OUT}/${_m})
endforeach()
foreach(_i IN LISTS PACKAGE_INSTALLED_AS)
  string(REPLACE "=" ";" _pair ${_i})
  list(GET _pair 0 _built)
  list(GET _pair 1 _packaged)
  find_module(${_built} _path)
  file(COPY_FILE ${_path} ${OUT}/${_packaged})
endforeach()
foreach(_r IN LISTS PACKAGE_RENAMED)
  string(REPLACE "=" ";" _pair ${_r})
  list(GET _pair 0 _built)
  list(GET _pair 1 _packaged)
  file(COPY_FILE ${OUT}/${_built} ${OUT}/${_packaged})
endforeach()
foreach(_d IN LISTS PACKAGE_DATA PACKAGE_INFS)
  file(COPY_FILE ${SOURCE}/package/${_d} ${OUT}/${_d})
endforeach()

execute_process(COMMAND ${SETTINGS_TOOL} ${OUT}/carddrv.dat ${OUT}/cardnet.dat RESULT_VARIABLE _rc)
if(NOT _rc EQUAL 0)
  message(FATAL_ERROR "layout.cmake: the default settings files could not be made (${_rc})")
endif()
# The help file is the vendor's to write; the package carries a placeholder
# of that name so that the driver's Help buttons find a file.
file(COPY_FILE ${SOURCE}/package/cardhelp.txt ${OUT}/cardhelp.chm)

file(GLOB _all RELATIVE ${OUT} ${OUT}/*)
list(LENGTH _all _count)
message(STATUS "package: ${_count} files in ${OUT}")
