// The bus trace: a ring of 50,000 records of six 32-bit words in the shared "TraceMap" memory,
// so that a second process (the main program's dump) can read what the module did on the bus.
// The ring index, the wrap flag and the sequence counter live here, not in the shared memory.
#pragma once
#include <cstdint>

#include "lumivex/trace_ops.h"

namespace rook {

#define LX_TRACE_OP_ENUMERATOR(code, name, text) kTrace##name = code,
enum TraceOp : uint32_t { LX_TRACE_OPS(LX_TRACE_OP_ENUMERATOR) };
#undef LX_TRACE_OP_ENUMERATOR

constexpr uint32_t kTraceRecords = 50000;

class TraceRing {
public:
    // The view of the shared memory, or null: without a view nothing is recorded.
    void Attach(uint8_t* view) { view_ = view; }
    uint8_t* View() const { return view_; }

    void Write(uint32_t op, uint32_t base, uint32_t offset, uint32_t address, uint32_t data);
    // A single read, compressed so that status polling does not flood the ring: a read that
    // repeats the one before at the same address only advances the sequence counter.
    void ReadIn(uint32_t base, uint32_t offset, uint32_t address);
    void ReadOut(uint32_t base, uint32_t offset, uint32_t address, uint32_t data);

    int32_t Index() const { return index_; }
    bool Wrapped() const { return wrapped_; }
    uint32_t Sequence() const { return sequence_; }
    // Record `i` as stored (for tests): op, address and data.
    uint32_t Field(uint32_t record, unsigned field) const;

private:
    bool Is(int32_t record, uint32_t op, uint32_t address) const;
    int32_t Previous() const;

    uint8_t* view_ = nullptr;
    int32_t index_ = -1;
    bool wrapped_ = false;
    uint32_t sequence_ = 0;
};

}  // namespace rook
