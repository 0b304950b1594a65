#include "blockdev.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#ifndef _WIN32
#include <unistd.h>
#endif

namespace lxvd {

/* ---- host file ---- */

bool FileStorage::Seek(uint64_t offset, Last next) {
    if (last_ == next && pos_ == offset) return true;
    last_ = Last::None;
#ifdef _WIN32
    if (_fseeki64(file_, static_cast<long long>(offset), SEEK_SET) != 0) return false;
#else
    if (fseeko(file_, static_cast<off_t>(offset), SEEK_SET) != 0) return false;
#endif
    last_ = next;
    pos_ = offset;
    return true;
}

bool FileStorage::Open() {
    if (file_) return true;
    file_ = std::fopen(path_.c_str(), "rb+");
    /* Transfers are whole sectors or more; the C library's buffer would only copy them twice. */
    if (file_) std::setvbuf(file_, nullptr, _IONBF, 0);
    return file_ != nullptr;
}

bool FileStorage::Create() {
    if (Open()) return true;
    file_ = std::fopen(path_.c_str(), "wb+");
    if (file_) std::setvbuf(file_, nullptr, _IONBF, 0);
    return file_ != nullptr;
}

void FileStorage::Close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    last_ = Last::None;
}

uint64_t FileStorage::Size() {
    if (!file_) return 0;
    last_ = Last::None;
#ifdef _WIN32
    if (_fseeki64(file_, 0, SEEK_END) != 0) return 0;
    long long n = _ftelli64(file_);
#else
    if (fseeko(file_, 0, SEEK_END) != 0) return 0;
    off_t n = ftello(file_);
#endif
    return n < 0 ? 0 : static_cast<uint64_t>(n);
}

#ifndef _WIN32
namespace {
/* One system call per transfer where the system has positioned transfers. */
template <typename Fn>
bool Positioned(Fn fn, size_t bytes, uint64_t offset) {
    size_t done = 0;
    while (done < bytes) {
        const ssize_t n = fn(done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}
}  // namespace
#endif

bool FileStorage::ReadAt(uint64_t offset, void* data, size_t bytes) {
#ifndef _WIN32
    if (!file_) return false;
    const int fd = fileno(file_);
    return Positioned([&](size_t done, off_t at) { return pread(fd, static_cast<uint8_t*>(data) + done, bytes - done, at); },
                      bytes, offset);
#else
    if (!file_ || !Seek(offset, Last::Read)) return false;
    const bool ok = std::fread(data, 1, bytes, file_) == bytes;
    pos_ = offset + bytes;
    if (!ok) last_ = Last::None;
    return ok;
#endif
}

bool FileStorage::WriteAt(uint64_t offset, const void* data, size_t bytes) {
#ifndef _WIN32
    if (!file_) return false;
    const int fd = fileno(file_);
    return Positioned(
        [&](size_t done, off_t at) { return pwrite(fd, static_cast<const uint8_t*>(data) + done, bytes - done, at); },
        bytes, offset);
#else
    if (!file_ || !Seek(offset, Last::Write)) return false;
    const bool ok = std::fwrite(data, 1, bytes, file_) == bytes;
    pos_ = offset + bytes;
    if (!ok) last_ = Last::None;
    return ok;
#endif
}

/* ---- memory ---- */

bool MemoryStorage::Hits(uint64_t offset, size_t bytes) const {
    if (!failCount_) return false;
    const uint64_t a = failFrom_ * kSectorSize, b = (failFrom_ + failCount_) * kSectorSize;
    return offset < b && offset + bytes > a;
}

bool MemoryStorage::ReadAt(uint64_t offset, void* data, size_t bytes) {
    if (!open_ || offset > bytes_.size() || bytes > bytes_.size() - offset || Hits(offset, bytes)) return false;
    std::memcpy(data, bytes_.data() + offset, bytes);
    return true;
}

bool MemoryStorage::WriteAt(uint64_t offset, const void* data, size_t bytes) {
    if (!open_ || failWrites || Hits(offset, bytes)) return false;
    if (offset + bytes > bytes_.size()) bytes_.resize(offset + bytes, 0);
    std::memcpy(bytes_.data() + offset, data, bytes);
    if (record) record->push_back({offset, std::vector<uint8_t>(bytes_.begin() + offset, bytes_.begin() + offset + bytes)});
    ++writes;
    return true;
}

/* ---- image device ---- */

namespace {

ImageDevice* Dev(BlockDeviceRecord* r) { return static_cast<ImageDevice*>(r->context); }
int ControlFn(BlockDeviceRecord* r, int code) { return Dev(r)->Control(r, code); }
int ReadFn(BlockDeviceRecord* r, uint32_t first, void* b, uint32_t n) { return Dev(r)->Read(first, b, n); }
int WriteFn(BlockDeviceRecord* r, uint32_t first, const void* b, uint32_t n) { return Dev(r)->Write(first, b, n); }
int EraseFn(BlockDeviceRecord* r, uint32_t first, uint32_t n) { return Dev(r)->Erase(first, n); }

uint32_t Le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }
void Put32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v); p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16); p[3] = static_cast<uint8_t>(v >> 24);
}

}  // namespace

void ImageDevice::SetStorage(std::unique_ptr<ImageStorage> storage) {
    storage_ = std::move(storage);
    deviceBytes_ = 0;
}

int ImageDevice::Register(BlockDeviceRecord* record) {
    if (!record) return -4;
    record->kind = kKindErasesOnFormat;
    record->control = ControlFn;
    record->read = ReadFn;
    record->write = WriteFn;
    record->erase = EraseFn;
    record->name = u"file";
    record->context = this;
    return 0;
}

void ImageDevice::ReadTrailer() {
    for (auto& p : table_) p = {kUnusedPartition, kUnusedPartition};
    const uint64_t n = storage_->Size();
    uint8_t t[kTrailerSize];
    /* An image too short for a trailer has no partitions. */
    if (n < kTrailerSize || !storage_->ReadAt(n - kTrailerSize, t, sizeof t)) return;
    for (int i = 0; i < 4; ++i) table_[i] = {Le32(t + 8 * i), Le32(t + 8 * i + 4)};
}

int ImageDevice::OpenAndReadTrailer() {
    if (!storage_->IsOpen() && !storage_->Open()) {
        for (auto& p : table_) p = {kUnusedPartition, kUnusedPartition};
        return -1;
    }
    ReadTrailer();
    return 0;
}

uint64_t ImageDevice::RefreshSize() {
    if (!storage_->IsOpen()) return deviceBytes_ = 0;
    const uint64_t n = storage_->Size();
    deviceBytes_ = n < kTrailerSize ? 0 : n - kTrailerSize;
    return deviceBytes_;
}

int ImageDevice::Control(BlockDeviceRecord* record, int code) {
    switch (code) {
    case kCtlNop:
        return 0;
    case kCtlOpen:
        if (record && record->opened) return 0;
        return OpenAndReadTrailer() == 0 ? 0 : -6;
    case kCtlClose:
        return 0;
    case kCtlGeometry: {
        if (!record) return -4;
        if (record->opened) return 0;
        if (!storage_->IsOpen()) return -6;
        const uint64_t sectors = RefreshSize() / kSectorSize;
        record->sectorCount = static_cast<uint32_t>(std::min<uint64_t>(sectors, 0xFFFFFFFFu));
        record->firstSector = 0;
        record->lastSector = record->sectorCount - 1;
        record->bytesPerSector = kSectorSize;
        record->alignment = (record->kind & kKindReopens) ? 1 : 256;
        return 0;
    }
    case kCtlRelease:
        storage_->Close();
        deviceBytes_ = 0;
        return 0;
    default:
        return -4;
    }
}

int ImageDevice::Read(uint32_t first, void* buffer, uint32_t count) {
    const uint64_t off = static_cast<uint64_t>(first) * kSectorSize, bytes = static_cast<uint64_t>(count) * kSectorSize;
    if (!storage_->IsOpen() || off + bytes > deviceBytes_) return -6;
    return storage_->ReadAt(off, buffer, bytes) ? 0 : -6;
}

int ImageDevice::Write(uint32_t first, const void* buffer, uint32_t count) {
    const uint64_t off = static_cast<uint64_t>(first) * kSectorSize, bytes = static_cast<uint64_t>(count) * kSectorSize;
    if (!storage_->IsOpen() || off + bytes > deviceBytes_) return -6;
    return storage_->WriteAt(off, buffer, bytes) ? 0 : -6;
}

int ImageDevice::Erase(uint32_t first, uint32_t count) {
    const uint64_t off = static_cast<uint64_t>(first) * kSectorSize, bytes = static_cast<uint64_t>(count) * kSectorSize;
    if (!storage_->IsOpen() || off + bytes > deviceBytes_) return -6;
    static const std::vector<uint8_t> ff(1 << 20, 0xFF);
    for (uint64_t done = 0; done < bytes;) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(ff.size(), bytes - done));
        if (!storage_->WriteAt(off + done, ff.data(), n)) return -6;
        done += n;
    }
    return 0;
}

int ImageDevice::PlanLowLevelFormat(const PartitionRecord old[4], uint64_t oldDeviceBytes, int index,
                                    uint32_t offset, uint32_t size, PartitionRecord out[4],
                                    uint64_t* newDeviceBytes) {
    if (index < 0 || index > 3) return -4;
    if (offset == kUnusedPartition || size == kUnusedPartition) return -4;
    const uint64_t end = static_cast<uint64_t>(offset) + size;
    if (end > 0xFFFFFFFFull) return -4;  /* the trailer cannot describe it */
    uint64_t deviceEnd = oldDeviceBytes;
    for (int i = 0; i < 4; ++i) {
        out[i] = old[i];
        if (i == index || !old[i].used()) continue;
        const uint64_t a = old[i].offset, b = a + old[i].size;
        if (size > 0 && old[i].size > 0 && offset < b && a < end) return -4;
        deviceEnd = std::max(deviceEnd, b);
    }
    out[index] = {offset, size};
    *newDeviceBytes = std::max(deviceEnd, end);
    return 0;
}

int ImageDevice::LowLevelFormat(int index, uint32_t offset, uint32_t size) {
    if (index < 0 || index > 3) return -4;
    bool existed = storage_->IsOpen() || storage_->Open();
    if (!existed && !storage_->Create()) return -6;
    ReadTrailer();
    const uint64_t fileBytes = storage_->Size();
    const uint64_t oldDevice = existed && fileBytes >= kTrailerSize ? fileBytes - kTrailerSize : 0;
    PartitionRecord next[4];
    uint64_t newDevice = 0;
    int rc = PlanLowLevelFormat(table_, oldDevice, index, offset, size, next, &newDevice);
    if (rc) return rc;

    /* Clear the new partition in slices; the partition table in sector 0 stays. */
    static const std::vector<uint8_t> zeros(1 << 20, 0);
    const uint64_t to = static_cast<uint64_t>(offset) + size;
    for (uint64_t p = std::max<uint64_t>(offset, kSectorSize); p < to;) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(zeros.size(), to - p));
        if (!storage_->WriteAt(p, zeros.data(), n)) return -6;
        p += n;
    }
    /* When the image grows, the old trailer becomes device data. */
    if (existed && newDevice > oldDevice && fileBytes >= kTrailerSize) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(kTrailerSize, newDevice - oldDevice));
        if (!storage_->WriteAt(oldDevice, zeros.data(), n)) return -6;
    }
    uint8_t t[kTrailerSize];
    for (int i = 0; i < 4; ++i) {
        Put32(t + 8 * i, next[i].offset);
        Put32(t + 8 * i + 4, next[i].size);
    }
    if (!storage_->WriteAt(newDevice, t, sizeof t)) return -6;
    for (int i = 0; i < 4; ++i) table_[i] = next[i];
    RefreshSize();
    return 0;
}

}  // namespace lxvd
