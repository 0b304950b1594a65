// The device explorers as far as the frame opens them: the NOR explorer and the reset window
// live in nor/ (nor_explorer.h), the NAND explorer in veltan/ (veltan_explorer.h); the device
// duplicate is one of the programming tools (tools/programming/programming.h).
#pragma once
#include <cstdint>

#include "lxmfc.h"
#include "nor_explorer.h"
#include "veltan_explorer.h"

// The frame's commands. Device Explorer: by the options' device kind, destroys the explorer
// when it exists, else creates and shows it on its first page or window.
void ToggleDeviceExplorer(CWnd* frame);
// When the frame goes away: every explorer (the sector explorer too) goes, or, while one of its
// operations runs, hides and goes when the operation returns.
void DestroyExplorers(CWnd* frame);
// Asked before the frame closes: false, after a message, while any explorer waits in an operation
// of its own (a dialog, sheet or message box it opened, a loop it runs). A running search does not
// hold the frame: it stops when the explorers go.
bool ExplorersLetTheFrameClose(CWnd* frame);
