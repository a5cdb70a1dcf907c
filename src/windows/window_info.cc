#include "windows/window_info.h"

#include <limits>

#include "platform/window_rows.h"
#include "protocol/params.h"

namespace cuh {

using platform::Value;

namespace {

// Windows this small are not something a user sees as a window.
constexpr double kMinimumVisibleEdge = 20;

int32_t expectedOwner(const Json& params) {
  auto value = optionalInt(params, "ownerPid");
  if (!value)
    return 0;
  if (*value < std::numeric_limits<int32_t>::min() ||
      *value > std::numeric_limits<int32_t>::max()) {
    throwParameterOutOfRange("ownerPid");
  }
  return static_cast<int32_t>(*value);
}

bool positiveAlpha(const Value& row) {
  const Value* alpha = row.find(platform::kRowAlpha);
  const auto* number = alpha ? alpha->as<platform::Number>() : nullptr;
  return number && number->doubleValue() > 0;
}

}  // namespace

Json windowInfo(platform::Platform& platform, const Json& params) {
  uint32_t windowId = requiredWindowId(params, "windowId");
  int32_t expected = expectedOwner(params);

  const Value* row = nullptr;
  auto rows = platform::windowListRows(platform.windowServer(), platform::kListOneWindow, windowId);
  for (const Value& candidate : rows) {
    if (platform::rowWindowNumber(candidate) == windowId) {
      row = &candidate;
      break;
    }
  }
  if (!row)
    return Json{{"visible", false}};

  auto owner = platform::rowOwnerPID(*row);
  if (!owner || *owner <= 0)
    return Json{{"visible", false}};
  if (expected > 0 && *owner != expected) {
    // The id now names a window of another process: the window the caller
    // knew is gone for good.
    return Json{{"visible", false}, {"terminal", true}, {"ownerPid", *owner}};
  }
  auto frame = platform::rowBounds(*row);
  if (!frame)
    return Json{{"visible", false}, {"ownerPid", *owner}};

  bool visible = positiveAlpha(*row) && platform::rowFlag(*row, platform::kRowIsOnscreen) &&
                 frame->width() > kMinimumVisibleEdge && frame->height() > kMinimumVisibleEdge;
  return Json{{"visible", visible},
              {"ownerPid", *owner},
              {"bounds",
               {{"x", frame->minX()},
                {"y", frame->minY()},
                {"width", frame->width()},
                {"height", frame->height()}}}};
}

}  // namespace cuh
