// Bytes that differ from their neighbours and from those of another seed, for data that must come
// back exactly as it went in.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

inline std::vector<uint8_t> Pattern(size_t n, uint32_t seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) {
        seed = seed * 1103515245u + 12345u;
        v[i] = static_cast<uint8_t>(seed >> 16);
    }
    return v;
}
