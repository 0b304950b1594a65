// The program as the COM server of "LXActiveScript.LXObject": the class object registered while
// the program runs, the registration of the class, its application id and its type library,
// and the run of a program that COM started only to serve the class.
#pragma once
#include <windows.h>

namespace lx {

// The program's COM module: its instance (whose resources hold the type library).
void InitScriptModule(HINSTANCE instance);
// The class object as a local server for many clients; false when COM refused it.
bool RegisterScriptClassObjects();
void RevokeScriptClassObjects();
// Writes (or removes) the two registry scripts and the type library; S_OK or the first failure.
HRESULT RegisterScriptServer(bool registering);
// Serves without windows until the last object of the clients has gone (or, when none is held,
// no client came within `idleMilliseconds`), then revokes the class object and returns: the run
// of a program COM started (-Embedding), and of one whose frame closed while clients held
// objects. False, at once, when the class object could not be registered.
bool ServeEmbedded(DWORD idleMilliseconds);
// Objects alive in this process, whoever holds them.
long ScriptObjectCount();

}  // namespace lx
