#include "sim/fields.h"

#include <cerrno>
#include <cstdlib>

namespace tz::sim {

std::string_view next_line(std::string_view text, std::size_t& start) {
  const std::size_t end = text.find('\n', start);
  const std::string_view line =
      text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
  start = end == std::string_view::npos ? text.size() : end + 1;
  return line;
}

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// The rest of a quoted value from `i` (just past the opening quote) up to its closing quote.
// Inside quotes \\ is a backslash, \" a quote and \xHH any byte; a backslash before anything else
// stands for itself, as it did before values had escapes.
bool read_quoted(std::string_view line, std::size_t& i, std::string& value) {
  while (i < line.size() && line[i] != '"') {
    if (line[i] == '\\' && i + 1 < line.size()) {
      const char next = line[i + 1];
      // A value that ends in a backslash was written as \" before values had escapes: with no
      // quote after it on the line, that quote closes the value.
      const bool closes = next == '"' && line.find('"', i + 2) == std::string_view::npos;
      if (next == '\\' || (next == '"' && !closes)) {
        value += next;
        i += 2;
        continue;
      }
      if (next == 'x' && i + 3 < line.size() && hex_digit(line[i + 2]) >= 0 && hex_digit(line[i + 3]) >= 0) {
        value += static_cast<char>(hex_digit(line[i + 2]) * 16 + hex_digit(line[i + 3]));
        i += 4;
        continue;
      }
    }
    value += line[i++];
  }
  if (i >= line.size()) return false;
  ++i;
  return true;
}

bool plain_byte(unsigned char c) { return c > 0x20 && c < 0x7F && c != '"' && c != '\\' && c != '#'; }

}  // namespace

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool tokenize(std::string_view line, std::string& keyword, std::vector<Token>& fields, std::string& error) {
  keyword.clear();
  fields.clear();
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && is_blank(line[i])) ++i;
    if (i >= line.size() || line[i] == '#') break;
    std::string key;
    while (i < line.size() && line[i] != '=' && !is_blank(line[i])) key += line[i++];
    if (keyword.empty() && fields.empty() && (i >= line.size() || line[i] != '=')) {
      keyword = key;
      continue;
    }
    if (i >= line.size() || line[i] != '=') {
      error = "'" + key + "' needs a value (key=value)";
      return false;
    }
    ++i;
    std::string value;
    if (i < line.size() && line[i] == '"') {
      ++i;
      if (!read_quoted(line, i, value)) {
        error = "unterminated quote after '" + key + "='";
        return false;
      }
      if (i < line.size() && !is_blank(line[i]) && line[i] != '#') {
        error = "a blank must follow the closing quote of '" + key + "='";
        return false;
      }
    } else {
      while (i < line.size() && !is_blank(line[i])) value += line[i++];
    }
    for (const Token& earlier : fields) {
      if (earlier.key == key) {
        error = "'" + key + "' is given twice";
        return false;
      }
    }
    fields.push_back({key, value});
  }
  return true;
}

bool parse_unsigned(const std::string& text, std::uint64_t limit, std::uint64_t& value) {
  if (text.empty() || text[0] == '-' || text[0] == '+') return false;
  errno = 0;
  char* end = nullptr;
  const unsigned long long parsed = std::strtoull(text.c_str(), &end, 0);
  if (errno != 0 || end == nullptr || *end != '\0' || parsed > limit) return false;
  value = parsed;
  return true;
}

bool parse_hex_byte(std::string_view text, std::uint8_t& out) {
  if (text.size() != 2) return false;
  const int high = hex_digit(text[0]);
  const int low = hex_digit(text[1]);
  if (high < 0 || low < 0) return false;
  out = static_cast<std::uint8_t>(high * 16 + low);
  return true;
}

bool parse_sense(const std::string& text, Sense& sense) {
  if (text.size() != 8 || text[2] != '/' || text[5] != '/') return false;
  const std::string_view view(text);
  return parse_hex_byte(view.substr(0, 2), sense.key) && parse_hex_byte(view.substr(3, 2), sense.asc) &&
         parse_hex_byte(view.substr(6, 2), sense.ascq);
}

std::string quoted(std::string_view text) {
  static constexpr char digits[] = "0123456789ABCDEF";
  std::string value = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      value += '\\';
      value += c;
    } else if (byte < 0x20 || byte >= 0x7F) {
      value += "\\x";
      value += digits[byte >> 4];
      value += digits[byte & 15];
    } else {
      value += c;
    }
  }
  return value + "\"";
}

std::string text_value(std::string_view text) {
  bool plain = !text.empty();
  for (const char c : text) plain = plain && plain_byte(static_cast<unsigned char>(c));
  return plain ? std::string(text) : quoted(text);
}

}  // namespace tz::sim
