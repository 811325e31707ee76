// Control ids of the two window templates; the same numbers as ui/main_window.h's.
#pragma once

#define IDC_CONNECT 1000
#define IDC_UPDATE 1001
#define IDC_TRANSMIT 1003
#define IDC_RECEIVE 1004
#define IDC_FILENAME 1005
#define IDC_SERIAL 1009
#define IDC_VERSION 1010
#define IDC_FINDIMAGE 3
#define IDC_EXIT 4
#define IDC_PROGRESS_CANCEL 1011
#define IDC_PROGRESS_CAPTION 1012
#define IDC_PROGRESS_BAR 1013
