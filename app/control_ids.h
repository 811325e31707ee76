// The controls of the two windows, by the ids their templates give them: the Windows
// resource script, the Qt forms (as object names "id_<number>") and the main window's
// logic all use these. Plain #defines, as the resource compiler reads this file too.
#pragma once

#define IDC_NONE 0  // a command that matches no control (such as Escape)
#define IDC_FINDIMAGE 3
#define IDC_EXIT 4
#define IDC_CONNECT 1000
#define IDC_UPDATE 1001
#define IDC_TRANSMIT 1003
#define IDC_RECEIVE 1004
#define IDC_FILENAME 1005
#define IDC_SERIAL 1009
#define IDC_VERSION 1010
#define IDC_PROGRESS_CANCEL 1011
#define IDC_PROGRESS_CAPTION 1012
#define IDC_PROGRESS_BAR 1013
