#include "platform/linux/desktop_entries.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/linux/icon_theme.h"

namespace cuh::linux_desktop {
namespace {

namespace fs = std::filesystem;

class DesktopEntriesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/cuh-entries.XXXXXX";
    root_ = mkdtemp(pattern);
  }
  void TearDown() override { fs::remove_all(root_); }
  void write(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
  }
  fs::path root_;
};

TEST_F(DesktopEntriesTest, ParsesTheEntryGroupOnly) {
  auto entry = parseDesktopEntry(
      "# comment\n[Desktop Entry]\nType=Application\nName=Text\\sEditor\nName[de]=Editor\n"
      "Exec=mousepad %F\nIcon=org.xfce.mousepad\nStartupWMClass=Mousepad\n"
      "[Desktop Action new]\nName=New Window\n",
      "org.xfce.mousepad.desktop", "/x/org.xfce.mousepad.desktop");
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->name, "Text Editor");
  EXPECT_EQ(entry->exec, "mousepad %F");
  EXPECT_EQ(entry->startupWmClass, "Mousepad");
  EXPECT_EQ(entry->identifier(), "org.xfce.mousepad");
  EXPECT_FALSE(parseDesktopEntry("[Desktop Entry]\nType=Link\nName=x\n", "l.desktop", "/l"));
  EXPECT_FALSE(parseDesktopEntry("Name=no group\n", "n.desktop", "/n"));
}

TEST_F(DesktopEntriesTest, IdentifierAndNameRules) {
  fs::path user = root_ / "user", system = root_ / "system";
  write(user / "dev.cuh.Fixture.desktop",
        "[Desktop Entry]\nType=Application\nName=Fixture (user)\nStartupWMClass=cuh-fixture\n");
  write(system / "dev.cuh.Fixture.desktop", "[Desktop Entry]\nType=Application\nName=Shadowed\n");
  write(system / "vendor/tool.desktop", "[Desktop Entry]\nType=Application\nName=Tool\n");
  write(system / "xterm.desktop", "[Desktop Entry]\nType=Application\nName=XTerm\n");
  write(system / "gone.desktop", "[Desktop Entry]\nType=Application\nName=Gone\nHidden=true\n");
  auto entries = DesktopEntries::load({user.string(), system.string(), (root_ / "none").string()});

  const DesktopEntry* fixture = entries.byId("dev.cuh.Fixture.desktop");
  ASSERT_TRUE(fixture);
  EXPECT_EQ(fixture->name, "Fixture (user)");  // the earlier directory wins
  EXPECT_TRUE(entries.byId("vendor-tool.desktop"));
  EXPECT_FALSE(entries.byId("gone.desktop"));
  EXPECT_EQ(entries.byName("xterm"), entries.byId("xterm.desktop"));

  struct Case {
    const char* what;
    const char* gtkId;
    const char* instance;
    const char* className;
    const DesktopEntry* entry;
    std::optional<std::string> identifier;
  };
  const Case cases[] = {
      {"GTK application id", "dev.cuh.Fixture", "x", "X", fixture, "dev.cuh.Fixture"},
      {"StartupWMClass = instance", "", "cuh-fixture", "Other", fixture, "dev.cuh.Fixture"},
      {"instance + .desktop", "", "xterm", "XTerm", entries.byId("xterm.desktop"), "xterm"},
      {"no desktop file: the GTK id", "org.example.App", "app", "App", nullptr, "org.example.App"},
      {"no desktop file: the class", "", "app", "App", nullptr, "App"},
      {"nothing", "", "", "", nullptr, std::nullopt},
  };
  for (const Case& c : cases) {
    const DesktopEntry* entry = entries.forWindow(c.gtkId, c.instance, c.className);
    EXPECT_EQ(entry, c.entry) << c.what;
    EXPECT_EQ(applicationIdentifier(entry, c.gtkId, c.className), c.identifier) << c.what;
  }
  EXPECT_EQ(applicationDisplayName(fixture, "Cuh", "a11y"), "Fixture (user)");
  EXPECT_EQ(applicationDisplayName(nullptr, "XTerm", "a11y"), "XTerm");
  EXPECT_EQ(applicationDisplayName(nullptr, "", "a11y"), "a11y");
  EXPECT_EQ(applicationDisplayName(nullptr, "", ""), std::nullopt);
}

TEST_F(DesktopEntriesTest, IconLookupPrefersTheSizeAtOrAboveTheRequest) {
  fs::path base = root_ / "icons";
  for (const char* size : {"16x16", "48x48", "128x128"})
    write(base / "hicolor" / size / "apps" / "app.png", "png");
  write(base / "hicolor" / "scalable" / "apps" / "vector.svg", "svg");
  write(base / "Adwaita" / "32x32" / "mimetypes" / "application-x-executable.png", "png");
  write(root_ / "pixmaps" / "old.png", "png");
  std::vector<std::string> bases{base.string(), (root_ / "pixmaps").string()};

  EXPECT_EQ(findIconFile("app", 32, bases), (base / "hicolor/48x48/apps/app.png").string());
  EXPECT_EQ(findIconFile("app", 48, bases), (base / "hicolor/48x48/apps/app.png").string());
  EXPECT_EQ(findIconFile("app", 256, bases), (base / "hicolor/128x128/apps/app.png").string());
  EXPECT_EQ(findIconFile("app", 8, bases), (base / "hicolor/16x16/apps/app.png").string());
  EXPECT_EQ(findIconFile("vector", 64, bases), std::nullopt);  // SVG only: no PNG
  EXPECT_EQ(findIconFile(kGenericExecutableIcon, 64, bases),
            (base / "Adwaita/32x32/mimetypes/application-x-executable.png").string());
  EXPECT_EQ(findIconFile("old", 64, bases), (root_ / "pixmaps/old.png").string());
  EXPECT_EQ(findIconFile("", 64, bases), std::nullopt);
}

TEST_F(DesktopEntriesTest, ReadsPngAndRefusesWhatIsNot) {
  fs::path png = fs::path(CUH_SOURCE_DIR) / "tests/platform/linux/fixtures/fixture-icon-16.png";
  auto image = readPng(png.string());
  ASSERT_TRUE(image);
  EXPECT_EQ(image->width, 16);
  EXPECT_EQ(image->rgba.size(), 16u * 16 * 4);
  // Left half red, right half blue.
  EXPECT_EQ(image->rgba[0], 220);
  EXPECT_EQ(image->rgba[15 * 4 + 2], 220);
  write(root_ / "bad.png", "not a png");
  EXPECT_FALSE(readPng((root_ / "bad.png").string()));
  EXPECT_FALSE(readPng((root_ / "missing.png").string()));
}

}  // namespace
}  // namespace cuh::linux_desktop
