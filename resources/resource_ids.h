// Resource and control ids, shared by the resource script and the program.
#pragma once

// Dialog templates.
#define QRT_IDD_MAIN 102
#define QRT_IDD_NO_ADMIN_RIGHTS 150

// Icon and bitmap.
#define QRT_IDI_MAIN 155
#define QRT_IDB_PICTURE 157

// The built-in description script: resource type SCRIPTFILE, id 161.
#define QRT_IDR_SCRIPT 161
// The Process Status Helper library for Windows NT 4 (RCDATA).
#define QRT_IDR_PSAPI 162

// Controls of the main window.
#define QRT_IDC_START 1000
#define QRT_IDC_STOP 1001
#define QRT_IDC_OUTPUT 1003
#define QRT_IDC_STATUS 1004
#define QRT_IDC_EXIT 1005
#define QRT_IDC_SCAN_GROUP 1006

// Controls of the no-administrator-rights dialog.
#define QRT_IDC_NO_ADMIN_TEXT 1008

// Status bar panes of the main window.
#define QRT_ID_PANE_STATUS 101
#define QRT_ID_PANE_CLOCK 102
