#include "lx_object.h"

#include <new>

namespace lx {

std::string TextToCodePage(BSTR text) {
  if (!text || !*text) return std::string();
  int length = static_cast<int>(SysStringLen(text));
  int n = WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? static_cast<size_t>(n) : 0, '\0');
  if (n > 0) WideCharToMultiByte(CP_ACP, 0, text, length, &out[0], n, nullptr, nullptr);
  return out;
}

Utf8Path TextToUtf8Path(BSTR text) {
  if (!text || !*text) return MakeUtf8Path(std::string());
  int length = static_cast<int>(SysStringLen(text));
  int n = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, length, nullptr, 0, nullptr, nullptr);
  if (n <= 0) {
    Utf8Path bad;
    bad.fits = false;
    return bad;
  }
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, length, &out[0], n, nullptr, nullptr);
  return MakeUtf8Path(out);
}

namespace {
BSTR Widen(UINT codePage, DWORD flags, const std::string& text) {
  if (text.empty()) return SysAllocString(L"");
  int n = MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return nullptr;
  BSTR out = SysAllocStringLen(nullptr, static_cast<UINT>(n));
  if (out) MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()), out, n);
  return out;
}
}  // namespace

BSTR CodePageToText(const std::string& text) { return Widen(CP_ACP, 0, text); }

BSTR Utf8ToText(const std::string& text) {
  BSTR out = Widen(CP_UTF8, MB_ERR_INVALID_CHARS, text);
  return out ? out : Widen(CP_ACP, 0, text);
}

}  // namespace lx

HRESULT CLXObject::_InternalQueryInterface(REFIID iid, void** ppv) {
  if (IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, IID_ILXObject)) *ppv = static_cast<ILXObject*>(this);
  else if (IsEqualIID(iid, IID_IProvideClassInfo) || IsEqualIID(iid, IID_IProvideClassInfo2))
    *ppv = static_cast<IProvideClassInfo2*>(this);
  else if (IsEqualIID(iid, IID_ISupportErrorInfo)) *ppv = static_cast<ISupportErrorInfo*>(this);
  return *ppv ? S_OK : E_NOINTERFACE;
}

HRESULT CLXObject::Fail(const std::string& text) {
  std::string described = "LXObject." + text;
  pendingError_.assign(described.begin(), described.end());
  return AtlReportError(CLSID_LXObject, described.c_str(), IID_ILXObject, kScriptErrorResult);
}

template <class Body>
HRESULT CLXObject::Call(Body body) {
  try {
    body();
    return S_OK;
  } catch (const lx::ScriptError& e) {
    return Fail(e.what());
  } catch (const std::bad_alloc&) {
    return Fail("out of memory");
  }
}

ITypeInfo* CLXObject::TypeInfo() {
  if (!typeInfo_) _Module.GetTypeInfo(IID_ILXObject, &typeInfo_);
  return typeInfo_;
}

STDMETHODIMP CLXObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  ITypeInfo* info = TypeInfo();
  if (!info) return E_UNEXPECTED;
  if (count != 1 || !names || !names[0] || !ids) return DispGetIDsOfNames(info, names, count, ids);
  std::wstring key(names[0]);
  CharUpperBuffW(&key[0], static_cast<DWORD>(key.size()));
  auto known = ids_.find(key);
  if (known != ids_.end()) {
    ids[0] = known->second;
    return S_OK;
  }
  HRESULT hr = DispGetIDsOfNames(info, names, count, ids);
  if (SUCCEEDED(hr)) ids_.emplace(key, ids[0]);
  return hr;
}

STDMETHODIMP CLXObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                               EXCEPINFO* excep, UINT* argErr) {
  ITypeInfo* info = TypeInfo();
  if (!info) return E_UNEXPECTED;
  pendingError_.clear();
  HRESULT hr = info->Invoke(static_cast<ILXObject*>(this), id, flags, params, result, excep, argErr);
  if (pendingError_.empty()) return hr;
  if (excep) {
    if (hr == DISP_E_EXCEPTION) {
      SysFreeString(excep->bstrSource);
      SysFreeString(excep->bstrDescription);
      SysFreeString(excep->bstrHelpFile);
    }
    *excep = EXCEPINFO();
    excep->bstrSource = SysAllocString(L"LXObject");
    excep->bstrDescription = SysAllocString(pendingError_.c_str());
    excep->scode = kScriptErrorResult;
  }
  pendingError_.clear();
  return DISP_E_EXCEPTION;
}

STDMETHODIMP CLXObject::GetClassInfo(ITypeInfo** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  return _Module.GetTypeInfo(CLSID_LXObject, out);
}

STDMETHODIMP CLXObject::GetGUID(DWORD kind, GUID* out) {
  if (!out) return E_POINTER;
  *out = GUID_NULL;
  // The object fires no events: its default source is the null interface.
  return kind == GUIDKIND_DEFAULT_SOURCE_DISP_IID ? S_OK : E_INVALIDARG;
}

STDMETHODIMP CLXObject::InterfaceSupportsErrorInfo(REFIID iid) {
  return IsEqualIID(iid, IID_ILXObject) ? S_OK : S_FALSE;
}

#define LX_OUT(p) \
  if (!(p)) return E_POINTER

STDMETHODIMP CLXObject::ClearLog() { return Call([&] { core_.ClearLog(); }); }
STDMETHODIMP CLXObject::Print(BSTR text, VARIANT_BOOL bold, LONG colour) {
  return Call([&] { core_.Print(lx::TextToCodePage(text), bold != 0, colour); });
}
STDMETHODIMP CLXObject::Dump(LONG address, LONG count, LONG bytesPerLine, LONG) {
  return Call([&] { core_.Dump(address, count, bytesPerLine); });
}
// The log window is the program's to connect (AttachLog): a number from a script or from
// another process is no window of this process. 0 disconnects the log.
STDMETHODIMP CLXObject::SetLogWindow(LONG logWindow) {
  return Call([&] {
    if (logWindow != 0) throw lx::ScriptError("SetLogWindow: the log window is connected by Lumivex itself");
    core_.SetLog(nullptr);
  });
}
STDMETHODIMP CLXObject::malloc(LONG size, LONG* address) {
  LX_OUT(address);
  return Call([&] { *address = core_.malloc(size); });
}
STDMETHODIMP CLXObject::free(LONG address) { return Call([&] { core_.free(address); }); }
STDMETHODIMP CLXObject::memset(LONG address, LONG value, LONG count, LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.memset(address, value, count); });
}
STDMETHODIMP CLXObject::memcpy(LONG destination, LONG source, LONG count, LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.memcpy(destination, source, count); });
}
STDMETHODIMP CLXObject::memcmp(LONG first, LONG second, LONG count, LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.memcmp(first, second, count); });
}
STDMETHODIMP CLXObject::memchr(LONG address, LONG value, LONG count, LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.memchr(address, value, count); });
}
STDMETHODIMP CLXObject::memrand(LONG address, LONG count, LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.memrand(address, count); });
}
STDMETHODIMP CLXObject::srand(LONG seed) { return Call([&] { core_.srand(seed); }); }
STDMETHODIMP CLXObject::rand(LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.rand(); });
}
STDMETHODIMP CLXObject::load(BSTR path, LONG address, LONG count, LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.load(lx::TextToUtf8Path(path), address, count); });
}
STDMETHODIMP CLXObject::store(BSTR path, LONG address, LONG count) {
  return Call([&] { core_.store(lx::TextToUtf8Path(path), address, count); });
}
STDMETHODIMP CLXObject::Init(LONG mode, LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.Init(mode); });
}
STDMETHODIMP CLXObject::BDTLMount(LONG volume, LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.BDTLMount(volume); });
}
STDMETHODIMP CLXObject::BDTLUnmount(LONG volume, LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.BDTLUnmount(volume); });
}
STDMETHODIMP CLXObject::Mount(LONG volume, LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.Mount(volume); });
}
STDMETHODIMP CLXObject::Unmount(LONG volume, LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.Unmount(volume); });
}
STDMETHODIMP CLXObject::Format(BSTR volume, BSTR fileSystem, BSTR label, LONG reserved, LONG* result) {
  LX_OUT(result);
  return Call([&] {
    *result = core_.Format(lx::TextToCodePage(volume), lx::TextToCodePage(fileSystem), lx::TextToCodePage(label),
                           reserved);
  });
}
STDMETHODIMP CLXObject::LowLevelFormat(BSTR volume, LONG offset, LONG size, LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.LowLevelFormat(lx::TextToCodePage(volume), offset, size); });
}
STDMETHODIMP CLXObject::GetDeviceTextInfo(BSTR volume, BSTR* text) {
  LX_OUT(text);
  *text = nullptr;
  return Call([&] { *text = lx::CodePageToText(core_.GetDeviceTextInfo(lx::TextToCodePage(volume))); });
}
STDMETHODIMP CLXObject::GetNumberOfBytesPerDevice(BSTR device, hyper* bytes) {
  LX_OUT(bytes);
  return Call([&] { *bytes = core_.GetNumberOfBytesPerDevice(lx::TextToCodePage(device)); });
}
STDMETHODIMP CLXObject::VeltanGetNumberOfPhysicalBlocks(BSTR device, LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.VeltanGetNumberOfPhysicalBlocks(lx::TextToCodePage(device)); });
}
STDMETHODIMP CLXObject::VeltanGetNumberOfPagesPerBlock(BSTR device, LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.VeltanGetNumberOfPagesPerBlock(lx::TextToCodePage(device)); });
}
STDMETHODIMP CLXObject::VeltanGetBBT(BSTR volume, LONG table, LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.VeltanGetBBT(lx::TextToCodePage(volume), table); });
}
STDMETHODIMP CLXObject::NORGetBlockSize(BSTR device, LONG block, LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.NORGetBlockSize(lx::TextToCodePage(device), block); });
}
STDMETHODIMP CLXObject::VeltanReadPage(LONG device, LONG value1, LONG value2, LONG dataLength, LONG buffer,
                                       LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.VeltanReadPage(device, value1, value2, dataLength, buffer); });
}
STDMETHODIMP CLXObject::VeltanProgramPage(LONG device, LONG byteOffset, LONG value2, LONG length, LONG buffer,
                                          LONG value5, LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.VeltanProgramPage(device, byteOffset, value2, length, buffer, value5); });
}
STDMETHODIMP CLXObject::VeltanReadRawPage(LONG device, LONG page, LONG pageCount, LONG buffer, LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.VeltanReadRawPage(device, page, pageCount, buffer); });
}
STDMETHODIMP CLXObject::VeltanProgramRawPage(LONG device, LONG page, LONG pageCount, LONG buffer, LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.VeltanProgramRawPage(device, page, pageCount, buffer); });
}
STDMETHODIMP CLXObject::VeltanEraseBlock(LONG device, LONG block, LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.VeltanEraseBlock(device, block); });
}
STDMETHODIMP CLXObject::NORReadData(LONG device, LONG address, LONG length, LONG buffer, LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.NORReadData(device, address, length, buffer); });
}
STDMETHODIMP CLXObject::NORProgramData(LONG device, LONG address, LONG length, LONG data, LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.NORProgramData(device, address, length, data); });
}
STDMETHODIMP CLXObject::NORReadRawData(LONG device, LONG address, LONG length, LONG buffer, LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.NORReadRawData(device, address, length, buffer); });
}
STDMETHODIMP CLXObject::NORProgramRawData(LONG device, LONG address, LONG length, LONG data, LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.NORProgramRawData(device, address, length, data); });
}
STDMETHODIMP CLXObject::NOREraseBlock(LONG device, LONG address, LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.NOREraseBlock(device, address); });
}
// A failing module gives 0xFFFF with S_FALSE, a success code that is not S_OK.
STDMETHODIMP CLXObject::NORGetBlockStatus(LONG device, LONG address, USHORT* status) {
  LX_OUT(status);
  bool ok = true;
  HRESULT hr = Call([&] { ok = core_.NORGetBlockStatus(device, address, status); });
  return FAILED(hr) ? hr : (ok ? S_OK : S_FALSE);
}
STDMETHODIMP CLXObject::NORSetBlockStatus(LONG device, LONG address, USHORT status, LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.NORSetBlockStatus(device, address, status); });
}
STDMETHODIMP CLXObject::NORSetASOMode(LONG device, LONG mode, LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.NORSetASOMode(device, mode); });
}
STDMETHODIMP CLXObject::GetNumberOfSectors(LONG partition, LONG flag, LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.GetNumberOfSectors(partition, flag); });
}
STDMETHODIMP CLXObject::ReadSectors(LONG partition, LONG firstSector, LONG count, LONG buffer, LONG flag,
                                    LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.ReadSectors(partition, firstSector, count, buffer, flag); });
}
STDMETHODIMP CLXObject::WriteSectors(LONG partition, LONG firstSector, LONG count, LONG buffer, LONG flag,
                                     LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.WriteSectors(partition, firstSector, count, buffer, flag); });
}
STDMETHODIMP CLXObject::fopen(BSTR path, BSTR mode, LONG* handle) {
  LX_OUT(handle);
  return Call([&] { *handle = core_.fopen(lx::TextToUtf8Path(path), lx::TextToUtf8Path(mode)); });
}
STDMETHODIMP CLXObject::fclose(LONG handle, LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.fclose(handle); });
}
STDMETHODIMP CLXObject::fcloseall(LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.fcloseall(); });
}
STDMETHODIMP CLXObject::fread(LONG buffer, LONG size, LONG count, LONG handle, LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.fread(buffer, size, count, handle); });
}
STDMETHODIMP CLXObject::fwrite(LONG buffer, LONG size, LONG count, LONG handle, LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.fwrite(buffer, size, count, handle); });
}
STDMETHODIMP CLXObject::freadtext(LONG size, LONG count, LONG handle, BSTR* text) {
  LX_OUT(text);
  *text = nullptr;
  return Call([&] { *text = lx::CodePageToText(core_.freadtext(size, count, handle)); });
}
STDMETHODIMP CLXObject::fwritetext(BSTR text, LONG size, LONG count, LONG handle, LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.fwritetext(lx::TextToCodePage(text), size, count, handle); });
}
STDMETHODIMP CLXObject::ftell(LONG handle, LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.ftell(handle); });
}
STDMETHODIMP CLXObject::fseek(LONG handle, LONG offset, LONG origin, LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.fseek(handle, offset, origin); });
}
STDMETHODIMP CLXObject::fflush(LONG handle, LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.fflush(handle); });
}
STDMETHODIMP CLXObject::getcwd(BSTR* path) {
  LX_OUT(path);
  *path = nullptr;
  return Call([&] { *path = lx::Utf8ToText(core_.getcwd()); });
}
STDMETHODIMP CLXObject::chdir(BSTR path, LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.chdir(lx::TextToUtf8Path(path)); });
}
STDMETHODIMP CLXObject::fchdir(LONG handle, LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.fchdir(handle); });
}
STDMETHODIMP CLXObject::opendir(BSTR path, LONG* directory) {
  LX_OUT(directory);
  return Call([&] { *directory = core_.opendir(lx::TextToUtf8Path(path)); });
}
STDMETHODIMP CLXObject::fdopendir(LONG handle, LONG* directory) {
  LX_OUT(directory);
  return Call([&] { *directory = core_.fdopendir(handle); });
}
STDMETHODIMP CLXObject::readdir(LONG directory, BSTR* name) {
  LX_OUT(name);
  *name = nullptr;
  return Call([&] { *name = lx::Utf8ToText(core_.readdir(directory)); });
}
STDMETHODIMP CLXObject::closedir(LONG directory, LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.closedir(directory); });
}
STDMETHODIMP CLXObject::rewinddir(LONG directory) { return Call([&] { core_.rewinddir(directory); }); }
STDMETHODIMP CLXObject::unlink(BSTR path, LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.unlink(lx::TextToUtf8Path(path)); });
}
STDMETHODIMP CLXObject::rmdir(BSTR path, LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.rmdir(lx::TextToUtf8Path(path)); });
}
STDMETHODIMP CLXObject::rename(BSTR from, BSTR to, LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.rename(lx::TextToUtf8Path(from), lx::TextToUtf8Path(to)); });
}
STDMETHODIMP CLXObject::mkdir(BSTR path, LONG mode, LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.mkdir(lx::TextToUtf8Path(path), mode); });
}
STDMETHODIMP CLXObject::stat(BSTR path, BSTR* text) {
  LX_OUT(text);
  *text = nullptr;
  return Call([&] { *text = lx::CodePageToText(core_.stat(lx::TextToUtf8Path(path))); });
}
STDMETHODIMP CLXObject::fstat(LONG handle, BSTR* text) {
  LX_OUT(text);
  *text = nullptr;
  return Call([&] { *text = lx::CodePageToText(core_.fstat(handle)); });
}
STDMETHODIMP CLXObject::access(BSTR path, LONG mode, LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.access(lx::TextToUtf8Path(path), mode); });
}
STDMETHODIMP CLXObject::truncate(BSTR path, LONG length, LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.truncate(lx::TextToUtf8Path(path), length); });
}
STDMETHODIMP CLXObject::ftruncate(LONG handle, LONG length, LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.ftruncate(handle, length); });
}
STDMETHODIMP CLXObject::GetLastError(LONG* result) {
  LX_OUT(result);
  return Call([&] { *result = core_.GetLastError(); });
}
#define LX_CUSTOM_CALLBACK(n)                                                                   \
  STDMETHODIMP CLXObject::CustomCallback##n(LONG a, LONG b, LONG c, LONG d, LONG* result) { \
    LX_OUT(result);                                                                             \
    return Call([&] { *result = core_.CustomCallback(n, a, b, c, d); });                        \
  }
LX_CUSTOM_CALLBACK(1)
LX_CUSTOM_CALLBACK(2)
LX_CUSTOM_CALLBACK(3)
LX_CUSTOM_CALLBACK(4)
LX_CUSTOM_CALLBACK(5)
LX_CUSTOM_CALLBACK(6)
LX_CUSTOM_CALLBACK(7)
LX_CUSTOM_CALLBACK(8)
STDMETHODIMP CLXObject::DoSelfTest(LONG, LONG) { return Call([&] { core_.DoSelfTest(); }); }
