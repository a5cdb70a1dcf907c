// Accessibility on the Linux desktop: objects on the accessibility bus as
// elements, read through the mapping tables onto the macOS attribute,
// role and action names. What one request reads is kept for that request
// only (the application's object cache, the reads of a row's elements
// fetched together with their siblings', the match of top-levels to X
// windows); an application that timed out fails at once for the rest of it.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/accessibility.h"
#include "platform/linux/atspi_mapping.h"
#include "platform/linux/bus_changes.h"
#include "platform/linux/desktop_session.h"
#include "platform/linux/element_positions.h"
#include "platform/linux/element_values.h"
#include "platform/linux/window_matching.h"

namespace cuh::linux_desktop {

// An accessible object of process `pid`. The application element of a
// process without one on the bus has an empty reference: every call on it
// fails.
class BusElement final : public platform::ElementObject {
 public:
  BusElement(AccessibleRef ref, int32_t pid) : ref_(std::move(ref)), pid_(pid) {}
  bool isEqual(const platform::ElementObject& other) const override;
  const AccessibleRef& ref() const { return ref_; }
  int32_t pid() const { return pid_; }
  bool isApplication() const { return ref_.path == kRootPath; }

 private:
  AccessibleRef ref_;
  int32_t pid_;
};

class LinuxAccessibility final : public platform::Accessibility {
 public:
  explicit LinuxAccessibility(DesktopSession& session) : session_(session) {}

  // The accessibility bus is reachable and its enabled switch is on (or
  // cannot be read).
  bool isProcessTrusted() override;
  // With prompt: turns the switch on first, as a settings panel would.
  bool isProcessTrustedWithOptions(bool prompt) override;
  platform::AXElement createApplication(int32_t pid) override;
  platform::AXResult<platform::Value> copyAttributeValue(const platform::AXElement& element,
                                                         std::string_view attribute) override;
  // The calls that the attributes need and this request has not made yet
  // are sent together (one round trip), then every slot is answered as its
  // single read would be.
  platform::AXResult<platform::AttributeSlots> copyMultipleAttributeValues(
      const platform::AXElement& element,
      std::span<const std::string_view> attributes,
      platform::CopyMultipleOptions options) override;
  platform::AXResult<bool> isAttributeSettable(const platform::AXElement& element,
                                               std::string_view attribute) override;
  // Values through the EditableText or Value interface, selection through
  // the parent's (a combo box's, for its items) Selection interface, the
  // selected text range through Text, focus only where the window is
  // already the active one.
  platform::AXError setAttributeValue(const platform::AXElement& element,
                                      std::string_view attribute,
                                      const platform::Value& value) override;
  platform::AXResult<platform::Value> copyActionNames(const platform::AXElement& element) override;
  // The toolkit's action through the Action interface; increments and
  // page scrolls that the object lacks through the Value interface of the
  // object or of its scroll bar. An action that would open a menu is never
  // sent (actionUnsupported).
  platform::AXError performAction(const platform::AXElement& element,
                                  std::string_view action) override;
  // Opening a menu, and focus in a window that is not the active one.
  platform::BackgroundRefusal backgroundRefusal(const platform::AXElement& element,
                                                std::string_view actionOrAttribute) override;
  platform::AXResult<platform::AXElement>
  copyElementAtPosition(const platform::AXElement& application, float x, float y) override;

  // Whether the screen point lies on the frame a client-side decorated
  // window (a GTK 3 one with a header bar) draws itself, where a press acts
  // on the window rather than a widget: the invisible shadow and the border
  // around the window (a resize), the title bar's empty part and its title
  // (a move; a maximize on a double press; the window menu on a right
  // press). Screen coordinates. False where the window of `windowID` of
  // `pid` has no such title bar, or nothing can be read.
  bool onClientSideFrame(int32_t pid, uint32_t windowID, float x, float y);

  // A request starts or ended: everything read for the last one is
  // dropped.
  void forgetRequest();

 private:
  // What one request learned of one object.
  struct Facts {
    bool read = false;  // the reads below were made (they may have failed)
    bool readable = false;
    uint32_t role = 0;
    std::string name;
    std::string description;
    uint64_t states = 0;
    int32_t childCount = 0;
    std::optional<AccessibleRef> parent;
    std::vector<std::string> interfaces;
    // Read on demand or fetched with the siblings'.
    std::optional<std::optional<BusExtents>> extents;  // by the window's rule
    std::optional<std::optional<std::vector<std::string>>> actions;
    std::optional<std::optional<std::vector<std::pair<std::string, std::string>>>> attributes;
    std::optional<std::optional<ElementValue>> value;
    std::optional<std::optional<std::vector<AccessibleRef>>> children;
    std::optional<std::optional<std::string>> roleName;      // localized
    std::optional<std::optional<std::string>> accessibleId;  // the property
  };
  // The top-levels of one application matched to its X windows.
  struct Windows {
    std::vector<Toplevel> toplevels;
    std::map<AccessibleRef, XWindowFacts> windowOf;  // matched ones
    std::vector<AccessibleRef> frontToBack;          // matched, by stacking
    std::map<AccessibleRef, PositionRule> rules;
  };

  // Starts fresh state when a new request began.
  void refresh();
  const BusElement* busElement(const platform::AXElement& element) const;
  // The objects GetAccessibleAtPoint steps through from `toplevel` down
  // to the deepest at the screen point, `toplevel` first.
  std::vector<AccessibleRef> hitPath(const Windows& windows,
                                     const AccessibleRef& toplevel,
                                     float x,
                                     float y);
  // The rectangle of the header bar across the top of `toplevel`, whose
  // window rectangle is `window`; none when it has none.
  std::optional<PixelRect> titleBarOf(const AccessibleRef& toplevel,
                                      const PixelRect& window,
                                      int32_t pid);
  platform::AXError failureOf(const BusElement& element) const;
  Facts& facts(const AccessibleRef& ref);
  // Reads the facts of those of `refs` that this request has not read, in
  // one pipelined batch.
  void readFacts(std::span<const AccessibleRef> refs);
  void loadCache(const std::string& bus);
  Windows& windowsOf(const BusElement& application);
  std::optional<AccessibleRef> toplevelOf(const AccessibleRef& ref);
  // The X window of a matched top-level; none for other objects.
  const XWindowFacts* windowOfToplevel(const BusElement& element);
  std::optional<PositionRule> ruleFor(const BusElement& element);
  std::optional<PixelRect> rectangleOf(const BusElement& element);
  std::optional<std::vector<AccessibleRef>> childrenOf(const AccessibleRef& ref);
  // Reads the extents, actions, object attributes, accessible ids,
  // children and values of `objects` in one pipelined batch (what a row of
  // the tree reads of each).
  void prefetch(const BusElement& parent, const std::vector<AccessibleRef>& objects);
  // Prefetches `children` of `parent` and then, level by level, what lies
  // below them (one or two waits per level instead of per object), up to a
  // bound per request.
  void prefetchSubtree(const BusElement& parent, const std::vector<AccessibleRef>& children);
  const std::optional<std::vector<std::string>>& actionsOf(const AccessibleRef& ref);
  const std::optional<std::vector<std::pair<std::string, std::string>>>& attributesOf(
      const AccessibleRef& ref);
  const std::optional<ElementValue>& valueOf(const AccessibleRef& ref);
  const std::optional<std::string>& roleNameOf(const AccessibleRef& ref);
  const std::optional<std::string>& accessibleIdOf(const AccessibleRef& ref);
  // Sends, pipelined, the calls that reading `attributes` of `element`
  // would make one at a time, and keeps their answers for the request.
  void fetchAhead(const BusElement& element, std::span<const std::string_view> attributes);
  platform::AXResult<platform::Value> mappedRole(const BusElement& element, bool subrole);
  platform::AXResult<platform::Value> textAttribute(const BusElement& element,
                                                    std::string_view attribute);
  platform::AXElement elementFor(const AccessibleRef& ref, int32_t pid) const;

  // Changing objects.
  // The element a change is made to, found and readable; else the error the
  // change answers (`onApplication` for the application element).
  platform::AXError changeable(const platform::AXElement& handle,
                               platform::AXError onApplication,
                               const BusElement** element);
  // The trace's line for a set attribute.
  void traceSet(const BusElement& element,
                std::string_view attribute,
                nlohmann::json value,
                platform::AXError error);
  // The protocol's action of that name on the object, with the toolkit's
  // name behind it (empty for one done through the Value interface).
  std::optional<MappedAction> mappedAction(const BusElement& element,
                                           std::string_view name,
                                           std::string* busName);
  bool opensMenu(const BusElement& element, const std::string& busName);
  bool focusNeedsActivation(const BusElement& element);
  // The object whose Selection interface selects `ref`: its parent, a
  // combo box for the items of its menu; none in menus and menu bars.
  std::optional<AccessibleRef> selectionOwner(const AccessibleRef& ref);
  // The scroll bar child of a scroll pane, by orientation.
  std::optional<AccessibleRef> scrollBarOf(const AccessibleRef& pane, bool vertical);
  // The current value and the range of a value object (one batch).
  std::optional<std::pair<double, ValueRange>> valueRangeOf(const AccessibleRef& ref);
  platform::AXError setNumber(const BusElement& element, double value);
  platform::AXError stepValue(const BusElement& element, int direction);
  platform::AXError pageScroll(const BusElement& element, PageDirection page);
  platform::AXError setText(const BusElement& element, const std::string& text);
  platform::AXError setSelected(const BusElement& element, bool selected);
  platform::AXError setTextRange(const BusElement& element, platform::Range range);
  platform::AXError grabFocus(const BusElement& element);
  // The answer of a changing call that returns a boolean: success, the
  // object refused (cannotComplete), or the call failed.
  platform::AXError changeOutcome(const BusElement& element, const CallReply& reply);
  // A change may have happened: the object is read afresh from now on, and
  // values are no longer kept for this request (readbacks must see them
  // change).
  void changed(const AccessibleRef& ref);

  DesktopSession& session_;
  uint64_t generation_ = 0;
  std::map<AccessibleRef, Facts> facts_;
  std::map<std::string, bool> cacheLoaded_;
  std::map<AccessibleRef, Windows> windows_;  // by application root
  size_t prefetched_ = 0;                     // objects fetched ahead
  std::set<AccessibleRef> subtreeSeen_;       // below a prefetched level
  bool changedInRequest_ = false;
};

}  // namespace cuh::linux_desktop
