// Loading modules by path and binding their tables by name (the Windows side of binding/).
#pragma once
#include <cstdint>

#include "device_api.h"
#include "driver_tables.h"
#include "lxmfc.h"
#include "outside_modules.h"

namespace lx {
// GetProcAddress in the shape the table binders take.
void* ModuleSymbol(void* module, const char* name);
}  // namespace lx

class CDeviceApiBinder {
 public:
  // A null path gives a null handle without an attempt.
  HMODULE LoadDeviceLibrary(const char* path);
  // A null handle gives 0 without an attempt.
  BOOL FreeDeviceLibrary(HMODULE module);
  int ResetDeviceApi();
  // The missing-group mask (0x1 device, 0x4 file system, 0x8 profiler).
  unsigned LoadDeviceApi(HMODULE module);
};

class CNorDriverBinder {
 public:
  HMODULE LoadNorDriverLibrary(const char* path);
  int LoadNorDriverApi(HMODULE module);  // 0 all found, 1 something missing
};

class CVeltanDriverBinder {
 public:
  HMODULE LoadVeltanDriverLibrary(const char* path);
  int LoadVeltanDriverApi(HMODULE module);
};

class CVyrBinder {
 public:
  HMODULE LoadVyrLibrary(const char* path);
  BOOL FreeVyrLibrary(HMODULE module);
  int ResetVyrApi();
  int LoadVyrApi(HMODULE module);
};

class CVyrViewerBinder {
 public:
  HMODULE LoadVyrViewerLibrary(const char* path);
  BOOL FreeVyrViewerLibrary(HMODULE module);
  int ResetVyrViewerApi();
  int LoadVyrViewerApi(HMODULE module);
};

// "extgfslmodule.dll": loaded for one command run, never freed.
class CExtGfslModule {
 public:
  int LoadExtGfslModule();
  int FillGfslApiRecord();
  int RunExtGfslModule();
  int ExitExtGfslModule();

  HMODULE m_hModule = nullptr;
  GfslApiRecord m_record = {};
};

// The document command "External GFSL Module...".
void StartExtGfslModuleService();

// "exteccmodule.dll": loaded once, kept for the life of its owner; the guarded calls do
// nothing (or fail with -1) while no module is loaded.
class CExtEccModule {
 public:
  int Load();
  int Init();
  void CalculateECC(const uint8_t* sector, uint8_t* ecc);
  int CorrectECC(uint8_t* sector, const uint8_t* storedEcc, const uint8_t* computedEcc, uint8_t flag);
  void CalculateBCH(uint8_t* buffer);
  int CorrectBCH(uint8_t* buffer, void* b, void* c);

  HMODULE m_hModule = nullptr;
  // The settings block eemInit fills: four pointers to the module's own values (method, ECC
  // offset, a word the tools do not read, BCH offset).
  void* m_context[4] = {};
};
