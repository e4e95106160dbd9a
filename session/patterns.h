// Readers for the line patterns of the devices' program-mode replies. Each mirrors one
// scanf pattern of the protocol, with its quirks, but on a bounded view: every field the
// devices send is held in 100 bytes, so a field of 100 characters or more does not match
// (it is treated like text that has not arrived yet) instead of overrunning anything.
//
// Lines are taken as arrived only with their line end: a reply that the serial layer
// hands over in pieces is never read from a half line.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace setwright::patterns {

// Characters a field may hold; the 100th byte is the terminating zero.
inline constexpr std::size_t kMaxField = 99;

// Is `part` a beginning of `whole` (compared over part's own length)? The empty text is one.
bool IsBeginningOf(std::string_view part, std::string_view whole);

// "%[^*]%[^\r]%[\r\n]" at the start of the buffer: lead-in, banner and the run of line ends.
struct Banner {
  std::string_view text;  // from the first "*" up to the carriage return
  std::size_t length;     // lead-in, banner and line-end run together
};
std::optional<Banner> ReadBanner(std::string_view buffer);

// "%*[^P]%[^*]" on the banner equals "PROGRAM MODE " exactly.
bool IsProgramModeBanner(std::string_view banner);

// "%[^\r]\r\n" at `pos`: one to 99 characters other than CR, followed by CR LF.
std::optional<std::string_view> ReadLine(std::string_view buffer, std::size_t pos);

// "(%[^)]" at `pos`, followed by ")\r\n": the text between the parentheses.
std::optional<std::string_view> ReadIdentification(std::string_view buffer, std::size_t pos);

// "%s": the first word of the text, blanks skipped.
std::optional<std::string_view> FirstWord(std::string_view text);

// "%[^=]=%[^ ]" with the key check: 2 when key and value are there and the key begins
// with `key`; 1 when only the key part matched (the value is then empty); 0 otherwise.
struct KeyValue {
  int result = 0;
  std::string_view key;
  std::string_view value;
};
KeyValue SplitKeyValue(std::string_view line, std::string_view key);

// "%d": optional blanks, an optional sign and decimal digits (a text that starts with a
// number reads as that number). Numbers beyond the int range do not read.
std::optional<int> ReadDecimal(std::string_view text);

// "%x": optional blanks, an optional "0x" and hexadecimal digits.
std::optional<unsigned> ReadHex(std::string_view text);

// Whitespace, then "%[^\r]": a reply line after any run of line ends, as "\r\n%[^\r]\r\n"
// reads it. With `needLineEnd` the line counts only once its CR LF has arrived.
std::optional<std::string_view> ReadLineAfterBlanks(std::string_view buffer, bool needLineEnd);

// "%[^\n]\n%[^\n]": the keyboard-to-serial acknowledgement.
enum class Ack { NotYet, EmptyLine, Other };
Ack ReadAcknowledgement(std::string_view buffer);

// "%[^\n]\n": only the first line of the buffer counts; whatever follows it (a repeated
// acknowledgement, the banner sent right behind it) is left to the next reader.
Ack ReadFirstAcknowledgement(std::string_view buffer);

}  // namespace setwright::patterns
