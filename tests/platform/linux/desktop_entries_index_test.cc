#include "platform/linux/desktop_entries_index.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace cuh::linux_desktop {
namespace {

namespace fs = std::filesystem;

std::string entryText(const std::string& name) {
  return "[Desktop Entry]\nType=Application\nName=" + name + "\n";
}

// What an answer is made of: each entry's id, name and file.
std::vector<std::string> summary(const DesktopEntries& entries) {
  std::vector<std::string> rows;
  for (const DesktopEntry& entry : entries.entries())
    rows.push_back(entry.id + " " + entry.name + " " + entry.path);
  return rows;
}

class DesktopEntriesIndexTest : public ::testing::Test {
 public:
  void SetUp() override {
    char pattern[] = "/tmp/cuh-entries-index.XXXXXX";
    root_ = mkdtemp(pattern);
    user_ = root_ / "user";  // missing until a case creates it
    system_ = root_ / "system";
    write(system_ / "editor.desktop", entryText("Editor"));
    write(system_ / "viewer.desktop", entryText("Viewer"));
    write(system_ / "vendor/tool.desktop", entryText("Tool"));
    fs::create_symlink(root_ / "elsewhere/linked.desktop", system_ / "linked.desktop");
    directories_ = {user_.string(), system_.string()};
  }
  void TearDown() override { fs::remove_all(root_); }

  void write(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
  }
  // Sets every modification time an hour back, so that any later change
  // shows in them however coarse the file system's clock is.
  void age() {
    timespec times[2];
    clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_sec -= 3600;
    times[1] = times[0];
    for (const auto& item : fs::recursive_directory_iterator(root_))
      utimensat(AT_FDCWD, item.path().c_str(), times, AT_SYMLINK_NOFOLLOW);
  }
  // The fixture's change times are now; a clock an hour ahead lets the
  // index keep its readings of them.
  static std::chrono::system_clock::time_point hourAhead() {
    return std::chrono::system_clock::now() + std::chrono::hours(1);
  }

  fs::path root_, user_, system_;
  std::vector<std::string> directories_;
};

TEST_F(DesktopEntriesIndexTest, AChangeIsSeenByTheNextUseAndNothingElseIsReadAgain) {
  struct Case {
    const char* change;
    std::function<void(DesktopEntriesIndexTest&)> apply;
  };
  const std::vector<Case> cases = {
      {"a file added", [](auto& t) { t.write(t.system_ / "added.desktop", entryText("Added")); }},
      {"a file edited in place, its size kept",
       [](auto& t) {
         std::ofstream(t.system_ / "editor.desktop", std::ios::in | std::ios::out)
             << entryText("Edixor");
       }},
      {"a file removed", [](auto& t) { fs::remove(t.system_ / "viewer.desktop"); }},
      {"a file renamed",
       [](auto& t) { fs::rename(t.system_ / "viewer.desktop", t.system_ / "viewer2.desktop"); }},
      {"a file added in a subdirectory",
       [](auto& t) { t.write(t.system_ / "vendor/more.desktop", entryText("More")); }},
      {"a file edited in a subdirectory",
       [](auto& t) { t.write(t.system_ / "vendor/tool.desktop", entryText("Tool 2")); }},
      {"a subdirectory added",
       [](auto& t) { t.write(t.system_ / "new/one.desktop", entryText("One")); }},
      {"a directory that did not exist appears, shadowing a file",
       [](auto& t) { t.write(t.user_ / "editor.desktop", entryText("My Editor")); }},
      {"a dangling link's target appears",
       [](auto& t) { t.write(t.root_ / "elsewhere/linked.desktop", entryText("Linked")); }},
      {"a file made a non-application",
       [](auto& t) {
         t.write(t.system_ / "editor.desktop", "[Desktop Entry]\nType=Link\nName=Editor\n");
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.change);
    TearDown();
    SetUp();
    age();
    DesktopEntriesIndex index(&DesktopEntriesIndexTest::hourAhead);
    std::vector<std::string> before = summary(index.current(directories_));
    EXPECT_EQ(summary(index.current(directories_)), before);
    EXPECT_EQ(index.readings(), 1u);  // nothing changed: kept

    c.apply(*this);
    std::vector<std::string> after = summary(index.current(directories_));
    EXPECT_NE(after, before);
    EXPECT_EQ(after, summary(DesktopEntries::load(directories_)));
    EXPECT_EQ(summary(index.current(directories_)), after);
    EXPECT_EQ(index.readings(), 2u);
  }
}

TEST_F(DesktopEntriesIndexTest, OtherDirectoriesAreReadAfresh) {
  age();
  DesktopEntriesIndex index(&DesktopEntriesIndexTest::hourAhead);
  index.current(directories_);
  std::vector<std::string> onlyVendor = {(system_ / "vendor").string()};
  EXPECT_EQ(summary(index.current(onlyVendor)), summary(DesktopEntries::load(onlyVendor)));
  EXPECT_EQ(index.readings(), 2u);
}

TEST_F(DesktopEntriesIndexTest, AReadingOfFreshFilesIsNotKept) {
  // Just written: a second change within the same timestamp tick would not
  // show in the times, so each use reads again until they have settled.
  std::chrono::system_clock::duration ahead{};
  DesktopEntriesIndex index([&] { return std::chrono::system_clock::now() + ahead; });
  index.current(directories_);
  index.current(directories_);
  EXPECT_EQ(index.readings(), 2u);
  ahead = DesktopEntriesIndex::kSettleTime + std::chrono::seconds(1);
  index.current(directories_);
  index.current(directories_);
  EXPECT_EQ(index.readings(), 3u);
}

}  // namespace
}  // namespace cuh::linux_desktop
