#include "profiler.h"

#include <cstdlib>
#include <mutex>

namespace {

FunctionProfilerEntry* g_profiler = nullptr;
/* The main program destroys and creates the profiler while other threads may be counting. */
std::mutex g_lock;

/* Entry 65 carries a name of its own: no entry point of that name exists, so it stays 0. */
#define LX_PROFILER_NAME(slot, name, ret, params, args, group, stub, k, v) "FP_" #name,
const char* const kNames[LX_DEVICE_API_SLOT_COUNT] = {LX_DEVICE_API_SLOTS(LX_PROFILER_NAME)};
#undef LX_PROFILER_NAME

bool InRange(int index) { return g_profiler && index >= 0 && index < LX_PROFILER_ENTRY_COUNT; }

}  // namespace

extern "C" {

void LxProfilerCount(int slot) {
    std::lock_guard<std::mutex> g(g_lock);
    if (InRange(slot)) {
        ++g_profiler[slot].count;
        ++g_profiler[slot].accumulated;
    }
}

FunctionProfilerEntry* fpCreateFunctionProfiler(void) {
    std::lock_guard<std::mutex> g(g_lock);
    std::free(g_profiler);
    g_profiler = static_cast<FunctionProfilerEntry*>(std::calloc(LX_PROFILER_ENTRY_COUNT, sizeof(FunctionProfilerEntry)));
    if (g_profiler)
        for (int i = 0; i < LX_PROFILER_ENTRY_COUNT; ++i) g_profiler[i].index = static_cast<uint32_t>(i);
    return g_profiler;
}

int fpDestroyFunctionProfiler(void) {
    std::lock_guard<std::mutex> g(g_lock);
    if (!g_profiler) return -1;
    std::free(g_profiler);
    g_profiler = nullptr;
    return 0;
}

int fpResetFunctionProfiler(void) {
    std::lock_guard<std::mutex> g(g_lock);
    if (!g_profiler) return -1;
    for (int i = 0; i < LX_PROFILER_ENTRY_COUNT; ++i) g_profiler[i].count = 0;
    return 0;
}

int fpGetNumberOfProfileFunctions(void) { return LX_PROFILER_ENTRY_COUNT; }

int fpSetFunctionProfiler(int index, uint64_t count, uint64_t accumulated) {
    std::lock_guard<std::mutex> g(g_lock);
    if (!InRange(index)) return -1;
    g_profiler[index].count = count;
    g_profiler[index].accumulated = accumulated;
    return 0;
}

int fpIncFunctionProfiler(int index) {
    std::lock_guard<std::mutex> g(g_lock);
    if (!InRange(index)) return -1;
    ++g_profiler[index].count;
    ++g_profiler[index].accumulated;
    return 0;
}

int fpDecFunctionProfiler(int index) {
    std::lock_guard<std::mutex> g(g_lock);
    if (!InRange(index)) return -1;
    --g_profiler[index].count;
    --g_profiler[index].accumulated;
    return 0;
}

const char* fpGetFunctionProfilerName(int index) {
    if (index == LX_PROFILER_ENTRY_COUNT - 1) return "FP_gfslSetLatestSectorInfo";
    return index >= 0 && index < LX_PROFILER_ENTRY_COUNT ? kNames[index] : nullptr;
}

uint64_t fpGetFunctionProfilerCount(int index) {
    std::lock_guard<std::mutex> g(g_lock);
    return InRange(index) ? g_profiler[index].count : ~0ull;
}

uint64_t fpGetFunctionProfilerAccumulated(int index) {
    std::lock_guard<std::mutex> g(g_lock);
    return InRange(index) ? g_profiler[index].accumulated : ~0ull;
}

}  // extern "C"
