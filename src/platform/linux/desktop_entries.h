// Desktop files (the freedesktop.org desktop entry format): where
// applications are named, identified and launched from. The identifier of
// a running application (the bundle identifier's place) and its display
// name follow fixed rules over the window's properties and these files.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cuh::linux_desktop {

struct DesktopEntry {
  std::string id;    // "org.xfce.mousepad.desktop" (subdirectories joined with '-')
  std::string path;  // the file
  std::string name;  // Name (untranslated)
  std::string exec;
  std::string icon;
  std::string startupWmClass;
  std::string tryExec;
  bool hidden = false;     // Hidden=true: as if it did not exist
  bool noDisplay = false;  // NoDisplay=true: not shown in menus, still an application
  // The id without ".desktop": the identifier.
  std::string identifier() const;
};

// Parses the [Desktop Entry] group of one file's text. None when the file
// has no such group or is not of Type=Application.
std::optional<DesktopEntry> parseDesktopEntry(std::string_view text,
                                              std::string id,
                                              std::string path);

// The application directories in lookup order: $XDG_DATA_HOME/applications
// (default ~/.local/share), then each of $XDG_DATA_DIRS (default
// /usr/local/share:/usr/share) + /applications.
std::vector<std::string> applicationDirectories();

// All desktop entries of the given directories; where two have the same id
// the earlier directory wins. Hidden entries are left out.
class DesktopEntries {
 public:
  // `looked`, when given, receives every path whose change could change the
  // answer: the directories (missing ones too), their subdirectories and
  // every *.desktop name found (whatever it turned out to be).
  static DesktopEntries load(const std::vector<std::string>& directories,
                             std::vector<std::string>* looked = nullptr);

  const std::vector<DesktopEntry>& entries() const { return entries_; }
  const DesktopEntry* byId(std::string_view id) const;  // "x.desktop"
  const DesktopEntry* byStartupWmClass(std::string_view wmClass) const;
  const DesktopEntry* byPath(std::string_view path) const;
  // The entry whose Name equals `name` (exactly, then ignoring case).
  const DesktopEntry* byName(std::string_view name) const;

  // The desktop file of a running application, by the identifier rules:
  // _GTK_APPLICATION_ID + ".desktop"; then StartupWMClass equal to the
  // WM_CLASS class or instance; then the WM_CLASS instance + ".desktop".
  const DesktopEntry* forWindow(std::string_view gtkApplicationId,
                                std::string_view wmClassInstance,
                                std::string_view wmClassClass) const;

 private:
  std::vector<DesktopEntry> entries_;
};

// The identifier: the desktop file's id without ".desktop"; with no desktop
// file, _GTK_APPLICATION_ID, else the WM_CLASS class, else none.
std::optional<std::string> applicationIdentifier(const DesktopEntry* entry,
                                                 std::string_view gtkApplicationId,
                                                 std::string_view wmClassClass);
// The display name: the desktop file's Name, else the WM_CLASS class, else
// the accessibility application's name; none when all are empty.
std::optional<std::string> applicationDisplayName(const DesktopEntry* entry,
                                                  std::string_view wmClassClass,
                                                  std::string_view accessibleName);

}  // namespace cuh::linux_desktop
