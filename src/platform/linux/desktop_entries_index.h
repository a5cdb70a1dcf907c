// DesktopEntriesIndex: the parsed desktop files, kept from one request to
// the next while nothing they were read from has changed. Reading the
// applications directories afresh costs an open and a parse per file; a
// check costs one stat per directory and per file.
//
// What was read is reused only when every path the reading looked at (the
// directories, missing ones included, their subdirectories and each
// *.desktop name) stats the same as then: device, inode, type and
// permissions, size, modification and change time. Adding, removing or
// renaming a file changes its directory's times; editing a file in place
// changes its own; a directory that appears stats differently from a
// missing one. The change time cannot be set back by anyone, so a file
// touched back to its old modification time is still seen. A reading where
// anything looked at changed less than `kSettleTime` before it began is not
// kept at all, since a second change within one timestamp tick would not
// show: it is read again at the next use.
#pragma once

#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/desktop_entries.h"

namespace cuh::linux_desktop {

class DesktopEntriesIndex {
 public:
  using WallClock = std::function<std::chrono::system_clock::time_point()>;
  // Longer than the coarsest file timestamp in use (two seconds on FAT).
  static constexpr std::chrono::seconds kSettleTime{2};

  // `now` is the clock the file system's timestamps are compared with.
  explicit DesktopEntriesIndex(WallClock now = &std::chrono::system_clock::now);

  // The entries of `directories`, the same as DesktopEntries::load would
  // read now. The reference holds until the next call.
  const DesktopEntries& current(const std::vector<std::string>& directories);

  // How many times the files were read (a reuse reads none).
  uint64_t readings() const { return readings_; }

 private:
  struct Stamp {
    std::string path;
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    mode_t mode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};
    bool operator==(const Stamp& other) const;
  };
  static Stamp stampOf(const std::string& path);
  bool unchanged(const std::vector<std::string>& directories) const;

  WallClock now_;
  std::optional<DesktopEntries> entries_;
  std::vector<std::string> directories_;
  std::vector<Stamp> stamps_;
  bool keep_ = false;  // the last reading may be reused
  uint64_t readings_ = 0;
};

}  // namespace cuh::linux_desktop
