// Built when the module has no loader: the loading methods then answer E_NOTIMPL.
#include "tarn_loader.h"

TarnLoader* TarnCreateLoader(ITarnEventSource*) { return nullptr; }
