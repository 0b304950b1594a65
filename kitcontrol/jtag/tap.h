// IEEE 1149.1 TAP controller states (numbered as the STAPL language numbers them) and the
// transition of one TCK clock.
#pragma once
#include <cstdint>

namespace lx {
namespace jtag {

enum TapState {
  TAP_RESET = 0, TAP_IDLE, TAP_DRSELECT, TAP_DRCAPTURE, TAP_DRSHIFT, TAP_DREXIT1, TAP_DRPAUSE,
  TAP_DREXIT2, TAP_DRUPDATE, TAP_IRSELECT, TAP_IRCAPTURE, TAP_IRSHIFT, TAP_IREXIT1, TAP_IRPAUSE,
  TAP_IREXIT2, TAP_IRUPDATE,
};

inline int TapNext(int state, int tms) {
  static const int8_t kNext[16][2] = {
      {TAP_IDLE, TAP_RESET},        {TAP_IDLE, TAP_DRSELECT},     {TAP_DRCAPTURE, TAP_IRSELECT},
      {TAP_DRSHIFT, TAP_DREXIT1},   {TAP_DRSHIFT, TAP_DREXIT1},   {TAP_DRPAUSE, TAP_DRUPDATE},
      {TAP_DRPAUSE, TAP_DREXIT2},   {TAP_DRSHIFT, TAP_DRUPDATE},  {TAP_IDLE, TAP_DRSELECT},
      {TAP_IRCAPTURE, TAP_RESET},   {TAP_IRSHIFT, TAP_IREXIT1},   {TAP_IRSHIFT, TAP_IREXIT1},
      {TAP_IRPAUSE, TAP_IRUPDATE},  {TAP_IRPAUSE, TAP_IREXIT2},   {TAP_IRSHIFT, TAP_IRUPDATE},
      {TAP_IDLE, TAP_DRSELECT},
  };
  return kNext[state & 15][tms ? 1 : 0];
}

}  // namespace jtag
}  // namespace lx
