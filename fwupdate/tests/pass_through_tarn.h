// An ITarn that passes every call to a real control object, except those a test takes over: the
// updater's tests use it to make the control answer as a kit's absence can make it answer. Every
// other interface (the event source, the connection points) is the real object's.
#pragma once
#include <functional>

#include "TarnControl_h.h"

class PassThroughTarn : public ITarn {
 public:
  explicit PassThroughTarn(ITarn* control) : real(control) { real->AddRef(); }
  virtual ~PassThroughTarn() { real->Release(); }
  std::function<HRESULT(VARIANT*)> usbBurn;

  STDMETHOD(QueryInterface)(REFIID iid, void** object) override {
    if (IsEqualIID(iid, IID_ITarn) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, IID_IUnknown)) {
      *object = static_cast<ITarn*>(this);
      AddRef();
      return S_OK;
    }
    return real->QueryInterface(iid, object);
  }
  STDMETHOD_(ULONG, AddRef)() override { return static_cast<ULONG>(InterlockedIncrement(&refs)); }
  STDMETHOD_(ULONG, Release)() override {
    LONG n = InterlockedDecrement(&refs);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
  }
  STDMETHOD(GetTypeInfoCount)(UINT* n) override { return real->GetTypeInfoCount(n); }
  STDMETHOD(GetTypeInfo)(UINT i, LCID l, ITypeInfo** t) override { return real->GetTypeInfo(i, l, t); }
  STDMETHOD(GetIDsOfNames)(REFIID r, LPOLESTR* n, UINT c, LCID l, DISPID* d) override {
    return real->GetIDsOfNames(r, n, c, l, d);
  }
  STDMETHOD(Invoke)(DISPID d, REFIID r, LCID l, WORD f, DISPPARAMS* p, VARIANT* v, EXCEPINFO* e, UINT* a) override {
    return real->Invoke(d, r, l, f, p, v, e, a);
  }

  STDMETHOD(ConnectTarn)() override { return real->ConnectTarn(); }
  STDMETHOD(CloseTarn)() override { return real->CloseTarn(); }
  STDMETHOD(GetFIRMWARE_ID)(ULONG *ptrFirmware_ID) override { return real->GetFIRMWARE_ID(ptrFirmware_ID); }
  STDMETHOD(GetCPLD_ID)(ULONG *ptrCPLD_ID) override { return real->GetCPLD_ID(ptrCPLD_ID); }
  STDMETHOD(TarnConfiguration)(BYTE memType, BYTE memConfig, BYTE chipSel) override { return real->TarnConfiguration(memType, memConfig, chipSel); }
  STDMETHOD(Write32)(ULONG byteAddress, ULONG val) override { return real->Write32(byteAddress, val); }
  STDMETHOD(Write16)(ULONG byteAddress, USHORT val) override { return real->Write16(byteAddress, val); }
  STDMETHOD(Write8)(ULONG byteAddress, BYTE val) override { return real->Write8(byteAddress, val); }
  STDMETHOD(Read32)(ULONG byteAddress, ULONG *ptrVal32) override { return real->Read32(byteAddress, ptrVal32); }
  STDMETHOD(Read16)(ULONG byteAddress, USHORT *ptrVal16) override { return real->Read16(byteAddress, ptrVal16); }
  STDMETHOD(Read8)(ULONG byteAddress, BYTE *ptrVal8) override { return real->Read8(byteAddress, ptrVal8); }
  STDMETHOD(Qwrite32)(ULONG byteAddress, ULONG val, BYTE pollingCode) override { return real->Qwrite32(byteAddress, val, pollingCode); }
  STDMETHOD(Qwrite16)(ULONG byteAddress, USHORT val, BYTE pollingCode) override { return real->Qwrite16(byteAddress, val, pollingCode); }
  STDMETHOD(Qwrite8)(ULONG byteAddress, BYTE val, BYTE pollingCode) override { return real->Qwrite8(byteAddress, val, pollingCode); }
  STDMETHOD(QwriteBurstData)(USHORT data) override { return real->QwriteBurstData(data); }
  STDMETHOD(Qflush)() override { return real->Qflush(); }
  STDMETHOD(ResetMemory)(BYTE socketType, BYTE memType) override { return real->ResetMemory(socketType, memType); }
  STDMETHOD(AsyncArrayRead)(ULONG byteAddress, ULONG byteLen, BYTE numWidthBytes, BYTE *ptr) override { return real->AsyncArrayRead(byteAddress, byteLen, numWidthBytes, ptr); }
  STDMETHOD(BurstArrayRead)(ULONG byteAddress, ULONG byteLen, BYTE numWidthBytes, BYTE *ptr, ULONG burstLength) override { return real->BurstArrayRead(byteAddress, byteLen, numWidthBytes, ptr, burstLength); }
  STDMETHOD(BurstArrayWrite)(ULONG byteAddress, ULONG byteLen, BYTE numWidthBytes, BYTE *ptr, ULONG burstLength) override { return real->BurstArrayWrite(byteAddress, byteLen, numWidthBytes, ptr, burstLength); }
  STDMETHOD(MemControlMode)(BYTE chipSel, BYTE accessMode, ULONG burstLength) override { return real->MemControlMode(chipSel, accessMode, burstLength); }
  STDMETHOD(GetUSB_HighSpeedFlag)(BYTE *pUSB_HighSpeed) override { return real->GetUSB_HighSpeedFlag(pUSB_HighSpeed); }
  STDMETHOD(QwriteBufCmd0029_0029)(BYTE pollingCode) override { return real->QwriteBufCmd0029_0029(pollingCode); }
  STDMETHOD(QsetNANDregMode)(BYTE regMode) override { return real->QsetNANDregMode(regMode); }
  STDMETHOD(QwriteNAND16)(USHORT val) override { return real->QwriteNAND16(val); }
  STDMETHOD(QwriteNAND8)(BYTE val) override { return real->QwriteNAND8(val); }
  STDMETHOD(NANDArrayRead)(ULONG byteLen, BYTE numWidthBytes, BYTE *ptr) override { return real->NANDArrayRead(byteLen, numWidthBytes, ptr); }
  STDMETHOD(WriteNAND16)(BYTE regMode, USHORT val) override { return real->WriteNAND16(regMode, val); }
  STDMETHOD(WriteNAND8)(BYTE regMode, BYTE val) override { return real->WriteNAND8(regMode, val); }
  STDMETHOD(ConfigTarnPollingMethod)(BYTE pollingCode, ULONG duration) override { return real->ConfigTarnPollingMethod(pollingCode, duration); }
  STDMETHOD(GetTarnPollingStatus)(BYTE *status) override { return real->GetTarnPollingStatus(status); }
  STDMETHOD(TarnACCVoltageCtrl)(BYTE SwitchON_OFF) override { return real->TarnACCVoltageCtrl(SwitchON_OFF); }
  STDMETHOD(TarnProtectVoltageCtrl)(BYTE SwitchON_OFF) override { return real->TarnProtectVoltageCtrl(SwitchON_OFF); }
  STDMETHOD(ReadTarn_SocketEEPROM)(ULONG addrEEPROM, BYTE readLen, BYTE *array) override { return real->ReadTarn_SocketEEPROM(addrEEPROM, readLen, array); }
  STDMETHOD(ReadTarn_ControllerEEPROM)(ULONG addrEEPROM, BYTE readLen, BYTE *array) override { return real->ReadTarn_ControllerEEPROM(addrEEPROM, readLen, array); }
  STDMETHOD(QwriteSPI)(BYTE val) override { return real->QwriteSPI(val); }
  STDMETHOD(WriteSPI)(BYTE val) override { return real->WriteSPI(val); }
  STDMETHOD(SPI_ChipEnableCtrl)(BYTE onOff) override { return real->SPI_ChipEnableCtrl(onOff); }
  STDMETHOD(GetWriteCommandPacket)(ULONG maxSize, VARIANT *pStrVal) override { return real->GetWriteCommandPacket(maxSize, pStrVal); }
  STDMETHOD(GetReadCommandPacket)(ULONG maxSize, VARIANT *pStrVal) override { return real->GetReadCommandPacket(maxSize, pStrVal); }
  STDMETHOD(DumpNORMemoryToString)(ULONG startAddress, ULONG endAddress, VARIANT *pStrVal) override { return real->DumpNORMemoryToString(startAddress, endAddress, pStrVal); }
  STDMETHOD(DumpNANDMemoryToString)(ULONG address, ULONG addressByteLength, ULONG dataByteLength, VARIANT *pStrVal) override { return real->DumpNANDMemoryToString(address, addressByteLength, dataByteLength, pStrVal); }
  STDMETHOD(BurstRead8)(ULONG address, ULONG dataByteLength, BYTE *ptr) override { return real->BurstRead8(address, dataByteLength, ptr); }
  STDMETHOD(BurstRead16)(ULONG address, ULONG dataByteLength, BYTE *ptr) override { return real->BurstRead16(address, dataByteLength, ptr); }
  STDMETHOD(BurstRead32)(ULONG address, ULONG dataByteLength, BYTE *ptr) override { return real->BurstRead32(address, dataByteLength, ptr); }
  STDMETHOD(PageRead8)(ULONG address, ULONG dataByteLength, BYTE *ptr) override { return real->PageRead8(address, dataByteLength, ptr); }
  STDMETHOD(PageRead16)(ULONG address, ULONG dataByteLength, BYTE *ptr) override { return real->PageRead16(address, dataByteLength, ptr); }
  STDMETHOD(PageRead32)(ULONG address, ULONG dataByteLength, BYTE *ptr) override { return real->PageRead32(address, dataByteLength, ptr); }
  STDMETHOD(TarnFPGAOnTheFly)(VARIANT *varFPGAFirmwareImageOrFilename) override { return real->TarnFPGAOnTheFly(varFPGAFirmwareImageOrFilename); }
  STDMETHOD(TarnFPGABurn)(VARIANT *varFPGAFirmwareImageOrAlgorithmFilename, VARIANT *varFPGAFirmwareImageOrDataFilename) override { return real->TarnFPGABurn(varFPGAFirmwareImageOrAlgorithmFilename, varFPGAFirmwareImageOrDataFilename); }
  STDMETHOD(TarnUSBOnTheFly)(VARIANT *varUSBFirmwareImageOrFilename) override { return real->TarnUSBOnTheFly(varUSBFirmwareImageOrFilename); }
  STDMETHOD(TarnUSBBurn)(VARIANT *varUSBFirmwareImageOrFilename) override { return usbBurn ? usbBurn(varUSBFirmwareImageOrFilename) : real->TarnUSBBurn(varUSBFirmwareImageOrFilename); }
  STDMETHOD(TarnFPGAOnTheFlyViaJTAG)(VARIANT *varFPGAFirmwareImageOrFilename) override { return real->TarnFPGAOnTheFlyViaJTAG(varFPGAFirmwareImageOrFilename); }
  STDMETHOD(SelectTarnType)(TarnType_t TarnType) override { return real->SelectTarnType(TarnType); }
  STDMETHOD(TarnCPLDBurn)(VARIANT *varCPLDFirmwareImageOrFilename) override { return real->TarnCPLDBurn(varCPLDFirmwareImageOrFilename); }
  STDMETHOD(NORArrayRead)(ULONG address, ULONG byteLen, BYTE numWidthBytes, BYTE *ptr) override { return real->NORArrayRead(address, byteLen, numWidthBytes, ptr); }
  STDMETHOD(PowerControl)(BYTE bOn) override { return real->PowerControl(bOn); }
  STDMETHOD(SetRampUpParameter)(BYTE nIs33Volt, TarnPowerRampUpParameter_t RampUpParameter) override { return real->SetRampUpParameter(nIs33Volt, RampUpParameter); }
  STDMETHOD(SetRampUpTemplate)(Tarn_PowerRampUp_t RampUpIndex18, Tarn_PowerRampUp_t RampUpIndex33) override { return real->SetRampUpTemplate(RampUpIndex18, RampUpIndex33); }
  STDMETHOD(SetInitialAccessCycle)(BYTE nCycle) override { return real->SetInitialAccessCycle(nCycle); }
  STDMETHOD(SetVoltage)(Tarn_PowerSource_t nType, ULONG ulVoltage) override { return real->SetVoltage(nType, ulVoltage); }

  ITarn* real;
  LONG refs = 1;
};
