// Resource ids of TarnControl.dll.
#pragma once
#define IDR_TARNCONTROL 101
#define IDR_TARN 102
#define IDR_TARNEVENTHANDLER 103
