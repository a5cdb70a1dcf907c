#include "platform/sim/sim_model.h"

#include <charconv>
#include <map>

#include "platform/ax_names.h"
#include "platform/sim/sim_values.h"

namespace cuh::sim {

using platform::Point;
using platform::Rect;
using platform::Size;

std::optional<Rect> Node::frame() const {
  const auto* position = attribute(ax::kPositionAttribute);
  const auto* size = attribute(ax::kSizeAttribute);
  const Point* p = position ? position->as<Point>() : nullptr;
  const Size* s = size ? size->as<Size>() : nullptr;
  if (!p || !s)
    return std::nullopt;
  return Rect{*p, *s};
}

void Node::setFrame(const std::optional<Rect>& frame) {
  if (!frame) {
    attributes.erase(std::string(ax::kPositionAttribute));
    attributes.erase(std::string(ax::kSizeAttribute));
    return;
  }
  // Built in place rather than assigned (GCC 12 warns wrongly about the
  // variant assignment under the sanitizers).
  attributes.erase(std::string(ax::kPositionAttribute));
  attributes.erase(std::string(ax::kSizeAttribute));
  attributes.emplace(std::string(ax::kPositionAttribute), platform::Value::Storage(frame->origin));
  attributes.emplace(std::string(ax::kSizeAttribute), platform::Value::Storage(frame->size));
}

bool visitTree(const std::shared_ptr<Node>& node,
               const std::function<bool(const std::shared_ptr<Node>&)>& visit) {
  if (!node)
    return false;
  if (visit(node))
    return true;
  for (const auto& child : node->children) {
    if (visitTree(child, visit))
      return true;
  }
  return false;
}

App* World::app(int32_t pid) const {
  for (const auto& app : apps) {
    if (app->profile.pid == pid)
      return app.get();
  }
  return nullptr;
}

Window* World::window(uint32_t id) const {
  return windowShared(id).get();
}

std::shared_ptr<Window> World::windowShared(uint32_t id) const {
  for (const auto& window : windows) {
    if (window->id == id)
      return window;
  }
  return nullptr;
}

Window* World::windowOf(const Node& node) const {
  const Node* current = &node;
  std::shared_ptr<Node> hold;
  for (int depth = 0; depth < 100000; ++depth) {
    if (auto window = current->window.lock()) {
      Window* live = this->window(window->id);
      return live == window.get() && window->root.get() == current ? live : nullptr;
    }
    hold = current->parent.lock();
    if (!hold)
      return nullptr;
    // The node must still be one of its parent's children.
    bool attached = false;
    for (const auto& child : hold->children)
      attached = attached || child.get() == current;
    if (!attached)
      return nullptr;
    current = hold.get();
  }
  return nullptr;
}

std::string World::targetName(const Node& node) const {
  Window* window = windowOf(node);
  if (!window)
    return "";
  if (!node.ref.empty())
    return node.ref;
  std::vector<size_t> path;
  const Node* current = &node;
  while (current != window->root.get()) {
    auto parent = current->parent.lock();
    if (!parent)
      return "";
    for (size_t i = 0; i < parent->children.size(); ++i) {
      if (parent->children[i].get() == current) {
        path.push_back(i);
        break;
      }
    }
    current = parent.get();
  }
  std::string name = std::to_string(window->id) + "/";
  for (size_t i = path.size(); i-- > 0;) {
    name += std::to_string(path[i]);
    if (i > 0)
      name += ".";
  }
  return name;
}

void World::moveWindow(Window& window, Point origin) {
  // Without bounds the window element's frame is the reference.
  std::optional<Rect> reference = window.bounds;
  if (!reference && window.root)
    reference = window.root->frame();
  double dx = reference ? origin.x - reference->minX() : 0;
  double dy = reference ? origin.y - reference->minY() : 0;
  if (window.bounds)
    window.bounds->origin = origin;
  visitTree(window.root, [&](const std::shared_ptr<Node>& node) {
    if (auto frame = node->frame()) {
      frame->origin.x += dx;
      frame->origin.y += dy;
      node->setFrame(frame);
    }
    return false;
  });
}

void World::resizeWindow(Window& window, Size size) {
  if (window.bounds)
    window.bounds->size = size;
  if (!window.root)
    return;
  if (auto frame = window.root->frame()) {
    frame->size = size;
    window.root->setFrame(frame);
  }
}

namespace {

std::optional<uint64_t> parseNumber(std::string_view text) {
  if (text.empty())
    return std::nullopt;
  uint64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size())
    return std::nullopt;
  return value;
}

}  // namespace

std::shared_ptr<Node> World::findNode(std::string_view target) const {
  std::shared_ptr<Node> found;
  for (const auto& window : windows) {
    if (visitTree(window->root, [&](const std::shared_ptr<Node>& node) {
          if (node->ref == target)
            found = node;
          return found != nullptr;
        })) {
      return found;
    }
  }
  auto slash = target.find('/');
  if (slash == std::string_view::npos)
    return nullptr;
  auto id = parseNumber(target.substr(0, slash));
  if (!id || *id > UINT32_MAX)
    return nullptr;
  Window* window = this->window(static_cast<uint32_t>(*id));
  if (!window || !window->root)
    return nullptr;
  std::shared_ptr<Node> node = window->root;
  std::string_view path = target.substr(slash + 1);
  while (!path.empty()) {
    auto dot = path.find('.');
    auto index = parseNumber(path.substr(0, dot));
    if (!index || *index >= node->children.size())
      return nullptr;
    node = node->children[*index];
    path = dot == std::string_view::npos ? std::string_view() : path.substr(dot + 1);
    if (dot != std::string_view::npos && path.empty())
      return nullptr;
  }
  return node;
}

namespace {

using NodeMap = std::map<const Node*, std::shared_ptr<Node>>;

std::shared_ptr<Node> cloneTree(const Node& node,
                                const std::shared_ptr<Node>& parent,
                                NodeMap& copies) {
  auto copy = std::make_shared<Node>(node);
  copy->parent = parent;
  copy->window.reset();
  for (std::shared_ptr<Node>& child : copy->children)
    child = cloneTree(*child, copy, copies);
  copies[&node] = copy;
  return copy;
}

nlohmann::json describeRect(const std::optional<Rect>& rect) {
  if (!rect)
    return nullptr;
  return {rect->minX(), rect->minY(), rect->width(), rect->height()};
}

nlohmann::json describeValue(const std::optional<platform::Value>& value) {
  if (!value)
    return nullptr;
  return traceValue(*value, [](const platform::AXElement&) { return std::string("element"); });
}

nlohmann::json describeNode(const Node& node) {
  nlohmann::json attributes = nlohmann::json::object();
  for (const auto& [name, value] : node.attributes)
    attributes[name] = describeValue(value);
  nlohmann::json children = nlohmann::json::array();
  for (const std::shared_ptr<Node>& child : node.children)
    children.push_back(describeNode(*child));
  return {{"ref", node.ref},
          {"attributes", std::move(attributes)},
          {"settable", node.settable},
          {"actions", node.actions},
          {"rejects", node.rejects},
          {"failAfter", node.failAfter},
          {"staleReadback", node.staleReadback},
          {"hasChildren", node.hasChildren},
          {"children", std::move(children)},
          {"parent", node.parent.expired() ? "" : node.parent.lock()->ref},
          {"window", node.window.expired() ? -1 : int64_t{node.window.lock()->id}}};
}

template <class T>
nlohmann::json describeOptional(const std::optional<T>& value) {
  return value ? nlohmann::json(*value) : nlohmann::json(nullptr);
}

nlohmann::json describeProfile(const AppProfile& profile) {
  return {{"pid", profile.pid},
          {"name", describeOptional(profile.name)},
          {"bundleId", describeOptional(profile.bundleId)},
          {"path", describeOptional(profile.path)},
          {"policy", static_cast<int>(profile.policy)},
          {"finishedLaunching", profile.finishedLaunching},
          {"axEnabled", profile.axEnabled},
          {"focusedWindow",
           {profile.focusedWindow.present, describeOptional(profile.focusedWindow.value)}},
          {"focusedElement",
           {profile.focusedElement.present, describeOptional(profile.focusedElement.value)}},
          {"rejects", profile.rejects},
          {"dropsActivation", profile.dropsActivation},
          {"icon", profile.icon ? nlohmann::json{profile.icon->r, profile.icon->g, profile.icon->b}
                                : nlohmann::json(nullptr)}};
}

}  // namespace

World World::clone() const {
  World copy;
  copy.trusted = trusted;
  copy.axLatencySeconds = axLatencySeconds;
  copy.frontmost = std::make_shared<std::atomic<int64_t>>(frontmost->load());
  copy.launchable = launchable;
  NodeMap copies;
  for (const std::shared_ptr<Window>& window : windows) {
    auto windowCopy = std::make_shared<Window>(*window);
    if (window->root) {
      windowCopy->root = cloneTree(*window->root, nullptr, copies);
      windowCopy->root->window = windowCopy;
    }
    copy.windows.push_back(std::move(windowCopy));
  }
  for (const std::shared_ptr<App>& app : apps) {
    auto appCopy = std::make_shared<App>(*app);
    appCopy->object = std::make_shared<SimRunningApplication>(app->profile, copy.frontmost);
    if (app->object && app->object->isTerminated())
      appCopy->object->markTerminated();
    appCopy->focusedElement.reset();
    if (auto focused = app->focusedElement.lock()) {
      auto found = copies.find(focused.get());
      if (found != copies.end())
        appCopy->focusedElement = found->second;
    }
    copy.apps.push_back(std::move(appCopy));
  }
  return copy;
}

nlohmann::json World::describe() const {
  nlohmann::json appList = nlohmann::json::array();
  for (const std::shared_ptr<App>& app : apps) {
    auto focused = app->focusedElement.lock();
    appList.push_back({{"profile", describeProfile(app->profile)},
                       {"terminated", app->object ? app->object->isTerminated() : true},
                       {"focusedWindow", describeOptional(app->focusedWindow)},
                       {"focusedElement", focused ? targetName(*focused) : ""}});
  }
  nlohmann::json windowList = nlohmann::json::array();
  for (const std::shared_ptr<Window>& window : windows) {
    windowList.push_back({{"id", window->id},
                          {"pid", window->pid},
                          {"ownerFromApp", window->ownerFromApp},
                          {"owner", describeOptional(window->owner)},
                          {"title", describeOptional(window->title)},
                          {"layer", describeValue(window->layer)},
                          {"alpha", describeValue(window->alpha)},
                          {"onScreen", describeOptional(window->onScreen)},
                          {"bounds", describeRect(window->bounds)},
                          {"row", window->row},
                          {"root", window->root ? describeNode(*window->root) : nullptr}});
  }
  nlohmann::json launchList = nlohmann::json::array();
  for (const Launchable& entry : launchable) {
    launchList.push_back({{"profile", describeProfile(entry.profile)},
                          {"windows", entry.windows},
                          {"error", describeOptional(entry.error)},
                          {"delaySeconds", entry.delaySeconds}});
  }
  return {{"trusted", trusted},
          {"axLatencySeconds", axLatencySeconds},
          {"frontmost", frontmost->load()},
          {"apps", std::move(appList)},
          {"windows", std::move(windowList)},
          {"launchable", std::move(launchList)}};
}

}  // namespace cuh::sim
