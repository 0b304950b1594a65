// Resource identifiers of the main program.
#pragma once

#define IDR_MAINFRAME 128
#define IDD_ABOUTBOX 100
#define IDS_OLE_INIT_FAILED 100
#define IDS_BUILD_NUMBER 101
#define IDS_APP_TITLE 57344

#define IDD_SPLASH 192
#define IDC_SPLASH_STATUS 1248

#define IDD_OPTIONS_GENERAL 149
#define IDD_OPTIONS_EXTFSLIB 150
#define IDD_OPTIONS_LLD 191
#define IDD_OPTIONS_VYR 210
#define IDD_OPTIONS_TOOLS 188

#define IDC_CONFIRM_OPERATIONS 1094
#define IDC_PATH_EDIT 1053
#define IDC_PATH_BROWSE 1054
#define IDC_PATH_INFO 1095
#define IDC_KIND_NOR 1128
#define IDC_KIND_NAND 1129
#define IDC_KIND_SPI 1130
#define IDC_KIND_OSTRA2 1131
#define IDC_WINDOW_SIZE 1012
#define IDC_WINDOW_SIZE_LABEL 1013
#define IDC_NOR_PATH 1156
#define IDC_NOR_BROWSE 1158
#define IDC_NOR_INFO 1154
#define IDC_VELTAN_PATH 1157
#define IDC_VELTAN_BROWSE 1159
#define IDC_VELTAN_INFO 1155
#define IDC_VYR_INFO 1190
#define IDC_VYR_WITHOUT_FS 1262
#define IDC_TOOL2_PATH 1055
#define IDC_TOOL2_BROWSE 1056
#define IDC_TOOL2_INFO 1096

#define IDC_ABOUT_LABEL1 1099
#define IDC_ABOUT_LABEL2 1100
#define IDC_ABOUT_LABEL3 1101
#define IDC_ABOUT_VERSION 1117
#define IDC_ABOUT_LABEL5 1127

#define ID_APP_ABOUT 57664

// The frame, its menus and the command dialog: menu 128 is the frame's own, 129 the thread
// windows' (advanced and standard level), 178 the beginner's.
#define IDR_BRAMBTYPE 129
#define IDR_BEGINNER 178
#define IDD_COMMAND 130
#define IDC_COMMAND_LABEL 1099
#define IDC_COMMAND_LINE 1013
#define IDC_COMMAND_SUBMIT 1014

#define ID_FILE_NEW 57600
#define ID_FILE_PRINT_SETUP 57606
#define ID_FILE_PRINT 57607
#define ID_FILE_PRINT_DIRECT 57608
#define ID_FILE_PRINT_PREVIEW 57609
#define ID_APP_EXIT 57665
#define ID_WINDOW_CASCADE 57650
#define ID_WINDOW_TILE_HORZ 57651

// The program's own menu commands (the tools post some of them to the frame).
#include "command_ids.h"

#define ID_BAR_MENU 23366
#define ID_BAR_SCRIPT_EDITOR 32797
#define ID_BAR_SCRIPT_LOG 32798
#define ID_BAR_VOLUME_TREE 23368
#define ID_BAR_TOOLBAR 59392
#define ID_BAR_STATUS 59393
#define IDC_DEVICE_SELECTOR 103
// Puts the docking panes back where a first start has them.
#define ID_VIEW_RESET_LAYOUT 33001

#define ID_EDIT_CLEAR 57632
#define ID_EDIT_COPY 57634
#define ID_EDIT_CUT 57635
#define ID_EDIT_PASTE 57637
#define ID_EDIT_SELECT_ALL 57642
