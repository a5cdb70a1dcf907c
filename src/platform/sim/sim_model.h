// The simulated desktop's state: applications, windows with their element
// trees, launchable applications and the shared bits the services read. All
// of it lives on the main thread, except the few atomics that running
// application objects read from whatever thread holds them.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/geometry.h"
#include "platform/value.h"
#include "platform/workspace.h"

namespace cuh::sim {

struct Window;

// One accessibility element of a window's tree. Parents own their children;
// handles refer to nodes weakly, so a removed node's handles go stale.
struct Node {
  std::string ref;
  // Attributes that have a value. An attribute missing here has none.
  std::map<std::string, platform::Value, std::less<>> attributes;
  std::set<std::string, std::less<>> settable;
  std::vector<std::string> actions;
  std::set<std::string, std::less<>> rejects;
  // Remaining successes of an action before it starts failing.
  std::map<std::string, int64_t, std::less<>> failAfter;
  bool staleReadback = false;
  // AXChildren has a value (possibly an empty list).
  bool hasChildren = false;
  std::vector<std::shared_ptr<Node>> children;
  std::weak_ptr<Node> parent;
  // Set on a window's root element only.
  std::weak_ptr<Window> window;

  void setAttribute(std::string_view name, platform::Value value) {
    attributes.insert_or_assign(std::string(name), std::move(value));
  }
  const platform::Value* attribute(std::string_view name) const {
    auto found = attributes.find(name);
    return found == attributes.end() ? nullptr : &found->second;
  }
  std::optional<platform::Rect> frame() const;
  void setFrame(const std::optional<platform::Rect>& frame);
};

struct Window {
  uint32_t id = 0;
  int32_t pid = 0;
  // The owner-name entry: taken from the owning app's name unless the scene
  // gives one (or null, for no entry).
  bool ownerFromApp = true;
  std::optional<std::string> owner;
  std::optional<std::string> title;
  std::optional<platform::Value> layer;
  std::optional<platform::Value> alpha;
  std::optional<bool> onScreen;
  std::optional<platform::Rect> bounds;
  // Raw row entries merged over the generated row (null deletes an entry).
  nlohmann::json row = nlohmann::json::object();
  // The window's accessibility element; null when it has none.
  std::shared_ptr<Node> root;
};

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
};

// A tri-state scene value: absent (use the default), null, or given.
template <class T>
struct SceneOptional {
  bool present = false;  // the key was given (possibly as null)
  std::optional<T> value;
};

// What the scene says about one application, running or launchable.
struct AppProfile {
  int32_t pid = 0;
  std::optional<std::string> name;
  std::optional<std::string> bundleId;
  std::optional<std::string> path;
  platform::ActivationPolicy policy = platform::ActivationPolicy::regular;
  bool finishedLaunching = true;
  bool axEnabled = true;
  SceneOptional<uint32_t> focusedWindow;
  SceneOptional<std::string> focusedElement;
  std::set<std::string, std::less<>> rejects;
  bool dropsActivation = false;
  std::optional<Rgb> icon;
};

// The frontmost pid, shared with running-application objects (which may be
// read on any thread). kNoPid: no frontmost application.
inline constexpr int64_t kNoPid = INT64_MIN;
using FrontmostCell = std::shared_ptr<std::atomic<int64_t>>;

// One process launch of an application: the object the workspace hands out.
class SimRunningApplication final : public platform::RunningApplication {
 public:
  SimRunningApplication(const AppProfile& profile, FrontmostCell frontmost)
      : pid_(profile.pid),
        policy_(profile.policy),
        name_(profile.name && !profile.name->empty() ? profile.name : std::nullopt),
        bundleId_(profile.bundleId),
        path_(profile.path),
        finishedLaunching_(profile.finishedLaunching),
        frontmost_(std::move(frontmost)) {}

  int32_t processIdentifier() const override { return pid_; }
  bool isTerminated() const override { return terminated_.load(); }
  bool isEqual(const platform::RunningApplication& other) const override { return &other == this; }
  platform::ActivationPolicy activationPolicy() const override { return policy_; }
  std::optional<std::string> localizedName() const override { return name_; }
  std::optional<std::string> bundleIdentifier() const override { return bundleId_; }
  std::optional<std::string> bundleURLPath() const override { return path_; }
  bool isActive() const override { return !isTerminated() && frontmost_->load() == pid_; }
  bool isFinishedLaunching() const override { return finishedLaunching_; }

  void markTerminated() { terminated_.store(true); }

 private:
  int32_t pid_;
  platform::ActivationPolicy policy_;
  std::optional<std::string> name_;
  std::optional<std::string> bundleId_;
  std::optional<std::string> path_;
  bool finishedLaunching_;
  FrontmostCell frontmost_;
  std::atomic<bool> terminated_{false};
};

// A running application.
struct App {
  AppProfile profile;
  std::shared_ptr<SimRunningApplication> object;
  // The window whose element is AXFocusedWindow; none: no value.
  std::optional<uint32_t> focusedWindow;
  // AXFocusedUIElement; expired or empty: no value.
  std::weak_ptr<Node> focusedElement;
};

struct Launchable {
  AppProfile profile;
  nlohmann::json windows = nlohmann::json::array();  // validated at load
  std::optional<std::string> error;
  double delaySeconds = 0.02;
};

struct World {
  bool trusted = true;
  double axLatencySeconds = 0;
  FrontmostCell frontmost = std::make_shared<std::atomic<int64_t>>(kNoPid);
  std::vector<std::shared_ptr<App>> apps;        // running, in workspace order
  std::vector<std::shared_ptr<Window>> windows;  // front to back
  std::vector<Launchable> launchable;

  std::optional<int32_t> frontmostPid() const {
    int64_t pid = frontmost->load();
    if (pid == kNoPid)
      return std::nullopt;
    return static_cast<int32_t>(pid);
  }
  void setFrontmost(std::optional<int32_t> pid) { frontmost->store(pid ? *pid : kNoPid); }

  // A deep copy in the same state that shares nothing with this world: its
  // own nodes, windows, frontmost cell and application objects.
  World clone() const;
  // Everything the world holds, as JSON, so two worlds can be compared.
  nlohmann::json describe() const;

  App* app(int32_t pid) const;
  Window* window(uint32_t id) const;
  std::shared_ptr<Window> windowShared(uint32_t id) const;
  // The window a live node belongs to; null for a node no longer on the
  // desktop (removed, its window closed, ...).
  Window* windowOf(const Node& node) const;
  // Finds a live element by its trace name (ref or "WINDOWID/PATH").
  std::shared_ptr<Node> findNode(std::string_view target) const;
  // The trace name of a live node ("" when it is not on the desktop).
  std::string targetName(const Node& node) const;

  // A window moves: its bounds and every framed element of its tree.
  static void moveWindow(Window& window, platform::Point origin);
  // A window's size changes, and its element's with it.
  static void resizeWindow(Window& window, platform::Size size);
};

// Depth-first visit of a tree; stops when `visit` returns true.
bool visitTree(const std::shared_ptr<Node>& node,
               const std::function<bool(const std::shared_ptr<Node>&)>& visit);

}  // namespace cuh::sim
