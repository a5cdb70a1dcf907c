// Arbitrary bytes through everything a request line meets before it reaches
// a desktop: the line splitter (framing, the line cap), the repair of invalid
// UTF-8, the JSON parse with its nesting limit, the request fields, every
// method's parameter readers (from the dispatcher's own table) and the
// response writer. No desktop, so it runs tens of thousands of inputs a
// second. Checked: one response line per line read, each a JSON object whose
// "ok" is true exactly when it has no "error", with the request's id.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/dispatcher.h"
#include "protocol/helper_failure.h"
#include "protocol/json.h"
#include "protocol/params.h"
#include "protocol/request_reader.h"
#include "protocol/response_writer.h"

namespace {

void require(bool condition) {
  if (!condition)
    std::abort();
}

// One whole response line: a JSON object, "ok" exactly when no "error", and
// the expected id (null for none).
void checkLine(std::string_view line, std::optional<int64_t> id) {
  require(!line.empty() && line.back() == '\n' && line.find('\n') == line.size() - 1);
  cuh::Json parsed = cuh::Json::parse(line.substr(0, line.size() - 1), nullptr, false);
  require(!parsed.is_discarded() && parsed.is_object());
  auto ok = parsed.find("ok");
  require(ok != parsed.end() && ok->is_boolean());
  require(ok->get<bool>() == !parsed.contains("error"));
  require(ok->get<bool>() == parsed.contains("result"));
  auto answeredId = parsed.find("id");
  require(answeredId != parsed.end());
  if (id) {
    require(answeredId->is_number_integer() && answeredId->get<int64_t>() == *id);
  } else {
    require(answeredId->is_null());
  }
}

// What the dispatcher would answer before asking the desktop anything: the
// first failing parameter's message, or the request's fields echoed back
// (through the writer's encoding of arbitrary strings and numbers).
void answer(cuh::ResponseWriter& writer, const cuh::Request& request) {
  const cuh::MethodEntry* entry = cuh::findMethod(cuh::methodTable(), request.method);
  if (!entry) {
    writer.writeResponse(request.id, nullptr,
                         std::string(cuh::kUnsupportedMethodPrefix) + request.method);
    return;
  }
  try {
    for (const cuh::ParamSpec& spec : entry->parameters)
      cuh::readParameter(request.params, spec);
  } catch (const cuh::HelperFailure& failure) {
    writer.writeResponse(request.id, nullptr, failure.message());
    return;
  }
  writer.writeResponse(request.id, &request.params, std::nullopt);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::optional<int64_t> expectedId;
  uint64_t written = 0;
  cuh::ResponseWriter writer(
      [&](std::string_view line) {
        checkLine(line, expectedId);
        ++written;
      },
      nullptr);

  uint64_t read = 0;
  // A small cap keeps overlong lines reachable.
  cuh::LineSplitter splitter(4096);
  auto handler = [&](std::optional<std::string_view> line) {
    ++read;
    std::optional<cuh::Json> object = line ? cuh::parseRequestLine(*line) : std::nullopt;
    if (!object) {
      expectedId.reset();
      writer.writeInvalidJson();
      return;
    }
    cuh::Request request = cuh::readRequest(std::move(*object));
    expectedId = request.id;
    answer(writer, request);
  };
  splitter.feed(std::string_view(reinterpret_cast<const char*>(data), size), handler);
  splitter.finish(handler);
  require(written == read && writer.count() == read);
  return 0;
}
