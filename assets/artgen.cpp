// korzem_artgen OUTDIR: writes every picture of the window as OUTDIR/<name>.png. Key-coloured
// pixels stay opaque: the program cuts the shapes itself.
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "app/gfx/png.h"
#include "assets/artwork/artwork.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: korzem_artgen OUTDIR\n");
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  if (error) {
    std::fprintf(stderr, "korzem_artgen: cannot create %s: %s\n", dir.string().c_str(),
                 error.message().c_str());
    return 1;
  }
  int failed = 0;
  for (const TArtworkItem& item : ArtworkCatalogue()) {
    const TBitmap picture = DrawArtwork(item.Name);
    const std::string file = (dir / (item.Name + ".png")).string();
    if (picture.Width() != item.Width || picture.Height() != item.Height ||
        !SavePng(picture, file)) {
      std::fprintf(stderr, "korzem_artgen: cannot write %s\n", file.c_str());
      ++failed;
    }
  }
  return failed == 0 ? 0 : 1;
}
