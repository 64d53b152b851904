#pragma once
// The line grammar that bay files and traces share: a keyword, then key=value fields, each key at
// most once; a value may be quoted to hold blanks, and inside quotes \\ is a backslash, \" a quote
// and \xHH any byte; '#' outside quotes starts a comment.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sim/scsi.h"

namespace tz::sim {

struct Token {
  std::string key;
  std::string value;
};

// The line of `text` that starts at `start`, without its line feed; `start` moves past it.
std::string_view next_line(std::string_view text, std::size_t& start);

// Splits a line into its keyword (empty for a blank or comment line) and its fields; false, with
// the reason, for a line that does not follow the grammar.
bool tokenize(std::string_view line, std::string& keyword, std::vector<Token>& fields, std::string& error);

int hex_digit(char c);
// A number in C notation (decimal, 0x hex) no greater than `limit`, no sign.
bool parse_unsigned(const std::string& text, std::uint64_t limit, std::uint64_t& value);
template <typename T>
bool parse_number(const std::string& text, std::uint64_t limit, T& out) {
  std::uint64_t value = 0;
  if (!parse_unsigned(text, limit, value)) return false;
  out = static_cast<T>(value);
  return true;
}
// Two hex digits.
bool parse_hex_byte(std::string_view text, std::uint8_t& out);
// "KK/AA/QQ" in hex.
bool parse_sense(const std::string& text, Sense& sense);

// A text field as a value that reads back as the same bytes.
std::string quoted(std::string_view text);
// Plain when the text is one plain word, as most are, else quoted.
std::string text_value(std::string_view text);

}  // namespace tz::sim
