#include "sim/tool/explain.h"

#include <cstdio>
#include <vector>

#include "sim/firmware.h"
#include "sim/scsi.h"

namespace tz::sim {

namespace {

constexpr std::uint32_t piece_header_bytes = 48;

enum class Kind : std::uint8_t { search, preparation, write, read_back, rewrite, verify, other };

// The command's kind as the drive knows it (sim/scsi.h), folded into the update's phases.
Kind kind_of(const TraceCommand& c) {
  switch (classify_command(c.cdb)) {
    case CommandKind::test_unit_ready:
    case CommandKind::inquiry:
    case CommandKind::start_stop:
    case CommandKind::event_status:
    case CommandKind::vendor_status:
    case CommandKind::identity:
      return Kind::search;
    case CommandKind::prepare:
      return Kind::preparation;
    case CommandKind::write:
      return Kind::write;
    case CommandKind::read:
      return Kind::read_back;
    case CommandKind::rewrite:
      return Kind::rewrite;
    case CommandKind::verify:
      return Kind::verify;
    default:
      return Kind::other;
  }
}

const char* command_name(const TraceCommand& c) {
  switch (classify_command(c.cdb)) {
    case CommandKind::test_unit_ready:
      return "TEST UNIT READY";
    case CommandKind::inquiry:
      return "INQUIRY";
    case CommandKind::start_stop:
      return "START STOP UNIT (tray)";
    case CommandKind::event_status:
      return "GET EVENT STATUS NOTIFICATION";
    case CommandKind::vendor_status:
      return "vendor status read (FC)";
    case CommandKind::identity:
      return "identity block read (ED 10)";
    case CommandKind::prepare:
      return "boot-mode command (ED 01)";
    case CommandKind::write:
      return "download write (EA)";
    case CommandKind::read:
      return "download read-back (E8)";
    case CommandKind::rewrite:
      return "ROM rewrite (F5)";
    case CommandKind::verify:
      return "ROM verify (F5, mode 40)";
    default:
      return "command";
  }
}

std::uint32_t be24(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | std::uint32_t{p[2]};
}

// Where a download piece ends in the download area: its offset (CDB bytes 3-5) plus its length
// (bytes 6-8) less the piece header.
std::uint32_t piece_end(const TraceCommand& c) {
  const std::uint32_t total = be24(c.cdb + 6);
  return be24(c.cdb + 3) + (total > piece_header_bytes ? total - piece_header_bytes : 0);
}

bool sent(const TraceCommand& c) { return c.answer != TraceAnswer::none; }
bool good(const TraceCommand& c) { return c.answer == TraceAnswer::status && c.status == 0; }
bool unanswered(const TraceCommand& c) { return c.answer == TraceAnswer::fail || c.answer == TraceAnswer::timeout; }

std::string hex2(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof(text), "%02X", value & 0xFFu);
  return text;
}

// "GOOD", "CHECK CONDITION 05/24/00 (ILLEGAL REQUEST: invalid field in CDB)", "no answer (fail)".
std::string answer_words(const TraceCommand& c) {
  switch (c.answer) {
    case TraceAnswer::fail:
      return "no answer (the request failed in the transport)";
    case TraceAnswer::timeout:
      return "no answer (the wait gave up)";
    case TraceAnswer::none:
      return "reached no drive";
    case TraceAnswer::status:
      break;
  }
  if (c.status == 0) return "GOOD";
  if (c.status == 0x02) {
    std::string text = "CHECK CONDITION";
    if (c.has_sense) {
      text += " " + hex2(c.sense.key) + "/" + hex2(c.sense.asc) + "/" + hex2(c.sense.ascq) + " (" +
              sense_key_name(c.sense.key);
      const std::string words = sense_code_words(c.sense.asc, c.sense.ascq);
      text += words.empty() ? ": a code this drive family does not report" : ": " + words;
      text += ")";
    }
    return text;
  }
  if (c.status == 0x08) return "BUSY";
  return "status " + hex2(c.status);
}

// The answers of a phase's requests, counted in order of first appearance: "GOOD 1, CHECK ... 2".
std::string tally(const std::vector<const TraceCommand*>& commands) {
  std::vector<std::pair<std::string, unsigned>> counts;
  for (const TraceCommand* c : commands) {
    const std::string words = answer_words(*c);
    bool found = false;
    for (auto& [text, n] : counts) {
      if (text == words) {
        ++n;
        found = true;
      }
    }
    if (!found) counts.emplace_back(words, 1);
  }
  std::string text;
  for (const auto& [words, n] : counts) {
    if (!text.empty()) text += ", ";
    text += words + " x" + std::to_string(n);
  }
  return text;
}

std::string plural(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string field_or(const std::vector<Token>& fields, std::string_view key, const char* otherwise) {
  const std::string* value = field_value(fields, key);
  return value != nullptr ? *value : otherwise;
}

// The last request's answer as the new footer's after line words it: none, good, check, no-answer.
const char* footer_word(const std::vector<const TraceCommand*>& commands) {
  if (commands.empty()) return "none";
  const TraceCommand& last = *commands.back();
  if (good(last)) return "good";
  if (unanswered(last)) return "no-answer";
  return "check";
}

}  // namespace

const char* verdict_words(RomVerdict verdict) {
  switch (verdict) {
    case RomVerdict::untouched:
      return "untouched";
    case RomVerdict::rewritten_and_verified:
      return "rewritten and verified";
    case RomVerdict::rewritten_not_verified:
      return "rewritten, not verified";
    case RomVerdict::unknown:
      return "unknown";
  }
  return "unknown";
}

const char* sense_key_name(std::uint8_t key) {
  static constexpr const char* names[16] = {"NO SENSE",         "RECOVERED ERROR", "NOT READY",      "MEDIUM ERROR",
                                            "HARDWARE ERROR",   "ILLEGAL REQUEST", "UNIT ATTENTION", "DATA PROTECT",
                                            "BLANK CHECK",      "VENDOR SPECIFIC", "COPY ABORTED",   "ABORTED COMMAND",
                                            "EQUAL (obsolete)", "VOLUME OVERFLOW", "MISCOMPARE",     "RESERVED"};
  return names[key & 0x0F];
}

const char* sense_code_words(std::uint8_t asc, std::uint8_t ascq) {
  struct Code {
    std::uint8_t asc;
    std::uint8_t ascq;
    const char* words;
  };
  // The SPC and MMC codes this drive family reports, and those a transport or replay adds.
  static constexpr Code codes[] = {
      {0x00, 0x00, "no additional sense information"},
      {0x04, 0x00, "logical unit not ready, cause not reportable"},
      {0x04, 0x01, "logical unit is in process of becoming ready (restarting into its boot code)"},
      {0x04, 0x02, "logical unit not ready, initializing command required"},
      {0x04, 0x07, "logical unit not ready, operation in progress"},
      {0x0C, 0x00, "write error"},
      {0x11, 0x00, "unrecovered read error"},
      {0x1D, 0x00, "miscompare during verify operation: the ROM differs from the downloaded image"},
      {0x20, 0x00, "invalid command operation code"},
      {0x21, 0x00, "logical block address out of range"},
      {0x24, 0x00, "invalid field in CDB"},
      {0x26, 0x00, "invalid field in parameter list: the image or a piece header failed a check"},
      {0x28, 0x00, "not ready to ready change, medium may have changed"},
      {0x29, 0x00, "power on, reset, or bus device reset occurred"},
      {0x2C, 0x00, "command sequence error: not in download mode, or nothing downloaded"},
      {0x3A, 0x00, "medium not present"},
      {0x3A, 0x01, "medium not present, tray closed"},
      {0x3A, 0x02, "medium not present, tray open"},
      {0x44, 0x00, "internal target failure"},
      {0x4B, 0x00, "data phase error"},
      {0x53, 0x00, "media load or eject failed"},
      {0x5A, 0x01, "operator medium removal request"},
      {0x80, 0x00, "vendor specific (a replayed drive: the command is not the trace's)"},
  };
  for (const Code& code : codes) {
    if (code.asc == asc && code.ascq == ascq) return code.words;
  }
  return "";
}

std::string explain(const TraceFile& trace, RomVerdict& verdict) {
  std::vector<const TraceCommand*> search;
  std::vector<const TraceCommand*> preparation;
  std::vector<const TraceCommand*> rewrites;
  std::vector<const TraceCommand*> verifies;
  std::size_t writes = 0;
  std::size_t reads = 0;
  std::size_t passes = 0;
  std::size_t differed = 0;
  std::size_t download_failures = 0;
  std::size_t others = 0;
  std::size_t polls = 0;
  const TraceCommand* last_failing = nullptr;
  std::string updated_at;
  for (const TraceCommand& c : trace.commands) {
    if (c.answer == TraceAnswer::none) continue;
    if (!good(c)) last_failing = &c;
    switch (kind_of(c)) {
      case Kind::search:
        // Tray and unit polls during the update are not the search.
        if (updated_at.empty()) {
          search.push_back(&c);
        } else {
          ++polls;
        }
        break;
      case Kind::preparation:
        preparation.push_back(&c);
        if (updated_at.empty()) updated_at = c.address;
        break;
      case Kind::write:
        ++writes;
        if (be24(c.cdb + 3) == 0) ++passes;
        if (!good(c)) ++download_failures;
        if (updated_at.empty()) updated_at = c.address;
        break;
      case Kind::read_back:
        ++reads;
        if (c.same == ReadBack::differs) ++differed;
        if (!good(c)) ++download_failures;
        break;
      case Kind::rewrite:
        rewrites.push_back(&c);
        break;
      case Kind::verify:
        verifies.push_back(&c);
        break;
      case Kind::other:
        ++others;
        break;
    }
  }

  std::string out;
  // The drive: what the search found, and which of them the update talked to.
  if (trace.before.empty()) {
    out += "drive        none answered INQUIRY\n";
  }
  for (const std::vector<Token>& before : trace.before) {
    const std::string at = field_or(before, "at", "?");
    out += "drive        " + at + " \"" + field_or(before, "vendor", "") + "\" \"" + field_or(before, "product", "") +
           "\" revision " + field_or(before, "revision", "?") + ", identity " +
           field_or(before, "identity", "not read");
    if (at == updated_at) out += "; the drive the update talked to";
    out += "\n";
  }
  out += "run          " + field_or(trace.system, "transport", "unknown transport") + " on " +
         field_or(trace.system, "os", "an unknown system") + ", " + field_or(trace.system, "language", "?") +
         "; switches \"" + (trace.has_arguments ? trace.arguments : std::string("?")) + "\"; program " +
         field_or(trace.program, "version", "?") + "\n";
  if (trace.has_result) {
    out += "result       exit code " + std::to_string(trace.exit_code) + ", result code " +
           std::to_string(trace.result_code) + (trace.message.empty() ? "" : " \"" + trace.message + "\"") + "\n";
  } else {
    out += "result       none: the trace ends without its footer (the run was cut off)\n";
  }
  if (!trace.complete && trace.has_result) out += "             the trace has no end line: it was cut off\n";

  // The phases reached, each with its attempts.
  if (!search.empty()) out += "search       " + plural(search.size(), "command", "commands") + "\n";
  if (!preparation.empty()) {
    out += "preparation  " + plural(preparation.size(), "boot-mode request", "boot-mode requests") + ": " +
           tally(preparation) + "\n";
  }
  if (writes + reads != 0) {
    out += "download     " + plural(passes, "pass", "passes") + ": " + std::to_string(writes) + " pieces written, " +
           std::to_string(reads) + " read back";
    if (differed != 0) out += ", " + std::to_string(differed) + " read back different";
    if (download_failures != 0) out += ", " + std::to_string(download_failures) + " not answered GOOD";
    out += "\n";
  }
  if (!rewrites.empty()) {
    out += "rewrite      " + plural(rewrites.size(), "request", "requests") + ": " + tally(rewrites) + "\n";
  }
  if (!verifies.empty()) {
    out += "verify       " + plural(verifies.size(), "request", "requests") + ": " + tally(verifies) + "\n";
  }
  if (polls != 0) out += "polls        " + plural(polls, "status command", "status commands") + " during the update\n";
  if (others != 0) out += "other        " + plural(others, "command", "commands") + " of no phase above\n";
  if (last_failing != nullptr) {
    out += "last failing n=" + std::to_string(last_failing->n) + " at " + last_failing->address + " " +
           command_name(*last_failing) + " -> " + answer_words(*last_failing) + "\n";
  } else {
    out += "last failing none: every command sent was answered GOOD\n";
  }

  // The verdict on the ROM, from the rewrite and verify requests alone.
  std::string why;
  if (rewrites.empty()) {
    verdict = RomVerdict::untouched;
    why = "no rewrite request was sent";
    const TraceCommand* last = nullptr;
    for (const TraceCommand& c : trace.commands) {
      if (sent(c)) last = &c;
    }
    // A command's line is written once it has been answered: a run cut off during its rewrite
    // ends with the read-back of the download's last piece.
    if (!trace.complete && last != nullptr && kind_of(*last) == Kind::read_back && good(*last) &&
        piece_end(*last) >= download_area_bytes) {
      verdict = RomVerdict::unknown;
      why =
          "the trace was cut off right after the whole image was downloaded: a rewrite request may have been under way";
    } else if (writes != 0) {
      why = "nothing went past the download";
    }
  } else {
    const TraceCommand& last = *rewrites.back();
    bool any_unanswered = false;
    for (const TraceCommand* c : rewrites) any_unanswered = any_unanswered || unanswered(*c);
    if (good(last)) {
      const TraceCommand* last_verify = nullptr;
      for (const TraceCommand* v : verifies) {
        if (v->n > last.n) last_verify = v;
      }
      if (last_verify != nullptr && good(*last_verify)) {
        verdict = RomVerdict::rewritten_and_verified;
        why = "rewrite n=" + std::to_string(last.n) + " GOOD, verify n=" + std::to_string(last_verify->n) + " GOOD";
      } else {
        verdict = RomVerdict::rewritten_not_verified;
        why = "rewrite n=" + std::to_string(last.n) + " GOOD; " +
              (last_verify == nullptr
                   ? std::string("no verify after it")
                   : "the last verify n=" + std::to_string(last_verify->n) + ": " + answer_words(*last_verify));
      }
    } else if (unanswered(last)) {
      verdict = RomVerdict::unknown;
      why = "rewrite n=" + std::to_string(last.n) + ": " + answer_words(last) + "; the ROM may be half written";
    } else if (any_unanswered) {
      verdict = RomVerdict::unknown;
      why = "an earlier rewrite request had no answer; the last one was refused";
    } else {
      verdict = RomVerdict::untouched;
      why = "the drive refused every rewrite request (" + tally(rewrites) + "); it keeps its old firmware";
    }
  }
  out += std::string("ROM          ") + verdict_words(verdict) + ": " + why + "\n";

  // The footer's own account: the new after line names the last rewrite and verify answers, the
  // older one the drive's revision read again at the end.
  for (const std::vector<Token>& after : trace.after) {
    const std::string* rewrite = field_value(after, "rewrite");
    const std::string* verify = field_value(after, "verify");
    if (rewrite != nullptr || verify != nullptr) {
      out += "footer       after " + field_or(after, "at", "?") + " rewrite=" + field_or(after, "rewrite", "?") +
             " verify=" + field_or(after, "verify", "?");
      const bool agrees = (rewrite == nullptr || *rewrite == footer_word(rewrites)) &&
                          (verify == nullptr || *verify == footer_word(verifies));
      out += agrees ? "\n" : "; the command lines say otherwise\n";
    } else if (field_or(after, "asked", "") == "no") {
      out += "footer       after " + field_or(after, "at", "?") +
             " not asked again at the end: its last command went unanswered\n";
    } else {
      out += "footer       after " + field_or(after, "at", "?") + " revision " + field_or(after, "revision", "?") +
             ", identity " + field_or(after, "identity", "?") + " (read from the drive at the end)\n";
    }
  }
  return out;
}

int explain_main(const char* program, int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s TRACE\n", program);
    return 2;
  }
  TraceFile trace;
  std::string error;
  if (!load_trace(argv[1], trace, error)) {
    std::fprintf(stderr, "%s: %s: %s\n", program, argv[1], error.c_str());
    return 2;
  }
  RomVerdict verdict = RomVerdict::unknown;
  const std::string text = explain(trace, verdict);
  std::fputs(text.c_str(), stdout);
  return 0;
}

}  // namespace tz::sim
