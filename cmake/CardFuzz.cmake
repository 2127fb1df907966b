# libFuzzer targets (clang, linux flavour).  libFuzzer steers by the coverage
# of the code it runs, so a target must link builds of the libraries it
# exercises that carry the coverage instrumentation, not only an instrumented
# harness: the plain libraries stay as they are for the programs and tests.
#
# card_fuzz_library(<name> FROM <library> [LINK <libraries>...])
#     <library>'s own sources built again, instrumented (-fsanitize=fuzzer-no-link),
#     with its include directories, definitions and options; LINK replaces its
#     link libraries (give the instrumented builds of the ones under test).
# card_fuzz_target(<name> SOURCES <harness sources>... [LIBS <libraries>...])
#     the libFuzzer program.
#
# CARD_FUZZING tells whether the compiler can build them.  Without sanitizers
# for the whole build, fuzz code adds the address and undefined-behaviour ones.
# Included by each folder with fuzz targets: the variables below are the
# folder's own.
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang" AND CARD_FLAVOUR STREQUAL "linux")
  set(CARD_FUZZING ON)
else()
  set(CARD_FUZZING OFF)
endif()
if(CARD_SANITIZE)
  set(CARD_FUZZ_SANITIZERS "")
else()
  set(CARD_FUZZ_SANITIZERS ",address,undefined")
endif()

function(card_fuzz_library name)
  cmake_parse_arguments(F "" "FROM" "LINK" ${ARGN})
  get_target_property(_dir ${F_FROM} SOURCE_DIR)
  get_target_property(_sources ${F_FROM} SOURCES)
  set(_absolute)
  foreach(_s IN LISTS _sources)
    cmake_path(ABSOLUTE_PATH _s BASE_DIRECTORY ${_dir})
    list(APPEND _absolute ${_s})
  endforeach()
  add_library(${name} STATIC ${_absolute})
  foreach(_p INCLUDE_DIRECTORIES INTERFACE_INCLUDE_DIRECTORIES COMPILE_DEFINITIONS INTERFACE_COMPILE_DEFINITIONS
          COMPILE_OPTIONS)
    get_target_property(_v ${F_FROM} ${_p})
    if(_v)
      set_property(TARGET ${name} PROPERTY ${_p} ${_v})
    endif()
  endforeach()
  target_link_libraries(${name} PUBLIC ${F_LINK})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer-no-link${CARD_FUZZ_SANITIZERS})
endfunction()

function(card_fuzz_target name)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer${CARD_FUZZ_SANITIZERS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer${CARD_FUZZ_SANITIZERS})
endfunction()
