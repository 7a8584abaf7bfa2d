#include "base/textfmt.h"

#include <cstdio>

namespace {

std::string HexPadded(uint64_t value, int digits) {
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "0x%0*llX", digits, static_cast<unsigned long long>(value));
  return buffer;
}

char UpperAscii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

std::string HexByte(uint8_t value) {
  return HexPadded(value, 2);
}
std::string HexWord(uint16_t value) {
  return HexPadded(value, 4);
}
std::string HexDword(uint32_t value) {
  return HexPadded(value, 8);
}
std::string HexQword(uint64_t value) {
  return HexPadded(value, 16);
}
std::string HexMin(uint64_t value) {
  return HexPadded(value, 1);
}

std::string DecHex(int32_t value) {
  return std::to_string(value) + " (" + HexDword(static_cast<uint32_t>(value)) + ")";
}

std::string BoolText(bool value) {
  return value ? "True" : "False";
}

std::string Bracketed(std::string_view label, std::string_view value) {
  std::string line(label);
  line += '[';
  line += value;
  line += ']';
  return line;
}

std::string TextAfter(std::string_view text, std::string_view delimiter) {
  const size_t at = text.find(delimiter);
  if (at == std::string_view::npos) return std::string(text);
  return std::string(text.substr(at + delimiter.size()));
}

std::string TextBefore(std::string_view text, std::string_view delimiter) {
  const size_t at = text.find(delimiter);
  if (at == std::string_view::npos) return std::string(text);
  return std::string(text.substr(0, at));
}

std::string TextBetween(std::string_view text, std::string_view first, std::string_view second) {
  return TextBefore(TextAfter(text, first), second);
}

std::string ToUpperAscii(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = UpperAscii(c);
  return result;
}

std::string ToLowerAscii(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = LowerAscii(c);
  return result;
}

std::string TrimBlanks(std::string_view text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
  while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
  return std::string(text.substr(begin, end - begin));
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
  }
  return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

void HexDump(const uint8_t* data, size_t length, bool header,
             const std::function<void(const std::string&)>& sink) {
  // The offset column is as wide as the hex form of the last offset needs.
  int offsetDigits = 1;
  for (size_t last = length > 0 ? length - 1 : 0; last >= 16; last >>= 4) ++offsetDigits;
  char cell[24];
  if (header) {
    std::string ruler(static_cast<size_t>(offsetDigits), ' ');
    for (int column = 0; column < 16; ++column) {
      std::snprintf(cell, sizeof cell, " %02X", column);
      ruler += cell;
    }
    ruler += "\t0123456789ABCDEF";
    sink(ruler);
  }
  for (size_t row = 0; row < length; row += 16) {
    std::string line;
    if (header) {
      std::string offset = HexMin(row).substr(2);
      line += std::string(static_cast<size_t>(offsetDigits) - offset.size(), '0') + offset + ' ';
    }
    std::string text;
    for (size_t column = 0; column < 16; ++column) {
      if (column > 0) line += ' ';
      if (row + column < length) {
        const uint8_t byte = data[row + column];
        std::snprintf(cell, sizeof cell, "%02X", byte);
        line += cell;
        text += (byte >= 0x20 && byte < 0x7F) ? static_cast<char>(byte) : '.';
      } else {
        line += "  ";
        text += ' ';
      }
    }
    line += '\t';
    line += text;
    sink(line);
  }
}
