// The two calls taken from the stb image library, kept behind plain functions so its
// implementation is compiled once, in stbimage.c, without our warning flags.
#pragma once

#include <vector>

bool StbWritePng(const char* fileName, int width, int height, const unsigned char* rgba);
bool StbReadRgba(const char* fileName, int& width, int& height, std::vector<unsigned char>& rgba);
