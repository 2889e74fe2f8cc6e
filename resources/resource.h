#pragma once
// Resource identifiers shared by resources.rc and the code that loads them.

// The status window's dialog template and its controls.
#define IDD_PROGRESS 101
#define IDC_STATUS_TEXT 1001
#define IDC_STEP_TEXT 1002

// The program's icon, shown in the status window.
#define IDI_PROGRAM 102
