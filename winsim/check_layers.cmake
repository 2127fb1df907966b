# Checks that every folder of winsim depends only on the folders below it:
#  - no source or header of a folder includes a header of a folder above it;
#  - no object of a folder calls a function (or uses data) that a folder above
#    it defines: an upward call must go through a hook the upper folder
#    registers.
# Run as a test: cmake -DLAYERS_FILE=<generated list> -DSRC=<winsim/src> -DNM=<nm> -P check_layers.cmake
include(${LAYERS_FILE})  # sets WINSIM_LAYERS and OBJECTS_<layer>

set(problems "")
list(LENGTH WINSIM_LAYERS count)
math(EXPR last "${count} - 1")

# Includes.
foreach(i RANGE ${last})
  list(GET WINSIM_LAYERS ${i} layer)
  file(GLOB_RECURSE files ${SRC}/${layer}/*.cpp ${SRC}/${layer}/*.h)
  foreach(f IN LISTS files)
    file(STRINGS ${f} includes REGEX "^#include \"[a-z0-9_]+/")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^#include \"([a-z0-9_]+)/.*" "\\1" folder "${line}")
      list(FIND WINSIM_LAYERS ${folder} j)
      if(j GREATER i)
        file(RELATIVE_PATH rel ${SRC} ${f})
        string(APPEND problems "  ${rel} includes ${folder}/ (above ${layer}): ${line}\n")
      endif()
    endforeach()
  endforeach()
endforeach()

# Symbols: what each folder defines (strong definitions only; inline and
# template code is defined weakly wherever it is used) and what it needs.
foreach(layer IN LISTS WINSIM_LAYERS)
  execute_process(COMMAND ${NM} --defined-only ${OBJECTS_${layer}} OUTPUT_VARIABLE out RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "nm failed on the objects of ${layer}")
  endif()
  string(REGEX MATCHALL "[0-9a-f]+ [TDBR] [^\n]+" defs "${out}")
  list(TRANSFORM defs REPLACE "^[0-9a-f]+ [TDBR] " "")
  set(DEFS_${layer} ${defs})
  execute_process(COMMAND ${NM} -u ${OBJECTS_${layer}} OUTPUT_VARIABLE out)
  string(REGEX MATCHALL " U [^\n]+" undefs "${out}")
  list(TRANSFORM undefs REPLACE "^ U " "")
  list(REMOVE_DUPLICATES undefs)
  set(UNDEFS_${layer} ${undefs})
endforeach()
foreach(i RANGE ${last})
  list(GET WINSIM_LAYERS ${i} layer)
  foreach(j RANGE ${i} ${last})
    if(j EQUAL i)
      continue()
    endif()
    list(GET WINSIM_LAYERS ${j} upper)
    set(both ${UNDEFS_${layer}})
    list(FILTER both INCLUDE REGEX ".")
    foreach(sym IN LISTS both)
      list(FIND DEFS_${upper} "${sym}" k)
      if(k GREATER -1)
        string(APPEND problems "  ${layer} uses ${sym}, defined by ${upper} above it\n")
      endif()
    endforeach()
  endforeach()
endforeach()

if(problems)
  message(FATAL_ERROR "winsim's folders must depend only on the folders below them "
                      "(${WINSIM_LAYERS}):\n${problems}")
endif()
message(STATUS "winsim layers in order: ${WINSIM_LAYERS}")
