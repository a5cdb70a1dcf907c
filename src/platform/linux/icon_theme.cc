#include "platform/linux/icon_theme.h"

#include <png.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace cuh::linux_desktop {
namespace {

namespace fs = std::filesystem;

// The edge of a theme size directory: "48x48" -> 48, "48x48@2" -> 96;
// none for "scalable" and others.
std::optional<int> sizeOfDirectory(const std::string& name) {
  size_t x = name.find('x');
  if (x == std::string::npos || x == 0)
    return std::nullopt;
  int size = std::atoi(name.substr(0, x).c_str());
  if (size <= 0)
    return std::nullopt;
  size_t at = name.find('@');
  int scale = at == std::string::npos ? 1 : std::atoi(name.substr(at + 1).c_str());
  return size * (scale > 0 ? scale : 1);
}

bool isFile(const fs::path& path) {
  std::error_code error;
  return fs::is_regular_file(path, error);
}

}  // namespace

std::vector<std::string> iconBaseDirectories() {
  std::vector<std::string> bases;
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  const char* home = std::getenv("HOME");
  if (dataHome && *dataHome == '/')
    bases.push_back(std::string(dataHome) + "/icons");
  else if (home && *home)
    bases.push_back(std::string(home) + "/.local/share/icons");
  const char* dataDirs = std::getenv("XDG_DATA_DIRS");
  std::stringstream stream(dataDirs && *dataDirs ? dataDirs : "/usr/local/share:/usr/share");
  std::string dir;
  while (std::getline(stream, dir, ':')) {
    if (!dir.empty() && dir.front() == '/')
      bases.push_back(dir + "/icons");
  }
  bases.push_back("/usr/share/pixmaps");
  return bases;
}

std::optional<std::string> findIconFile(std::string_view icon,
                                        int pixels,
                                        const std::vector<std::string>& baseDirectories) {
  if (icon.empty())
    return std::nullopt;
  if (icon.front() == '/') {
    fs::path path(icon);
    if (path.extension() == ".png" && isFile(path))
      return path.string();
    return std::nullopt;
  }
  std::string file = std::string(icon) + ".png";
  for (const char* theme : kIconThemes) {
    // The best size over every base directory of this theme.
    std::optional<std::string> best;
    int bestSize = 0;
    for (const std::string& base : baseDirectories) {
      std::error_code error;
      fs::path themeDir = fs::path(base) / theme;
      for (fs::directory_iterator sizes(themeDir, error), end; !error && sizes != end;
           sizes.increment(error)) {
        auto size = sizeOfDirectory(sizes->path().filename().string());
        if (!size)
          continue;
        std::error_code inner;
        for (fs::directory_iterator contexts(sizes->path(), inner), last;
             !inner && contexts != last; contexts.increment(inner)) {
          fs::path candidate = contexts->path() / file;
          if (!isFile(candidate))
            continue;
          // Prefer the smallest size that is at least `pixels`; below that,
          // the largest.
          bool better =
              !best || (bestSize < pixels ? *size > bestSize : *size >= pixels && *size < bestSize);
          if (better) {
            best = candidate.string();
            bestSize = *size;
          }
        }
      }
    }
    if (best)
      return best;
  }
  for (const std::string& base : baseDirectories) {
    fs::path candidate = fs::path(base) / file;
    if (isFile(candidate))
      return candidate.string();
  }
  return std::nullopt;
}

std::optional<IconImage> readPng(const std::string& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str()))
    return std::nullopt;
  if (image.width == 0 || image.height == 0 || image.width > 4096 || image.height > 4096) {
    png_image_free(&image);
    return std::nullopt;
  }
  image.format = PNG_FORMAT_RGBA;
  IconImage result;
  result.width = static_cast<int>(image.width);
  result.height = static_cast<int>(image.height);
  result.rgba.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, result.rgba.data(), 0, nullptr)) {
    png_image_free(&image);
    return std::nullopt;
  }
  return result;
}

}  // namespace cuh::linux_desktop
