#include "platform/linux/desktop_entries_index.h"

#include <algorithm>
#include <utility>

namespace cuh::linux_desktop {
namespace {

bool sameTime(const timespec& a, const timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

std::chrono::system_clock::time_point timePoint(const timespec& time) {
  return std::chrono::system_clock::time_point(
      std::chrono::duration_cast<std::chrono::system_clock::duration>(
          std::chrono::seconds(time.tv_sec) + std::chrono::nanoseconds(time.tv_nsec)));
}

}  // namespace

bool DesktopEntriesIndex::Stamp::operator==(const Stamp& other) const {
  return path == other.path && exists == other.exists && device == other.device &&
         inode == other.inode && mode == other.mode && size == other.size &&
         sameTime(modified, other.modified) && sameTime(changed, other.changed);
}

DesktopEntriesIndex::DesktopEntriesIndex(WallClock now) : now_(std::move(now)) {}

DesktopEntriesIndex::Stamp DesktopEntriesIndex::stampOf(const std::string& path) {
  Stamp stamp;
  stamp.path = path;
  struct stat info {};
  // Followed like the reading follows it: a link's target is what is read.
  if (::stat(path.c_str(), &info) != 0)
    return stamp;
  stamp.exists = true;
  stamp.device = info.st_dev;
  stamp.inode = info.st_ino;
  stamp.mode = info.st_mode;
  stamp.size = info.st_size;
  stamp.modified = info.st_mtim;
  stamp.changed = info.st_ctim;
  return stamp;
}

bool DesktopEntriesIndex::unchanged(const std::vector<std::string>& directories) const {
  if (!keep_ || !entries_ || directories != directories_)
    return false;
  return std::all_of(stamps_.begin(), stamps_.end(),
                     [](const Stamp& stamp) { return stampOf(stamp.path) == stamp; });
}

const DesktopEntries& DesktopEntriesIndex::current(const std::vector<std::string>& directories) {
  if (unchanged(directories))
    return *entries_;
  // Anything changed after this instant carries a time after it, less the
  // tick the file system rounds to: such a reading is not kept.
  std::chrono::system_clock::time_point began = now_();
  std::vector<std::string> looked;
  entries_ = DesktopEntries::load(directories, &looked);
  ++readings_;
  directories_ = directories;
  stamps_.clear();
  keep_ = true;
  for (const std::string& path : looked) {
    Stamp stamp = stampOf(path);
    if (stamp.exists && (timePoint(stamp.modified) > began - kSettleTime ||
                         timePoint(stamp.changed) > began - kSettleTime))
      keep_ = false;
    stamps_.push_back(std::move(stamp));
  }
  return *entries_;
}

}  // namespace cuh::linux_desktop
