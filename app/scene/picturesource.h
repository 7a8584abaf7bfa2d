// Where the window's pictures come from, by name: PNG files of the generated artwork, or a
// table in memory.
#pragma once

#include <map>
#include <string>

#include "app/gfx/bitmap.h"

class IPictureSource {
 public:
  virtual ~IPictureSource() = default;
  // An empty picture when there is none of that name.
  virtual TBitmap Picture(const std::string& name) = 0;
};

// Reads <directory>/<name>.png. Key-coloured pixels are stored opaque in the files, so they are
// read as they are.
class TPngPictureSource : public IPictureSource {
 public:
  explicit TPngPictureSource(std::string directory);
  TBitmap Picture(const std::string& name) override;

 private:
  std::string Directory_;
};

class TMapPictureSource : public IPictureSource {
 public:
  void Add(const std::string& name, TBitmap picture) { Pictures_[name] = std::move(picture); }
  TBitmap Picture(const std::string& name) override;

 private:
  std::map<std::string, TBitmap> Pictures_;
};
