#include "inuse_win.h"

#include <windows.h>

#include "inuse_table.h"

namespace {

const char* const kMappingName = "Lumivex.TarnControl.InUseTable";
const char* const kMutexName = "Lumivex.TarnControl.InUseMutex";
constexpr DWORD kLockWaitMs = 5000;

struct Shared {
    HANDLE mapping = nullptr;
    HANDLE mutex = nullptr;
    tarn::InUseBlock* block = nullptr;
};

// Opened once and kept while the module is loaded, so the table lives as long as any process
// that loads the control.
Shared& Table() {
    static Shared s = [] {
        Shared t;
        t.mutex = CreateMutexA(nullptr, FALSE, kMutexName);
        t.mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(tarn::InUseBlock),
                                       kMappingName);
        if (t.mapping)
            t.block = static_cast<tarn::InUseBlock*>(MapViewOfFile(t.mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
        return t;
    }();
    return s;
}

bool Alive(uint32_t pid) {
    HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!h) return GetLastError() == ERROR_ACCESS_DENIED;
    bool running = WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
    CloseHandle(h);
    return running;
}

class Guard {
public:
    explicit Guard(HANDLE m) : m_(m) {
        DWORD w = m_ ? WaitForSingleObject(m_, kLockWaitMs) : WAIT_FAILED;
        held_ = w == WAIT_OBJECT_0 || w == WAIT_ABANDONED;
    }
    ~Guard() {
        if (held_) ReleaseMutex(m_);
    }
    bool Held() const { return held_; }

private:
    HANDLE m_;
    bool held_ = false;
};

}  // namespace

bool TarnClaimKit(const char* path) {
    Shared& t = Table();
    Guard g(t.mutex);
    if (!g.Held() || !t.block) return false;
    return tarn::InUseClaim(t.block, path, GetCurrentProcessId(), Alive) == tarn::Claim::Claimed;
}

void TarnReleaseKit(const char* path) {
    Shared& t = Table();
    Guard g(t.mutex);
    if (g.Held() && t.block) tarn::InUseRelease(t.block, path, GetCurrentProcessId());
}
