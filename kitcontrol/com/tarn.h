// CTarn: the kit control object. A thin COM shell: connection and the in-use claim here, every bus
// and packet operation in its own TarnLink, events through its connection points.
#pragma once
#include <string>
#include <vector>

#include "TarnControl_h.h"
#include "cyapi.h"
#include "lumivex/atl.h"
#include "tarn_link.h"
#include "tarn_loader.h"

extern const GUID kTarnDriverGuid;

// The endpoints of an open kit as the link sees them.
class CyPipes : public tarn::TarnPipes {
public:
    void Set(CCyUSBDevice* device) { device_ = device; }
    bool Transfer(uint8_t endpoint, uint8_t* buffer, uint32_t& length) override;
    uint32_t Timeout(uint8_t endpoint) const override;
    void SetTimeout(uint8_t endpoint, uint32_t ms) override;
    void Abort(uint8_t endpoint) override;
    void Reset(uint8_t endpoint) override;

private:
    CCyUSBEndPoint* Ep(uint8_t address) const { return device_ ? device_->EndPointOf(address) : nullptr; }
    CCyUSBDevice* device_ = nullptr;
};

class CTarn : public IDispatchImpl<ITarn, &IID_ITarn>,
              public IDispatchImpl<ITarnEventSource, &IID_ITarnEventSource>,
              public IConnectionPointContainer,
              public ISupportErrorInfo,
              public IProvideClassInfo2,
              public CComObjectRootEx {
public:
    CTarn();
    IUnknown* GetUnknown() { return static_cast<ITarn*>(this); }
    HRESULT _InternalQueryInterface(REFIID iid, void** ppv);
    HRESULT FinalConstruct() { return S_OK; }
    void FinalRelease();

    // ITarn
    STDMETHOD(ConnectTarn)() override;
    STDMETHOD(CloseTarn)() override;
    STDMETHOD(GetFIRMWARE_ID)(ULONG* ptrFirmware_ID) override;
    STDMETHOD(GetCPLD_ID)(ULONG* ptrCPLD_ID) override;
    STDMETHOD(TarnConfiguration)(BYTE memType, BYTE memConfig, BYTE chipSel) override;
    STDMETHOD(Write32)(ULONG byteAddress, ULONG val) override;
    STDMETHOD(Write16)(ULONG byteAddress, USHORT val) override;
    STDMETHOD(Write8)(ULONG byteAddress, BYTE val) override;
    STDMETHOD(Read32)(ULONG byteAddress, ULONG* ptrVal32) override;
    STDMETHOD(Read16)(ULONG byteAddress, USHORT* ptrVal16) override;
    STDMETHOD(Read8)(ULONG byteAddress, BYTE* ptrVal8) override;
    STDMETHOD(Qwrite32)(ULONG byteAddress, ULONG val, BYTE pollingCode) override;
    STDMETHOD(Qwrite16)(ULONG byteAddress, USHORT val, BYTE pollingCode) override;
    STDMETHOD(Qwrite8)(ULONG byteAddress, BYTE val, BYTE pollingCode) override;
    STDMETHOD(QwriteBurstData)(USHORT data) override;
    STDMETHOD(Qflush)() override;
    STDMETHOD(ResetMemory)(BYTE socketType, BYTE memType) override;
    STDMETHOD(AsyncArrayRead)(ULONG byteAddress, ULONG byteLen, BYTE numWidthBytes, BYTE* ptr) override;
    STDMETHOD(BurstArrayRead)(ULONG byteAddress, ULONG byteLen, BYTE numWidthBytes, BYTE* ptr, ULONG burstLength) override;
    STDMETHOD(BurstArrayWrite)(ULONG byteAddress, ULONG byteLen, BYTE numWidthBytes, BYTE* ptr, ULONG burstLength) override;
    STDMETHOD(MemControlMode)(BYTE chipSel, BYTE accessMode, ULONG burstLength) override;
    STDMETHOD(GetUSB_HighSpeedFlag)(BYTE* pUSB_HighSpeed) override;
    STDMETHOD(QwriteBufCmd0029_0029)(BYTE pollingCode) override;
    STDMETHOD(QsetNANDregMode)(BYTE regMode) override;
    STDMETHOD(QwriteNAND16)(USHORT val) override;
    STDMETHOD(QwriteNAND8)(BYTE val) override;
    STDMETHOD(NANDArrayRead)(ULONG byteLen, BYTE numWidthBytes, BYTE* ptr) override;
    STDMETHOD(WriteNAND16)(BYTE regMode, USHORT val) override;
    STDMETHOD(WriteNAND8)(BYTE regMode, BYTE val) override;
    STDMETHOD(ConfigTarnPollingMethod)(BYTE pollingCode, ULONG duration) override;
    STDMETHOD(GetTarnPollingStatus)(BYTE* status) override;
    STDMETHOD(TarnACCVoltageCtrl)(BYTE SwitchON_OFF) override;
    STDMETHOD(TarnProtectVoltageCtrl)(BYTE SwitchON_OFF) override;
    STDMETHOD(ReadTarn_SocketEEPROM)(ULONG addrEEPROM, BYTE readLen, BYTE* array) override;
    STDMETHOD(ReadTarn_ControllerEEPROM)(ULONG addrEEPROM, BYTE readLen, BYTE* array) override;
    STDMETHOD(QwriteSPI)(BYTE val) override;
    STDMETHOD(WriteSPI)(BYTE val) override;
    STDMETHOD(SPI_ChipEnableCtrl)(BYTE onOff) override;
    STDMETHOD(GetWriteCommandPacket)(ULONG maxSize, VARIANT* pStrVal) override;
    STDMETHOD(GetReadCommandPacket)(ULONG maxSize, VARIANT* pStrVal) override;
    STDMETHOD(DumpNORMemoryToString)(ULONG startAddress, ULONG endAddress, VARIANT* pStrVal) override;
    STDMETHOD(DumpNANDMemoryToString)(ULONG address, ULONG addressByteLength, ULONG dataByteLength,
                                      VARIANT* pStrVal) override;
    STDMETHOD(BurstRead8)(ULONG address, ULONG dataByteLength, BYTE* ptr) override;
    STDMETHOD(BurstRead16)(ULONG address, ULONG dataByteLength, BYTE* ptr) override;
    STDMETHOD(BurstRead32)(ULONG address, ULONG dataByteLength, BYTE* ptr) override;
    STDMETHOD(PageRead8)(ULONG address, ULONG dataByteLength, BYTE* ptr) override;
    STDMETHOD(PageRead16)(ULONG address, ULONG dataByteLength, BYTE* ptr) override;
    STDMETHOD(PageRead32)(ULONG address, ULONG dataByteLength, BYTE* ptr) override;
    STDMETHOD(TarnFPGAOnTheFly)(VARIANT* image) override;
    STDMETHOD(TarnFPGABurn)(VARIANT* algorithm, VARIANT* data) override;
    STDMETHOD(TarnUSBOnTheFly)(VARIANT* image) override;
    STDMETHOD(TarnUSBBurn)(VARIANT* image) override;
    STDMETHOD(TarnFPGAOnTheFlyViaJTAG)(VARIANT* image) override;
    STDMETHOD(SelectTarnType)(TarnType_t TarnType) override;
    STDMETHOD(TarnCPLDBurn)(VARIANT* image) override;
    STDMETHOD(NORArrayRead)(ULONG address, ULONG byteLen, BYTE numWidthBytes, BYTE* ptr) override;
    STDMETHOD(PowerControl)(BYTE bOn) override;
    STDMETHOD(SetRampUpParameter)(BYTE nIs33Volt, TarnPowerRampUpParameter_t RampUpParameter) override;
    STDMETHOD(SetRampUpTemplate)(Tarn_PowerRampUp_t RampUpIndex18, Tarn_PowerRampUp_t RampUpIndex33) override;
    STDMETHOD(SetInitialAccessCycle)(BYTE nCycle) override;
    STDMETHOD(SetVoltage)(Tarn_PowerSource_t nType, ULONG ulVoltage) override;
    // Two slots after the interface's last one, outside the type library.
    virtual HRESULT STDMETHODCALLTYPE ReservedSlot68();
    virtual HRESULT STDMETHODCALLTYPE ReservedSlot69();

    // ITarnEventSource
    STDMETHOD(FireEvent)(TarnEvent_t TarnEvent, ULONG ulParam) override;
    STDMETHOD(FireError)(TarnErrorCause_t TarnErrorCause) override;
    STDMETHOD(FireMessage)(BSTR bstrMessage) override;

    // IConnectionPointContainer
    STDMETHOD(EnumConnectionPoints)(IEnumConnectionPoints** out) override;
    STDMETHOD(FindConnectionPoint)(REFIID iid, IConnectionPoint** out) override;
    // ISupportErrorInfo
    STDMETHOD(InterfaceSupportsErrorInfo)(REFIID iid) override;
    // IProvideClassInfo2
    STDMETHOD(GetClassInfo)(ITypeInfo** out) override;
    STDMETHOD(GetGUID)(DWORD kind, GUID* out) override;

    // Images of the loading methods: a byte array copied, or the file a string names, read whole.
    static std::vector<uint8_t> ImageFromSafeArray(const VARIANT* v);
    static std::vector<uint8_t> ImageFromFile(const VARIANT* v);

private:
    HRESULT Report(tarn::Result r);
    void Disconnect(bool fire);
    HRESULT Load(TarnLoadKind kind, VARIANT* first, VARIANT* second);
    template <class F>
    HRESULT FanOut(F call);
    HRESULT PutString(const std::string& s, VARIANT* out);

    tarn::TarnLink link_;
    CyPipes pipes_;
    CCyUSBDevice* device_ = nullptr;
    std::string claimedPath_;
    uint16_t productId_ = 0x0100;
    CComConnectionPoint eventsPoint_;
    CComConnectionPoint propertyPoint_;
};
