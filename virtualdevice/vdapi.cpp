/* The device-API exports of the virtual device and the volume layer below them: drive letters,
 * the image device, partition entries, raw sectors and the folder streams. Every export runs
 * under one process-wide lock. */
#include "vdapi.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "profiler.h"

namespace lxvd {
namespace {

using lxfat::FatFs;
using lxfat::u16string;

constexpr int kNotSupported = 1003;
constexpr int kLastErrorSlot = 55;
constexpr int kStreams = 10;
constexpr uint32_t kHandleTag = 0x3Eu << 24;
constexpr size_t kMaxPathUnits = 510;

struct Stream {
    GFSL_DIR* record = nullptr;
    int fsDir = -1;
};

struct Module {
    std::recursive_mutex lock;   /* created once with the module, never deleted while loaded */
    bool closed = true;
    int lastError = 0;
    bool started = false;
    u16string cwd;
    Stream streams[kStreams];
    bool letterBound[4] = {};
    std::string imagePath;
    /* Why the last call failed, in words for the user; gfslGetLastError hands it out. */
    std::string reason;
    bool customStorage = false;
    ImageDevice image{std::make_unique<FileStorage>(std::string())};
    BlockDeviceRecord dev0;
    FatFs fs;
};

Module& M() {
    static Module* module = new Module();  /* lives as long as the process: exports may come late */
    return *module;
}

struct Entry {
    std::lock_guard<std::recursive_mutex> guard;
    Module& m;
    explicit Entry(int slot) : guard(M().lock), m(M()) {
        LxProfilerCount(slot);
        if (slot != kLastErrorSlot) m.reason.clear();  /* the reason belongs to the call before */
    }
};

/* The image cannot be opened: a new user meets this before any low-level format made one. */
int ImageMissing(Module& m) {
    m.reason = "The device image " + (m.imagePath.empty() ? std::string() : m.imagePath + " ") +
               "is missing or cannot be opened.\nA low level format creates it: Device > Open Device... > "
               "Low level format...";
    return -6;
}

int Fail(Module& m, int code) {
    m.fs.SetError(code);
    return -1;
}

std::string DefaultImagePath() {
    std::string area;
    PlatformUserAreaPath(&area);
#ifdef _WIN32
    const char sep = '\\';
#else
    const char sep = '/';
#endif
    std::string path = area.empty() ? std::string() : area + sep;
    return path + "User Data" + sep + "Pallix.img";
}

/* Opens device 0 unless it is open: registration, open, geometry. */
int OpenDevice(Module& m) {
    if (m.dev0.opened && !(m.dev0.kind & kKindReopens)) return 0;
    m.dev0 = BlockDeviceRecord();
    if (m.image.Register(&m.dev0) != 0) return lxfat::kErrNoDevice;
    if (m.dev0.control(&m.dev0, kCtlOpen) != 0) return ImageMissing(m);
    if (int rc = m.dev0.control(&m.dev0, kCtlGeometry)) return rc;
    m.dev0.opened = 1;
    return 0;
}

void CloseDevice(Module& m) {
    if (m.dev0.control) {
        m.dev0.control(&m.dev0, kCtlRelease);
        m.dev0.control(&m.dev0, kCtlClose);
    }
    m.dev0.opened = 0;
}

void StartLayer(Module& m) {
    if (m.started) return;
    for (bool& b : m.letterBound) b = false;
    m.fs.Init();
    m.started = true;
}

void ReleaseStreams(Module& m) {
    for (Stream& s : m.streams) {
        delete s.record;
        s = Stream();
    }
}

/* Everything still pending reaches the image before it is closed; -1 when some of it could
 * not be written. */
int StopLayer(Module& m) {
    const int rc = m.fs.Shutdown();
    ReleaseStreams(m);
    CloseDevice(m);
    for (bool& b : m.letterBound) b = false;
    m.started = false;
    return rc;
}

/* "/a/..." -> volume 0 and the rest of the path; letters a to d in either case, and "e" as a
 * second name of volume 1, which paths written for this device have always used. */
int VolumeOfPath(const char* path, int* vol, const char** rest) {
    if (!path || (path[0] != '/' && path[0] != '\\')) return lxfat::kErrInvalid;
    const char c = path[1];
    int v = c >= 'a' && c <= 'd' ? c - 'a' : c >= 'A' && c <= 'D' ? c - 'A' : c == 'e' || c == 'E' ? 1 : -1;
    if (v < 0) return lxfat::kErrInvalid;
    if (path[2] != 0 && path[2] != '/' && path[2] != '\\') return lxfat::kErrInvalid;
    *vol = v;
    if (rest) *rest = path + 2;
    return 0;
}

/* A volume path of a mounted volume, converted to UTF-16. */
int Resolve(Module& m, const char* path, int* vol, u16string* rest) {
    const char* tail;
    if (int rc = VolumeOfPath(path, vol, &tail)) return rc;
    if (!m.started || !m.letterBound[*vol]) return lxfat::kErrInvalid;
    if (!m.fs.IsMounted(*vol)) return lxfat::kErrNotMounted;
    if (!lxfat::Utf8ToUtf16(tail, rest, kMaxPathUnits)) {
        /* one more unit than allowed tells a long path from a bad sequence */
        u16string probe;
        return lxfat::Utf8ToUtf16(tail, &probe, static_cast<size_t>(-1)) ? lxfat::kErrTooLong : lxfat::kErrBadName;
    }
    /* A name must come back whole in a listing record: longer ones are refused, not cut. */
    size_t run = 0;
    for (const char* p = tail; *p; ++p) {
        run = (*p == '/' || *p == '\\') ? 0 : run + 1;
        if (run >= GFSL_DIR_NAME_SIZE) return lxfat::kErrTooLong;
    }
    return 0;
}

/* The 16-byte partition-table slot of `vol` in sector 0. */
struct MbrSlot {
    uint8_t boot;
    uint32_t start, count;
};

int ReadMbrSlot(Module& m, int vol, MbrSlot* out) {
    uint8_t s[kSectorSize];
    if (m.dev0.read(&m.dev0, 0, s, 1) != 0) return -6;
    if (s[510] != 0x55 || s[511] != 0xAA) return lxfat::kErrNotFat;
    const uint8_t* e = s + 446 + 16 * vol;
    out->boot = e[0];
    out->start = e[8] | (e[9] << 8) | (e[10] << 16) | (static_cast<uint32_t>(e[11]) << 24);
    out->count = e[12] | (e[13] << 8) | (e[14] << 16) | (static_cast<uint32_t>(e[15]) << 24);
    return 0;
}

/* Attaching a volume to its partition: the entry must describe sectors inside the device
 * and must not cover the partition table itself. */
int Attach(Module& m, int vol, lxfat::Partition* part) {
    if (int rc = OpenDevice(m)) return rc;
    MbrSlot slot;
    if (int rc = ReadMbrSlot(m, vol, &slot)) return rc;
    if ((slot.boot != 0x00 && slot.boot != 0x80) || slot.start == 0 || slot.count == 0 ||
        static_cast<uint64_t>(slot.start) + slot.count > m.dev0.sectorCount)
        return lxfat::kErrNotFat;
    part->device = &m.dev0;
    part->start = slot.start;
    part->count = slot.count;
    return 0;
}

/* Writes the partition entry of `vol` from its trailer record, aligned to the device unit. */
int WritePartitionEntry(Module& m, int vol, const PartitionRecord& rec, int type) {
    if (!rec.used()) return lxfat::kErrInvalid;
    uint32_t start = rec.offset / kSectorSize, count = rec.size / kSectorSize;
    if (count < 8400) return lxfat::kErrInvalid;
    if (static_cast<uint64_t>(start) + count > m.dev0.sectorCount) return lxfat::kErrBeyondVolume;
    const uint32_t unit = m.dev0.alignment ? m.dev0.alignment : 1;
    const uint32_t aligned = start == 0 ? 1 : (start + unit - 1) / unit * unit;
    if (aligned - start >= count) return lxfat::kErrInvalid;
    count -= aligned - start;
    start = aligned;
    uint8_t s[kSectorSize];
    if (m.dev0.read(&m.dev0, 0, s, 1) != 0) return -6;
    uint8_t* e = s + 446 + 16 * vol;
    const uint8_t entry[8] = {0x00, 0xFE, 0xFF, 0xFF,
                              static_cast<uint8_t>(type == lxfat::kTypeFat32 ? 0x0B : 0x04), 0xFE, 0xFF, 0xFF};
    std::memcpy(e, entry, 8);
    for (int i = 0; i < 4; ++i) {
        e[8 + i] = static_cast<uint8_t>(start >> (8 * i));
        e[12 + i] = static_cast<uint8_t>(count >> (8 * i));
    }
    s[510] = 0x55;
    s[511] = 0xAA;
    return m.dev0.write(&m.dev0, 0, s, 1) == 0 ? 0 : -6;
}

bool Overlaps(const lxfat::Partition* p, uint64_t first, uint64_t count) {
    return p && first < static_cast<uint64_t>(p->start) + p->count && p->start < first + count;
}

/* Sector numbers of the raw exports: device sectors, or (flag) sectors of partition 0. */
int RawRange(Module& m, int device, uint32_t first, uint32_t count, int flag, uint64_t* devFirst) {
    if (int rc = OpenDevice(m)) return rc;
    uint64_t base = 0, limit = m.dev0.sectorCount;
    if (flag) {
        if (device != 0) return lxfat::kErrInvalid;
        MbrSlot slot;
        if (int rc = ReadMbrSlot(m, 0, &slot)) return rc;
        if (slot.count == 0) return lxfat::kErrNotFat;
        base = slot.start;
        limit = std::min<uint64_t>(slot.count, m.dev0.sectorCount > base ? m.dev0.sectorCount - base : 0);
    }
    if (static_cast<uint64_t>(first) + count > limit) return lxfat::kErrBeyondVolume;
    *devFirst = base + first;
    return 0;
}

/* Checks a raw transfer and brings what the file system still holds to the image first. */
int RawPrepare(Module& m, int device, uint32_t first, uint32_t count, const void* buffer, int flag, uint64_t* devFirst) {
    if (!buffer) return lxfat::kErrInvalid;
    if (int rc = RawRange(m, device, first, count, flag, devFirst)) return rc;
    for (int v = 0; v < 4; ++v)
        if (Overlaps(m.fs.PartitionOf(v), *devFirst, count) && m.fs.Sync(v) != 0) return m.fs.error();
    return 0;
}

Stream* FindStream(Module& m, GFSL_DIR* dir) {
    if (!dir) return nullptr;
    for (Stream& s : m.streams)
        if (s.record == dir) return &s;
    return nullptr;
}

/* Reads the next entry of a stream into its record; the name that goes back to the caller
 * must fit the record's field, else the 8.3 name (which opens the same entry) stands in. */
bool NextEntry(Module& m, Stream& s) {
    lxfat::DirItem item;
    if (m.fs.ReadDir(s.fsDir, &item) != 0) return false;
    std::string name = lxfat::Utf16ToUtf8(item.name);
    if (name.size() >= GFSL_DIR_NAME_SIZE) name = lxfat::Utf16ToUtf8(lxfat::ShortNameToText(item.entry));
    std::memset(s.record->name, 0, sizeof s.record->name);
    std::memcpy(s.record->name, name.data(), name.size());
    std::memcpy(&s.record->entry, item.entry, 32);
    return true;
}

int StatPath(Module& m, const char* path, GFSL_STAT* out) {
    if (!out) return Fail(m, lxfat::kErrInvalid);
    int vol;
    u16string rest;
    if (int rc = Resolve(m, path, &vol, &rest)) return Fail(m, rc);
    uint8_t e[32];
    if (m.fs.Stat(vol, rest, e) != 0) return -1;
    std::memcpy(out, e, 32);
    return 0;
}

/* The open-file index of a handle, or -1 with the file system's error word set. */
int FileOf(Module& m, int handle) {
    const uint32_t h = static_cast<uint32_t>(handle);
    if ((h & 0xFF000000u) != kHandleTag) return Fail(m, lxfat::kErrBadHandle);
    const int vol = (h >> 16) & 0xFF;
    if (vol > 3) return Fail(m, lxfat::kErrInvalid);
    if (!m.started || !m.fs.IsMounted(vol)) return Fail(m, lxfat::kErrNotMounted);
    const int idx = h & 0xFFFF;
    if (m.fs.VolumeOfFile(idx) != vol) return Fail(m, lxfat::kErrBadHandle);
    return idx;
}
template <typename Op>
int PathOp(Module& m, const char* path, Op op) {
    int vol;
    u16string rest;
    if (int rc = Resolve(m, path, &vol, &rest)) return Fail(m, rc);
    return op(vol, rest);
}

/* fread and fwrite: whole items of `size` bytes; -1 (all ones) on failure. */
uint32_t ItemTransfer(Module& m, void* buffer, uint32_t size, uint32_t count, int handle, bool write) {
    const int idx = FileOf(m, handle);
    if (idx < 0) return static_cast<uint32_t>(-1);
    if (size == 0 || count == 0) return 0;
    const uint64_t total = static_cast<uint64_t>(size) * count;
    if (!buffer || total > 0xFFFFFFFFull) return static_cast<uint32_t>(Fail(m, lxfat::kErrInvalid));
    const int64_t n = write ? m.fs.Write(idx, buffer, static_cast<uint32_t>(total))
                            : m.fs.Read(idx, buffer, static_cast<uint32_t>(total));
    return n < 0 ? static_cast<uint32_t>(-1) : static_cast<uint32_t>(n / size);
}

int NotSupported(Module& m) {
    m.lastError = kNotSupported;
    return -1;
}

}  // namespace

/* ---- test and benchmark hooks ---- */

void VdUseStorage(std::unique_ptr<ImageStorage> storage) {
    Module& m = M();
    std::lock_guard<std::recursive_mutex> g(m.lock);
    CloseDevice(m);
    m.customStorage = storage != nullptr;
    if (storage) m.image.SetStorage(std::move(storage));
    else m.image.SetStorage(std::make_unique<FileStorage>(m.imagePath));
}

void VdSetClock(lxfat::ClockFn clock) { M().fs.SetClock(clock); }
int VdFsError() { return M().fs.error(); }
std::string VdImagePath() { return M().imagePath; }

}  // namespace lxvd

using namespace lxvd;
using lxfat::u16string;

extern "C" {

int gfslInit(int mode) {
    Entry e(0);
    Module& m = e.m;
    switch (mode) {
    case 0: {
        const std::string path = DefaultImagePath();
        if (!m.customStorage && path != m.imagePath) {
            /* another image from now on: what the old one still owes reaches it first */
            if (m.started) StopLayer(m);
            CloseDevice(m);
            m.image.SetStorage(std::make_unique<FileStorage>(path));
        }
        m.imagePath = path;
        ReleaseStreams(m);
        StartLayer(m);
        m.cwd = u"/a/";
        m.closed = false;
        return 0;
    }
    case 1:
        m.closed = true;
        if (!m.started) {
            m.lastError = lxfat::kErrNotInitialised;
            return Fail(m, lxfat::kErrNotInitialised);
        }
        return StopLayer(m) == 0 ? 0 : -1;
    case 2:
        return m.closed ? 1 : 0;
    default:
        return -1;
    }
}

int gfslBDTLMount(int) { return 0; }
int gfslBDTLUnmount(int) { return 0; }

int gfslMount(int volume) {
    Entry e(3);
    Module& m = e.m;
    if (volume < 0 || volume > 3) return Fail(m, lxfat::kErrInvalid);
    StartLayer(m);
    m.letterBound[volume] = true;
    if (m.fs.IsMounted(volume)) return Fail(m, lxfat::kErrBusy);
    lxfat::Partition part;
    if (int rc = Attach(m, volume, &part)) return Fail(m, rc);
    return m.fs.Mount(volume, part);
}

int gfslUnmount(int volume) {
    Entry e(4);
    Module& m = e.m;
    if (volume < 0 || volume > 3) return Fail(m, lxfat::kErrInvalid);
    if (!m.started || !m.fs.IsMounted(volume)) return Fail(m, lxfat::kErrNotMounted);
    return m.fs.Unmount(volume);
}

int gfslFormat(const char* volumePath, const char* fsType, const char*, int) {
    Entry e(5);
    Module& m = e.m;
    int vol;
    if (int rc = VolumeOfPath(volumePath, &vol, nullptr)) return Fail(m, rc);
    if (m.image.OpenAndReadTrailer() != 0) return Fail(m, ImageMissing(m));
    if (int rc = OpenDevice(m)) return Fail(m, rc);
    StartLayer(m);
    m.letterBound[vol] = true;
    /* The main program unmounts first; formatting under open files would corrupt them. */
    if (m.fs.IsMounted(vol)) return Fail(m, lxfat::kErrBusy);
    const int type = fsType && (std::strcmp(fsType, "FAT32") == 0 || std::strcmp(fsType, "fat32") == 0)
                         ? lxfat::kTypeFat32 : lxfat::kTypeFat16;
    if (int rc = WritePartitionEntry(m, vol, m.image.partition(vol), type)) return Fail(m, rc);
    lxfat::Partition part;
    if (int rc = Attach(m, vol, &part)) return Fail(m, rc);
    char label[8] = "Pallix0";
    label[6] = static_cast<char>('0' + vol);
    return m.fs.Format(vol, part, label, type);
}

int gfslLowLevelFormat(const char* volumePath, uint32_t offset, uint32_t size) {
    Entry e(6);
    Module& m = e.m;
    int vol;
    if (int rc = VolumeOfPath(volumePath, &vol, nullptr)) return Fail(m, rc);
    for (int v = 0; v < 4; ++v)
        if (m.fs.IsMounted(v)) return Fail(m, lxfat::kErrBusy);
    if (int rc = m.image.LowLevelFormat(vol, offset, size)) return Fail(m, rc);
    /* the geometry is read again at the next open */
    m.dev0.opened = 0;
    return 0;
}

int gfslGetDeviceTextInfo(const char* volumePath, char* text) {
    Entry e(7);
    Module& m = e.m;
    if (!text) return Fail(m, lxfat::kErrInvalid);
    char buf[512] = {};
    lxfat::VolumeInfo info;
    if (!m.started || !m.fs.IsMounted(0) || m.fs.Info(0, &info) != 0) {
        std::snprintf(buf, sizeof buf, "MOUNT Required!\n");
    } else {
        int vol = -1;
        int32_t sectors = -1;
        if (VolumeOfPath(volumePath, &vol, nullptr) == 0 && vol == 0)
            sectors = OpenDevice(m) == 0 ? static_cast<int32_t>(m.dev0.sectorCount) : -1;
        std::snprintf(buf, sizeof buf,
                      "[Volume Information]\r\n    -Sector Size  :0x%X\r\n    -Total Sector :0x%X\r\n"
                      "    -Block Size   :0x%X\r\n    -Total Block  :0x%X\r\n    -Free Block   :0x%X\r\n",
                      512u, static_cast<unsigned>(sectors), info.bytesPerCluster, info.clusterCount,
                      info.freeClusters);
    }
    std::memcpy(text, buf, sizeof buf);
    return static_cast<int>(std::strlen(buf));
}

uint64_t gfslGetNumberOfBytesPerDevice(const char*) {
    Entry e(8);
    Module& m = e.m;
    if (!m.image.storage()->IsOpen() && m.image.OpenAndReadTrailer() != 0) return 0;
    return m.image.RefreshSize() / kSectorSize * kSectorSize;
}

int gfslGetNumberOfSectors(int partition, int flag) {
    Entry e(26);
    Module& m = e.m;
    int result;
    if (partition != 0) {
        m.fs.SetError(lxfat::kErrInvalid);
        result = -1;
    } else if (!m.dev0.opened && OpenDevice(m) != 0) {
        result = -1;
    } else if (!m.dev0.opened) {
        result = -31;
    } else {
        result = static_cast<int>(m.dev0.sectorCount);
    }
    return flag ? result - 1 : result;
}

int gfslReadSectors(int partition, uint32_t firstSector, uint32_t count, void* buffer, int flag) {
    Entry e(27);
    Module& m = e.m;
    uint64_t first;
    if (int rc = RawPrepare(m, partition, firstSector, count, buffer, flag, &first)) return Fail(m, rc);
    return m.dev0.read(&m.dev0, static_cast<uint32_t>(first), buffer, count) == 0 ? 0 : Fail(m, -6);
}

int gfslWriteSectors(int partition, uint32_t firstSector, uint32_t count, const void* buffer, int flag) {
    Entry e(28);
    Module& m = e.m;
    uint64_t first;
    if (int rc = RawPrepare(m, partition, firstSector, count, buffer, flag, &first)) return Fail(m, rc);
    const int rc = m.dev0.write(&m.dev0, static_cast<uint32_t>(first), buffer, count);
    /* mounted volumes under the new sectors forget what they cached and read their FAT again */
    for (int v = 0; v < 4; ++v)
        if (Overlaps(m.fs.PartitionOf(v), first, count)) m.fs.Remount(v);
    return rc == 0 ? 0 : Fail(m, -6);
}

int gfslfopen(const char* path, const char* mode) {
    Entry e(29);
    Module& m = e.m;
    if (!mode) return Fail(m, lxfat::kErrInvalid);
    int vol;
    u16string rest;
    if (int rc = Resolve(m, path, &vol, &rest)) return Fail(m, rc);
    int flags = lxfat::kOpenRead;
    const bool w = std::strchr(mode, 'w') != nullptr, a = std::strchr(mode, 'a') != nullptr;
    if (w) flags |= lxfat::kOpenCreate | lxfat::kOpenTruncate | lxfat::kOpenWrite;
    if (a) flags |= lxfat::kOpenCreate | lxfat::kOpenAppend | lxfat::kOpenWrite;
    if (std::strchr(mode, '+')) flags = (flags & ~lxfat::kOpenAccessMask) | lxfat::kOpenReadWrite;
    const int idx = m.fs.Open(vol, rest, flags);
    if (idx < 0) return -1;
    return static_cast<int>(kHandleTag | (static_cast<uint32_t>(vol) << 16) | static_cast<uint32_t>(idx));
}


int gfslfclose(int handle) {
    Entry e(30);
    const int idx = FileOf(e.m, handle);
    return idx < 0 ? -1 : e.m.fs.Close(idx);
}

int gfslfcloseall(void) {
    Entry e(31);
    Module& m = e.m;
    if (!m.started) return Fail(m, lxfat::kErrNotInitialised);
    return m.fs.IsMounted(0) ? m.fs.CloseAll(0) : 0;
}

uint32_t gfslfread(void* buffer, uint32_t size, uint32_t count, int handle) {
    Entry e(32);
    return ItemTransfer(e.m, buffer, size, count, handle, false);
}

uint32_t gfslfwrite(const void* buffer, uint32_t size, uint32_t count, int handle) {
    Entry e(33);
    return ItemTransfer(e.m, const_cast<void*>(buffer), size, count, handle, true);
}

gfsl_long gfslftell(int handle) {
    Entry e(34);
    Module& m = e.m;
    const int idx = FileOf(m, handle);
    if (idx < 0) return -1;
    const int64_t p = m.fs.Tell(idx);
    if (p > 0x7FFFFFFF) return Fail(m, lxfat::kErrTooLong);  /* not representable as a long */
    return static_cast<gfsl_long>(p);
}

int gfslfseek(int handle, gfsl_long offset, int origin) {
    Entry e(35);
    const int idx = FileOf(e.m, handle);
    return idx < 0 ? -1 : e.m.fs.Seek(idx, offset, origin);
}

int gfslfflush(int handle) {
    Entry e(36);
    const int idx = FileOf(e.m, handle);
    return idx < 0 ? -1 : e.m.fs.Flush(idx);
}

char* gfslgetcwd(char* buffer, int size) {
    Entry e(37);
    Module& m = e.m;
    if (!buffer || size <= 0 || m.cwd.empty()) return nullptr;
    const std::string s = lxfat::Utf16ToUtf8(m.cwd);
    if (s.size() + 1 > static_cast<size_t>(size)) return nullptr;
    std::memcpy(buffer, s.c_str(), s.size() + 1);
    return buffer;
}

int gfslchdir(const char* path) {
    Entry e(38);
    Module& m = e.m;
    GFSL_STAT st;
    int rc = StatPath(m, path, &st);
    if (rc == 0 && !(st.attr & GFSL_ATTR_DIRECTORY)) rc = Fail(m, lxfat::kErrNotDirectory);
    m.lastError = rc;
    if (rc == 0) {
        u16string p;
        lxfat::Utf8ToUtf16(path, &p, kMaxPathUnits);
        if (p.back() != u'/' && p.back() != u'\\') p.push_back(u'/');
        m.cwd = p;
    }
    return rc;
}

int gfslfchdir(int) { Entry e(39); return NotSupported(e.m); }

GFSL_DIR* gfslopendir(const char* path) {
    Entry e(40);
    Module& m = e.m;
    int vol;
    u16string rest;
    if (int rc = Resolve(m, path, &vol, &rest)) {
        Fail(m, rc);
        return nullptr;
    }
    Stream* slot = nullptr;
    for (Stream& s : m.streams)
        if (!s.record && !slot) slot = &s;
    if (!slot) {
        Fail(m, lxfat::kErrNoDirObject);
        return nullptr;
    }
    const int fsDir = m.fs.OpenDir(vol, rest);
    if (fsDir < 0) return nullptr;
    auto* rec = new (std::nothrow) GFSL_DIR();
    if (!rec) {
        m.fs.CloseDir(fsDir);
        return nullptr;
    }
    rec->volume = static_cast<uint32_t>(vol);
    rec->tag = kHandleTag | (static_cast<uint32_t>(vol) << 16) | static_cast<uint32_t>(fsDir);
    slot->record = rec;
    slot->fsDir = fsDir;
    return rec;
}

GFSL_DIR* gfslfdopendir(int) {
    Entry e(41);
    NotSupported(e.m);
    return nullptr;
}

char* gfslreaddir(GFSL_DIR* dir) {
    Entry e(42);
    Module& m = e.m;
    Stream* s = FindStream(m, dir);
    if (!s) {
        Fail(m, lxfat::kErrBadHandle);
        return nullptr;
    }
    return NextEntry(m, *s) ? dir->name : nullptr;
}

int gfslreaddir_r(GFSL_DIR* dir, char* nameBuffer, char** result) {
    Entry e(43);
    Module& m = e.m;
    Stream* s = FindStream(m, dir);
    if (!s || !nameBuffer || !result) return Fail(m, s ? lxfat::kErrInvalid : lxfat::kErrBadHandle);
    if (!NextEntry(m, *s)) return -1;
    std::memcpy(nameBuffer, dir->name, std::strlen(dir->name) + 1);
    *result = nameBuffer;
    return 0;
}

int gfslclosedir(GFSL_DIR* dir) {
    Entry e(44);
    Module& m = e.m;
    Stream* s = FindStream(m, dir);
    if (!s) return Fail(m, lxfat::kErrBadHandle);
    m.fs.CloseDir(s->fsDir);
    delete s->record;
    *s = Stream();
    return 0;
}

void gfslrewinddir(GFSL_DIR* dir) {
    Entry e(45);
    if (Stream* s = FindStream(e.m, dir)) e.m.fs.RewindDir(s->fsDir);
}


int gfslunlink(const char* path) {
    Entry e(46);
    return PathOp(e.m, path, [&](int v, const u16string& p) { return e.m.fs.Unlink(v, p); });
}

int gfslrmdir(const char* path) {
    Entry e(47);
    return PathOp(e.m, path, [&](int v, const u16string& p) { return e.m.fs.Rmdir(v, p); });
}

int gfslrename(const char* from, const char* to) {
    Entry e(48);
    Module& m = e.m;
    int v1, v2;
    u16string a, b;
    if (int rc = Resolve(m, from, &v1, &a)) return Fail(m, rc);
    if (int rc = Resolve(m, to, &v2, &b)) return Fail(m, rc);
    if (v1 != v2) return Fail(m, lxfat::kErrCrossVolume);
    return m.fs.Rename(v1, a, b);
}

int gfslmkdir(const char* path, int) {
    Entry e(49);
    return PathOp(e.m, path, [&](int v, const u16string& p) { return e.m.fs.Mkdir(v, p); });
}

int gfslstat(const char* path, GFSL_STAT* out) {
    Entry e(50);
    return StatPath(e.m, path, out);
}

int gfslfstat(int, GFSL_STAT*) { Entry e(51); return NotSupported(e.m); }

int gfslaccess(const char* path, int) {
    Entry e(52);
    return PathOp(e.m, path, [&](int v, const u16string& p) { return e.m.fs.Access(v, p); });
}

int gfsltruncate(const char*, gfsl_long) { Entry e(53); return NotSupported(e.m); }
int gfslftruncate(int, gfsl_long) { Entry e(54); return NotSupported(e.m); }

int gfslGetLastError(char* text, uint32_t size) {
    Entry e(55);
    /* No name for the code; the reason of the last failed call when there is one. */
    if (text && size) {
        const size_t n = std::min<size_t>(e.m.reason.size(), size - 1);
        std::memcpy(text, e.m.reason.data(), n);
        text[n] = 0;
    }
    return e.m.lastError;
}

int gfslGetLatestSectorInfo(uint32_t*, uint32_t*, uint32_t*, uint32_t*) { Entry e(56); return NotSupported(e.m); }

#define LX_CUSTOM_CALLBACK(n, slot) \
    int gfslCustomCallback##n(int, int, int, int) { Entry e(slot); return NotSupported(e.m); }
LX_CUSTOM_CALLBACK(1, 57)
LX_CUSTOM_CALLBACK(2, 58)
LX_CUSTOM_CALLBACK(3, 59)
LX_CUSTOM_CALLBACK(4, 60)
LX_CUSTOM_CALLBACK(5, 61)
LX_CUSTOM_CALLBACK(6, 62)
LX_CUSTOM_CALLBACK(7, 63)
LX_CUSTOM_CALLBACK(8, 64)
#undef LX_CUSTOM_CALLBACK

}  // extern "C"
