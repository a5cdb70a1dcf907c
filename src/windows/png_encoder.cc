#include "windows/png_encoder.h"

#include <png.h>

#include <csetjmp>

namespace cuh {

namespace {

void appendBytes(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  bool failed = false;
  try {
    out->insert(out->end(), data, data + length);
  } catch (...) {
    failed = true;  // no exception may cross libpng's C frames
  }
  if (failed)
    png_error(png, "out of memory");
}

void flushNothing(png_structp) {}

// libpng reports errors by longjmp; everything touched after setjmp is
// either plain data or owned outside this frame, so nothing leaks.
bool encode(int width, int height, const uint8_t* rgba, std::vector<uint8_t>& out) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png)
    return false;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, &out, appendBytes, flushNothing);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  const size_t stride = static_cast<size_t>(width) * 4;
  for (int y = 0; y < height; ++y) {
    png_write_row(png, const_cast<png_bytep>(rgba + static_cast<size_t>(y) * stride));
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

std::optional<std::vector<uint8_t>> encodePngRgba(int width,
                                                  int height,
                                                  const std::vector<uint8_t>& rgba) {
  if (width <= 0 || height <= 0 || width > 1 << 16 || height > 1 << 16)
    return std::nullopt;
  if (rgba.size() != static_cast<size_t>(width) * static_cast<size_t>(height) * 4) {
    return std::nullopt;
  }
  std::vector<uint8_t> out;
  if (!encode(width, height, rgba.data(), out))
    return std::nullopt;
  return out;
}

}  // namespace cuh
