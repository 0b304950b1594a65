#include "kitsim/usb_driver.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace kitsim {

namespace {

void Put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t Get16(const uint8_t* p) { return p[0] | (p[1] << 8); }
uint32_t Get32(const uint8_t* p) { return Get16(p) | (Get16(p + 2) << 16); }

void SetStatus(uint8_t* header, uint32_t nt, uint32_t usbd) {
    if (!header) return;
    Put32(header + kHdrNtStatus, nt);
    Put32(header + kHdrUsbdStatus, usbd);
}

std::vector<uint8_t> StringDescriptor(const std::string& text) {
    std::vector<uint8_t> d(2 + 2 * text.size());
    d[0] = static_cast<uint8_t>(d.size());
    d[1] = 3;
    for (size_t i = 0; i < text.size(); ++i) d[2 + 2 * i] = static_cast<uint8_t>(text[i]);
    return d;
}

}  // namespace

SimUsbDevice::SimUsbDevice(const KitIdentity& id, const NorPart& part) : kit_(id), chip_(part, kit_.Clock()) {
    kit_.Attach(0, &chip_);
    SetSpiPart(BessaSpiPart());
    char path[160];
    std::snprintf(path, sizeof path, "\\\\?\\usb#vid_%04x&pid_%04x#%08x#%s", id.vendorId, id.productId,
                  static_cast<unsigned>(id.serial), kDriverGuidText);
    path_ = path;
    deviceDesc_ = {18, 1, 0x00, 0x02, 0x00, 0x00, 0x00, 64, 0, 0, 0, 0, 0x01, 0x00, 1, 2, 3, 1};
    Put16(&deviceDesc_[8], id.vendorId);
    Put16(&deviceDesc_[10], id.productId);
    configDesc_ = {9, 2, 0, 0, 1, 1, 0, 0x80, 50,            // configuration
                   9, 4, 0, 0, 4, 0xFF, 0x00, 0x00, 0,       // interface 0, 4 endpoints
                   7, 5, kitproto::kEpCommandOut, 2, 64, 0, 0,     // command packets out
                   7, 5, kitproto::kEpCommandIn, 2, 64, 0, 0,      // answers in
                   7, 5, kitproto::kEpStreamOut, 2, 0x00, 0x02, 0, // bus stream out
                   7, 5, kitproto::kEpDataIn, 2, 0x00, 0x02, 0};   // array data in
    Put16(&configDesc_[2], static_cast<uint32_t>(configDesc_.size()));
}

void SimUsbDevice::SetSpiPart(const SpiPart& part, bool twoDies) {
    spi_ = std::make_unique<SpiChip>(part, kit_.Clock());
    spiUpper_ = twoDies ? std::make_unique<SpiChip>(part, kit_.Clock()) : nullptr;
    kit_.AttachSerial(0, spi_.get(), spiUpper_.get());
}

bool SimUsbDevice::HasEndpoint(uint8_t address) const {
    return address == kitproto::kEpCommandOut || address == kitproto::kEpCommandIn ||
           address == kitproto::kEpStreamOut || address == kitproto::kEpDataIn;
}

std::unique_ptr<SimUsbDriver> SimUsbDriver::FromSelection(const std::string& selection, std::string* error,
                                                    uint32_t serialBase) {
    if (selection.empty() || selection == "0") return nullptr;
    auto driver = std::make_unique<SimUsbDriver>();
    std::string list = selection == "1" ? "II" : selection;
    size_t start = 0;
    uint32_t n = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        KitIdentity id;
        id.serial = serialBase + ++n;
        unsigned vid = 0, pid = 0;
        char tail = 0;
        if (item == "I") {
            id.productId = kProductTypeI;
        } else if (item == "II") {
            id.productId = kProductTypeII;
        } else if (item.size() == 9 && std::sscanf(item.c_str(), "%4x:%4x%c", &vid, &pid, &tail) == 2) {
            id.vendorId = static_cast<uint16_t>(vid);
            id.productId = static_cast<uint16_t>(pid);
        } else {
            if (error) *error = "LX_KITSIM: cannot read the kit \"" + item + "\" (use I, II or VVVV:PPPP)";
            return nullptr;
        }
        driver->AddKit(id);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return driver;
}

SimUsbDriver::~SimUsbDriver() {
    std::lock_guard<std::mutex> lock(mutex_);
    CancelWhere(nullptr, -1, 0);
}

void SimUsbDriver::AddKit(const KitIdentity& id, const NorPart& part) {
    std::lock_guard<std::mutex> lock(mutex_);
    devices_.push_back(std::make_unique<SimUsbDevice>(id, part));
}

uint32_t SimUsbDriver::Open(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& d : devices_) {
        if (d->Path() == path) {
            uint32_t h = nextHandle_++;
            handles_.push_back({h, d.get()});
            return h;
        }
    }
    return 0;
}

bool SimUsbDriver::Close(uint32_t handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = std::find_if(handles_.begin(), handles_.end(), [&](const auto& p) { return p.first == handle; });
    if (it == handles_.end()) return false;
    CancelWhere(nullptr, -1, handle);
    handles_.erase(it);
    return true;
}

size_t SimUsbDriver::PendingCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return pending_.size();
}

SimUsbDevice* SimUsbDriver::DeviceOf(uint32_t handle) {
    for (auto& p : handles_)
        if (p.first == handle) return p.second;
    return nullptr;
}

void SimUsbDriver::CancelWhere(SimUsbDevice* dev, int endpoint, uint32_t handle) {
    std::vector<Pending> cancelled;
    for (auto it = pending_.begin(); it != pending_.end();) {
        bool match = (!dev || it->device == dev) && (endpoint < 0 || it->endpoint == endpoint) &&
                     (handle == 0 || it->handle == handle);
        if (match) {
            cancelled.push_back(*it);
            it = pending_.erase(it);
        } else {
            ++it;
        }
    }
    for (auto& p : cancelled) {
        SetStatus(p.header, kNtCancelled, kUsbdCancelled);
        p.completion->Complete(0, kNtCancelled);
    }
}

void SimUsbDriver::ServicePending(SimUsbDevice& dev) {
    for (auto it = pending_.begin(); it != pending_.end();) {
        if (it->device != &dev || dev.kit_.InWaiting(it->endpoint) == 0) {
            ++it;
            continue;
        }
        Pending p = *it;
        it = pending_.erase(it);
        uint32_t n = static_cast<uint32_t>(dev.kit_.InRead(p.endpoint, p.data, p.length));
        if (p.header) Put32(p.header + kHdrDataLength, n);
        SetStatus(p.header, kNtSuccess, 0);
        p.completion->Complete(p.offset + n, kNtSuccess);
    }
}

IoOutcome SimUsbDriver::Ioctl(uint32_t handle, uint32_t code, uint8_t* in, uint32_t inLength, uint8_t* out,
                              uint32_t outLength, SimCompletion* completion) {
    std::lock_guard<std::mutex> lock(mutex_);
    SimUsbDevice* dev = DeviceOf(handle);
    if (!dev) return {IoOutcome::Failed, 0, kErrInvalidHandle};
    if (dev->Unplugged()) return {IoOutcome::Failed, 0, kErrDeviceNotConnected};
    auto fixed = [&](const void* data, uint32_t size) -> IoOutcome {
        if (!out || outLength < size) return {IoOutcome::Failed, 0, kErrInvalidParameter};
        std::memcpy(out, data, size);
        return {IoOutcome::Done, size, 0};
    };
    switch (code) {
    case kDriverVersion: { uint8_t v[4]; Put32(v, 0x00010000); return fixed(v, 4); }
    case kUsbdVersion: { uint8_t v[4]; Put32(v, 0x00020000); return fixed(v, 4); }
    case kAltSetting: { uint8_t v = 0; return fixed(&v, 1); }
    case kAddress: {
        uint8_t v = 2;
        for (size_t i = 0; i < devices_.size(); ++i)
            if (devices_[i].get() == dev) v = static_cast<uint8_t>(i + 2);
        return fixed(&v, 1);
    }
    case kSpeed: { uint8_t v[4]; Put32(v, 2); return fixed(v, 4); }
    case kDeviceName:
    case kFriendlyName: {
        char text[256] = {};
        std::snprintf(text, sizeof text, "%s", code == kDeviceName ? "TarnKit" : "Tarn Kit (simulated)");
        return fixed(text, sizeof text);
    }
    case kCyclePort:
    case kResetParent:
        return {IoOutcome::Done, 0, 0};
    case kResetPipe:
    case kAbortPipe: {
        if (!in || inLength < 1 || !dev->HasEndpoint(in[0])) return {IoOutcome::Failed, 0, kErrInvalidParameter};
        if (code == kResetPipe) dev->kit_.InDiscard(in[0]);
        CancelWhere(dev, in[0], 0);
        return {IoOutcome::Done, 0, 0};
    }
    case kControl:
        if (!in || inLength < kHeaderSize) return {IoOutcome::Failed, 0, kErrInvalidParameter};
        return Control(*dev, in, inLength, out == in ? outLength : inLength);
    case kBuffered: {
        if (!in || inLength < kHeaderSize || out != in) return {IoOutcome::Failed, 0, kErrInvalidParameter};
        uint32_t offset = Get32(in + kHdrDataOffset), length = Get32(in + kHdrDataLength);
        if (offset < kHeaderSize || offset > outLength || length > outLength - offset)
            return {IoOutcome::Failed, 0, kErrInvalidParameter};
        return Transfer(handle, *dev, in, in + offset, length, offset, completion);
    }
    case kDirect:
        if (!in || inLength < kHeaderSize) return {IoOutcome::Failed, 0, kErrInvalidParameter};
        return Transfer(handle, *dev, in, out, out ? outLength : 0, 0, completion);
    default:
        return {IoOutcome::Failed, 0, kErrInvalidFunction};
    }
}

IoOutcome SimUsbDriver::Control(SimUsbDevice& dev, uint8_t* buffer, uint32_t inLength, uint32_t size) {
    (void)inLength;
    UsbSetup s{buffer[kHdrRequestType], buffer[kHdrRequest], static_cast<uint16_t>(Get16(buffer + kHdrValue)),
               static_cast<uint16_t>(Get16(buffer + kHdrIndex)), static_cast<uint16_t>(Get16(buffer + kHdrLength))};
    uint32_t offset = Get32(buffer + kHdrDataOffset);
    if (offset < kHeaderSize || offset > size || s.length > size - offset) {
        SetStatus(buffer, kNtInvalidParameter, kUsbdStall);
        return {IoOutcome::Failed, 0, kErrInvalidParameter};
    }
    uint8_t* data = buffer + offset;
    uint32_t length = s.length;
    bool ok;
    if (s.requestType == 0x80 && s.request == 6) {
        const std::vector<uint8_t>* d = nullptr;
        std::vector<uint8_t> temp;
        uint8_t type = s.value >> 8, index = s.value & 0xFF;
        if (type == 1 && index == 0) {
            d = &dev.deviceDesc_;
        } else if (type == 2 && index == 0) {
            d = &dev.configDesc_;
        } else if (type == 3) {
            char serial[16];
            std::snprintf(serial, sizeof serial, "%08X", static_cast<unsigned>(dev.kit_.Identity().serial));
            if (index == 0) temp = {4, 3, 0x09, 0x04};
            else if (index == 1) temp = StringDescriptor("Lumivex");
            else if (index == 2) temp = StringDescriptor("Tarn Kit (simulated)");
            else if (index == 3) temp = StringDescriptor(serial);
            if (!temp.empty()) d = &temp;
        }
        ok = d != nullptr;
        if (ok) {
            length = std::min<uint32_t>(length, static_cast<uint32_t>(d->size()));
            std::memcpy(data, d->data(), length);
        }
    } else {
        ok = dev.kit_.ControlTransfer(s, data, length);
        length = std::min<uint32_t>(length, s.length);
    }
    if (!ok) {
        SetStatus(buffer, kNtUnsuccessful, kUsbdStall);
        return {IoOutcome::Failed, 0, kErrGenFailure};
    }
    SetStatus(buffer, kNtSuccess, 0);
    Put32(buffer + kHdrDataLength, length);
    return {IoOutcome::Done, offset + length, 0};
}

IoOutcome SimUsbDriver::Transfer(uint32_t handle, SimUsbDevice& dev, uint8_t* header, uint8_t* data,
                                 uint32_t length, uint32_t offset, SimCompletion* completion) {
    uint8_t ep = header[kHdrEndpoint];
    if (!dev.HasEndpoint(ep)) {
        SetStatus(header, kNtInvalidParameter, kUsbdInvalidEndpoint);
        return {IoOutcome::Failed, 0, kErrInvalidParameter};
    }
    if (length > 0 && !data) return {IoOutcome::Failed, 0, kErrInvalidParameter};
    if (!(ep & 0x80)) {
        if (ep == kitproto::kEpCommandOut) dev.kit_.CommandOut(data, length);
        else dev.kit_.StreamOut(data, length);
        SetStatus(header, kNtSuccess, 0);
        ServicePending(dev);
        return {IoOutcome::Done, offset + length, 0};
    }
    if (dev.kit_.InWaiting(ep) > 0 || length == 0) {
        uint32_t n = static_cast<uint32_t>(dev.kit_.InRead(ep, data, length));
        SetStatus(header, kNtSuccess, 0);
        Put32(header + kHdrDataLength, n);
        return {IoOutcome::Done, offset + n, 0};
    }
    if (!completion) return {IoOutcome::Failed, 0, kErrInvalidParameter};
    pending_.push_back({handle, &dev, ep, header, data, length, offset, completion});
    return {IoOutcome::Pending, 0, 0};
}

}  // namespace kitsim
