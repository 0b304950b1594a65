/* The block device below the volume layer and the FAT file system: a driver record filled by
 * the device at registration and geometry time, and the flash image with its partition trailer
 * kept either in a host file or in memory. Portable: no platform headers. */
#ifndef LUMIVEX_VIRTUALDEVICE_BLOCKDEV_H
#define LUMIVEX_VIRTUALDEVICE_BLOCKDEV_H

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace lxvd {

constexpr uint32_t kSectorSize = 512;
constexpr uint32_t kTrailerSize = 32;
constexpr uint32_t kUnusedPartition = 0xFFFFFFFFu;

/* Kind bits of a device record. */
constexpr uint32_t kKindErasesOnFormat = 1;   /* flash: format and freeing erase to 0xFF */
constexpr uint32_t kKindReopens = 2;          /* no partition table, reopened on every open */

/* Control codes. */
enum : int { kCtlNop = 1, kCtlOpen = 2, kCtlClose = 3, kCtlGeometry = 4, kCtlRelease = 5 };

struct BlockDeviceRecord;
using DeviceControlFn = int (*)(BlockDeviceRecord* record, int code);
using DeviceReadFn = int (*)(BlockDeviceRecord* record, uint32_t first, void* buffer, uint32_t count);
using DeviceWriteFn = int (*)(BlockDeviceRecord* record, uint32_t first, const void* buffer, uint32_t count);
using DeviceEraseFn = int (*)(BlockDeviceRecord* record, uint32_t first, uint32_t count);

struct BlockDeviceRecord {
    uint8_t opened = 0;
    uint32_t sectorCount = 0;
    uint32_t firstSector = 0;
    uint32_t lastSector = 0;
    uint32_t bytesPerSector = 0;
    uint32_t reserved = 0;
    uint32_t alignment = 0;   /* sectors to which partitions and data areas are aligned */
    uint32_t kind = 0;
    DeviceControlFn control = nullptr;
    DeviceReadFn read = nullptr;
    DeviceWriteFn write = nullptr;
    DeviceEraseFn erase = nullptr;
    const char16_t* name = nullptr;
    void* context = nullptr;  /* the device object behind the functions */
};

struct PartitionRecord {
    uint32_t offset;  /* bytes from the start of the image */
    uint32_t size;    /* bytes */
    bool used() const { return offset != kUnusedPartition && size != kUnusedPartition; }
};

/* Where the bytes of an image live. */
class ImageStorage {
public:
    virtual ~ImageStorage() = default;
    virtual bool Open() = 0;            /* opens an existing image */
    virtual bool Create() = 0;          /* opens it, creating an empty one when missing */
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    virtual uint64_t Size() = 0;
    virtual bool ReadAt(uint64_t offset, void* data, size_t bytes) = 0;
    virtual bool WriteAt(uint64_t offset, const void* data, size_t bytes) = 0;
};

class FileStorage : public ImageStorage {
public:
    explicit FileStorage(std::string path) : path_(std::move(path)) {}
    ~FileStorage() override { Close(); }
    void SetPath(const std::string& path) { Close(); path_ = path; }
    const std::string& path() const { return path_; }
    bool Open() override;
    bool Create() override;
    void Close() override;
    bool IsOpen() const override { return file_ != nullptr; }
    uint64_t Size() override;
    bool ReadAt(uint64_t offset, void* data, size_t bytes) override;
    bool WriteAt(uint64_t offset, const void* data, size_t bytes) override;

private:
    enum class Last { None, Read, Write };
    bool Seek(uint64_t offset, Last next);
    std::string path_;
    FILE* file_ = nullptr;
    /* Where the file stands after the last transfer, so that a transfer that follows on in the
     * same direction needs no seek (a system call each). Switching direction always seeks, as
     * the C library requires for files open for update. */
    uint64_t pos_ = 0;
    Last last_ = Last::None;
};

/* The in-memory sector device of the tests: an image without a host file. */
class MemoryStorage : public ImageStorage {
public:
    MemoryStorage() = default;
    explicit MemoryStorage(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)), exists_(true) {}
    bool Open() override { open_ = exists_; return open_; }
    bool Create() override { exists_ = true; open_ = true; return true; }
    void Close() override { open_ = false; }
    bool IsOpen() const override { return open_; }
    uint64_t Size() override { return bytes_.size(); }
    bool ReadAt(uint64_t offset, void* data, size_t bytes) override;
    bool WriteAt(uint64_t offset, const void* data, size_t bytes) override;
    std::vector<uint8_t>& bytes() { return bytes_; }
    /* Fails every transfer that touches [from, from + count) sectors: device faults in tests. */
    void FailSectors(uint64_t from, uint64_t count) { failFrom_ = from; failCount_ = count; }
    /* Fails every write while set (reads go on): a device that refuses writes on demand. */
    bool failWrites = false;
    uint64_t writes = 0;
    /* Every write that reached the image, in order, when set: the states a stop can leave. */
    struct Write {
        uint64_t offset;
        std::vector<uint8_t> bytes;
    };
    std::vector<Write>* record = nullptr;

private:
    bool Hits(uint64_t offset, size_t bytes) const;
    std::vector<uint8_t> bytes_;
    bool exists_ = false, open_ = false;
    uint64_t failFrom_ = 0, failCount_ = 0;
};

/* The flash image: device data followed by a 32-byte trailer of four partition records. */
class ImageDevice {
public:
    explicit ImageDevice(std::unique_ptr<ImageStorage> storage) : storage_(std::move(storage)) {}
    ImageStorage* storage() { return storage_.get(); }
    void SetStorage(std::unique_ptr<ImageStorage> storage);

    /* Fills kind, functions and name of a record; -4 for a null record. */
    int Register(BlockDeviceRecord* record);
    int Control(BlockDeviceRecord* record, int code);
    int Read(uint32_t first, void* buffer, uint32_t count);
    int Write(uint32_t first, const void* buffer, uint32_t count);
    int Erase(uint32_t first, uint32_t count);

    /* Opens the image (unless open) and reads the trailer; -1 when there is no image. */
    int OpenAndReadTrailer();
    const PartitionRecord& partition(int index) const { return table_[index]; }
    uint64_t deviceBytes() const { return deviceBytes_; }
    /* Refreshes the device size from the image; 0 when no image is open. */
    uint64_t RefreshSize();

    /* Gives volume `index` the partition (offset, size) in place: checks the layout against the
     * other partitions, clears the new partition's bytes (sector 0 keeps the partition table),
     * grows the image when needed and writes the trailer at its end. Codes: 0, -4 bad layout,
     * -6 image error. */
    int LowLevelFormat(int index, uint32_t offset, uint32_t size);

    /* The trailer arithmetic alone, shared with the fuzzer: the new table and image size for a
     * low-level format, or -4. */
    static int PlanLowLevelFormat(const PartitionRecord old[4], uint64_t oldDeviceBytes, int index,
                                  uint32_t offset, uint32_t size, PartitionRecord out[4],
                                  uint64_t* newDeviceBytes);

private:
    void ReadTrailer();
    std::unique_ptr<ImageStorage> storage_;
    PartitionRecord table_[4] = {{kUnusedPartition, kUnusedPartition}, {kUnusedPartition, kUnusedPartition},
                                 {kUnusedPartition, kUnusedPartition}, {kUnusedPartition, kUnusedPartition}};
    uint64_t deviceBytes_ = 0;
};

}  // namespace lxvd

#endif
