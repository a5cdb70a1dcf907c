// The simulated desktop: an in-process model of the window server,
// accessibility, workspace, events and taps, loaded from a JSON scene. Its
// foreground protection and background input are the Quartz library's, over
// the simulated events. It is the platform of the binary on systems without
// a real backend, and of every unit and end-to-end test.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/platform.h"
#include "platform/quartz/services.h"
#include "platform/sim/clock.h"
#include "platform/sim/event_loop.h"
#include "platform/sim/scene_error.h"
#include "platform/sim/scene_loader.h"

namespace cuh::sim {

struct DesktopOptions {
  // Unit tests run on a virtual clock; the binary on the real one.
  bool virtualClock = true;
  // --trace FILE: every trace line is appended there too, flushed per line.
  std::optional<std::string> tracePath;
  // Keeps the trace in memory for traceLines(). The binary turns it off, so
  // that a long session does not grow without bound.
  bool keepTrace = true;
  // Whether the events have the window-location call; without it they carry
  // their screen location only, as on a Mac that lacks the call.
  bool windowLocation = true;
};

class SimDesktop final : public platform::Platform {
 public:
  // Builds a desktop from a parsed scene. Throws SceneError.
  static std::unique_ptr<SimDesktop> create(const nlohmann::json& scene,
                                            DesktopOptions options = {});
  // Reads and builds the scene in `path`. Throws SceneError naming the file.
  static std::unique_ptr<SimDesktop> load(const std::string& path, DesktopOptions options = {});
  // The built-in demo scene (the same text as scenes/demo.json).
  static std::string_view demoSceneText();

  ~SimDesktop() override;

  // platform::Platform
  platform::Accessibility& accessibility() override;
  platform::WindowServer& windowServer() override;
  platform::Workspace& workspace() override;
  platform::ForegroundProtection& foregroundProtection() override;
  platform::BackgroundInput& backgroundInput() override;
  platform::ProcessServices& process() override;
  platform::MainLoop& mainLoop() override;
  platform::Application& application() override;
  void willWriteResponse(uint64_t number) override;

  // ---- The in-process API for tests ----
  // The desktop's Quartz events, and the services the Quartz library builds
  // on them (its focus controllers, the mouse-event counter).
  quartz::Events& events();
  quartz::Services& quartz();
  EventLoop& loop();
  Clock& clock();
  // The virtual clock, or null on a real clock.
  VirtualClock* virtualClock();
  // Applies one script action (the scene's action syntax) now. Throws
  // SceneError when it is malformed or names a window, element or app that
  // is not on the desktop.
  void apply(const nlohmann::json& action);
  // Puts the desktop back as it was built from its scene: the model, the
  // clock, the trace (a trace file starts again), the script's rules, the
  // taps, posted events and focus controllers. Every service is a new
  // object afterwards; nothing may still hold the old ones (a helper
  // delegate over this desktop must be gone).
  void reset();
  // The state reset() restores, as JSON: the model, the clock, the trace,
  // the script's progress, the posted events, the taps, the Quartz
  // library's focus controllers and mouse-event counter, the loop's queued
  // work and whether the application terminated. Two desktops built from
  // one scene describe alike until one of them changes.
  nlohmann::json describe() const;
  // Every trace line so far, in order.
  const std::vector<nlohmann::json>& traceLines() const;
  // Every event the helper posted, in post order, with its target pid.
  struct PostedEvent {
    int32_t pid = 0;
    std::shared_ptr<const quartz::EventObject> event;
  };
  std::vector<PostedEvent> postedEvents() const;
  // The trace lines of one kind ("post", "tap", "set", ...).
  std::vector<nlohmann::json> traceLines(std::string_view kind) const;
  // An element's attribute as the trace writes values; none when it has no
  // value. `target` names the element as the trace does (its ref,
  // "WINDOWID/PATH" or "app:PID").
  std::optional<nlohmann::json> attribute(std::string_view target,
                                          std::string_view attribute) const;
  // A handle of the element named as the trace names it (ref,
  // "WINDOWID/PATH" or "app:PID"); a null handle when there is none.
  platform::AXElement element(std::string_view target) const;
  // The trace name of an element handle ("" for a handle of no element).
  std::string targetName(const platform::AXElement& element) const;
  // The frontmost application's pid, if any.
  std::optional<int32_t> frontmostPid() const;
  // Overrides the answer of kill(pid, 0) for `pid` (real processes are asked
  // otherwise).
  void setProcessAlive(int32_t pid, bool alive);

 private:
  struct State;
  struct Origin;
  explicit SimDesktop(std::unique_ptr<Origin> origin);
  // Builds the services over `world` and `rules` (a copy of the origin's).
  void build(World world, std::vector<ScriptRule> rules);
  std::unique_ptr<Origin> origin_;
  std::unique_ptr<State> state_;
};

// The factory the platform selector calls: the scene of `options`, or the
// demo scene without one, on the real clock.
std::unique_ptr<platform::Platform> createSimulatedPlatform(
    const platform::PlatformOptions& options,
    std::string* error);

}  // namespace cuh::sim
