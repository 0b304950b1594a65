// The USB device classes over the kit's vendor driver: CCyUSBDevice finds, opens and describes one
// device; the endpoint classes move data with overlapped driver requests and time-outs. Every driver
// call goes through the table of cy_driver.h.
#pragma once
#include <windows.h>

#include <cstdint>

#include "cy_descriptors.h"

class CCyUSBEndPoint {
public:
    CCyUSBEndPoint(HANDLE device, const tarn::EndpointDescriptor* descriptor);
    virtual ~CCyUSBEndPoint() = default;

    // Slots in the order the driver layer expects.
    virtual PUCHAR BeginDirectTransfer(PUCHAR buffer, LONG length, OVERLAPPED* ov);
    virtual PUCHAR BeginBufferedTransfer(PUCHAR buffer, LONG length, OVERLAPPED* ov);
    virtual PUCHAR BeginTransfer(PUCHAR buffer, LONG length, OVERLAPPED* ov) = 0;
    virtual bool FinishTransfer(PUCHAR buffer, LONG& length, OVERLAPPED* ov, PUCHAR request,
                                PUCHAR packetInfos = nullptr);

    bool TransferData(PUCHAR buffer, LONG& length);
    bool ResetPipe();
    bool AbortPipe();

    HANDLE hDevice;
    UCHAR DscLen, DscType, Address, Attributes;
    ULONG MaxPktSize;
    USHORT PktsPerFrame;
    UCHAR Interval;
    UCHAR ssdscLen, ssdscType, ssmaxburst, ssbmAttribute;
    USHORT ssbytesperinterval;
    ULONG TimeOut;       // milliseconds
    ULONG UsbdStatus, NtStatus;
    DWORD bytesWritten;
    DWORD LastError;
    bool bIn;
    bool bDirect;

protected:
    PUCHAR StartRequest(DWORD code, PUCHAR request, DWORD requestSize, PUCHAR out, DWORD outSize, OVERLAPPED* ov);
    virtual ULONG PacketDescriptorBytes(LONG) const { return 0; }
};

class CCyControlEndPoint : public CCyUSBEndPoint {
public:
    CCyControlEndPoint(HANDLE device, const tarn::EndpointDescriptor* descriptor);
    PUCHAR BeginTransfer(PUCHAR buffer, LONG length, OVERLAPPED* ov) override;
    bool ControlRead(PUCHAR buffer, LONG& length);
    bool ControlWrite(PUCHAR buffer, LONG& length);

    UCHAR Target;      // recipient, 0 = device
    UCHAR ReqType;     // 2 = vendor
    UCHAR Direction;   // 0 host-to-device, 1 device-to-host
    UCHAR ReqCode;
    USHORT Value;
    USHORT Index;
};

class CCyBulkEndPoint : public CCyUSBEndPoint {
public:
    using CCyUSBEndPoint::CCyUSBEndPoint;
    PUCHAR BeginTransfer(PUCHAR buffer, LONG length, OVERLAPPED* ov) override;
};

class CCyInterruptEndPoint : public CCyBulkEndPoint {
public:
    using CCyBulkEndPoint::CCyBulkEndPoint;
};

class CCyIsocEndPoint : public CCyUSBEndPoint {
public:
    using CCyUSBEndPoint::CCyUSBEndPoint;
    PUCHAR BeginDirectTransfer(PUCHAR buffer, LONG length, OVERLAPPED* ov) override;
    PUCHAR BeginBufferedTransfer(PUCHAR buffer, LONG length, OVERLAPPED* ov) override;
    PUCHAR BeginTransfer(PUCHAR buffer, LONG length, OVERLAPPED* ov) override;

private:
    ULONG Packets(LONG length) const;
};

class CCyUSBInterface {
public:
    CCyUSBInterface(HANDLE device, const tarn::InterfaceDescriptor& d);
    ~CCyUSBInterface();
    CCyUSBInterface(const CCyUSBInterface&) = delete;
    CCyUSBInterface& operator=(const CCyUSBInterface&) = delete;

    UCHAR bLength, bDescriptorType, bInterfaceNumber, bAlternateSetting, bNumEndpoints;
    UCHAR bInterfaceClass, bInterfaceSubClass, bInterfaceProtocol, iInterface;
    UCHAR bAltSettings;
    USHORT wTotalLength;
    CCyUSBEndPoint* EndPoints[tarn::kMaxEndpointSlots];  // slot 0: the control endpoint when selected
};

class CCyUSBConfig {
public:
    CCyUSBConfig(HANDLE device, const tarn::ConfigDescriptor& d);
    ~CCyUSBConfig();
    CCyUSBConfig(const CCyUSBConfig&) = delete;
    CCyUSBConfig& operator=(const CCyUSBConfig&) = delete;

    UCHAR bLength, bDescriptorType;
    USHORT wTotalLength;
    UCHAR bNumInterfaces, bConfigurationValue, iConfiguration, bmAttributes, MaxPower;
    UCHAR AltInterfaces;  // interface objects built
    CCyUSBInterface* Interfaces[tarn::kMaxInterfaces];
};

class CCyUSBDevice {
public:
    CCyUSBDevice(HWND window, GUID guid, bool open = true);
    ~CCyUSBDevice();
    CCyUSBDevice(const CCyUSBDevice&) = delete;
    CCyUSBDevice& operator=(const CCyUSBDevice&) = delete;

    UCHAR DeviceCount();
    bool Open(UCHAR index) { return OpenDevice(index); }
    bool OpenDevice(UCHAR index);
    void Close() { CloseDevice(); }
    void CloseDevice();
    bool IsOpen() const { return hDevice != INVALID_HANDLE_VALUE; }
    bool ResetParentPort();
    bool CyclePort();
    void GetDeviceSpeed();
    UCHAR EndPointCount() const;
    void SelectConfiguration(UCHAR n);
    bool SelectAltSetting(UCHAR alt);
    CCyUSBEndPoint* EndPointOf(UCHAR address) const;

    // CountDevices is the name the transport uses.
    UCHAR CountDevices() { return DeviceCount(); }

    GUID DrvGuid;
    HWND hWnd;
    HDEVNOTIFY hDevNotification, hHndNotification;
    HANDLE hDevice;
    UCHAR DevNum;
    char DevPath[260];
    UCHAR Devices;

    // Device descriptor fields.
    USHORT BcdUSB, VendorID, ProductID, BcdDevice;
    UCHAR DevClass, DevSubClass, DevProtocol, NumConfigurations;
    ULONG MaxPacketSize;  // endpoint 0
    USHORT StrLangID;
    wchar_t Manufacturer[128], Product[128], SerialNumber[128];
    char DeviceName[256], FriendlyName[256];
    UCHAR USBAddress;
    ULONG DriverVersion, USBDIVersion;
    bool bHighSpeed, bSuperSpeed;

    UCHAR ConfigValue, ConfigAttrib, MaxPower;
    UCHAR IntfcClass, IntfcSubClass, IntfcProtocol;
    UCHAR AltIntfcCount, Interfaces;
    UCHAR CfgNum, IntfcNum, AltSetting;

    CCyUSBEndPoint** EndPoints;  // of the selected interface; [0] is ControlEndPt
    UCHAR EndPointCountValue;
    CCyControlEndPoint* ControlEndPt;
    CCyIsocEndPoint *IsocInEndPt, *IsocOutEndPt;
    CCyBulkEndPoint *BulkInEndPt, *BulkOutEndPt;
    CCyInterruptEndPoint *InterruptInEndPt, *InterruptOutEndPt;

    ULONG UsbdStatus, NtStatus;
    DWORD LastError;

private:
    bool OpenByPath(UCHAR index);
    bool GetDescriptor(UCHAR type, UCHAR index, USHORT langId, PUCHAR out, USHORT length);
    bool ReadString(UCHAR index, wchar_t* out);
    bool SyncRequest(DWORD code, void* buffer, DWORD size);
    void SelectEndpoints();
    void ClearConfigs();

    unsigned char deviceDescriptor_[18];
    unsigned char* configDescriptors_[2];
    CCyUSBConfig* configs_[2];
    CCyUSBInterface* interface_;
};
