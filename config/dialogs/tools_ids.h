// Numbers of the printer tools dialog, its controls and its strings.  Plain
// #defines: the resource script includes this too.
#pragma once

#define IDD_TOOLS 112

// ------------------------------------------------------------ command
#define IDC_TOOLS_EXECUTE 1950
#define IDC_TOOLS_COMMAND 1951
#define IDC_TOOLS_STATUS 1966

// ------------------------------------------------------------ test card and cleaning
#define IDC_TOOLS_PRINT 1953
#define IDC_TOOLS_CLEAN 1954
#define IDC_TOOLS_TEST_CARD 1968
#define IDC_TOOLS_CLEANING 1969

// ------------------------------------------------------------ offsets
#define IDC_TOOLS_FRONT_X 1956
#define IDC_TOOLS_FRONT_Y 1957
#define IDC_TOOLS_BACK_X 1970
#define IDC_TOOLS_BACK_Y 1973
#define IDC_TOOLS_SET_OFFSETS 1958

// ------------------------------------------------------------ magnetic encoding
#define IDC_TOOLS_TRACK1_DATA 1959
#define IDC_TOOLS_TRACK2_DATA 1960
#define IDC_TOOLS_TRACK3_DATA 1961
#define IDC_TOOLS_TRACK1 1962
#define IDC_TOOLS_TRACK2 1963
#define IDC_TOOLS_TRACK3 1964
#define IDC_TOOLS_ENCODE 1965
#define IDC_TOOLS_READ 1967

// ------------------------------------------------------------ other buttons
#define IDC_TOOLS_EJECT 1952
#define IDC_TOOLS_SEND_FILE 1009
#define IDC_TOOLS_HELP 1006
#define IDC_TOOLS_CLOSE 1605

// ------------------------------------------------------------ strings
#define IDS_TOOLS_CAPTION 2009
#define IDS_TEST_PRINTER_PARAMETERS 2059
#define IDS_TEST_ENCODER_PARAMETERS 2060
#define IDS_CONFIRM_OFFSETS 2063
#define IDS_CONFIRM_CLEANING 2065
#define IDS_TEST_STANDARD 2066
#define IDS_CARD_IN_FEEDER 2067
#define IDS_INVALID_TRACK_CHARACTER 2070
#define IDS_TRACK_TOO_LONG 2071
#define IDS_OFFSET_TOO_LARGE 2072
#define IDS_CLEAN_PRINTER_ONLY 2075
#define IDS_NO_DATA_TO_ENCODE 2077
