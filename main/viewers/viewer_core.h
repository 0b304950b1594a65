// The text side of the profiler and trace viewers: the profiler's CSV form and the trace
// records' cells. Portable; the windows are in viewers.h.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "lumivex/deviceapi.h"

namespace lx {

// ----- Profiler ---------------------------------------------------------------------------------
// The most rows the profiler shows; a module that claims more entries is held to this.
constexpr int kMaxProfilerEntries = 4096;
// An import reads at most this much of its file.
constexpr size_t kProfilerImportLimit = 40960;

// fpGetNumberOfProfileFunctions as a row count: negative (a missing entry point) gives 0.
int ProfilerRowCount(int reported);

// The grid's text of a count: its low 32 bits as a signed decimal.
std::string ProfilerCellText(uint64_t count);

extern const char kProfilerCsvHeader[];  // "Function name,Hit count,Accumulated count\r\n"
// One exported line: "<name>,<count>,<accumulated>\r\n", both counts signed 64-bit decimals.
std::string ProfilerCsvLine(const char* name, uint64_t count, uint64_t accumulated);

struct ProfilerImportRow {
  int index;
  int64_t count;
  int64_t accumulated;
};
// The rows an import applies, in the order found: the text is cut into tokens at comma, tab and
// line feed (empty tokens skipped, a CR stays with its token); a token equal to names[i] takes
// the next two tokens as its counts (read as 64-bit decimals); other tokens are skipped.
std::vector<ProfilerImportRow> ParseProfilerCsv(const char* text, size_t length, const std::vector<std::string>& names);

// ----- Trace ------------------------------------------------------------------------------------
constexpr size_t kTraceRecordCount = LX_TRACE_RECORD_COUNT;
constexpr size_t kTraceBytes = LX_TRACE_MAP_BYTES;

// "TR_OP_READ_IN" .. "TR_OP_WRITE_HWSTATUS_OUT", "unknown" for any other code.
const char* TraceOperationName(uint32_t code);
// The record at `bytes` (24 bytes, six little-endian 32-bit fields).
TraceRecord DecodeTraceRecord(const uint8_t* bytes);
// The viewer's six column titles and a record's six cells.
extern const char* const kTraceColumnTitles[6];
void TraceRecordCells(const TraceRecord& record, std::string cells[6]);

// Reads a dump file into a buffer of kTraceBytes: a shorter file fills only the start and the
// rest is zero. The bytes read, or -1 when the file cannot be opened.
long long ReadTraceFile(const char* path, std::vector<uint8_t>& buffer);

}  // namespace lx
