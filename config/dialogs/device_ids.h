// Numbers of the device sheet's dialogs (About, encoder settings, advanced
// encoder settings, device information, single feed), their controls and
// their strings.  Plain #defines: the resource script includes this too.
#pragma once

// ------------------------------------------------------------ templates
#define IDD_ABOUT 102
#define IDD_ENCODER 104
#define IDD_ENCODER_ADVANCED 105
#define IDD_DEVICE_INFO 113
#define IDD_SINGLE_FEED 122

// ------------------------------------------------------------ shared controls
#define IDC_HELP_BUTTON 1006
#define IDC_CLOSE_BUTTON 1605
#define IDC_RESTORE_DEFAULTS 1604

// ------------------------------------------------------------ About (102)
#define IDC_ABOUT_VERSION 2068

// ------------------------------------------------------------ encoder settings (104)
#define IDC_MACRO_PROCESSING 1600
#define IDC_START_OF_DATA 1601
#define IDC_END_OF_DATA 1602
#define IDC_ADVANCED_SETTINGS 1603
#define IDC_ENCODER_CANCEL 1605
#define IDC_COERCIVITY_HIGH 1620
#define IDC_COERCIVITY_LOW 1621
#define IDC_COERCIVITY_UNCHANGED 1622
#define IDC_POSITION_REVERSED 1623
#define IDC_POSITION_NORMAL 1624
#define IDC_TYPE_ISO_JIS 1625
#define IDC_TYPE_JIS2 1626
#define IDC_TYPE_AAMVA 1627
#define IDC_ENCODER_APPLY 1655

// ------------------------------------------------------------ advanced settings (105)
#define IDC_TRACK1 1628
#define IDC_TRACK2 1629
#define IDC_TRACK3 1630
#define IDC_TRACK_MODE 1631
#define IDC_TRACK_DENSITY 1640
#define IDC_START_CHAR 1645
#define IDC_STOP_CHAR 1646
#define IDC_START_POSITION 1647
#define IDC_CHAR_PARITY_NONE 1648
#define IDC_CHAR_PARITY_EVEN 1649
#define IDC_CHAR_PARITY_ODD 1650
#define IDC_LRC_PARITY_NONE 1651
#define IDC_LRC_PARITY_EVEN 1652
#define IDC_LRC_PARITY_ODD 1653
#define IDC_TRACK_APPLY 1654
// The labels and group boxes of the controls that only bit modes use.
#define IDC_STARTSTOP_GROUP 1660
#define IDC_START_CHAR_LABEL 1661
#define IDC_STOP_CHAR_LABEL 1662
#define IDC_POSITION_GROUP 1663
#define IDC_START_POSITION_LABEL 1664
#define IDC_START_POSITION_UNIT 1665
#define IDC_CHAR_PARITY_GROUP 1666
#define IDC_LRC_PARITY_GROUP 1667

// ------------------------------------------------------------ device information (113)
#define IDC_INFO_HEAD_RESISTANCE 1001
#define IDC_INFO_MODEL 1003
#define IDC_INFO_SERIAL 1004
#define IDC_INFO_ENCODER 1005
#define IDC_INFO_PANELS 1008
#define IDC_INFO_VENDOR 1009
#define IDC_INFO_SMART_CARD 1218
#define IDC_INFO_RIBBON 1990
#define IDC_INFO_REMAINING 1991

// ------------------------------------------------------------ single feed (122)
#define IDC_SINGLE_FEED_OFF 1004
#define IDC_SINGLE_FEED_ON 1005
#define IDC_SINGLE_FEED_STATUS 39

// ------------------------------------------------------------ strings
// Track modes, in block order (mode n is string 1631 + n), and densities.
#define IDS_TRACK_MODE_FIRST 1631
#define IDS_TRACK_DENSITY_FIRST 1640
// The device sheet's items.
#define IDS_ITEM_MODEL 2000
#define IDS_ITEM_ENCODER 2003
#define IDS_ITEM_TOOLS 2004
#define IDS_ITEM_ABOUT 2069
#define IDS_ITEM_FIRMWARE 2078
#define IDS_ITEM_SINGLE_FEED 2134
#define IDS_ITEM_DEVICE_INFO 2137
