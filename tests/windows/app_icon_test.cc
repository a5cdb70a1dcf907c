#include "windows/app_icon.h"

#include <gtest/gtest.h>
#include <png.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/sim/sim_desktop.h"
#include "protocol/helper_failure.h"
#include "windows/base64.h"
#include "windows/image_resample.h"

namespace cuh {
namespace {

using nlohmann::json;

std::vector<uint8_t> base64Decode(const std::string& text) {
  auto value = [](char c) -> int {
    if (c >= 'A' && c <= 'Z')
      return c - 'A';
    if (c >= 'a' && c <= 'z')
      return c - 'a' + 26;
    if (c >= '0' && c <= '9')
      return c - '0' + 52;
    if (c == '+')
      return 62;
    if (c == '/')
      return 63;
    return -1;
  };
  std::vector<uint8_t> bytes;
  uint32_t group = 0;
  int bits = 0;
  for (char c : text) {
    if (c == '=')
      break;
    int v = value(c);
    if (v < 0)
      throw std::runtime_error("not Base64");
    group = (group << 6) | static_cast<uint32_t>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      bytes.push_back(static_cast<uint8_t>(group >> bits));
    }
  }
  return bytes;
}

struct Decoded {
  int width = 0;
  int height = 0;
  uint32_t format = 0;
  std::vector<uint8_t> rgba;
  std::array<uint8_t, 4> pixel(int x, int y) const {
    size_t at = (static_cast<size_t>(y) * width + x) * 4;
    return {rgba[at], rgba[at + 1], rgba[at + 2], rgba[at + 3]};
  }
};

Decoded decodePng(const std::vector<uint8_t>& bytes) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) {
    throw std::runtime_error(std::string("not a PNG: ") + image.message);
  }
  Decoded decoded;
  decoded.width = static_cast<int>(image.width);
  decoded.height = static_cast<int>(image.height);
  decoded.format = image.format;
  image.format = PNG_FORMAT_RGBA;
  decoded.rgba.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, decoded.rgba.data(), 0, nullptr)) {
    throw std::runtime_error(std::string("unreadable PNG: ") + image.message);
  }
  return decoded;
}

TEST(AppIconTest, RendersTheIconAsASquarePngOfTheClampedSize) {
  auto desktop = sim::SimDesktop::create(json{{"apps",
                                               {{{"pid", 100},
                                                 {"name", "Red"},
                                                 {"path", "/Applications/Red.app"},
                                                 {"icon", {{"color", "#ff2000"}}}}}}});
  struct Case {
    Json pixels;  // null: not given
    int edge;
  } cases[] = {{nullptr, 64}, {8, 16},  {1000, 256}, {31.9, 31},   {16, 16},
               {256, 256},    {-3, 16}, {"48", 64},  {1e300, 256}, {true, 16}};
  for (const Case& c : cases) {
    Json params{{"path", "/Applications/Red.app"}};
    if (!c.pixels.is_null())
      params["pixels"] = c.pixels;
    Json result = appIcon(*desktop, params);
    ASSERT_EQ(result.size(), 1u);
    std::string text = result.at("base64");
    EXPECT_EQ(text.find('\n'), std::string::npos);
    Decoded png = decodePng(base64Decode(text));
    EXPECT_EQ(png.width, c.edge) << c.pixels;
    EXPECT_EQ(png.height, c.edge) << c.pixels;
    EXPECT_EQ(png.format, static_cast<uint32_t>(PNG_FORMAT_RGBA)) << "8-bit RGBA";
    EXPECT_EQ(png.pixel(c.edge / 2, c.edge / 2), (std::array<uint8_t, 4>{0xff, 0x20, 0x00, 0xff}));
    EXPECT_EQ(png.pixel(0, c.edge - 1), (std::array<uint8_t, 4>{0xff, 0x20, 0x00, 0xff}));
  }
}

TEST(AppIconTest, AnyPathGetsAnIconAndAMissingPathIsRefused) {
  auto desktop = sim::SimDesktop::create(json::object());
  Decoded png = decodePng(base64Decode(appIcon(*desktop, {{"path", "/no/such/file"}})["base64"]));
  EXPECT_EQ(png.width, 64);
  // The generic sheet: grey in the middle, transparent around it.
  EXPECT_EQ(png.pixel(32, 32), (std::array<uint8_t, 4>{224, 224, 224, 255}));
  EXPECT_EQ(png.pixel(0, 0), (std::array<uint8_t, 4>{0, 0, 0, 0}));
  for (const Json& params : {Json::object(), Json{{"path", ""}}, Json{{"path", 5}}}) {
    try {
      appIcon(*desktop, params);
      ADD_FAILURE() << params;
    } catch (const HelperFailure& failure) {
      EXPECT_EQ(failure.message(), "Missing macOS computer-use parameter: path");
    }
  }
}

platform::Image image(int width, int height, std::vector<uint8_t> rgba) {
  return platform::Image{width, height, std::move(rgba)};
}

TEST(ResampleTest, ShrinksByAreaAndGrowsBilinearly) {
  // Four columns: red, red, blue, blue.
  std::vector<uint8_t> stripes;
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      bool red = x < 2;
      stripes.insert(stripes.end(), {uint8_t(red ? 255 : 0), 0, uint8_t(red ? 0 : 255), 255});
    }
  }
  auto half = resampleRgba(image(4, 4, stripes), 2, 2);
  EXPECT_EQ(half.rgba, (std::vector<uint8_t>{255, 0, 0, 255, 0, 0, 255, 255,  //
                                             255, 0, 0, 255, 0, 0, 255, 255}));
  auto one = resampleRgba(image(4, 4, stripes), 1, 1);
  EXPECT_EQ(one.rgba, (std::vector<uint8_t>{128, 0, 128, 255}));
  // A third of the way: the middle pixel covers 1/3 red and 1/3 blue of a
  // 4-wide source per 4/3 span.
  auto thirds = resampleRgba(
      image(4, 1, {255, 0, 0, 255, 255, 0, 0, 255, 0, 0, 255, 255, 0, 0, 255, 255}), 3, 1);
  EXPECT_EQ(thirds.rgba, (std::vector<uint8_t>{255, 0, 0, 255, 128, 0, 128, 255, 0, 0, 255, 255}));

  // Black to white, doubled: pixel centres at 0, 0.25, 0.75, 1 (clamped).
  auto grown = resampleRgba(image(2, 1, {0, 0, 0, 255, 255, 255, 255, 255}), 4, 1);
  EXPECT_EQ(grown.rgba, (std::vector<uint8_t>{0, 0, 0, 255, 64, 64, 64, 255, 191, 191, 191, 255,
                                              255, 255, 255, 255}));
}

TEST(ResampleTest, TransparentPixelsDoNotBleedTheirColour) {
  // Opaque red next to fully transparent green.
  auto merged = resampleRgba(image(2, 1, {255, 0, 0, 255, 0, 255, 0, 0}), 1, 1);
  EXPECT_EQ(merged.rgba, (std::vector<uint8_t>{255, 0, 0, 128}));
  auto empty = resampleRgba(image(0, 0, {}), 3, 3);
  EXPECT_EQ(empty.rgba, std::vector<uint8_t>(36, 0));
  auto malformed = resampleRgba(image(2, 2, {1, 2, 3}), 2, 2);
  EXPECT_EQ(malformed.rgba, std::vector<uint8_t>(16, 0));
}

TEST(Base64Test, EncodesTheStandardTestVectors) {
  struct Case {
    std::string bytes, text;
  } cases[] = {{"", ""},
               {"f", "Zg=="},
               {"fo", "Zm8="},
               {"foo", "Zm9v"},
               {"foob", "Zm9vYg=="},
               {"fooba", "Zm9vYmE="},
               {"foobar", "Zm9vYmFy"},
               {"\xff\xfe\xfd", "//79"}};
  for (const Case& c : cases) {
    EXPECT_EQ(base64Encode(std::vector<uint8_t>(c.bytes.begin(), c.bytes.end())), c.text);
  }
  std::vector<uint8_t> long_(300, 0x41);
  EXPECT_EQ(base64Encode(long_).find('\n'), std::string::npos);
}

}  // namespace
}  // namespace cuh
