#include "command_tables.h"

#include "driver_tables.h"

namespace lx {

// The handler field is informational: a command reaches whatever entry point its driver-table
// cell holds at the moment of the call, so the rows carry none.
#define LX_COMMAND_ROW(word, handler, min, max, syntax) {word, nullptr, min, max, syntax},
#define LX_CLOSING_ROWS {nullptr, nullptr, 0, 0, ""}, {nullptr, nullptr, 0, 0, ""}

const CommandEntry g_NorCommandTable[kNorCommandCount + kClosingRowCount] = {
    LX_NOR_COMMAND_ROWS(LX_COMMAND_ROW) LX_CLOSING_ROWS};
const CommandEntry g_VeltanCommandTable[kVeltanCommandCount + kClosingRowCount] = {
    LX_VELTAN_COMMAND_ROWS(LX_COMMAND_ROW) LX_CLOSING_ROWS};

#define LX_NOR_CELL_OF(word, handler, min, max, syntax) kNorCell_##handler,
#define LX_VELTAN_CELL_OF(word, handler, min, max, syntax) kVeltanCell_##handler,

const int g_NorCommandCell[kNorCommandCount] = {LX_NOR_COMMAND_ROWS(LX_NOR_CELL_OF)};
const int g_VeltanCommandCell[kVeltanCommandCount] = {LX_VELTAN_COMMAND_ROWS(LX_VELTAN_CELL_OF)};

// The row lists must give exactly the table sizes; a missing or extra row would shift every
// dispatch index after it.
#define LX_COUNT_ROW(word, handler, min, max, syntax) +1
static_assert(0 LX_NOR_COMMAND_ROWS(LX_COUNT_ROW) == kNorCommandCount, "122 NOR commands");
static_assert(0 LX_VELTAN_COMMAND_ROWS(LX_COUNT_ROW) == kVeltanCommandCount, "96 Veltan commands");

}  // namespace lx
