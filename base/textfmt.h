// Number and text formats shared by every trace line, debug line and command parser.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// "0x" followed by upper-case hex digits padded to the width of the operand.
std::string HexByte(uint8_t value);
std::string HexWord(uint16_t value);
std::string HexDword(uint32_t value);
std::string HexQword(uint64_t value);
// "0x" followed by as many digits as needed, at least one.
std::string HexMin(uint64_t value);
// The decimal number, a blank, and "(0x" + 8 hex digits + ")".
std::string DecHex(int32_t value);
// "True" or "False".
std::string BoolText(bool value);
// label + "[" + value + "]", for labels that end in " = ".
std::string Bracketed(std::string_view label, std::string_view value);

// The part of text behind the first occurrence of delimiter; the whole text when it does not occur.
std::string TextAfter(std::string_view text, std::string_view delimiter);
// The part of text in front of the first occurrence of delimiter; the whole text when it does not
// occur.
std::string TextBefore(std::string_view text, std::string_view delimiter);
// TextBefore(TextAfter(text, first), second).
std::string TextBetween(std::string_view text, std::string_view first, std::string_view second);

std::string ToUpperAscii(std::string_view text);
std::string ToLowerAscii(std::string_view text);
std::string TrimBlanks(std::string_view text);  // blanks and tabs at both ends
bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

// Hex dump of data in lines of 16 bytes, each handed to sink. With header, a column ruler comes
// first and every data line starts with its offset.
void HexDump(const uint8_t* data, size_t length, bool header,
             const std::function<void(const std::string&)>& sink);
