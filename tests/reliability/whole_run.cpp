#include "tests/reliability/whole_run.h"

#include <unistd.h>

#include <array>
#include <cstdlib>
#include <cstring>

#include "app/context.h"
#include "app/startup.h"
#include "core/bytes.h"
#include "core/run_result.h"
#include "sim/tool/carried_image.h"

namespace tz::reliability {

namespace {

constexpr std::uint8_t status_good = 0x00;
constexpr std::uint32_t download_header = 48;
constexpr std::uint32_t info_block_bytes = 368;
constexpr std::uint32_t block_bytes = 1024;
constexpr std::uint32_t block_count = 1096;
constexpr std::uint32_t piece_count = block_count + 1;

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// "D: cdb=EA0000... dir=out len=1072 status=00 [sense=..] moved=1072 ..."; false for anything else.
bool parse_line(const std::string& text, TranscriptLine& line) {
  const std::size_t blank = text.find(' ');
  const std::size_t cdb_at = text.find(" cdb=");
  const std::size_t len_at = text.find(" len=");
  const std::size_t status_at = text.find(" status=");
  if (blank == std::string::npos || cdb_at != blank || len_at == std::string::npos || status_at == std::string::npos) {
    return false;
  }
  line = TranscriptLine{};
  line.address = text.substr(0, blank);
  for (std::size_t at = cdb_at + 5; at + 1 < text.size() && text[at] != ' '; at += 2) {
    const int high = hex_digit(text[at]);
    const int low = hex_digit(text[at + 1]);
    if (high < 0 || low < 0 || line.cdb_length >= sim::max_cdb_bytes) return false;
    line.cdb[line.cdb_length++] = static_cast<std::uint8_t>(high * 16 + low);
  }
  line.length = static_cast<std::uint32_t>(std::strtoul(text.c_str() + len_at + 5, nullptr, 10));
  const char* status = text.c_str() + status_at + 8;
  if (std::strncmp(status, "fail", 4) == 0 || std::strncmp(status, "hang", 4) == 0) {
    line.completed = false;
    line.hung = status[0] == 'h';
  } else {
    line.status = static_cast<std::uint8_t>(std::strtoul(status, nullptr, 16));
  }
  const std::size_t moved_at = text.find(" moved=");
  if (moved_at != std::string::npos)
    line.moved = static_cast<std::uint32_t>(std::strtoul(text.c_str() + moved_at + 7, nullptr, 10));
  return true;
}

// Which piece of the download a write or read-back at `offset` carries: 0 the info block, 1 + i
// payload block i; piece_count for no piece.
std::uint32_t piece_at(std::uint32_t offset, std::uint32_t length) {
  if (offset == 0) return length == download_header + info_block_bytes ? 0 : piece_count;
  if (offset < info_block_bytes || (offset - info_block_bytes) % block_bytes != 0) return piece_count;
  const std::uint32_t block = (offset - info_block_bytes) / block_bytes;
  if (block >= block_count || length != download_header + block_bytes) return piece_count;
  return block + 1;
}

}  // namespace

const char* via_name(Via via) { return via == Via::pass_through ? "pass-through" : "ASPI"; }

TranscriptCapture::TranscriptCapture() {
  const char* folder = std::getenv("TMPDIR");
  std::string pattern = std::string(folder != nullptr && folder[0] != '\0' ? folder : "/tmp") + "/tz594k-run-XXXXXX";
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) return;
  ::close(fd);
  path_ = pattern;
  file_.open(path_.c_str());
}

TranscriptCapture::~TranscriptCapture() {
  if (!path_.empty()) std::remove(path_.c_str());
}

std::vector<TranscriptLine> TranscriptCapture::lines(const std::string& address) const {
  std::vector<TranscriptLine> result;
  std::FILE* in = path_.empty() ? nullptr : std::fopen(path_.c_str(), "rb");
  if (in == nullptr) return result;
  std::array<char, sim::transcript_line_capacity + 2> buffer{};
  TranscriptLine line;
  while (std::fgets(buffer.data(), static_cast<int>(buffer.size()), in) != nullptr) {
    std::string text(buffer.data());
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (parse_line(text, line) && line.address == address) result.push_back(line);
  }
  std::fclose(in);
  return result;
}

std::uint64_t TranscriptCapture::digest() const {
  std::uint64_t hash = 0xCBF29CE484222325ull;
  std::FILE* in = path_.empty() ? nullptr : std::fopen(path_.c_str(), "rb");
  if (in == nullptr) return 0;
  for (int c = std::fgetc(in); c != EOF; c = std::fgetc(in)) {
    hash = (hash ^ static_cast<std::uint8_t>(c)) * 0x100000001B3ull;
  }
  std::fclose(in);
  return hash;
}

std::string TranscriptCapture::text() const {
  std::string all;
  std::FILE* in = path_.empty() ? nullptr : std::fopen(path_.c_str(), "rb");
  if (in == nullptr) return all;
  char chunk[65536];
  std::size_t n = 0;
  while ((n = std::fread(chunk, 1, sizeof(chunk), in)) != 0) all.append(chunk, n);
  std::fclose(in);
  return all;
}

Machine::Machine(Via v) : via(v) {
  if (v == Via::pass_through) {
    host.system.set_version(2, 5, 1, 2600);  // Windows XP
  } else {
    host.system.set_version(1, 4, 10, 0x040A08AE);  // Windows 98 SE
  }
  host.system.set_locale("00000409");
  host.devices.transcript = &transcript.file();
  host.aspi.transcript = &transcript.file();
  // Whole runs produce tens of thousands of dialog events; the screens are kept all the same.
  host.dialogs.record_events = false;
}

sim::SimDrive& Machine::add(const sim::DriveSettings& settings) {
  drives.emplace_back(settings);
  sim::SimDrive& d = drives.back();
  carried_at_start.push_back(sim::rom_is_carried_image(d.rom()));
  const std::size_t n = drives.size();
  if (via == Via::pass_through) {
    host.devices.attach(letter(n - 1), d);
  } else {
    host.aspi.attach(0, static_cast<std::uint8_t>(n), d);
  }
  return d;
}

std::string Machine::address(std::size_t drive) const {
  if (via == Via::pass_through) return std::string(1, letter(drive)) + ":";
  return "0:" + std::to_string(drive + 1);
}

std::int32_t Machine::run(const std::string& arguments) {
  host.system.command_line_text = "\"C:\\Loader\\TZ594K_for_ZEMO_V101.exe\" " + arguments;
  return program_entry(*ctx, arguments.c_str());
}

std::vector<std::string> Machine::message_boxes() const {
  std::vector<std::string> texts;
  for (const auto& box : host.windows.message_boxes) texts.push_back(box.text);
  return texts;
}

std::int32_t exit_code_of(std::int32_t code) {
  struct Row {
    std::int32_t code;
    std::int32_t exit_code;
  };
  static constexpr Row rows[] = {{0, 0},    {100, 1}, {101, 1}, {200, 2},  {300, 3}, {400, 4},
                                 {401, 99}, {500, 5}, {600, 6}, {700, 7},  {701, 7}, {800, 8},
                                 {803, 5},  {801, 8}, {802, 8}, {1001, 8}, {1002, 8}};
  for (const Row& row : rows) {
    if (row.code == code) return row.exit_code;
  }
  return 8;
}

std::string unearned_rewrite(const std::vector<TranscriptLine>& lines, const sim::DriveSettings& drive, bool compare) {
  std::vector<bool> written(piece_count, false);
  std::vector<bool> read_back(piece_count, false);
  std::vector<bool> stored(piece_count, false);  // in the drive's download area, this boot session
  bool in_session = !drive.boot_mode;
  std::uint32_t counts[sim::command_kind_count + 1] = {};
  std::uint32_t index = 0;
  for (const TranscriptLine& line : lines) {
    ++index;
    const sim::CommandKind kind = sim::classify_command(line.cdb);
    const std::uint32_t kind_count = ++counts[static_cast<std::uint32_t>(kind)];
    const std::uint32_t any_count = ++counts[sim::command_kind_count];
    const sim::FaultDecision fault = sim::decide_fault(drive.faults, kind, kind_count, any_count, line.cdb);
    const bool good = line.completed && line.status == status_good;
    // Whether the command reached the drive's firmware at all: a fault other than a dropped write,
    // a flipped bit or a data phase cut short stops it before it does anything.
    const bool ran =
        line.completed && (!fault.hit || fault.action == sim::FaultAction::drop ||
                           fault.action == sim::FaultAction::flip || fault.action == sim::FaultAction::short_transfer);
    // GOOD, and yet the data did not all cross: a read-back of part of a piece checks nothing, a
    // write of part of one stores nothing.
    const bool cut =
        fault.hit && fault.action == sim::FaultAction::short_transfer && line.moved < get_be24(line.cdb + 6);
    if (kind == sim::CommandKind::prepare && good) {
      in_session = true;
      continue;
    }
    if (kind == sim::CommandKind::write || kind == sim::CommandKind::read) {
      const std::uint32_t piece = piece_at(get_be24(line.cdb + 3), get_be24(line.cdb + 6));
      if (piece == piece_count) return "command " + std::to_string(index) + ": a download command outside the image";
      if (good && !in_session) {
        return "command " + std::to_string(index) + ": a download command answered GOOD before the boot-mode command";
      }
      if (kind == sim::CommandKind::write) {
        // Every attempt starts again from the info block.
        if (piece == 0) {
          written.assign(piece_count, false);
          read_back.assign(piece_count, false);
        }
        // A write the drive answered GOOD without storing is out of the host's sight: the read-back
        // shows it only where the place held other data, and a download area that is not
        // complete is refused by the drive itself.
        written[piece] = good;
        read_back[piece] = false;
        const bool dropped = fault.hit && fault.action == sim::FaultAction::drop;
        if (good && in_session && !dropped && !cut) stored[piece] = true;
      } else {
        read_back[piece] = written[piece] && good && !cut && !(fault.hit && fault.action == sim::FaultAction::flip);
      }
      continue;
    }
    if (kind != sim::CommandKind::rewrite && kind != sim::CommandKind::verify) continue;
    const char* what = kind == sim::CommandKind::rewrite ? "rewrite" : "verify";
    for (std::uint32_t piece = 0; piece < piece_count; ++piece) {
      if (!written[piece] || (compare && !read_back[piece])) {
        return "command " + std::to_string(index) + ": " + what + " without piece " + std::to_string(piece) +
               (written[piece] ? " read back" : " written");
      }
      if (good && !stored[piece]) {
        return "command " + std::to_string(index) + ": " + what + " answered GOOD without piece " +
               std::to_string(piece) + " stored in this boot session since the last rewrite request";
      }
    }
    // The drive empties its download area on every rewrite request it carries out.
    if (kind == sim::CommandKind::rewrite) {
      written.assign(piece_count, false);
      read_back.assign(piece_count, false);
      if (ran) stored.assign(piece_count, false);
    }
  }
  return "";
}

std::vector<std::string> broken_rules(const Machine& m, std::int32_t exit_code) {
  std::vector<std::string> broken;
  const Context& ctx = *m.ctx;
  const std::int32_t code = result_code(ctx.app.result);
  if (exit_code != exit_code_of(code)) {
    broken.push_back("exit code " + std::to_string(exit_code) + " after result code " + std::to_string(code));
  }
  const bool compare = ctx.app.build.COMPARE_SEND_DATA_NUMBER == 1;
  const bool verify = ctx.app.build.VERIFY_PROCESS_NUMBER == 1;
  std::size_t updated = 0;
  for (std::size_t i = 0; i < m.drives.size(); ++i) {
    const std::string name = "drive " + m.address(i);
    const std::vector<TranscriptLine> lines = m.transcript.lines(m.address(i));
    const std::string unearned = unearned_rewrite(lines, m.drives[i].settings(), compare);
    if (!unearned.empty()) broken.emplace_back(name).append(": ").append(unearned);
    const bool now_carried = sim::rom_is_carried_image(m.drives[i].rom());
    if (!now_carried || m.carried_at_start[i]) continue;
    ++updated;
    if (code != 0 && code != 600) {
      broken.push_back(name + " was rewritten, yet the run reports code " + std::to_string(code));
    }
    if (code == 0 && verify) {
      // The drive's last word on its new ROM is the verify's.
      const TranscriptLine* last = nullptr;
      for (const TranscriptLine& line : lines) {
        const sim::CommandKind kind = sim::classify_command(line.cdb);
        if (kind == sim::CommandKind::rewrite || kind == sim::CommandKind::verify) last = &line;
      }
      if (last == nullptr || sim::classify_command(last->cdb) != sim::CommandKind::verify || !last->completed ||
          last->status != status_good) {
        broken.push_back(name + ": success reported without a good verify after the rewrite");
      }
    }
  }
  if (code == 0 && updated != 1) {
    broken.push_back("success reported with " + std::to_string(updated) + " drives rewritten with the image");
  }
  if (m.host.devices.open_handle_count() != 0) broken.push_back("a device handle stays open");
  for (std::size_t i = 0; i < m.drives.size(); ++i) {
    if (m.host.devices.volume_locked(m.letter(i))) broken.push_back("the volume of " + m.address(i) + " stays locked");
  }
  return broken;
}

}  // namespace tz::reliability
