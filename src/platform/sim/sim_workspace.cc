#include "platform/sim/sim_workspace.h"

#include <thread>

#include "platform/sim/scene_loader.h"

namespace cuh::sim {

using platform::RunningApplicationRef;

SimWorkspace::~SimWorkspace() {
  std::vector<std::thread> completions;
  {
    std::lock_guard lock(completionsMutex_);
    completions.swap(completions_);
  }
  for (std::thread& thread : completions)
    thread.join();
}

RunningApplicationRef SimWorkspace::frontmostApplication() {
  auto pid = context_.world.frontmostPid();
  if (!pid)
    return nullptr;
  App* app = context_.world.app(*pid);
  return app ? app->object : nullptr;
}

std::vector<RunningApplicationRef> SimWorkspace::runningApplications() {
  std::vector<RunningApplicationRef> out;
  for (const auto& app : context_.world.apps)
    out.push_back(app->object);
  return out;
}

RunningApplicationRef SimWorkspace::runningApplicationWithProcessIdentifier(int32_t pid) {
  App* app = context_.world.app(pid);
  return app ? app->object : nullptr;
}

std::optional<std::string> SimWorkspace::urlForApplicationWithBundleIdentifier(
    std::string_view bundleIdentifier) {
  for (const auto& app : context_.world.apps) {
    if (app->profile.bundleId == bundleIdentifier && app->profile.path)
      return app->profile.path;
  }
  for (const auto& launchable : context_.world.launchable) {
    if (launchable.profile.bundleId == bundleIdentifier && launchable.profile.path) {
      return launchable.profile.path;
    }
  }
  return std::nullopt;
}

namespace {

// fullPathForApplication takes the name with or without ".app".
bool nameMatches(const AppProfile& profile, std::string_view name) {
  if (!profile.name || profile.name->empty() || !profile.path)
    return false;
  if (*profile.name == name)
    return true;
  return name.size() == profile.name->size() + 4 &&
         name.substr(0, profile.name->size()) == *profile.name &&
         name.substr(profile.name->size()) == ".app";
}

std::string lastComponent(std::string_view path) {
  while (path.size() > 1 && path.back() == '/')
    path.remove_suffix(1);
  auto slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

bool samePath(const std::optional<std::string>& a, std::string_view b) {
  if (!a)
    return false;
  std::string_view x = *a;
  while (x.size() > 1 && x.back() == '/')
    x.remove_suffix(1);
  while (b.size() > 1 && b.back() == '/')
    b.remove_suffix(1);
  return x == b;
}

}  // namespace

std::optional<std::string> SimWorkspace::fullPathForApplication(std::string_view name) {
  for (const auto& app : context_.world.apps) {
    if (nameMatches(app->profile, name))
      return app->profile.path;
  }
  for (const auto& launchable : context_.world.launchable) {
    if (nameMatches(launchable.profile, name))
      return launchable.profile.path;
  }
  return std::nullopt;
}

void SimWorkspace::complete(platform::OpenCompletion completion,
                            RunningApplicationRef application,
                            std::optional<std::string> error) {
  // The real workspace answers on one of its own threads. On a virtual
  // clock the thread is joined so that tests stay deterministic; the
  // completion is expected to hand its work to the main loop. On the real
  // clock the thread is kept and joined when the workspace goes, before the
  // loop does: a detached one could post to a destroyed loop at exit.
  std::thread thread([completion = std::move(completion), application = std::move(application),
                      error = std::move(error)]() mutable {
    completion(std::move(application), std::move(error));
  });
  if (context_.clock.isVirtual()) {
    thread.join();
  } else {
    std::lock_guard lock(completionsMutex_);
    completions_.push_back(std::move(thread));
  }
}

App& SimWorkspace::start(const Launchable& launchable) {
  World& world = context_.world;
  for (size_t i = 0; i < launchable.windows.size(); ++i) {
    // Validated when the scene was loaded.
    auto window =
        buildWindow(launchable.windows[i], "$.launchable.windows[" + std::to_string(i) + "]",
                    launchable.profile.pid);
    if (world.window(window->id))
      continue;  // an id taken meanwhile (a relaunch kept it)
    world.windows.push_back(std::move(window));
  }
  auto app = std::make_shared<App>();
  app->profile = launchable.profile;
  app->object = std::make_shared<SimRunningApplication>(app->profile, world.frontmost);
  applyFocusDefaults(*app, world);
  world.apps.push_back(app);
  return *app;
}

void SimWorkspace::openApplicationAtURL(std::string_view absolutePath,
                                        const platform::OpenConfiguration& configuration,
                                        platform::OpenCompletion completion) {
  context_.trace.write({{"kind", "launch"},
                        {"url", "file://" + std::string(absolutePath)},
                        {"activates", configuration.activates},
                        {"addsToRecentItems", configuration.addsToRecentItems}});
  World& world = context_.world;
  std::string path(absolutePath);
  for (const auto& app : world.apps) {
    if (samePath(app->profile.path, path)) {
      RunningApplicationRef object = app->object;
      context_.loop.post([this, completion = std::move(completion), object]() mutable {
        complete(std::move(completion), object, std::nullopt);
      });
      return;
    }
  }
  for (size_t i = 0; i < world.launchable.size(); ++i) {
    if (!samePath(world.launchable[i].profile.path, path))
      continue;
    double delay = world.launchable[i].delaySeconds;
    context_.loop.postDelayed(delay, [this, i, completion = std::move(completion)]() mutable {
      const Launchable& launchable = context_.world.launchable[i];
      if (launchable.error) {
        complete(std::move(completion), nullptr, launchable.error);
        return;
      }
      // Opened twice: the second launch answers the running app.
      App* running = context_.world.app(launchable.profile.pid);
      RunningApplicationRef object = running ? running->object : start(launchable).object;
      complete(std::move(completion), object, std::nullopt);
    });
    return;
  }
  std::string error = "The file \xE2\x80\x9C" + lastComponent(path) +
                      "\xE2\x80\x9D couldn\xE2\x80\x99t be opened because there is no such file.";
  context_.loop.post([this, completion = std::move(completion), error]() mutable {
    complete(std::move(completion), nullptr, error);
  });
}

platform::Image SimWorkspace::iconForFile(std::string_view path) {
  std::optional<Rgb> color;
  for (const auto& app : context_.world.apps) {
    if (!color && samePath(app->profile.path, path))
      color = app->profile.icon;
  }
  for (const auto& launchable : context_.world.launchable) {
    if (!color && samePath(launchable.profile.path, path))
      color = launchable.profile.icon;
  }
  platform::Image image;
  image.width = 128;
  image.height = 128;
  image.rgba.resize(128 * 128 * 4);
  for (int y = 0; y < 128; ++y) {
    for (int x = 0; x < 128; ++x) {
      uint8_t* pixel = &image.rgba[static_cast<size_t>((y * 128 + x) * 4)];
      if (color) {
        pixel[0] = color->r;
        pixel[1] = color->g;
        pixel[2] = color->b;
        pixel[3] = 255;
        continue;
      }
      // The generic icon: a light grey sheet with a darker border on a
      // transparent background.
      bool inside = x >= 16 && x < 112 && y >= 8 && y < 120;
      bool border = inside && (x < 20 || x >= 108 || y < 12 || y >= 116);
      uint8_t shade = border ? 128 : 224;
      pixel[0] = pixel[1] = pixel[2] = inside ? shade : 0;
      pixel[3] = inside ? 255 : 0;
    }
  }
  return image;
}

void SimWorkspace::terminate(int32_t pid) {
  World& world = context_.world;
  for (auto it = world.apps.begin(); it != world.apps.end(); ++it) {
    if ((*it)->profile.pid != pid)
      continue;
    (*it)->object->markTerminated();
    world.apps.erase(it);
    break;
  }
  std::erase_if(world.windows, [pid](const std::shared_ptr<Window>& w) { return w->pid == pid; });
  if (world.frontmostPid() == pid)
    world.setFrontmost(std::nullopt);
}

void SimWorkspace::relaunch(int32_t pid) {
  World& world = context_.world;
  for (auto it = world.apps.begin(); it != world.apps.end(); ++it) {
    if ((*it)->profile.pid != pid)
      continue;
    std::shared_ptr<App> app = *it;
    app->object->markTerminated();
    app->object = std::make_shared<SimRunningApplication>(app->profile, world.frontmost);
    // A new process joins the end of the running applications.
    world.apps.erase(it);
    world.apps.push_back(app);
    return;
  }
}

}  // namespace cuh::sim
