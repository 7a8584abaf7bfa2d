#include "app/gfx/stbimage.h"

#include <cstring>

extern "C" {
int korzem_stbi_write_png(const char* fileName, int w, int h, const void* data);
unsigned char* korzem_stbi_load_rgba(const char* fileName, int* w, int* h);
void korzem_stbi_free(void* data);
}

bool StbWritePng(const char* fileName, int width, int height, const unsigned char* rgba) {
  return korzem_stbi_write_png(fileName, width, height, rgba) != 0;
}

bool StbReadRgba(const char* fileName, int& width, int& height, std::vector<unsigned char>& rgba) {
  unsigned char* data = korzem_stbi_load_rgba(fileName, &width, &height);
  if (data == nullptr) return false;
  rgba.assign(data, data + static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
  korzem_stbi_free(data);
  return true;
}
