#include "session/patterns.h"

#include <cctype>
#include <climits>

namespace setwright::patterns {
namespace {

bool IsBlank(char c) {
  return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// Length of the run of characters at `pos` that are (or, with `negate`, are not) in `set`.
std::size_t Run(std::string_view text, std::size_t pos, std::string_view set, bool negate) {
  std::size_t n = 0;
  while (pos + n < text.size()) {
    bool inSet = set.find(text[pos + n]) != std::string_view::npos;
    if (inSet == negate) break;
    ++n;
  }
  return n;
}

// A "%[...]" field: one to 99 characters.
std::optional<std::string_view> Field(std::string_view text, std::size_t pos, std::string_view set,
                                      bool negate) {
  if (pos > text.size()) return std::nullopt;
  std::size_t n = Run(text, pos, set, negate);
  if (n == 0 || n > kMaxField) return std::nullopt;
  return text.substr(pos, n);
}

}  // namespace

bool IsBeginningOf(std::string_view part, std::string_view whole) {
  return part.size() <= whole.size() && whole.compare(0, part.size(), part) == 0;
}

std::optional<Banner> ReadBanner(std::string_view buffer) {
  auto lead = Field(buffer, 0, "*", true);
  if (!lead) return std::nullopt;
  auto text = Field(buffer, lead->size(), "\r", true);
  if (!text) return std::nullopt;
  auto ends = Field(buffer, lead->size() + text->size(), "\r\n", false);
  if (!ends) return std::nullopt;
  return Banner{*text, lead->size() + text->size() + ends->size()};
}

bool IsProgramModeBanner(std::string_view banner) {
  std::size_t skipped = Run(banner, 0, "P", true);
  if (skipped == 0) return false;  // "%*[^P]" needs at least one character
  auto text = Field(banner, skipped, "*", true);
  return text && *text == "PROGRAM MODE ";
}

std::optional<std::string_view> ReadLine(std::string_view buffer, std::size_t pos) {
  auto line = Field(buffer, pos, "\r", true);
  if (!line) return std::nullopt;
  if (buffer.substr(pos + line->size(), 2) != "\r\n") return std::nullopt;
  return line;
}

std::optional<std::string_view> ReadIdentification(std::string_view buffer, std::size_t pos) {
  if (pos >= buffer.size() || buffer[pos] != '(') return std::nullopt;
  auto text = Field(buffer, pos + 1, ")", true);
  if (!text) return std::nullopt;
  if (buffer.substr(pos + 1 + text->size(), 3) != ")\r\n") return std::nullopt;
  return text;
}

std::optional<std::string_view> FirstWord(std::string_view text) {
  std::size_t start = 0;
  while (start < text.size() && IsBlank(text[start])) ++start;
  std::size_t end = start;
  while (end < text.size() && !IsBlank(text[end])) ++end;
  if (end == start || end - start > kMaxField) return std::nullopt;
  return text.substr(start, end - start);
}

KeyValue SplitKeyValue(std::string_view line, std::string_view key) {
  KeyValue kv;
  auto k = Field(line, 0, "=", true);
  if (!k) return kv;
  kv.key = *k;
  kv.result = 1;
  if (k->size() >= line.size()) return kv;  // no "="
  auto v = Field(line, k->size() + 1, " ", true);
  if (!v) return kv;
  if (!IsBeginningOf(key, *k)) return KeyValue{};
  kv.value = *v;
  kv.result = 2;
  return kv;
}

std::optional<int> ReadDecimal(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::size_t digits = i;
  long long value = 0;
  while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
    value = value * 10 + (text[i++] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) return std::nullopt;
  }
  if (i == digits) return std::nullopt;
  if (negative) value = -value;
  if (value > INT_MAX || value < INT_MIN) return std::nullopt;
  return static_cast<int>(value);
}

std::optional<unsigned> ReadHex(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  if (text.substr(i, 2) == "0x" || text.substr(i, 2) == "0X") {
    if (i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 2]))) i += 2;
  }
  std::size_t digits = i;
  unsigned long long value = 0;
  while (i < text.size() && std::isxdigit(static_cast<unsigned char>(text[i]))) {
    char c = static_cast<char>(std::toupper(static_cast<unsigned char>(text[i++])));
    value = value * 16 + static_cast<unsigned>(c <= '9' ? c - '0' : c - 'A' + 10);
    if (value > UINT_MAX) return std::nullopt;
  }
  if (i == digits) return std::nullopt;
  return static_cast<unsigned>(value);
}

std::optional<std::string_view> ReadLineAfterBlanks(std::string_view buffer, bool needLineEnd) {
  std::size_t pos = 0;
  while (pos < buffer.size() && IsBlank(buffer[pos])) ++pos;
  if (needLineEnd) return ReadLine(buffer, pos);
  return Field(buffer, pos, "\r", true);
}

Ack ReadAcknowledgement(std::string_view buffer) {
  std::size_t lf = buffer.find('\n');
  std::string_view first = buffer.substr(0, lf);
  if (first.empty() || first.size() > kMaxField) return Ack::NotYet;
  if (lf == std::string_view::npos) {
    // A lone CR is the start of the acknowledgement; its LF is still on the way.
    return first == "\r" ? Ack::NotYet : Ack::Other;
  }
  if (lf + 1 < buffer.size()) return Ack::Other;  // a second line followed
  return first == "\r" ? Ack::EmptyLine : Ack::Other;
}

Ack ReadFirstAcknowledgement(std::string_view buffer) {
  std::size_t lf = buffer.find('\n');
  std::string_view first = buffer.substr(0, lf);
  if (first.empty() || first.size() > kMaxField) return Ack::NotYet;
  if (lf == std::string_view::npos) return first == "\r" ? Ack::NotYet : Ack::Other;
  return first == "\r" ? Ack::EmptyLine : Ack::Other;
}

}  // namespace setwright::patterns
