#include "app/dispatcher.h"

#include <array>
#include <exception>

#include "accessibility/accessibility_tree.h"
#include "accessibility/element_action.h"
#include "accessibility/resolve_element_request.h"
#include "app/helper_delegate.h"
#include "input/click.h"
#include "input/drag.h"
#include "input/key.h"
#include "input/scroll.h"
#include "protocol/helper_failure.h"
#include "protocol/params.h"
#include "protocol/request_reader.h"
#include "windows/app_icon.h"
#include "windows/applications.h"
#include "windows/window_info.h"
#include "windows/window_list.h"

namespace cuh {

namespace {

// "accessibility_status": asks with the prompt option only when "prompt" is
// a number (or boolean) whose value is true.
Json accessibilityStatus(MethodContext& context) {
  std::optional<double> prompt = optionalNumber(context.params, "prompt");
  auto& accessibility = context.platform.accessibility();
  bool trusted = prompt && *prompt != 0 ? accessibility.isProcessTrustedWithOptions(true)
                                        : accessibility.isProcessTrusted();
  return Json{{"trusted", trusted}};
}

// The real foreground guard. The stand-in guards that exercise the request
// loop alone have none; methods that need one then fail instead of crashing.
ForegroundGuard& foregroundGuard(MethodContext& context) {
  if (ForegroundGuard* guard = context.guard.foregroundGuard())
    return *guard;
  throw HelperFailure("macOS foreground protection is not available");
}

Json release(MethodContext& context) {
  context.guard.clearGuardLease();
  context.delegate.releaseControllers();
  return Json{{"released", true}};
}

Json close(MethodContext& context) {
  context.guard.clearGuardLease();
  context.delegate.releaseControllers();
  return Json{{"closed", true}};
}

// What each method reads up front (see MethodEntry::parameters).
using K = ParamKind;
constexpr ParamSpec kPromptParams[] = {{"prompt", K::optionalNumber}};
constexpr ParamSpec kObservedWindowParams[] = {{"pid", K::pid},
                                               {"windowId", K::windowId},
                                               {"width", K::number},
                                               {"height", K::number}};
constexpr ParamSpec kTokenParams[] = {{"token", K::string}};
constexpr ParamSpec kLaunchParams[] = {{"app", K::string}};
constexpr ParamSpec kResolveParams[] = {{"pid", K::pid},
                                        {"windowId", K::windowId},
                                        {"width", K::number},
                                        {"height", K::number},
                                        {"element", K::dictionary}};
constexpr ParamSpec kElementActionParams[] = {{"pid", K::pid},
                                              {"windowId", K::windowId},
                                              {"width", K::number},
                                              {"height", K::number},
                                              {"operation", K::string}};
constexpr ParamSpec kWindowInfoParams[] = {{"windowId", K::windowId}, {"ownerPid", K::optionalInt}};
constexpr ParamSpec kAppIconParams[] = {{"path", K::string}, {"pixels", K::optionalNumber}};
constexpr ParamSpec kClickParams[] = {{"pid", K::pid},       {"windowId", K::windowId},
                                      {"x", K::number},      {"y", K::number},
                                      {"width", K::number},  {"height", K::number},
                                      {"button", K::string}, {"clickCount", K::integer}};
constexpr ParamSpec kDragParams[] = {
    {"pid", K::pid},    {"windowId", K::windowId}, {"fromX", K::number}, {"fromY", K::number},
    {"toX", K::number}, {"toY", K::number},        {"width", K::number}, {"height", K::number}};
// dx and dy also have a wheel range, checked by the method.
constexpr ParamSpec kScrollParams[] = {
    {"pid", K::pid},    {"windowId", K::windowId}, {"x", K::number},     {"y", K::number},
    {"dx", K::integer}, {"dy", K::integer},        {"width", K::number}, {"height", K::number}};
constexpr ParamSpec kKeyParams[] = {
    {"pid", K::pid},        {"windowId", K::windowId}, {"x", K::number},
    {"y", K::number},       {"width", K::number},      {"height", K::number},
    {"keyName", K::string}, {"keyCode", K::integer},   {"flags", K::integer}};

constexpr std::array kMethods = {
    MethodEntry{"ping", Completion::finish, "",
                [](MethodContext&) {
                  return Json{{"ready", true}};
                }},
    MethodEntry{"accessibility_status", Completion::finish, "", accessibilityStatus, kPromptParams},
    MethodEntry{"close", Completion::terminate, "", close},
    MethodEntry{"release", Completion::finish, "", release},
    MethodEntry{"begin_guard", Completion::directOnSuccess, "",
                [](MethodContext& c) { return foregroundGuard(c).beginGuard(c.params); },
                kObservedWindowParams},
    MethodEntry{"end_guard", Completion::direct, "",
                [](MethodContext& c) { return foregroundGuard(c).endGuard(c.params); },
                kTokenParams},
    MethodEntry{"list_windows", Completion::finish, "windows",
                [](MethodContext& c) { return listWindows(c.platform); }},
    MethodEntry{"list_apps", Completion::finish, "apps",
                [](MethodContext& c) { return listApplications(c.platform); }},
    MethodEntry{"launch_app", Completion::asynchronous, "",
                [](MethodContext& c) {
                  startLaunchApplication(c.platform, c.params, *c.reply);
                  return Json();
                },
                kLaunchParams},
    MethodEntry{"accessibility_tree", Completion::finish, "elements",
                [](MethodContext& c) { return accessibilityTree(c.platform, c.params); },
                kObservedWindowParams},
    MethodEntry{"resolve_element", Completion::finish, "",
                [](MethodContext& c) { return resolveElementRequest(c.platform, c.params); },
                kResolveParams},
    MethodEntry{"element_action", Completion::finish, "",
                [](MethodContext& c) {
                  return performElementAction(c.platform, foregroundGuard(c), c.params);
                },
                kElementActionParams},
    MethodEntry{"window_info", Completion::finish, "",
                [](MethodContext& c) { return windowInfo(c.platform, c.params); },
                kWindowInfoParams},
    MethodEntry{"app_icon", Completion::finish, "",
                [](MethodContext& c) { return appIcon(c.platform, c.params); }, kAppIconParams},
    MethodEntry{"click", Completion::asynchronous, "",
                [](MethodContext& c) {
                  startClick(c.platform, foregroundGuard(c), c.params, *c.reply);
                  return Json();
                },
                kClickParams},
    MethodEntry{"drag", Completion::asynchronous, "",
                [](MethodContext& c) {
                  startDrag(c.platform, foregroundGuard(c), c.params, *c.reply);
                  return Json();
                },
                kDragParams},
    MethodEntry{"key", Completion::asynchronous, "",
                [](MethodContext& c) {
                  startKey(c.platform, foregroundGuard(c), c.params, *c.reply);
                  return Json();
                },
                kKeyParams},
    MethodEntry{"scroll", Completion::asynchronous, "",
                [](MethodContext& c) {
                  startScroll(c.platform, foregroundGuard(c), c.params, *c.reply);
                  return Json();
                },
                kScrollParams},
};

// Methods served while a guard lease is held.
bool passesLeaseGate(std::string_view method) {
  return method == "end_guard" || method == "close" || method == "release";
}

// The outcome of running an operation: its value or its error text.
struct Outcome {
  std::optional<Json> result;
  std::optional<std::string> error;
};

Outcome runOperation(const MethodEntry& entry, MethodContext& context) {
  try {
    Json value = entry.run(context);
    if (!entry.resultKey.empty())
      value = Json{{std::string(entry.resultKey), std::move(value)}};
    return {std::move(value), std::nullopt};
  } catch (const HelperFailure& failure) {
    return {std::nullopt, failure.message()};
  } catch (const std::exception& error) {
    // Platform errors carry their localised description as what().
    return {std::nullopt, std::string(error.what())};
  }
}

}  // namespace

std::span<const MethodEntry> methodTable() {
  return kMethods;
}

const MethodEntry* findMethod(std::span<const MethodEntry> table, std::string_view name) {
  for (const MethodEntry& entry : table) {
    if (entry.name == name)
      return entry.run ? &entry : nullptr;
  }
  return nullptr;
}

void HelperDelegate::enqueue(Json request) {
  queuedRequests_.push_back(std::move(request));
  runNextRequest();
}

void HelperDelegate::runNextRequest() {
  // A completion inside the loop below (finish, a direct answer) lands here
  // and returns; the loop then takes the next request itself.
  if (dispatching_)
    return;
  dispatching_ = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{dispatching_};
  while (!requestInFlight_ && !queuedRequests_.empty()) {
    requestInFlight_ = true;
    Json object = std::move(queuedRequests_.front());
    queuedRequests_.pop_front();
    dispatch(std::move(object));
  }
  terminateWhenIdle();
}

void HelperDelegate::dispatch(Json object) {
  Request request = readRequest(std::move(object));
  // Every path below ends the request exactly once, through finish,
  // answerDirectly or the terminate case.
  platform_.requestStarted();

  guard_->expireLease();
  if (guard_->hasLease() && !passesLeaseGate(request.method)) {
    answerDirectly(request.id, nullptr, std::string(kLeaseActiveMessage));
    return;
  }

  const MethodEntry* entry = findMethod(methods_, request.method);
  if (!entry) {
    finish(request.id, std::nullopt, std::string(kUnsupportedMethodPrefix) + request.method);
    return;
  }

  MethodContext context{platform_,      *this,        *guard_,       request.id,
                        request.params, std::nullopt, request.method};
  if (entry->completion == Completion::asynchronous)
    context.reply.emplace(weak_from_this(), request.id);
  Outcome outcome = runOperation(*entry, context);
  switch (entry->completion) {
    case Completion::finish:
      finish(request.id, std::move(outcome.result), std::move(outcome.error));
      return;
    case Completion::direct:
      answerDirectly(request.id, outcome.result ? &*outcome.result : nullptr, outcome.error);
      return;
    case Completion::directOnSuccess:
      if (outcome.error) {
        finish(request.id, std::nullopt, std::move(outcome.error));
      } else {
        answerDirectly(request.id, &*outcome.result, std::nullopt);
      }
      return;
    case Completion::asynchronous:
      // On success the operation answers through the reply itself.
      if (outcome.error)
        context.reply->fail(std::move(*outcome.error));
      return;
    case Completion::terminate:
      // The request stays in flight: nothing queued behind it is answered.
      platform_.requestEnded();
      writeResponse(request.id, outcome.result ? &*outcome.result : nullptr, outcome.error);
      platform_.application().terminate();
      return;
  }
}

void HelperDelegate::finish(std::optional<int64_t> id,
                            std::optional<Json> result,
                            std::optional<std::string> error) {
  try {
    guard_->restoreAfterRequest();
  } catch (const std::exception&) {
    // The response still goes out and the queue goes on.
  }
  platform_.requestEnded();
  writeResponse(id, result ? &*result : nullptr, error);
  requestInFlight_ = false;
  runNextRequest();
}

void HelperDelegate::answerDirectly(std::optional<int64_t> id,
                                    const Json* result,
                                    const std::optional<std::string>& error) {
  platform_.requestEnded();
  writeResponse(id, result, error);
  requestInFlight_ = false;
  runNextRequest();
}

void HelperDelegate::writeResponse(std::optional<int64_t> id,
                                   const Json* result,
                                   const std::optional<std::string>& error) {
  writer_.writeResponse(id, result, error);
}

}  // namespace cuh
