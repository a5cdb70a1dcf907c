#include "platform/window_rows.h"

#include <limits>

namespace cuh::platform {

std::vector<Value> windowListRows(WindowServer& server,
                                  uint32_t option,
                                  uint32_t relativeToWindow) {
  auto list = server.copyWindowInfo(option, relativeToWindow);
  if (!list)
    return {};
  const auto* rows = list->as<Array>();
  if (!rows)
    return {};
  for (const Value& row : *rows) {
    if (!row.is<Dictionary>())
      return {};
  }
  return *rows;
}

namespace {

std::optional<int64_t> rowInteger(const Value& row, const char* key) {
  const Value* entry = row.find(key);
  const auto* number = entry ? entry->as<Number>() : nullptr;
  if (!number)
    return std::nullopt;
  return number->integerValue();
}

}  // namespace

std::optional<uint32_t> rowWindowNumber(const Value& row) {
  auto value = rowInteger(row, kRowWindowNumber);
  if (!value || *value < 0 || *value > std::numeric_limits<uint32_t>::max())
    return std::nullopt;
  return static_cast<uint32_t>(*value);
}

std::optional<int32_t> rowOwnerPID(const Value& row) {
  auto value = rowInteger(row, kRowOwnerPID);
  if (!value || *value < std::numeric_limits<int32_t>::min() ||
      *value > std::numeric_limits<int32_t>::max()) {
    return std::nullopt;
  }
  return static_cast<int32_t>(*value);
}

std::string rowString(const Value& row, const char* key) {
  const Value* entry = row.find(key);
  const auto* text = entry ? entry->as<std::string>() : nullptr;
  return text ? *text : std::string();
}

bool rowFlag(const Value& row, const char* key) {
  const Value* entry = row.find(key);
  if (!entry)
    return false;
  if (const auto* flag = entry->as<Boolean>())
    return flag->value;
  if (const auto* number = entry->as<Number>())
    return number->boolValue();
  return false;
}

bool rowQualifies(const Value& row) {
  const Value* layer = row.find(kRowLayer);
  const Value* alpha = row.find(kRowAlpha);
  const auto* layerNumber = layer ? layer->as<Number>() : nullptr;
  const auto* alphaNumber = alpha ? alpha->as<Number>() : nullptr;
  return layerNumber && alphaNumber && layerNumber->doubleValue() == 0 &&
         alphaNumber->doubleValue() > 0;
}

bool rowMatches(const Value& row, int32_t pid, uint32_t windowID) {
  // A row without an owner or a window number names no window, not the
  // window 0 of the process 0.
  auto owner = rowOwnerPID(row);
  auto number = rowWindowNumber(row);
  return owner && number && *owner == pid && *number == windowID && rowQualifies(row);
}

std::optional<Rect> rowBounds(const Value& row) {
  const Value* entry = row.find(kRowBounds);
  if (!entry || !entry->is<Dictionary>())
    return std::nullopt;
  double values[4];
  const char* keys[4] = {"X", "Y", "Width", "Height"};
  for (int i = 0; i < 4; ++i) {
    const Value* v = entry->find(keys[i]);
    const auto* number = v ? v->as<Number>() : nullptr;
    if (!number)
      return std::nullopt;
    values[i] = number->doubleValue();
  }
  return Rect{{values[0], values[1]}, {values[2], values[3]}};
}

std::optional<Value> windowRow(Platform& platform, int32_t pid, uint32_t windowID) {
  for (Value& row : windowListRows(platform.windowServer(), kListOneWindow, windowID)) {
    if (rowMatches(row, pid, windowID))
      return std::move(row);
  }
  return std::nullopt;
}

uint32_t frontmostWindowID(Platform& platform, int32_t pid) {
  for (const Value& row : windowListRows(platform.windowServer(), kListOnScreenWindows)) {
    if (rowOwnerPID(row).value_or(0) != pid || !rowQualifies(row))
      continue;
    if (auto number = rowWindowNumber(row))
      return *number;
  }
  return 0;
}

}  // namespace cuh::platform
