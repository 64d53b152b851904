#include "sim/trace_file.h"

#include <cstdio>

namespace tz::sim {

namespace {

// The parameter bytes of the identity read that the program takes from the clock.
constexpr std::uint32_t identity_time_bytes[] = {2, 3, 4, 5, 7, 8};

bool parse_hex(const std::string& text, std::uint8_t* out, std::size_t n) {
  if (text.size() != 2 * n) return false;
  for (std::size_t i = 0; i < n; ++i) {
    if (!parse_hex_byte(std::string_view(text).substr(2 * i, 2), out[i])) return false;
  }
  return true;
}

bool parse_digest(const std::string& text, std::uint64_t& digest) {
  std::uint8_t bytes[8];
  if (!parse_hex(text, bytes, sizeof(bytes))) return false;
  digest = 0;
  for (const std::uint8_t b : bytes) digest = (digest << 8) | b;
  return true;
}

bool parse_signed(const std::string& text, std::int32_t& out) {
  const bool negative = !text.empty() && text[0] == '-';
  std::uint64_t value = 0;
  if (!parse_unsigned(negative ? text.substr(1) : text, 0x7FFFFFFF, value)) return false;
  out = negative ? -static_cast<std::int32_t>(value) : static_cast<std::int32_t>(value);
  return true;
}

bool parse_status(const std::string& text, TraceCommand& c) {
  if (text == "fail") {
    c.answer = TraceAnswer::fail;
  } else if (text == "timeout") {
    c.answer = TraceAnswer::timeout;
  } else if (text == "none") {
    c.answer = TraceAnswer::none;
  } else {
    c.answer = TraceAnswer::status;
    return parse_hex_byte(text, c.status);
  }
  return true;
}

bool parse_direction(const std::string& text, Direction& direction) {
  if (text == "in") {
    direction = Direction::in;
  } else if (text == "out") {
    direction = Direction::out;
  } else if (text == "none") {
    direction = Direction::none;
  } else {
    return false;
  }
  return true;
}

bool parse_command(const std::vector<Token>& fields, TraceCommand& c, std::string& error) {
  bool has_n = false;
  bool has_at = false;
  bool has_cdb = false;
  bool has_dir = false;
  bool has_len = false;
  bool has_status = false;
  for (const Token& field : fields) {
    const std::string& v = field.value;
    bool ok = true;
    if (field.key == "n") {
      ok = has_n = parse_number(v, 0xFFFFFFFFu, c.n);
    } else if (field.key == "at") {
      ok = has_at = !v.empty() && v.size() <= 8;
      c.address = v;
    } else if (field.key == "cdb") {
      ok = has_cdb = parse_hex(v, c.cdb, trace_cdb_bytes);
    } else if (field.key == "dir") {
      ok = has_dir = parse_direction(v, c.direction);
    } else if (field.key == "len") {
      ok = has_len = parse_number(v, trace_length_limit, c.length);
    } else if (field.key == "status") {
      ok = has_status = parse_status(v, c);
    } else if (field.key == "sense") {
      ok = c.has_sense = parse_sense(v, c.sense);
    } else if (field.key == "moved") {
      ok = parse_number(v, trace_length_limit, c.moved);
    } else if (field.key == "ms") {
      ok = parse_number(v, 0xFFFFFFFFu, c.ms);
    } else if (field.key == "digest") {
      ok = c.has_digest = parse_digest(v, c.digest);
    } else if (field.key == "same") {
      ok = v == "yes" || v == "no";
      c.same = v == "yes" ? ReadBack::same : ReadBack::differs;
    } else if (field.key == "data") {
      ok = v.size() % 2 == 0 && v.size() / 2 <= trace_data_limit;
      if (ok) {
        c.data.resize(v.size() / 2);
        ok = parse_hex(v, c.data.data(), c.data.size());
      }
    } else {
      error = "unknown command field '" + field.key + "'";
      return false;
    }
    if (!ok) {
      error = "bad value for " + field.key;
      return false;
    }
  }
  if (!has_n || !has_at || !has_cdb || !has_dir || !has_len || !has_status) {
    error = "a command needs n=, at=, cdb=, dir=, len= and status=";
    return false;
  }
  if (c.data.size() > c.length || c.moved > c.length) {
    error = "a command moves more than its length";
    return false;
  }
  return true;
}

bool parse_result(const std::vector<Token>& fields, TraceFile& trace, std::string& error) {
  for (const Token& field : fields) {
    bool ok = true;
    if (field.key == "code") {
      ok = parse_signed(field.value, trace.result_code);
    } else if (field.key == "message") {
      trace.message = field.value;
    } else if (field.key == "exit") {
      ok = parse_signed(field.value, trace.exit_code);
    }
    if (!ok) {
      error = "bad value for " + field.key;
      return false;
    }
  }
  trace.has_result = true;
  return true;
}

}  // namespace

bool parse_trace(std::string_view text, TraceFile& trace, std::string& error) {
  trace = TraceFile{};
  std::string keyword;
  std::vector<Token> fields;
  std::uint32_t line_number = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::string_view line = next_line(text, start);
    ++line_number;
    std::string problem;
    bool ok = tokenize(line, keyword, fields, problem);
    if (ok && keyword.empty() && !fields.empty()) {
      ok = false;
      problem = "a line starts with a keyword";
    } else if (ok && !keyword.empty() && trace.complete) {
      ok = false;
      problem = "a line after the end line";
    } else if (ok && keyword == "cmd") {
      TraceCommand command;
      command.line = line_number;
      ok = parse_command(fields, command, problem);
      if (ok) trace.commands.push_back(std::move(command));
    } else if (ok && keyword == "program") {
      trace.program = fields;
    } else if (ok && keyword == "system") {
      trace.system = fields;
    } else if (ok && keyword == "switches") {
      const std::string* text_field = field_value(fields, "text");
      trace.has_arguments = text_field != nullptr;
      if (text_field != nullptr) trace.arguments = *text_field;
    } else if (ok && keyword == "result") {
      ok = parse_result(fields, trace, problem);
    } else if (ok && keyword == "before") {
      trace.before.push_back(fields);
    } else if (ok && keyword == "after") {
      trace.after.push_back(fields);
    } else if (ok && keyword == "end") {
      trace.complete = true;
    } else if (ok && keyword != "started" && !keyword.empty()) {
      ok = false;
      problem = "unknown keyword '" + keyword + "'";
    }
    if (!ok) {
      error = "line " + std::to_string(line_number) + ": " + problem;
      return false;
    }
  }
  return true;
}

bool load_trace(const char* path, TraceFile& trace, std::string& error) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) {
    error = std::string("cannot open ") + path;
    return false;
  }
  std::string text;
  char chunk[65536];
  std::size_t n = 0;
  while ((n = std::fread(chunk, 1, sizeof(chunk), file)) != 0) text.append(chunk, n);
  const bool read_whole = std::ferror(file) == 0;
  std::fclose(file);
  if (!read_whole) {
    error = std::string("cannot read ") + path;
    return false;
  }
  return parse_trace(text, trace, error);
}

const std::string* field_value(const std::vector<Token>& fields, std::string_view key) {
  for (const Token& field : fields) {
    if (field.key == key) return &field.value;
  }
  return nullptr;
}

bool is_identity_read(const std::uint8_t* cdb) { return cdb[0] == 0xED && cdb[6] == 0x10; }

bool same_cdb(const std::uint8_t* expected, const std::uint8_t* came, std::uint32_t came_length) {
  if (came_length == 0) return false;
  const bool identity = is_identity_read(expected);
  const std::uint32_t n = came_length < trace_cdb_bytes ? came_length : trace_cdb_bytes;
  for (std::uint32_t i = 0; i < n; ++i) {
    bool from_clock = false;
    for (const std::uint32_t at : identity_time_bytes) from_clock = from_clock || (identity && at == i);
    if (!from_clock && expected[i] != came[i]) return false;
  }
  if (!identity) return true;
  if (came_length <= 8) return false;
  const auto plus = [](std::uint8_t a, unsigned b) { return static_cast<std::uint8_t>(a + b); };
  return came[4] == plus(came[2], 0x5A) && came[5] == plus(came[3], 0xA5) && came[7] == plus(came[2], 0x77) &&
         came[8] == plus(came[3], 0x66);
}

std::string hex_bytes(const std::uint8_t* bytes, std::uint32_t n) {
  static constexpr char digits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(std::size_t{n} * 2);
  for (std::uint32_t i = 0; i < n; ++i) {
    text += digits[bytes[i] >> 4];
    text += digits[bytes[i] & 15];
  }
  return text;
}

std::string describe(const TraceCommand& c) {
  std::string text = "n=" + std::to_string(c.n) + " at=" + c.address + " cdb=" + hex_bytes(c.cdb, trace_cdb_bytes) +
                     " dir=" + direction_word(c.direction) + " len=" + std::to_string(c.length) + " status=";
  char status[24];
  switch (c.answer) {
    case TraceAnswer::status:
      std::snprintf(status, sizeof(status), "%02X", static_cast<unsigned>(c.status));
      break;
    case TraceAnswer::fail:
      std::snprintf(status, sizeof(status), "fail");
      break;
    case TraceAnswer::timeout:
      std::snprintf(status, sizeof(status), "timeout");
      break;
    case TraceAnswer::none:
      std::snprintf(status, sizeof(status), "none");
      break;
  }
  text += status;
  if (c.has_sense) {
    char sense[24];
    std::snprintf(sense, sizeof(sense), " sense=%02X/%02X/%02X", static_cast<unsigned>(c.sense.key),
                  static_cast<unsigned>(c.sense.asc), static_cast<unsigned>(c.sense.ascq));
    text += sense;
  }
  if (c.has_digest) {
    char digest[32];
    std::snprintf(digest, sizeof(digest), " digest=%016llX", static_cast<unsigned long long>(c.digest));
    text += digest;
  }
  return text;
}

}  // namespace tz::sim
