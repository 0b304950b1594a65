#include "fake_device.h"

#include <algorithm>
#include <cstring>

#include "device_api.h"

namespace {

FakeDevice* g_dev = nullptr;

struct Handle {
    std::string path;
    size_t pos;
};
std::map<int, Handle> g_handles;
int g_nextHandle = 100;

struct DirStream {
    GFSL_DIR dir;
    struct Entry { std::string first; bool second; uint32_t size; };
    std::vector<Entry> entries;
    size_t next;
};

std::string Parent(const std::string& p) {
    size_t cut = p.find_last_of('/');
    return cut == 0 ? p.substr(0, 2) : p.substr(0, cut);
}

bool IsFolder(const std::string& p) { return g_dev->folders.count(p) != 0; }

int Open(const char* path, const char* mode) {
    std::string p = FakeDevice::Norm(path);
    std::string m = mode;
    if (IsFolder(p) || !IsFolder(Parent(p))) return -1;
    if (m == "r" && !g_dev->files.count(p)) return -1;
    if (m == "w" || m == "rw") g_dev->files[p].clear();
    g_handles[g_nextHandle] = {p, 0};
    ++g_dev->openHandles;
    return g_nextHandle++;
}
int Close(int h) {
    if (!g_handles.erase(h)) return -1;
    --g_dev->openHandles;
    return 0;
}
uint32_t Read(void* buf, uint32_t size, uint32_t count, int h) {
    auto it = g_handles.find(h);
    if (it == g_handles.end() || g_dev->failReads.count(it->second.path)) return 0xFFFFFFFFu;
    std::vector<char>& data = g_dev->files[it->second.path];
    size_t want = static_cast<size_t>(size) * count, avail = data.size() - std::min(data.size(), it->second.pos);
    size_t items = size ? std::min(want, avail) / size : 0;
    std::memcpy(buf, data.data() + it->second.pos, items * size);
    it->second.pos += items * size;
    return static_cast<uint32_t>(items);
}
uint32_t Write(const void* buf, uint32_t size, uint32_t count, int h) {
    auto it = g_handles.find(h);
    if (it == g_handles.end()) return 0xFFFFFFFFu;
    size_t bytes = static_cast<size_t>(size) * count;
    if (bytes > g_dev->writeBudget) bytes = g_dev->writeBudget;
    g_dev->writeBudget -= bytes;
    std::vector<char>& data = g_dev->files[it->second.path];
    if (data.size() < it->second.pos + bytes) data.resize(it->second.pos + bytes);
    if (bytes) std::memcpy(data.data() + it->second.pos, buf, bytes);
    it->second.pos += bytes;
    return size ? static_cast<uint32_t>(bytes / size) : 0;
}
int CloseAll() {
    g_dev->openHandles -= static_cast<int>(g_handles.size());
    g_handles.clear();
    return 0;
}
GFSL_DIR* OpenDir(const char* path) {
    std::string p = FakeDevice::Norm(path);
    if (!IsFolder(p)) return nullptr;
    auto* s = new DirStream();
    if (p.size() > 2) {
        s->entries.push_back({".", true, 0});
        s->entries.push_back({"..", true, 0});
    }
    for (const auto& f : g_dev->folders)
        if (f != p && Parent(f) == p) s->entries.push_back({f.substr(p.size() + 1), true, 0});
    for (const auto& f : g_dev->files)
        if (Parent(f.first) == p) s->entries.push_back({f.first.substr(p.size() + 1), false, static_cast<uint32_t>(f.second.size())});
    s->next = 0;
    s->dir.tag = 0x3E000000;
    return &s->dir;
}
int ReadDirR(GFSL_DIR* d, char* name, char** result) {
    DirStream* s = reinterpret_cast<DirStream*>(d);
    if (s->next >= s->entries.size()) return -1;
    const auto& e = s->entries[s->next++];
    std::strncpy(s->dir.name, e.first.c_str(), sizeof(s->dir.name) - 1);
    std::strcpy(name, s->dir.name);
    s->dir.entry.attr = e.second ? GFSL_ATTR_DIRECTORY : 0x20;
    s->dir.entry.fileSize = e.size;
    *result = name;
    return 0;
}
int CloseDir(GFSL_DIR* d) {
    delete reinterpret_cast<DirStream*>(d);
    return 0;
}
int Mkdir(const char* path, int) {
    std::string p = FakeDevice::Norm(path);
    if (IsFolder(p) || g_dev->files.count(p) || !IsFolder(Parent(p))) return -1;
    g_dev->folders.insert(p);
    return 0;
}
int Rmdir(const char* path) {
    std::string p = FakeDevice::Norm(path);
    if (!IsFolder(p) || p.size() <= 2) return -1;
    for (const auto& f : g_dev->folders)
        if (f != p && Parent(f) == p) return -1;
    for (const auto& f : g_dev->files)
        if (Parent(f.first) == p) return -1;
    g_dev->folders.erase(p);
    return 0;
}
int Unlink(const char* path) {
    if (g_dev->failUnlinks.count(FakeDevice::Norm(path))) return -1;
    return g_dev->files.erase(FakeDevice::Norm(path)) ? 0 : -1;
}
int Stat(const char* path, GFSL_STAT* st) {
    std::string p = FakeDevice::Norm(path);
    if (IsFolder(p)) {
        st->attr = GFSL_ATTR_DIRECTORY;
        return 0;
    }
    auto it = g_dev->files.find(p);
    if (it == g_dev->files.end()) return -1;
    st->attr = 0x20;
    st->fileSize = static_cast<uint32_t>(it->second.size());
    return 0;
}
int Mount(int v) {
    g_dev->calls.push_back("mount " + std::to_string(v));
    return 0;
}
int Format(const char* path, const char* fs, const char* name, int reserved) {
    g_dev->calls.push_back(std::string("format ") + path + " " + fs + " " + name + " " + std::to_string(reserved));
    return 0;
}
int Truncate(const char* path, gfsl_long length) {
    auto it = g_dev->files.find(FakeDevice::Norm(path));
    if (it == g_dev->files.end() || length < 0) return -1;
    it->second.resize(static_cast<size_t>(length));
    return 0;
}
#define LX_FAKE_CB(n)                                                                                         \
    int Cb##n(int a, int b, int c, int d) {                                                                    \
        g_dev->calls.push_back("cb" #n " " + std::to_string(a) + " " + std::to_string(b) + " " +             \
                               std::to_string(c) + " " + std::to_string(d));                                  \
        return 0;                                                                                              \
    }
LX_FAKE_CB(1) LX_FAKE_CB(2) LX_FAKE_CB(3) LX_FAKE_CB(4) LX_FAKE_CB(5) LX_FAKE_CB(6) LX_FAKE_CB(7) LX_FAKE_CB(8)

}  // namespace

std::string FakeDevice::Norm(const std::string& in) {
    std::string out;
    for (char c : in) {
        if (c == '\\') c = '/';
        if (c == '/' && !out.empty() && out.back() == '/') continue;
        out += c;
    }
    while (out.size() > 2 && out.back() == '/') out.pop_back();
    if (out.size() == 3 && out.back() == '/') out.pop_back();
    return out;
}

FakeDevice& FakeDevice::Install() {
    delete g_dev;
    g_dev = new FakeDevice();
    g_dev->folders.insert("/a");
    g_handles.clear();
    DeviceApiTable.gfslfopen = Open;
    DeviceApiTable.gfslfclose = Close;
    DeviceApiTable.gfslfread = Read;
    DeviceApiTable.gfslfwrite = Write;
    DeviceApiTable.gfslfcloseall = CloseAll;
    DeviceApiTable.gfslopendir = OpenDir;
    DeviceApiTable.gfslreaddir_r = ReadDirR;
    DeviceApiTable.gfslclosedir = CloseDir;
    DeviceApiTable.gfslmkdir = Mkdir;
    DeviceApiTable.gfslrmdir = Rmdir;
    DeviceApiTable.gfslunlink = Unlink;
    DeviceApiTable.gfslstat = Stat;
    DeviceApiTable.gfslMount = Mount;
    DeviceApiTable.gfslFormat = Format;
    DeviceApiTable.gfsltruncate = Truncate;
    DeviceApiTable.gfslCustomCallback1 = Cb1;
    DeviceApiTable.gfslCustomCallback2 = Cb2;
    DeviceApiTable.gfslCustomCallback3 = Cb3;
    DeviceApiTable.gfslCustomCallback4 = Cb4;
    DeviceApiTable.gfslCustomCallback5 = Cb5;
    DeviceApiTable.gfslCustomCallback6 = Cb6;
    DeviceApiTable.gfslCustomCallback7 = Cb7;
    DeviceApiTable.gfslCustomCallback8 = Cb8;
    return *g_dev;
}

void FakeDevice::Uninstall() {
    lx::ResetDeviceApiCells();
    delete g_dev;
    g_dev = nullptr;
}
