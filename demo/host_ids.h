// Resource and control IDs of QvxDemo.exe, shared by its .rc, the host and
// the story that drives it.
#pragma once

#define IDD_QVXDEMO 100
#define IDM_QVXDEMO 101

#define IDC_NUMBER 1001   // the number box
#define IDC_VALUE 1002    // the value read from it
#define IDC_STATUS 1003   // the outcome of the last update action
#define IDC_CONTROL 1004  // the container window holding the control

#define ID_FILE_EXIT 40001
#define ID_EDIT_COPY 40002
#define ID_EDIT_PASTE 40003
#define ID_EDIT_CLEAR 40004
#define ID_HELP_DOWNLOAD 40005
#define ID_HELP_ABOUT 40006
