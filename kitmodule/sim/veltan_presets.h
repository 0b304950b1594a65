// Settings presets for the Veltan parts of the simulated kit (kitsim's VeltanPart), as the
// catalogue will describe them: tests and the benchmark open the same parts through these.
#pragma once
#include <string>

namespace rook {

// bus 8 or 16, spare 64 or 128 bytes per page; the FPGA load is off (nothing to load in a test).
inline std::string VeltanPreset(unsigned bus, unsigned spareBytes) {
    const bool wide = bus == 16, second = spareBytes == 128;
    const char* jedec = second ? (wide ? "0x1CA" : "0x1DA") : (wide ? "0x1C1" : "0x1F1");
    std::string s = "class=2;type=3;interleave=1;cs=1;socket=1;vcc=3000;forceFpga=0;nandBlockBytes=0x20000;"
                    "nandPagesPerBlock=64;nandIdKind=2;nandMarker=0";
    s += std::string(";bus=") + (wide ? "16" : "8") + ";jedec=" + jedec;
    s += std::string(";nandPage=") + (wide ? "1024" : "2048");
    s += ";nandSpare=" + std::to_string(wide ? spareBytes / 2 : spareBytes);
    s += std::string(";nandBlocks=") + (second ? "2048;nandRowCycle=1" : "1024;nandRowCycle=0");
    return s;
}

}  // namespace rook
