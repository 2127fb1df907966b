# Helpers that build one deliverable the same way in both flavours.
#
# card_module(<name> SHARED|EXECUTABLE|WINDOWED
#             LIB <static library with all the module's code>
#             [DEF <exports .def>] [RC <resource script>] [SOURCES <entry sources>...])
#
# windows flavour: a DLL (or EXE) linked with the .def, runtime linked statically.
#                  WINDOWED is a GUI program entered at wWinMain.
# linux flavour:   an ELF shared object named like the DLL, whose dynamic exports are
#                  exactly the .def's names (plus DllMain and the resource blob that
#                  winsim reads), derived into a linker version script.  EXECUTABLE
#                  is a program of the host; WINDOWED a program of the simulated
#                  machine: an ELF shared object named like the EXE that exports
#                  wWinMain, which winsim's CreateProcessW loads afresh for every
#                  process it starts (each process gets its own globals).

function(card_def_names def out_var)
  file(STRINGS ${def} _lines)
  set(_in_exports FALSE)
  set(_names)
  foreach(_l IN LISTS _lines)
    string(STRIP "${_l}" _l)
    if(_l STREQUAL "" OR _l MATCHES "^;")
      continue()
    endif()
    if(_l MATCHES "^EXPORTS")
      set(_in_exports TRUE)
      continue()
    endif()
    if(_l MATCHES "^(LIBRARY|NAME|DESCRIPTION|HEAPSIZE|STACKSIZE|SECTIONS|VERSION)")
      set(_in_exports FALSE)
      continue()
    endif()
    if(_in_exports)
      string(REGEX REPLACE "[ \t=@].*$" "" _n "${_l}")
      list(APPEND _names ${_n})
    endif()
  endforeach()
  set(${out_var} ${_names} PARENT_SCOPE)
endfunction()

# Compiles a .rc with windres into the binary .res form and wraps it in an object
# library that exposes it as `winsim_module_resources`, the way winsim finds a
# module's resources.  Linux flavour only.
function(card_embed_resources target rc)
  find_program(CARD_WINDRES NAMES x86_64-w64-mingw32-windres windres REQUIRED)
  get_filename_component(_rcname ${rc} NAME_WE)
  set(_res ${CMAKE_CURRENT_BINARY_DIR}/${target}_${_rcname}.res)
  set(_asm ${CMAKE_CURRENT_BINARY_DIR}/${target}_${_rcname}_res.S)
  get_filename_component(_rcdir ${rc} DIRECTORY)
  # The preprocessor writes the headers the script includes into a depfile,
  # so that a changed header rebuilds the resources.
  add_custom_command(OUTPUT ${_res}
    COMMAND ${CARD_WINDRES} -c 65001 -DUNICODE -D_UNICODE --preprocessor-arg=-DWINSIM_RC
            --preprocessor-arg=-MD --preprocessor-arg=-MT --preprocessor-arg=${_res}
            --preprocessor-arg=-MF --preprocessor-arg=${_res}.d
            -I ${_rcdir} -I ${CMAKE_SOURCE_DIR}/winsim/include -I ${CMAKE_SOURCE_DIR}
            -O res -i ${rc} -o ${_res}
    DEPENDS ${rc}
    DEPFILE ${_res}.d
    COMMENT "windres ${_rcname}.rc"
    VERBATIM)
  file(WRITE ${_asm}.in
"    .section .rodata
    .balign 16
.Lres_begin:
    .incbin \"${_res}\"
.Lres_end:
    .data
    .balign 8
    .globl winsim_module_resources
    .type winsim_module_resources, @object
winsim_module_resources:
    .quad .Lres_begin
    .quad .Lres_end - .Lres_begin
    .size winsim_module_resources, 16
    .section .note.GNU-stack,\"\",@progbits
")
  configure_file(${_asm}.in ${_asm} COPYONLY)
  set_source_files_properties(${_asm} PROPERTIES OBJECT_DEPENDS ${_res})
  add_library(${target} OBJECT ${_asm})
endfunction()

function(card_module name kind)
  cmake_parse_arguments(M "" "LIB;DEF;RC;OUTPUT_NAME" "SOURCES" ${ARGN})
  if(kind STREQUAL "SHARED")
    add_library(${name} SHARED ${M_SOURCES})
    set_target_properties(${name} PROPERTIES PREFIX "" SUFFIX ".dll")
  elseif(kind STREQUAL "WINDOWED" AND CARD_FLAVOUR STREQUAL "linux")
    add_library(${name} SHARED ${M_SOURCES})
    set_target_properties(${name} PROPERTIES PREFIX "" SUFFIX ".exe")
  elseif(kind STREQUAL "WINDOWED")
    add_executable(${name} WIN32 ${M_SOURCES})
    target_link_options(${name} PRIVATE -municode)
  else()
    add_executable(${name} ${M_SOURCES})
    if(CARD_FLAVOUR STREQUAL "linux")
      set_target_properties(${name} PROPERTIES SUFFIX ".exe")
    endif()
  endif()
  if(M_OUTPUT_NAME)
    set_target_properties(${name} PROPERTIES OUTPUT_NAME ${M_OUTPUT_NAME})
  endif()
  if(M_LIB)
    target_link_libraries(${name} PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${M_LIB}>")
  endif()
  if(CARD_FLAVOUR STREQUAL "windows")
    if(M_DEF)
      target_sources(${name} PRIVATE ${M_DEF})
      if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86")
        # The .def names are undecorated; stdcall exports must come out the same.
        target_link_options(${name} PRIVATE -Wl,--enable-stdcall-fixup -Wl,--kill-at)
      endif()
    endif()
    if(M_RC)
      target_sources(${name} PRIVATE ${M_RC})
      # The resource compiler writes no dependency file: a script that
      # includes others (the dialogs of a module, their identifiers) is
      # rebuilt when any file beside it or below it changes.
      get_filename_component(_rcdir ${M_RC} DIRECTORY)
      file(GLOB_RECURSE _rcparts CONFIGURE_DEPENDS ${_rcdir}/*.rc ${_rcdir}/*.h)
      list(REMOVE_ITEM _rcparts ${M_RC})
      set_source_files_properties(${M_RC} PROPERTIES OBJECT_DEPENDS "${_rcparts}")
    endif()
  else()
    target_link_libraries(${name} PRIVATE winsim)
    if(M_RC)
      card_embed_resources(${name}_res ${M_RC})
      target_link_libraries(${name} PRIVATE ${name}_res)
    endif()
    if(kind STREQUAL "WINDOWED")
      # A program of the simulated machine: only its entry point and its
      # resources are seen from outside.
      set(_vs ${CMAKE_CURRENT_BINARY_DIR}/${name}.version)
      file(WRITE ${_vs} "{\n  global:\n    wWinMain;\n    winsim_module_resources;\n  local: *;\n};\n")
      target_link_options(${name} PRIVATE -Wl,--version-script=${_vs} -Wl,--no-undefined)
      set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS ${_vs})
    elseif(kind STREQUAL "SHARED")
      set(_names)
      if(M_DEF)
        card_def_names(${M_DEF} _names)
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${M_DEF})
      endif()
      set(_vs ${CMAKE_CURRENT_BINARY_DIR}/${name}.version)
      set(_body "{\n  global:\n    DllMain;\n    winsim_module_resources;\n")
      foreach(_n IN LISTS _names)
        string(APPEND _body "    ${_n};\n")
      endforeach()
      string(APPEND _body "  local: *;\n};\n")
      file(WRITE ${_vs} "${_body}")
      target_link_options(${name} PRIVATE -Wl,--version-script=${_vs} -Wl,--no-undefined)
      set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS ${_vs})
    else()
      target_link_options(${name} PRIVATE -Wl,--export-dynamic-symbol=winsim_module_resources)
    endif()
  endif()
  set_property(GLOBAL APPEND PROPERTY CARD_MODULES ${name})
endfunction()

# card_core_and_glue(<name> CORE <sources>... LINK <libraries>...)
#
# A deliverable's code (the current folder's .cpp files but dllmain.cpp) in two
# static libraries: <name>_core, the listed sources, pure logic without Windows
# calls, linking LINK; and <name>_glue, every other source, linking the core.
# Tests of the core link it alone, so that a Windows call slipping into it
# fails to link.
function(card_core_and_glue name)
  cmake_parse_arguments(S "" "" "CORE;LINK" ${ARGN})
  list(TRANSFORM S_CORE PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/)
  file(GLOB _glue CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(REMOVE_ITEM _glue ${CMAKE_CURRENT_SOURCE_DIR}/dllmain.cpp ${S_CORE})
  add_library(${name}_core STATIC ${S_CORE})
  target_link_libraries(${name}_core PUBLIC ${S_LINK})
  add_library(${name}_glue STATIC ${_glue})
  target_link_libraries(${name}_glue PUBLIC ${name}_core)
endfunction()

# A GoogleTest executable run by CTest.  Each test case gets CARD_TEST_TIMEOUT
# seconds; the thread sanitizer's build, several times slower, sets more.
set(CARD_TEST_TIMEOUT 120 CACHE STRING "Time-out of one test case, in seconds")
function(card_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT CARD_TESTS)
    return()
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_link_options(${name} PRIVATE -Wl,--export-dynamic-symbol=winsim_module_resources)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST PROPERTIES TIMEOUT ${CARD_TEST_TIMEOUT})
endfunction()
