// The in-memory picture every part of the window draws into and composes from: 24-bit colour,
// top row first. Shells turn it into their own surface (a GDI DIB, terminal cells, a PNG file).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

struct TColour {
  uint8_t R = 0;
  uint8_t G = 0;
  uint8_t B = 0;
  constexpr bool operator==(const TColour&) const = default;
};

constexpr TColour Rgb(uint8_t r, uint8_t g, uint8_t b) {
  return TColour{r, g, b};
}
// Colour values as the window framework stores them: 0x00BBGGRR.
constexpr TColour FromFrameworkColour(uint32_t value) {
  return TColour{static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                 static_cast<uint8_t>(value >> 16)};
}
constexpr uint32_t ToFrameworkColour(TColour c) {
  return c.R | (static_cast<uint32_t>(c.G) << 8) | (static_cast<uint32_t>(c.B) << 16);
}

class TBitmap {
 public:
  TBitmap() = default;
  TBitmap(int width, int height, TColour fill = {});

  int Width() const { return Width_; }
  int Height() const { return Height_; }
  bool Empty() const { return Width_ == 0 || Height_ == 0; }
  bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < Width_ && y < Height_; }

  // Reads outside the picture give black; writes outside it are dropped, so callers may draw
  // shapes that cross the border.
  TColour Pixel(int x, int y) const;
  void SetPixel(int x, int y, TColour colour);
  // Mixes colour into the pixel by coverage 0..1 (anti-aliased edges).
  void BlendPixel(int x, int y, TColour colour, float coverage);
  // The same with coverage as alpha / 255, in integers (the font's stored glyphs).
  void BlendPixel(int x, int y, TColour colour, uint8_t alpha);
  // Blends count pixels of a row from x on, pixel i by alpha[i] / 255.
  void BlendSpan(int x, int y, const uint8_t* alpha, int count, TColour colour);
  void Fill(TColour colour);
  void FillRect(int left, int top, int right, int bottom, TColour colour);

  // Copies source with its top-left corner at x, y; with a key colour, pixels of exactly that
  // colour are left out (the transparent parts of a picture).
  void Draw(const TBitmap& source, int x, int y, std::optional<TColour> key = std::nullopt);
  // The part left, top, width, height of this picture (clipped to it).
  TBitmap Crop(int left, int top, int width, int height) const;

  const std::vector<TColour>& Pixels() const { return Pixels_; }
  bool operator==(const TBitmap&) const = default;

 private:
  int Width_ = 0;
  int Height_ = 0;
  std::vector<TColour> Pixels_;
};
