#include "sim/replay_check.h"

#include <cstdio>
#include <set>
#include <vector>

#include "core/digest.h"

namespace tz::sim {

namespace {

constexpr std::uint8_t op_write_download = 0xEA;
constexpr std::uint8_t op_read_download = 0xE8;

std::string describe_received(const TranscriptCommand& c) {
  std::string text = "at=" + c.address + " cdb=" + hex_bytes(c.cdb, c.cdb_length) +
                     " dir=" + direction_word(c.direction) + " len=" + std::to_string(c.length) + " status=";
  if (c.delivery == TranscriptCommand::Delivery::fail) return text + "fail";
  if (c.delivery == TranscriptCommand::Delivery::hang) return text + "hang";
  char status[32];
  std::snprintf(status, sizeof(status), "%02X", static_cast<unsigned>(c.status));
  text += status;
  if (c.has_sense) {
    std::snprintf(status, sizeof(status), " sense=%02X/%02X/%02X", static_cast<unsigned>(c.sense.key),
                  static_cast<unsigned>(c.sense.asc), static_cast<unsigned>(c.sense.ascq));
    text += status;
  }
  if (c.has_moved) text += " moved=" + std::to_string(c.moved);
  if (c.has_digest) {
    std::snprintf(status, sizeof(status), " digest=%016llX", static_cast<unsigned long long>(c.digest));
    text += status;
  }
  return text;
}

bool parse_digest(const std::string& text, std::uint64_t& digest) {
  if (text.size() != 16) return false;
  digest = 0;
  for (std::size_t i = 0; i < text.size(); i += 2) {
    std::uint8_t byte = 0;
    if (!parse_hex_byte(std::string_view(text).substr(i, 2), byte)) return false;
    digest = (digest << 8) | byte;
  }
  return true;
}

bool same_answer(const TraceCommand& expected, const TranscriptCommand& came) {
  using Delivery = TranscriptCommand::Delivery;
  switch (expected.answer) {
    case TraceAnswer::status:
      if (came.delivery != Delivery::status || came.status != expected.status) return false;
      if (expected.status != status_check_condition) return true;
      return came.sense.key == expected.sense.key && came.sense.asc == expected.sense.asc &&
             came.sense.ascq == expected.sense.ascq;
    case TraceAnswer::fail:
      // Pass-through cannot tell a drive that never answered from a request that failed.
      return came.delivery != Delivery::status;
    case TraceAnswer::timeout:
      return came.delivery == Delivery::hang;
    case TraceAnswer::none:
      return false;
  }
  return false;
}

bool same_command(const TraceCommand& expected, const TranscriptCommand& came) {
  return came.address == expected.address && same_cdb(expected.cdb, came.cdb, came.cdb_length) &&
         came.direction == expected.direction && came.length == expected.length && same_answer(expected, came);
}

bool on_aspi(const std::string& address) { return !(address.size() == 2 && address[1] == ':'); }

// ASPI carries no count of what moved: the program writes the whole length, or 0 for a data
// underrun (GOOD with less than the whole length), however much did move.
bool count_unknown(const TraceCommand& expected) {
  return on_aspi(expected.address) && expected.answer == TraceAnswer::status && expected.status == status_good &&
         expected.direction != Direction::none && expected.length != 0 && expected.moved == 0;
}

bool same_count(const TraceCommand& expected, const TranscriptCommand& came) {
  if (!came.has_moved || expected.answer != TraceAnswer::status) return true;
  if (count_unknown(expected)) return came.moved < expected.length;
  return came.moved == expected.moved;
}

// The digest the trace gives of the data phase, or none to compare: a small reply is written whole
// but for its trailing zero bytes, a read-back only when the program took its answer, and data the
// trace cannot know (an ASPI underrun) are not compared.
bool expected_digest(const TraceCommand& expected, std::uint64_t& digest) {
  if (expected.direction == Direction::none || expected.length == 0) return false;
  if (expected.has_digest) {
    if (expected.direction == Direction::in && count_unknown(expected)) return false;
    digest = expected.digest;
    return true;
  }
  const bool reply = expected.direction == Direction::in && expected.cdb[0] != op_read_download &&
                     expected.cdb[0] != op_write_download && expected.answer == TraceAnswer::status &&
                     expected.length <= trace_data_limit;
  if (!reply || count_unknown(expected)) return false;
  std::vector<std::uint8_t> whole(expected.data);
  whole.resize(expected.length, 0);
  digest = piece_digest(whole.data(), whole.size());
  return true;
}

bool same_data(const TraceCommand& expected, const TranscriptCommand& came) {
  std::uint64_t digest = 0;
  if (!came.has_digest || !expected_digest(expected, digest)) return true;
  return came.digest == digest;
}

std::string mismatch_text(const TraceCommand& expected, const TranscriptCommand& came) {
  std::string text = "command " + std::to_string(expected.n) + " of the trace (line " + std::to_string(expected.line) +
                     "): expected " + describe(expected);
  if (expected.answer == TraceAnswer::status) text += " moved=" + std::to_string(expected.moved);
  text += "; came " + describe_received(came);
  if (came.address != expected.address) {
    text += " (another drive's command)";
  } else if (same_command(expected, came) && !same_count(expected, came)) {
    text += " (another count moved)";
  } else if (same_command(expected, came)) {
    text += expected.direction == Direction::out ? " (other data sent)" : " (other data received)";
  }
  return text;
}

}  // namespace

bool parse_transcript_line(std::string_view line, TranscriptCommand& command) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  const std::size_t blank = line.find(' ');
  if (blank == std::string_view::npos || blank == 0) return false;
  command = TranscriptCommand{};
  command.address = std::string(line.substr(0, blank));
  std::string keyword;
  std::vector<Token> fields;
  std::string error;
  // The address stands where a keyword would.
  if (!tokenize(line.substr(blank + 1), keyword, fields, error) || !keyword.empty()) return false;
  bool has_cdb = false;
  bool has_status = false;
  for (const Token& field : fields) {
    const std::string& v = field.value;
    if (field.key == "cdb") {
      if (v.empty() || v.size() % 2 != 0 || v.size() / 2 > max_cdb_bytes) return false;
      command.cdb_length = static_cast<std::uint32_t>(v.size() / 2);
      for (std::uint32_t i = 0; i < command.cdb_length; ++i) {
        if (!parse_hex_byte(std::string_view(v).substr(std::size_t{2} * i, 2), command.cdb[i])) return false;
      }
      has_cdb = true;
    } else if (field.key == "dir") {
      if (v == "in") {
        command.direction = Direction::in;
      } else if (v == "out") {
        command.direction = Direction::out;
      } else if (v == "none") {
        command.direction = Direction::none;
      } else {
        return false;
      }
    } else if (field.key == "len") {
      if (!parse_number(v, 0xFFFFFFFFu, command.length)) return false;
    } else if (field.key == "status") {
      has_status = true;
      if (v == "fail") {
        command.delivery = TranscriptCommand::Delivery::fail;
      } else if (v == "hang") {
        command.delivery = TranscriptCommand::Delivery::hang;
      } else if (!parse_hex_byte(v, command.status)) {
        return false;
      }
    } else if (field.key == "sense") {
      if (!parse_sense(v, command.sense)) return false;
      command.has_sense = true;
    } else if (field.key == "moved") {
      if (!parse_number(v, 0xFFFFFFFFu, command.moved)) return false;
      command.has_moved = true;
    } else if (field.key == "digest") {
      if (!parse_digest(v, command.digest)) return false;
      command.has_digest = true;
    } else {
      return false;
    }
  }
  // A drive never moves more than the host's buffer holds.
  if (command.has_moved && command.moved > command.length) return false;
  return has_cdb && has_status;
}

CheckResult check_transcript(const TraceFile& trace, std::string_view transcript) {
  CheckResult result;
  std::vector<TranscriptCommand> received;
  std::set<std::string> named;
  std::size_t start = 0;
  std::uint32_t line_number = 0;
  while (start < transcript.size()) {
    const std::string_view line = next_line(transcript, start);
    ++line_number;
    if (line.empty() || line == "\r") continue;
    TranscriptCommand came;
    if (!parse_transcript_line(line, came)) {
      result.difference = "transcript line " + std::to_string(line_number) + " is not a transcript line";
      return result;
    }
    named.insert(came.address);
    received.push_back(std::move(came));
  }

  // The trace's commands that reached a drive, in the order they went out; an address that the
  // transcript never names counts only where a drive answered there.
  std::set<std::string> answered;
  for (const TraceCommand& c : trace.commands) {
    if (c.answer == TraceAnswer::status) answered.insert(c.address);
  }
  std::vector<const TraceCommand*> expected;
  for (const TraceCommand& c : trace.commands) {
    if (c.answer == TraceAnswer::none) continue;
    if (named.count(c.address) != 0 || answered.count(c.address) != 0) expected.push_back(&c);
  }

  std::size_t next = 0;
  for (const TranscriptCommand& came : received) {
    if (next >= expected.size()) {
      result.difference = "after the trace's last command: came " + describe_received(came);
      return result;
    }
    const TraceCommand& e = *expected[next];
    if (!same_command(e, came) || !same_count(e, came) || !same_data(e, came)) {
      result.n = e.n;
      result.difference = mismatch_text(e, came);
      return result;
    }
    ++next;
    ++result.compared;
  }
  if (next < expected.size()) {
    const TraceCommand& missing = *expected[next];
    result.n = missing.n;
    result.difference = "command " + std::to_string(missing.n) + " of the trace (line " + std::to_string(missing.line) +
                        "): expected " + describe(missing) + "; the transcript has nothing more";
    return result;
  }
  result.same = true;
  return result;
}

}  // namespace tz::sim
