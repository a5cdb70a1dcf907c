#include "platform/sim/sim_accessibility.h"

#include "platform/ax_names.h"
#include "platform/sim/sim_values.h"

namespace cuh::sim {

using platform::AXElement;
using platform::AXError;
using platform::AXResult;
using platform::Value;

bool SimElement::isEqual(const platform::ElementObject& other) const {
  const auto* sim = dynamic_cast<const SimElement*>(&other);
  if (!sim || sim->desktop_ != desktop_ || sim->isApp_ != isApp_)
    return false;
  if (isApp_)
    return sim->pid_ == pid_;
  // Compare ownership, not addresses: a freed node's address may be reused.
  return !node_.owner_before(sim->node_) && !sim->node_.owner_before(node_);
}

namespace {

Value asValue(AXElement element) {
  return Value(Value::Storage(std::move(element)));
}

bool isWindowRoot(const Window* window, const std::shared_ptr<Node>& node) {
  return window && window->root == node;
}

}  // namespace

bool SimAccessibility::isProcessTrusted() {
  context_.trace.write({{"kind", "trust"}, {"prompt", false}});
  return context_.world.trusted;
}

bool SimAccessibility::isProcessTrustedWithOptions(bool prompt) {
  context_.trace.write({{"kind", "trust"}, {"prompt", prompt}});
  return context_.world.trusted;
}

AXElement SimAccessibility::createApplication(int32_t pid) {
  return AXElement(std::make_shared<SimElement>(&context_, pid));
}

AXElement SimAccessibility::elementFor(const std::shared_ptr<Node>& node) const {
  return AXElement(std::make_shared<SimElement>(&context_, node));
}

std::string SimAccessibility::nameOf(const AXElement& element) const {
  const auto* sim = dynamic_cast<const SimElement*>(element.object());
  if (!sim || sim->desktop() != &context_)
    return "";
  if (sim->isApp())
    return "app:" + std::to_string(sim->pid());
  auto node = sim->node();
  return node ? context_.world.targetName(*node) : "";
}

SimAccessibility::Resolved SimAccessibility::resolve(const AXElement& element) const {
  Resolved out;
  const auto* sim = dynamic_cast<const SimElement*>(element.object());
  if (!sim || sim->desktop() != &context_) {
    out.error = AXError::illegalArgument;
    return out;
  }
  int32_t pid = sim->pid();
  if (!sim->isApp()) {
    out.node = sim->node();
    out.window = out.node ? context_.world.windowOf(*out.node) : nullptr;
    if (!out.window) {
      out.error = AXError::invalidUIElement;
      return out;
    }
    pid = out.window->pid;
  }
  out.app = context_.world.app(pid);
  // A process that is no application, or an application that does not
  // answer.
  if (!out.app || !out.app->profile.axEnabled)
    out.error = AXError::cannotComplete;
  return out;
}

AXResult<Value> SimAccessibility::read(const AXElement& element, std::string_view attribute) {
  Resolved target = resolve(element);
  if (target.error != AXError::success)
    return {target.error, std::nullopt};
  return readResolved(target, attribute);
}

AXResult<Value> SimAccessibility::readResolved(const Resolved& target, std::string_view attribute) {
  World& world = context_.world;
  auto found = [](Value v) { return AXResult<Value>{AXError::success, std::move(v)}; };
  auto none = AXResult<Value>{AXError::noValue, std::nullopt};
  if (!target.node) {
    App& app = *target.app;
    if (attribute == ax::kRoleAttribute)
      return found(Value::string(std::string(ax::kApplicationRole)));
    if (attribute == ax::kTitleAttribute) {
      if (!app.profile.name || app.profile.name->empty())
        return none;
      return found(Value::string(*app.profile.name));
    }
    if (attribute == ax::kWindowsAttribute || attribute == ax::kChildrenAttribute) {
      platform::Array windows;
      for (const auto& window : world.windows) {
        if (window->pid == app.profile.pid && window->root)
          windows.push_back(asValue(elementFor(window->root)));
      }
      return found(Value(Value::Storage(std::move(windows))));
    }
    if (attribute == ax::kFocusedWindowAttribute) {
      if (!app.focusedWindow)
        return none;
      Window* window = world.window(*app.focusedWindow);
      if (!window || window->pid != app.profile.pid || !window->root)
        return none;
      return found(asValue(elementFor(window->root)));
    }
    if (attribute == ax::kFocusedUIElementAttribute) {
      auto node = app.focusedElement.lock();
      Window* window = node ? world.windowOf(*node) : nullptr;
      if (!window || window->pid != app.profile.pid)
        return none;
      return found(asValue(elementFor(node)));
    }
    if (attribute == ax::kFrontmostAttribute) {
      return found(Value::boolean(world.frontmostPid() == app.profile.pid));
    }
    return {AXError::attributeUnsupported, std::nullopt};
  }
  const Node& node = *target.node;
  if (attribute == ax::kParentAttribute) {
    if (isWindowRoot(target.window, target.node))
      return found(asValue(createApplication(target.app->profile.pid)));
    auto parent = node.parent.lock();
    if (!parent)
      return none;
    return found(asValue(elementFor(parent)));
  }
  if (attribute == ax::kChildrenAttribute) {
    if (!node.hasChildren)
      return none;
    platform::Array children;
    for (const auto& child : node.children)
      children.push_back(asValue(elementFor(child)));
    return found(Value(Value::Storage(std::move(children))));
  }
  if (const Value* value = node.attribute(attribute))
    return found(*value);
  return none;
}

AXResult<Value> SimAccessibility::copyAttributeValue(const AXElement& element,
                                                     std::string_view attribute) {
  context_.accessibilityRoundTrip();
  return read(element, attribute);
}

AXResult<platform::AttributeSlots> SimAccessibility::copyMultipleAttributeValues(
    const AXElement& element,
    std::span<const std::string_view> attributes,
    platform::CopyMultipleOptions options) {
  if (attributes.empty())
    return {AXError::success, platform::AttributeSlots{}};
  // One round trip, however many attributes it carries.
  context_.accessibilityRoundTrip();
  Resolved target = resolve(element);
  if (target.error != AXError::success)
    return {target.error, std::nullopt};
  platform::AttributeSlots slots;
  slots.reserve(attributes.size());
  for (std::string_view attribute : attributes) {
    AXResult<Value> slot = readResolved(target, attribute);
    if (!slot.ok() && options == platform::CopyMultipleOptions::stopOnError)
      return {slot.error, std::nullopt};
    slots.push_back(std::move(slot));
  }
  return {AXError::success, std::move(slots)};
}

AXResult<bool> SimAccessibility::isAttributeSettable(const AXElement& element,
                                                     std::string_view attribute) {
  context_.accessibilityRoundTrip();
  Resolved target = resolve(element);
  if (target.error != AXError::success)
    return {target.error, std::nullopt};
  if (!target.node) {
    return {AXError::success, attribute == ax::kFocusedWindowAttribute ||
                                  attribute == ax::kFocusedUIElementAttribute};
  }
  return {AXError::success, target.node->settable.count(attribute) > 0};
}

void SimAccessibility::focus(App& app, const std::shared_ptr<Node>& node) {
  auto previous = app.focusedElement.lock();
  if (previous && previous != node && previous->attribute(ax::kFocusedAttribute)) {
    previous->setAttribute(ax::kFocusedAttribute, Value::boolean(false));
  }
  node->setAttribute(ax::kFocusedAttribute, Value::boolean(true));
  app.focusedElement = node;
}

AXError SimAccessibility::setResolved(const Resolved& target,
                                      std::string_view attribute,
                                      const Value& value) {
  World& world = context_.world;
  App& app = *target.app;
  if (!target.node) {
    bool focusWindow = attribute == ax::kFocusedWindowAttribute;
    if (!focusWindow && attribute != ax::kFocusedUIElementAttribute)
      return AXError::attributeUnsupported;
    if (app.profile.rejects.count(attribute))
      return AXError::cannotComplete;
    const AXElement* element = value.as<AXElement>();
    if (!element)
      return AXError::illegalArgument;
    Resolved chosen = resolve(*element);
    if (!chosen.node || !chosen.window || chosen.window->pid != app.profile.pid) {
      return AXError::illegalArgument;
    }
    if (focusWindow) {
      if (!isWindowRoot(chosen.window, chosen.node))
        return AXError::illegalArgument;
      app.focusedWindow = chosen.window->id;
    } else {
      focus(app, chosen.node);
    }
    return AXError::success;
  }
  Node& node = *target.node;
  if (!node.settable.count(attribute))
    return AXError::attributeUnsupported;
  if (node.rejects.count(attribute))
    return AXError::cannotComplete;
  if (node.staleReadback &&
      (attribute == ax::kValueAttribute || attribute == ax::kSelectedTextRangeAttribute)) {
    return AXError::success;
  }
  if (attribute == ax::kFocusedAttribute) {
    const auto* flag = value.as<platform::Boolean>();
    const auto* number = value.as<platform::Number>();
    if (!flag && !number)
      return AXError::illegalArgument;
    bool focused = flag ? flag->value : number->boolValue();
    if (focused) {
      focus(app, target.node);
    } else {
      node.setAttribute(ax::kFocusedAttribute, Value::boolean(false));
      if (app.focusedElement.lock() == target.node)
        app.focusedElement.reset();
    }
    return AXError::success;
  }
  // Moving or resizing a window element moves or resizes the window, as the
  // window server would show it.
  if (isWindowRoot(target.window, target.node)) {
    if (const auto* origin = value.as<platform::Point>();
        origin && attribute == ax::kPositionAttribute) {
      World::moveWindow(*target.window, *origin);
      target.node->setAttribute(ax::kPositionAttribute, value);
      return AXError::success;
    }
    if (const auto* size = value.as<platform::Size>(); size && attribute == ax::kSizeAttribute) {
      World::resizeWindow(*target.window, *size);
      target.node->setAttribute(ax::kSizeAttribute, value);
      return AXError::success;
    }
  }
  node.attributes[std::string(attribute)] = value;
  (void)world;
  return AXError::success;
}

AXError SimAccessibility::setAttributeValue(const AXElement& element,
                                            std::string_view attribute,
                                            const Value& value) {
  context_.accessibilityRoundTrip();
  Resolved target = resolve(element);
  std::string name = nameOf(element);
  AXError error = target.error;
  if (error == AXError::success)
    error = setResolved(target, attribute, value);
  auto nameOfElement = [this](const AXElement& e) { return nameOf(e); };
  context_.trace.write({{"kind", "set"},
                        {"target", name},
                        {"attribute", attribute},
                        {"value", traceValue(value, nameOfElement)},
                        {"ok", error == AXError::success}});
  if (error == AXError::success && context_.afterSet)
    context_.afterSet(name, attribute);
  return error;
}

AXResult<Value> SimAccessibility::copyActionNames(const AXElement& element) {
  context_.accessibilityRoundTrip();
  Resolved target = resolve(element);
  if (target.error != AXError::success)
    return {target.error, std::nullopt};
  platform::Array names;
  if (target.node) {
    for (const auto& action : target.node->actions)
      names.push_back(Value::string(action));
  }
  return {AXError::success, Value(Value::Storage(std::move(names)))};
}

AXError SimAccessibility::performAction(const AXElement& element, std::string_view action) {
  context_.accessibilityRoundTrip();
  Resolved target = resolve(element);
  std::string name = nameOf(element);
  AXError error = target.error;
  if (error == AXError::success) {
    Node* node = target.node.get();
    bool offered = false;
    if (node) {
      for (const auto& a : node->actions)
        offered = offered || a == action;
    }
    if (!offered) {
      error = AXError::actionUnsupported;
    } else if (node->rejects.count(action)) {
      error = AXError::cannotComplete;
    } else if (auto remaining = node->failAfter.find(action); remaining != node->failAfter.end()) {
      if (remaining->second <= 0) {
        error = AXError::cannotComplete;
      } else {
        --remaining->second;
      }
    }
  }
  context_.trace.write({{"kind", "action"},
                        {"target", name},
                        {"action", action},
                        {"ok", error == AXError::success}});
  if (error == AXError::success && context_.afterAction)
    context_.afterAction(name, action);
  return error;
}

namespace {

std::shared_ptr<Node> deepestAt(const std::shared_ptr<Node>& node, platform::Point point) {
  for (size_t i = node->children.size(); i-- > 0;) {
    if (auto hit = deepestAt(node->children[i], point))
      return hit;
  }
  auto frame = node->frame();
  if (frame && frame->contains(point))
    return node;
  return nullptr;
}

}  // namespace

std::shared_ptr<Node> SimAccessibility::hitTest(const Window& window, platform::Point point) const {
  if (!window.root)
    return nullptr;
  auto hit = deepestAt(window.root, point);
  return hit ? hit : window.root;
}

AXResult<AXElement> SimAccessibility::copyElementAtPosition(const AXElement& application,
                                                            float x,
                                                            float y) {
  context_.accessibilityRoundTrip();
  Resolved target = resolve(application);
  if (target.error != AXError::success)
    return {target.error, std::nullopt};
  platform::Point point{static_cast<double>(x), static_cast<double>(y)};
  for (const auto& window : context_.world.windows) {
    if (window->pid != target.app->profile.pid || !window->bounds)
      continue;
    if (!window->bounds->contains(point))
      continue;
    if (!window->root)
      break;
    return {AXError::success, elementFor(hitTest(*window, point))};
  }
  return {AXError::noValue, std::nullopt};
}

}  // namespace cuh::sim
