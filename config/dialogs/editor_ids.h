// Numbers of the overlay and hologram editors: templates, controls and
// strings.  Plain defines, read by the resource compiler and the C++ alike.
#pragma once

// Templates.
#define IDD_FRONT_OVERLAY 108
#define IDD_BACK_OVERLAY 117
#define IDD_HOLOGRAM 110
#define IDD_HOLOGRAM_AREA 111

// Controls every editor has.
#define IDC_EDITOR_HELP 1006
#define IDC_EDITOR_CLOSE 1605
#define IDC_AREA_PREVIEW 1240
#define IDC_EDITOR_STATIC -1  // labels and frames the code never touches

// The varnish area editors (108, 117).
#define IDC_OVERLAY_TYPE 1231
#define IDC_OVERLAY_LEFT_LABEL 1241
#define IDC_OVERLAY_TOP_LABEL 1242
#define IDC_OVERLAY_RIGHT_LABEL 1243
#define IDC_OVERLAY_BOTTOM_LABEL 1244
#define IDC_OVERLAY_LEFT 1245
#define IDC_OVERLAY_TOP 1246
#define IDC_OVERLAY_RIGHT 1247
#define IDC_OVERLAY_BOTTOM 1248
#define IDC_OVERLAY_BITMAP_GROUP 1249
#define IDC_OVERLAY_LEFT_SPIN 1250
#define IDC_OVERLAY_TOP_SPIN 1251
#define IDC_OVERLAY_RIGHT_SPIN 1252
#define IDC_OVERLAY_BOTTOM_SPIN 1253
#define IDC_OVERLAY_BROWSE 1254
#define IDC_OVERLAY_PATH 1255
#define IDC_OVERLAY_ROTATE 1256

// The hologram area editor (111): the same layout, its own numbers (the
// preview box, Help and Close are shared).
#define IDC_HOLOGRAM_TYPE 1261
#define IDC_HOLOGRAM_LEFT_LABEL 1271
#define IDC_HOLOGRAM_TOP_LABEL 1272
#define IDC_HOLOGRAM_RIGHT_LABEL 1273
#define IDC_HOLOGRAM_BOTTOM_LABEL 1274
#define IDC_HOLOGRAM_LEFT 1275
#define IDC_HOLOGRAM_TOP 1276
#define IDC_HOLOGRAM_RIGHT 1277
#define IDC_HOLOGRAM_BOTTOM 1278
#define IDC_HOLOGRAM_BITMAP_GROUP 1279
#define IDC_HOLOGRAM_LEFT_SPIN 1280
#define IDC_HOLOGRAM_TOP_SPIN 1281
#define IDC_HOLOGRAM_RIGHT_SPIN 1282
#define IDC_HOLOGRAM_BOTTOM_SPIN 1283
#define IDC_HOLOGRAM_BROWSE 1284
#define IDC_HOLOGRAM_PATH 1285
#define IDC_HOLOGRAM_ROTATE 1286

// The hologram dialog (110).
#define IDC_HOLOGRAM_AREA_BUTTON 1290
#define IDC_HOLOGRAM_ENABLE 1291
#define IDC_HOLOGRAM_PRINT 1292
#define IDC_HOLOGRAM_COPIES 1293
#define IDC_HOLOGRAM_HEAD_SETTINGS 1294

// Strings: the varnish types 0 to 7, the hologram types 0 to 3, and the
// messages.  Captions (2009) and "System Error" (2019) are the module's
// shared strings.
#define IDS_OVERLAY_TYPE_FIRST 1231
#define IDS_HOLOGRAM_TYPE_FIRST 1261
#define IDS_BITMAP_NOT_MONOCHROME 2100
#define IDS_INVALID_COUNT 2131
#define IDS_INVALID_COORDINATES 2138
#define IDS_EDITOR_CAPTION 2009
#define IDS_EDITOR_SYSTEM_ERROR 2019
