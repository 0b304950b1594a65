#include "trace.h"

#include <cstring>

namespace rook {

namespace {

void Put32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

uint32_t Get32(const uint8_t* p) { return p[0] | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24); }

}  // namespace

uint32_t TraceRing::Field(uint32_t record, unsigned field) const {
    if (!view_ || record >= kTraceRecords || field >= 6) return 0;
    return Get32(view_ + record * 24u + field * 4u);
}

void TraceRing::Write(uint32_t op, uint32_t base, uint32_t offset, uint32_t address, uint32_t data) {
    if (!view_) return;
    if (++index_ >= static_cast<int32_t>(kTraceRecords)) {
        index_ = 0;
        wrapped_ = true;
    }
    uint8_t* r = view_ + static_cast<uint32_t>(index_) * 24u;
    Put32(r, sequence_++);
    Put32(r + 4, op);
    Put32(r + 8, base);
    Put32(r + 12, offset);
    Put32(r + 16, address);
    Put32(r + 20, data);
}

int32_t TraceRing::Previous() const {
    if (index_ > 0) return index_ - 1;
    if (index_ == 0 && wrapped_) return static_cast<int32_t>(kTraceRecords) - 1;
    return -1;
}

bool TraceRing::Is(int32_t record, uint32_t op, uint32_t address) const {
    return record >= 0 && Field(static_cast<uint32_t>(record), 1) == op &&
           Field(static_cast<uint32_t>(record), 4) == address;
}

void TraceRing::ReadIn(uint32_t base, uint32_t offset, uint32_t address) {
    if (!view_) return;
    int32_t prev = Previous();
    if (Is(prev, kTraceReadIn, address) || (Is(prev, kTraceReadOut, address) && Is(index_, kTraceReadOut, address))) {
        ++sequence_;
        return;
    }
    Write(kTraceReadIn, base, offset, address, 0);
}

void TraceRing::ReadOut(uint32_t base, uint32_t offset, uint32_t address, uint32_t data) {
    if (!view_) return;
    if (Is(index_, kTraceReadOut, address) && Field(static_cast<uint32_t>(index_), 5) == data) {
        ++sequence_;
        return;
    }
    Write(kTraceReadOut, base, offset, address, data);
}

}  // namespace rook
