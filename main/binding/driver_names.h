// The export names of the two low-level driver kinds live with the console rows they serve.
#pragma once
#include "lumivex/console_commands.h"
