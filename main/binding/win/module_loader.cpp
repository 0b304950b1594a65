#include "module_loader.h"

#include <string>

#include "lumivex/prompt.h"
#include "module_arch.h"

namespace lx {
void* ModuleSymbol(void* module, const char* name) {
  return module ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name)) : nullptr;
}
}  // namespace lx

namespace {
// A module of the other architecture cannot load into this process; say so instead of leaving the
// user with the caller's bare "unable to load".
bool RefuseOtherArchitecture(const char* path) {
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;  // not at this path as given: the loader searches
  uint8_t head[4096];
  DWORD got = 0;
  BOOL read = ReadFile(file, head, sizeof head, &got, nullptr);
  CloseHandle(file);
  if (!read) return false;
  std::string text = lx::WrongArchitectureText(path, lx::PeMachine(head, got), lx::OwnMachine());
  if (text.empty()) return false;
  LxMessageBox(nullptr, text.c_str(), "Lumivex", LX_MB_OK);
  return true;
}

HMODULE LoadByPath(const char* path) {
  if (!path || RefuseOtherArchitecture(path)) return nullptr;
  return LoadLibraryA(path);
}
BOOL FreeByHandle(HMODULE module) { return module ? FreeLibrary(module) : FALSE; }
}  // namespace

HMODULE CDeviceApiBinder::LoadDeviceLibrary(const char* path) { return LoadByPath(path); }
BOOL CDeviceApiBinder::FreeDeviceLibrary(HMODULE module) { return FreeByHandle(module); }

int CDeviceApiBinder::ResetDeviceApi() {
  lx::ResetDeviceApiCells();
  return 0;
}

unsigned CDeviceApiBinder::LoadDeviceApi(HMODULE module) { return lx::BindDeviceApi(lx::ModuleSymbol, module); }

HMODULE CNorDriverBinder::LoadNorDriverLibrary(const char* path) { return LoadByPath(path); }
int CNorDriverBinder::LoadNorDriverApi(HMODULE module) { return lx::BindNorDriverApi(lx::ModuleSymbol, module); }

HMODULE CVeltanDriverBinder::LoadVeltanDriverLibrary(const char* path) { return LoadByPath(path); }
int CVeltanDriverBinder::LoadVeltanDriverApi(HMODULE module) {
  return lx::BindVeltanDriverApi(lx::ModuleSymbol, module);
}

HMODULE CVyrBinder::LoadVyrLibrary(const char* path) { return LoadByPath(path); }
BOOL CVyrBinder::FreeVyrLibrary(HMODULE module) { return FreeByHandle(module); }
int CVyrBinder::ResetVyrApi() {
  lx::ResetVyrApiCells();
  return 0;
}
int CVyrBinder::LoadVyrApi(HMODULE module) { return lx::BindVyrApi(lx::ModuleSymbol, module); }

HMODULE CVyrViewerBinder::LoadVyrViewerLibrary(const char* path) { return LoadByPath(path); }
BOOL CVyrViewerBinder::FreeVyrViewerLibrary(HMODULE module) { return FreeByHandle(module); }
int CVyrViewerBinder::ResetVyrViewerApi() {
  lx::ResetVyrViewerApiCells();
  return 0;
}
int CVyrViewerBinder::LoadVyrViewerApi(HMODULE module) { return lx::BindVyrViewerApi(lx::ModuleSymbol, module); }

// ----- External GFSL module ------------------------------------------------------------------
int CExtGfslModule::LoadExtGfslModule() {
  if (m_hModule) return 0;
  m_hModule = LoadLibraryA("extgfslmodule.dll");
  if (!m_hModule) {
    AfxMessageBox("External GFSL Module service is not available.");
    return -1;
  }
  lx::BindExtGfslApi(lx::ModuleSymbol, m_hModule);
  return 0;
}

int CExtGfslModule::FillGfslApiRecord() {
  lx::FillGfslApiRecordCells(m_record);
  return ExtGfslApiTable.egmInit(&m_record);
}

int CExtGfslModule::RunExtGfslModule() { return ExtGfslApiTable.egmRun(0); }
int CExtGfslModule::ExitExtGfslModule() { return ExtGfslApiTable.egmExit(0); }

void StartExtGfslModuleService() {
  CExtGfslModule module;
  if (module.LoadExtGfslModule() != 0) return;
  if (module.FillGfslApiRecord() != 0) return;
  module.RunExtGfslModule();
  module.ExitExtGfslModule();
}

// ----- External ECC module -------------------------------------------------------------------
int CExtEccModule::Load() {
  if (m_hModule) {
    AfxMessageBox("External ECC Module service is enabled already.");
    return 0;
  }
  m_hModule = LoadLibraryA("exteccmodule.dll");
  if (!m_hModule) {
    AfxMessageBox("External ECC Module service is not available.");
    return -1;
  }
  lx::BindExtEccApi(lx::ModuleSymbol, m_hModule);
  return 0;
}

int CExtEccModule::Init() {
  if (!m_hModule) {
    AfxMessageBox("External ECC Module initialization has failed.");
    return -1;
  }
  return ExtEccApiTable.eemInit(m_context);
}

void CExtEccModule::CalculateECC(const uint8_t* sector, uint8_t* ecc) {
  if (m_hModule) ExtEccApiTable.eemCalculateECC(sector, ecc);
}

int CExtEccModule::CorrectECC(uint8_t* sector, const uint8_t* storedEcc, const uint8_t* computedEcc, uint8_t flag) {
  return m_hModule ? ExtEccApiTable.eemCorrectECC(sector, storedEcc, computedEcc, flag) : -1;
}

void CExtEccModule::CalculateBCH(uint8_t* buffer) {
  if (m_hModule) ExtEccApiTable.eemCalculateBCH(buffer);
}

int CExtEccModule::CorrectBCH(uint8_t* buffer, void* b, void* c) {
  return m_hModule ? ExtEccApiTable.eemCorrectBCH(buffer, b, c) : -1;
}
