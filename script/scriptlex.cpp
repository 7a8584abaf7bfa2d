#include "script/scriptlex.h"

#include "base/textfmt.h"

namespace script {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// digits in base 10 or 16, all of them, no sign; nullopt when empty, malformed or above 32 bits.
std::optional<uint32_t> ParseDigits(std::string_view digits, uint32_t base) {
  if (digits.empty()) return std::nullopt;
  uint64_t value = 0;
  for (char c : digits) {
    const int digit = HexDigit(c);
    if (digit < 0 || static_cast<uint32_t>(digit) >= base) return std::nullopt;
    value = value * base + static_cast<uint32_t>(digit);
    if (value > 0xFFFFFFFFull) return std::nullopt;
  }
  return static_cast<uint32_t>(value);
}

}  // namespace

std::string NormaliseScript(std::string_view text) {
  std::string result = ToUpperAscii(TrimBlanks(text));
  for (char& c : result)
    if (c == ',' || c == '(' || c == ')') c = ' ';
  while (!result.empty() && result.back() == ';') result.pop_back();
  return result;
}

std::vector<std::string> SplitCommandList(std::string_view list) {
  std::string rest = TrimBlanks(list);
  size_t skip = 0;
  while (skip < rest.size() && rest[skip] == ';') ++skip;
  rest = TrimBlanks(std::string_view(rest).substr(skip));

  std::vector<std::string> commands;
  std::string_view text = rest;
  for (size_t semicolon; (semicolon = text.find(';')) != std::string_view::npos;) {
    commands.push_back(TrimBlanks(text.substr(0, semicolon)));
    text.remove_prefix(semicolon + 1);
  }
  std::string last = TrimBlanks(text);
  if (!last.empty()) commands.push_back(std::move(last));
  return commands;
}

std::vector<std::string> SplitOperandTokens(std::string_view text) {
  std::vector<std::string> tokens;
  size_t at = 0;
  while (true) {
    while (at < text.size() && IsBlank(text[at])) ++at;
    if (at == text.size()) break;
    if (text[at] == '"') {
      const size_t close = text.find('"', at + 1);
      const size_t end = close == std::string_view::npos ? text.size() : close;
      tokens.emplace_back(text.substr(at + 1, end - at - 1));
      at = close == std::string_view::npos ? text.size() : close + 1;
    } else {
      const size_t begin = at;
      while (at < text.size() && !IsBlank(text[at])) ++at;
      tokens.emplace_back(text.substr(begin, at - begin));
    }
  }
  return tokens;
}

std::optional<uint32_t> ParseNumber(std::string_view token) {
  // The assembler-style form: 2EH is 0x2E.
  std::string text(token);
  if (!StartsWithNoCase(text, "0X") && !text.empty() && (text.back() == 'H' || text.back() == 'h'))
    text = "0x" + text.substr(0, text.size() - 1);

  std::string_view body = text;
  const bool negative = !body.empty() && body.front() == '-';
  if (negative) body.remove_prefix(1);

  std::optional<uint32_t> value;
  if (StartsWithNoCase(body, "0X"))
    value = ParseDigits(body.substr(2), 16);
  else if (!body.empty() && body.front() == '$')
    value = ParseDigits(body.substr(1), 16);
  else
    value = ParseDigits(body, 10);
  if (!value) return std::nullopt;
  return negative ? 0u - *value : *value;
}

bool ParseByteList(std::string_view text, std::string& bytes) {
  const std::vector<std::string> items = SplitOperandTokens(text);
  if (items.empty() || items.size() > 256) return false;
  bytes.clear();
  for (const std::string& item : items) {
    const std::optional<uint32_t> value = ParseNumber(item);
    if (!value || *value > 0xFF) return false;
    bytes += static_cast<char>(*value);
  }
  return true;
}

std::optional<int> ParseLocalIndex(std::string_view text) {
  if (!StartsWithNoCase(text, "LOCAL")) return std::nullopt;
  const std::optional<uint32_t> index = ParseDigits(text.substr(5), 16);
  if (!index || *index >= kLocalCount) return std::nullopt;
  return static_cast<int>(*index);
}

size_t FindBlank(std::string_view text) {
  for (size_t i = 0; i < text.size(); ++i)
    if (IsBlank(text[i])) return i;
  return std::string_view::npos;
}

}  // namespace script
