#include "platform/sim/sim_values.h"

#include "platform/sim/scene_error.h"

namespace cuh::sim {

using nlohmann::json;
using platform::Value;

namespace {

bool hasExactlyKeys(const json& object, std::initializer_list<const char*> keys) {
  if (object.size() != keys.size())
    return false;
  for (const char* key : keys) {
    if (!object.contains(key) || !object.at(key).is_number())
      return false;
  }
  return true;
}

}  // namespace

std::optional<Value> valueFromScene(const json& j, const std::string& path, int depth) {
  if (depth > 64)
    throw SceneError(path + ": values nested more than 64 deep");
  switch (j.type()) {
    case json::value_t::null:
      return std::nullopt;
    case json::value_t::string:
      return Value::string(j.get<std::string>());
    case json::value_t::boolean:
      return Value::boolean(j.get<bool>());
    case json::value_t::number_integer:
      return Value::integer(j.get<int64_t>());
    case json::value_t::number_unsigned: {
      auto v = j.get<uint64_t>();
      if (v > static_cast<uint64_t>(INT64_MAX))
        return Value::floating(static_cast<double>(v));
      return Value::integer(static_cast<int64_t>(v));
    }
    case json::value_t::number_float:
      return Value::floating(j.get<double>());
    case json::value_t::array: {
      platform::Array items;
      for (size_t i = 0; i < j.size(); ++i) {
        auto item = valueFromScene(j[i], path + "[" + std::to_string(i) + "]", depth + 1);
        if (!item)
          throw SceneError(path + "[" + std::to_string(i) + "]: null inside a list");
        items.push_back(std::move(*item));
      }
      return Value(Value::Storage(std::move(items)));
    }
    case json::value_t::object: {
      if (j.size() == 1 && j.contains("attributed")) {
        if (!j["attributed"].is_string()) {
          throw SceneError(path + ".attributed: must be a string");
        }
        return Value(
            Value::Storage(platform::AttributedString{j["attributed"].get<std::string>()}));
      }
      if (hasExactlyKeys(j, {"x", "y"})) {
        return Value(Value::Storage(platform::Point{j["x"].get<double>(), j["y"].get<double>()}));
      }
      if (hasExactlyKeys(j, {"width", "height"})) {
        return Value(
            Value::Storage(platform::Size{j["width"].get<double>(), j["height"].get<double>()}));
      }
      if (hasExactlyKeys(j, {"location", "length"}) && j["location"].is_number_integer() &&
          j["length"].is_number_integer()) {
        return Value(Value::Storage(
            platform::Range{j["location"].get<int64_t>(), j["length"].get<int64_t>()}));
      }
      platform::Dictionary entries;
      for (const auto& [key, item] : j.items()) {
        auto converted = valueFromScene(item, path + "." + key, depth + 1);
        if (!converted)
          throw SceneError(path + "." + key + ": null inside a dictionary");
        entries.emplace_back(key, std::move(*converted));
      }
      return Value(Value::Storage(std::move(entries)));
    }
    default:
      throw SceneError(path + ": unsupported value");
  }
}

json traceValue(const Value& value,
                const std::function<std::string(const platform::AXElement&)>& nameOf) {
  struct Visitor {
    const std::function<std::string(const platform::AXElement&)>& nameOf;
    json operator()(const std::string& s) const { return s; }
    json operator()(const platform::AttributedString& s) const { return s.text; }
    json operator()(const platform::Number& n) const {
      if (n.isInteger())
        return *n.integerValue();
      return n.doubleValue();
    }
    json operator()(const platform::Boolean& b) const { return b.value; }
    json operator()(const platform::Point& p) const { return json::array({p.x, p.y}); }
    json operator()(const platform::Size& s) const { return json::array({s.width, s.height}); }
    json operator()(const platform::Range& r) const { return json::array({r.location, r.length}); }
    json operator()(const platform::AXElement& e) const { return nameOf(e); }
    json operator()(const platform::Array& items) const {
      json out = json::array();
      for (const auto& item : items)
        out.push_back(traceValue(item, nameOf));
      return out;
    }
    json operator()(const platform::Dictionary& entries) const {
      json out = json::object();
      for (const auto& [key, item] : entries)
        out[key] = traceValue(item, nameOf);
      return out;
    }
    json operator()(const platform::Other& o) const { return o.description; }
  };
  return std::visit(Visitor{nameOf}, value.storage());
}

size_t utf16Length(const std::string& text) {
  size_t units = 0;
  for (size_t i = 0; i < text.size();) {
    auto c = static_cast<unsigned char>(text[i]);
    size_t length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    units += length == 4 ? 2 : 1;
    i += length;
  }
  return units;
}

size_t byteOffsetOfUtf16(const std::string& text, int64_t units) {
  size_t i = 0;
  int64_t counted = 0;
  while (i < text.size() && counted < units) {
    auto c = static_cast<unsigned char>(text[i]);
    size_t length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    counted += length == 4 ? 2 : 1;
    i += length;
  }
  return i < text.size() ? i : text.size();
}

}  // namespace cuh::sim
