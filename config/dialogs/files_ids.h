// Numbers of the Send File dialog and the firmware download page, their
// controls and their strings.  Plain #defines: the resource script includes
// this too.
#pragma once

// ------------------------------------------------------------ templates
#define IDD_FIRMWARE 116
#define IDD_SEND_FILE 2147

// ------------------------------------------------------------ firmware download (116)
#define IDC_FIRMWARE_START 1992
#define IDC_FIRMWARE_PATH 1993
#define IDC_FIRMWARE_SELECT 1994
#define IDC_FIRMWARE_STATUS 1995
#define IDC_FIRMWARE_TYPE 1996
#define IDC_FIRMWARE_CHECKSUM 1997

// ------------------------------------------------------------ Send File (2147)
#define IDC_SEND_PATH 2140
#define IDC_SEND_PRN 2141
#define IDC_SEND_TEXT 2142
#define IDC_SEND_SELECT 2143
#define IDC_SEND_STATUS 2144
#define IDC_SEND_FILE 2145

// ------------------------------------------------------------ strings
#define IDS_FW_DOWNLOADED 2079
#define IDS_FW_UPDATING 2080
#define IDS_FW_DOWNLOADING 2081
#define IDS_FW_ERROR 2086
#define IDS_FW_OPEN_ERROR 2087
#define IDS_FW_SIZE_ERROR 2088
#define IDS_FW_READ_ERROR 2089
#define IDS_FW_INCORRECT 2099
#define IDS_FW_RESET_WAIT 2133
#define IDS_SEND_SUCCESS 2140
#define IDS_SEND_ERROR 2141
#define IDS_SEND_SENDING 2142
#define IDS_SEND_CHOSEN 2146
#define IDS_FILES_CAPTION 2009
