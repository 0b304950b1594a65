// The firmware and logic loads behind the loading methods of CTarn. The loader library provides
// TarnCreateLoader; the control takes the images, closes its own connection, fires the Begin event
// after Open succeeded and the Finish event after Run, and leaves the kit disconnected.
#pragma once
#include <windows.h>

#include <cstdint>
#include <vector>

struct ITarnEventSource;

enum class TarnLoadKind { FPGAOnTheFly, FPGABurn, USBOnTheFly, USBBurn, CPLDBurn };

class TarnLoader {
public:
    virtual ~TarnLoader() = default;
    // Opens the kit of `productId` through the loader's own device object.
    virtual HRESULT Open(uint16_t productId) = 0;
    // One load; progress and messages go to the event source given at creation. For the FPGA burn
    // `image` is the algorithm (VME) image and `second` the data image.
    virtual HRESULT Run(TarnLoadKind kind, const std::vector<uint8_t>& image, const std::vector<uint8_t>& second) = 0;
    virtual void Close() = 0;
};

// Null when no loader is built into the module.
TarnLoader* TarnCreateLoader(ITarnEventSource* events);
