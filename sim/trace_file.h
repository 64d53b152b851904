#pragma once
// A trace as the program writes it with "/TRO" (format in drive/trace.h), read back for the
// replay, the replay check and whoever looks into a run from the field.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sim/fields.h"
#include "sim/scsi.h"

namespace tz::sim {

inline constexpr std::uint32_t trace_cdb_bytes = 12;

// status= of a command line: the drive's SCSI status, or what took its place.
enum class TraceAnswer : std::uint8_t {
  status,   // the drive answered with `status`
  fail,     // the request went out and no status came back
  timeout,  // the program's ASPI wait gave up on it
  none,     // it reached no drive
};

// same= of a read-back.
enum class ReadBack : std::uint8_t { unknown, same, differs };

struct TraceCommand {
  std::uint32_t n = 0;     // its number in the trace
  std::uint32_t line = 0;  // its line in the file
  std::string address;     // "D:" or "ha:target"
  std::uint8_t cdb[trace_cdb_bytes] = {};
  Direction direction = Direction::none;
  std::uint32_t length = 0;
  TraceAnswer answer = TraceAnswer::status;
  std::uint8_t status = 0;
  bool has_sense = false;
  Sense sense{};
  std::uint32_t moved = 0;
  std::uint32_t ms = 0;
  bool has_digest = false;
  std::uint64_t digest = 0;
  ReadBack same = ReadBack::unknown;
  std::vector<std::uint8_t> data;  // the reply without its trailing zero bytes
};

struct TraceFile {
  // The header: what the program and the system said of themselves, and the arguments.
  std::vector<Token> program;
  std::vector<Token> system;
  bool has_arguments = false;
  std::string arguments;
  std::vector<TraceCommand> commands;
  // The footer: how the run ended, and the drives before and after.
  bool has_result = false;
  std::int32_t result_code = -1;
  std::string message;
  std::int32_t exit_code = -1;
  std::vector<std::vector<Token>> before;
  std::vector<std::vector<Token>> after;
  bool complete = false;  // the end line is there: the run wrote its footer
};

// The replies and data phases a trace may hold: nothing the program sends is longer.
inline constexpr std::uint32_t trace_length_limit = 0x10000;
inline constexpr std::uint32_t trace_data_limit = 4096;

// Reads a trace; false with "line N: reason" for a line that is not one the program writes. A
// trace cut short (a run killed part-way) reads, without its footer.
bool parse_trace(std::string_view text, TraceFile& trace, std::string& error);
bool load_trace(const char* path, TraceFile& trace, std::string& error);

// The value of `key` among a line's fields, or null.
const std::string* field_value(const std::vector<Token>& fields, std::string_view key);

// The identity read derives six parameter bytes (2, 3, 4, 5, 7, 8) from the local time of the run:
// replay and check compare them by the relations the drive checks, never by value, or no trace
// could be replayed in another minute than the one it was recorded in.
bool is_identity_read(const std::uint8_t* cdb);
// Whether a CDB as a drive received it (`length` bytes as the host declared) is the trace's.
bool same_cdb(const std::uint8_t* expected, const std::uint8_t* came, std::uint32_t came_length);

// A command as replay and check messages show it: "n=12 at=D: cdb=... dir=out len=1072 status=00".
std::string describe(const TraceCommand& command);
std::string hex_bytes(const std::uint8_t* bytes, std::uint32_t n);

}  // namespace tz::sim
