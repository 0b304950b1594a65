// The virtual device's file system, linked into a native test and bound into DeviceApiTable by
// name as the program binds the module: the tree's copies then meet a real FAT volume.
#pragma once
#include <cstdint>
#include <string>

namespace vdtest {

// A fresh image below `area` with volume a (FAT16 of `megabytes` MiB at 1 MiB) formatted and
// mounted, the table bound to it. False when any step failed.
bool StartVolume(const std::string& area, uint32_t megabytes, const char* fsType = "FAT16");
// Unmounts, closes the device and leaves the image in place for outside tools.
void StopVolume();
// Opens the image again and mounts volume a as it was left.
bool Reopen();
// The image of the last StartVolume.
std::string ImagePath();

}  // namespace vdtest
