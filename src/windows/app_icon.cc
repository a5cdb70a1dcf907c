#include "windows/app_icon.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "protocol/helper_failure.h"
#include "protocol/params.h"
#include "windows/base64.h"
#include "windows/image_resample.h"
#include "windows/png_encoder.h"

namespace cuh {

namespace {

constexpr int kDefaultEdge = 64;
constexpr int kMinimumEdge = 16;
constexpr int kMaximumEdge = 256;

}  // namespace

int iconEdgeLength(const Json& params) {
  // Clamped as a double, so that any number, however large, is accepted.
  auto pixels = optionalNumber(params, "pixels");
  if (!pixels)
    return kDefaultEdge;
  double edge = std::clamp(std::trunc(*pixels), double{kMinimumEdge}, double{kMaximumEdge});
  return static_cast<int>(edge);
}

Json appIcon(platform::Platform& platform, const Json& params) {
  std::string path = requiredString(params, "path");
  int edge = iconEdgeLength(params);
  platform::Image icon = platform.workspace().iconForFile(path);
  // Drawing with the copy operation replaces every bitmap pixel, so the
  // bitmap is exactly the icon scaled to the square.
  platform::Image bitmap;
  try {
    bitmap = resampleRgba(icon, edge, edge);
  } catch (const std::bad_alloc&) {
    throw HelperFailure("Could not allocate app icon bitmap");
  }
  auto png = encodePngRgba(bitmap.width, bitmap.height, bitmap.rgba);
  if (!png)
    throw HelperFailure("Could not encode app icon");
  return Json{{"base64", base64Encode(*png)}};
}

}  // namespace cuh
