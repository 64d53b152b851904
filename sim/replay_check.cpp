#include "sim/replay_check.h"

#include <cstdio>
#include <map>
#include <vector>

namespace tz::sim {

namespace {

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
  return text;
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
  return same_cdb(expected.cdb, came.cdb, came.cdb_length) && came.direction == expected.direction &&
         came.length == expected.length && same_answer(expected, came);
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
        if (!parse_hex_byte(std::string_view(v).substr(2 * i, 2), command.cdb[i])) return false;
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
    } else {
      return false;
    }
  }
  return has_cdb && has_status;
}

CheckResult check_transcript(const TraceFile& trace, std::string_view transcript) {
  CheckResult result;
  // The trace's commands that reached a drive, per address, and whether any was answered there.
  struct Stream {
    std::vector<const TraceCommand*> expected;
    bool answered = false;
    bool named = false;  // the transcript names the address
    std::size_t next = 0;
  };
  std::map<std::string, Stream> streams;
  for (const TraceCommand& c : trace.commands) {
    if (c.answer == TraceAnswer::none) continue;
    Stream& s = streams[c.address];
    s.expected.push_back(&c);
    s.answered = s.answered || c.answer == TraceAnswer::status;
  }

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
    Stream& s = streams[came.address];
    s.named = true;
    if (s.next >= s.expected.size()) {
      result.difference = "after the trace's last command for " + came.address + ": came " + describe_received(came);
      return result;
    }
    const TraceCommand& expected = *s.expected[s.next];
    if (!same_command(expected, came)) {
      result.n = expected.n;
      result.difference = "command " + std::to_string(expected.n) + " of the trace (line " +
                          std::to_string(expected.line) + "): expected " + describe(expected) + "; came " +
                          describe_received(came);
      return result;
    }
    ++s.next;
    ++result.compared;
  }
  // What the trace holds beyond the transcript: the earliest command that never came.
  const TraceCommand* missing = nullptr;
  for (const auto& [address, s] : streams) {
    if (!s.named && !s.answered) continue;
    if (s.next < s.expected.size() && (missing == nullptr || s.expected[s.next]->n < missing->n)) {
      missing = s.expected[s.next];
    }
  }
  if (missing != nullptr) {
    result.n = missing->n;
    result.difference = "command " + std::to_string(missing->n) + " of the trace (line " +
                        std::to_string(missing->line) + "): expected " + describe(*missing) +
                        "; the transcript has nothing more for " + missing->address;
    return result;
  }
  result.same = true;
  return result;
}

}  // namespace tz::sim
