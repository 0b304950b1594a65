// CLXObject: the scriptable object's COM face. Arguments and results are converted here; the
// methods themselves are lx::ScriptObjectCore's. A refusal of the core (a bad address, an
// overrun, a stop request) becomes a script error: the method fails with kScriptErrorResult,
// sets the error info, and Invoke hands the text to the engine as an exception.
#pragma once
#include <atomic>
#include <map>
#include <string>

#include "LXActiveScript_h.h"
#include "lumivex/atl.h"
#include "script_object_core.h"

// The HRESULT of every script error of the object.
constexpr HRESULT kScriptErrorResult = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x201);

class CLXObject : public IDispatchImpl<ILXObject, &IID_ILXObject>,
                  public IProvideClassInfo2,
                  public ISupportErrorInfo,
                  public CComObjectRootEx {
 public:
  IUnknown* GetUnknown() { return static_cast<ILXObject*>(this); }
  HRESULT _InternalQueryInterface(REFIID iid, void** ppv);
  HRESULT FinalConstruct() { return S_OK; }
  void FinalRelease() {}

  // The program's own connection of the log and of the run's stop request (never reachable
  // through the interface: an outside client has no log window).
  void AttachLog(lx::ScriptLog* log) { core_.SetLog(log); }
  void AttachStopFlag(const std::atomic<bool>* stop) { core_.SetStopFlag(stop); }
  lx::ScriptObjectCore& Core() { return core_; }

  // IDispatch over the type information, kept by the object (a script's loop calls it for every
  // method); a method's script error comes back as DISP_E_EXCEPTION with its text.
  STDMETHOD(GetIDsOfNames)(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
  STDMETHOD(Invoke)(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                    EXCEPINFO* excep, UINT* argErr) override;

  // IProvideClassInfo2
  STDMETHOD(GetClassInfo)(ITypeInfo** out) override;
  STDMETHOD(GetGUID)(DWORD kind, GUID* out) override;
  // ISupportErrorInfo
  STDMETHOD(InterfaceSupportsErrorInfo)(REFIID iid) override;

  // ILXObject, in table order.
  STDMETHOD(ClearLog)() override;
  STDMETHOD(Print)(BSTR text, VARIANT_BOOL bold, LONG colour) override;
  STDMETHOD(Dump)(LONG address, LONG count, LONG bytesPerLine, LONG reserved) override;
  STDMETHOD(SetLogWindow)(LONG logWindow) override;
  STDMETHOD(malloc)(LONG size, LONG* address) override;
  STDMETHOD(free)(LONG address) override;
  STDMETHOD(memset)(LONG address, LONG value, LONG count, LONG* result) override;
  STDMETHOD(memcpy)(LONG destination, LONG source, LONG count, LONG* result) override;
  STDMETHOD(memcmp)(LONG first, LONG second, LONG count, LONG* result) override;
  STDMETHOD(memchr)(LONG address, LONG value, LONG count, LONG* result) override;
  STDMETHOD(memrand)(LONG address, LONG count, LONG* result) override;
  STDMETHOD(srand)(LONG seed) override;
  STDMETHOD(rand)(LONG* result) override;
  STDMETHOD(load)(BSTR path, LONG address, LONG count, LONG* result) override;
  STDMETHOD(store)(BSTR path, LONG address, LONG count) override;
  STDMETHOD(Init)(LONG mode, LONG* result) override;
  STDMETHOD(BDTLMount)(LONG volume, LONG* result) override;
  STDMETHOD(BDTLUnmount)(LONG volume, LONG* result) override;
  STDMETHOD(Mount)(LONG volume, LONG* result) override;
  STDMETHOD(Unmount)(LONG volume, LONG* result) override;
  STDMETHOD(Format)(BSTR volume, BSTR fileSystem, BSTR label, LONG reserved, LONG* result) override;
  STDMETHOD(LowLevelFormat)(BSTR volume, LONG offset, LONG size, LONG* result) override;
  STDMETHOD(GetDeviceTextInfo)(BSTR volume, BSTR* text) override;
  STDMETHOD(GetNumberOfBytesPerDevice)(BSTR device, hyper* bytes) override;
  STDMETHOD(VeltanGetNumberOfPhysicalBlocks)(BSTR device, LONG* result) override;
  STDMETHOD(VeltanGetNumberOfPagesPerBlock)(BSTR device, LONG* result) override;
  STDMETHOD(VeltanGetBBT)(BSTR volume, LONG table, LONG* result) override;
  STDMETHOD(NORGetBlockSize)(BSTR device, LONG block, LONG* result) override;
  STDMETHOD(VeltanReadPage)(LONG device, LONG value1, LONG value2, LONG dataLength, LONG buffer, LONG* result) override;
  STDMETHOD(VeltanProgramPage)(LONG device, LONG byteOffset, LONG value2, LONG length, LONG buffer, LONG value5,
                               LONG* result) override;
  STDMETHOD(VeltanReadRawPage)(LONG device, LONG page, LONG pageCount, LONG buffer, LONG* result) override;
  STDMETHOD(VeltanProgramRawPage)(LONG device, LONG page, LONG pageCount, LONG buffer, LONG* result) override;
  STDMETHOD(VeltanEraseBlock)(LONG device, LONG block, LONG* result) override;
  STDMETHOD(NORReadData)(LONG device, LONG address, LONG length, LONG buffer, LONG* result) override;
  STDMETHOD(NORProgramData)(LONG device, LONG address, LONG length, LONG data, LONG* result) override;
  STDMETHOD(NORReadRawData)(LONG device, LONG address, LONG length, LONG buffer, LONG* result) override;
  STDMETHOD(NORProgramRawData)(LONG device, LONG address, LONG length, LONG data, LONG* result) override;
  STDMETHOD(NOREraseBlock)(LONG device, LONG address, LONG* result) override;
  STDMETHOD(NORGetBlockStatus)(LONG device, LONG address, USHORT* status) override;
  STDMETHOD(NORSetBlockStatus)(LONG device, LONG address, USHORT status, LONG* result) override;
  STDMETHOD(NORSetASOMode)(LONG device, LONG mode, LONG* result) override;
  STDMETHOD(GetNumberOfSectors)(LONG partition, LONG flag, LONG* result) override;
  STDMETHOD(ReadSectors)(LONG partition, LONG firstSector, LONG count, LONG buffer, LONG flag, LONG* result) override;
  STDMETHOD(WriteSectors)(LONG partition, LONG firstSector, LONG count, LONG buffer, LONG flag, LONG* result) override;
  STDMETHOD(fopen)(BSTR path, BSTR mode, LONG* handle) override;
  STDMETHOD(fclose)(LONG handle, LONG* result) override;
  STDMETHOD(fcloseall)(LONG* result) override;
  STDMETHOD(fread)(LONG buffer, LONG size, LONG count, LONG handle, LONG* result) override;
  STDMETHOD(fwrite)(LONG buffer, LONG size, LONG count, LONG handle, LONG* result) override;
  STDMETHOD(freadtext)(LONG size, LONG count, LONG handle, BSTR* text) override;
  STDMETHOD(fwritetext)(BSTR text, LONG size, LONG count, LONG handle, LONG* result) override;
  STDMETHOD(ftell)(LONG handle, LONG* result) override;
  STDMETHOD(fseek)(LONG handle, LONG offset, LONG origin, LONG* result) override;
  STDMETHOD(fflush)(LONG handle, LONG* result) override;
  STDMETHOD(getcwd)(BSTR* path) override;
  STDMETHOD(chdir)(BSTR path, LONG* result) override;
  STDMETHOD(fchdir)(LONG handle, LONG* result) override;
  STDMETHOD(opendir)(BSTR path, LONG* directory) override;
  STDMETHOD(fdopendir)(LONG handle, LONG* directory) override;
  STDMETHOD(readdir)(LONG directory, BSTR* name) override;
  STDMETHOD(closedir)(LONG directory, LONG* result) override;
  STDMETHOD(rewinddir)(LONG directory) override;
  STDMETHOD(unlink)(BSTR path, LONG* result) override;
  STDMETHOD(rmdir)(BSTR path, LONG* result) override;
  STDMETHOD(rename)(BSTR from, BSTR to, LONG* result) override;
  STDMETHOD(mkdir)(BSTR path, LONG mode, LONG* result) override;
  STDMETHOD(stat)(BSTR path, BSTR* text) override;
  STDMETHOD(fstat)(LONG handle, BSTR* text) override;
  STDMETHOD(access)(BSTR path, LONG mode, LONG* result) override;
  STDMETHOD(truncate)(BSTR path, LONG length, LONG* result) override;
  STDMETHOD(ftruncate)(LONG handle, LONG length, LONG* result) override;
  STDMETHOD(GetLastError)(LONG* result) override;
  STDMETHOD(CustomCallback1)(LONG a, LONG b, LONG c, LONG d, LONG* result) override;
  STDMETHOD(CustomCallback2)(LONG a, LONG b, LONG c, LONG d, LONG* result) override;
  STDMETHOD(CustomCallback3)(LONG a, LONG b, LONG c, LONG d, LONG* result) override;
  STDMETHOD(CustomCallback4)(LONG a, LONG b, LONG c, LONG d, LONG* result) override;
  STDMETHOD(CustomCallback5)(LONG a, LONG b, LONG c, LONG d, LONG* result) override;
  STDMETHOD(CustomCallback6)(LONG a, LONG b, LONG c, LONG d, LONG* result) override;
  STDMETHOD(CustomCallback7)(LONG a, LONG b, LONG c, LONG d, LONG* result) override;
  STDMETHOD(CustomCallback8)(LONG a, LONG b, LONG c, LONG d, LONG* result) override;
  STDMETHOD(DoSelfTest)(LONG first, LONG second) override;

 private:
  // Runs one method body: S_OK, or the script error of a refusal.
  template <class Body>
  HRESULT Call(Body body);
  HRESULT Fail(const std::string& text);

  ITypeInfo* TypeInfo();

  lx::ScriptObjectCore core_;
  std::wstring pendingError_;
  CComPtr<ITypeInfo> typeInfo_;
  // Names the engine has asked for, upper-cased, with their ids (it asks again for every call).
  std::map<std::wstring, DISPID> ids_;
};

// Conversions between the script's texts and the device module's.
namespace lx {
std::string TextToCodePage(BSTR text);
Utf8Path TextToUtf8Path(BSTR text);
BSTR CodePageToText(const std::string& text);
// A name the module gave in UTF-8 (a name that is no valid UTF-8 is read in the code page).
BSTR Utf8ToText(const std::string& text);
}  // namespace lx
