// Whole sessions of observation and accessibility requests over the test
// scenes, recorded as transcripts: every request line, the response line the
// helper wrote, byte for byte, and the trace lines the request left. The
// recorded transcripts in tests/app/transcripts/ are what the helper answered
// before its accessibility reads were batched; any change in an answer, or
// in what reached the target, shows up as a difference here.
//
// Requests are derived from earlier answers (every row of a snapshot is
// resolved, acted on, hit), so the sessions reach every element of the
// scenes, including elements whose attributes are missing, unreadable or of
// the wrong kind.
//
// To record them again after an intended change of answers:
//   CUH_RECORD_TRANSCRIPTS=1 ./build/tests/cuh_unit_tests --gtest_filter='SessionTranscripts*'
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "accessibility/ax_scene.h"
#include "accessibility/element_action_scene.h"
#include "app/helper_delegate.h"
#include "input/input_scene.h"
#include "platform/sim/sim_application.h"
#include "platform/sim/sim_desktop.h"
#include "support/row_name.h"
#include "support/test_desktop.h"

namespace cuh {
namespace {

using testing::kTargetPid;
using testing::kTargetWindow;
using testing::sceneFrame;

// Runs requests one at a time through the helper, on the simulated desktop
// of `scene` (virtual clock), and writes down what happened.
class SessionRecorder {
 public:
  explicit SessionRecorder(const Json& scene) : desktop_(sim::SimDesktop::create(scene)) {
    HelperOptions options;
    options.inputFd = -1;
    options.output = [this](std::string_view line) {
      if (!line.empty() && line.back() == '\n')
        line.remove_suffix(1);
      written_.emplace_back(line);
    };
    delegate_ = HelperDelegate::create(*desktop_, std::move(options));
    desktop_->application().setDelegate(delegate_.get());
  }
  ~SessionRecorder() {
    desktop_->application().setDelegate(nullptr);
    delegate_.reset();
  }

  // Sends one request, runs the loop until it is answered and everything it
  // started is over, and returns the response.
  Json send(std::string_view method, Json params) {
    Json request{{"id", ++lastId_}, {"method", method}, {"params", std::move(params)}};
    const size_t traceBefore = desktop_->traceLines().size();
    const size_t writtenBefore = written_.size();
    transcript_ += "> " + request.dump() + "\n";
    std::weak_ptr<HelperDelegate> weak = delegate_;
    desktop_->loop().post([weak, request]() mutable {
      if (auto self = weak.lock())
        self->enqueue(std::move(request));
    });
    desktop_->loop().runUntilIdle(60);
    for (size_t i = writtenBefore; i < written_.size(); ++i)
      transcript_ += "< " + written_[i] + "\n";
    const auto& trace = desktop_->traceLines();
    for (size_t i = traceBefore; i < trace.size(); ++i)
      transcript_ += "  " + withNumberedMarkers(trace[i]).dump() + "\n";
    if (written_.size() != writtenBefore + 1) {
      ADD_FAILURE() << "request " << lastId_ << " got " << written_.size() - writtenBefore
                    << " answers";
      return Json::object();
    }
    return Json::parse(written_.back());
  }

  // Applies a script action between requests, noted in the transcript.
  void apply(const Json& action) {
    transcript_ += "! " + action.dump() + "\n";
    desktop_->apply(action);
  }

  const std::string& transcript() const { return transcript_; }

 private:
  // The marker of a posted event (field 42) is random: it is written as the
  // number of its first appearance, so that equal markers stay equal.
  Json withNumberedMarkers(Json line) {
    if (line["kind"] != "post" || !line["event"]["fields"].contains("42"))
      return line;
    Json& marker = line["event"]["fields"]["42"];
    auto [it, added] = markers_.try_emplace(marker.dump(), markers_.size() + 1);
    marker = "marker " + std::to_string(it->second);
    return line;
  }

  std::map<std::string, size_t> markers_;
  std::unique_ptr<sim::SimDesktop> desktop_;
  std::shared_ptr<HelperDelegate> delegate_;
  std::vector<std::string> written_;
  std::string transcript_;
  int64_t lastId_ = 0;
};

// ---- Request builders ----

Json observedWindow(const Json& listed) {
  return Json{{"pid", listed["pid"]},
              {"windowId", listed["windowId"]},
              {"width", listed["width"]},
              {"height", listed["height"]}};
}

Json with(Json params, const Json& extra) {
  for (const auto& [key, value] : extra.items())
    params[key] = value;
  return params;
}

bool hasFrame(const Json& row) {
  return row.contains("x") && row.contains("width");
}

bool offers(const Json& row, std::string_view action) {
  for (const Json& name : row["actions"]) {
    if (name == action)
      return true;
  }
  return false;
}

bool editable(const Json& row) {
  return row["role"] == "AXTextField" || row["role"] == "AXTextArea" || row["role"] == "AXComboBox";
}

// The text of a row's value up to its first space (the whole value when it
// has none).
std::string firstWord(const Json& row) {
  std::string value = row["value"];
  return value.substr(0, value.find(' '));
}

// The snapshot of a window; its rows, or none when it failed.
Json snapshot(SessionRecorder& session, const Json& window) {
  Json response = session.send("accessibility_tree", window);
  if (response["ok"] != true)
    return Json::array();
  return response["result"]["elements"];
}

// Every `stride`-th row resolved as observed, and with a path that leads
// nowhere (the search).
void resolveRows(SessionRecorder& session,
                 const Json& window,
                 const Json& rows,
                 size_t stride = 1) {
  for (size_t i = 0; i < rows.size(); i += stride) {
    Json element = rows[i];
    session.send("resolve_element", with(window, {{"element", element}}));
    element["path"] = Json::array({999});
    session.send("resolve_element", with(window, {{"element", element}}));
  }
}

// Every element operation that fits a row, in a fixed order; operations that
// change the element come after those that only read it.
void actOnRows(SessionRecorder& session, const Json& window, const Json& rows) {
  for (const Json& row : rows) {
    Json params = with(window, {{"element", row}});
    if (offers(row, "AXPress") || row["selectable"] == true)
      session.send("element_action", with(params, {{"operation", "activate_button"}}));
    if (!row["actions"].empty()) {
      session.send("element_action",
                   with(params, {{"operation", "action"}, {"action", row["actions"].back()}}));
    }
    if (editable(row)) {
      session.send("element_action", with(params, {{"operation", "focus_editable"}}));
      if (!firstWord(row).empty()) {
        session.send("element_action", with(params, {{"operation", "select_text"},
                                                     {"text", firstWord(row)},
                                                     {"mode", "text"}}));
      }
    }
    session.send("element_action",
                 with(params, {{"operation", "page_scroll"}, {"direction", "down"}}));
    if (row["valueSettable"] == true) {
      session.send("element_action",
                   with(params, {{"operation", "set_value"},
                                 {"value", "set " + std::to_string(row["index"].get<int>())}}));
    }
  }
}

// "insert_text" at the centre of every row that has a frame: the hit test,
// the editable ancestor, and the focused-field fallback.
void insertAtRows(SessionRecorder& session, const Json& window, const Json& rows) {
  for (const Json& row : rows) {
    if (!hasFrame(row))
      continue;
    double x = row["x"].get<double>() + row["width"].get<double>() / 2;
    double y = row["y"].get<double>() + row["height"].get<double>() / 2;
    session.send("element_action",
                 with(window, {{"operation", "insert_text"}, {"x", x}, {"y", y}, {"text", "+"}}));
  }
}

// list_windows, then every listed window observed, resolved, acted on.
void observeEverything(SessionRecorder& session, bool act) {
  Json listed = session.send("list_windows", Json::object());
  for (const Json& entry : listed["result"]["windows"]) {
    Json window = observedWindow(entry);
    Json rows = snapshot(session, window);
    resolveRows(session, window, rows);
    if (act) {
      actOnRows(session, window, rows);
      insertAtRows(session, window, rows);
      // What the actions changed, seen again.
      snapshot(session, window);
    }
  }
}

// ---- Scenes ----

// Elements whose attributes are missing, unreadable or of the wrong kind,
// windows that match their rows only in part, and an application that does
// not answer accessibility calls (Mail).
Json oddScene() {
  Json scene = testing::baseScene(Json::parse(R"([
    {"id": 21, "pid": 200, "title": "Odd",
     "bounds": {"x": 100, "y": 50, "width": 800, "height": 600},
     "ax": {"ref": "odd", "children": [
       {"ref": "numeric-role", "attributes": {"AXRole": 7, "AXTitle": "Seven"},
        "frame": {"x": 110, "y": 60, "width": 50, "height": 20}, "actions": ["AXPress"]},
       {"ref": "styled", "role": "AXStaticText", "value": {"attributed": "Styled text"},
        "attributes": {"AXTitle": {"attributed": "Heading"}, "AXDescription": 12.5,
                       "AXHelp": true, "AXPlaceholderValue": {"hint": "x"},
                       "AXIdentifier": {"attributed": "styled-id"}, "AXSubrole": 3},
        "frame": {"x": 170, "y": 60, "width": 100, "height": 20}},
       {"ref": "slider", "role": "AXSlider", "title": "Volume", "value": 0.5,
        "settable": ["AXValue"], "frame": {"x": 280, "y": 60, "width": 100, "height": 20}},
       {"ref": "check", "role": "AXCheckBox", "title": "Wrap", "value": true,
        "attributes": {"AXEnabled": 0, "AXFocused": 1, "AXBusy": "yes", "AXSelected": 0},
        "settable": ["AXSelected"], "actions": ["AXPress"],
        "frame": {"x": 390, "y": 60, "width": 100, "height": 20}},
       {"ref": "wrong-kinds", "role": "AXButton", "title": "Odd",
        "attributes": {"AXEnabled": "no", "AXSelected": "maybe", "AXValue": [1, 2],
                       "AXPosition": {"width": 5, "height": 5}, "AXSize": {"x": 1, "y": 2}},
        "actions": ["AXPress"]},
       {"ref": "dictionary-value", "role": "AXGroup",
        "attributes": {"AXValue": {"a": 1}, "AXTitle": null, "AXDescription": "Dict"},
        "frame": {"x": 110, "y": 90, "width": 100, "height": 20}},
       {"ref": "flat", "role": "AXButton", "title": "Flat", "actions": ["AXPress"],
        "frame": {"x": 110, "y": 120, "width": 0, "height": 20}},
       {"ref": "outside", "role": "AXButton", "title": "Outside", "actions": ["AXPress"],
        "frame": {"x": 50, "y": 10, "width": 30, "height": 20}},
       {"ref": "unnamed", "role": "AXButton", "title": "", "actions": ["AXPress"],
        "frame": {"x": 110, "y": 150, "width": 40, "height": 20}},
       {"ref": "twin-a", "role": "AXButton", "title": "Twin", "actions": ["AXPress"],
        "frame": {"x": 110, "y": 180, "width": 40, "height": 20}},
       {"ref": "twin-b", "role": "AXButton", "title": "Twin", "actions": ["AXPress"],
        "frame": {"x": 113, "y": 180, "width": 40, "height": 20}},
       {"ref": "composed", "role": "AXTextField", "value": "cafe\u0301 \ud83d\ude00 ok",
        "identifier": "composed", "selectedTextRange": [0, 0],
        "settable": ["AXValue", "AXSelectedTextRange", "AXFocused"],
        "frame": {"x": 110, "y": 210, "width": 200, "height": 24}},
       {"ref": "odd-range", "role": "AXTextArea", "value": "abc def", "identifier": "odd-range",
        "attributes": {"AXSelectedTextRange": "not a range"},
        "settable": ["AXValue", "AXSelectedTextRange"],
        "frame": {"x": 110, "y": 240, "width": 200, "height": 60},
        "children": [{"ref": "odd-range-line", "role": "AXGroup",
                      "frame": {"x": 110, "y": 240, "width": 200, "height": 20}}]},
       {"ref": "labelled", "role": "AXGroup", "frame": {"x": 110, "y": 310, "width": 300, "height": 60},
        "children": [{"role": "AXGroup", "children": [
          {"role": "AXStaticText", "value": "Deep label",
           "frame": {"x": 120, "y": 320, "width": 100, "height": 20}}]}]},
       {"ref": "focused-field", "role": "AXComboBox", "title": "Pick", "value": "one",
        "focused": true, "selectedTextRange": [3, 0],
        "settable": ["AXValue", "AXSelectedTextRange", "AXFocused"],
        "frame": {"x": 500, "y": 400, "width": 150, "height": 24}}
     ]}},
    {"id": 22, "pid": 200, "title": "Hidden",
     "bounds": {"x": 200, "y": 100, "width": 300, "height": 200},
     "ax": {"hidden": true}},
    {"id": 23, "pid": 200, "title": "Minimised",
     "bounds": {"x": 220, "y": 120, "width": 300, "height": 200},
     "ax": {"attributes": {"AXMinimized": 1}}},
    {"id": 24, "pid": 200, "title": "Report",
     "bounds": {"x": 240, "y": 140, "width": 300, "height": 200},
     "ax": {"title": "Report - Notes - Profile 1",
            "children": [{"role": "AXButton", "title": "Print", "actions": ["AXPress"],
                          "frame": {"x": 250, "y": 150, "width": 60, "height": 20}}]}},
    {"id": 25, "pid": 200, "title": "Styled",
     "bounds": {"x": 260, "y": 160, "width": 300, "height": 200},
     "ax": {"attributes": {"AXTitle": {"attributed": "Styled"}}}},
    {"id": 26, "pid": 200, "title": "Bad frame",
     "bounds": {"x": 280, "y": 180, "width": 300, "height": 200},
     "ax": {"frame": null,
            "attributes": {"AXPosition": "top left", "AXSize": {"width": 300, "height": 200}}}},
    {"id": 27, "pid": 200, "title": "Same",
     "bounds": {"x": 300, "y": 200, "width": 300, "height": 200},
     "ax": {"title": "Same"}},
    {"id": 28, "pid": 200, "title": "Other",
     "bounds": {"x": 300, "y": 200, "width": 300, "height": 200},
     "ax": {"title": null}},
    {"id": 29, "pid": 200, "title": "Nudged",
     "bounds": {"x": 320, "y": 220, "width": 1000, "height": 800},
     "ax": {"frame": {"x": 322, "y": 218, "width": 998, "height": 802}}},
    {"id": 31, "pid": 300, "title": "Inbox",
     "bounds": {"x": 0, "y": 500, "width": 300, "height": 200},
     "ax": {"children": [{"role": "AXButton", "title": "Send"}]}},
    {"id": 41, "pid": 400, "title": "Daemon",
     "bounds": {"x": 0, "y": 700, "width": 100, "height": 100}}
  ])"));
  scene["apps"][2]["axEnabled"] = false;
  return scene;
}

// `count` buttons titled `prefix` and their number, in rows of 20 from the
// window's top-left corner at (x, y).
Json items(int count, const std::string& prefix, double x = 100, double y = 50) {
  Json out = Json::array();
  for (int i = 0; i < count; ++i) {
    out.push_back({{"role", "AXButton"},
                   {"title", prefix + std::to_string(i)},
                   {"actions", Json::array({"AXPress"})},
                   {"frame", sceneFrame(x + 10 + (i % 20) * 30, y + 10 + (i / 20) * 20, 28, 18)}});
  }
  return out;
}

// Trees at the limits: more than 600 elements, 150 children, nesting deeper
// than any walk goes, and a Save button as the 1200th element searched.
Json limitsScene() {
  Json groups = Json::array();
  for (int g = 0; g < 30; ++g) {
    groups.push_back({{"role", "AXGroup"},
                      {"identifier", "group " + std::to_string(g)},
                      {"frame", testing::relativeFrame(0, 0, 800, 60)},
                      {"children", items(30, "Item " + std::to_string(g) + ".")}});
  }
  Json scene = testing::sceneWith(groups);
  scene["windows"].push_back(
      {{"id", 22},
       {"pid", kTargetPid},
       {"title", "Wide"},
       {"bounds", sceneFrame(1000, 50, 800, 600)},
       {"ax",
        {{"children",
          Json::array({{{"role", "AXList"}, {"children", items(150, "Row ", 1000, 50)}}})}}}});
  scene["windows"].push_back(
      {{"id", 23},
       {"pid", kTargetPid},
       {"title", "Deep"},
       {"bounds", sceneFrame(100, 700, 800, 600)},
       {"ax",
        {{"children",
          Json::array({testing::nested(18, {{"role", "AXButton"},
                                            {"title", "Bottom"},
                                            {"frame", sceneFrame(110, 710, 20, 20)}})})}}}});
  // The Save button is the 1200th element of the search (the window first).
  Json fillers = Json::array();
  int before = 1198;
  while (before > 0) {
    int kids = std::min(before - 1, 100);
    Json group{{"role", "AXGroup"}, {"children", Json::array()}};
    for (int i = 0; i < kids; ++i)
      group["children"].push_back({{"role", "AXStaticText"}, {"value", "filler"}});
    fillers.push_back(group);
    before -= kids + 1;
  }
  fillers.push_back({{"ref", "far-save"},
                     {"role", "AXButton"},
                     {"title", "Save"},
                     {"frame", sceneFrame(1010, 760, 40, 20)}});
  scene["windows"].push_back({{"id", 24},
                              {"pid", kTargetPid},
                              {"title", "Far"},
                              {"bounds", sceneFrame(1000, 700, 800, 600)},
                              {"ax", {{"ref", "far"}, {"children", fillers}}}});
  return scene;
}

// ---- Sessions ----

void demoSession(SessionRecorder& session) {
  session.send("list_apps", Json::object());
  observeEverything(session, /*act=*/true);
}

void oddSession(SessionRecorder& session) {
  observeEverything(session, /*act=*/true);
  Json window{{"pid", kTargetPid}, {"windowId", kTargetWindow}, {"width", 800}, {"height", 600}};
  for (const char* label : {"Deep label", "Seven", "Styled text", "Nothing"}) {
    session.send(
        "resolve_element",
        with(window,
             {{"element",
               {{"path", Json::array({13})}, {"role", "AXGroup"}, {"semanticLabel", label}}}}));
  }
}

void elementActionSession(SessionRecorder& session) {
  observeEverything(session, /*act=*/true);
  // The field focused: "insert_text" away from any field falls back to it.
  session.apply({{"set", {{"ref", "field"}, {"attribute", "AXFocused"}, {"value", true}}}});
  Json window{{"pid", kTargetPid}, {"windowId", kTargetWindow}, {"width", 400}, {"height", 300}};
  session.send("element_action",
               with(window, {{"operation", "insert_text"}, {"x", 380}, {"y", 10}, {"text", "!"}}));
  // An element that leaves while its value is read back.
  session.apply({{"remove", "scroll"}});
  snapshot(session, window);
  session.send("element_action", with(window, {{"operation", "page_scroll"},
                                               {"direction", "down"},
                                               {"element", testing::cellElement()}}));
}

void inputSession(SessionRecorder& session) {
  Json listed = session.send("list_windows", Json::object());
  Json window{{"pid", kTargetPid}, {"windowId", kTargetWindow}, {"width", 800}, {"height", 600}};
  Json rows = snapshot(session, window);
  resolveRows(session, window, rows);
  for (const Json& row : rows) {
    session.send(
        "click",
        with(window,
             {{"x", 1}, {"y", 1}, {"button", "left"}, {"clickCount", 1}, {"element", row}}));
  }
  for (const Json& row : rows) {
    if (!hasFrame(row))
      continue;
    Json point{{"x", row["x"].get<double>() + 2}, {"y", row["y"].get<double>() + 2}};
    session.send("key",
                 with(with(window, point), {{"keyName", "a"}, {"keyCode", 0}, {"flags", 0}}));
    session.send("key",
                 with(with(window, point), {{"keyName", "a"}, {"keyCode", 0}, {"flags", 1048576}}));
    session.send("scroll",
                 with(with(window, point), {{"dx", 0}, {"dy", 120}, {"semanticFirst", true}}));
  }
}

void limitsSession(SessionRecorder& session) {
  Json window{{"pid", kTargetPid}, {"windowId", kTargetWindow}, {"width", 800}, {"height", 600}};
  Json rows = snapshot(session, window);
  resolveRows(session, window, rows, 97);
  // A group named by what its first button says.
  session.send(
      "resolve_element",
      with(window,
           {{"element",
             {{"path", Json::array({5})}, {"role", "AXGroup"}, {"semanticLabel", "Item 5.0"}}}}));
  session.send(
      "resolve_element",
      with(window,
           {{"element",
             {{"path", Json::array({999})}, {"role", "AXGroup"}, {"semanticLabel", "Item 7.0"}}}}));
  for (uint32_t id : {22u, 23u}) {
    Json other{{"pid", kTargetPid}, {"windowId", id}, {"width", 800}, {"height", 600}};
    Json otherRows = snapshot(session, other);
    resolveRows(session, other, otherRows, 13);
  }
  Json far{{"pid", kTargetPid}, {"windowId", 24}, {"width", 800}, {"height", 600}};
  Json save{{"path", Json::array({999})}, {"role", "AXButton"}, {"title", "Save"}};
  session.send("resolve_element", with(far, {{"element", save}}));
  // One more element ahead of it: the Save button is beyond the search.
  session.apply({{"insert",
                  {{"parent", "far"},
                   {"index", 0},
                   {"element", {{"role", "AXStaticText"}, {"value", "child"}}}}}});
  session.send("resolve_element", with(far, {{"element", save}}));
  Json deep{{"pid", kTargetPid}, {"windowId", 23}, {"width", 800}, {"height", 600}};
  Json bottom{{"path", Json::array({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})},
              {"role", "AXButton"},
              {"title", "Bottom"}};
  session.send("resolve_element", with(deep, {{"element", bottom}}));
  bottom["path"] = Json::array({999});
  session.send("resolve_element", with(deep, {{"element", bottom}}));
}

struct SessionCase {
  const char* name;
  std::function<Json()> scene;
  std::function<void(SessionRecorder&)> run;
};

void PrintTo(const SessionCase& session, std::ostream* os) {
  *os << session.name;
}

std::string transcriptPath(std::string_view name) {
  return std::string(CUH_SOURCE_DIR) + "/tests/app/transcripts/" + std::string(name) + ".txt";
}

// The first line where two texts differ, for the failure message.
std::string firstDifference(const std::string& expected, const std::string& actual) {
  std::istringstream a(expected);
  std::istringstream b(actual);
  std::string lineA;
  std::string lineB;
  for (int number = 1;; ++number) {
    bool moreA = static_cast<bool>(std::getline(a, lineA));
    bool moreB = static_cast<bool>(std::getline(b, lineB));
    if (!moreA && !moreB)
      return "no line differs";
    if (!moreA || !moreB || lineA != lineB) {
      return "line " + std::to_string(number) +
             "\n  recorded: " + (moreA ? lineA : "(end)").substr(0, 600) +
             "\n  now:      " + (moreB ? lineB : "(end)").substr(0, 600);
    }
  }
}

class SessionTranscripts : public ::testing::TestWithParam<SessionCase> {};

TEST_P(SessionTranscripts, MatchTheRecordedOnes) {
  const SessionCase& c = GetParam();
  SessionRecorder session(c.scene());
  c.run(session);
  const std::string path = transcriptPath(c.name);
  if (std::getenv("CUH_RECORD_TRANSCRIPTS")) {
    std::ofstream out(path, std::ios::binary);
    out << session.transcript();
    ASSERT_TRUE(out.good()) << "cannot write " << path;
    GTEST_SKIP() << "recorded " << path;
  }
  std::ifstream in(path, std::ios::binary);
  ASSERT_TRUE(in.good()) << "no recorded transcript " << path;
  std::stringstream recorded;
  recorded << in.rdbuf();
  EXPECT_TRUE(recorded.str() == session.transcript())
      << c.name << ": " << firstDifference(recorded.str(), session.transcript());
}

INSTANTIATE_TEST_SUITE_P(
    Sessions,
    SessionTranscripts,
    ::testing::Values(
        SessionCase{"demo", [] { return Json::parse(sim::SimDesktop::demoSceneText()); },
                    demoSession},
        SessionCase{"odd_attributes", oddScene, oddSession},
        SessionCase{"element_actions", [] { return testing::actionScene(); }, elementActionSession},
        SessionCase{"input", testing::inputScene, inputSession},
        SessionCase{"limits", limitsScene, limitsSession}),
    testing::RowName());

}  // namespace
}  // namespace cuh
