// The text layer of the register-level script language: normalising a script, cutting command
// lists and operand tokens, and reading numbers and local indexes. Pure functions over text; the
// interpreter keeps all run state.
//
//   script   := { block | list }
//   block    := "CMDS{" list "}" | "WAIT{" operand " " operand " " list "}"
//             | "LOOP{" operand " " list "}"
//   list     := command { ";" command }
//   command  := local | "BKIF0" command | "BKIF1" command | "RESULT" | "RWEXIT" | "LOGFILE"
//             | "RDTSC" ... | keyword " " operand { " " operand }
//   local    := "LOCAL" hexdigit+ [ "=" [ operand | command ] ]
//   operand  := "LOCAL" hexdigit+ | number | '"' text '"' | text
//   number   := [ "-" ] ( decimal | ( "0X" | "$" ) hexdigit+ | hexdigit+ "H" )
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace script {

constexpr int kLocalCount = 16;

inline bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// Trims, upper-cases (keywords, hex digits and text operands become case-insensitive), turns
// ",", "(" and ")" into blanks and drops the ";" characters at the end.
std::string NormaliseScript(std::string_view text);

// list := command { ";" command }
// Leading blanks and ";" are skipped. Every piece in front of a ";" is a command, so ";;" yields
// an empty one; the text after the last ";" is a command only when it is not blank, so a list may
// end in ";".
std::vector<std::string> SplitCommandList(std::string_view list);

// operands := token { blank token }, token := '"' text '"' | text
// A double-quoted stretch is one token without its quotes (an unclosed quote runs to the end).
std::vector<std::string> SplitOperandTokens(std::string_view text);

// number := [ "-" ] ( decimal | ( "0X" | "$" ) hexdigit+ | hexdigit+ "H" )
// A whole token as a 32-bit value; a leading "-" gives the two's complement. Nothing else is a
// number: "2E" without its "H" is not.
std::optional<uint32_t> ParseNumber(std::string_view token);

// bytelist := number { blank number }
// FMEM's pattern: 1 to 256 numbers from 0 to 255. False for anything else, which is then searched
// as text.
bool ParseByteList(std::string_view text, std::string& bytes);

// local := "LOCAL" hexdigit+
// The index that follows "LOCAL" in text (which must start with it), when it is a hexadecimal
// number from 0 to 15 with nothing else around it.
std::optional<int> ParseLocalIndex(std::string_view text);

// Position of the first blank, or npos.
size_t FindBlank(std::string_view text);

}  // namespace script
