/* The stb image reader and writer, compiled once for the picture helpers. */
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb/stb_image.h>
#include <stb/stb_image_write.h>

int korzem_stbi_write_png(const char* fileName, int w, int h, const void* data) {
  return stbi_write_png(fileName, w, h, 4, data, w * 4);
}

unsigned char* korzem_stbi_load_rgba(const char* fileName, int* w, int* h) {
  int channels = 0;
  return stbi_load(fileName, w, h, &channels, 4);
}

void korzem_stbi_free(void* data) { stbi_image_free(data); }
