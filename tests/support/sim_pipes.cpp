#include "sim_pipes.h"

namespace lxtest {

bool SimPipes::Transfer(uint8_t ep, uint8_t* buffer, uint32_t& length) {
  ++transfers[ep];
  if (unplugged) {
    length = 0;
    return false;
  }
  if (failNext[ep]) {
    --failNext[ep];
    length = 0;
    return false;
  }
  if (ep == tarn::kEpCommandOut) {
    kit.CommandOut(buffer, length);
    return true;
  }
  if (ep == tarn::kEpStreamOut) {
    streamSizes.push_back(length);
    lastStream.assign(buffer, buffer + length);
    streamBytes += length;
    kit.StreamOut(buffer, length);
    return true;
  }
  if (kit.InWaiting(ep) == 0 && length > 0) {
    length = 0;  // a real pipe would wait for the time-out and fail
    return false;
  }
  uint32_t want = length;
  if (shortNext[ep] && want > 0) {
    --shortNext[ep];
    want -= 1;
  }
  length = static_cast<uint32_t>(kit.InRead(ep, buffer, want));
  if (ep == tarn::kEpDataIn) readBytes += length;
  return true;
}

uint32_t SimPipes::Timeout(uint8_t ep) const {
  auto it = timeouts.find(ep);
  return it == timeouts.end() ? 10000 : it->second;
}

}  // namespace lxtest
