#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/gfx/png.h"
#include "assets/artwork/artwork.h"
#include "tests/support/tempdir.h"

TEST(ArtgenTest, WritesEveryPictureWithItsKeyKeptOpaque) {
  TTempDir dir;
  const std::string out = dir / "pictures";
  ASSERT_EQ(std::system((std::string(KORZEM_ARTGEN) + " '" + out + "'").c_str()), 0);
  for (const TArtworkItem& item : ArtworkCatalogue()) {
    const std::string file = out + "/" + item.Name + ".png";
    // Loading with a different key shows any pixel that was written transparent.
    const auto picture = LoadPng(file, Rgb(1, 2, 3));
    ASSERT_TRUE(picture.has_value()) << file;
    EXPECT_EQ(picture->Width(), item.Width) << item.Name;
    EXPECT_EQ(picture->Height(), item.Height) << item.Name;
    if (item.Key) {
      EXPECT_EQ(picture->Pixel(0, 0), *item.Key) << item.Name;
    }
  }
  EXPECT_TRUE(*LoadPng(out + "/BackgroundImage.png") == DrawArtwork("BackgroundImage"));
}

TEST(ArtgenTest, RefusesAMissingOrUnwritableFolder) {
  TTempDir dir;
  EXPECT_NE(std::system(KORZEM_ARTGEN " 2>/dev/null"), 0);
  const std::string blocker = dir / "file";
  ASSERT_EQ(std::system(("touch '" + blocker + "'").c_str()), 0);
  EXPECT_NE(
      std::system((std::string(KORZEM_ARTGEN) + " '" + blocker + "/sub' 2>/dev/null").c_str()), 0);
}
