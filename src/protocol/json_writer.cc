#include "protocol/json_writer.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <system_error>

namespace cuh {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Length of the valid UTF-8 sequence starting at `text[i]`, or 0 when the
// bytes there do not start one. For an invalid start, `*skip` receives the
// length of the maximal invalid subpart to replace.
size_t validSequenceLength(std::string_view text, size_t i, size_t* skip) {
  auto byte = [&](size_t k) -> unsigned { return static_cast<unsigned char>(text[k]); };
  unsigned lead = byte(i);
  *skip = 1;
  if (lead < 0x80)
    return 1;
  size_t length;
  unsigned low = 0x80, high = 0xBF;  // bounds of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0)
      low = 0xA0;
    if (lead == 0xED)
      high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0)
      low = 0x90;
    if (lead == 0xF4)
      high = 0x8F;
  } else {
    return 0;
  }
  for (size_t k = 1; k < length; ++k) {
    if (i + k >= text.size()) {
      *skip = k;
      return 0;
    }
    unsigned b = byte(i + k);
    unsigned lo = k == 1 ? low : 0x80, hi = k == 1 ? high : 0xBF;
    if (b < lo || b > hi) {
      *skip = k;
      return 0;
    }
  }
  return length;
}

}  // namespace

bool isValidUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    if (static_cast<unsigned char>(text[i]) < 0x80) {
      ++i;
      continue;
    }
    size_t skip;
    size_t length = validSequenceLength(text, i, &skip);
    if (length == 0)
      return false;
    i += length;
  }
  return true;
}

std::string repairUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  for (size_t i = 0; i < text.size();) {
    size_t skip;
    size_t length = validSequenceLength(text, i, &skip);
    if (length == 0) {
      out += kReplacement;
      i += skip;
    } else {
      out.append(text.substr(i, length));
      i += length;
    }
  }
  return out;
}

void appendJsonString(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  size_t i = 0;
  while (i < text.size()) {
    // Copy runs of plain bytes at once.
    size_t start = i;
    while (i < text.size()) {
      unsigned char c = static_cast<unsigned char>(text[i]);
      if (c < 0x20 || c == '"' || c == '\\' || c == '/' || c >= 0x80)
        break;
      ++i;
    }
    out.append(text.substr(start, i - start));
    if (i == text.size())
      break;
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      size_t skip;
      size_t length = validSequenceLength(text, i, &skip);
      if (length == 0) {
        out += kReplacement;
        i += skip;
      } else {
        out.append(text.substr(i, length));
        i += length;
      }
      continue;
    }
    ++i;
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '/':
        out += "\\/";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        out += "\\u00";
        out += kHex[c >> 4];
        out += kHex[c & 0xF];
        break;
    }
  }
  out += '"';
}

void appendJsonDouble(std::string& out, double value) {
  char buffer[64];
  std::to_chars_result result;
  // Integral values below 1e17 are written as plain integers ("3", not
  // "3.0" or "3e+00"); larger ones and fractions in shortest round-trip form.
  if (std::trunc(value) == value && std::fabs(value) < 1e17) {
    result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 0);
  } else {
    result = std::to_chars(buffer, buffer + sizeof buffer, value);
  }
  out.append(buffer, result.ptr);
}

bool appendJson(std::string& out, const Json& value) {
  switch (value.type()) {
    case Json::value_t::null:
    case Json::value_t::discarded:
      out += "null";
      return true;
    case Json::value_t::boolean:
      out += value.get<bool>() ? "true" : "false";
      return true;
    case Json::value_t::number_integer:
      out += std::to_string(value.get<int64_t>());
      return true;
    case Json::value_t::number_unsigned:
      out += std::to_string(value.get<uint64_t>());
      return true;
    case Json::value_t::number_float: {
      double d = value.get<double>();
      if (!std::isfinite(d))
        return false;
      appendJsonDouble(out, d);
      return true;
    }
    case Json::value_t::string:
      appendJsonString(out, value.get_ref<const std::string&>());
      return true;
    case Json::value_t::binary:
      return false;
    case Json::value_t::array: {
      out += '[';
      bool first = true;
      for (const Json& element : value) {
        if (!first)
          out += ',';
        first = false;
        if (!appendJson(out, element))
          return false;
      }
      out += ']';
      return true;
    }
    case Json::value_t::object: {
      out += '{';
      bool first = true;
      for (auto it = value.begin(); it != value.end(); ++it) {
        if (!first)
          out += ',';
        first = false;
        appendJsonString(out, it.key());
        out += ':';
        if (!appendJson(out, it.value()))
          return false;
      }
      out += '}';
      return true;
    }
  }
  return false;
}

}  // namespace cuh
