# Prefixed requests, capture jobs and the ribbon cache file: included by this
# folder's CMakeLists.txt, which builds the lists into the libraries and tests.
# Their pure rules (request and capture names, command-file lines, firmware
# framing) and the capture temp file live in shared/, with their tests.
set(_usbreq ${CMAKE_CURRENT_LIST_DIR})
list(APPEND USBMON_GLUE_SOURCES ${_usbreq}/interception.cpp ${_usbreq}/ribbon_check.cpp ${_usbreq}/ribbon_file.cpp)
list(APPEND USBMON_GLUE_TEST_SOURCES ${_usbreq}/tests/requests_glue_test.cpp ${_usbreq}/tests/capture_test.cpp
     ${_usbreq}/tests/requests_scenario_test.cpp
     ${_usbreq}/tests/ribbon_test.cpp)
unset(_usbreq)
