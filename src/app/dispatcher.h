// The method table of the dispatcher: every method name, in the order the
// dispatcher compares them, with how its request completes and the
// operation that runs. A method whose operation is not built in answers as
// unsupported.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "app/request_guard.h"
#include "platform/platform.h"
#include "protocol/json.h"
#include "protocol/params.h"
#include "protocol/reply.h"

namespace cuh {

class HelperDelegate;

// What an operation gets to work with.
struct MethodContext {
  platform::Platform& platform;
  HelperDelegate& delegate;
  RequestGuard& guard;
  std::optional<int64_t> id;
  const Json& params;
  // Asynchronous operations only: answers the request later, exactly once.
  std::optional<Reply> reply;
};

enum class Completion {
  // The result (wrapped under `resultKey` when there is one) or the failure
  // goes through finish, restoring focus state.
  finish,
  // Success and failure are answered directly, without the restore.
  direct,
  // Success is answered directly (the lease keeps its controller armed);
  // failure goes through finish.
  directOnSuccess,
  // The operation completes the request itself; a failure raised before it
  // scheduled anything goes through finish.
  asynchronous,
  // Answered directly, then the application terminates.
  terminate,
};

struct MethodEntry {
  std::string_view name;
  Completion completion;
  // The key the operation's value is wrapped under ("" for none).
  std::string_view resultKey;
  // The operation; null while its subsystem is not built in, so the method
  // answers as unsupported. Asynchronous operations return null JSON.
  Json (*run)(MethodContext& context);
  // The parameters the operation reads before it asks the desktop anything,
  // in the order it reads them (so the first one missing names the failure).
  // Parameters read later, once the desktop has answered, are not listed.
  std::span<const ParamSpec> parameters = {};
};

// The whole table, in dispatch order.
std::span<const MethodEntry> methodTable();
// The entry for `name` (exact, case-sensitive) in `table` that has an
// operation.
const MethodEntry* findMethod(std::span<const MethodEntry> table, std::string_view name);

inline constexpr std::string_view kUnsupportedMethodPrefix =
    "Unsupported macOS computer-use helper method: ";
inline constexpr std::string_view kLeaseActiveMessage =
    "A macOS foreground guard lease is already active; end it before another native request";

}  // namespace cuh
