// A thread window's rich-edit view as a container of embedded objects: the Insert New Object
// command and the selected object's verbs. The frame routes the command ids here; nothing else of
// the frame is known. Every failure is said in a message box, never passed over.
#pragma once
#include <windows.h>

namespace lx {
namespace container {

constexpr UINT kInsertNewObject = 57857;
constexpr UINT kFirstVerb = 57872;  // verb 0 of the selected object
constexpr UINT kLastVerb = 57887;   // verb 15

// Lets the rich edit hold objects: each gets storage of its own in memory. False when the control
// refuses (it then still shows text).
bool Attach(HWND richEdit);

bool IsCommand(UINT id);
// Insert: the view holds objects. A verb: an object is selected and has that verb.
bool IsEnabled(HWND richEdit, UINT id);
// Runs the command on the view; `owner` owns the dialog and the messages.
void Run(HWND owner, HWND richEdit, UINT id);

}  // namespace container
}  // namespace lx
