#include "options_record.h"

#include <cstdio>
#include <cstring>

namespace lx {

namespace {

void TerminatePath(char (&field)[kOptionsPathSize]) { field[kOptionsPathSize - 1] = '\0'; }

}  // namespace

size_t ReadOptionsBytes(OptionsRecord& rec, const void* data, size_t size) {
  std::memset(&rec, 0, sizeof rec);
  size_t taken = size < sizeof rec ? size : sizeof rec;
  if (taken) std::memcpy(&rec, data, taken);
  SanitizeOptions(rec);
  return taken;
}

void SanitizeOptions(OptionsRecord& rec) {
  TerminatePath(rec.FsLibraryPath);
  TerminatePath(rec.NorDriverPath);
  TerminatePath(rec.VeltanDriverPath);
  TerminatePath(rec.VyrModulePath);
  TerminatePath(rec.ExplorerPath);
  TerminatePath(rec.EditorPath);
  if (rec.DeviceKind < kDeviceKindNand) rec.DeviceKind = kDeviceKindNand;
  if (rec.DeviceKind > kDeviceKindOstra2) rec.DeviceKind = kDeviceKindOstra2;
  int count = WindowSizeChoiceCount(rec.DeviceKind);
  if (rec.WindowSizeIndex >= count) rec.WindowSizeIndex = static_cast<uint8_t>(count - 1);
}

void SetOptionsPath(char (&field)[kOptionsPathSize], const char* text) {
  std::memset(field, 0, sizeof field);
  if (text) std::memcpy(field, text, strnlen(text, sizeof field - 1));
}

void ApplyToolDefaults(OptionsRecord& rec, const char* windowsFolder) {
  const char* folder = windowsFolder ? windowsFolder : "";
  char path[kOptionsPathSize + 32];
  if (rec.ExplorerPath[0] == '\0') {
    std::snprintf(path, sizeof path, "%s\\explorer.exe", folder);
    SetOptionsPath(rec.ExplorerPath, path);
  }
  if (rec.EditorPath[0] == '\0') {
    std::snprintf(path, sizeof path, "%s\\notepad.exe", folder);
    SetOptionsPath(rec.EditorPath, path);
  }
}

int WindowSizeChoiceCount(int deviceKind) {
  if (deviceKind < kDeviceKindNand) deviceKind = kDeviceKindNand;
  if (deviceKind > kDeviceKindOstra2) deviceKind = kDeviceKindOstra2;
  return deviceKind == kDeviceKindNor || deviceKind == kDeviceKindOstra2 ? 6 : 3;
}

std::vector<std::string> WindowSizeChoices(int deviceKind, bool* enabled) {
  const bool nand = deviceKind <= kDeviceKindNand;
  if (enabled) *enabled = !nand;
  std::vector<std::string> out;
  int count = WindowSizeChoiceCount(deviceKind);
  for (int i = 0; i < count; ++i) {
    char text[64];
    std::snprintf(text, sizeof text, nand ? "%d Bytes (N/A)" : "%d Bytes", 1024 << i);
    out.push_back(text);
  }
  return out;
}

}  // namespace lx
