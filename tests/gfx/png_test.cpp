#include "app/gfx/png.h"

#include <gtest/gtest.h>

#include "tests/support/tempdir.h"

TEST(PngTest, RoundTripKeepsPixelsAndTheKeyColourShape) {
  TTempDir dir;
  const TColour key = Rgb(0, 0, 255);
  TBitmap picture(3, 2, Rgb(10, 20, 30));
  picture.SetPixel(1, 0, key);
  picture.SetPixel(2, 1, Rgb(250, 128, 1));
  const std::string file = dir / "p.png";
  ASSERT_TRUE(SavePng(picture, file, key));

  // Without the key the transparent pixel comes back black, the others unchanged.
  const auto plain = LoadPng(file);
  ASSERT_TRUE(plain.has_value());
  EXPECT_EQ(plain->Pixel(1, 0), Rgb(0, 0, 255));  // colour kept under zero alpha
  const auto keyed = LoadPng(file, Rgb(1, 2, 3));
  ASSERT_TRUE(keyed.has_value());
  EXPECT_EQ(keyed->Pixel(1, 0), Rgb(1, 2, 3));
  EXPECT_EQ(keyed->Pixel(2, 1), Rgb(250, 128, 1));
  EXPECT_EQ(keyed->Pixel(0, 0), Rgb(10, 20, 30));
}

TEST(PngTest, MissingOrBrokenFilesAreNothing) {
  TTempDir dir;
  EXPECT_FALSE(LoadPng(dir / "none.png").has_value());
  EXPECT_FALSE(SavePng(TBitmap(), dir / "empty.png"));
}

TEST(BitmapTest, DrawSkipsKeyPixelsAndClipsAtTheBorder) {
  TBitmap target(4, 4, Rgb(1, 1, 1));
  TBitmap sprite(2, 2, Rgb(9, 9, 9));
  sprite.SetPixel(0, 0, Rgb(0, 0, 255));
  target.Draw(sprite, 3, 3, Rgb(0, 0, 255));  // only (3,3) lies inside and it is keyed out
  EXPECT_EQ(target.Pixel(3, 3), Rgb(1, 1, 1));
  target.Draw(sprite, 2, 2, Rgb(0, 0, 255));
  EXPECT_EQ(target.Pixel(2, 2), Rgb(1, 1, 1));
  EXPECT_EQ(target.Pixel(3, 3), Rgb(9, 9, 9));
  EXPECT_EQ(target.Crop(2, 2, 5, 5).Width(), 2);
  target.BlendPixel(0, 0, Rgb(201, 1, 1), 0.5f);
  EXPECT_EQ(target.Pixel(0, 0), Rgb(101, 1, 1));
}
