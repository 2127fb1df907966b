// Identifiers of the dialogs in dialogs.rc, shared by the script and the tests.
#pragma once

#define IDD_ALL 300
#define IDD_PLAIN 301
#define IDD_NOFONT 302

#define IDC_LABEL 1000
#define IDC_NAME 1001
#define IDC_DUPLEX 1002
#define IDC_VARNISH 1003
#define IDC_SIDEBOX 1004
#define IDC_FRONT 1005
#define IDC_BACK 1006
#define IDC_BOTH 1007
#define IDC_OTHER 1008
#define IDC_RIBBON 1009
#define IDC_BLACK 1010
#define IDC_COPIES 1011
#define IDC_COPIES_SPIN 1012
#define IDC_APPLY 1013
