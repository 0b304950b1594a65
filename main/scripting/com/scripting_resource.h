// Resources of the scripting part of the main program (its .rc joins the program's resources).
#pragma once
#define IDR_LUMIVEX_APPID 172
#define IDR_LXOBJECT 168
#define IDR_HELP_SCRIPT 175
#define IDS_SCRIPT_ERROR 1020
