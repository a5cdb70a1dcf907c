// computer-use-helper-render through its binary: a real session's trace on
// the demo scene drawn, converted with rsvg-convert and looked at pixel by
// pixel; and its refusals.
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/support/checked_helper.h"
#include "render/svg.h"

namespace cuh::e2e {
namespace {

using nlohmann::json;

struct Rgb {
  int r, g, b;
};

Rgb parseColor(const char* hex) {
  unsigned r = 0, g = 0, b = 0;
  std::sscanf(hex, "#%02x%02x%02x", &r, &g, &b);
  return {static_cast<int>(r), static_cast<int>(g), static_cast<int>(b)};
}

struct Image {
  int width = 0, height = 0;
  std::vector<unsigned char> rgba;
  Rgb at(int x, int y) const {
    size_t i = (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 4;
    return {rgba[i], rgba[i + 1], rgba[i + 2]};
  }
};

bool readPng(const std::string& path, Image& image) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&png, path.c_str()))
    return false;
  png.format = PNG_FORMAT_RGBA;
  image.width = static_cast<int>(png.width);
  image.height = static_cast<int>(png.height);
  image.rgba.resize(PNG_IMAGE_SIZE(png));
  return png_image_finish_read(&png, nullptr, image.rgba.data(), 0, nullptr) != 0;
}

std::string readText(const std::string& path) {
  std::ifstream file(path);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// Runs a program to its end; its exit status, standard output and error.
struct Finished {
  std::optional<int> status;
  std::string out, err;
};
Finished run(const std::string& program, const std::vector<std::string>& arguments) {
  ChildProcess child(program, arguments);
  child.closeStdin();
  Finished result;
  result.out = child.readToEnd(60).value_or("");
  result.status = child.waitForExit(60);
  result.err = child.stderrText();
  return result;
}

const std::string kRender = CUH_RENDER_BINARY;

class RenderBinary : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = ::testing::TempDir() + "render-" + std::to_string(getpid());
    ASSERT_EQ(std::system(("mkdir -p " + dir_).c_str()), 0);
  }
  void TearDown() override { std::system(("rm -rf " + dir_).c_str()); }
  std::string dir_;
};

TEST_F(RenderBinary, ASessionIsDrawnWhereItHappened) {
  std::string trace = dir_ + "/session.trace";
  {
    CheckedHelper helper({"--scene", sourcePath("scenes/demo.json"), "--trace", trace});
    json notes = {{"pid", 502}, {"windowId", 201}, {"width", 900}, {"height", 640}};
    auto call = [&](const std::string& method, json params) {
      params.update(notes);
      auto response = helper.request({{"id", 1}, {"method", method}, {"params", params}});
      ASSERT_TRUE(response && (*response)["ok"] == true) << method << ": " << response->dump();
    };
    call("click", {{"x", 400}, {"y", 22}, {"button", "left"}, {"clickCount", 1}});
    call("drag", {{"fromX", 300}, {"fromY", 100}, {"toX", 500}, {"toY", 300}});
    call("key", {{"x", 400}, {"y", 22}, {"keyName", "x"}, {"keyCode", 7}, {"flags", 0}});
    call("scroll", {{"x", 500}, {"y", 300}, {"dx", 0}, {"dy", 40}});
  }
  std::string svg = dir_ + "/session.svg", png = dir_ + "/session.png";
  Finished render = run(kRender, {sourcePath("scenes/demo.json"), trace, "-o", svg});
  ASSERT_EQ(render.status, 0) << render.err;
  EXPECT_EQ(render.err, "");
  Finished convert = run(CUH_RSVG_CONVERT, {svg, "-o", png});
  ASSERT_EQ(convert.status, 0) << convert.err;
  Image image;
  ASSERT_TRUE(readPng(png, image));

  // The desktop spans (0,0) to (1440,780) plus a margin of 20 points, one
  // pixel per point; a legend of five lines follows below.
  EXPECT_EQ(image.width, 1480);
  EXPECT_GT(image.height, 820);
  auto pixel = [&](double x, double y) {
    return image.at(static_cast<int>(x + 20), static_cast<int>(y + 20));
  };
  struct Spot {
    const char* what;
    double x, y;  // screen points
    const char* color;
  };
  double badgeRight = 380 + 900 - 6;    // badges line up at Notes' right edge
  double firstBadgeTop = 140 + 22 + 4;  // under its title bar
  const Spot spots[] = {
      {"bare desktop", 1350, 600, render::kDesktopColor},
      {"inside Notes", 1000, 700, render::kWindowColor},
      {"Notes' title bar", 1000, 150, render::kTitleBarColor},
      {"Terminal's title bar, frontmost", 600, 70, render::kFrontmostColor},
      {"Terminal over Notes", 500, 400, render::kWindowColor},
      {"click marker 1 at the search field", 780, 162 - 8, render::kClickColor},
      {"drag arrow halfway", 780, 340, render::kDragColor},
      {"drag marker 2 at its start", 680, 240 - 8, render::kDragColor},
      {"key badge 3 by Notes", badgeRight - 4, firstBadgeTop + 3, render::kBadgeColor},
      {"scroll badge 4 below it", badgeRight - 4, firstBadgeTop + 24 + 3, render::kBadgeColor},
  };
  for (const Spot& spot : spots) {
    Rgb want = parseColor(spot.color), got = pixel(spot.x, spot.y);
    EXPECT_NEAR(got.r, want.r, 12) << spot.what;
    EXPECT_NEAR(got.g, want.g, 12) << spot.what;
    EXPECT_NEAR(got.b, want.b, 12) << spot.what;
  }
  std::string text = readText(svg);
  for (const char* expected :
       {"Notes [201]", "(frontmost)", "1. left click at 780,162", "2. left drag 680,240 to 880,440",
        "3. key key 7", "4. scroll dx 0, dy 40 at 880,440", "synthetic focus"}) {
    EXPECT_NE(text.find(expected), std::string::npos) << expected;
  }
}

TEST_F(RenderBinary, BadInputIsRefusedWithOneLine) {
  std::string badScene = dir_ + "/bad.json", badTrace = dir_ + "/bad.trace";
  std::ofstream(badScene) << R"({"windows":[{"id":1}]})";
  std::ofstream(badTrace) << "{\"kind\":\"rule\",\"index\":0}\nnot json\n";
  std::string demo = sourcePath("scenes/demo.json"), out = dir_ + "/out.svg";
  struct Case {
    std::vector<std::string> arguments;
    std::string message;  // "" for success
  };
  const Case cases[] = {
      {{}, "expected SCENE [TRACE] -o OUT.svg (see --help)"},
      {{demo}, "expected SCENE [TRACE] -o OUT.svg (see --help)"},
      {{demo, "-o"}, "-o needs a file name"},
      {{demo, "--width", "3", "-o", out}, "unknown option --width (see --help)"},
      {{dir_ + "/none.json", "-o", out}, "scene " + dir_ + "/none.json: cannot be read"},
      {{badScene, "-o", out}, "scene " + badScene + ": $.windows[0]"},
      {{demo, badTrace, "-o", out}, "trace " + badTrace + ": line 2: not a JSON object"},
      {{demo, "-o", dir_ + "/no/such/dir/out.svg"},
       "cannot write " + dir_ + "/no/such/dir/out.svg"},
      {{demo, "-o", out}, ""},
  };
  for (const Case& c : cases) {
    Finished result = run(kRender, c.arguments);
    std::string shown = c.arguments.empty() ? "(none)" : c.arguments.back();
    if (c.message.empty()) {
      EXPECT_EQ(result.status, 0) << result.err;
      EXPECT_EQ(result.err, "");
      continue;
    }
    EXPECT_EQ(result.status, 2) << shown;
    EXPECT_EQ(result.err.rfind("computer-use-helper-render: " + c.message, 0), 0u)
        << shown << ": " << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << shown;
  }
  Finished help = run(kRender, {"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("Usage: computer-use-helper-render SCENE [TRACE] -o OUT.svg\n", 0), 0u);
  Finished version = run(kRender, {"--version"});
  EXPECT_EQ(version.out, std::string("computer-use-helper-render ") + CUH_PROJECT_VERSION + "\n");
}

}  // namespace
}  // namespace cuh::e2e
