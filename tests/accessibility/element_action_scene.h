// The desktop of the element-action tests: the user's terminal in front, a
// background notes app whose focused window holds a button, a tab, a text
// field, a scroll area with a cell and a text area, a second notes window,
// a mail app without windows, and a window of a process that is not an
// application. Requests run through performElementAction with a
// ForegroundGuard on the virtual clock.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "accessibility/element_action.h"
#include "guard/foreground_guard.h"
#include "platform/sim/sim_desktop.h"
#include "protocol/helper_failure.h"
#include "protocol/json.h"
#include "support/row_name.h"
#include "support/test_desktop.h"

namespace cuh::testing {

// The scene, with `script` rules and changes merged into the target window's
// elements by ref: {"field": {"readback": "stale"}} adds keys to "field".
inline Json actionScene(Json script = Json::array(), Json elementChanges = Json::object()) {
  Json scene = baseScene(Json::parse(R"([
      {"id": 21, "pid": 200, "title": "Note",
       "bounds": {"x": 100, "y": 120, "width": 400, "height": 300},
       "ax": {"ref": "note", "children": [
         {"ref": "ok", "role": "AXButton", "title": "OK", "actions": ["AXPress"],
          "frame": {"x": 110, "y": 130, "width": 80, "height": 24}},
         {"ref": "tab", "role": "AXRadioButton", "title": "Tab", "selected": false,
          "settable": ["AXSelected"], "actions": ["AXPress"],
          "frame": {"x": 200, "y": 130, "width": 80, "height": 24}},
         {"ref": "field", "role": "AXTextField", "identifier": "name", "value": "hello",
          "selectedTextRange": [5, 0],
          "settable": ["AXValue", "AXFocused", "AXSelectedTextRange"],
          "frame": {"x": 110, "y": 170, "width": 200, "height": 24}},
         {"ref": "scroll", "role": "AXScrollArea", "identifier": "list",
          "actions": ["AXScrollDownByPage", "AXScrollUpByPage"],
          "frame": {"x": 110, "y": 210, "width": 300, "height": 150},
          "children": [
            {"ref": "cell", "role": "AXCell", "title": "Row 1",
             "frame": {"x": 120, "y": 220, "width": 280, "height": 20}}
          ]},
         {"ref": "area", "role": "AXTextArea", "identifier": "body", "value": "a-b a-c",
          "selectedTextRange": [0, 0], "settable": ["AXValue", "AXSelectedTextRange"],
          "frame": {"x": 110, "y": 370, "width": 300, "height": 40},
          "children": [
            {"ref": "line", "role": "AXGroup",
             "frame": {"x": 110, "y": 370, "width": 300, "height": 20}}
          ]}
       ]}},
      {"id": 22, "pid": 200, "title": "Second",
       "bounds": {"x": 600, "y": 120, "width": 300, "height": 200},
       "ax": {"ref": "second", "children": [
         {"ref": "second-field", "role": "AXTextField", "identifier": "other", "value": "x",
          "settable": ["AXValue", "AXFocused"],
          "frame": {"x": 610, "y": 130, "width": 200, "height": 24}}
       ]}},
      {"id": 23, "pid": 200, "title": "Ghost",
       "bounds": {"x": 600, "y": 400, "width": 100, "height": 100}},
      {"id": 41, "pid": 400, "title": "Daemon",
       "bounds": {"x": 0, "y": 700, "width": 100, "height": 100}}
  ])"));
  scene["script"] = std::move(script);
  std::function<void(Json&)> apply = [&](Json& element) {
    if (element.contains("ref") && elementChanges.contains(element["ref"].get<std::string>())) {
      for (const auto& [key, value] : elementChanges[element["ref"].get<std::string>()].items())
        element[key] = value;
    }
    if (element.contains("children")) {
      for (Json& child : element["children"])
        apply(child);
    }
  };
  for (Json& window : scene["windows"]) {
    if (window.contains("ax"))
      apply(window["ax"]);
  }
  return scene;
}

// The observed expectations of the target window's elements.
inline Json okButton() {
  return Json{{"path", {0}}, {"role", "AXButton"}, {"title", "OK"}};
}
inline Json tabElement() {
  return Json{{"path", {1}}, {"role", "AXRadioButton"}, {"title", "Tab"}};
}
inline Json nameField() {
  return Json{{"path", {2}}, {"role", "AXTextField"}, {"identifier", "name"}, {"value", "hello"}};
}
inline Json cellElement() {
  return Json{{"path", {3, 0}}, {"role", "AXCell"}, {"title", "Row 1"}};
}
inline Json bodyArea() {
  return Json{{"path", {4}}, {"role", "AXTextArea"}, {"identifier", "body"}, {"value", "a-b a-c"}};
}

// An "element_action" request on the notes window.
inline Json actionRequest(std::string operation,
                          Json element = nullptr,
                          Json extra = Json::object()) {
  Json params{{"pid", kTargetPid},
              {"windowId", kTargetWindow},
              {"width", 400},
              {"height", 300},
              {"operation", std::move(operation)}};
  if (!element.is_null())
    params["element"] = std::move(element);
  for (const auto& [key, value] : extra.items())
    params[key] = value;
  return params;
}

class ElementActionFixture : public ::testing::Test, public TestDesktop {
 public:
  void SetUp() override { load(actionScene()); }

  void load(const Json& scene) override {
    guard.reset();
    TestDesktop::load(scene);
    guard = std::make_unique<ForegroundGuard>(*desktop);
  }

  // Runs the request and then gives back borrowed state, as the
  // dispatcher's completion does.
  Json perform(const Json& params) {
    struct Restore {
      ForegroundGuard& guard;
      ~Restore() { guard.restoreAfterRequest(); }
    } restore{*guard};
    return performElementAction(*desktop, *guard, params);
  }

  // The message of the failure the request raises; "" when it succeeds.
  std::string failureOf(const Json& params) {
    try {
      perform(params);
    } catch (const HelperFailure& failure) {
      return failure.message();
    }
    return "";
  }

  // What the helper changed in the target: "set" and "action" trace lines,
  // as "target attribute value" / "target action" strings.
  std::vector<std::string> changes() const {
    std::vector<std::string> out;
    for (const Json& line : desktop->traceLines()) {
      if (line["kind"] == "set") {
        out.push_back(line["target"].get<std::string>() + " " +
                      line["attribute"].get<std::string>() + " " + line["value"].dump() +
                      (line["ok"] == true ? "" : " failed"));
      } else if (line["kind"] == "action") {
        out.push_back(line["target"].get<std::string>() + " " + line["action"].get<std::string>() +
                      (line["ok"] == true ? "" : " failed"));
      }
    }
    return out;
  }

  Json attribute(const std::string& ref, const std::string& name) const {
    return desktop->attribute(ref, name).value_or(Json());
  }

  std::unique_ptr<ForegroundGuard> guard;  // goes before the desktop
};

}  // namespace cuh::testing
