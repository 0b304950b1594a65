#include "cyapi.h"

#include <dbt.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "cy_driver.h"
#include "cy_ioctl.h"
#include "lumivex/prompt.h"

namespace {

using namespace cyioctl;

// Requests the classes wait for themselves (descriptor reads, pipe control) never wait longer than
// this; a driver that does not answer then counts as failed instead of hanging the caller.
constexpr DWORD kRequestWaitMs = 5000;

void Put16(PUCHAR p, DWORD v) {
    p[0] = static_cast<UCHAR>(v);
    p[1] = static_cast<UCHAR>(v >> 8);
}
void Put32(PUCHAR p, DWORD v) {
    Put16(p, v & 0xFFFF);
    Put16(p + 2, v >> 16);
}
DWORD Get32(const UCHAR* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (DWORD(p[3]) << 24); }

PUCHAR NewRequest(DWORD size) { return new (std::nothrow) UCHAR[size](); }

enum class Wait { Done, Failed, Abandoned };

// A driver request on an overlapped handle, waited for here. When the driver does not finish it in
// time, the OVERLAPPED and the caller's buffers stay with the driver (Abandoned): they are never freed.
Wait WaitedRequestEx(HANDLE h, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned) {
    auto* ov = new (std::nothrow) OVERLAPPED();
    if (!ov) return Wait::Failed;
    ov->hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!ov->hEvent) {
        delete ov;
        return Wait::Failed;
    }
    DWORD n = 0;
    BOOL ok = CyDriver()->IoControl(h, code, in, inSize, out, outSize, &n, ov);
    if (!ok && GetLastError() == ERROR_IO_PENDING) {
        if (WaitForSingleObject(ov->hEvent, kRequestWaitMs) != WAIT_OBJECT_0) return Wait::Abandoned;
        ok = CyDriver()->OverlappedResult(h, ov, &n, FALSE);
    }
    DWORD error = GetLastError();
    CloseHandle(ov->hEvent);
    delete ov;
    SetLastError(error);
    if (returned) *returned = n;
    return ok ? Wait::Done : Wait::Failed;
}

bool WaitedRequest(HANDLE h, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned) {
    return WaitedRequestEx(h, code, in, inSize, out, outSize, returned) == Wait::Done;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Endpoints

CCyUSBEndPoint::CCyUSBEndPoint(HANDLE device, const tarn::EndpointDescriptor* d)
    : hDevice(device), DscLen(0), DscType(0), Address(0), Attributes(0), MaxPktSize(0), PktsPerFrame(0), Interval(0),
      ssdscLen(0), ssdscType(0), ssmaxburst(0), ssbmAttribute(0), ssbytesperinterval(0), TimeOut(10000),
      UsbdStatus(0), NtStatus(0), bytesWritten(0), LastError(0), bIn(false), bDirect(true) {
    if (d) {
        DscLen = d->length;
        DscType = d->type;
        Address = d->address;
        Attributes = d->attributes;
        MaxPktSize = d->MaxPacketSize();
        PktsPerFrame = static_cast<USHORT>(((d->wMaxPacketSize >> 11) & 3) + 1);
        Interval = d->interval;
        if (d->companion) {
            ssdscLen = d->ssLength;
            ssdscType = d->ssType;
            ssmaxburst = d->ssMaxBurst;
            ssbmAttribute = d->ssAttributes;
            ssbytesperinterval = d->ssBytesPerInterval;
        }
    }
    bIn = (Address & 0x80) != 0;
}

PUCHAR CCyUSBEndPoint::StartRequest(DWORD code, PUCHAR request, DWORD requestSize, PUCHAR out, DWORD outSize,
                                    OVERLAPPED* ov) {
    DWORD n = 0;
    SetLastError(0);
    BOOL ok = CyDriver()->IoControl(hDevice, code, request, requestSize, out, outSize, &n, ov);
    LastError = ok ? 0 : GetLastError();
    UsbdStatus = Get32(request + 18);
    NtStatus = Get32(request + 14);
    return request;
}

PUCHAR CCyUSBEndPoint::BeginBufferedTransfer(PUCHAR buffer, LONG length, OVERLAPPED* ov) {
    if (hDevice == INVALID_HANDLE_VALUE || length < 0) return nullptr;
    DWORD size = kHeaderSize + static_cast<DWORD>(length);
    PUCHAR req = NewRequest(size);
    if (!req) return nullptr;
    req[13] = Address;
    Put32(req + 30, kHeaderSize);
    Put32(req + 34, static_cast<DWORD>(length));
    if (!bIn && length) std::memcpy(req + kHeaderSize, buffer, static_cast<size_t>(length));
    return StartRequest(kBuffered, req, size, req, size, ov);
}

PUCHAR CCyUSBEndPoint::BeginDirectTransfer(PUCHAR buffer, LONG length, OVERLAPPED* ov) {
    if (hDevice == INVALID_HANDLE_VALUE || length < 0) return nullptr;
    PUCHAR req = NewRequest(kHeaderSize);
    if (!req) return nullptr;
    req[13] = Address;
    return StartRequest(kDirect, req, kHeaderSize, buffer, static_cast<DWORD>(length), ov);
}

bool CCyUSBEndPoint::FinishTransfer(PUCHAR buffer, LONG& length, OVERLAPPED* ov, PUCHAR request, PUCHAR packetInfos) {
    DWORD count = 0;
    BOOL ok = CyDriver()->OverlappedResult(hDevice, ov, &count, FALSE);
    if (!ok) LastError = GetLastError();
    DWORD offset = Get32(request + 30);
    DWORD moved = count > offset ? count - offset : 0;
    if (moved > static_cast<DWORD>(length)) moved = static_cast<DWORD>(length);
    bytesWritten = moved;
    length = static_cast<LONG>(moved);
    UsbdStatus = Get32(request + 18);
    NtStatus = Get32(request + 14);
    if (bIn && !bDirect && moved) std::memcpy(buffer, request + offset, moved);
    ULONG pktBytes = Get32(request + 26);
    if (packetInfos && moved && pktBytes) std::memcpy(packetInfos, request + Get32(request + 22), pktBytes);
    delete[] request;
    return ok && UsbdStatus == 0 && NtStatus == 0;
}

bool CCyUSBEndPoint::TransferData(PUCHAR buffer, LONG& length) {
    // The OVERLAPPED outlives this call when the driver never finishes the request.
    auto* ov = new (std::nothrow) OVERLAPPED();
    if (!ov) return false;
    ov->hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!ov->hEvent) {
        delete ov;
        return false;
    }
    PUCHAR request = BeginTransfer(buffer, length, ov);
    if (!request) {
        CloseHandle(ov->hEvent);
        delete ov;
        length = 0;
        return false;
    }
    bool done = false, completed = true;
    if (LastError == 0) {
        done = true;
    } else if (LastError != ERROR_IO_PENDING) {
        done = false;
    } else {
        DWORD w = WaitForSingleObject(ov->hEvent, TimeOut);
        if (w == WAIT_OBJECT_0) {
            done = true;
        } else if (w == WAIT_TIMEOUT) {
            AbortPipe();
            w = WaitForSingleObject(ov->hEvent, 50);
            if (w == WAIT_OBJECT_0) {
                done = true;
            } else if (w == WAIT_TIMEOUT || w == WAIT_FAILED) {
                AbortPipe();
                // A bounded last wait: an abort the driver ignores must not hang the caller.
                done = WaitForSingleObject(ov->hEvent, kRequestWaitMs) == WAIT_OBJECT_0;
                completed = done;
            }
        } else {
            done = false;
        }
    }
    if (!completed) {
        length = 0;
        return false;  // request, event and OVERLAPPED stay with the driver
    }
    bool finished = FinishTransfer(buffer, length, ov, request);
    CloseHandle(ov->hEvent);
    delete ov;
    return done && finished;
}

bool CCyUSBEndPoint::ResetPipe() {
    if (hDevice == INVALID_HANDLE_VALUE) return false;
    UCHAR a = Address;
    bool ok = WaitedRequest(hDevice, kResetPipe, &a, 1, nullptr, 0, nullptr);
    if (!ok) LastError = GetLastError();
    return ok;
}

bool CCyUSBEndPoint::AbortPipe() {
    if (hDevice == INVALID_HANDLE_VALUE) return true;
    UCHAR a = Address;
    WaitedRequest(hDevice, kAbortPipe, &a, 1, nullptr, 0, nullptr);
    return true;
}

CCyControlEndPoint::CCyControlEndPoint(HANDLE device, const tarn::EndpointDescriptor* d)
    : CCyUSBEndPoint(device, d), Target(0), ReqType(2), Direction(0), ReqCode(0), Value(0), Index(0) {
    bDirect = false;
}

PUCHAR CCyControlEndPoint::BeginTransfer(PUCHAR buffer, LONG length, OVERLAPPED* ov) {
    if (hDevice == INVALID_HANDLE_VALUE || length < 0 || length > 0xFFFF) return nullptr;
    bIn = Direction == 1;
    DWORD size = kHeaderSize + static_cast<DWORD>(length);
    PUCHAR req = NewRequest(size);
    if (!req) return nullptr;
    DWORD seconds = TimeOut / 1000;
    if (TimeOut > 0 && TimeOut < 1000) seconds = 1;
    req[0] = static_cast<UCHAR>(((ReqType << 5) & 0x7F) | (Target & 0x1F) | (Direction << 7));
    req[1] = ReqCode;
    Put16(req + 2, Value);
    Put16(req + 4, Index);
    Put16(req + 6, static_cast<DWORD>(length));
    Put32(req + 8, seconds);
    Put32(req + 30, kHeaderSize);
    Put32(req + 34, static_cast<DWORD>(length));
    if (length) std::memcpy(req + kHeaderSize, buffer, static_cast<size_t>(length));
    return StartRequest(kControl, req, size, req, size, ov);
}

bool CCyControlEndPoint::ControlRead(PUCHAR buffer, LONG& length) {
    Direction = 1;
    return TransferData(buffer, length);
}

bool CCyControlEndPoint::ControlWrite(PUCHAR buffer, LONG& length) {
    Direction = 0;
    return TransferData(buffer, length);
}

PUCHAR CCyBulkEndPoint::BeginTransfer(PUCHAR buffer, LONG length, OVERLAPPED* ov) {
    return bDirect ? BeginDirectTransfer(buffer, length, ov) : BeginBufferedTransfer(buffer, length, ov);
}

ULONG CCyIsocEndPoint::Packets(LONG length) const {
    if (MaxPktSize == 0 || length <= 0) return 0;
    return (static_cast<ULONG>(length) + MaxPktSize - 1) / MaxPktSize;
}

PUCHAR CCyIsocEndPoint::BeginBufferedTransfer(PUCHAR buffer, LONG length, OVERLAPPED* ov) {
    ULONG packets = Packets(length);
    if (hDevice == INVALID_HANDLE_VALUE || packets == 0) return nullptr;
    DWORD dataOffset = kHeaderSize + 8 * packets;
    DWORD size = dataOffset + static_cast<DWORD>(length);
    PUCHAR req = NewRequest(size);
    if (!req) return nullptr;
    req[13] = Address;
    Put32(req + 22, kHeaderSize);
    Put32(req + 26, 8 * packets);
    Put32(req + 30, dataOffset);
    Put32(req + 34, static_cast<DWORD>(length));
    if (!bIn) std::memcpy(req + dataOffset, buffer, static_cast<size_t>(length));
    return StartRequest(kBuffered, req, size, req, size, ov);
}

PUCHAR CCyIsocEndPoint::BeginDirectTransfer(PUCHAR buffer, LONG length, OVERLAPPED* ov) {
    ULONG packets = Packets(length);
    if (hDevice == INVALID_HANDLE_VALUE || packets == 0) return nullptr;
    DWORD size = kHeaderSize + 8 * packets;
    PUCHAR req = NewRequest(size);
    if (!req) return nullptr;
    req[13] = Address;
    Put32(req + 22, kHeaderSize);
    Put32(req + 26, 8 * packets);
    return StartRequest(kDirect, req, size, buffer, static_cast<DWORD>(length), ov);
}

PUCHAR CCyIsocEndPoint::BeginTransfer(PUCHAR buffer, LONG length, OVERLAPPED* ov) {
    return bDirect ? BeginDirectTransfer(buffer, length, ov) : BeginBufferedTransfer(buffer, length, ov);
}

// ---------------------------------------------------------------------------------------------
// Configurations and interfaces

CCyUSBInterface::CCyUSBInterface(HANDLE device, const tarn::InterfaceDescriptor& d) {
    bLength = d.raw[0];
    bDescriptorType = d.raw[1];
    bInterfaceNumber = d.raw[2];
    bAlternateSetting = d.raw[3];
    bNumEndpoints = d.raw[4];
    bInterfaceClass = d.raw[5];
    bInterfaceSubClass = d.raw[6];
    bInterfaceProtocol = d.raw[7];
    iInterface = d.raw[8];
    bAltSettings = d.altSettings;
    wTotalLength = static_cast<USHORT>(d.totalLength);
    std::memset(EndPoints, 0, sizeof EndPoints);
    for (size_t i = 0; i < d.endpoints.size() && i + 1 < tarn::kMaxEndpointSlots; ++i) {
        const auto& e = d.endpoints[i];
        CCyUSBEndPoint* ep = nullptr;
        switch (e.attributes & 3) {
        case 0: ep = new CCyControlEndPoint(device, &e); break;
        case 1: ep = new CCyIsocEndPoint(device, &e); break;
        case 2: ep = new CCyBulkEndPoint(device, &e); break;
        default: ep = new CCyInterruptEndPoint(device, &e); break;
        }
        EndPoints[i + 1] = ep;
    }
}

CCyUSBInterface::~CCyUSBInterface() {
    // Slot 0 is the device's control endpoint, owned by the device.
    for (int i = 1; i < tarn::kMaxEndpointSlots; ++i) delete EndPoints[i];
}

CCyUSBConfig::CCyUSBConfig(HANDLE device, const tarn::ConfigDescriptor& d) {
    bLength = d.length;
    bDescriptorType = d.type;
    wTotalLength = d.totalLength;
    bNumInterfaces = d.numInterfaces;
    bConfigurationValue = d.value;
    iConfiguration = d.stringIndex;
    bmAttributes = d.attributes;
    MaxPower = d.maxPower;
    std::memset(Interfaces, 0, sizeof Interfaces);
    AltInterfaces = static_cast<UCHAR>(d.interfaces.size());
    for (size_t i = 0; i < d.interfaces.size(); ++i) Interfaces[i] = new CCyUSBInterface(device, d.interfaces[i]);
}

CCyUSBConfig::~CCyUSBConfig() {
    for (auto* i : Interfaces) delete i;
}

// ---------------------------------------------------------------------------------------------
// Device

CCyUSBDevice::CCyUSBDevice(HWND window, GUID guid, bool open)
    : DrvGuid(guid), hWnd(window), hDevNotification(nullptr), hHndNotification(nullptr),
      hDevice(INVALID_HANDLE_VALUE), DevNum(0), Devices(0), EndPoints(nullptr), EndPointCountValue(0),
      ControlEndPt(nullptr), UsbdStatus(0), NtStatus(0), LastError(0), configDescriptors_{nullptr, nullptr},
      configs_{nullptr, nullptr}, interface_(nullptr) {
    DevPath[0] = 0;
    ClearConfigs();
    if (hWnd) {
        DEV_BROADCAST_DEVICEINTERFACE_A filter{};
        filter.dbcc_size = sizeof filter;
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        filter.dbcc_classguid = DrvGuid;
        hDevNotification = RegisterDeviceNotificationA(hWnd, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    }
    if (open) OpenDevice(0);
}

CCyUSBDevice::~CCyUSBDevice() {
    // Nothing is thrown from here: a failed unregistration only leaves a stale registration.
    CloseDevice();
    if (hDevNotification) UnregisterDeviceNotification(hDevNotification);
}

void CCyUSBDevice::ClearConfigs() {
    for (int i = 0; i < 2; ++i) {
        delete configs_[i];
        configs_[i] = nullptr;
        delete[] configDescriptors_[i];
        configDescriptors_[i] = nullptr;
    }
    delete ControlEndPt;
    ControlEndPt = nullptr;
    interface_ = nullptr;
    EndPoints = nullptr;
    EndPointCountValue = 0;
    IsocInEndPt = IsocOutEndPt = nullptr;
    BulkInEndPt = BulkOutEndPt = nullptr;
    InterruptInEndPt = InterruptOutEndPt = nullptr;
    std::memset(deviceDescriptor_, 0, sizeof deviceDescriptor_);
    BcdUSB = VendorID = ProductID = BcdDevice = 0;
    DevClass = DevSubClass = DevProtocol = NumConfigurations = 0;
    MaxPacketSize = 0;
    StrLangID = 0;
    Manufacturer[0] = Product[0] = SerialNumber[0] = 0;
    DeviceName[0] = FriendlyName[0] = 0;
    USBAddress = 0;
    DriverVersion = USBDIVersion = 0;
    bHighSpeed = bSuperSpeed = false;
    ConfigValue = ConfigAttrib = MaxPower = 0;
    IntfcClass = IntfcSubClass = IntfcProtocol = 0;
    AltIntfcCount = Interfaces = 0;
    CfgNum = IntfcNum = AltSetting = 0;
}

UCHAR CCyUSBDevice::DeviceCount() {
    UCHAR n = 0;
    char path[260];
    // Interfaces are counted until the set ends; one that fails otherwise is passed over.
    for (DWORD i = 0; i < 255; ++i) {
        if (CyDriver()->InterfacePath(&DrvGuid, i, path, sizeof path)) {
            ++n;
            continue;
        }
        if (GetLastError() == ERROR_NO_MORE_ITEMS) break;
    }
    Devices = n;
    return n;
}

bool CCyUSBDevice::OpenByPath(UCHAR index) {
    UCHAR count = DeviceCount();
    if (count == 0 || index >= count) return false;
    // Find the index-th interface that answers, as the count did.
    UCHAR seen = 0;
    for (DWORD i = 0; i < 255; ++i) {
        if (!CyDriver()->InterfacePath(&DrvGuid, i, DevPath, sizeof DevPath)) {
            if (GetLastError() == ERROR_NO_MORE_ITEMS) break;
            continue;
        }
        if (seen++ != index) continue;
        hDevice = CyDriver()->Open(DevPath);
        if (hDevice == INVALID_HANDLE_VALUE) {
            LastError = GetLastError();
            DevNum = 0;
            return false;
        }
        return true;
    }
    DevPath[0] = 0;
    return false;
}

bool CCyUSBDevice::SyncRequest(DWORD code, void* buffer, DWORD size) {
    DWORD n = 0;
    bool ok = WaitedRequest(hDevice, code, buffer, size, buffer, size, &n) && n == size;
    if (!ok) LastError = GetLastError();
    return ok;
}

bool CCyUSBDevice::GetDescriptor(UCHAR type, UCHAR index, USHORT langId, PUCHAR out, USHORT length) {
    DWORD size = kHeaderSize + length;
    PUCHAR req = NewRequest(size);
    if (!req) return false;
    req[0] = 0x80;
    req[1] = 6;
    Put16(req + 2, (type << 8) | index);
    Put16(req + 4, langId);
    Put16(req + 6, length);
    Put32(req + 8, 5);
    Put32(req + 30, kHeaderSize);
    Put32(req + 34, length);
    DWORD n = 0;
    Wait w = WaitedRequestEx(hDevice, kControl, req, size, req, size, &n);
    if (w == Wait::Abandoned) return false;  // the request buffer stays with the driver
    bool ok = w == Wait::Done && n == size;
    if (ok) std::memcpy(out, req + kHeaderSize, length);
    else LastError = GetLastError();
    UsbdStatus = Get32(req + 18);
    NtStatus = Get32(req + 14);
    delete[] req;
    return ok;
}

bool CCyUSBDevice::ReadString(UCHAR index, wchar_t* out) {
    out[0] = 0;
    if (index == 0) return true;
    UCHAR head[2];
    if (!GetDescriptor(3, index, StrLangID, head, 2)) return false;
    UCHAR buf[256] = {};
    if (head[0] <= 2 || head[1] != 3) return true;
    if (!GetDescriptor(3, index, StrLangID, buf, head[0])) return false;
    size_t chars = (head[0] - 2u) / 2;
    if (chars > 127) chars = 127;
    for (size_t i = 0; i < chars; ++i) out[i] = static_cast<wchar_t>(buf[2 + 2 * i] | (buf[3 + 2 * i] << 8));
    out[chars] = 0;
    return true;
}

bool CCyUSBDevice::OpenDevice(UCHAR index) {
    if (IsOpen()) CloseDevice();
    if (!OpenByPath(index)) {
        hDevice = INVALID_HANDLE_VALUE;
        DevNum = 0;
        return false;
    }
    DevNum = index;

    if (!GetDescriptor(1, 0, 0, deviceDescriptor_, 18)) {
        CloseDevice();
        return false;
    }
    const UCHAR* d = deviceDescriptor_;
    BcdUSB = static_cast<USHORT>(d[2] | (d[3] << 8));
    DevClass = d[4];
    DevSubClass = d[5];
    DevProtocol = d[6];
    MaxPacketSize = tarn::ControlPacketSize(BcdUSB, d[7]);
    VendorID = static_cast<USHORT>(d[8] | (d[9] << 8));
    ProductID = static_cast<USHORT>(d[10] | (d[11] << 8));
    BcdDevice = static_cast<USHORT>(d[12] | (d[13] << 8));
    NumConfigurations = d[17];

    UCHAR langs[256] = {};
    StrLangID = 0;
    if (GetDescriptor(3, 0, 0, langs, 2) && langs[0] >= 4 && GetDescriptor(3, 0, 0, langs, langs[0])) {
        StrLangID = static_cast<USHORT>(langs[2] | (langs[3] << 8));
        for (int i = 2; i + 1 < langs[0]; i += 2)
            if ((langs[i] | (langs[i + 1] << 8)) == 1033) StrLangID = 1033;
    }
    ReadString(d[14], Manufacturer);
    ReadString(d[15], Product);
    ReadString(d[16], SerialNumber);

    if ((BcdUSB >> 8) >= 3) {
        UCHAR bos[5];
        if (!GetDescriptor(15, 0, 0, bos, 5) || bos[1] != 15 || (bos[2] | (bos[3] << 8)) < 5) {
            LxMessageBox(nullptr, "Please correct firmware BOS descriptor table", "Wrong BOS Descriptor", MB_OK);
            CloseDevice();
            return false;
        }
    }

    UCHAR byte = 0;
    USBAddress = SyncRequest(kAddress, &byte, 1) ? byte : 0;
    if (!SyncRequest(kDeviceName, DeviceName, sizeof DeviceName)) DeviceName[0] = 0;
    DeviceName[sizeof DeviceName - 1] = 0;
    if (!SyncRequest(kFriendlyName, FriendlyName, sizeof FriendlyName)) FriendlyName[0] = 0;
    FriendlyName[sizeof FriendlyName - 1] = 0;
    ULONG v = 0;
    DriverVersion = SyncRequest(kDriverVersion, &v, 4) ? v : 0;
    v = 0;
    USBDIVersion = SyncRequest(kUsbdVersion, &v, 4) ? v : 0;
    GetDeviceSpeed();

    UCHAR configs = NumConfigurations > 2 ? 2 : NumConfigurations;
    for (UCHAR c = 0; c < configs; ++c) {
        UCHAR head[9];
        tarn::ConfigDescriptor parsed;
        std::string why;
        bool ok = GetDescriptor(2, c, 0, head, 9);
        USHORT total = ok ? static_cast<USHORT>(head[2] | (head[3] << 8)) : 0;
        if (ok && total >= 9) {
            configDescriptors_[c] = NewRequest(total);
            ok = configDescriptors_[c] && GetDescriptor(2, c, 0, configDescriptors_[c], total) &&
                 tarn::ParseConfigDescriptor(configDescriptors_[c], total, (BcdUSB >> 8) != 2, &parsed, &why);
        } else {
            ok = false;
        }
        if (!ok) {
            LxMessageBox(nullptr, "Please correct firmware descriptor table", "Wrong Device Configuration", MB_OK);
            CloseDevice();
            return false;
        }
        configs_[c] = new CCyUSBConfig(hDevice, parsed);
    }

    tarn::EndpointDescriptor control;
    control.length = 7;
    control.type = 5;
    control.wMaxPacketSize = static_cast<uint16_t>(MaxPacketSize > 0xFFFF ? 0xFFFF : MaxPacketSize);
    ControlEndPt = new CCyControlEndPoint(hDevice, &control);
    ControlEndPt->MaxPktSize = MaxPacketSize;

    if (!configs_[0] || configs_[0]->AltInterfaces == 0) {
        CloseDevice();
        return false;
    }
    SelectConfiguration(0);
    if (hDevNotification) {
        DEV_BROADCAST_HANDLE filter{};
        filter.dbch_size = sizeof filter;
        filter.dbch_devicetype = DBT_DEVTYP_HANDLE;
        filter.dbch_handle = hDevice;
        hHndNotification = RegisterDeviceNotificationA(hWnd, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    }
    return true;
}

void CCyUSBDevice::CloseDevice() {
    if (hDevice != INVALID_HANDLE_VALUE) {
        if (hHndNotification) {
            UnregisterDeviceNotification(hHndNotification);
            hHndNotification = nullptr;
        }
        if (!CyDriver()->Close(hDevice)) LastError = GetLastError();
        hDevice = INVALID_HANDLE_VALUE;
    }
    ClearConfigs();
}

bool CCyUSBDevice::ResetParentPort() {
    return IsOpen() && WaitedRequest(hDevice, kResetParent, nullptr, 0, nullptr, 0, nullptr);
}

bool CCyUSBDevice::CyclePort() { return IsOpen() && WaitedRequest(hDevice, kCyclePort, nullptr, 0, nullptr, 0, nullptr); }

void CCyUSBDevice::GetDeviceSpeed() {
    ULONG speed = 0;
    if (IsOpen() && SyncRequest(kSpeed, &speed, 4)) {
        bHighSpeed = speed == 2;
        bSuperSpeed = speed == 4;
    }
}

UCHAR CCyUSBDevice::EndPointCount() const {
    if (!IsOpen() || !interface_) return 0;
    return EndPointCountValue;
}

void CCyUSBDevice::SelectConfiguration(UCHAR n) {
    if (n > 1 || !configs_[n]) return;
    CfgNum = n;
    CCyUSBConfig* c = configs_[n];
    ConfigValue = c->bConfigurationValue;
    ConfigAttrib = c->bmAttributes;
    MaxPower = c->MaxPower;
    Interfaces = c->bNumInterfaces;
    AltIntfcCount = c->Interfaces[0] ? c->Interfaces[0]->bAltSettings : 0;
    UCHAR alt = 0;
    if (!SyncRequest(kAltSetting, &alt, 1)) alt = 0;
    if (!SelectAltSetting(alt)) SelectAltSetting(0);
}

bool CCyUSBDevice::SelectAltSetting(UCHAR alt) {
    CCyUSBConfig* c = configs_[CfgNum];
    if (!c) return false;
    for (int i = 0; i < c->AltInterfaces; ++i) {
        CCyUSBInterface* itf = c->Interfaces[i];
        if (itf && itf->bAlternateSetting == alt) {
            interface_ = itf;
            IntfcNum = static_cast<UCHAR>(i);
            AltSetting = alt;
            IntfcClass = itf->bInterfaceClass;
            IntfcSubClass = itf->bInterfaceSubClass;
            IntfcProtocol = itf->bInterfaceProtocol;
            SelectEndpoints();
            return true;
        }
    }
    return false;
}

void CCyUSBDevice::SelectEndpoints() {
    interface_->EndPoints[0] = ControlEndPt;
    EndPoints = interface_->EndPoints;
    UCHAR n = 1;
    while (n < tarn::kMaxEndpointSlots && EndPoints[n]) ++n;
    EndPointCountValue = n;
    IsocInEndPt = IsocOutEndPt = nullptr;
    BulkInEndPt = BulkOutEndPt = nullptr;
    InterruptInEndPt = InterruptOutEndPt = nullptr;
    for (UCHAR i = 1; i < n; ++i) {
        CCyUSBEndPoint* ep = EndPoints[i];
        ep->bDirect = true;
        switch (ep->Attributes & 3) {
        case 1:
            if (ep->bIn && !IsocInEndPt) IsocInEndPt = static_cast<CCyIsocEndPoint*>(ep);
            if (!ep->bIn && !IsocOutEndPt) IsocOutEndPt = static_cast<CCyIsocEndPoint*>(ep);
            break;
        case 2:
            if (ep->bIn && !BulkInEndPt) BulkInEndPt = static_cast<CCyBulkEndPoint*>(ep);
            if (!ep->bIn && !BulkOutEndPt) BulkOutEndPt = static_cast<CCyBulkEndPoint*>(ep);
            break;
        case 3:
            if (ep->bIn && !InterruptInEndPt) InterruptInEndPt = static_cast<CCyInterruptEndPoint*>(ep);
            if (!ep->bIn && !InterruptOutEndPt) InterruptOutEndPt = static_cast<CCyInterruptEndPoint*>(ep);
            break;
        default:
            break;
        }
    }
}

CCyUSBEndPoint* CCyUSBDevice::EndPointOf(UCHAR address) const {
    if (address == 0) return ControlEndPt;
    for (UCHAR i = 1; i < EndPointCount(); ++i)
        if (EndPoints[i] && EndPoints[i]->Address == address) return EndPoints[i];
    return nullptr;
}
