#include "render/gestures.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>

namespace cuh::render {

using nlohmann::json;

namespace {

// Quartz event types and the key codes of modifier keys.
constexpr int kLeftDown = 1, kLeftUp = 2, kRightDown = 3, kRightUp = 4;
constexpr int kLeftDragged = 6, kRightDragged = 7;
constexpr int kKeyDown = 10, kKeyUp = 11, kFlagsChanged = 12, kScrollWheel = 22;
constexpr int kClickStateField = 1;
// The helper marks its own focus click (which lands outside the window)
// with the touch subtype in the mouse subtype field.
constexpr int kMouseSubtypeField = 7;
constexpr int64_t kFocusClickSubtype = 3;

struct Post {
  int32_t pid = 0;
  int type = 0;
  platform::Point at;
  uint32_t windowNumber = 0;
  const json* event = nullptr;
  // Application events and the focus click: the helper's own preparation
  // of the window, not the caller's input.
  bool preparation = false;
};

double number(const json& object, const char* key) {
  auto found = object.find(key);
  return found != object.end() && found->is_number() ? found->get<double>() : 0;
}

int64_t field(const Post& post, int number) {
  const json& fields = post.event->contains("fields") ? (*post.event)["fields"] : json();
  auto found = fields.is_object() ? fields.find(std::to_string(number)) : fields.end();
  return found != fields.end() && found->is_number_integer() ? found->get<int64_t>() : 0;
}

std::optional<Post> readPost(const json& line) {
  auto event = line.find("event");
  if (!line.contains("pid") || !line["pid"].is_number_integer() || event == line.end() ||
      !event->is_object() || !event->contains("type") || !(*event)["type"].is_number_integer())
    return std::nullopt;
  Post post;
  post.pid = line["pid"].get<int32_t>();
  post.type = (*event)["type"].get<int>();
  post.at = {number(*event, "x"), number(*event, "y")};
  double window = number(*event, "windowNumber");
  post.windowNumber = window >= 0 && window <= UINT32_MAX ? static_cast<uint32_t>(window) : 0;
  post.event = &*event;
  post.preparation =
      event->contains("subtype") || field(post, kMouseSubtypeField) == kFocusClickSubtype;
  return post;
}

bool isMouseDown(int type) {
  return type == kLeftDown || type == kRightDown;
}
bool isKey(int type) {
  return type == kKeyDown || type == kKeyUp || type == kFlagsChanged;
}
bool isModifierKey(int64_t code) {
  return code == 54 || code == 55 || code == 56 || code == 58 || code == 59 || code == 60 ||
         code == 61 || code == 62 || code == 63;
}

std::string modifierNames(int64_t flags) {
  std::string names;
  const std::pair<int64_t, const char*> modifiers[] = {
      {0x100000, "Cmd"}, {0x40000, "Ctrl"}, {0x20000, "Shift"}, {0x80000, "Opt"}, {0x800000, "Fn"}};
  for (const auto& [bit, name] : modifiers) {
    if (flags & bit)
      names += std::string(name) + "+";
  }
  if (!names.empty())
    names.back() = ' ';
  return names;
}

std::string formatNumber(double value) {
  if (std::trunc(value) == value && std::abs(value) < 1e15)
    return std::to_string(static_cast<int64_t>(value));
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

Gesture startGesture(const Post& post, GestureKind kind) {
  Gesture gesture;
  gesture.kind = kind;
  gesture.pid = post.pid;
  gesture.windowNumber = post.windowNumber;
  gesture.at = post.at;
  gesture.to = post.at;
  gesture.events = 1;
  return gesture;
}

// Adds the keystroke `post` to a key gesture.
void addKey(Gesture& gesture, const Post& post) {
  int64_t code = number(*post.event, "keyCode");
  bool down = post.event->value("keyDown", false);
  if (gesture.windowNumber == 0)
    gesture.windowNumber = post.windowNumber;
  if (down && post.type == kKeyDown && !isModifierKey(code)) {
    std::string key = modifierNames(static_cast<int64_t>(number(*post.event, "flags"))) + "key " +
                      std::to_string(code);
    gesture.label += gesture.label.empty() ? key : ", " + key;
  }
}

}  // namespace

std::vector<Gesture> groupGestures(const std::vector<json>& traceLines) {
  std::vector<Gesture> gestures;
  // The mouse gesture whose button is still down, as an index (a plain
  // sentinel: GCC misreads an optional index here as uninitialised).
  constexpr size_t kNone = SIZE_MAX;
  size_t pressed = kNone;
  for (const json& line : traceLines) {
    if (!line.is_object() || line.value("kind", "") != "post")
      continue;
    std::optional<Post> post = readPost(line);
    if (!post) {
      Gesture other;
      other.label = "malformed post";
      other.events = 1;
      gestures.push_back(other);
      continue;
    }
    Gesture* last = gestures.empty() ? nullptr : &gestures.back();
    bool sameTarget = last && last->pid == post->pid;

    if (post->preparation) {
      if (sameTarget && last->kind == GestureKind::focus) {
        ++last->events;
      } else {
        gestures.push_back(startGesture(*post, GestureKind::focus));
        gestures.back().label = "synthetic focus";
      }
      continue;
    }
    if (isMouseDown(post->type)) {
      int64_t clickState = field(*post, kClickStateField);
      // The second click of a double click continues the first.
      if (sameTarget && last->kind == GestureKind::click && clickState > 1 &&
          last->at == post->at) {
        last->clickCount = static_cast<int>(clickState);
        ++last->events;
        pressed = gestures.size() - 1;
        continue;
      }
      gestures.push_back(startGesture(*post, GestureKind::click));
      gestures.back().button = post->type == kLeftDown ? "left" : "right";
      gestures.back().clickCount = 1;
      pressed = gestures.size() - 1;
      continue;
    }
    bool moving = post->type == kLeftDragged || post->type == kRightDragged;
    bool releasing = post->type == kLeftUp || post->type == kRightUp;
    if ((moving || releasing) && pressed != kNone && gestures[pressed].pid == post->pid) {
      Gesture& gesture = gestures[pressed];
      ++gesture.events;
      if (moving)
        gesture.kind = GestureKind::drag;
      gesture.to = post->at;
      if (releasing)
        pressed = kNone;
      continue;
    }
    if (isKey(post->type)) {
      if (sameTarget && last->kind == GestureKind::key) {
        ++last->events;
      } else {
        gestures.push_back(startGesture(*post, GestureKind::key));
      }
      addKey(gestures.back(), *post);
      continue;
    }
    Gesture gesture =
        startGesture(*post, post->type == kScrollWheel ? GestureKind::scroll : GestureKind::other);
    if (gesture.kind == GestureKind::scroll) {
      // The wheels carry the caller's amounts negated: wheel 1 = -dy, 2 = -dx.
      const json& wheel = post->event->contains("wheel") ? (*post->event)["wheel"] : json();
      auto amount = [&](size_t i) {
        return wheel.is_array() && wheel.size() > i && wheel[i].is_number()
                   ? -wheel[i].get<double>()
                   : 0.0;
      };
      gesture.label = "dx " + formatNumber(amount(1)) + ", dy " + formatNumber(amount(0));
    } else {
      gesture.label = "type " + std::to_string(post->type);
    }
    gestures.push_back(gesture);
  }
  return gestures;
}

}  // namespace cuh::render
