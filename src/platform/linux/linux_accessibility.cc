#include "platform/linux/linux_accessibility.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <set>

#include "platform/ax_names.h"
#include "platform/linux/accessibility_bus.h"
#include "platform/linux/accessible_relations.h"
#include "platform/linux/atspi_mapping.h"
#include "platform/linux/text_offsets.h"

namespace cuh::linux_desktop {

using platform::AXElement;
using platform::AXError;
using platform::AXResult;
using platform::Value;

namespace {

constexpr const char* kAccessible = "org.a11y.atspi.Accessible";
constexpr const char* kComponent = "org.a11y.atspi.Component";
constexpr const char* kAction = "org.a11y.atspi.Action";
constexpr const char* kText = "org.a11y.atspi.Text";
constexpr const char* kValueInterface = "org.a11y.atspi.Value";
constexpr const char* kSelection = "org.a11y.atspi.Selection";
constexpr const char* kEditableText = "org.a11y.atspi.EditableText";

// The session bus's switch is asked at most this long.
constexpr std::chrono::milliseconds kSwitchTimeout{1000};
// Children of one object whose row reads are fetched together, at most.
constexpr size_t kPrefetchLimit = 128;
// Objects whose row reads one request fetches ahead, level by level below
// an object whose children are read, at most (a little more than a
// snapshot's rows).
constexpr size_t kSubtreePrefetchLimit = 1024;
// Steps down GetAccessibleAtPoint, at most (a cycle must end).
constexpr int kMaxHitSteps = 64;
// A client-side decorated window's border around its title bar, at most
// (GTK 3 draws a few pixels where the window manager's frame would be).
constexpr int64_t kClientBorderMax = 16;

bool offers(const std::vector<std::string>& interfaces, const char* name) {
  return std::find(interfaces.begin(), interfaces.end(), name) != interfaces.end();
}

AXResult<Value> success(Value value) {
  return {AXError::success, std::move(value)};
}
AXResult<Value> failure(AXError error) {
  return {error, std::nullopt};
}

Value elementValue(const ElementValue& value) {
  if (const auto* text = std::get_if<std::string>(&value))
    return Value::string(*text);
  // Whole numbers as integers, as the platform's numbers of check states
  // and integral slider values are.
  double number = std::get<double>(value);
  if (std::isfinite(number) && number == std::trunc(number) && std::abs(number) < 9.0e15)
    return Value::integer(static_cast<int64_t>(number));
  return Value::floating(number);
}

}  // namespace

bool BusElement::isEqual(const platform::ElementObject& other) const {
  const auto* bus = dynamic_cast<const BusElement*>(&other);
  return bus && !ref_.bus.empty() && bus->ref_ == ref_;
}

void LinuxAccessibility::refresh() {
  session_.touch();
  if (generation_ == session_.requestGeneration())
    return;
  generation_ = session_.requestGeneration();
  forgetRequest();
}

void LinuxAccessibility::forgetRequest() {
  changedInRequest_ = false;
  prefetched_ = 0;
  subtreeSeen_.clear();
  facts_.clear();
  cacheLoaded_.clear();
  windows_.clear();
}

bool LinuxAccessibility::isProcessTrusted() {
  refresh();
  if (!session_.atspi())
    return false;
  return accessibilityEnabled(kSwitchTimeout).value_or(true);
}

bool LinuxAccessibility::isProcessTrustedWithOptions(bool prompt) {
  refresh();
  session_.trace().write({{"kind", "trust"}, {"prompt", prompt}});
  if (prompt && accessibilityEnabled(kSwitchTimeout) != std::optional<bool>(true)) {
    enableAccessibility(kSwitchTimeout);
    session_.retryAccessibilityBus();
  }
  return isProcessTrusted();
}

AXElement LinuxAccessibility::elementFor(const AccessibleRef& ref, int32_t pid) const {
  return AXElement(std::make_shared<BusElement>(ref, pid));
}

AXElement LinuxAccessibility::createApplication(int32_t pid) {
  refresh();
  std::optional<std::string> bus;
  if (session_.atspi() && pid > 0)
    bus = session_.busNameOf(pid);
  return elementFor(bus ? AccessibleRef{*bus, kRootPath} : AccessibleRef{}, pid);
}

const BusElement* LinuxAccessibility::busElement(const AXElement& element) const {
  return dynamic_cast<const BusElement*>(element.object());
}

AXError LinuxAccessibility::failureOf(const BusElement& element) const {
  if (!const_cast<DesktopSession&>(session_).atspi())
    return AXError::apiDisabled;
  if (element.ref().bus.empty() ||
      const_cast<DesktopSession&>(session_).atspi()->applicationFailed(element.ref().bus))
    return AXError::cannotComplete;
  return AXError::invalidUIElement;
}

void LinuxAccessibility::loadCache(const std::string& bus) {
  if (cacheLoaded_.count(bus))
    return;
  cacheLoaded_[bus] = true;
  auto items = session_.atspi()->cacheItems(bus);
  if (!items)
    return;
  for (CacheItem& item : *items) {
    Facts& f = facts_[item.object];
    if (f.read)
      continue;
    f.read = true;
    f.readable = true;
    f.role = item.role;
    f.name = std::move(item.name);
    f.description = std::move(item.description);
    f.states = item.states;
    f.childCount = item.childCount;
    if (!item.parent.path.empty() && item.parent.path != kNullPath)
      f.parent = item.parent;
    f.interfaces = std::move(item.interfaces);
  }
}

void LinuxAccessibility::readFacts(std::span<const AccessibleRef> refs) {
  AtspiClient* client = session_.atspi();
  if (!client)
    return;
  std::vector<AccessibleRef> unread;
  for (const AccessibleRef& ref : refs) {
    if (ref.bus.empty())
      continue;
    loadCache(ref.bus);
    Facts& f = facts_[ref];
    if (f.read)
      continue;
    f.read = true;
    unread.push_back(ref);
  }
  if (unread.empty())
    return;
  // What the object cache holds of an object, for those it left out.
  constexpr size_t kCallsPerObject = 7;
  std::vector<BusCall> calls;
  calls.reserve(unread.size() * kCallsPerObject);
  for (const AccessibleRef& ref : unread) {
    calls.push_back(AtspiClient::method(ref, kAccessible, "GetRole"));
    calls.push_back(AtspiClient::getProperty(ref, kAccessible, "Name"));
    calls.push_back(AtspiClient::getProperty(ref, kAccessible, "Description"));
    calls.push_back(AtspiClient::method(ref, kAccessible, "GetState"));
    calls.push_back(AtspiClient::getProperty(ref, kAccessible, "ChildCount"));
    calls.push_back(AtspiClient::getProperty(ref, kAccessible, "Parent"));
    calls.push_back(AtspiClient::method(ref, kAccessible, "GetInterfaces"));
  }
  std::vector<CallReply> replies = client->callAll(calls);
  for (size_t i = 0; i < unread.size(); ++i) {
    const CallReply* reply = &replies[i * kCallsPerObject];
    Facts& f = facts_[unread[i]];
    auto role = AtspiClient::readUint(reply[0]);
    f.readable = role.has_value();
    f.role = role.value_or(0);
    f.name = AtspiClient::readStringProperty(reply[1]).value_or("");
    f.description = AtspiClient::readStringProperty(reply[2]).value_or("");
    f.states = AtspiClient::readStates(reply[3]).value_or(0);
    f.childCount = AtspiClient::readIntProperty(reply[4]).value_or(0);
    if (auto parent = AtspiClient::readRefProperty(reply[5]);
        parent && !parent->path.empty() && parent->path != kNullPath)
      f.parent = parent;
    f.interfaces = AtspiClient::readStrings(reply[6]).value_or(std::vector<std::string>{});
  }
}

LinuxAccessibility::Facts& LinuxAccessibility::facts(const AccessibleRef& ref) {
  readFacts(std::span<const AccessibleRef>(&ref, 1));
  return facts_[ref];
}

std::optional<std::vector<AccessibleRef>> LinuxAccessibility::childrenOf(const AccessibleRef& ref) {
  Facts& f = facts(ref);
  if (f.children)
    return *f.children;
  std::optional<std::vector<AccessibleRef>> children;
  if (session_.atspi())
    children = session_.atspi()->children(ref);
  facts_[ref].children = children;
  return children;
}

LinuxAccessibility::Windows& LinuxAccessibility::windowsOf(const BusElement& application) {
  AccessibleRef root{application.ref().bus, kRootPath};
  auto found = windows_.find(root);
  if (found != windows_.end())
    return found->second;
  Windows& windows = windows_[root];
  if (!session_.atspi() || root.bus.empty())
    return windows;
  windows.toplevels = readToplevels(*session_.atspi(), root);
  std::vector<XWindowFacts> own;
  for (const XWindowFacts& window : session_.windowList()) {
    if (!window.overrideRedirect && window.pid == application.pid())
      own.push_back(window);
  }
  auto matches = matchToplevels(own, windows.toplevels, session_.activeWindow());
  for (size_t i = 0; i < own.size(); ++i) {
    if (!matches[i])
      continue;
    const Toplevel& toplevel = windows.toplevels[*matches[i]];
    windows.windowOf[toplevel.object] = own[i];
    windows.frontToBack.push_back(toplevel.object);
    if (toplevel.screen) {
      windows.rules[toplevel.object] =
          positionRule(*toplevel.screen, own[i].client, own[i].frameExtents, own[i].shadowExtents);
    }
  }
  return windows;
}

std::optional<AccessibleRef> LinuxAccessibility::toplevelOf(const AccessibleRef& ref) {
  return linux_desktop::toplevelOf(
      ref, [this](const AccessibleRef& object) { return facts(object).parent; });
}

const XWindowFacts* LinuxAccessibility::windowOfToplevel(const BusElement& element) {
  if (element.isApplication() || element.ref().bus.empty())
    return nullptr;
  Windows& windows = windowsOf(element);
  auto found = windows.windowOf.find(element.ref());
  return found == windows.windowOf.end() ? nullptr : &found->second;
}

std::optional<PositionRule> LinuxAccessibility::ruleFor(const BusElement& element) {
  auto toplevel = toplevelOf(element.ref());
  if (!toplevel)
    return std::nullopt;
  Windows& windows = windowsOf(element);
  auto rule = windows.rules.find(*toplevel);
  if (rule != windows.rules.end())
    return rule->second;
  // A top-level without a window of its own (a popup menu): its toolkit's
  // screen extents as they are.
  return PositionRule{};
}

std::optional<PixelRect> LinuxAccessibility::rectangleOf(const BusElement& element) {
  if (const XWindowFacts* window = windowOfToplevel(element))
    return window->rectangle();
  auto rule = ruleFor(element);
  if (!rule)
    return std::nullopt;
  Facts& f = facts(element.ref());
  if (!f.extents) {
    CallReply reply =
        session_.atspi()->call(AtspiClient::getExtents(element.ref(), rule->coordinates));
    f.extents = AtspiClient::readExtents(reply);
  }
  if (!*f.extents)
    return std::nullopt;
  return elementRectangle(*rule, **f.extents);
}

void LinuxAccessibility::prefetch(const BusElement& parent,
                                  const std::vector<AccessibleRef>& objects) {
  AtspiClient* client = session_.atspi();
  if (!client || objects.empty())
    return;
  auto rule = ruleFor(parent);
  struct Pending {
    AccessibleRef object;
    enum { extents, actions, attributes, accessibleId, children, value } kind;
    ValueSource source = ValueSource::none;
  };
  std::vector<BusCall> calls;
  std::vector<Pending> pending;
  size_t count = objects.size();
  readFacts(objects);
  for (size_t i = 0; i < count; ++i) {
    const AccessibleRef& object = objects[i];
    Facts& f = facts(object);
    if (!f.readable)
      continue;
    if (rule && !f.extents && offers(f.interfaces, kComponent)) {
      calls.push_back(AtspiClient::getExtents(object, rule->coordinates));
      pending.push_back({object, Pending::extents});
    }
    if (!f.actions && offers(f.interfaces, kAction)) {
      calls.push_back(AtspiClient::method(object, kAction, "GetActions"));
      pending.push_back({object, Pending::actions});
    }
    if (!f.attributes) {
      calls.push_back(AtspiClient::method(object, kAccessible, "GetAttributes"));
      pending.push_back({object, Pending::attributes});
    }
    // Asked where the object attributes have no id, known only afterwards.
    if (!f.accessibleId) {
      calls.push_back(AtspiClient::getProperty(object, kAccessible, "AccessibleId"));
      pending.push_back({object, Pending::accessibleId});
    }
    // The row of a child reads its children in turn.
    if (!f.children) {
      calls.push_back(AtspiClient::method(object, kAccessible, "GetChildren"));
      pending.push_back({object, Pending::children});
    }
    if (!f.value) {
      ValueSource source = valueSource(f.role, f.interfaces);
      if (auto call = valueCall(object, source)) {
        calls.push_back(std::move(*call));
        pending.push_back({object, Pending::value, source});
      }
    }
  }
  if (calls.empty())
    return;
  std::vector<CallReply> replies = client->callAll(calls);
  for (size_t i = 0; i < pending.size(); ++i) {
    Facts& f = facts_[pending[i].object];
    switch (pending[i].kind) {
      case Pending::extents:
        f.extents = AtspiClient::readExtents(replies[i]);
        break;
      case Pending::actions:
        f.actions = AtspiClient::readActionNames(replies[i]);
        break;
      case Pending::attributes:
        f.attributes = AtspiClient::readAttributes(replies[i]);
        break;
      case Pending::accessibleId:
        f.accessibleId = AtspiClient::readStringProperty(replies[i]);
        break;
      case Pending::children:
        f.children = AtspiClient::readRefs(replies[i]);
        break;
      case Pending::value:
        f.value = valueFrom(pending[i].source, f.states, &replies[i]);
        break;
    }
  }
}

void LinuxAccessibility::prefetchSubtree(const BusElement& parent,
                                         const std::vector<AccessibleRef>& children) {
  // The children themselves always; what lies below within the bound.
  std::vector<AccessibleRef> level(children.begin(),
                                   children.begin() + std::min(children.size(), kPrefetchLimit));
  prefetch(parent, level);
  while (!level.empty() && prefetched_ < kSubtreePrefetchLimit) {
    // The next level: the children of this one's objects, each object once
    // (a cycle ends here).
    std::vector<AccessibleRef> next;
    for (const AccessibleRef& object : level) {
      const Facts& f = facts_[object];
      if (!f.children || !*f.children)
        continue;
      const auto& below = **f.children;
      for (size_t i = 0; i < std::min(below.size(), kPrefetchLimit); ++i) {
        if (next.size() + prefetched_ < kSubtreePrefetchLimit &&
            subtreeSeen_.insert(below[i]).second)
          next.push_back(below[i]);
      }
    }
    prefetch(parent, next);
    prefetched_ += next.size();
    level = std::move(next);
  }
}

const std::optional<std::vector<std::string>>& LinuxAccessibility::actionsOf(
    const AccessibleRef& ref) {
  Facts& f = facts(ref);
  if (!f.actions) {
    if (offers(f.interfaces, kAction) && session_.atspi()) {
      f.actions = AtspiClient::readActionNames(
          session_.atspi()->call(AtspiClient::method(ref, kAction, "GetActions")));
    } else {
      f.actions = std::vector<std::string>{};
    }
  }
  return *f.actions;
}

const std::optional<std::vector<std::pair<std::string, std::string>>>&
LinuxAccessibility::attributesOf(const AccessibleRef& ref) {
  Facts& f = facts(ref);
  if (!f.attributes && session_.atspi()) {
    f.attributes = AtspiClient::readAttributes(
        session_.atspi()->call(AtspiClient::method(ref, kAccessible, "GetAttributes")));
  }
  if (!f.attributes)
    f.attributes.emplace();  // read as none
  return *f.attributes;
}

const std::optional<ElementValue>& LinuxAccessibility::valueOf(const AccessibleRef& ref) {
  Facts& f = facts(ref);
  if (!f.value || changedInRequest_) {
    f.value = session_.atspi() ? readValue(*session_.atspi(), ref, f.role, f.interfaces, f.states)
                               : std::nullopt;
  }
  return *f.value;
}

const std::optional<std::string>& LinuxAccessibility::roleNameOf(const AccessibleRef& ref) {
  Facts& f = facts(ref);
  if (!f.roleName) {
    f.roleName = AtspiClient::readString(
        session_.atspi()->call(AtspiClient::method(ref, kAccessible, "GetLocalizedRoleName")));
  }
  return *f.roleName;
}

const std::optional<std::string>& LinuxAccessibility::accessibleIdOf(const AccessibleRef& ref) {
  Facts& f = facts(ref);
  if (!f.accessibleId) {
    f.accessibleId = AtspiClient::readStringProperty(
        session_.atspi()->call(AtspiClient::getProperty(ref, kAccessible, "AccessibleId")));
  }
  return *f.accessibleId;
}

void LinuxAccessibility::fetchAhead(const BusElement& element,
                                    std::span<const std::string_view> attributes) {
  const AccessibleRef& ref = element.ref();
  auto asked = [&](std::string_view name) {
    return std::find(attributes.begin(), attributes.end(), name) != attributes.end();
  };
  enum class Kind { extents, objectAttributes, accessibleId, value, roleName, children };
  std::vector<BusCall> calls;
  std::vector<Kind> kinds;
  auto add = [&](BusCall call, Kind kind) {
    calls.push_back(std::move(call));
    kinds.push_back(kind);
  };
  Facts& f = facts(ref);
  ValueSource source = valueSource(f.role, f.interfaces);
  if ((asked(ax::kPositionAttribute) || asked(ax::kSizeAttribute)) && !f.extents &&
      !windowOfToplevel(element)) {
    if (auto rule = ruleFor(element))
      add(AtspiClient::getExtents(ref, rule->coordinates), Kind::extents);
  }
  if ((asked(ax::kIdentifierAttribute) || asked(ax::kPlaceholderValueAttribute)) && !f.attributes)
    add(AtspiClient::method(ref, kAccessible, "GetAttributes"), Kind::objectAttributes);
  if (asked(ax::kIdentifierAttribute) && !f.accessibleId)
    add(AtspiClient::getProperty(ref, kAccessible, "AccessibleId"), Kind::accessibleId);
  if (asked(ax::kValueAttribute) && !f.value) {
    if (auto call = valueCall(ref, source))
      add(std::move(*call), Kind::value);
  }
  if (asked("AXRoleDescription") && !f.roleName)
    add(AtspiClient::method(ref, kAccessible, "GetLocalizedRoleName"), Kind::roleName);
  // A combo box's role depends on its children.
  bool comboBox = f.role == static_cast<uint32_t>(BusRole::comboBox) &&
                  (asked(ax::kRoleAttribute) || asked(ax::kSubroleAttribute));
  if ((asked(ax::kChildrenAttribute) || comboBox) && !f.children)
    add(AtspiClient::method(ref, kAccessible, "GetChildren"), Kind::children);
  if (calls.empty())
    return;
  std::vector<CallReply> replies = session_.atspi()->callAll(calls);
  Facts& now = facts_[ref];
  for (size_t i = 0; i < kinds.size(); ++i) {
    switch (kinds[i]) {
      case Kind::extents:
        now.extents = AtspiClient::readExtents(replies[i]);
        break;
      case Kind::objectAttributes:
        now.attributes = AtspiClient::readAttributes(replies[i]);
        break;
      case Kind::accessibleId:
        now.accessibleId = AtspiClient::readStringProperty(replies[i]);
        break;
      case Kind::value:
        now.value = valueFrom(source, now.states, &replies[i]);
        break;
      case Kind::roleName:
        now.roleName = AtspiClient::readString(replies[i]);
        break;
      case Kind::children:
        now.children = AtspiClient::readRefs(replies[i]);
        break;
    }
  }
}

AXResult<platform::AttributeSlots> LinuxAccessibility::copyMultipleAttributeValues(
    const AXElement& handle,
    std::span<const std::string_view> attributes,
    platform::CopyMultipleOptions options) {
  if (attributes.empty())
    return {AXError::success, platform::AttributeSlots{}};
  refresh();
  const BusElement* element = busElement(handle);
  if (!element)
    return {AXError::illegalArgument, std::nullopt};
  if (!session_.atspi())
    return {AXError::apiDisabled, std::nullopt};
  if (element->ref().bus.empty())
    return {AXError::cannotComplete, std::nullopt};
  // An application element answers some attributes without asking (its
  // role), so its slots are each their own; any other element that cannot
  // be read fails every slot alike.
  if (!element->isApplication()) {
    if (!facts(element->ref()).readable)
      return {failureOf(*element), std::nullopt};
    fetchAhead(*element, attributes);
  }
  platform::AttributeSlots slots;
  slots.reserve(attributes.size());
  for (std::string_view attribute : attributes) {
    AXResult<Value> slot = copyAttributeValue(handle, attribute);
    if (!slot.ok() && options == platform::CopyMultipleOptions::stopOnError)
      return {slot.error, std::nullopt};
    slots.push_back(std::move(slot));
  }
  return {AXError::success, std::move(slots)};
}

AXResult<Value> LinuxAccessibility::mappedRole(const BusElement& element, bool subrole) {
  if (element.isApplication())
    return subrole ? failure(AXError::attributeUnsupported)
                   : success(Value::string(std::string(ax::kApplicationRole)));
  Facts& f = facts(element.ref());
  RoleContext context;
  context.states = f.states;
  if (f.parent)
    context.parentRole = facts(*f.parent).role;
  if (f.role == static_cast<uint32_t>(BusRole::comboBox)) {
    if (auto children = childrenOf(element.ref())) {
      for (const AccessibleRef& child : *children) {
        uint32_t role = facts(child).role;
        if (role == static_cast<uint32_t>(BusRole::text) ||
            role == static_cast<uint32_t>(BusRole::entry))
          context.hasTextChild = true;
      }
    }
  }
  MappedRole mapped = mapRole(f.role, context);
  if (windowOfToplevel(element) && mapped.role != ax::kWindowRole) {
    mapped.role = std::string(ax::kWindowRole);
    mapped.subrole = std::string(ax::kStandardWindowSubrole);
  }
  if (!subrole)
    return success(Value::string(mapped.role));
  if (mapped.subrole.empty())
    return failure(AXError::attributeUnsupported);
  return success(Value::string(mapped.subrole));
}

AXResult<Value> LinuxAccessibility::textAttribute(const BusElement& element,
                                                  std::string_view attribute) {
  Facts& f = facts(element.ref());
  if (!offers(f.interfaces, kText) || f.role == static_cast<uint32_t>(BusRole::passwordText))
    return failure(AXError::attributeUnsupported);
  AtspiClient& client = *session_.atspi();
  std::vector<BusCall> calls = {
      BusCall{element.ref().bus, element.ref().path, kText, "GetText",
              [](sd_bus_message* m) { return sd_bus_message_append(m, "ii", 0, -1); }},
      BusCall{element.ref().bus, element.ref().path, kText, "GetSelection",
              [](sd_bus_message* m) { return sd_bus_message_append(m, "i", 0); }},
  };
  std::vector<CallReply> replies = client.callAll(calls);
  auto text = AtspiClient::readString(replies[0]);
  if (!text)
    return failure(failureOf(element));
  int64_t length = utf16Length(*text);
  if (attribute == "AXNumberOfCharacters")
    return success(Value::integer(length));
  if (attribute == "AXVisibleCharacterRange")
    return success(Value(Value::Storage(platform::Range{0, length})));
  int32_t start = 0;
  int32_t end = 0;
  bool selected = false;
  if (replies[1].ok() && replies[1].reply) {
    sd_bus_message* message = replies[1].reply.get();
    if (sd_bus_message_rewind(message, 1) >= 0 &&
        sd_bus_message_read(message, "ii", &start, &end) > 0)
      selected = true;
  }
  if (!selected) {
    // No selection: the caret, as an empty range.
    CallReply caret = client.call(AtspiClient::getProperty(element.ref(), kText, "CaretOffset"));
    start = end = AtspiClient::readIntProperty(caret).value_or(0);
  }
  int64_t from = utf16OffsetFromCharacter(*text, std::min(start, end));
  int64_t to = utf16OffsetFromCharacter(*text, std::max(start, end));
  if (attribute == "AXSelectedTextRange")
    return success(Value(Value::Storage(platform::Range{from, to - from})));
  // AXSelectedText: the characters of the selection.
  int64_t characterStart = std::min(start, end);
  int64_t characterEnd = std::max(start, end);
  std::string selection;
  int64_t index = 0;
  for (size_t i = 0; i < text->size(); ++index) {
    size_t next = i + 1;
    while (next < text->size() && (static_cast<unsigned char>((*text)[next]) & 0xC0) == 0x80)
      ++next;
    if (index >= characterStart && index < characterEnd)
      selection.append(*text, i, next - i);
    i = next;
  }
  return success(Value::string(selection));
}

AXResult<Value> LinuxAccessibility::copyAttributeValue(const AXElement& handle,
                                                       std::string_view attribute) {
  refresh();
  const BusElement* element = busElement(handle);
  if (!element)
    return failure(AXError::illegalArgument);
  if (!session_.atspi())
    return failure(AXError::apiDisabled);
  if (element->ref().bus.empty())
    return failure(AXError::cannotComplete);

  if (element->isApplication()) {
    if (attribute == ax::kRoleAttribute || attribute == ax::kSubroleAttribute)
      return mappedRole(*element, attribute == ax::kSubroleAttribute);
    if (attribute == ax::kTitleAttribute) {
      Facts& f = facts(element->ref());
      if (!f.readable)
        return failure(failureOf(*element));
      return success(Value::string(f.name));
    }
    if (attribute == ax::kChildrenAttribute) {
      auto children = childrenOf(element->ref());
      if (!children)
        return failure(failureOf(*element));
      platform::Array array;
      for (const AccessibleRef& child : *children)
        array.push_back(Value(Value::Storage(elementFor(child, element->pid()))));
      return success(Value(Value::Storage(std::move(array))));
    }
    if (attribute == ax::kWindowsAttribute || attribute == ax::kFocusedWindowAttribute ||
        attribute == ax::kFocusedUIElementAttribute || attribute == "AXMainWindow") {
      Windows& windows = windowsOf(*element);
      if (attribute == ax::kWindowsAttribute) {
        platform::Array array;
        for (const AccessibleRef& window : windows.frontToBack)
          array.push_back(Value(Value::Storage(elementFor(window, element->pid()))));
        return success(Value(Value::Storage(std::move(array))));
      }
      // The window owning _NET_ACTIVE_WINDOW, else the topmost one.
      std::optional<AccessibleRef> focused;
      auto active = session_.activeWindow();
      for (const AccessibleRef& window : windows.frontToBack) {
        if (active && windows.windowOf[window].id == *active)
          focused = window;
      }
      if (!focused && !windows.frontToBack.empty())
        focused = windows.frontToBack.front();
      if (!focused)
        return failure(AXError::noValue);
      if (attribute != ax::kFocusedUIElementAttribute)
        return success(Value(Value::Storage(elementFor(*focused, element->pid()))));
      auto descendant = focusedDescendant(*session_.atspi(), *focused);
      if (!descendant)
        return failure(AXError::noValue);
      return success(Value(Value::Storage(elementFor(*descendant, element->pid()))));
    }
    if (attribute == ax::kFrontmostAttribute) {
      auto facts = session_.process(element->pid());
      return success(Value::boolean(facts && facts->active));
    }
    if (attribute == ax::kHiddenAttribute)
      return success(Value::boolean(false));
    return failure(AXError::attributeUnsupported);
  }

  Facts& f = facts(element->ref());
  if (!f.readable)
    return failure(failureOf(*element));

  if (attribute == ax::kRoleAttribute || attribute == ax::kSubroleAttribute)
    return mappedRole(*element, attribute == ax::kSubroleAttribute);
  if (attribute == "AXRoleDescription") {
    const auto& name = roleNameOf(element->ref());
    if (!name)
      return failure(failureOf(*element));
    return success(Value::string(*name));
  }
  if (attribute == ax::kTitleAttribute)
    return success(Value::string(f.name));
  if (attribute == ax::kDescriptionAttribute)
    return success(Value::string(f.description));
  if (attribute == ax::kValueAttribute) {
    if (valueSource(f.role, f.interfaces) == ValueSource::none)
      return failure(AXError::attributeUnsupported);
    const auto& value = valueOf(element->ref());
    if (!value)
      return failure(AXError::noValue);
    return success(elementValue(*value));
  }
  if (attribute == ax::kIdentifierAttribute || attribute == ax::kPlaceholderValueAttribute) {
    const auto& attributes = attributesOf(element->ref());
    std::string_view key = attribute == ax::kIdentifierAttribute ? "id" : "placeholder-text";
    if (attributes) {
      for (const auto& [name, value] : *attributes) {
        if (name == key && !value.empty())
          return success(Value::string(value));
      }
    }
    if (attribute == ax::kIdentifierAttribute) {
      const auto& id = accessibleIdOf(element->ref());
      if (id && !id->empty())
        return success(Value::string(*id));
    }
    return failure(AXError::noValue);
  }
  if (attribute == ax::kEnabledAttribute)
    return success(Value::boolean(elementEnabled(f.states)));
  if (attribute == ax::kFocusedAttribute)
    return success(Value::boolean(hasState(f.states, BusState::focused)));
  if (attribute == ax::kBusyAttribute)
    return success(Value::boolean(hasState(f.states, BusState::busy)));
  if (attribute == ax::kSelectedAttribute) {
    if (!hasState(f.states, BusState::selectable) && !hasState(f.states, BusState::selected))
      return failure(AXError::attributeUnsupported);
    return success(Value::boolean(hasState(f.states, BusState::selected)));
  }
  if (attribute == "AXExpanded") {
    if (!hasState(f.states, BusState::expandable))
      return failure(AXError::attributeUnsupported);
    return success(Value::boolean(hasState(f.states, BusState::expanded)));
  }
  if (attribute == ax::kPositionAttribute || attribute == ax::kSizeAttribute) {
    auto rectangle = rectangleOf(*element);
    if (!rectangle)
      return failure(AXError::noValue);
    if (attribute == ax::kPositionAttribute) {
      return success(Value(Value::Storage(
          platform::Point{static_cast<double>(rectangle->x), static_cast<double>(rectangle->y)})));
    }
    return success(Value(Value::Storage(platform::Size{static_cast<double>(rectangle->width),
                                                       static_cast<double>(rectangle->height)})));
  }
  if (attribute == ax::kHiddenAttribute) {
    if (!windowOfToplevel(*element))
      return failure(AXError::attributeUnsupported);
    return success(Value::boolean(false));
  }
  if (attribute == ax::kMinimizedAttribute) {
    const XWindowFacts* window = windowOfToplevel(*element);
    if (!window)
      return failure(AXError::attributeUnsupported);
    bool hidden = std::find(window->states.begin(), window->states.end(), "_NET_WM_STATE_HIDDEN") !=
                  window->states.end();
    return success(Value::boolean(hidden));
  }
  if (attribute == ax::kChildrenAttribute) {
    auto children = childrenOf(element->ref());
    if (!children)
      return failure(failureOf(*element));
    prefetchSubtree(*element, *children);
    platform::Array array;
    for (const AccessibleRef& child : *children)
      array.push_back(Value(Value::Storage(elementFor(child, element->pid()))));
    return success(Value(Value::Storage(std::move(array))));
  }
  if (attribute == ax::kParentAttribute) {
    if (!f.parent)
      return failure(AXError::noValue);
    return success(Value(Value::Storage(elementFor(*f.parent, element->pid()))));
  }
  if (attribute == "AXNumberOfCharacters" || attribute == "AXSelectedText" ||
      attribute == ax::kSelectedTextRangeAttribute || attribute == "AXVisibleCharacterRange")
    return textAttribute(*element, attribute);
  return failure(AXError::attributeUnsupported);
}

AXResult<bool> LinuxAccessibility::isAttributeSettable(const AXElement& handle,
                                                       std::string_view attribute) {
  refresh();
  const BusElement* element = busElement(handle);
  if (!element)
    return {AXError::illegalArgument, std::nullopt};
  if (!session_.atspi())
    return {AXError::apiDisabled, std::nullopt};
  if (element->ref().bus.empty())
    return {AXError::cannotComplete, std::nullopt};
  if (element->isApplication())
    return {AXError::success, false};
  Facts& f = facts(element->ref());
  if (!f.readable)
    return {failureOf(*element), std::nullopt};
  bool settable = false;
  if (attribute == ax::kValueAttribute) {
    settable = (offers(f.interfaces, kText) && hasState(f.states, BusState::editable)) ||
               (offers(f.interfaces, kValueInterface) && isSettableValueRole(f.role));
  } else if (attribute == ax::kSelectedAttribute) {
    settable = selectionOwner(element->ref()).has_value();
  } else if (attribute == ax::kSelectedTextRangeAttribute) {
    settable =
        offers(f.interfaces, kText) && f.role != static_cast<uint32_t>(BusRole::passwordText);
  } else if (attribute == ax::kFocusedAttribute) {
    // Only where the window is already the active one: the toolkits'
    // grab-focus activates and raises it.
    settable = hasState(f.states, BusState::focusable) && offers(f.interfaces, kComponent) &&
               !focusNeedsActivation(*element);
  }
  return {AXError::success, settable};
}

AXError LinuxAccessibility::changeable(const AXElement& handle,
                                       AXError onApplication,
                                       const BusElement** element) {
  refresh();
  *element = busElement(handle);
  if (!*element)
    return AXError::illegalArgument;
  if (!session_.atspi())
    return AXError::apiDisabled;
  if ((*element)->ref().bus.empty())
    return AXError::cannotComplete;
  if ((*element)->isApplication())
    return onApplication;
  if (!facts((*element)->ref()).readable)
    return failureOf(**element);
  return AXError::success;
}

void LinuxAccessibility::traceSet(const BusElement& element,
                                  std::string_view attribute,
                                  nlohmann::json value,
                                  AXError error) {
  session_.trace().write({{"kind", "set"},
                          {"pid", element.pid()},
                          {"object", element.ref().path},
                          {"attribute", attribute},
                          {"value", std::move(value)},
                          {"ok", error == AXError::success}});
}

platform::AXError LinuxAccessibility::setAttributeValue(const AXElement& handle,
                                                        std::string_view attribute,
                                                        const Value& value) {
  const BusElement* element = nullptr;
  if (AXError error = changeable(handle, AXError::attributeUnsupported, &element);
      error != AXError::success)
    return error;
  auto settable = isAttributeSettable(handle, attribute);
  if (!settable.ok() || !settable.value.value_or(false))
    return AXError::attributeUnsupported;
  if (attribute == ax::kFocusedAttribute)
    return grabFocus(*element);
  const Facts& f = facts(element->ref());
  if (attribute == ax::kValueAttribute) {
    const bool text = offers(f.interfaces, kText) && hasState(f.states, BusState::editable);
    if (text) {
      const auto* string = value.as<std::string>();
      if (!string)
        return AXError::illegalArgument;
      return setText(*element, *string);
    }
    std::optional<double> number;
    if (const auto* string = value.as<std::string>())
      number = numberFromText(*string);
    else if (const auto* boxed = value.as<platform::Number>())
      number = boxed->doubleValue();
    if (!number)
      return AXError::illegalArgument;
    return setNumber(*element, *number);
  }
  if (attribute == ax::kSelectedAttribute) {
    const auto* flag = value.as<platform::Boolean>();
    if (!flag)
      return AXError::illegalArgument;
    return setSelected(*element, flag->value);
  }
  if (attribute == ax::kSelectedTextRangeAttribute) {
    const auto* range = value.as<platform::Range>();
    if (!range)
      return AXError::illegalArgument;
    return setTextRange(*element, *range);
  }
  return AXError::attributeUnsupported;
}

platform::AXError LinuxAccessibility::changeOutcome(const BusElement& element,
                                                    const CallReply& reply) {
  if (!reply.ok())
    return failureOf(element);
  return AtspiClient::readBool(reply).value_or(false) ? AXError::success : AXError::cannotComplete;
}

void LinuxAccessibility::changed(const AccessibleRef& ref) {
  changedInRequest_ = true;
  facts_.erase(ref);
}

platform::AXError LinuxAccessibility::setText(const BusElement& element, const std::string& text) {
  const AccessibleRef& ref = element.ref();
  // A password is never written down, not even in the trace.
  const bool password = facts(ref).role == static_cast<uint32_t>(BusRole::passwordText);
  CallReply reply = session_.atspi()->call(
      BusCall{ref.bus, ref.path, kEditableText, "SetTextContents",
              [text](sd_bus_message* m) { return sd_bus_message_append(m, "s", text.c_str()); }});
  AXError error = changeOutcome(element, reply);
  traceSet(element, ax::kValueAttribute, password ? nlohmann::json() : nlohmann::json(text), error);
  changed(ref);
  return error;
}

std::optional<std::pair<double, ValueRange>> LinuxAccessibility::valueRangeOf(
    const AccessibleRef& ref) {
  std::vector<BusCall> calls = {
      AtspiClient::getProperty(ref, kValueInterface, "CurrentValue"),
      AtspiClient::getProperty(ref, kValueInterface, "MinimumValue"),
      AtspiClient::getProperty(ref, kValueInterface, "MaximumValue"),
      AtspiClient::getProperty(ref, kValueInterface, "MinimumIncrement"),
  };
  std::vector<CallReply> replies = session_.atspi()->callAll(calls);
  auto current = AtspiClient::readDoubleProperty(replies[0]);
  auto minimum = AtspiClient::readDoubleProperty(replies[1]);
  auto maximum = AtspiClient::readDoubleProperty(replies[2]);
  if (!current || !minimum || !maximum)
    return std::nullopt;
  return std::pair{*current, ValueRange{*minimum, *maximum,
                                        AtspiClient::readDoubleProperty(replies[3]).value_or(0)}};
}

platform::AXError LinuxAccessibility::setNumber(const BusElement& element, double value) {
  const AccessibleRef& ref = element.ref();
  CallReply reply = session_.atspi()->call(
      AtspiClient::setDoubleProperty(ref, kValueInterface, "CurrentValue", value));
  AXError error = reply.ok() ? AXError::success : failureOf(element);
  traceSet(element, ax::kValueAttribute, value, error);
  changed(ref);
  return error;
}

platform::AXError LinuxAccessibility::stepValue(const BusElement& element, int direction) {
  auto now = valueRangeOf(element.ref());
  if (!now)
    return failureOf(element) == AXError::invalidUIElement ? AXError::cannotComplete
                                                           : failureOf(element);
  return setNumber(element, steppedValue(now->first, now->second, direction));
}

std::optional<AccessibleRef> LinuxAccessibility::scrollBarOf(const AccessibleRef& pane,
                                                             bool vertical) {
  auto children = childrenOf(pane);
  if (!children)
    return std::nullopt;
  readFacts(*children);
  for (const AccessibleRef& child : *children) {
    const Facts& f = facts_[child];
    if (f.role != static_cast<uint32_t>(BusRole::scrollBar) ||
        !offers(f.interfaces, kValueInterface))
      continue;
    if (hasState(f.states, vertical ? BusState::vertical : BusState::horizontal))
      return child;
  }
  return std::nullopt;
}

platform::AXError LinuxAccessibility::pageScroll(const BusElement& element, PageDirection page) {
  auto bar = scrollBarOf(element.ref(), page.vertical);
  if (!bar)
    return AXError::actionUnsupported;
  auto now = valueRangeOf(*bar);
  if (!now)
    return AXError::cannotComplete;
  // A page is what the pane shows: the bar spans the view it scrolls, in
  // the same pixels as the toolkit's scroll values. Without extents, a
  // tenth of the range.
  double length = (now->second.maximum - now->second.minimum) / 10;
  if (auto extents = session_.atspi()->extents(*bar, CoordType::window);
      extents && (page.vertical ? extents->height : extents->width) > 0)
    length = page.vertical ? extents->height : extents->width;
  BusElement barElement(*bar, element.pid());
  session_.trace().write(
      {{"kind", "action"},
       {"pid", element.pid()},
       {"object", element.ref().path},
       {"action", page.vertical
                      ? (page.direction > 0 ? "AXScrollDownByPage" : "AXScrollUpByPage")
                      : (page.direction > 0 ? "AXScrollRightByPage" : "AXScrollLeftByPage")},
       {"through", "value"}});
  return setNumber(barElement, pagedValue(now->first, now->second, length, page.direction));
}

std::optional<AccessibleRef> LinuxAccessibility::selectionOwner(const AccessibleRef& ref) {
  const Facts& f = facts(ref);
  if (!f.parent)
    return std::nullopt;
  const Facts& parent = facts(*f.parent);
  const bool menu = parent.role == static_cast<uint32_t>(BusRole::menu);
  if (menu && parent.parent) {
    // A combo box's items sit in its (closed) menu: the combo box chooses
    // among them without opening the menu.
    const Facts& grandparent = facts(*parent.parent);
    if (grandparent.role == static_cast<uint32_t>(BusRole::comboBox) &&
        offers(grandparent.interfaces, kSelection))
      return parent.parent;
  }
  // Selecting in a menu or a menu bar highlights the item and opens its
  // submenu: their items are pressed instead.
  if (menu || parent.role == static_cast<uint32_t>(BusRole::menuBar) ||
      !offers(parent.interfaces, kSelection))
    return std::nullopt;
  return f.parent;
}

platform::AXError LinuxAccessibility::setSelected(const BusElement& element, bool selected) {
  const AccessibleRef& ref = element.ref();
  auto found = selectionOwner(ref);
  if (!found)
    return AXError::attributeUnsupported;
  const AccessibleRef owner = *found;
  auto index = AtspiClient::readInt(
      session_.atspi()->call(AtspiClient::method(ref, kAccessible, "GetIndexInParent")));
  if (!index || *index < 0)
    return failureOf(element) == AXError::invalidUIElement ? AXError::cannotComplete
                                                           : failureOf(element);
  int32_t child = *index;
  CallReply reply = session_.atspi()->call(
      BusCall{owner.bus, owner.path, kSelection, selected ? "SelectChild" : "DeselectChild",
              [child](sd_bus_message* m) { return sd_bus_message_append(m, "i", child); }});
  AXError error = changeOutcome(element, reply);
  traceSet(element, ax::kSelectedAttribute, selected, error);
  changed(ref);
  changed(owner);
  return error;
}

platform::AXError LinuxAccessibility::setTextRange(const BusElement& element,
                                                   platform::Range range) {
  const AccessibleRef& ref = element.ref();
  auto text = AtspiClient::readString(
      session_.atspi()->call(BusCall{ref.bus, ref.path, kText, "GetText", [](sd_bus_message* m) {
                                       return sd_bus_message_append(m, "ii", 0, -1);
                                     }}));
  if (!text)
    return failureOf(element);
  auto characters = characterRange(*text, range.location, range.length);
  if (!characters)
    return AXError::illegalArgument;
  const auto start = static_cast<int32_t>(std::min<int64_t>(characters->start, INT32_MAX));
  const auto end = static_cast<int32_t>(std::min<int64_t>(characters->end, INT32_MAX));
  AXError error;
  if (start == end) {
    // The caret alone; moving it ends any selection.
    error = changeOutcome(
        element, session_.atspi()->call(BusCall{
                     ref.bus, ref.path, kText, "SetCaretOffset",
                     [start](sd_bus_message* m) { return sd_bus_message_append(m, "i", start); }}));
  } else {
    // Replaces the selection where there is one, else adds it (toolkits
    // accept only one of the two, by whether a selection exists).
    error = changeOutcome(
        element, session_.atspi()->call(BusCall{
                     ref.bus, ref.path, kText, "SetSelection", [start, end](sd_bus_message* m) {
                       return sd_bus_message_append(m, "iii", 0, start, end);
                     }}));
    if (error == AXError::cannotComplete) {
      error = changeOutcome(
          element, session_.atspi()->call(BusCall{
                       ref.bus, ref.path, kText, "AddSelection", [start, end](sd_bus_message* m) {
                         return sd_bus_message_append(m, "ii", start, end);
                       }}));
    }
  }
  traceSet(element, ax::kSelectedTextRangeAttribute,
           nlohmann::json::array({range.location, range.length}), error);
  changed(ref);
  return error;
}

bool LinuxAccessibility::focusNeedsActivation(const BusElement& element) {
  auto toplevel = toplevelOf(element.ref());
  if (!toplevel)
    return true;
  const XWindowFacts* window = windowOfToplevel(BusElement(*toplevel, element.pid()));
  auto active = session_.activeWindow();
  return !window || !active || window->id != *active;
}

platform::AXError LinuxAccessibility::grabFocus(const BusElement& element) {
  const AccessibleRef& ref = element.ref();
  CallReply reply = session_.atspi()->call(AtspiClient::method(ref, kComponent, "GrabFocus"));
  AXError error = changeOutcome(element, reply);
  traceSet(element, ax::kFocusedAttribute, true, error);
  changed(ref);
  return error;
}

std::optional<MappedAction> LinuxAccessibility::mappedAction(const BusElement& element,
                                                             std::string_view name,
                                                             std::string* busName) {
  Facts& f = facts(element.ref());
  const auto& busActions = actionsOf(element.ref());
  std::vector<std::string> names = busActions.value_or(std::vector<std::string>{});
  for (const MappedAction& action : mapActions(names, f.role, f.states)) {
    if (action.name != name)
      continue;
    if (busName)
      *busName = action.busIndex >= 0 ? names[static_cast<size_t>(action.busIndex)] : "";
    return action;
  }
  return std::nullopt;
}

bool LinuxAccessibility::opensMenu(const BusElement& element, const std::string& busName) {
  Facts& f = facts(element.ref());
  std::optional<uint32_t> parentRole;
  if (f.parent)
    parentRole = facts(*f.parent).role;
  return actionOpensMenu(busName, facts_[element.ref()].role, parentRole);
}

platform::BackgroundRefusal LinuxAccessibility::backgroundRefusal(
    const AXElement& handle,
    std::string_view actionOrAttribute) {
  using platform::BackgroundRefusal;
  refresh();
  const BusElement* element = busElement(handle);
  if (!element || !session_.atspi() || element->ref().bus.empty() || element->isApplication() ||
      !facts(element->ref()).readable)
    return BackgroundRefusal::none;  // the change itself fails, as it would anyway
  if (actionOrAttribute == ax::kFocusedAttribute) {
    return focusNeedsActivation(*element) ? BackgroundRefusal::focusActivatesWindow
                                          : BackgroundRefusal::none;
  }
  std::string busName;
  if (mappedAction(*element, actionOrAttribute, &busName) && !busName.empty() &&
      opensMenu(*element, busName))
    return BackgroundRefusal::opensMenu;
  return BackgroundRefusal::none;
}

AXResult<Value> LinuxAccessibility::copyActionNames(const AXElement& handle) {
  refresh();
  const BusElement* element = busElement(handle);
  if (!element)
    return failure(AXError::illegalArgument);
  if (!session_.atspi())
    return failure(AXError::apiDisabled);
  if (element->ref().bus.empty())
    return failure(AXError::cannotComplete);
  if (element->isApplication())
    return success(Value(Value::Storage(platform::Array{})));
  Facts& f = facts(element->ref());
  if (!f.readable)
    return failure(failureOf(*element));
  const auto& busActions = actionsOf(element->ref());
  platform::Array names;
  for (const MappedAction& action :
       mapActions(busActions.value_or(std::vector<std::string>{}), f.role, f.states))
    names.push_back(Value::string(action.name));
  // Scroll panes page through their scroll bars' values (GTK's offer no
  // page action of their own).
  if (f.role == static_cast<uint32_t>(BusRole::scrollPane)) {
    const AccessibleRef ref = element->ref();
    bool vertical = scrollBarOf(ref, true).has_value();
    bool horizontal = scrollBarOf(ref, false).has_value();
    for (std::string_view name : pageScrollActions(vertical, horizontal))
      names.push_back(Value::string(std::string(name)));
  }
  return success(Value(Value::Storage(std::move(names))));
}

platform::AXError LinuxAccessibility::performAction(const AXElement& handle,
                                                    std::string_view action) {
  const BusElement* element = nullptr;
  if (AXError error = changeable(handle, AXError::actionUnsupported, &element);
      error != AXError::success)
    return error;
  Facts& f = facts(element->ref());
  if (auto page = pageDirectionOf(action)) {
    if (f.role != static_cast<uint32_t>(BusRole::scrollPane))
      return AXError::actionUnsupported;
    return pageScroll(*element, *page);
  }
  std::string busName;
  auto mapped = mappedAction(*element, action, &busName);
  if (!mapped)
    return AXError::actionUnsupported;
  if (mapped->busIndex < 0)
    return stepValue(*element, action == "AXIncrement" ? 1 : -1);
  if (opensMenu(*element, busName))
    return AXError::actionUnsupported;  // never sent: it would open a menu
  const AccessibleRef ref = element->ref();
  const int32_t index = mapped->busIndex;
  CallReply reply = session_.atspi()->call(
      BusCall{ref.bus, ref.path, kAction, "DoAction",
              [index](sd_bus_message* m) { return sd_bus_message_append(m, "i", index); }});
  AXError error = changeOutcome(*element, reply);
  session_.trace().write({{"kind", "action"},
                          {"pid", element->pid()},
                          {"object", ref.path},
                          {"action", action},
                          {"busAction", busName},
                          {"ok", error == AXError::success}});
  changed(ref);
  return error;
}

AXResult<AXElement> LinuxAccessibility::copyElementAtPosition(const AXElement& application,
                                                              float x,
                                                              float y) {
  refresh();
  const BusElement* element = busElement(application);
  if (!element)
    return {AXError::illegalArgument, std::nullopt};
  if (!session_.atspi())
    return {AXError::apiDisabled, std::nullopt};
  if (element->ref().bus.empty())
    return {AXError::cannotComplete, std::nullopt};
  Windows& windows = windowsOf(*element);
  for (const AccessibleRef& toplevel : windows.frontToBack) {
    if (!windows.windowOf[toplevel].rectangle().contains(x, y))
      continue;
    return {AXError::success, elementFor(hitPath(windows, toplevel, x, y).back(), element->pid())};
  }
  return {AXError::noValue, std::nullopt};
}

std::vector<AccessibleRef> LinuxAccessibility::hitPath(const Windows& windows,
                                                       const AccessibleRef& toplevel,
                                                       float x,
                                                       float y) {
  PositionRule rule;
  if (auto found = windows.rules.find(toplevel); found != windows.rules.end())
    rule = found->second;
  int32_t px = static_cast<int32_t>(x - static_cast<float>(rule.offsetX));
  int32_t py = static_cast<int32_t>(y - static_cast<float>(rule.offsetY));
  std::vector<AccessibleRef> path{toplevel};
  std::set<AccessibleRef> seen{toplevel};
  for (int step = 0; step < kMaxHitSteps; ++step) {
    uint32_t type = static_cast<uint32_t>(rule.coordinates);
    CallReply reply =
        session_.atspi()->call(BusCall{path.back().bus, path.back().path, kComponent,
                                       "GetAccessibleAtPoint", [px, py, type](sd_bus_message* m) {
                                         return sd_bus_message_append(m, "iiu", px, py, type);
                                       }});
    auto hit = AtspiClient::readRefProperty(reply);
    if (!hit) {
      // The reply is a plain (so), not a variant.
      sd_bus_message* message = reply.ok() ? reply.reply.get() : nullptr;
      const char* bus = nullptr;
      const char* objectPath = nullptr;
      if (message && sd_bus_message_rewind(message, 1) >= 0 &&
          sd_bus_message_read(message, "(so)", &bus, &objectPath) > 0)
        hit = AccessibleRef{bus ? bus : "", objectPath ? objectPath : ""};
    }
    if (!hit || hit->path.empty() || hit->path == kNullPath || !seen.insert(*hit).second)
      break;
    path.push_back(*hit);
  }
  return path;
}

std::optional<PixelRect> LinuxAccessibility::titleBarOf(const AccessibleRef& toplevel,
                                                        const PixelRect& window,
                                                        int32_t pid) {
  auto children = childrenOf(toplevel);
  if (!children)
    return std::nullopt;
  readFacts(std::span<const AccessibleRef>(*children));
  for (const AccessibleRef& child : *children) {
    if (facts(child).role != static_cast<uint32_t>(BusRole::panel))
      continue;
    AXElement bar = elementFor(child, pid);
    const BusElement* element = busElement(bar);
    auto r = element ? rectangleOf(*element) : std::nullopt;
    // Across the top of the window, inside the border the toolkit draws.
    if (r && r->y - window.y <= kClientBorderMax && r->x - window.x <= kClientBorderMax &&
        (window.x + window.width) - (r->x + r->width) <= kClientBorderMax && r->y >= window.y &&
        r->x >= window.x)
      return r;
  }
  return std::nullopt;
}

bool LinuxAccessibility::onClientSideFrame(int32_t pid, uint32_t windowID, float x, float y) {
  AXElement application = createApplication(pid);
  const BusElement* element = busElement(application);
  if (!element || !session_.atspi() || element->ref().bus.empty())
    return false;
  Windows& windows = windowsOf(*element);
  for (const auto& [toplevel, window] : windows.windowOf) {
    if (window.id != windowID)
      continue;
    const PixelRect r = window.rectangle();
    // The invisible shadow around the window: the toolkit's resize edge.
    if (!r.contains(x, y))
      return true;
    std::optional<PixelRect> bar = titleBarOf(toplevel, r, pid);
    if (!bar)
      return false;
    // The border between the window's edge and its title bar, on every
    // side: a press there resizes.
    const int64_t side = bar->x - r.x;
    if (y < bar->y || x < bar->x || x >= bar->x + bar->width || y >= r.y + r.height - side)
      return true;
    if (y >= bar->y + bar->height)
      return false;
    // Inside the title bar: its empty part, its title, separators act on
    // nothing, so a press there goes to the window (a move, a maximize on
    // a double press, the window menu on a right press).
    std::vector<AccessibleRef> path = hitPath(windows, toplevel, x, y);
    const auto& actions = actionsOf(path.back());
    return path.size() < 2 || !actions || actions->empty();
  }
  return false;
}

}  // namespace cuh::linux_desktop
