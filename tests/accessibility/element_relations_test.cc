#include "accessibility/element_relations.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "accessibility/ax_scene.h"

namespace cuh {
namespace {

using testing::elementAt;
using testing::kTargetPid;
using testing::nested;
using testing::windowElement;

// A path of `depth` zeros.
std::vector<size_t> zeros(int depth) {
  return std::vector<size_t>(static_cast<size_t>(depth), 0);
}

TEST(BelongsToWindowTest, TheWindowAndUpToThirtyOneLevelsBelowIt) {
  struct Case {
    int depth;
    bool belongs;
  };
  const std::vector<Case> cases = {{0, true}, {1, true}, {31, true}, {32, false}, {40, false}};
  auto desktop = testing::desktopWith(Json::array({nested(40, {{"role", "AXButton"}})}));
  platform::AXElement window = windowElement(*desktop);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.depth);
    platform::AXElement element = elementAt(*desktop, window, zeros(c.depth));
    ASSERT_TRUE(element);
    EXPECT_EQ(belongsToWindow(desktop->accessibility(), element, window), c.belongs);
  }
}

TEST(BelongsToWindowTest, ElementsOfAnotherWindowOrTheApplicationDoNotBelong) {
  Json scene = testing::sceneWith(Json::array({{{"role", "AXButton"}}}));
  scene["windows"].push_back({{"id", 12},
                              {"pid", kTargetPid},
                              {"title", "Other"},
                              {"bounds", testing::sceneFrame(0, 0, 300, 200)},
                              {"ax", {{"children", Json::array({{{"role", "AXButton"}}})}}}});
  auto desktop = sim::SimDesktop::create(scene);
  auto& ax = desktop->accessibility();
  auto windows = ax.copyAttributeValue(ax.createApplication(kTargetPid), "AXWindows");
  ASSERT_TRUE(windows.value);
  const auto& list = *windows.value->as<platform::Array>();
  ASSERT_EQ(list.size(), 2u);
  platform::AXElement first = *list[0].as<platform::AXElement>();
  platform::AXElement second = *list[1].as<platform::AXElement>();
  EXPECT_TRUE(belongsToWindow(ax, elementAt(*desktop, first, {0}), first));
  EXPECT_FALSE(belongsToWindow(ax, elementAt(*desktop, second, {0}), first));
  EXPECT_FALSE(belongsToWindow(ax, second, first));
  EXPECT_FALSE(belongsToWindow(ax, ax.createApplication(kTargetPid), first));
}

TEST(EditableAncestorTest, TheElementOrAnAncestorWithinEightElements) {
  struct Case {
    const char* name;
    const char* editableRole;
    int levelsBelow;  // depth of the examined element below the editable one
    bool found;
  };
  const std::vector<Case> cases = {
      {"text field itself", "AXTextField", 0, true},
      {"combo box itself", "AXComboBox", 0, true},
      {"seven below a text area", "AXTextArea", 7, true},
      {"eight below a text area", "AXTextArea", 8, false},
      {"no editable role", "AXGroup", 1, false},
      {"role in another case", "axtextfield", 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // Ten groups below the candidate; the walk starts `levelsBelow` into them.
    Json editable = {{"ref", "editable"},
                     {"role", c.editableRole},
                     {"children", Json::array({nested(9, {{"role", "AXGroup"}})})}};
    auto desktop = testing::desktopWith(Json::array({editable}));
    platform::AXElement start =
        elementAt(*desktop, windowElement(*desktop), zeros(1 + c.levelsBelow));
    ASSERT_TRUE(start);
    auto found = editableAncestor(desktop->accessibility(), start);
    ASSERT_EQ(found.has_value(), c.found);
    if (found) {
      EXPECT_EQ(desktop->targetName(*found), "editable");
    }
  }
}

TEST(EditableAncestorTest, StopsWhereTheParentChainEnds) {
  // The window's parent is the application element, which has no parent.
  auto desktop = testing::desktopWith(Json::array({{{"role", "AXButton"}}}));
  auto& ax = desktop->accessibility();
  EXPECT_FALSE(editableAncestor(ax, elementAt(*desktop, windowElement(*desktop), {0})));
  EXPECT_FALSE(editableAncestor(ax, ax.createApplication(kTargetPid)));
  EXPECT_TRUE(isEditableRole("AXTextArea"));
  EXPECT_FALSE(isEditableRole("AXSearchField"));
  EXPECT_FALSE(isEditableRole(""));
}

}  // namespace
}  // namespace cuh
