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
// COM started the program (-Embedding): serves until the last object of the clients has gone
// (or no client came within `idleMilliseconds`), then returns.
void ServeEmbedded(DWORD idleMilliseconds);
// Objects alive in this process, whoever holds them.
long ScriptObjectCount();

}  // namespace lx
