#include "app/scene/picturesource.h"

#include <filesystem>

#include "app/gfx/png.h"

TPngPictureSource::TPngPictureSource(std::string directory) : Directory_(std::move(directory)) {}

TBitmap TPngPictureSource::Picture(const std::string& name) {
  const std::string file = (std::filesystem::path(Directory_) / (name + ".png")).string();
  return LoadPng(file).value_or(TBitmap());
}

TBitmap TMapPictureSource::Picture(const std::string& name) {
  const auto it = Pictures_.find(name);
  return it == Pictures_.end() ? TBitmap() : it->second;
}
