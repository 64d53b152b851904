#include "drive/trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/bytes.h"
#include "core/digest.h"
#include "core/os_class.h"
#include "core/run_result.h"
#include "core/string_table.h"
#include "drive/drive_link.h"
#include "drive/drive_table.h"
#include "drive/transport.h"
#include "image/layout.h"
#include "platform/aspi.h"
#include "platform/devices.h"

namespace tz {

namespace {

namespace srb = platform::srb;
namespace spt = platform::spt;

constexpr const char* trace_base_name = "TZ594K_for_ZEMO_V101";
constexpr const char* program_version = "TZ594K_for_ZEMO_V1.01";
// Names with a number after the stamp tried before giving up on the folder.
constexpr int name_attempts = 50;

// A status byte neither an ASPI manager nor a drive ever writes: still there after the request,
// it says the request never went out.
constexpr std::uint8_t not_sent = 0xFF;

constexpr std::uint8_t op_write_download = 0xEA;
constexpr std::uint8_t op_read_download = 0xE8;
constexpr std::uint8_t op_vendor_ed = 0xED;
constexpr std::uint8_t op_execute = 0xF5;
constexpr std::uint8_t ed_prepare_download = 0x01;
// The mode byte of 0xF5 that asks for the verify; the others rewrite the ROM.
constexpr std::uint8_t execute_verify = 0x40;

enum class Answer : std::uint8_t { status, fail, timeout, none };

// One line built in place in the trace's buffer, which always has trace_line_room free when a
// line starts: it is cut there rather than run past.
class Line {
 public:
  explicit Line(Trace& trace) : trace_(trace), at_(trace.buffer + trace.used), end_(at_ + trace_line_room - 2) {}

  [[gnu::format(printf, 2, 3)]] void add(const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    const std::size_t room = static_cast<std::size_t>(end_ - at_) + 1;
    const int n = std::vsnprintf(at_, room, format, arguments);  // NOLINT(clang-analyzer-valist.Uninitialized)
    va_end(arguments);
    if (n > 0) at_ += n < end_ - at_ ? n : end_ - at_;
  }
  void hex(const std::uint8_t* bytes, std::size_t n) {
    static constexpr char digits[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < n && end_ - at_ >= 2; ++i) {
      *at_++ = digits[bytes[i] >> 4];
      *at_++ = digits[bytes[i] & 15];
    }
  }
  // A text as a quoted value that reads back as the same bytes.
  void quoted(const char* text) {
    put('"');
    for (const char* p = text; *p != '\0'; ++p) {
      const auto byte = static_cast<unsigned char>(*p);
      if (*p == '"' || *p == '\\') {
        put('\\');
        put(*p);
      } else if (byte < 0x20 || byte >= 0x7F) {
        add("\\x%02X", byte);
      } else {
        put(*p);
      }
    }
    put('"');
  }
  // Ends the line (CR LF: the file is read on Windows) and takes it into the buffer.
  void finish() {
    *at_++ = '\r';
    *at_++ = '\n';
    trace_.used = static_cast<std::size_t>(at_ - trace_.buffer);
  }

 private:
  void put(char c) {
    if (at_ < end_) *at_++ = c;
  }

  Trace& trace_;
  char* at_;
  char* end_;  // two bytes before the room's end, kept for the CR LF
};

void flush(Trace& t) {
  if (t.used == 0 || t.file == platform::null_handle) return;
  if (!t.write_failed && !t.files.write_file(t.file, t.buffer, static_cast<std::uint32_t>(t.used))) {
    t.write_failed = true;
  }
  t.used = 0;
}

// Room for the next line.
void make_room(Trace& t) {
  if (trace_buffer_size - t.used < trace_line_room) flush(t);
}

bool pass_through(const DriveLink& link) { return link.state.transport == transport_pass_through; }

void add_address(Line& line, const DriveLink& link, std::uint32_t index) {
  if (index >= drive_table_size) {
    line.add("-");
    return;
  }
  const DriveRecord& d = link.state.drive_table[index];
  if (pass_through(link)) {
    // "\\.\X:": the letter and its colon.
    const std::size_t length = strnlen(d.device_path, sizeof(d.device_path));
    line.add("%.*s", static_cast<int>(length > device_letter_offset ? length - device_letter_offset : 0),
             length > device_letter_offset ? d.device_path + device_letter_offset : "");
  } else {
    line.add("%u:%u", static_cast<unsigned>(d.ha_id), static_cast<unsigned>(d.target_id));
  }
}

const char* direction_name(std::uint8_t direction) {
  if (direction == dir_in) return "in";
  if (direction == dir_out) return "out";
  return "none";
}

// What came of the request, from what the transport left in its request blocks.
Answer classify(const DriveLink& link, const ScsiRequest& request, int result, std::int32_t ms, std::uint8_t& status) {
  const DriveState& state = link.state;
  if (pass_through(link)) {
    const std::uint8_t* block = request.kind == PassThroughKind::direct ? state.spt_direct : state.spt_buffered;
    status = block[spt::scsi_status];
    if (status == not_sent) return Answer::none;
    // A call that failed leaves the status the request went out with (GOOD) or none worth reading.
    if (result == -1 && (status == 0x00 || status == 0x02)) return Answer::fail;
    return Answer::status;
  }
  const std::uint8_t* block = state.aspi_request_block;
  const std::uint8_t srb_status = block[srb::status];
  status = block[srb::targ_stat];
  if (srb_status == not_sent) return Answer::none;
  // The status the program acted on, whatever the target status field says: a completed request
  // is GOOD, an error with sense is CHECK CONDITION, an error without is a failure. A replay then
  // gives the program the same answer.
  if (srb_status == srb::ss_comp) {
    status = 0x00;
    return Answer::status;
  }
  if (srb_status == srb::ss_err) {
    if (result != 1) return Answer::fail;
    status = 0x02;
    return Answer::status;
  }
  if (srb_status == srb::ss_aborted || srb_status == srb::ss_pending) {
    // Only the program's own wait lasts the whole time-out; it then aborted the request.
    return ms >= 0 && static_cast<std::uint32_t>(ms) >= request.aspi_timeout ? Answer::timeout : Answer::fail;
  }
  // The manager refused it at once (no device at the address, a bad block): no drive saw it.
  return srb_status >= 0x80 ? Answer::none : Answer::fail;
}

// Trailing zero bytes are left out of a reply: the buffer was cleared before it.
std::size_t without_trailing_zeros(const std::uint8_t* bytes, std::size_t n) {
  while (n > 0 && bytes[n - 1] == 0) --n;
  return n;
}

bool updates_the_drive(const std::uint8_t* cdb) {
  return cdb[0] == op_write_download || cdb[0] == op_read_download || cdb[0] == op_execute ||
         (cdb[0] == op_vendor_ed && cdb[6] == ed_prepare_download);
}

void write_header(DriveLink& link, const TraceStart& start) {
  Trace& t = link.trace;
  make_room(t);
  Line program(t);
  program.add("program version=");
  program.quoted(program_version);
  program.add(" image=");
  program.quoted(start.image_revision);
  program.finish();

  make_room(t);
  platform::OsVersionInfo info;
  char os_text[80] = {};
  os_version_text(link.system, info, os_text, sizeof(os_text));
  Line system(t);
  system.add("system os=");
  system.quoted(os_text);
  system.add(" platform=%lu major=%lu minor=%lu build=%lu transport=%s language=%s",
             static_cast<unsigned long>(info.platform_id), static_cast<unsigned long>(info.major),
             static_cast<unsigned long>(info.minor), static_cast<unsigned long>(info.build),
             pass_through(link) ? "pass-through" : "ASPI",
             link.ui.language == language_japanese ? "Japanese" : "English");
  system.finish();

  make_room(t);
  Line switches(t);
  switches.add("switches text=");
  switches.quoted(start.arguments);
  switches.finish();

  make_room(t);
  const platform::LocalTime now = link.system.local_time();
  Line started(t);
  started.add("started date=%04hu.%02hu.%02hu time=%02hu:%02hu:%02hu", now.year, now.month, now.day, now.hour,
              now.minute, now.second);
  started.finish();
  flush(t);
}

// A drive text field up to its width, even if its terminator were lost.
template <std::size_t N>
void add_text_field(Line& line, const char* key, const char (&field)[N]) {
  char text[N];
  std::memcpy(text, field, N - 1);
  text[N - 1] = '\0';
  line.add(" %s=", key);
  line.quoted(text);
}

void write_before(DriveLink& link) {
  Trace& t = link.trace;
  for (std::uint32_t i = 0; i < drive_table_size; ++i) {
    const DriveRecord& d = link.state.drive_table[i];
    if (d.status == drive_status_empty) continue;
    make_room(t);
    Line line(t);
    line.add("before at=");
    add_address(line, link, i);
    line.add(" status=%u", static_cast<unsigned>(d.status));
    add_text_field(line, "vendor", d.vendor_id);
    add_text_field(line, "product", d.product_id);
    add_text_field(line, "revision", d.product_revision);
    if (d.identity_source == identity_source_drive) add_text_field(line, "identity", d.identity.info_revision);
    line.finish();
  }
}

const char* rom_answer_name(RomAnswer answer) {
  switch (answer) {
    case RomAnswer::none:
      return "none";
    case RomAnswer::good:
      return "good";
    case RomAnswer::check:
      return "check";
    case RomAnswer::no_answer:
      return "no-answer";
    case RomAnswer::not_sent:
      return "not-sent";
  }
  return "none";
}

RomAnswer rom_answer(Answer answer, int result) {
  if (answer == Answer::none) return RomAnswer::not_sent;
  if (result == 0) return RomAnswer::good;
  if (result == 1) return RomAnswer::check;
  return RomAnswer::no_answer;
}

void write_after(DriveLink& link) {
  Trace& t = link.trace;
  make_room(t);
  Line line(t);
  line.add("after at=");
  add_address(line, link, t.update_drive);
  line.add(" read=no rewrite=%s verify=%s", rom_answer_name(t.last_rewrite), rom_answer_name(t.last_verify));
  line.finish();
}

}  // namespace

bool trace_on(const Trace& trace) { return trace.file != platform::null_handle && !trace.write_failed; }

bool begin_trace(DriveLink& link, const TraceStart& start) {
  Trace& t = link.trace;
  if (t.file != platform::null_handle) return true;
  const platform::LocalTime now = link.system.local_time();
  const int folder_length = static_cast<int>(strnlen(start.folder, trace_path_size));
  for (int attempt = 1; attempt <= name_attempts; ++attempt) {
    char number[8] = {};
    if (attempt > 1) std::snprintf(number, sizeof(number), "-%d", attempt);
    const int length = std::snprintf(t.path, sizeof(t.path), "%.*s\\%s-%04hu%02hu%02hu%02hu%02hu%02hu%03hu%s.trace",
                                     folder_length, start.folder, trace_base_name, now.year, now.month, now.day,
                                     now.hour, now.minute, now.second, now.milliseconds, number);
    // A path cut short would name some other file.
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof(t.path)) break;
    bool exists = false;
    t.file = t.files.create_new_file(t.path, exists);
    if (t.file != platform::null_handle || !exists) break;
  }
  if (t.file == platform::null_handle) {
    t.path[0] = '\0';
    return false;
  }
  t.started_ms = t.clock.now_ms();
  write_header(link, start);
  return true;
}

std::int32_t trace_request_start(DriveLink& link) {
  link.state.aspi_request_block[srb::status] = not_sent;
  link.state.spt_buffered[spt::scsi_status] = not_sent;
  link.state.spt_direct[spt::scsi_status] = not_sent;
  return link.trace.clock.now_ms();
}

void trace_command(DriveLink& link, const ScsiRequest& request, int result, std::int32_t started_ms) {
  Trace& t = link.trace;
  if (!trace_on(t) || request.cdb == nullptr) return;
  const std::int32_t ms = t.clock.now_ms() - started_ms;
  const std::uint8_t* cdb = request.cdb;
  const DriveState& state = link.state;
  std::uint8_t status = 0;
  const Answer answer = classify(link, request, result, ms, status);

  make_room(t);
  Line line(t);
  line.add("cmd n=%lu at=", static_cast<unsigned long>(++t.commands));
  add_address(line, link, state.current_drive);
  line.add(" cdb=");
  line.hex(cdb, cdb_bytes);
  line.add(" dir=%s len=%lu", direction_name(request.direction), static_cast<unsigned long>(request.length));
  switch (answer) {
    case Answer::status:
      line.add(" status=%02X", static_cast<unsigned>(status));
      break;
    case Answer::fail:
      line.add(" status=fail");
      break;
    case Answer::timeout:
      line.add(" status=timeout");
      break;
    case Answer::none:
      line.add(" status=none");
      break;
  }
  if (result == 1) {
    line.add(" sense=%02X/%02X/%02X", static_cast<unsigned>(state.last_sense_key),
             static_cast<unsigned>(state.last_asc), static_cast<unsigned>(state.last_ascq));
  }
  line.add(" moved=%lu ms=%ld", static_cast<unsigned long>(state.transferred), static_cast<long>(ms < 0 ? 0 : ms));

  const std::uint8_t* data = request.buffer;
  const std::uint32_t length = data == nullptr || request.direction == dir_none ? 0 : request.length;
  const bool download = cdb[0] == op_write_download || cdb[0] == op_read_download;
  std::uint64_t data_digest = 0;
  if (length != 0 && cdb[0] == op_write_download) {
    line.add(" digest=%016llX", static_cast<unsigned long long>(piece_digest(data, length, &data_digest)));
    t.have_write = length >= header_bytes;
    t.write_offset = get_be24(cdb + 3);
    t.write_length = length;
    t.write_data_digest = data_digest;
  } else if (length != 0 && cdb[0] == op_read_download) {
    if (result == 0) {
      line.add(" digest=%016llX", static_cast<unsigned long long>(piece_digest(data, length, &data_digest)));
      const bool same = t.have_write && length >= header_bytes && get_be24(cdb + 3) == t.write_offset &&
                        length == t.write_length && data_digest == t.write_data_digest;
      line.add(" same=%s", same ? "yes" : "no");
    }
  } else if (length != 0 && request.direction == dir_in && answer == Answer::status) {
    if (length <= trace_reply_limit) {
      const std::size_t n = without_trailing_zeros(data, length);
      if (n != 0) {
        line.add(" data=");
        line.hex(data, n);
      }
    } else {
      line.add(" digest=%016llX", static_cast<unsigned long long>(piece_digest(data, length)));
    }
  } else if (length != 0 && request.direction == dir_out) {
    line.add(" digest=%016llX", static_cast<unsigned long long>(piece_digest(data, length)));
  }
  line.finish();

  if (updates_the_drive(cdb)) t.update_drive = state.current_drive;
  if (cdb[0] == op_execute) {
    (cdb[11] == execute_verify ? t.last_verify : t.last_rewrite) = rom_answer(answer, result);
  }
  // Download lines, the bulk of a run, wait in the buffer; every other line goes out at once, so a
  // run that is cut off leaves most of what led to it.
  if (!download) flush(t);
}

void end_trace(DriveLink& link, std::int32_t exit_code) {
  Trace& t = link.trace;
  if (t.file == platform::null_handle) return;
  const std::int32_t elapsed = t.clock.now_ms() - t.started_ms;
  make_room(t);
  Line result(t);
  result.add("result code=%ld message=", static_cast<long>(result_code(link.ui.result)));
  result.quoted(result_message(link.ui.result));
  result.add(" exit=%ld elapsed-ms=%ld", static_cast<long>(exit_code), static_cast<long>(elapsed < 0 ? 0 : elapsed));
  result.finish();
  write_before(link);
  if (t.update_drive < drive_table_size) write_after(link);
  make_room(t);
  Line end(t);
  end.add("end commands=%lu", static_cast<unsigned long>(t.commands));
  end.finish();
  flush(t);
  t.files.close_new_file(t.file);
  t.file = platform::null_handle;
}

}  // namespace tz
