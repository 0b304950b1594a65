// The commands of the frame's menus. Tools below the frame post some of them to the frame's
// window (a beginner goes on from the open-device dialog to the Device Explorer); the frame's
// resources and command map take the same numbers from here.
#pragma once

#define ID_OPEN_DEVICE 32771
#define ID_COMMAND_DIALOG 32772
#define ID_TEST_RESERVED 32773
#define ID_FUNCTION_PROFILER 32774
#define ID_SECTOR_EXPLORER 32778
#define ID_DEVICE_EXPLORER 32780
#define ID_VOLUME_DUPLICATE 32783
#define ID_OPTIONS 32789
#define ID_SAVE_SCRIPT 32800
#define ID_RUN_SCRIPT 32801
#define ID_STOP_SCRIPT 32802
#define ID_SCRIPT_HELP 32804
#define ID_OPEN_SCRIPT 32809
#define ID_CLOSE_SCRIPT 32810
#define ID_VOLUME_TREE 32812
#define ID_DEVICE_DUPLICATE 32827
#define ID_SAVE_LOG 32832
#define ID_CLEAR_LOG 32833
#define ID_EXTERNAL_TOOL1 32836
#define ID_EXTERNAL_TOOL2 32837
#define ID_GET_LAST_ERROR 32838
#define ID_NEW_SCRIPT 32852
#define ID_VYR_ANALYZER 32854
#define ID_SELECT_NAND 32861
#define ID_SELECT_NOR 32862
#define ID_SELECT_SPI 32863
#define ID_RESET_DEVICE 32880
#define ID_DUMP_DEBUG 32886
#define ID_DEBUG_VIEWER 32887
#define ID_EXT_GFSL_MODULE 32888
#define ID_EXT_ECC_MODULE 32889
