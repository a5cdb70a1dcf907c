#include "platform/linux/desktop_entries.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace cuh::linux_desktop {
namespace {

std::string_view trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
    text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
    text.remove_suffix(1);
  return text;
}

// Desktop entry string values escape \s \n \t \r \\.
std::string unescape(std::string_view value) {
  std::string out;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      out.push_back(value[i]);
      continue;
    }
    char next = value[++i];
    switch (next) {
      case 's':
        out.push_back(' ');
        break;
      case 'n':
        out.push_back('\n');
        break;
      case 't':
        out.push_back('\t');
        break;
      case 'r':
        out.push_back('\r');
        break;
      case '\\':
        out.push_back('\\');
        break;
      default:
        out.push_back('\\');
        out.push_back(next);
    }
  }
  return out;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

std::string DesktopEntry::identifier() const {
  constexpr std::string_view kSuffix = ".desktop";
  if (id.size() > kSuffix.size() && id.ends_with(kSuffix))
    return id.substr(0, id.size() - kSuffix.size());
  return id;
}

std::optional<DesktopEntry> parseDesktopEntry(std::string_view text,
                                              std::string id,
                                              std::string path) {
  DesktopEntry entry;
  entry.id = std::move(id);
  entry.path = std::move(path);
  bool inGroup = false, sawGroup = false;
  std::string type;
  size_t at = 0;
  while (at <= text.size()) {
    size_t end = text.find('\n', at);
    std::string_view line = trim(text.substr(at, end == std::string_view::npos ? end : end - at));
    at = end == std::string_view::npos ? text.size() + 1 : end + 1;
    if (line.empty() || line.front() == '#')
      continue;
    if (line.front() == '[') {
      inGroup = line == "[Desktop Entry]";
      sawGroup = sawGroup || inGroup;
      continue;
    }
    if (!inGroup)
      continue;
    size_t equals = line.find('=');
    if (equals == std::string_view::npos)
      continue;
    std::string_view key = trim(line.substr(0, equals));
    std::string value = unescape(trim(line.substr(equals + 1)));
    if (key == "Type")
      type = value;
    else if (key == "Name")
      entry.name = value;
    else if (key == "Exec")
      entry.exec = value;
    else if (key == "Icon")
      entry.icon = value;
    else if (key == "StartupWMClass")
      entry.startupWmClass = value;
    else if (key == "TryExec")
      entry.tryExec = value;
    else if (key == "Hidden")
      entry.hidden = value == "true";
    else if (key == "NoDisplay")
      entry.noDisplay = value == "true";
  }
  if (!sawGroup || type != "Application")
    return std::nullopt;
  return entry;
}

std::vector<std::string> applicationDirectories() {
  std::vector<std::string> directories;
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  const char* home = std::getenv("HOME");
  if (dataHome && *dataHome == '/')
    directories.push_back(std::string(dataHome) + "/applications");
  else if (home && *home)
    directories.push_back(std::string(home) + "/.local/share/applications");
  const char* dataDirs = std::getenv("XDG_DATA_DIRS");
  std::string dirs = dataDirs && *dataDirs ? dataDirs : "/usr/local/share:/usr/share";
  std::stringstream stream(dirs);
  std::string dir;
  while (std::getline(stream, dir, ':')) {
    if (!dir.empty() && dir.front() == '/')
      directories.push_back(dir + "/applications");
  }
  return directories;
}

DesktopEntries DesktopEntries::load(const std::vector<std::string>& directories,
                                    std::vector<std::string>* looked) {
  namespace fs = std::filesystem;
  DesktopEntries result;
  std::set<std::string> seen;  // ids, hidden ones included (they shadow later ones)
  for (const std::string& directory : directories) {
    if (looked)
      looked->push_back(directory);
    std::error_code error;
    fs::recursive_directory_iterator it(directory, fs::directory_options::skip_permission_denied,
                                        error);
    std::vector<fs::path> files;
    for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
      bool desktopFile = it->path().extension() == ".desktop";
      std::error_code kindError;
      if (looked && (desktopFile || it->is_directory(kindError)))
        looked->push_back(it->path().string());
      if (desktopFile && it->is_regular_file(error))
        files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
      std::string id = fs::relative(file, directory, error).generic_string();
      std::replace(id.begin(), id.end(), '/', '-');
      if (!seen.insert(id).second)
        continue;
      std::ifstream in(file, std::ios::binary);
      std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      auto entry = parseDesktopEntry(text, id, file.string());
      if (entry && !entry->hidden)
        result.entries_.push_back(std::move(*entry));
    }
  }
  return result;
}

const DesktopEntry* DesktopEntries::byId(std::string_view id) const {
  for (const DesktopEntry& entry : entries_) {
    if (entry.id == id)
      return &entry;
  }
  return nullptr;
}

const DesktopEntry* DesktopEntries::byStartupWmClass(std::string_view wmClass) const {
  if (wmClass.empty())
    return nullptr;
  for (const DesktopEntry& entry : entries_) {
    if (entry.startupWmClass == wmClass)
      return &entry;
  }
  return nullptr;
}

const DesktopEntry* DesktopEntries::byPath(std::string_view path) const {
  for (const DesktopEntry& entry : entries_) {
    if (entry.path == path)
      return &entry;
  }
  return nullptr;
}

const DesktopEntry* DesktopEntries::byName(std::string_view name) const {
  if (name.empty())
    return nullptr;
  for (const DesktopEntry& entry : entries_) {
    if (entry.name == name)
      return &entry;
  }
  for (const DesktopEntry& entry : entries_) {
    if (equalsIgnoringCase(entry.name, name))
      return &entry;
  }
  return nullptr;
}

const DesktopEntry* DesktopEntries::forWindow(std::string_view gtkApplicationId,
                                              std::string_view wmClassInstance,
                                              std::string_view wmClassClass) const {
  if (!gtkApplicationId.empty()) {
    if (const DesktopEntry* entry = byId(std::string(gtkApplicationId) + ".desktop"))
      return entry;
  }
  if (const DesktopEntry* entry = byStartupWmClass(wmClassClass))
    return entry;
  if (const DesktopEntry* entry = byStartupWmClass(wmClassInstance))
    return entry;
  if (!wmClassInstance.empty())
    return byId(std::string(wmClassInstance) + ".desktop");
  return nullptr;
}

std::optional<std::string> applicationIdentifier(const DesktopEntry* entry,
                                                 std::string_view gtkApplicationId,
                                                 std::string_view wmClassClass) {
  if (entry)
    return entry->identifier();
  if (!gtkApplicationId.empty())
    return std::string(gtkApplicationId);
  if (!wmClassClass.empty())
    return std::string(wmClassClass);
  return std::nullopt;
}

std::optional<std::string> applicationDisplayName(const DesktopEntry* entry,
                                                  std::string_view wmClassClass,
                                                  std::string_view accessibleName) {
  if (entry && !entry->name.empty())
    return entry->name;
  if (!wmClassClass.empty())
    return std::string(wmClassClass);
  if (!accessibleName.empty())
    return std::string(accessibleName);
  return std::nullopt;
}

}  // namespace cuh::linux_desktop
