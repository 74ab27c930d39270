/* Control IDs of the main window and the About box. Included by the window logic and by
   resources/quorv.rc, so it holds nothing but #define lines. */
#ifndef QUORV_UI_CONTROL_IDS_H
#define QUORV_UI_CONTROL_IDS_H

#define IDC_FILES 1000
#define IDC_ADD_FILES 1001
#define IDC_BLOCKS 1003
#define IDC_ANALYZE 1004
#define IDC_DETAILS 1005
#define IDC_REMOVE 1006
#define IDC_PROBLEMS_ONLY 1007
#define IDC_QUIT 1008
#define IDC_ABOUT 1009
#define IDC_STATUS 1010
#define IDC_ABOUT_ICON 1012
#define IDC_VERSION 1013
#define IDC_BUILD_INFO 1014
#define IDC_ABOUT_OK 1015

#define IDR_ACCELERATORS 105

#endif
