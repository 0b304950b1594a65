/* FAT16/FAT32 with long names over a partition of a block device. Every operation works on a
 * volume index (0..3) and volume-relative UTF-16 paths, returns 0 or a value on success and
 * -1 with the file-system error word (error()) set on failure. Not thread safe by itself: the
 * volume layer holds its lock around every call. Portable: no platform headers. */
#ifndef LUMIVEX_FAT_FATFS_H
#define LUMIVEX_FAT_FATFS_H

#include <cstdint>
#include <list>
#include <memory>
#include <unordered_map>
#include <vector>

#include "../blockdev.h"
#include "fatnames.h"

namespace lxfat {

/* Error words. */
enum : int {
    kErrFailed = -1,
    kErrBusy = -2,           /* volume mounted, file or folder in use */
    kErrExists = -3,
    kErrInvalid = -4,
    kErrNotFound = -5,
    kErrDevice = -6,
    kErrIsDirectory = -7,
    kErrTooLong = -8,
    kErrBadName = -9,
    kErrNoContext = -10,
    kErrNoDirObject = -11,
    kErrNoSpace = -14,
    kErrNotDirectory = -15,
    kErrNotEmpty = -16,
    kErrCrossVolume = -19,
    kErrBadHandle = -20,
    kErrInconsistent = -24,
    kErrFewerFree = -25,     /* the bitmap holds fewer free clusters than counted */
    kErrShortChain = -26,
    kErrEndOfDir = -29,
    kErrBeyondVolume = -30,
    kErrNotInitialised = -31,
    kErrNotMounted = -32,
    kErrNotFat = -33,
    kErrNoDevice = -35,
};

enum : int { kTypeFat16 = 2, kTypeFat32 = 4 };

/* Open flags. */
enum : int {
    kOpenRead = 0, kOpenWrite = 1, kOpenReadWrite = 2, kOpenAccessMask = 3,
    kOpenAppend = 0x8, kOpenCreate = 0x100, kOpenTruncate = 0x200, kOpenExclusive = 0x400,
};

constexpr int kMaxVolumes = 4;
constexpr int kMaxOpenFiles = 30;
constexpr int kMaxDirObjects = 10;

/* Local time for the stamps of new and changed entries. */
struct DosTime {
    int year;    /* e.g. 2026 */
    int month;   /* 1..12 */
    int day;     /* 1..31 */
    int hour, minute, second;
};
using ClockFn = void (*)(DosTime* now);
void SystemClock(DosTime* now);

struct Partition {
    lxvd::BlockDeviceRecord* device = nullptr;
    uint32_t start = 0;   /* first device sector */
    uint32_t count = 0;   /* sectors */
};

struct VolumeInfo {
    uint32_t bytesPerCluster;
    uint32_t clusterCount;
    uint32_t freeClusters;
    int bits;  /* 16 or 32 */
};

struct DirItem {
    u16string name;
    uint8_t entry[32];  /* the 8.3 entry as stored */
};

class FatFs {
public:
    FatFs();
    ~FatFs();
    FatFs(const FatFs&) = delete;
    FatFs& operator=(const FatFs&) = delete;

    int error() const { return error_; }
    void SetError(int code) { error_ = code; }
    void SetClock(ClockFn clock) { clock_ = clock; }
    /* Folders are indexed after their first search so that work in a big folder does not grow
     * with its size. Off, every search reads the folder: the tests compare the two. */
    void SetFolderIndexing(bool on);

    int Init();                 /* idempotent */
    int Shutdown();             /* closes everything, writes what is pending; -1 when a write failed */
    bool initialised() const { return initialised_; }

    int Format(int vol, const Partition& part, const char* label, int type);
    int Mount(int vol, const Partition& part);
    int Unmount(int vol);
    int Remount(int vol);       /* writes back, drops cached sectors, rescans the FAT */
    bool IsMounted(int vol) const;
    const Partition* PartitionOf(int vol) const;
    int Info(int vol, VolumeInfo* out);
    int Sync(int vol);          /* writes every pending sector of the volume */

    int Mkdir(int vol, const u16string& path);
    int Rmdir(int vol, const u16string& path);
    int Unlink(int vol, const u16string& path);
    int Rename(int vol, const u16string& from, const u16string& to);
    int Access(int vol, const u16string& path);
    int Stat(int vol, const u16string& path, uint8_t entry[32]);

    int OpenDir(int vol, const u16string& path);        /* directory object index */
    int ReadDir(int dir, DirItem* item);                 /* 0, or -1 with -29 at the end */
    int RewindDir(int dir);
    int CloseDir(int dir);

    int Open(int vol, const u16string& path, int flags); /* open-file index */
    int64_t Read(int file, void* buffer, uint32_t bytes);
    int64_t Write(int file, const void* buffer, uint32_t bytes);
    int Seek(int file, int64_t offset, int origin);
    int64_t Tell(int file);
    int Flush(int file);
    int Close(int file);
    int CloseAll(int vol);
    int SetSize(int file, uint64_t size);
    int VolumeOfFile(int file) const;

    struct Volume;
    struct Node;
    struct OpenFile;
    struct DirObject;

private:
    int Fail(int code);
    Volume* Vol(int vol);
    int MountInternal(int vol, const Partition& part);
    int FlushFile(int file);
    void Release(int file);

    std::unique_ptr<Volume> volumes_[kMaxVolumes];
    std::vector<std::unique_ptr<OpenFile>> files_;
    std::vector<std::unique_ptr<DirObject>> dirs_;
    std::list<std::unique_ptr<Node>> nodes_;
    uint64_t nodeIds_ = 0;
    int error_ = 0;
    bool initialised_ = false;
    ClockFn clock_ = SystemClock;
    bool indexFolders_ = true;

    friend struct FatOps;
};

}  // namespace lxfat

#endif
