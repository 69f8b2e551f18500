// Identifiers of the program's resources, controls and timer, shared by the
// resource script and the code.
#pragma once

#define IDD_MAIN 101
#define IDI_APP 103

#define IDC_STATIC (-1)
#define IDC_EXIT 1001
#define IDC_FIRST_NUMBER 1002
#define IDC_RUN 1004
#define IDC_PROGRESS 1005
#define IDC_THROUGH_LAST 1006
#define IDC_OUTPUT_FILE 1008

#define IDT_PROGRESS 1
