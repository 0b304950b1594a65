// Templates and controls of the small dialogs the tools and the frame share (numbers clear of the
// other templates linked into the program).
#pragma once

#define IDD_INFO 140
#define IDD_INFO_ERROR 190
#define IDD_GENERAL_INPUT 197
#define IDD_INFO_VYR 212
#define IDC_INFO_HEADING 1060
#define IDC_INFO_BODY 1059
#define IDC_ERROR_HEADING 1151
#define IDC_ERROR_TEXT 1152
#define IDC_INPUT_PROMPT 1166
#define IDC_INPUT_TEXT 1165
