// The in-use table of kits, shared by every process on the machine through a named mapping and
// guarded by a named mutex.
#pragma once

// True when this process now holds the kit of `path`; false when another holder has it or the table
// cannot be reached.
bool TarnClaimKit(const char* path);
void TarnReleaseKit(const char* path);
