#include "fatfs.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <unordered_set>

namespace lxfat {

using lxvd::BlockDeviceRecord;
using lxvd::kSectorSize;

namespace {

constexpr uint32_t kEnd = 0x0FFFFFF8;          /* end of chain, both types */
constexpr uint32_t kNone = 0xFFFFFFFFu;
constexpr uint32_t kEntriesPerSector = kSectorSize / 32;
constexpr uint32_t kMaxDirEntries = 65536;     /* a folder holds at most 2 MiB of entries */
constexpr size_t kCacheSectors = 2048;
constexpr size_t kHeldBytes = 256 * 1024;      /* data held back to join the next write */
constexpr uint8_t kAttrVolume = 0x08, kAttrDir = 0x10, kAttrArchive = 0x20, kAttrLfn = 0x0F;

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }
void Put16(uint8_t* p, uint32_t v) { p[0] = static_cast<uint8_t>(v); p[1] = static_cast<uint8_t>(v >> 8); }
void Put32(uint8_t* p, uint32_t v) { Put16(p, v); Put16(p + 2, v >> 16); }

uint32_t EntryCluster(const uint8_t* e) { return Le16(e + 26) | (static_cast<uint32_t>(Le16(e + 20)) << 16); }
void SetEntryCluster(uint8_t* e, uint32_t c) { Put16(e + 26, c); Put16(e + 20, c >> 16); }
bool IsDotEntry(const uint8_t* e) {
    return std::memcmp(e, ".          ", 11) == 0 || std::memcmp(e, "..         ", 11) == 0;
}

/* Where the fields of the boot sector and the FSInfo sector lie: Format writes and Mount reads
 * this one layout. */
namespace boot {
constexpr size_t kOemName = 3, kBytesPerSector = 11, kSectorsPerCluster = 13, kReserved = 14, kFatCount = 16,
                 kRootEntries = 17, kTotal16 = 19, kMedia = 21, kFatSize16 = 22, kSectorsPerTrack = 24, kHeads = 26,
                 kHidden = 28, kTotal32 = 32;
constexpr size_t kExtension16 = 36, kFsType16 = 54;  /* FAT16: extended fields, type text */
constexpr size_t kFatSize32 = 36, kRootCluster = 44, kFsInfo = 48, kBackup = 50, kExtension32 = 64, kFsType32 = 82;
constexpr size_t kExtSignature = 2, kVolumeId = 3, kVolumeLabel = 7;  /* within the extended fields */
constexpr size_t kSignature = 510;
}  // namespace boot
namespace fsinfo {
constexpr size_t kLead = 0, kStruct = 484, kFreeCount = 488, kNextFree = 492, kSignature = 510;
}  // namespace fsinfo

/* Other systems tell the FAT type by the cluster count alone. fsck.fat and mtools take a FAT16
 * volume of 65,524 clusters; one more and it is FAT32. */
constexpr uint32_t kMinFat16Clusters = 4085, kMaxFat16Clusters = 65524;
constexpr uint32_t kMinFat32Clusters = 65525, kMaxFat32Clusters = 0x0FFFFFF5;

int Log2(uint32_t v) {
    int n = 0;
    while ((1u << n) < v) ++n;
    return (1u << n) == v ? n : -1;
}

/* A named entry of a folder as a scan finds it. */
struct Found {
    uint32_t dirClus = 0;
    uint32_t firstIdx = 0, shortIdx = 0;
    uint8_t entry[32] = {};
    u16string longName;
    u16string Name() const { return longName.empty() ? ShortNameToText(entry) : longName; }
};

/* What one scan of a folder tells, kept so that looking a name up, choosing a numeric tail and
 * finding free slots cost as little in a folder of 20,000 files as in one of 20, where each of
 * them used to read the whole folder. Built by one scan when the folder is first searched,
 * updated by every change this file system makes to the folder, and dropped with the sector
 * cache. It answers exactly as the scans do: the first matching entry in folder order, the
 * lowest free tail, the first run of free slots. */
struct FolderIndex {
    std::vector<uint32_t> chain;   /* the folder's clusters; empty for the FAT16 root */
    uint32_t capacity = 0;         /* entry slots the folder holds */
    uint32_t end = 0;              /* the first end mark (first byte 0); capacity when none */
    std::map<uint32_t, Found> entries;                         /* by 8.3 index; "." and ".." left out */
    std::unordered_multimap<u16string, uint32_t> names;        /* upper-cased long and 8.3 texts */
    std::unordered_multimap<std::string, uint32_t> shortNames; /* the 11 name bytes of those entries */
    std::unordered_map<std::string, uint32_t> taken;           /* 8.3 names before the end mark, all kinds */
    std::map<uint32_t, uint32_t> holes;                        /* deleted slots before the end mark: start, length */
    uint32_t maxHole = 0;                                      /* no hole is longer */
    std::unordered_map<std::string, uint32_t> tails;           /* 8.3 base: every tail below is taken */
    uint64_t lastUse = 0;
};

u16string FoldCase(const u16string& name) {
    u16string out(name);
    for (char16_t& c : out)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
    return out;
}

std::string NameBytes(const uint8_t* entry) { return std::string(reinterpret_cast<const char*>(entry), 11); }

}  // namespace

/* Every write stamps its file: the local time is worked out once a second, not per write. */
void SystemClock(DosTime* now) {
    thread_local std::time_t last = -1;
    thread_local DosTime known{};
    const std::time_t t = std::time(nullptr);
    if (t != last) {
        std::tm tm{};
#ifdef _WIN32
        localtime_s(&tm, &t);
#else
        localtime_r(&t, &tm);
#endif
        known = {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
        last = t;
    }
    *now = known;
}

/* ======================= volume: sectors, cache, FAT, bitmap ======================= */

struct FatFs::Volume {
    int index = 0;
    Partition part;
    bool mounted = false;
    int type = 0;
    uint32_t spc = 0, spcShift = 0, clusterBytes = 0, reserved = 0, nfats = 0, fatSize = 0;
    uint32_t rootEntries = 0, rootFirst = 0, rootSectors = 0, firstData = 0, totalSectors = 0;
    uint32_t clusterCount = 0, maxCluster = 0, rootCluster = 0, fsinfoSector = 0;
    std::vector<uint32_t> bitmap;
    uint32_t hint = 2, freeCount = 0;
    bool infoDirty = false;

    struct Buf {
        uint32_t sector = 0;
        bool dirty;
        bool dir;  /* holds folder entries: written after the FAT they point into */
        uint8_t data[kSectorSize];
    };
    std::list<Buf> lru;  /* most recently used first */
    std::unordered_set<uint32_t> dirtySectors;  /* so that a flush need not visit the whole cache */
    std::unordered_map<uint32_t, std::list<Buf>::iterator> map;
    std::unordered_map<uint32_t, std::unique_ptr<FolderIndex>> folders;  /* by first cluster, 0 the FAT16 root */
    std::unordered_map<uint32_t, uint32_t> folderClusters;               /* cluster of an indexed folder: the folder */
    uint64_t folderClock = 0;
    bool indexFolders = true;

    BlockDeviceRecord* dev() const { return part.device; }
    uint32_t RootDir() const { return type == kTypeFat16 ? 0 : rootCluster; }
    uint32_t ClusterSector(uint32_t c) const { return firstData + ((c - 2) << spcShift); }
    bool ValidCluster(uint32_t c) const { return c >= 2 && c <= maxCluster; }

    int Check(uint32_t sec, uint64_t n) const {
        return static_cast<uint64_t>(sec) + n > part.count ? kErrBeyondVolume : 0;
    }
    /* The whole sectors written last, held back (up to kHeldBytes) so that a run of small
     * writes reaches the device as one request. Every other access to the device writes them
     * first, so the device sees the writes in the order they were made; a flush writes them. */
    std::vector<uint8_t> held;
    uint32_t heldSector = 0;
    /* Whose bytes are held (open files by their node id), and the files whose held bytes failed
     * to reach the device in a call of someone else's: their next flush or close hears of it.
     * Held bytes that fail stay held, so a later write (once the device takes writes again)
     * still brings them to the device. */
    uint64_t writer = 0;
    std::vector<uint64_t> heldOwners;
    std::unordered_set<uint64_t> lostWrites;
    int WriteHeld() {
        if (held.empty()) return 0;
        const uint32_t n = static_cast<uint32_t>(held.size() / kSectorSize);
        if (dev()->write(dev(), part.start + heldSector, held.data(), n) != 0) {
            lostWrites.insert(heldOwners.begin(), heldOwners.end());
            return kErrDevice;
        }
        held.clear();
        heldOwners.clear();
        return 0;
    }
    void HeldBy(uint64_t owner) {
        if (owner && (heldOwners.empty() || heldOwners.back() != owner) &&
            std::find(heldOwners.begin(), heldOwners.end(), owner) == heldOwners.end())
            heldOwners.push_back(owner);
    }
    int RawWrite(uint32_t sec, uint32_t n, const void* buf) {
        if (int rc = Check(sec, n)) return rc;
        if (int rc = WriteHeld()) return rc;
        return dev()->write(dev(), part.start + sec, buf, n) == 0 ? 0 : kErrDevice;
    }
    bool InFat(uint32_t sec) const { return fatSize && sec >= reserved && sec < reserved + fatSize; }
    /* Cached sectors to the device; every copy of the FAT follows the first. */
    int WriteSectors(uint32_t sec, uint32_t n, const uint8_t* data) {
        const uint32_t copies = InFat(sec) ? nfats : 1;
        for (uint32_t i = 0; i < copies; ++i)
            if (int rc = RawWrite(sec + i * fatSize, n, data)) return rc;
        return 0;
    }
    int WriteBack(Buf& b) {
        if (int rc = WriteSectors(b.sector, 1, b.data)) return rc;
        b.dirty = false;
        dirtySectors.erase(b.sector);
        return 0;
    }
    /* Visits the cached sectors among [sec, sec + n). */
    template <typename Fn>
    void ForCached(uint32_t sec, uint32_t n, Fn fn) {
        if (n < map.size()) {
            for (uint32_t i = 0; i < n; ++i) {
                auto it = map.find(sec + i);
                if (it != map.end()) fn(*it->second);
            }
        } else {
            for (Buf& b : lru)
                if (b.sector >= sec && b.sector - sec < n) fn(b);
        }
    }
    /* Reads straight from the device; sectors changed in the cache win. */
    int DevRead(uint32_t sec, uint32_t n, void* buf) {
        if (int rc = Check(sec, n)) return rc;
        if (int rc = WriteHeld()) return rc;
        if (n && dev()->read(dev(), part.start + sec, buf, n) != 0) return kErrDevice;
        ForCached(sec, n, [&](Buf& b) {
            if (b.dirty) std::memcpy(static_cast<uint8_t*>(buf) + (b.sector - sec) * kSectorSize, b.data, kSectorSize);
        });
        return 0;
    }
    /* Writes straight to the device; cached copies take the new contents. */
    int DevWrite(uint32_t sec, uint32_t n, const void* buf) {
        const size_t bytes = static_cast<size_t>(n) * kSectorSize;
        if (!held.empty() && sec == heldSector + held.size() / kSectorSize && held.size() + bytes <= kHeldBytes) {
            if (int rc = Check(sec, n)) return rc;
            held.insert(held.end(), static_cast<const uint8_t*>(buf), static_cast<const uint8_t*>(buf) + bytes);
            HeldBy(writer);
        } else if (bytes < kHeldBytes && bytes) {
            if (int rc = Check(sec, n)) return rc;
            if (int rc = WriteHeld()) return rc;
            held.assign(static_cast<const uint8_t*>(buf), static_cast<const uint8_t*>(buf) + bytes);
            heldSector = sec;
            HeldBy(writer);
        } else if (int rc = RawWrite(sec, n, buf)) {
            return rc;
        }
        ForCached(sec, n, [&](Buf& b) {
            std::memcpy(b.data, static_cast<const uint8_t*>(buf) + (b.sector - sec) * kSectorSize, kSectorSize);
            b.dirty = false;
            dirtySectors.erase(b.sector);
        });
        return 0;
    }
    int DevErase(uint32_t sec, uint32_t n) {
        if (int rc = Check(sec, n)) return rc;
        if (int rc = WriteHeld()) return rc;
        if (dev()->erase(dev(), part.start + sec, n) != 0) return kErrDevice;
        ForCached(sec, n, [this](Buf& b) {
            std::memset(b.data, 0xFF, kSectorSize);
            b.dirty = false;
            dirtySectors.erase(b.sector);
        });
        return 0;
    }
    /* The cached sector, loaded when `load`, else zero-filled. Null with *rc on failure. */
    uint8_t* Get(uint32_t sec, int* rc, bool load = true) {
        auto it = map.find(sec);
        if (it != map.end()) {
            lru.splice(lru.begin(), lru, it->second);
            return it->second->data;
        }
        if ((*rc = Check(sec, 1))) return nullptr;
        /* A flush never evicts: what an eviction would write could reach the device ahead of
         * what the flush has still to write before it. The few sectors a flush brings in (the
         * FAT sectors of pending links, FSInfo) may take the cache past its size until the
         * next sector is needed. */
        while (!flushing && map.size() >= kCacheSectors)
            if ((*rc = Evict())) return nullptr;
        lru.push_front(Buf{sec, false, false, {}});
        Buf& b = lru.front();
        if (load) {
            if ((*rc = WriteHeld()) || dev()->read(dev(), part.start + sec, b.data, 1) != 0) {
                lru.pop_front();
                if (!*rc) *rc = kErrDevice;
                return nullptr;
            }
        }
        map[sec] = lru.begin();
        return b.data;
    }
    void Dirty(uint32_t sec, bool dir = false) {
        auto it = map.find(sec);
        if (it != map.end()) {
            it->second->dirty = true;
            it->second->dir = it->second->dir || dir;
            dirtySectors.insert(sec);
        }
    }
    /* Makes room in the cache: a clean sector near the cold end goes; else the coldest, and a
     * folder sector only after everything before it (a flush), so that no entry reaches the
     * device ahead of the chain it names. Never called while a flush runs. */
    int Evict() {
        auto victim = std::prev(lru.end());
        for (int i = 0; i < 16 && victim->dirty && victim != lru.begin(); ++i) --victim;
        if (victim->dirty) {
            victim = std::prev(lru.end());
            if (victim->dir) {
                if (int rc = Flush()) return rc;
                victim = std::prev(lru.end());
            }
            if (victim->dirty)
                if (int rc = WriteBack(*victim)) return rc;
        }
        map.erase(victim->sector);
        lru.erase(victim);
        return 0;
    }
    /* Writes a list of cached sectors in order; neighbours go in one request. */
    int WriteList(const std::vector<Buf*>& list) {
        std::vector<uint8_t> run;
        for (size_t i = 0; i < list.size();) {
            size_t j = i + 1;
            while (j < list.size() && list[j]->sector == list[j - 1]->sector + 1) ++j;
            int rc;
            if (j == i + 1) {
                rc = WriteBack(*list[i]);
            } else {
                run.resize((j - i) * kSectorSize);
                for (size_t k = i; k < j; ++k) std::memcpy(run.data() + (k - i) * kSectorSize, list[k]->data, kSectorSize);
                rc = WriteSectors(list[i]->sector, static_cast<uint32_t>(j - i), run.data());
                if (!rc)
                    for (size_t k = i; k < j; ++k) {
                        list[k]->dirty = false;
                        dirtySectors.erase(list[k]->sector);
                    }
            }
            if (rc) return rc;
            i = j;
        }
        return 0;
    }
    enum class Kind { Data, Fat, Folder };
    Kind KindOf(const Buf& b) const { return InFat(b.sector) ? Kind::Fat : b.dir ? Kind::Folder : Kind::Data; }
    int WriteDirty(Kind kind) {
        std::vector<Buf*> list;
        for (uint32_t sec : dirtySectors) {
            Buf* b = &*map.at(sec);
            if (KindOf(*b) == kind) list.push_back(b);
        }
        std::sort(list.begin(), list.end(), [](const Buf* a, const Buf* b) { return a->sector < b->sector; });
        return WriteList(list);
    }
    /* Writes every pending change in an order after which a stop anywhere leaves the volume
     * sound: file data; the FAT entries of new clusters; then the links that join them to the
     * chains on the device; then the folder entries, whose sizes and first clusters then name
     * only chains complete on the device. Nothing else reaches the device meanwhile: the
     * sectors the flush brings in evict nothing (Get). The first failure stops the rest, which
     * stays pending. */
    bool flushing = false;
    int Flush() {
        struct Guard {
            bool& f;
            explicit Guard(bool& flag) : f(flag) { f = true; }
            ~Guard() { f = false; }
        } guard(flushing);
        if (int rc = WriteHeld()) return rc;
        if (type == kTypeFat32 && infoDirty && fsinfoSector) {
            int rc = 0;
            uint8_t* s = Get(fsinfoSector, &rc);
            if (!s) return rc;
            Put32(s + fsinfo::kFreeCount, freeCount);
            Put32(s + fsinfo::kNextFree, hint);
            Dirty(fsinfoSector);
            infoDirty = false;
        }
        if (int rc = WriteDirty(Kind::Data)) return rc;
        if (int rc = WriteDirty(Kind::Fat)) return rc;
        ForgetFresh();
        if (!pendingLinks.empty()) {
            const std::unordered_map<uint32_t, uint32_t> links(pendingLinks);
            for (const auto& l : links)
                if (int rc = SetFat(l.first, l.second)) return rc;
            if (int rc = WriteDirty(Kind::Fat)) return rc;
        }
        return WriteDirty(Kind::Folder);
    }
    void DropCache() {
        lru.clear();
        map.clear();
        dirtySectors.clear();
        pendingLinks.clear();
        ForgetFresh();
        folders.clear();
        folderClusters.clear();
    }
    FolderIndex* AddFolder(uint32_t key, std::unique_ptr<FolderIndex> ix) {
        for (uint32_t c : ix->chain) folderClusters[c] = key;
        FolderIndex* raw = ix.get();
        folders[key] = std::move(ix);
        return raw;
    }
    void GrowFolder(uint32_t key, FolderIndex& ix, const std::vector<uint32_t>& fresh) {
        for (uint32_t c : fresh) folderClusters[c] = key;
        ix.chain.insert(ix.chain.end(), fresh.begin(), fresh.end());
    }
    void DropFolder(uint32_t key) {
        auto it = folders.find(key);
        if (it == folders.end()) return;
        for (uint32_t c : it->second->chain) folderClusters.erase(c);
        folders.erase(it);
    }
    /* Forgets what is known of folders that lose a cluster: a freed folder, or one whose chain
     * a damaged volume shares with a file. */
    void DropFreedFolders(const std::vector<uint32_t>& chain, size_t keep) {
        for (size_t i = keep; i < chain.size() && !folderClusters.empty(); ++i) {
            auto it = folderClusters.find(chain[i]);
            if (it != folderClusters.end()) DropFolder(it->second);
        }
    }

    /* ---- FAT entries ---- */
    /* Links from the end of a chain on the device to clusters taken since the last flush: kept
     * out of the cached FAT until the new clusters' own entries are on the device. */
    std::unordered_map<uint32_t, uint32_t> pendingLinks;
    /* Clusters taken since the FAT last reached the device. Nothing on the device leads into
     * them until the pending links and the folder entries are written, so a link from one of
     * them to a newer one goes straight into the cached FAT: a file grown by many small
     * writes keeps one pending link, not one per write. */
    std::vector<uint32_t> freshBits, freshWords;  /* the words of freshBits not zero */
    bool Fresh(uint32_t c) const { return !freshBits.empty() && (freshBits[c >> 5] & (1u << (c & 31))); }
    void MarkFresh(uint32_t c) {
        uint32_t& w = freshBits[c >> 5];
        if (!w) freshWords.push_back(c >> 5);
        w |= 1u << (c & 31);
    }
    void ForgetFresh() {
        for (uint32_t w : freshWords) freshBits[w] = 0;
        freshWords.clear();
    }
    /* Clusters whose link the mount found running into a free cluster or past the volume:
     * their chains end there, so that no chain reaches into clusters given out since. */
    std::unordered_set<uint32_t> cutLinks;
    uint32_t FatSector(uint32_t c) const {
        return reserved + static_cast<uint32_t>(static_cast<uint64_t>(c) * (type == kTypeFat16 ? 2 : 4) / kSectorSize);
    }
    int GetFat(uint32_t c, uint32_t* value) {
        if (c > maxCluster) return kErrShortChain;
        if (!pendingLinks.empty()) {
            auto it = pendingLinks.find(c);
            if (it != pendingLinks.end()) {
                *value = it->second;
                return 0;
            }
        }
        if (!cutLinks.empty() && cutLinks.count(c)) {
            *value = kEnd;
            return 0;
        }
        const uint64_t byte = static_cast<uint64_t>(c) * (type == kTypeFat16 ? 2 : 4);
        int rc = 0;
        uint8_t* s = Get(reserved + static_cast<uint32_t>(byte / kSectorSize), &rc);
        if (!s) return rc;
        const uint8_t* p = s + byte % kSectorSize;
        if (type == kTypeFat16) {
            uint32_t v = Le16(p);
            *value = v >= 0xFFF8 ? kEnd : v == 0xFFF7 ? 0x0FFFFFF7 : v;
        } else {
            uint32_t v = Le32(p) & 0x0FFFFFFF;
            *value = v >= 0x0FFFFFF8 ? kEnd : v;
        }
        return 0;
    }
    int SetFat(uint32_t c, uint32_t value) {
        if (c < 2 || c > maxCluster) return kErrInconsistent;
        if (!pendingLinks.empty()) pendingLinks.erase(c);
        if (!cutLinks.empty()) cutLinks.erase(c);
        const uint64_t byte = static_cast<uint64_t>(c) * (type == kTypeFat16 ? 2 : 4);
        const uint32_t sec = reserved + static_cast<uint32_t>(byte / kSectorSize);
        int rc = 0;
        uint8_t* s = Get(sec, &rc);
        if (!s) return rc;
        uint8_t* p = s + byte % kSectorSize;
        if (type == kTypeFat16) {
            Put16(p, value == kEnd ? 0xFFFF : value);
        } else {
            /* the top four bits are reserved and stay as they were */
            Put32(p, (Le32(p) & 0xF0000000u) | (value == kEnd ? 0x0FFFFFFF : value));
        }
        Dirty(sec);
        return 0;
    }
    /* Next cluster of a chain: a cluster number or kEnd; anything else is a broken chain. */
    int Next(uint32_t c, uint32_t* next) {
        uint32_t v = 0;
        if (int rc = GetFat(c, &v)) return rc;
        if (v != kEnd && !ValidCluster(v)) return kErrShortChain;
        *next = v;
        return 0;
    }
    /* The whole chain from `first`, every value range-checked and the walk bounded. */
    int LoadChain(uint32_t first, std::vector<uint32_t>* chain) {
        chain->clear();
        if (first == 0) return 0;
        if (!ValidCluster(first)) return kErrShortChain;
        uint32_t c = first;
        while (c != kEnd) {
            if (chain->size() >= clusterCount) return kErrShortChain;  /* a cycle */
            chain->push_back(c);
            if (int rc = Next(c, &c)) return rc;
        }
        return 0;
    }
    /* What a chain holds, for freeing it: as far as it can be followed, each cluster once. A
     * walk that comes back to a cluster it has seen stops there, as does one that meets a
     * value that names no cluster. Fails only when the FAT cannot be read. */
    int ChainToFree(uint32_t first, std::vector<uint32_t>* chain) {
        const int rc = LoadChain(first, chain);
        if (rc != kErrShortChain) return rc;
        if (chain->size() >= clusterCount) {
            std::unordered_set<uint32_t> seen;
            for (size_t i = 0; i < chain->size(); ++i)
                if (!seen.insert((*chain)[i]).second) {
                    chain->resize(i);
                    break;
                }
        }
        return 0;
    }

    /* ---- bitmap ---- */
    bool Used(uint32_t c) const { return bitmap[c >> 5] & (1u << (c & 31)); }
    void Mark(uint32_t c) { bitmap[c >> 5] |= 1u << (c & 31); }
    void Unmark(uint32_t c) { bitmap[c >> 5] &= ~(1u << (c & 31)); }

    int Alloc(uint32_t n, std::vector<uint32_t>* out) {
        if (n == 0) return kErrInvalid;
        if (n > freeCount) return kErrNoSpace;
        const size_t start = out->size();
        uint32_t c = hint < 2 || hint > maxCluster ? 2 : hint;
        for (uint32_t scanned = 0; scanned < clusterCount && out->size() - start < n; ++scanned) {
            if ((c & 31) == 0 && bitmap[c >> 5] == 0xFFFFFFFFu && c + 32 <= maxCluster + 1) {
                scanned += 31;
                c += 32;
            } else {
                if (!Used(c)) {
                    Mark(c);
                    out->push_back(c);
                }
                ++c;
            }
            if (c > maxCluster) c = 2;
        }
        if (out->size() - start < n) {
            /* the free count promised more than the bitmap holds */
            for (size_t i = start; i < out->size(); ++i) Unmark((*out)[i]);
            out->resize(start);
            return kErrFewerFree;
        }
        freeCount -= n;
        hint = out->back() + 1 > maxCluster ? 2 : out->back() + 1;
        for (size_t i = start; i < out->size(); ++i) MarkFresh((*out)[i]);
        infoDirty = true;
        return 0;
    }
    /* Links clusters[0..n) after `last` (0: a new chain) and ends the chain. A link from a
     * `last` that may be on the device waits for the next flush (pendingLinks). */
    int Link(uint32_t last, const uint32_t* clusters, size_t n) {
        if (last && !ValidCluster(last)) return kErrInconsistent;
        for (size_t i = 0; i < n; ++i)
            if (int rc = SetFat(clusters[i], i + 1 < n ? clusters[i + 1] : kEnd)) return rc;
        if (last && n) {
            if (Fresh(last)) return SetFat(last, clusters[0]);
            if (!cutLinks.empty()) cutLinks.erase(last);
            pendingLinks[last] = clusters[0];
        }
        return 0;
    }
    /* Gives back clusters that were taken but never linked. */
    void Unalloc(const uint32_t* clusters, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            Unmark(clusters[i]);
            hint = std::min(hint, clusters[i]);
        }
        freeCount += static_cast<uint32_t>(n);
        infoDirty = true;
    }
    /* Frees chain[keep..]: chain[keep - 1] first becomes the end of the chain, then the rest is
     * freed from its end; the flash erases what it frees. */
    int FreeFrom(const std::vector<uint32_t>& chain, size_t keep) {
        if (keep >= chain.size()) return 0;
        if (keep > 0) {
            /* the new end reaches the device before any cluster after it reads as free */
            if (int rc = SetFat(chain[keep - 1], kEnd)) return rc;
            auto it = map.find(FatSector(chain[keep - 1]));
            if (it != map.end() && it->second->dirty)
                if (int rc = WriteBack(*it->second)) return rc;
        }
        int first = 0;
        for (size_t i = chain.size(); i-- > keep;) {
            if (int rc = SetFat(chain[i], 0); rc && !first) first = rc;
            if (Used(chain[i])) {
                Unmark(chain[i]);
                ++freeCount;
            }
            hint = std::min(hint, chain[i]);
        }
        infoDirty = true;
        DropFreedFolders(chain, keep);
        if (dev()->kind & lxvd::kKindErasesOnFormat) {
            for (size_t i = keep; i < chain.size();) {
                size_t j = i + 1;
                while (j < chain.size() && chain[j] == chain[j - 1] + 1) ++j;
                int rc = DevErase(ClusterSector(chain[i]), static_cast<uint32_t>(j - i) << spcShift);
                if (rc && !first) first = rc;
                i = j;
            }
        }
        return first;
    }

    /* ---- data bytes at volume-relative byte offsets ---- */
    /* Whole sectors go straight between the caller and the device; parts of sectors pass
     * through the cache, which keeps a partly written sector until it is written back. */
    int Transfer(uint64_t off, uint64_t len, uint8_t* buf, bool write) {
        while (len) {
            const uint32_t sec = static_cast<uint32_t>(off / kSectorSize), in = off % kSectorSize;
            uint64_t n;
            if (in || len < kSectorSize) {
                int rc = 0;
                uint8_t* s = Get(sec, &rc);
                if (!s) return rc;
                n = std::min<uint64_t>(len, kSectorSize - in);
                if (write) {
                    std::memcpy(s + in, buf, n);
                    Dirty(sec);
                } else {
                    std::memcpy(buf, s + in, n);
                }
            } else {
                const uint32_t count = static_cast<uint32_t>(len / kSectorSize);
                if (int rc = write ? DevWrite(sec, count, buf) : DevRead(sec, count, buf)) return rc;
                n = static_cast<uint64_t>(count) * kSectorSize;
            }
            buf += n; off += n; len -= n;
        }
        return 0;
    }
    uint64_t ClusterByte(uint32_t c) const { return static_cast<uint64_t>(ClusterSector(c)) * kSectorSize; }
};

/* ======================= directories ======================= */

struct FatFs::Node {
    int vol;
    uint32_t dirClus;           /* folder holding the entry */
    uint32_t firstIdx, shortIdx;
    uint8_t entry[32];
    std::vector<uint32_t> chain;
    bool chainLoaded = false;
    int refs = 0;
    uint64_t id = 0;            /* names the file's held bytes; never reused */
    uint32_t First() const { return EntryCluster(entry); }
    uint32_t Size() const { return Le32(entry + 28); }
};

struct FatFs::OpenFile {
    bool used = false;
    int flags = 0;
    uint64_t pos = 0;
    Node* node = nullptr;
};

struct DirCursor {
    uint32_t clusIdx = kNone;
    uint32_t clus = 0;
};

struct FatFs::DirObject {
    bool used = false;
    int vol = 0;
    uint32_t dirClus = 0;
    uint32_t next = 0;
    DirCursor cursor;  /* where the last read was, so that reading on does not walk the chain again */
};

namespace {

using Volume = FatFs::Volume;

FolderIndex* KnownFolder(Volume& v, uint32_t dirClus) {
    if (v.folders.empty()) return nullptr;
    auto it = v.folders.find(dirClus);
    return it == v.folders.end() ? nullptr : it->second.get();
}

/* The sector that holds entry idx of a folder; kErrEndOfDir past its last entry. */
int DirSector(Volume& v, uint32_t dirClus, uint32_t idx, DirCursor& cur, uint32_t* sector) {
    if (dirClus == 0) {
        if (idx >= v.rootEntries) return kErrEndOfDir;
        *sector = v.rootFirst + idx / kEntriesPerSector;
        return 0;
    }
    if (idx >= kMaxDirEntries) return kErrEndOfDir;
    const uint32_t perCluster = v.clusterBytes / 32;
    const uint32_t ci = idx / perCluster;
    if (const FolderIndex* ix = KnownFolder(v, dirClus)) {
        if (ci >= ix->chain.size()) return kErrEndOfDir;
        *sector = v.ClusterSector(ix->chain[ci]) + (idx % perCluster) / kEntriesPerSector;
        return 0;
    }
    if (cur.clusIdx == kNone || ci < cur.clusIdx) {
        if (!v.ValidCluster(dirClus)) return kErrShortChain;
        cur.clusIdx = 0;
        cur.clus = dirClus;
    }
    while (cur.clusIdx < ci) {
        uint32_t next = 0;
        if (int rc = v.Next(cur.clus, &next)) return rc;
        if (next == kEnd) return kErrEndOfDir;
        cur.clus = next;
        ++cur.clusIdx;
    }
    *sector = v.ClusterSector(cur.clus) + (idx % perCluster) / kEntriesPerSector;
    return 0;
}

uint8_t* DirEntry(Volume& v, uint32_t dirClus, uint32_t idx, DirCursor& cur, uint32_t* sector, int* rc) {
    if ((*rc = DirSector(v, dirClus, idx, cur, sector))) return nullptr;
    uint8_t* s = v.Get(*sector, rc);
    return s ? s + (idx % kEntriesPerSector) * 32 : nullptr;
}

/* Visits every slot of a folder in order until fn returns true; 0 at the folder's end, or a
 * code of a broken folder. */
template <typename Fn>
int ForEachSlot(Volume& v, uint32_t dirClus, Fn fn) {
    DirCursor cur;
    for (uint32_t idx = 0;; ++idx) {
        uint32_t sector = 0;
        int rc = 0;
        const uint8_t* e = DirEntry(v, dirClus, idx, cur, &sector, &rc);
        if (!e) return rc == kErrEndOfDir ? 0 : rc;
        if (fn(idx, e)) return 0;
    }
}

/* The lowest numeric tail from `from` on that makes the base a name not yet taken. */
template <typename Taken>
int ChooseTail(ShortName* sn, uint32_t from, Taken taken, uint32_t* chosen) {
    uint8_t base[11];
    std::memcpy(base, sn->name, 11);
    for (uint32_t n = from;; ++n) {
        std::memcpy(sn->name, base, 11);
        ApplyNumericTail(sn->name, n);
        if (!taken(NameBytes(sn->name))) {
            *chosen = n;
            return 0;
        }
        if (n > 999999) return kErrExists;
    }
}

/* Visits the named entries of a folder from `start` on ("." and ".." included, labels and
 * deleted entries not) until fn returns true. Returns 0, or a code of a broken folder. */
template <typename Fn>
int ScanDir(Volume& v, uint32_t dirClus, uint32_t start, Fn fn, DirCursor* cursor = nullptr) {
    DirCursor own;
    DirCursor& cur = cursor ? *cursor : own;
    LongNameCollector lfn;
    for (uint32_t idx = start;; ++idx) {
        uint32_t sector = 0;
        int rc = 0;
        const uint8_t* e = DirEntry(v, dirClus, idx, cur, &sector, &rc);
        if (!e) return rc == kErrEndOfDir ? 0 : rc;
        if (e[0] == 0) return 0;
        if (e[0] == 0xE5) {
            lfn.Reset();
            continue;
        }
        if ((e[11] & 0x3F) == kAttrLfn) {
            lfn.Feed(e, idx);
            continue;
        }
        if ((e[11] & (kAttrVolume | kAttrDir)) == kAttrVolume) {
            lfn.Reset();
            continue;
        }
        Found f;
        f.dirClus = dirClus;
        f.shortIdx = idx;
        std::memcpy(f.entry, e, 32);
        int64_t runStart = -1;
        f.longName = lfn.Take(e, &runStart);
        f.firstIdx = runStart >= 0 ? static_cast<uint32_t>(runStart) : idx;
        if (fn(f)) return 0;
    }
}

/* ---- the folder index ---- */

constexpr size_t kIndexedFolders = 8;           /* folders known at a time per volume */
constexpr size_t kIndexedEntries = 100000;      /* entries known at a time per volume */
constexpr size_t kTailHints = 64;

void IndexAdd(FolderIndex& ix, const Found& f) {
    ix.entries[f.shortIdx] = f;
    if (!f.longName.empty()) ix.names.emplace(FoldCase(f.longName), f.shortIdx);
    ix.names.emplace(FoldCase(ShortNameToText(f.entry)), f.shortIdx);
    ix.shortNames.emplace(NameBytes(f.entry), f.shortIdx);
}

template <typename Map, typename Key>
void EraseValue(Map& map, const Key& key, uint32_t idx) {
    auto range = map.equal_range(key);
    for (auto it = range.first; it != range.second;)
        it = it->second == idx ? map.erase(it) : std::next(it);
}

void IndexRemove(FolderIndex& ix, uint32_t shortIdx) {
    auto it = ix.entries.find(shortIdx);
    if (it == ix.entries.end()) return;
    const Found& f = it->second;
    if (!f.longName.empty()) EraseValue(ix.names, FoldCase(f.longName), shortIdx);
    EraseValue(ix.names, FoldCase(ShortNameToText(f.entry)), shortIdx);
    EraseValue(ix.shortNames, NameBytes(f.entry), shortIdx);
    ix.entries.erase(it);
}

void TakeName(FolderIndex& ix, const uint8_t* entry) { ++ix.taken[NameBytes(entry)]; }

/* A name given up: every base whose tails ran past its number may now have that tail free. */
void GiveName(FolderIndex& ix, const uint8_t* entry) {
    auto it = ix.taken.find(NameBytes(entry));
    if (it == ix.taken.end()) return;
    if (--it->second) return;
    ix.taken.erase(it);
    const uint8_t* tilde = static_cast<const uint8_t*>(std::memchr(entry, '~', 8));
    if (!tilde) return;
    uint32_t n = 0;
    for (const uint8_t* p = tilde + 1; p < entry + 8 && *p >= '0' && *p <= '9'; ++p) n = n * 10 + (*p - '0');
    for (auto& t : ix.tails) t.second = std::min(t.second, std::max<uint32_t>(n, 1));
}

void AddHole(FolderIndex& ix, uint32_t start, uint32_t len) {
    auto next = ix.holes.lower_bound(start);
    if (next != ix.holes.end() && next->first == start + len) {
        len += next->second;
        next = ix.holes.erase(next);
    }
    if (next != ix.holes.begin()) {
        auto prev = std::prev(next);
        if (prev->first + prev->second == start) {
            prev->second += len;
            ix.maxHole = std::max(ix.maxHole, prev->second);
            return;
        }
    }
    ix.holes.emplace(start, len);
    ix.maxHole = std::max(ix.maxHole, len);
}

/* Slots [start, start + n) are in use now. */
void FillSlots(FolderIndex& ix, uint32_t start, uint32_t n) {
    auto it = ix.holes.upper_bound(start);
    if (it != ix.holes.begin() && std::prev(it)->first + std::prev(it)->second > start) --it;
    while (it != ix.holes.end() && it->first < start + n) {
        const uint32_t hs = it->first, he = it->first + it->second;
        it = ix.holes.erase(it);
        if (hs < start) ix.holes.emplace(hs, start - hs);
        if (he > start + n) ix.holes.emplace(start + n, he - (start + n));
    }
}

int BuildIndex(Volume& v, uint32_t dirClus, std::unique_ptr<FolderIndex>* out) {
    auto ix = std::make_unique<FolderIndex>();
    if (dirClus == 0) {
        ix->capacity = v.rootEntries;
    } else {
        if (int rc = v.LoadChain(dirClus, &ix->chain)) return rc;
        if (ix->chain.empty()) return kErrShortChain;
        ix->capacity = static_cast<uint32_t>(
            std::min<uint64_t>(static_cast<uint64_t>(ix->chain.size()) * (v.clusterBytes / 32), kMaxDirEntries));
    }
    ix->end = ix->capacity;
    uint32_t holeStart = kNone;
    int rc = ForEachSlot(v, dirClus, [&](uint32_t idx, const uint8_t* e) {
        if (e[0] == 0) {
            ix->end = idx;
            return true;
        }
        if (e[0] == 0xE5) {
            if (holeStart == kNone) holeStart = idx;
            return false;
        }
        if (holeStart != kNone) AddHole(*ix, holeStart, idx - holeStart);
        holeStart = kNone;
        if ((e[11] & 0x3F) != kAttrLfn) TakeName(*ix, e);
        return false;
    });
    if (rc) return rc;
    if (holeStart != kNone) AddHole(*ix, holeStart, ix->end - holeStart);
    rc = ScanDir(v, dirClus, 0, [&](const Found& f) {
        if (!IsDotEntry(f.entry)) IndexAdd(*ix, f);
        return false;
    });
    if (rc) return rc;
    *out = std::move(ix);
    return 0;
}

/* The index of a folder, built when needed; null when the folder cannot be indexed (a broken
 * chain), and the scans answer instead. A folder the device failed to give is no folder to
 * answer from: null with *rc set, never an empty index or a scan that happens to succeed. */
FolderIndex* IndexOf(Volume& v, uint32_t dirClus, int* rc) {
    *rc = 0;
    if (!v.indexFolders) return nullptr;
    if (FolderIndex* ix = KnownFolder(v, dirClus)) {
        ix->lastUse = ++v.folderClock;
        return ix;
    }
    std::unique_ptr<FolderIndex> ix;
    if (int built = BuildIndex(v, dirClus, &ix)) {
        if (built == kErrDevice) *rc = built;
        return nullptr;
    }
    size_t total = ix->entries.size();
    for (auto& f : v.folders) total += f.second->entries.size();
    while (!v.folders.empty() && (v.folders.size() >= kIndexedFolders || total > kIndexedEntries)) {
        auto oldest = v.folders.begin();
        for (auto it = v.folders.begin(); it != v.folders.end(); ++it)
            if (it->second->lastUse < oldest->second->lastUse) oldest = it;
        total -= oldest->second->entries.size();
        v.DropFolder(oldest->first);
    }
    ix->lastUse = ++v.folderClock;
    return v.AddFolder(dirClus, std::move(ix));
}

void ForgetFolder(Volume& v, uint32_t dirClus) { v.DropFolder(dirClus); }

/* Finds a component by its long name or by its 8.3 name. */
int Lookup(Volume& v, uint32_t dirClus, const u16string& comp, Found* out) {
    ShortName sn;
    if (int rc = MakeShortName(comp, &sn)) return rc;
    int indexRc = 0;
    if (FolderIndex* ix = IndexOf(v, dirClus, &indexRc)) {
        uint32_t best = kNone;
        auto consider = [&best](auto range) {
            for (auto it = range.first; it != range.second; ++it) best = std::min(best, it->second);
        };
        consider(ix->names.equal_range(FoldCase(comp)));
        if (!sn.lossy) consider(ix->shortNames.equal_range(NameBytes(sn.name)));
        if (best == kNone) return kErrNotFound;
        *out = ix->entries[best];
        return 0;
    }
    if (indexRc) return indexRc;
    bool found = false;
    int rc = ScanDir(v, dirClus, 0, [&](const Found& f) {
        if (IsDotEntry(f.entry)) return false;
        if ((!f.longName.empty() && NamesEqualNoCase(f.longName, comp)) ||
            (!sn.lossy && std::memcmp(f.entry, sn.name, 11) == 0) ||
            NamesEqualNoCase(ShortNameToText(f.entry), comp)) {
            *out = f;
            found = true;
            return true;
        }
        return false;
    });
    if (rc) return rc;
    return found ? 0 : kErrNotFound;
}

/* Walks comps[0..n) as folders from the root. */
int WalkDirs(Volume& v, const std::vector<u16string>& comps, size_t n, uint32_t* dirClus,
             std::vector<uint32_t>* visited = nullptr) {
    uint32_t d = v.RootDir();
    if (visited) visited->push_back(d);
    for (size_t i = 0; i < n; ++i) {
        Found f;
        int rc = Lookup(v, d, comps[i], &f);
        if (rc == kErrNotFound) return kErrNotDirectory;
        if (rc) return rc;
        if (!(f.entry[11] & kAttrDir)) return kErrNotDirectory;
        d = EntryCluster(f.entry);
        if (!v.ValidCluster(d)) return kErrShortChain;
        if (visited) visited->push_back(d);
    }
    *dirClus = d;
    return 0;
}

/* Splits a path and walks all but its last component; an empty path leaves the root. */
int Locate(Volume& v, const u16string& path, NameKind kind, std::vector<u16string>* comps, uint32_t* parent) {
    if (int rc = SplitPath(path, kind, comps)) return rc;
    *parent = v.RootDir();
    return comps->empty() ? 0 : WalkDirs(v, *comps, comps->size() - 1, parent);
}

void Stamp(ClockFn clock, uint8_t* e, bool creation) {
    DosTime t;
    clock(&t);
    const int year = std::min(std::max(t.year, 1980), 2107);
    const uint32_t date = static_cast<uint32_t>(((year - 1980) << 9) | (t.month << 5) | t.day);
    const uint32_t time = static_cast<uint32_t>((t.hour << 11) | (t.minute << 5) | (t.second / 2));
    if (creation) {
        e[13] = static_cast<uint8_t>((t.second % 2) * 100);
        Put16(e + 14, time);
        Put16(e + 16, date);
    }
    Put16(e + 18, date);
    Put16(e + 22, time);
    Put16(e + 24, date);
}

/* Finds n free slots in a folder, growing a subfolder when needed. *end is the index of the
 * first end-of-folder mark met (kNone when none). */
int FindRoom(Volume& v, uint32_t dirClus, uint32_t n, uint32_t* start, uint32_t* end) {
    uint32_t run = 0, runStart = 0, idx = 0;
    *end = kNone;
    FolderIndex* ix = KnownFolder(v, dirClus);
    if (ix) {
        *end = ix->end < ix->capacity ? ix->end : kNone;
        if (n <= ix->maxHole) {
            uint32_t longest = 0;
            for (const auto& h : ix->holes) {
                if (h.first + h.second == ix->end) break;  /* it runs on into the free tail */
                if (h.second >= n) {
                    *start = h.first;
                    return 0;
                }
                longest = std::max(longest, h.second);
            }
            ix->maxHole = longest;
        }
        runStart = ix->end;
        if (!ix->holes.empty() && ix->holes.rbegin()->first + ix->holes.rbegin()->second == ix->end)
            runStart = ix->holes.rbegin()->first;
        run = ix->capacity - runStart;
        idx = ix->capacity;
        if (run >= n) {
            *start = runStart;
            return 0;
        }
    } else {
        bool atEnd = false, found = false;
        int rc = ForEachSlot(v, dirClus, [&](uint32_t i, const uint8_t* e) {
            idx = i + 1;
            if (!atEnd && e[0] == 0) {
                atEnd = true;
                *end = i;
            }
            if (atEnd || e[0] == 0xE5) {
                if (run++ == 0) runStart = i;
                found = run == n;
                return found;
            }
            run = 0;
            return false;
        });
        if (rc) return rc;
        if (found) {
            *start = runStart;
            return 0;
        }
    }
    if (dirClus == 0) return kErrNoSpace;  /* the FAT16 root never grows */
    const uint32_t need = n - run;
    if (idx + need > kMaxDirEntries) return kErrNoSpace;
    const uint32_t clusters = (need * 32 + v.clusterBytes - 1) / v.clusterBytes;
    std::vector<uint32_t> chain, fresh;
    if (ix)
        chain = ix->chain;
    else if (int rc = v.LoadChain(dirClus, &chain))
        return rc;
    if (int rc = v.Alloc(clusters, &fresh)) return rc;
    std::vector<uint8_t> zeros(v.clusterBytes, 0);
    for (uint32_t c : fresh) {
        if (int rc = v.DevWrite(v.ClusterSector(c), v.spc, zeros.data())) {
            v.Unalloc(fresh.data(), fresh.size());
            return rc;
        }
    }
    if (int rc = v.Link(chain.back(), fresh.data(), fresh.size())) {
        ForgetFolder(v, dirClus);
        return rc;
    }
    if (ix) {
        v.GrowFolder(dirClus, *ix, fresh);
        ix->capacity = static_cast<uint32_t>(
            std::min<uint64_t>(static_cast<uint64_t>(ix->chain.size()) * (v.clusterBytes / 32), kMaxDirEntries));
    }
    *start = run ? runStart : idx;
    return 0;
}

int StoreEntry(Volume& v, uint32_t dirClus, uint32_t idx, const uint8_t* entry) {
    DirCursor cur;
    uint32_t sector = 0;
    int rc = 0;
    uint8_t* e = DirEntry(v, dirClus, idx, cur, &sector, &rc);
    if (!e) return rc == kErrEndOfDir ? kErrInconsistent : rc;
    std::memcpy(e, entry, 32);
    v.Dirty(sector, true);
    if (FolderIndex* ix = KnownFolder(v, dirClus)) {
        auto it = ix->entries.find(idx);
        if (it != ix->entries.end() && std::memcmp(it->second.entry, entry, 13) == 0)
            std::memcpy(it->second.entry, entry, 32);
        else
            ForgetFolder(v, dirClus);  /* not what it knew: it is built again when next needed */
    }
    return 0;
}

int RemoveEntries(Volume& v, uint32_t dirClus, uint32_t firstIdx, uint32_t shortIdx) {
    DirCursor cur;
    uint8_t shortEntry[32] = {};
    for (uint32_t idx = firstIdx; idx <= shortIdx; ++idx) {
        uint32_t sector = 0;
        int rc = 0;
        uint8_t* e = DirEntry(v, dirClus, idx, cur, &sector, &rc);
        if (!e) {
            ForgetFolder(v, dirClus);
            return rc;
        }
        if (idx == shortIdx) std::memcpy(shortEntry, e, 32);
        e[0] = 0xE5;
        v.Dirty(sector, true);
    }
    if (FolderIndex* ix = KnownFolder(v, dirClus)) {
        if (!ix->entries.count(shortIdx)) {
            ForgetFolder(v, dirClus);
            return 0;
        }
        IndexRemove(*ix, shortIdx);
        GiveName(*ix, shortEntry);
        AddHole(*ix, firstIdx, shortIdx - firstIdx + 1);
    }
    return 0;
}

/* Creates the entries of `comp` in a folder from the template entry (attribute, cluster, size,
 * stamps); the 8.3 name and its case bits are made here. */
int CreateEntry(Volume& v, uint32_t dirClus, const u16string& comp, const uint8_t* tmpl, Found* out) {
    ShortName sn;
    if (int rc = MakeShortName(comp, &sn)) return rc;
    int indexRc = 0;
    FolderIndex* ix = IndexOf(v, dirClus, &indexRc);
    if (indexRc) return indexRc;
    if (sn.lossy) {
        uint32_t n = 0;
        if (ix) {
            if (ix->tails.size() >= kTailHints) ix->tails.clear();
            uint32_t& lowest = ix->tails[NameBytes(sn.name)];
            if (int rc = ChooseTail(&sn, std::max<uint32_t>(lowest, 1),
                                    [ix](const std::string& name) { return ix->taken.count(name) != 0; }, &n))
                return rc;
            lowest = n;
        } else {
            std::unordered_set<std::string> taken;
            int rc = ForEachSlot(v, dirClus, [&](uint32_t, const uint8_t* e) {
                if (e[0] == 0) return true;
                if (e[0] != 0xE5 && (e[11] & 0x3F) != kAttrLfn) taken.insert(NameBytes(e));
                return false;
            });
            if (rc) return rc;
            if ((rc = ChooseTail(&sn, 1, [&taken](const std::string& name) { return taken.count(name) != 0; }, &n)))
                return rc;
        }
    }
    std::vector<uint8_t> slots;
    if (sn.needsLong) BuildLongEntries(comp, ShortNameChecksum(sn.name), &slots);
    const size_t lfnBytes = slots.size();
    slots.resize(lfnBytes + 32);
    uint8_t* se = slots.data() + lfnBytes;
    std::memcpy(se, tmpl, 32);
    std::memcpy(se, sn.name, 11);
    se[12] = sn.needsLong ? 0 : sn.caseBits;
    const uint32_t count = static_cast<uint32_t>(slots.size() / 32);
    uint32_t start = 0, end = kNone;
    if (int rc = FindRoom(v, dirClus, count, &start, &end)) return rc;
    DirCursor cur;
    for (uint32_t k = 0; k < count; ++k) {
        uint32_t sector = 0;
        int rc = 0;
        uint8_t* e = DirEntry(v, dirClus, start + k, cur, &sector, &rc);
        if (!e) {
            ForgetFolder(v, dirClus);
            return rc == kErrEndOfDir ? kErrInconsistent : rc;
        }
        std::memcpy(e, slots.data() + 32 * k, 32);
        v.Dirty(sector, true);
    }
    /* Past the old end mark, keep the folder ending right after the new entries. */
    if (end != kNone && start + count > end) {
        uint32_t sector = 0;
        int rc = 0;
        uint8_t* e = DirEntry(v, dirClus, start + count, cur, &sector, &rc);
        if (e && e[0] != 0) {
            std::memset(e, 0, 32);
            v.Dirty(sector, true);
        }
    }
    out->dirClus = dirClus;
    out->firstIdx = start;
    out->shortIdx = start + count - 1;
    std::memcpy(out->entry, se, 32);
    out->longName = sn.needsLong ? comp : u16string();
    if ((ix = KnownFolder(v, dirClus))) {
        FillSlots(*ix, start, count);
        if (start + count > ix->end) ix->end = std::min(start + count, ix->capacity);
        TakeName(*ix, se);
        IndexAdd(*ix, *out);
        /* A run of long-name entries left just before a new 8.3-only entry would lend it a long
         * name when the folder is read; let a scan say what it is. */
        if (!sn.needsLong && start > 0) {
            uint32_t sector = 0;
            int rc = 0;
            DirCursor c2;
            const uint8_t* e = DirEntry(v, dirClus, start - 1, c2, &sector, &rc);
            if (!e || (e[0] != 0xE5 && (e[11] & 0x3F) == kAttrLfn)) ForgetFolder(v, dirClus);
        }
    }
    return 0;
}

}  // namespace

/* ======================= FatFs ======================= */

FatFs::FatFs() {
    for (auto& v : volumes_) v = std::make_unique<Volume>();
    for (int i = 0; i < kMaxVolumes; ++i) volumes_[i]->index = i;
    for (int i = 0; i < kMaxOpenFiles; ++i) files_.push_back(std::make_unique<OpenFile>());
    for (int i = 0; i < kMaxDirObjects; ++i) dirs_.push_back(std::make_unique<DirObject>());
}

FatFs::~FatFs() = default;

int FatFs::Fail(int code) {
    error_ = code;
    return -1;
}

FatFs::Volume* FatFs::Vol(int vol) {
    if (vol < 0 || vol >= kMaxVolumes) {
        error_ = kErrInvalid;
        return nullptr;
    }
    if (!initialised_) {
        error_ = kErrNotInitialised;
        return nullptr;
    }
    if (!volumes_[vol]->mounted) {
        error_ = kErrNotMounted;
        return nullptr;
    }
    return volumes_[vol].get();
}

int FatFs::Init() {
    initialised_ = true;
    return 0;
}

int FatFs::Shutdown() {
    if (!initialised_) return 0;
    int rc = 0;
    for (int v = 0; v < kMaxVolumes; ++v)
        if (volumes_[v]->mounted && Unmount(v) != 0 && !rc) rc = error_;
    for (auto& f : files_) *f = OpenFile();
    for (auto& d : dirs_) *d = DirObject();
    nodes_.clear();
    initialised_ = false;
    return rc ? Fail(rc) : 0;
}

bool FatFs::IsMounted(int vol) const { return vol >= 0 && vol < kMaxVolumes && volumes_[vol]->mounted; }

const Partition* FatFs::PartitionOf(int vol) const {
    return IsMounted(vol) ? &volumes_[vol]->part : nullptr;
}

/* ---- format ---- */

namespace {

struct ClusterRow {
    uint32_t bound, spc;
};
const ClusterRow kFat16Rows[] = {{8400, 1},      {32680, 2},     {262144, 8},      {524288, 8},
                                 {1048576, 16},  {2097152, 32},  {4194304, 64},    {0xFFFFFFFF, 0}};
const ClusterRow kFat32Rows[] = {{66600, 1},     {532480, 4},    {16777216, 8},    {33554432, 16},
                                 {67108864, 32}, {0xFFFFFFFF, 64}};

}  // namespace

int FatFs::Format(int vol, const Partition& part, const char* label, int type) {
    if (!initialised_) return Fail(kErrNotInitialised);
    if (vol < 0 || vol >= kMaxVolumes || !part.device) return Fail(kErrInvalid);
    if (volumes_[vol]->mounted) return Fail(kErrBusy);
    const bool fat16 = type & kTypeFat16;
    if (!fat16 && !(type & kTypeFat32)) return Fail(kErrInvalid);
    BlockDeviceRecord* dev = part.device;
    if (dev->bytesPerSector != kSectorSize) return Fail(kErrNotFat);
    const uint32_t T = part.count, B = kSectorSize;
    const uint32_t U = dev->alignment ? dev->alignment : 1;

    uint32_t S = 0;
    for (const ClusterRow* r = fat16 ? kFat16Rows : kFat32Rows;; ++r)
        if (r->bound >= T) {
            S = r->spc;
            break;
        }
    if (S == 0) return Fail(kErrInvalid);

    const uint32_t R = fat16 ? (1024 * 32 + B - 1) / B : 0;
    /* Other systems tell the FAT type by the cluster count alone: a count outside the type's
     * range would be read as another type, so a smaller cluster is tried, else refused. */
    const uint32_t minClusters = fat16 ? kMinFat16Clusters : kMinFat32Clusters;
    const uint32_t maxClusters = fat16 ? kMaxFat16Clusters : kMaxFat32Clusters;
    uint32_t r = 0, F = 0, C = 0;
    bool ok = false;
    bool tooMany = false;
    for (; S >= 1; S /= 2) {
        if (S * B > 32768) continue;
        r = fat16 ? 1 : 32;
        const uint64_t body = static_cast<uint64_t>(T) > r + R ? T - r - R : 0;
        const uint64_t per = fat16 ? (B / 2) * S + 1 : ((B / 2) * S + 1) / 2;
        F = static_cast<uint32_t>((body + per - 1) / per);
        const uint32_t pad = U - ((R + part.start + r + F) % U);
        r += pad;
        const uint64_t used = static_cast<uint64_t>(r) + F + R;
        C = used < T ? static_cast<uint32_t>((T - used) / S) : 0;
        if (C > maxClusters) {
            tooMany = true;
            break;
        }
        if (C >= minClusters) {
            ok = true;
            break;
        }
    }
    if (!ok) return Fail(tooMany ? kErrNoDevice : kErrInvalid);

    /* Raw writes inside the partition. */
    auto put = [&](uint32_t sec, uint32_t n, const void* data) -> int {
        if (static_cast<uint64_t>(sec) + n > T) return kErrBeyondVolume;
        return dev->write(dev, part.start + sec, data, n) == 0 ? 0 : kErrDevice;
    };
    if (dev->kind & lxvd::kKindErasesOnFormat)
        if (dev->erase(dev, part.start, T) != 0) return Fail(kErrDevice);

    uint8_t stamp[32] = {};
    Stamp(clock_, stamp, true);

    std::vector<uint8_t> zeros(64 * B, 0);
    for (uint32_t s = 0; s < F;) {
        const uint32_t n = std::min<uint32_t>(64, F - s);
        if (int rc = put(r + s, n, zeros.data())) return Fail(rc);
        s += n;
    }
    uint8_t sec[kSectorSize] = {};
    if (fat16) {
        Put16(sec, 0xFFF8);
        Put16(sec + 2, 0xFFFF);
    } else {
        Put32(sec, 0x0FFFFFF8);
        Put32(sec + 4, 0x0FFFFFFF);
        Put32(sec + 8, 0x0FFFFFFF);
    }
    if (int rc = put(r, 1, sec)) return Fail(rc);

    const uint32_t rootFirst = r + F;
    const uint32_t rootSectors = fat16 ? R : S;
    for (uint32_t s = 0; s < rootSectors;) {
        const uint32_t n = std::min<uint32_t>(64, rootSectors - s);
        if (int rc = put(rootFirst + s, n, zeros.data())) return Fail(rc);
        s += n;
    }
    uint8_t label11[11];
    std::memset(label11, ' ', 11);
    for (size_t i = 0; label && label[i] && i < 11; ++i) {
        char c = label[i];
        label11[i] = static_cast<uint8_t>(c >= 'a' && c <= 'z' ? c - 32 : c);
    }
    if (label && label[0]) {
        std::memset(sec, 0, sizeof sec);
        std::memcpy(sec, label11, 11);
        sec[11] = kAttrVolume;
        sec[13] = stamp[13];
        std::memcpy(sec + 22, stamp + 22, 4);
        if (int rc = put(rootFirst, 1, sec)) return Fail(rc);
    }

    std::memset(sec, 0, sizeof sec);
    const uint8_t jump[3] = {0xEB, 0x58, 0x90};
    std::memcpy(sec, jump, 3);
    std::memcpy(sec + boot::kOemName, "MSWIN4.1", 8);
    Put16(sec + boot::kBytesPerSector, B);
    sec[boot::kSectorsPerCluster] = static_cast<uint8_t>(S);
    Put16(sec + boot::kReserved, r);
    sec[boot::kFatCount] = 1;
    Put16(sec + boot::kRootEntries, fat16 ? 1024 : 0);
    const bool small = fat16 && T < 65536;
    Put16(sec + boot::kTotal16, small ? T : 0);
    sec[boot::kMedia] = 0xF8;
    Put16(sec + boot::kFatSize16, fat16 ? F : 0);
    Put16(sec + boot::kSectorsPerTrack, 63);
    Put16(sec + boot::kHeads, 255);
    Put32(sec + boot::kHidden, 0);
    Put32(sec + boot::kTotal32, small ? 0 : T);
    uint8_t* tail;
    if (fat16) {
        tail = sec + boot::kExtension16;
        std::memcpy(sec + boot::kFsType16, "FAT16   ", 8);
    } else {
        Put32(sec + boot::kFatSize32, F);
        Put32(sec + boot::kRootCluster, 2);
        Put16(sec + boot::kFsInfo, 1);
        Put16(sec + boot::kBackup, 6);
        tail = sec + boot::kExtension32;
        std::memcpy(sec + boot::kFsType32, "FAT32   ", 8);
    }
    tail[boot::kExtSignature] = 0x29;
    Put32(tail + boot::kVolumeId, 0x19770321);
    std::memcpy(tail + boot::kVolumeLabel, label && label[0] ? label11 : reinterpret_cast<const uint8_t*>("NO NAME    "), 11);
    sec[boot::kSignature] = 0x55;
    sec[boot::kSignature + 1] = 0xAA;
    if (int rc = put(0, 1, sec)) return Fail(rc);
    if (!fat16) {
        if (int rc = put(6, 1, sec)) return Fail(rc);
        uint8_t info[kSectorSize] = {};
        std::memcpy(info + fsinfo::kLead, "RRaA", 4);
        std::memcpy(info + fsinfo::kStruct, "rrAa", 4);
        Put32(info + fsinfo::kFreeCount, C - 1);  /* the root folder holds cluster 2 */
        Put32(info + fsinfo::kNextFree, 3);
        info[fsinfo::kSignature] = 0x55;
        info[fsinfo::kSignature + 1] = 0xAA;
        if (int rc = put(1, 1, info)) return Fail(rc);
        if (int rc = put(7, 1, info)) return Fail(rc);
    }
    return 0;
}

/* ---- mount ---- */

int FatFs::Mount(int vol, const Partition& part) {
    if (!initialised_) return Fail(kErrNotInitialised);
    if (vol < 0 || vol >= kMaxVolumes || !part.device) return Fail(kErrInvalid);
    if (volumes_[vol]->mounted) return Fail(kErrBusy);
    int rc = MountInternal(vol, part);
    if (rc) {
        *volumes_[vol] = Volume();
        volumes_[vol]->index = vol;
        return Fail(rc);
    }
    return 0;
}

void FatFs::SetFolderIndexing(bool on) {
    indexFolders_ = on;
    for (auto& v : volumes_) {
        v->indexFolders = on;
        v->folders.clear();
        v->folderClusters.clear();
    }
}

int FatFs::MountInternal(int vol, const Partition& part) {
    Volume& v = *volumes_[vol];
    v = Volume();
    v.index = vol;
    v.indexFolders = indexFolders_;
    v.part = part;
    uint8_t b[kSectorSize];
    if (part.count == 0 || part.device->read(part.device, part.start, b, 1) != 0) return kErrDevice;
    if (b[boot::kSignature] != 0x55 || b[boot::kSignature + 1] != 0xAA) return kErrNotFat;
    const uint32_t bps = Le16(b + boot::kBytesPerSector), spc = b[boot::kSectorsPerCluster];
    const uint32_t reserved = Le16(b + boot::kReserved), nfats = b[boot::kFatCount];
    const uint32_t rootEntries = Le16(b + boot::kRootEntries), total16 = Le16(b + boot::kTotal16);
    const uint32_t fat16Size = Le16(b + boot::kFatSize16);
    const uint32_t total32 = Le32(b + boot::kTotal32), fat32Size = Le32(b + boot::kFatSize32);
    if (bps != kSectorSize) return kErrNotFat;
    if (spc == 0 || spc > 128 || Log2(spc) < 0) return kErrNotFat;
    if (reserved < 1 || nfats < 1) return kErrNotFat;
    if (fat16Size == 0 && fat32Size != 0 && rootEntries == 0 && total16 == 0) {
        v.type = kTypeFat32;
        v.fatSize = fat32Size;
    } else if (fat16Size != 0 && rootEntries != 0) {
        v.type = kTypeFat16;
        v.fatSize = fat16Size;
    } else {
        return kErrNotFat;
    }
    v.spc = spc;
    v.spcShift = static_cast<uint32_t>(Log2(spc));
    v.clusterBytes = spc * kSectorSize;
    v.reserved = reserved;
    v.nfats = nfats;
    v.rootEntries = rootEntries;
    v.totalSectors = total16 ? total16 : total32;
    if (v.totalSectors == 0 || v.totalSectors > part.count) return kErrNotFat;
    v.rootSectors = (rootEntries * 32 + kSectorSize - 1) / kSectorSize;
    const uint64_t meta = static_cast<uint64_t>(reserved) + static_cast<uint64_t>(nfats) * v.fatSize + v.rootSectors;
    if (meta >= v.totalSectors) return kErrNotFat;
    v.firstData = static_cast<uint32_t>(meta);
    v.rootFirst = reserved + nfats * v.fatSize;
    v.clusterCount = (v.totalSectors - v.firstData) >> v.spcShift;
    v.maxCluster = v.clusterCount + 1;
    const uint32_t width = v.type == kTypeFat16 ? 2 : 4;
    if (v.type == kTypeFat16 ? (v.clusterCount < kMinFat16Clusters || v.clusterCount > kMaxFat16Clusters)
                             : (v.clusterCount < kMinFat32Clusters || v.clusterCount > kMaxFat32Clusters))
        return kErrNotFat;
    if (static_cast<uint64_t>(v.fatSize) * kSectorSize / width < static_cast<uint64_t>(v.maxCluster) + 1)
        return kErrNotFat;
    if (v.type == kTypeFat32) {
        v.rootCluster = Le32(b + boot::kRootCluster);
        if (!v.ValidCluster(v.rootCluster)) return kErrNotFat;
        v.rootFirst = v.ClusterSector(v.rootCluster);
        v.fsinfoSector = Le16(b + boot::kFsInfo);
        if (v.fsinfoSector == 0xFFFF || v.fsinfoSector >= reserved) v.fsinfoSector = 0;
        if (v.fsinfoSector) {
            uint8_t info[kSectorSize];
            if (v.DevRead(v.fsinfoSector, 1, info)) return kErrDevice;
            if (std::memcmp(info + fsinfo::kLead, "RRaA", 4) || std::memcmp(info + fsinfo::kStruct, "rrAa", 4) ||
                info[fsinfo::kSignature] != 0x55 || info[fsinfo::kSignature + 1] != 0xAA)
                v.fsinfoSector = 0;  /* not kept up to date when it is not there */
        }
    }

    /* Scan the FAT into the bitmap. */
    v.bitmap.assign((v.maxCluster + 32) / 32, 0);
    v.freshBits.assign(v.bitmap.size(), 0);
    v.Mark(0);
    v.Mark(1);
    /* Links into free clusters or past the volume (a stop between FAT writes, another
     * system's damage) are noted: those chains end there. */
    uint32_t used = 0, firstFree = 0;
    const uint32_t entriesPerSector = kSectorSize / width;
    const uint32_t bad = width == 2 ? 0xFFF7 : 0x0FFFFFF7;
    std::vector<uint32_t> linked(v.bitmap.size(), 0);
    std::vector<uint8_t> chunk(256 * kSectorSize);
    const auto scan = [&](auto visit) -> int {
        for (uint32_t s = 0; s * entriesPerSector <= v.maxCluster; s += 256) {
            const uint32_t n = std::min<uint32_t>(256, v.fatSize - s);
            if (v.DevRead(reserved + s, n, chunk.data())) return kErrDevice;
            for (uint32_t i = 0; i < n * entriesPerSector; ++i) {
                const uint32_t c = s * entriesPerSector + i;
                if (c < 2) continue;
                if (c > v.maxCluster) break;
                visit(c, width == 2 ? Le16(&chunk[i * 2]) : Le32(&chunk[i * 4]) & 0x0FFFFFFF);
            }
        }
        return 0;
    };
    int rc = scan([&](uint32_t c, uint32_t val) {
        if (val) {
            v.Mark(c);
            ++used;
            if (v.ValidCluster(val))
                linked[val >> 5] |= 1u << (val & 31);
            else if (val < bad)
                v.cutLinks.insert(c);
        } else if (!firstFree) {
            firstFree = c;
        }
    });
    if (rc) return rc;
    bool intoFree = false;
    for (size_t w = 0; w < linked.size(); ++w) {
        linked[w] &= ~v.bitmap[w];
        intoFree = intoFree || linked[w];
    }
    if (intoFree && (rc = scan([&](uint32_t c, uint32_t val) {
            if (val && v.ValidCluster(val) && (linked[val >> 5] & (1u << (val & 31)))) v.cutLinks.insert(c);
        })))
        return rc;
    v.freeCount = v.clusterCount - used;
    v.hint = firstFree ? firstFree : 2;
    v.mounted = true;
    return 0;
}

int FatFs::Unmount(int vol) {
    Volume* v = Vol(vol);
    if (!v) return -1;
    int rc = CloseAll(vol);
    int sync = v->Flush();
    for (auto& d : dirs_)
        if (d->used && d->vol == vol) *d = DirObject();
    v->mounted = false;
    v->DropCache();
    v->bitmap.clear();
    v->bitmap.shrink_to_fit();
    v->freshBits.clear();
    v->freshBits.shrink_to_fit();
    if (rc) return rc;
    return sync ? Fail(sync) : 0;
}

int FatFs::Remount(int vol) {
    Volume* v = Vol(vol);
    if (!v) return -1;
    v->Flush();
    v->DropCache();
    Partition part = v->part;
    /* Open files and folder streams stay; their chains are read again when next used. */
    int rc = MountInternal(vol, part);
    if (rc) {
        v->mounted = false;
        for (auto& f : files_)
            if (f->used && f->node->vol == vol) *f = OpenFile();
        for (auto& d : dirs_)
            if (d->used && d->vol == vol) *d = DirObject();
        nodes_.remove_if([vol](const std::unique_ptr<Node>& n) { return n->vol == vol; });
        return Fail(rc);
    }
    for (auto& n : nodes_)
        if (n->vol == vol) n->chainLoaded = false;
    for (auto& d : dirs_)
        if (d->used && d->vol == vol) d->cursor = DirCursor();
    return 0;
}

int FatFs::Info(int vol, VolumeInfo* out) {
    Volume* v = Vol(vol);
    if (!v) return -1;
    out->bytesPerCluster = v->clusterBytes;
    out->clusterCount = v->clusterCount;
    out->freeClusters = v->freeCount;
    out->bits = v->type == kTypeFat16 ? 16 : 32;
    return 0;
}

int FatFs::Sync(int vol) {
    Volume* v = Vol(vol);
    if (!v) return -1;
    int rc = v->Flush();
    return rc ? Fail(rc) : 0;
}

/* ---- names and folders ---- */

int FatFs::Stat(int vol, const u16string& path, uint8_t entry[32]) {
    Volume* v = Vol(vol);
    if (!v) return -1;
    std::vector<u16string> comps;
    uint32_t dir = 0;
    if (int rc = Locate(*v, path, NameKind::Either, &comps, &dir)) return Fail(rc);
    std::memset(entry, 0, 32);
    if (comps.empty()) {
        entry[11] = kAttrDir;
        return 0;
    }
    Found f;
    if (int rc = Lookup(*v, dir, comps.back(), &f)) return Fail(rc);
    std::memcpy(entry, f.entry, 32);
    return 0;
}

int FatFs::Access(int vol, const u16string& path) {
    uint8_t e[32];
    return Stat(vol, path, e);
}

int FatFs::Mkdir(int vol, const u16string& path) {
    Volume* v = Vol(vol);
    if (!v) return -1;
    std::vector<u16string> comps;
    uint32_t parent = 0;
    if (int rc = Locate(*v, path, NameKind::Directory, &comps, &parent)) return Fail(rc);
    if (comps.empty()) return Fail(kErrExists);
    Found f;
    int rc = Lookup(*v, parent, comps.back(), &f);
    if (rc == 0) return Fail(kErrExists);
    if (rc != kErrNotFound) return Fail(rc);

    std::vector<uint32_t> c;
    if ((rc = v->Alloc(1, &c))) return Fail(rc);
    uint8_t tmpl[32] = {};
    tmpl[11] = kAttrDir | kAttrArchive;
    SetEntryCluster(tmpl, c[0]);
    Stamp(clock_, tmpl, true);
    /* The folder's cluster is complete on the device before anything points at it. */
    std::vector<uint8_t> first(v->clusterBytes, 0);
    std::memcpy(first.data(), ".          ", 11);
    std::memcpy(first.data() + 32, "..         ", 11);
    for (int k = 0; k < 2; ++k) {
        uint8_t* e = first.data() + 32 * k;
        e[11] = kAttrDir;
        std::memcpy(e + 13, tmpl + 13, 13);
        SetEntryCluster(e, k == 0 ? c[0] : (parent == v->RootDir() ? 0 : parent));
    }
    if ((rc = v->DevWrite(v->ClusterSector(c[0]), v->spc, first.data())) ||
        (rc = v->Link(0, c.data(), 1))) {
        v->Unalloc(c.data(), 1);
        return Fail(rc);
    }
    if ((rc = CreateEntry(*v, parent, comps.back(), tmpl, &f))) {
        std::vector<uint32_t> chain(c);
        v->FreeFrom(chain, 0);
        return Fail(rc);
    }
    rc = v->Flush();
    return rc ? Fail(rc) : 0;
}

namespace {
/* Removes a file's or folder's entries, then frees its clusters. The entry reaches the device
 * first: a stop in between leaves lost clusters, never a name on freed ones. A chain that runs
 * into a bad value is freed up to it, one that loops up to where it comes back. */
int RemoveEntryAndChain(Volume& v, uint32_t parent, const Found& f) {
    std::vector<uint32_t> chain;
    /* a FAT sector the device refuses ends the walk: what was walked is freed, the rest is lost */
    v.ChainToFree(EntryCluster(f.entry), &chain);
    if (int rc = RemoveEntries(v, parent, f.firstIdx, f.shortIdx); rc || (rc = v.Flush())) return rc;
    const int freed = v.FreeFrom(chain, 0);
    const int flushed = v.Flush();
    return freed ? freed : flushed;
}

bool NodeAt(const std::list<std::unique_ptr<FatFs::Node>>& nodes, int vol, uint32_t dirClus, uint32_t shortIdx) {
    for (auto& n : nodes)
        if (n->vol == vol && n->dirClus == dirClus && n->shortIdx == shortIdx) return true;
    return false;
}
}  // namespace

int FatFs::Rmdir(int vol, const u16string& path) {
    Volume* v = Vol(vol);
    if (!v) return -1;
    std::vector<u16string> comps;
    uint32_t parent = 0;
    if (int rc = Locate(*v, path, NameKind::Directory, &comps, &parent)) return Fail(rc);
    if (comps.empty()) return Fail(kErrInvalid);  /* the root stays */
    Found f;
    if (int rc = Lookup(*v, parent, comps.back(), &f)) return Fail(rc);
    if (!(f.entry[11] & kAttrDir)) return Fail(kErrNotDirectory);
    const uint32_t c = EntryCluster(f.entry);
    for (auto& d : dirs_)
        if (d->used && d->vol == vol && d->dirClus == c) return Fail(kErrBusy);
    bool empty = true;
    if (v->ValidCluster(c)) {
        int rc = ScanDir(*v, c, 0, [&](const Found& e) {
            if (IsDotEntry(e.entry)) return false;
            empty = false;
            return true;
        });
        if (rc) return Fail(rc);
    }
    if (!empty) return Fail(kErrNotEmpty);
    if (int rc = RemoveEntryAndChain(*v, parent, f)) return Fail(rc);
    return 0;
}

int FatFs::Unlink(int vol, const u16string& path) {
    Volume* v = Vol(vol);
    if (!v) return -1;
    std::vector<u16string> comps;
    uint32_t parent = 0;
    if (int rc = Locate(*v, path, NameKind::File, &comps, &parent)) return Fail(rc);
    if (comps.empty()) return Fail(kErrIsDirectory);
    Found f;
    if (int rc = Lookup(*v, parent, comps.back(), &f)) return Fail(rc);
    if (f.entry[11] & kAttrDir) return Fail(kErrIsDirectory);
    if (NodeAt(nodes_, vol, parent, f.shortIdx)) return Fail(kErrBusy);
    if (int rc = RemoveEntryAndChain(*v, parent, f)) return Fail(rc);
    return 0;
}

int FatFs::Rename(int vol, const u16string& from, const u16string& to) {
    Volume* v = Vol(vol);
    if (!v) return -1;
    std::vector<u16string> src, dst;
    if (int rc = SplitPath(from, NameKind::Either, &src)) return Fail(rc);
    if (int rc = SplitPath(to, NameKind::Either, &dst)) return Fail(rc);
    if (src.empty() || dst.empty()) return Fail(kErrInvalid);  /* a root is never renamed */
    uint32_t srcDir = 0, dstDir = 0;
    if (int rc = WalkDirs(*v, src, src.size() - 1, &srcDir)) return Fail(rc);
    Found f;
    if (int rc = Lookup(*v, srcDir, src.back(), &f)) return Fail(rc);
    const bool isDir = f.entry[11] & kAttrDir;
    if (!isDir && NodeAt(nodes_, vol, srcDir, f.shortIdx)) return Fail(kErrBusy);
    if (isDir && dst.back().size() > kMaxDirNameUnits) return Fail(kErrTooLong);
    std::vector<uint32_t> visited;
    if (int rc = WalkDirs(*v, dst, dst.size() - 1, &dstDir, &visited)) return Fail(rc);
    const uint32_t moved = EntryCluster(f.entry);
    if (isDir && std::find(visited.begin(), visited.end(), moved) != visited.end())
        return Fail(kErrInvalid);  /* into its own subtree */
    Found existing;
    int rc = Lookup(*v, dstDir, dst.back(), &existing);
    if (rc == 0) {
        const bool same = existing.dirClus == srcDir && existing.shortIdx == f.shortIdx;
        if (!same) return Fail(kErrExists);
        const u16string old = f.Name();
        if (old == dst.back()) return 0;
    } else if (rc != kErrNotFound) {
        return Fail(rc);
    }
    uint8_t tmpl[32];
    std::memcpy(tmpl, f.entry, 32);
    /* The new name reaches the device before the old one goes: a stop in between leaves the
     * file or folder under both names, never under neither. */
    Found created;
    if ((rc = CreateEntry(*v, dstDir, dst.back(), tmpl, &created))) return Fail(rc);
    const auto setParent = [&](uint32_t parent) {
        if (!isDir || dstDir == srcDir || !v->ValidCluster(moved)) return;
        DirCursor cur;
        uint32_t sector = 0;
        int erc = 0;
        uint8_t* e = DirEntry(*v, moved, 1, cur, &sector, &erc);
        if (e && std::memcmp(e, "..         ", 11) == 0) {
            SetEntryCluster(e, parent == v->RootDir() ? 0 : parent);
            v->Dirty(sector, true);
        }
    };
    setParent(dstDir);
    if ((rc = v->Flush())) {
        /* the old name stays the one name: the new entries go again */
        setParent(srcDir);
        RemoveEntries(*v, dstDir, created.firstIdx, created.shortIdx);
        return Fail(rc);
    }
    /* Creating may have grown the source folder; the old entries are where they were. */
    if ((rc = RemoveEntries(*v, srcDir, f.firstIdx, f.shortIdx))) return Fail(rc);
    rc = v->Flush();
    return rc ? Fail(rc) : 0;
}

/* ---- folder streams ---- */

int FatFs::OpenDir(int vol, const u16string& path) {
    Volume* v = Vol(vol);
    if (!v) return -1;
    std::vector<u16string> comps;
    uint32_t parent = 0;
    if (int rc = Locate(*v, path, NameKind::Directory, &comps, &parent)) return Fail(rc);
    uint32_t dir = v->RootDir();
    if (!comps.empty()) {
        Found f;
        if (int rc = Lookup(*v, parent, comps.back(), &f)) return Fail(rc);
        if (!(f.entry[11] & kAttrDir)) return Fail(kErrNotDirectory);
        dir = EntryCluster(f.entry);
        if (!v->ValidCluster(dir)) return Fail(kErrShortChain);
    }
    for (int i = 0; i < kMaxDirObjects; ++i) {
        DirObject& d = *dirs_[i];
        if (!d.used) {
            d = DirObject{true, vol, dir, 0, DirCursor()};
            return i;
        }
    }
    return Fail(kErrNoDirObject);
}

int FatFs::ReadDir(int idx, DirItem* item) {
    if (idx < 0 || idx >= kMaxDirObjects || !dirs_[idx]->used) return Fail(kErrBadHandle);
    DirObject& d = *dirs_[idx];
    Volume* v = Vol(d.vol);
    if (!v) return -1;
    bool got = false;
    int rc = ScanDir(
        *v, d.dirClus, d.next,
        [&](const Found& f) {
            item->name = f.Name();
            std::memcpy(item->entry, f.entry, 32);
            d.next = f.shortIdx + 1;
            got = true;
            return true;
        },
        &d.cursor);
    if (rc) return Fail(rc);
    if (!got) return Fail(kErrEndOfDir);
    return 0;
}

int FatFs::RewindDir(int idx) {
    if (idx < 0 || idx >= kMaxDirObjects || !dirs_[idx]->used) return Fail(kErrInvalid);
    dirs_[idx]->next = 0;
    return 0;
}

int FatFs::CloseDir(int idx) {
    if (idx < 0 || idx >= kMaxDirObjects || !dirs_[idx]->used) return Fail(kErrInvalid);
    *dirs_[idx] = DirObject();
    return 0;
}

/* ---- files ---- */

namespace {

int EnsureChain(Volume& v, FatFs::Node& n) {
    if (n.chainLoaded) return 0;
    if (int rc = v.LoadChain(n.First(), &n.chain)) return rc;
    n.chainLoaded = true;
    return 0;
}

/* Moves len bytes at file position pos, one device request per run of consecutive clusters. */
int TransferFile(Volume& v, const std::vector<uint32_t>& chain, uint64_t pos, uint64_t len, uint8_t* buf, bool write) {
    const uint64_t cb = v.clusterBytes;
    for (uint64_t done = 0; done < len;) {
        const uint64_t p = pos + done;
        const size_t ci = static_cast<size_t>(p / cb);
        if (ci >= chain.size()) return kErrShortChain;
        const uint64_t inCluster = p % cb;
        uint64_t span = cb - inCluster;
        for (size_t cj = ci; span < len - done && cj + 1 < chain.size() && chain[cj + 1] == chain[cj] + 1; ++cj)
            span += cb;
        const uint64_t chunk = std::min(span, len - done);
        if (int rc = v.Transfer(v.ClusterByte(chain[ci]) + inCluster, chunk, buf + done, write)) return rc;
        done += chunk;
    }
    return 0;
}

uint64_t ClustersFor(uint64_t bytes, uint32_t clusterBytes) { return (bytes + clusterBytes - 1) / clusterBytes; }

/* Writes n bytes at pos into the file's clusters, taking new ones as needed. Returns the bytes
 * written (fewer when the volume fills) or a negative code. */
int64_t WriteAt(Volume& v, FatFs::Node& n, ClockFn clock, uint64_t pos, const uint8_t* src, uint64_t len) {
    if (int rc = EnsureChain(v, n)) return rc;
    struct Writer {
        Volume& v;
        Writer(Volume& vol, uint64_t id) : v(vol) { v.writer = id; }
        ~Writer() { v.writer = 0; }
    } writer(v, n.id);
    const uint64_t cb = v.clusterBytes;
    const size_t had = n.chain.size();
    uint64_t need = ClustersFor(pos + len, v.clusterBytes);
    /* A chain that ends before the file does (the mount cut it, or the entry lost its first
     * cluster) is never grown: new clusters would stand for bytes that lie elsewhere. */
    if (need > had && had < ClustersFor(n.Size(), v.clusterBytes)) return kErrShortChain;
    if (need > had) {
        uint64_t extra = need - had;
        if (extra > v.freeCount) {
            extra = v.freeCount;
            const uint64_t cap = (had + extra) * cb;
            if (cap <= pos) return kErrNoSpace;
            len = cap - pos;
        }
        if (extra) {
            std::vector<uint32_t> fresh;
            if (int rc = v.Alloc(static_cast<uint32_t>(extra), &fresh)) return rc;
            if (int rc = v.Link(had ? n.chain.back() : 0, fresh.data(), fresh.size())) {
                v.Unalloc(fresh.data(), fresh.size());
                return rc;
            }
            if (!had) SetEntryCluster(n.entry, fresh[0]);
            n.chain.insert(n.chain.end(), fresh.begin(), fresh.end());
        }
    }
    if (int rc = TransferFile(v, n.chain, pos, len, const_cast<uint8_t*>(src), true)) {
        if (n.chain.size() > had) {
            /* give back what this write took; the file keeps its old chain */
            std::vector<uint32_t> chain(n.chain);
            v.FreeFrom(chain, had);
            n.chain.resize(had);
            if (!had) SetEntryCluster(n.entry, 0);
        }
        return rc;
    }
    if (pos + len > n.Size()) Put32(n.entry + 28, static_cast<uint32_t>(pos + len));
    n.entry[11] |= kAttrArchive;
    Stamp(clock, n.entry, false);
    if (int rc = StoreEntry(v, n.dirClus, n.shortIdx, n.entry)) return rc;
    return static_cast<int64_t>(len);
}

/* Cuts or extends a file to `size`; an extension reads as zeros. */
int SetNodeSize(Volume& v, FatFs::Node& n, ClockFn clock, uint64_t size) {
    if (size > 0xFFFFFFFFull) return kErrNoSpace;
    if (int rc = EnsureChain(v, n)) return rc;
    const uint64_t old = n.Size();
    if (size > old) {
        static const std::vector<uint8_t> zeros(1 << 16, 0);
        for (uint64_t p = old; p < size;) {
            const uint64_t chunk = std::min<uint64_t>(zeros.size(), size - p);
            int64_t w = WriteAt(v, n, clock, p, zeros.data(), chunk);
            if (w < 0) return static_cast<int>(w);
            if (static_cast<uint64_t>(w) < chunk) return kErrNoSpace;
            p += chunk;
        }
        return 0;
    }
    /* The entry with its new size reaches the device before a cluster is freed or erased: a
     * stop in between leaves lost clusters, never the old size over erased clusters. */
    const size_t keep = static_cast<size_t>(ClustersFor(size, v.clusterBytes));
    if (keep > n.chain.size()) return kErrShortChain;  /* the new end lies past where the chain ends */
    Put32(n.entry + 28, static_cast<uint32_t>(size));
    if (keep == 0) SetEntryCluster(n.entry, 0);
    Stamp(clock, n.entry, false);
    if (int rc = StoreEntry(v, n.dirClus, n.shortIdx, n.entry)) return rc;
    if (keep < n.chain.size()) {
        std::vector<uint32_t> chain(n.chain);
        n.chain.resize(keep);
        /* when the entry cannot be written the tail stays allocated: lost, never shared */
        if (int rc = v.Flush()) return rc;
        if (int rc = v.FreeFrom(chain, keep)) return rc;
        if (int rc = v.Flush()) return rc;
    }
    return 0;
}

}  // namespace

int FatFs::VolumeOfFile(int idx) const {
    if (idx < 0 || idx >= kMaxOpenFiles || !files_[idx]->used) return -1;
    return files_[idx]->node->vol;
}

int FatFs::Open(int vol, const u16string& path, int flags) {
    Volume* v = Vol(vol);
    if (!v) return -1;
    std::vector<u16string> comps;
    uint32_t parent = 0;
    if (int rc = Locate(*v, path, NameKind::File, &comps, &parent)) return Fail(rc);
    if (comps.empty()) return Fail(kErrIsDirectory);
    int slot = -1;
    for (int i = 0; i < kMaxOpenFiles && slot < 0; ++i)
        if (!files_[i]->used) slot = i;
    if (slot < 0) return Fail(kErrNoContext);
    Found f;
    int rc = Lookup(*v, parent, comps.back(), &f);
    if (rc == 0) {
        if (f.entry[11] & kAttrDir) return Fail(kErrIsDirectory);
        if ((flags & kOpenCreate) && (flags & kOpenExclusive)) return Fail(kErrExists);
    } else if (rc == kErrNotFound && (flags & kOpenCreate)) {
        uint8_t tmpl[32] = {};
        tmpl[11] = kAttrArchive;
        Stamp(clock_, tmpl, true);
        if ((rc = CreateEntry(*v, parent, comps.back(), tmpl, &f))) return Fail(rc);
    } else {
        return Fail(rc);
    }
    Node* node = nullptr;
    for (auto& n : nodes_)
        if (n->vol == vol && n->dirClus == parent && n->shortIdx == f.shortIdx) node = n.get();
    if (!node) {
        nodes_.push_back(std::make_unique<Node>());
        node = nodes_.back().get();
        node->id = ++nodeIds_;
        node->vol = vol;
        node->dirClus = parent;
        node->firstIdx = f.firstIdx;
        node->shortIdx = f.shortIdx;
        std::memcpy(node->entry, f.entry, 32);
    }
    if ((flags & kOpenTruncate) && (node->Size() || node->First())) {
        if ((rc = SetNodeSize(*v, *node, clock_, 0))) {
            if (node->refs == 0) nodes_.remove_if([node](const std::unique_ptr<Node>& n) { return n.get() == node; });
            return Fail(rc);
        }
    }
    ++node->refs;
    OpenFile& of = *files_[slot];
    of = OpenFile{true, flags, 0, node};
    return slot;
}

namespace {
bool Usable(const std::vector<std::unique_ptr<FatFs::OpenFile>>& files, int idx) {
    return idx >= 0 && idx < kMaxOpenFiles && files[idx]->used;
}
}  // namespace

int64_t FatFs::Read(int idx, void* buffer, uint32_t bytes) {
    if (!Usable(files_, idx)) return Fail(kErrBadHandle);
    OpenFile& of = *files_[idx];
    Node& n = *of.node;
    Volume* v = Vol(n.vol);
    if (!v) return -1;
    if ((of.flags & kOpenAccessMask) == kOpenWrite) return Fail(kErrFailed);
    if (int rc = EnsureChain(*v, n)) return Fail(rc);
    const uint64_t size = n.Size();
    if (of.pos >= size || bytes == 0) return 0;
    const uint64_t len = std::min<uint64_t>(bytes, size - of.pos);
    if (int rc = TransferFile(*v, n.chain, of.pos, len, static_cast<uint8_t*>(buffer), false)) return Fail(rc);
    of.pos += len;
    return static_cast<int64_t>(len);
}

int64_t FatFs::Write(int idx, const void* buffer, uint32_t bytes) {
    if (!Usable(files_, idx)) return Fail(kErrBadHandle);
    OpenFile& of = *files_[idx];
    Node& n = *of.node;
    Volume* v = Vol(n.vol);
    if (!v) return -1;
    if ((of.flags & kOpenAccessMask) == kOpenRead) return Fail(kErrFailed);
    if (bytes == 0) return 0;
    if (of.flags & kOpenAppend) of.pos = n.Size();
    uint64_t len = bytes;
    if (of.pos >= 0xFFFFFFFFull) return Fail(kErrNoSpace);
    len = std::min<uint64_t>(len, 0xFFFFFFFFull - of.pos);
    /* A write that finds no room at its position on a full volume writes nothing: 0 bytes. */
    if (of.pos > n.Size()) {
        /* the gap reads as zeros, never as what the clusters held before */
        if (int rc = SetNodeSize(*v, n, clock_, of.pos)) {
            Fail(rc);
            return rc == kErrNoSpace ? 0 : -1;
        }
    }
    int64_t w = WriteAt(*v, n, clock_, of.pos, static_cast<const uint8_t*>(buffer), len);
    if (w == kErrNoSpace) {
        Fail(kErrNoSpace);
        return 0;
    }
    if (w < 0) return Fail(static_cast<int>(w));
    of.pos += static_cast<uint64_t>(w);
    return w;
}

int FatFs::Seek(int idx, int64_t offset, int origin) {
    if (!Usable(files_, idx)) return Fail(kErrBadHandle);
    OpenFile& of = *files_[idx];
    int64_t base;
    switch (origin) {
    case 0: base = 0; break;
    case 1: base = static_cast<int64_t>(of.pos); break;
    case 2: base = of.node->Size(); break;
    default: return Fail(kErrInvalid);
    }
    int64_t p = base + offset;
    if (p < 0) p = 0;
    if (p > 0xFFFFFFFFll) return Fail(kErrInvalid);
    of.pos = static_cast<uint64_t>(p);
    return 0;
}

int64_t FatFs::Tell(int idx) {
    if (!Usable(files_, idx)) return Fail(kErrBadHandle);
    return static_cast<int64_t>(files_[idx]->pos);
}

/* Writes what the volume holds; a failed write of the file's held bytes during another call
 * is reported here too, once, even when the bytes reached the device since. */
int FatFs::FlushFile(int idx) {
    Node& n = *files_[idx]->node;
    Volume& v = *volumes_[n.vol];
    if (!v.mounted) return 0;
    const int rc = v.Flush();
    const bool lost = v.lostWrites.erase(n.id) != 0;
    if (rc) return rc;
    return lost ? kErrDevice : 0;
}

int FatFs::Flush(int idx) {
    if (!Usable(files_, idx)) return Fail(kErrBadHandle);
    if (!Vol(files_[idx]->node->vol)) return -1;
    const int rc = FlushFile(idx);
    return rc ? Fail(rc) : 0;
}

void FatFs::Release(int idx) {
    OpenFile& of = *files_[idx];
    Node* node = of.node;
    of = OpenFile();
    if (--node->refs == 0) nodes_.remove_if([node](const std::unique_ptr<Node>& n) { return n.get() == node; });
}

/* A close whose writes fail keeps the file open: the caller may close again once the device
 * takes writes, and nothing it was told was written is dropped meanwhile. */
int FatFs::Close(int idx) {
    if (!Usable(files_, idx)) return Fail(kErrBadHandle);
    if (int rc = FlushFile(idx)) return Fail(rc);
    Release(idx);
    return 0;
}

int FatFs::CloseAll(int vol) {
    if (!initialised_) return Fail(kErrNotInitialised);
    if (vol < 0 || vol >= kMaxVolumes) return Fail(kErrInvalid);
    Volume& v = *volumes_[vol];
    int rc = v.mounted ? v.Flush() : 0;
    for (int i = 0; i < kMaxOpenFiles; ++i)
        if (files_[i]->used && files_[i]->node->vol == vol) {
            if (v.lostWrites.erase(files_[i]->node->id) && !rc) rc = kErrDevice;
            Release(i);
        }
    return rc ? Fail(rc) : 0;
}

int FatFs::SetSize(int idx, uint64_t size) {
    if (!Usable(files_, idx)) return Fail(kErrBadHandle);
    OpenFile& of = *files_[idx];
    if ((of.flags & kOpenAccessMask) == kOpenRead) return Fail(kErrFailed);
    Volume* v = Vol(of.node->vol);
    if (!v) return -1;
    int rc = SetNodeSize(*v, *of.node, clock_, size);
    return rc ? Fail(rc) : 0;
}

}  // namespace lxfat
