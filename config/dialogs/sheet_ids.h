// Numbers of the card setup sheet's strings and of its two dialogs, colour
// correction (109) and head settings (107).  Plain defines: the resource
// script includes this file too.
#pragma once

// ------------------------------------------------------------ dialog 109
#define IDD_SHEET_COLOUR 109
#define IDC_SHEET_COLOUR_TRACK_FIRST 1901  // 1901..1908: black, red, green, blue intensity, then contrast
#define IDC_SHEET_COLOUR_LABEL_FIRST 1910  // 1910..1917: the value of each trackbar
#define IDC_SHEET_COLOUR_PREVIEW 1918      // the frame around the preview
#define SHEET_COLOUR_TRACKS 8

// ------------------------------------------------------------ dialog 107
#define IDD_SHEET_HEAD 107
#define IDC_SHEET_HEAD_TRACK_FIRST 1800  // 1800..1810
#define IDC_SHEET_HEAD_LABEL_FIRST 1811  // 1811..1821
#define SHEET_HEAD_TRACKS 11

// Buttons of both dialogs.
#define IDC_SHEET_RESTORE 1604
#define IDC_SHEET_CLOSE 1605
#define IDC_SHEET_HELP 1006

// ------------------------------------------------------------ sheet strings
#define IDS_SHEET_HEADING 2020
#define IDS_SHEET_ORIENTATION 2005
#define IDS_SHEET_PORTRAIT 2021
#define IDS_SHEET_LANDSCAPE 2022
#define IDS_SHEET_ROTATION 2006
#define IDS_SHEET_ROTATE_NONE 2023
#define IDS_SHEET_ROTATE_FRONT 2024
#define IDS_SHEET_ROTATE_BACK 2090
#define IDS_SHEET_ROTATE_BOTH 2091
#define IDS_SHEET_COLOUR_ADJUST 2007
#define IDS_SHEET_RIBBON 2026
#define IDS_SHEET_RIBBON_DETAILS 2030
#define IDS_SHEET_MONO_RESIN 2056
#define IDS_SHEET_MONO_SCRATCH 2057
#define IDS_SHEET_MONO_VARNISH 2058
#define IDS_SHEET_BOTH_SIDES 2052
#define IDS_SHEET_NO 2028
#define IDS_SHEET_YES 2027
#define IDS_SHEET_LAYOUT 2053
#define IDS_SHEET_MONO_CONVERSION 2036
#define IDS_SHEET_DIFFUSION 2034
#define IDS_SHEET_HALFTONE 2032
#define IDS_SHEET_BLACK_PANEL 2041
#define IDS_SHEET_BLACK_NEVER 2037
#define IDS_SHEET_BLACK_ALWAYS 2038
#define IDS_SHEET_BLACK_TEXT 2039
#define IDS_SHEET_BLACK_EXCEPT 2040
#define IDS_SHEET_BLACK_BITMAP 2044
#define IDS_SHEET_OFF 2042
#define IDS_SHEET_ON 2043
#define IDS_SHEET_FRONT_OVERLAY 2045
#define IDS_SHEET_OVERLAY 2540
#define IDS_SHEET_BACK_OVERLAY 2054
#define IDS_SHEET_HOLOGRAM 2046
#define IDS_SHEET_HEAD_SETTINGS 2047
#define IDS_SHEET_PRINTING_MODE 2095
#define IDS_SHEET_MODE_PRINT 2092
#define IDS_SHEET_MODE_ENCODE 2048
#define IDS_SHEET_MODE_BOTH 2314
#define IDS_SHEET_COPIES 2135

// Shared strings of the module's own table (cardcfg.rc).
#define IDS_SHEET_CAPTION 2009
#define IDS_SHEET_SYSTEM_ERROR 2019
#define IDS_SHEET_HELP_FILE 200
