// LxKitSim.dll: the simulated kits of this process behind the USB driver-function table, so the kit
// control's USB classes run unchanged against them. Tests reach the kits through the other exports.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cy_driver.h"
#include "kitsim/kit_jtag.h"
#include "kitsim/nand_chip.h"
#include "kitsim/usb_driver.h"

using kitsim::IoOutcome;
using kitsim::SimUsbDriver;

namespace {

constexpr ULONG_PTR kStatusPending = 0x103;
constexpr uintptr_t kHandleTag = 0x5A000000;

// Boot loader, JTAG jobs and JTAG targets of each kit (kitsim/jtag); they outlive the driver.
std::vector<std::unique_ptr<kitsim::KitJtagFeatures>>& JtagFeatures() {
    static std::vector<std::unique_ptr<kitsim::KitJtagFeatures>> features;
    return features;
}

// The NAND chip of each kit (LX_KITSIM_NAND), null where the kit holds the parallel NOR chip.
std::vector<std::unique_ptr<kitsim::NandChip>>& NandChips() {
    static std::vector<std::unique_ptr<kitsim::NandChip>> chips;
    return chips;
}

// The kit of each open handle, so that a port cycle reaches that kit's boot loader.
std::map<uint32_t, size_t>& HandleKits() {
    static std::map<uint32_t, size_t> kits;
    return kits;
}

SimUsbDriver* Driver() {
    static std::unique_ptr<SimUsbDriver> driver = [] {
        const char* selection = std::getenv("LX_KITSIM");
        std::string error;
        // Test programs that run side by side give their kits serials of their own, so the in-use
        // table (keyed by device path) does not make them wait for each other.
        const char* base = std::getenv("LX_KITSIM_SERIAL");
        uint32_t serialBase = base && *base ? static_cast<uint32_t>(std::strtoul(base, nullptr, 16))
                                            : SimUsbDriver::kDefaultSerialBase;
        auto d = SimUsbDriver::FromSelection(selection ? selection : "", &error, serialBase);
        if (!error.empty()) std::fprintf(stderr, "%s\n", error.c_str());
        if (!d) d = std::make_unique<SimUsbDriver>();
        const char* nand = std::getenv("LX_KITSIM_NAND");
        kitsim::NandPart part;
        bool withNand = nand && *nand && kitsim::VeltanPartByName(nand, &part);
        if (nand && *nand && !withNand) std::fprintf(stderr, "LX_KITSIM_NAND: no part \"%s\"\n", nand);
        // The SPI part behind every kit's serial controller: a part name, ":2" for two dies.
        const char* spi = std::getenv("LX_KITSIM_SPI");
        if (spi && *spi) {
            std::string name = spi;
            bool twoDies = name.size() > 2 && name.compare(name.size() - 2, 2, ":2") == 0;
            if (twoDies) name.resize(name.size() - 2);
            kitsim::SpiPart spiPart;
            if (kitsim::SpiPartByName(name, &spiPart))
                for (size_t i = 0; i < d->Count(); ++i) d->Device(i).SetSpiPart(spiPart, twoDies);
            else
                std::fprintf(stderr, "LX_KITSIM_SPI: no SPI part named \"%s\"\n", name.c_str());
        }
        for (size_t i = 0; i < d->Count(); ++i) {
            JtagFeatures().push_back(std::make_unique<kitsim::KitJtagFeatures>());
            kitsim::InstallJtagFeatures(d->Device(i).KitRef(), *JtagFeatures().back());
            kitsim::Kit& kit = d->Device(i).KitRef();
            NandChips().push_back(withNand ? std::make_unique<kitsim::NandChip>(part, kit.Clock()) : nullptr);
            if (withNand) kit.Attach(0, NandChips().back().get());
        }
        return d;
    }();
    return driver.get();
}

uint32_t SimHandle(HANDLE h) {
    auto v = reinterpret_cast<uintptr_t>(h);
    return (v & 0xFF000000) == kHandleTag ? static_cast<uint32_t>(v & 0x00FFFFFF) : 0;
}

// Completes an OVERLAPPED the way the I/O manager would: status, count, then the event.
struct OverlappedCompletion : kitsim::SimCompletion {
    OVERLAPPED* ov;
    explicit OverlappedCompletion(OVERLAPPED* o) : ov(o) {}
    void Complete(uint32_t count, uint32_t ntStatus) override {
        ov->InternalHigh = count;
        ov->Internal = ntStatus;
        if (ov->hEvent) SetEvent(ov->hEvent);
        delete this;
    }
};

DWORD DosError(uint32_t nt) {
    switch (nt) {
    case 0: return 0;
    case kitsim::kNtCancelled: return ERROR_OPERATION_ABORTED;
    case kitsim::kNtInvalidParameter: return ERROR_INVALID_PARAMETER;
    default: return ERROR_GEN_FAILURE;
    }
}

BOOL SimInterfacePath(const GUID*, DWORD index, char* path, DWORD size) {
    SimUsbDriver* d = Driver();
    if (index >= d->Count()) {
        SetLastError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    const std::string& p = d->Device(index).Path();
    if (p.size() >= size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(path, p.c_str(), p.size() + 1);
    return TRUE;
}

HANDLE SimOpen(const char* path) {
    uint32_t h = Driver()->Open(path ? path : "");
    if (!h) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    {
        std::lock_guard<std::mutex> lock(Driver()->Lock());
        for (size_t i = 0; i < Driver()->Count(); ++i)
            if (Driver()->Device(i).Path() == path) HandleKits()[h] = i;
    }
    return reinterpret_cast<HANDLE>(kHandleTag | h);
}

BOOL SimClose(HANDLE h) {
    if (!SimHandle(h) || !Driver()->Close(SimHandle(h))) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

// A test outside the process pulls the cable of a handle's kit by creating the file that
// LX_KITSIM_CABLE_OUT names, and plugs it back by removing the file.
void FollowCableFile(uint32_t handle) {
    static const std::string path = [] {
        const char* p = std::getenv("LX_KITSIM_CABLE_OUT");
        return std::string(p ? p : "");
    }();
    if (path.empty()) return;
    const bool out = GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    std::lock_guard<std::mutex> lock(Driver()->Lock());
    auto kit = HandleKits().find(handle);
    if (kit == HandleKits().end()) return;
    kitsim::SimUsbDevice& dev = Driver()->Device(kit->second);
    if (dev.Unplugged() != out) dev.SetUnplugged(out);
}

BOOL SimIoControl(HANDLE h, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned,
                  OVERLAPPED* ov) {
    FollowCableFile(SimHandle(h));
    if (!ov) {
        SetLastError(ERROR_INVALID_PARAMETER);  // the handle is overlapped
        return FALSE;
    }
    ov->Internal = kStatusPending;
    ov->InternalHigh = 0;
    if (code == cyioctl::kCyclePort) {
        // The controller resets and boots from its EEPROM (kitsim/jtag boot loader).
        std::lock_guard<std::mutex> lock(Driver()->Lock());
        auto kit = HandleKits().find(SimHandle(h));
        if (kit != HandleKits().end() && kit->second < JtagFeatures().size())
            JtagFeatures()[kit->second]->boot.CyclePort();
    }
    auto* completion = new OverlappedCompletion(ov);
    IoOutcome r = Driver()->Ioctl(SimHandle(h), code, static_cast<uint8_t*>(in), inSize, static_cast<uint8_t*>(out),
                                  outSize, completion);
    if (r.kind == IoOutcome::Pending) {
        SetLastError(ERROR_IO_PENDING);
        return FALSE;
    }
    if (r.kind == IoOutcome::Failed) {
        delete completion;
        ov->Internal = kitsim::kNtUnsuccessful;
        if (ov->hEvent) SetEvent(ov->hEvent);
        SetLastError(r.error);
        return FALSE;
    }
    delete completion;
    ov->Internal = 0;
    ov->InternalHigh = r.count;
    if (ov->hEvent) SetEvent(ov->hEvent);
    if (returned) *returned = r.count;
    SetLastError(0);
    return TRUE;
}

BOOL SimOverlappedResult(HANDLE, OVERLAPPED* ov, DWORD* transferred, BOOL wait) {
    if (ov->Internal == kStatusPending) {
        if (!wait || !ov->hEvent) {
            SetLastError(ERROR_IO_INCOMPLETE);
            return FALSE;
        }
        WaitForSingleObject(ov->hEvent, INFINITE);
    }
    if (transferred) *transferred = static_cast<DWORD>(ov->InternalHigh);
    DWORD error = DosError(static_cast<uint32_t>(ov->Internal));
    if (error) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

const CyDriverTable kSimTable = {sizeof(CyDriverTable), SimInterfacePath, SimOpen, SimClose, SimIoControl,
                                 SimOverlappedResult};

kitsim::SimUsbDevice* DeviceAt(int kit) {
    SimUsbDriver* d = Driver();
    if (kit < 0 || static_cast<size_t>(kit) >= d->Count()) return nullptr;
    return &d->Device(static_cast<size_t>(kit));
}

}  // namespace

extern "C" {

const CyDriverTable* LxKitSimDriver(void) { return &kSimTable; }

int LxKitSimCount(void) { return static_cast<int>(Driver()->Count()); }

// The kit object itself, for test code and extensions built with the same compiler.
void* LxKitSimKit(int kit) {
    auto* dev = DeviceAt(kit);
    return dev ? &dev->KitRef() : nullptr;
}

// The kit's boot loader, JTAG engine and targets (kitsim::KitJtagFeatures).
void* LxKitSimJtag(int kit) {
    if (!DeviceAt(kit)) return nullptr;
    return JtagFeatures()[static_cast<size_t>(kit)].get();
}

void* LxKitSimNorChip(int kit) {
    auto* dev = DeviceAt(kit);
    return dev ? &dev->Chip() : nullptr;
}

// The kit's NAND chip (kitsim::NandChip), or null.
void* LxKitSimNandChip(int kit) {
    if (!DeviceAt(kit)) return nullptr;
    return NandChips()[static_cast<size_t>(kit)].get();
}

// Puts a new NAND chip of the named part into the kit's socket position 0, or with an empty name
// the kit's parallel NOR chip back; -1 for an unknown kit or part.
int LxKitSimSetNandPart(int kit, const char* name) {
    auto* dev = DeviceAt(kit);
    kitsim::NandPart part;
    const bool nor = name && !*name;
    if (!dev || !name || (!nor && !kitsim::VeltanPartByName(name, &part))) return -1;
    std::lock_guard<std::mutex> lock(Driver()->Lock());
    auto& chip = NandChips()[static_cast<size_t>(kit)];
    chip = nor ? nullptr : std::make_unique<kitsim::NandChip>(part, dev->KitRef().Clock());
    dev->KitRef().Attach(0, nor ? static_cast<kitsim::SocketDevice*>(&dev->Chip()) : chip.get());
    return 0;
}

// The SPI chip behind the kit's serial controller (kitsim::SpiChip); die 1 is the upper die of a
// two-die part (null when the kit has none).
void* LxKitSimSpiChip(int kit, int die) {
    auto* dev = DeviceAt(kit);
    if (!dev) return nullptr;
    return die == 0 ? static_cast<void*>(&dev->Spi()) : static_cast<void*>(dev->SpiUpperDie());
}

// Copies of the NOR array, bypassing the chip's commands; -1 for a bad kit or range.
int LxKitSimChipRead(int kit, unsigned offset, void* buffer, unsigned length) {
    auto* dev = DeviceAt(kit);
    if (!dev) return -1;
    std::lock_guard<std::mutex> lock(Driver()->Lock());
    auto& a = dev->Chip().Array();
    if (offset > a.size() || length > a.size() - offset) return -1;
    std::memcpy(buffer, a.data() + offset, length);
    return 0;
}

int LxKitSimChipWrite(int kit, unsigned offset, const void* buffer, unsigned length) {
    auto* dev = DeviceAt(kit);
    if (!dev) return -1;
    std::lock_guard<std::mutex> lock(Driver()->Lock());
    auto& a = dev->Chip().Array();
    if (offset > a.size() || length > a.size() - offset) return -1;
    std::memcpy(a.data() + offset, buffer, length);
    return 0;
}

// Pulls (1) or plugs back (0) the kit's cable: while pulled every request on its handles fails.
int LxKitSimUnplug(int kit, int unplugged) {
    auto* dev = DeviceAt(kit);
    if (!dev) return -1;
    std::lock_guard<std::mutex> lock(Driver()->Lock());
    dev->SetUnplugged(unplugged != 0);
    return 0;
}

// Replaces the configuration descriptor the kit reports (tests of broken firmware tables).
int LxKitSimSetConfigDescriptor(int kit, const void* data, unsigned length) {
    auto* dev = DeviceAt(kit);
    if (!dev) return -1;
    std::lock_guard<std::mutex> lock(Driver()->Lock());
    auto* p = static_cast<const uint8_t*>(data);
    dev->ConfigDescriptor().assign(p, p + length);
    return 0;
}

}  // extern "C"
