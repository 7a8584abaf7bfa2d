#include "assets/artwork/strokefont.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace artwork {

namespace {

// Strokes are separated by '|', points by blanks, coordinates by ','; y grows downwards.
struct TGlyph {
  char32_t Code;
  float Advance;  // grid units
  const char* Strokes;
};

// Latin: capitals 6 units high, 4 wide, with chamfered corners for a technical look.
constexpr TGlyph LatinGlyphs[] = {
    {U'A', 4, "0,6 0,0.8 0.8,0 3.2,0 4,0.8 4,6|0,3.7 4,3.7"},
    {U'B', 4, "0,3 3.2,3 4,3.8 4,5.2 3.2,6 0,6 0,0 3,0 3.8,0.8 3.8,2.2 3,3"},
    {U'C', 4, "4,0.8 3.2,0 0.8,0 0,0.8 0,5.2 0.8,6 3.2,6 4,5.2"},
    {U'D', 4, "0,0 3,0 4,1 4,5 3,6 0,6 0,0"},
    {U'E', 4, "4,0 0,0 0,6 4,6|0,3 3,3"},
    {U'F', 4, "4,0 0,0 0,6|0,3 3,3"},
    {U'G', 4, "4,0.8 3.2,0 0.8,0 0,0.8 0,5.2 0.8,6 3.2,6 4,5.2 4,3.3 2.2,3.3"},
    {U'H', 4, "0,0 0,6|4,0 4,6|0,3 4,3"},
    {U'I', 0, "0,0 0,6"},
    {U'J', 4, "4,0 4,5.2 3.2,6 0.8,6 0,5.2 0,4.4"},
    {U'K', 4, "0,0 0,6|4,0 1,3 0,3|1,3 4,6"},
    {U'L', 3.6f, "0,0 0,6 3.6,6"},
    {U'M', 5, "0,6 0,0 2.5,3.4 5,0 5,6"},
    {U'N', 4, "0,6 0,0 4,6 4,0"},
    {U'O', 4, "0.8,0 3.2,0 4,0.8 4,5.2 3.2,6 0.8,6 0,5.2 0,0.8 0.8,0"},
    {U'P', 4, "0,6 0,0 3.2,0 4,0.8 4,2.5 3.2,3.3 0,3.3"},
    {U'Q', 4, "0.8,0 3.2,0 4,0.8 4,5.2 3.2,6 0.8,6 0,5.2 0,0.8 0.8,0|2.6,4.6 4,6.2"},
    {U'R', 4, "0,6 0,0 3.2,0 4,0.8 4,2.5 3.2,3.3 0,3.3|2.2,3.3 4,6"},
    {U'S', 4, "4,0.8 3.2,0 0.8,0 0,0.8 0,2.2 0.8,3 3.2,3 4,3.8 4,5.2 3.2,6 0.8,6 0,5.2"},
    {U'T', 4, "0,0 4,0|2,0 2,6"},
    {U'U', 4, "0,0 0,5.2 0.8,6 3.2,6 4,5.2 4,0"},
    {U'V', 4, "0,0 2,6 4,0"},
    {U'W', 5.6f, "0,0 1.4,6 2.8,1.6 4.2,6 5.6,0"},
    {U'X', 4, "0,0 4,6|4,0 0,6"},
    {U'Y', 4, "0,0 2,3 4,0|2,3 2,6"},
    {U'Z', 4, "0,0 4,0 0,6 4,6"},
    {U'0', 4, "0.8,0 3.2,0 4,0.8 4,5.2 3.2,6 0.8,6 0,5.2 0,0.8 0.8,0"},
    {U'1', 4, "1,1.1 2.3,0 2.3,6"},
    {U'2', 4, "0,0.8 0.8,0 3.2,0 4,0.8 4,2.2 3.2,3 0.8,3 0,3.8 0,6 4,6"},
    {U'3', 4, "0,0.8 0.8,0 3.2,0 4,0.8 4,2.2 3.2,3 1.2,3|3.2,3 4,3.8 4,5.2 3.2,6 0.8,6 0,5.2"},
    {U'4', 4, "3,6 3,0 0,4.2 4,4.2"},
    {U'5', 4, "4,0 0,0 0,3 3.2,3 4,3.8 4,5.2 3.2,6 0.8,6 0,5.2"},
    {U'6', 4, "4,0.8 3.2,0 0.8,0 0,0.8 0,5.2 0.8,6 3.2,6 4,5.2 4,3.8 3.2,3 0,3"},
    {U'7', 4, "0,0 4,0 4,1 1.6,6"},
    {U'8', 4,
     "0.8,0 3.2,0 4,0.8 4,2.2 3.2,3 0.8,3 0,2.2 0,0.8 0.8,0|0.8,3 0,3.8 0,5.2 0.8,6 3.2,6 "
     "4,5.2 4,3.8 3.2,3"},
    {U'9', 4, "4,3 0.8,3 0,2.2 0,0.8 0.8,0 3.2,0 4,0.8 4,5.2 3.2,6 0.8,6 0,5.2"},
    {U'o', 3.4f, "0.7,2 2.7,2 3.4,2.7 3.4,5.3 2.7,6 0.7,6 0,5.3 0,2.7 0.7,2"},
    {U'r', 2.6f, "0,6 0,2|0,3 0.9,2 2.6,2"},
    {U'e', 3.4f, "3.4,5.6 3,6 0.7,6 0,5.3 0,2.7 0.7,2 2.7,2 3.4,2.7 3.4,4 0,4"},
    {U'm', 5, "0,6 0,2|0,2.8 0.7,2 1.8,2 2.5,2.7 2.5,6|2.5,2.7 3.2,2 4.3,2 5,2.7 5,6"},
    {U'z', 3.4f, "0,2 3.4,2 0,6 3.4,6"},
    {U'(', 1.4f, "1.4,-0.3 0.3,1 0.3,5 1.4,6.3"},
    {U')', 1.4f, "0,-0.3 1.1,1 1.1,5 0,6.3"},
    {U'-', 2.6f, "0.2,3.2 2.4,3.2"},
    {U'/', 3, "0,6.3 3,-0.3"},
    {U'.', 0, "0,6 0,6"},
    {U':', 0, "0,1.8 0,1.8|0,5.6 0,5.6"},
    {U'+', 4, "0.4,3 3.6,3|2,1.4 2,4.6"},
    {U' ', 2.2f, ""},
};

// Simplified Chinese on a 16 x 16 grid.
constexpr TGlyph CjkGlyphs[] = {
    {U'本', 16, "1,5 15,5|8,1 8,15.5|8,5.5 4.5,10.5 1,13.5|8,5.5 11.5,10.5 15,13.5|5,11.5 11,11.5"},
    {U'次', 16,
     "2,3 3.5,4.5|1.5,12 4,8.5|8,1 6.3,5|6.5,4 14.5,4 13.5,6.5|10.5,4 10,8 7,12.5 5,14.5|"
     "10.3,8.5 12.5,11.5 15,14"},
    {U'节', 16,
     "1.5,4 14.5,4|5,1.5 5,6.5|11,1.5 11,6.5|3,8.5 12.5,8.5 12.5,12.5 11,13.5|7,8.5 7,15.5"},
    {U'电', 16,
     "2.5,4 2.5,11|2.5,4 13.5,4 13.5,11|2.5,7.5 13.5,7.5|2.5,11 13.5,11|"
     "8,1 8,13.5 9,14.8 15,14.8 15,12.5"},
    {U'总', 16,
     "5,1 6.5,3.2|11,1 9.5,3.2|4,4.5 4,9|4,4.5 12,4.5 12,9|4,9 12,9|2,11.5 1.2,14.3|"
     "4.5,10.5 4.5,14.5 5.5,15.3 11.5,15.3 12,13.5|8,11 9,12.5|13,11 14.5,13.5"},
    {U'计', 16, "2,2 3.5,3.5|1,6.5 3,6.5 3,13.5 4.5,12.2|6,7 15,7|10.5,1 10.5,15.5"},
    {U'自', 16, "8,0.5 7,2.5|3,3 3,15.5|3,3 13,3 13,15.5|3,7 13,7|3,11 13,11|3,15 13,15"},
    {U'天', 16, "3,3 13,3|1.5,7.5 14.5,7.5|8,3 8,7.5 6,11.5 1.5,15|8.5,9 11.5,12.5 15,15"},
    {U'时', 16,
     "1,3.5 1,12.5|1,3.5 5.5,3.5 5.5,12.5|1,8 5.5,8|1,12.2 5.5,12.2|7.5,5 15,5|"
     "12.5,1 12.5,14.5 11,15.5 9.5,14.5|9,8 10.5,10.5"},
    {U'分', 16,
     "6,1.5 1.5,7.5|10,1.5 14.5,7.5|4,8.5 12.5,8.5 12.5,14.5 11,15.5 10,14.8|"
     "7.5,8.5 6.5,12.5 3.5,15.5"},
    {U'重', 16,
     "4,1.8 12.5,0.8|1.5,4 14.5,4|3,6 3,11|3,6 13,6 13,11|3,8.5 13,8.5|3,11 13,11|8,1 8,15|"
     "4,13 12,13|1.5,15.3 14.5,15.3"},
    {U'置', 16,
     "2.5,1 2.5,4.5|2.5,1 13.5,1 13.5,4.5|6.3,1 6.3,4.5|9.7,1 9.7,4.5|2.5,4.5 13.5,4.5|"
     "3,6.5 13,6.5|8,5.5 8,8.3|4,8.3 4,15.5|4,8.3 12,8.3 12,13.5|4,11 12,11|4,13.5 12,13.5|"
     "1.5,15.5 14.5,15.5"},
    {U'动', 16,
     "1,3 6,3|0.5,6.5 7,6.5|3.5,6.5 1,12.5 6.5,12|5,10 7,13|8,5.5 15,5.5 15,14 14,15.5 12.5,14.5|"
     "11.5,1 11.5,6 10,11.5 7.5,15"},
    {U'运', 16,
     "6,2 13,2|5,5.5 14.5,5.5|9,5.5 6.5,10 13.5,9.5|12,8 14,10.5|1.5,2 3,3.5|"
     "1,6.5 3.5,6.5 3.5,12 1.5,14|3.5,11.5 5.5,14 15,15"},
    {U'行', 16,
     "5,1 1.5,4.5|5.5,5 1,9.5|3.5,7.5 3.5,15.5|8,2.5 14.5,2.5|7,7 15.5,7|"
     "12.5,7 12.5,14.5 11,15.5 9.5,14.5"},
    {U'开', 16, "2,2.5 14,2.5|1,8 15,8|6,2.5 6,10 3,15|11,2.5 11,15.5"},
    {U'关', 16,
     "5,0.8 6.5,2.8|11,0.8 9.5,2.8|3,4.5 13,4.5|1.5,8.5 14.5,8.5|8,4.5 8,8.5 6,12 1.5,15.5|"
     "8.5,10 11.5,13 15,15.5"},
    {U'功', 16,
     "1,3.5 6.5,3.5|3.8,3.5 3.8,12|0.5,12.5 7,11|7.5,5.5 15,5.5 15,14 14,15.5 12.5,14.5|"
     "11.5,1 11.5,6 10,11.5 7,15"},
    {U'率', 16,
     "8,0.5 8,2|1.5,2.5 14.5,2.5|9,3.5 6.5,6 9.5,7.5 6,10 11,9.5|10,8.5 11,10.3|2.5,4.5 4,6|"
     "2,9.5 4,8|13.5,4.5 12,6|12,8 14,9.5|1,11.5 15,11.5|8,11.5 8,15.8"},
    {U'已', 16, "2,2 13,2 13,8|2.5,8 13,8|2.5,4.5 2.5,14 3.5,15 14,15 14.5,12"},
    {U'用', 16,
     "3,2 3,10 1.5,15|3,2 13,2 13,14.5 12,15.5 10.5,14.5|3,6 13,6|3,10 13,10|8,2 8,15.5"},
    {U'频', 16,
     "3.5,1 3.5,5.3|3.5,3 6.5,3|1.5,3 1.5,5.3|1,5.3 7,5.3|4,6.5 4,9.5|1.8,7.5 2.3,9.3|"
     "6.5,8 2.5,13 0.5,15|8,1.5 15.5,1.5|11.5,1.5 10.8,3.5|9,3.5 9,11.5|9,3.5 14.5,3.5 14.5,11.5|"
     "9,6.3 14.5,6.3|9,9 14.5,9|9,11.5 14.5,11.5|11,12 8,15.5|12.5,12.5 15.5,15.5"},
    {U'压', 16,
     "2,2 15,2|2.5,2 2.5,10 0.5,15.5|5,8 13.5,8|9,4.5 9,14.5|4,14.5 15,14.5|11.5,10.5 13,12"},
};

const TGlyph* FindGlyph(char32_t code, bool& cjk) {
  for (const TGlyph& g : LatinGlyphs) {
    if (g.Code == code) {
      cjk = false;
      return &g;
    }
  }
  for (const TGlyph& g : CjkGlyphs) {
    if (g.Code == code) {
      cjk = true;
      return &g;
    }
  }
  return nullptr;
}

// Lower-case letters without their own glyph use the capital.
char32_t Fold(char32_t code) {
  bool cjk = false;
  if (FindGlyph(code, cjk)) return code;
  if (code >= U'a' && code <= U'z') return code - U'a' + U'A';
  return code;
}

using TPolyline = std::vector<std::pair<float, float>>;

std::vector<TPolyline> ParseStrokes(const char* text) {
  std::vector<TPolyline> strokes(1);
  const char* p = text;
  while (*p) {
    if (*p == '|') {
      strokes.emplace_back();
      ++p;
      continue;
    }
    if (*p == ' ') {
      ++p;
      continue;
    }
    char* end = nullptr;
    const float x = std::strtof(p, &end);
    if (end == p || *end != ',') break;
    p = end + 1;
    const float y = std::strtof(p, &end);
    if (end == p) break;
    p = end;
    strokes.back().emplace_back(x, y);
  }
  std::erase_if(strokes, [](const TPolyline& s) { return s.empty(); });
  return strokes;
}

float Unit(const TTextStyle& style) {
  return style.Size / 6.0f;
}

// Advance of one character in px, without the gap that follows it.
float GlyphWidth(char32_t code, const TTextStyle& style) {
  bool cjk = false;
  const TGlyph* g = FindGlyph(Fold(code), cjk);
  if (!g) return LatinGlyphs[std::size(LatinGlyphs) - 1].Advance * Unit(style);
  if (cjk) return style.Size * CjkScale;
  return g->Advance * Unit(style);
}

}  // namespace

std::u32string DecodeUtf8(std::string_view text) {
  std::u32string out;
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    int extra = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
    char32_t code = extra == 0   ? lead
                    : extra == 1 ? (lead & 0x1Fu)
                    : extra == 2 ? (lead & 0x0Fu)
                                 : (lead & 0x07u);
    ++i;
    for (; extra > 0 && i < text.size(); --extra, ++i)
      code = (code << 6) | (static_cast<unsigned char>(text[i]) & 0x3Fu);
    out.push_back(code);
  }
  return out;
}

bool HasGlyph(char32_t code) {
  bool cjk = false;
  return FindGlyph(code, cjk) != nullptr;
}

float TextWidth(std::string_view utf8, const TTextStyle& style) {
  const std::u32string codes = DecodeUtf8(utf8);
  float width = 0;
  for (size_t i = 0; i < codes.size(); ++i) {
    width += GlyphWidth(codes[i], style);
    if (i + 1 < codes.size()) width += style.Tracking * Unit(style);
  }
  // Strokes stand out of their grid by half the pen on both sides.
  return codes.empty() ? 0.0f : width + style.Weight;
}

void AddText(TMask& mask, std::string_view utf8, float x, float y, const TTextStyle& style,
             TAlign align) {
  const float width = TextWidth(utf8, style);
  float pen = align == TAlign::Left ? x : align == TAlign::Centre ? x - width / 2 : x - width;
  pen += style.Weight / 2;
  const float unit = Unit(style);
  for (char32_t code : DecodeUtf8(utf8)) {
    bool cjk = false;
    const TGlyph* g = FindGlyph(Fold(code), cjk);
    if (g) {
      const float scale = cjk ? style.Size * CjkScale / 16.0f : unit;
      const float top = cjk ? y - style.Size * (CjkScale - 1.0f) / 2 : y;
      for (const TPolyline& line : ParseStrokes(g->Strokes)) {
        for (size_t i = 0; i < line.size(); ++i) {
          const auto [ax, ay] = line[i];
          const auto [bx, by] = i + 1 < line.size() ? line[i + 1] : line[i];
          if (i + 1 == line.size() && line.size() > 1) break;
          const float x0 = pen + ax * scale, y0 = top + ay * scale;
          const float x1 = pen + bx * scale, y1 = top + by * scale;
          const float reach = style.Weight;
          mask.Add(TRect{std::min(x0, x1) - reach, std::min(y0, y1) - reach,
                         std::max(x0, x1) + reach, std::max(y0, y1) + reach},
                   Segment(x0, y0, x1, y1, style.Weight));
        }
      }
    }
    pen += GlyphWidth(code, style) + style.Tracking * unit;
  }
}

}  // namespace artwork
