#include "platform/sim/sim_desktop.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/sim/scene_loader.h"
#include "platform/sim/sim_accessibility.h"
#include "platform/sim/sim_application.h"
#include "platform/sim/sim_context.h"
#include "platform/sim/sim_events.h"
#include "platform/sim/sim_process.h"
#include "platform/sim/sim_script.h"
#include "platform/sim/sim_trace.h"
#include "platform/sim/sim_values.h"
#include "platform/sim/sim_window_server.h"
#include "platform/sim/sim_workspace.h"

namespace cuh::sim {

namespace {

#include "demo_scene.inc"

// The real clocks, which a script may move forward ("advanceClock").
class ShiftableRealClock final : public Clock {
 public:
  double uptime() const override { return real_.uptime() + shift_.load(); }
  double wallTime() const override { return real_.wallTime() + shift_.load(); }
  bool isVirtual() const override { return false; }
  void shift(double seconds) { shift_.store(shift_.load() + seconds); }

 private:
  RealClock real_;
  std::atomic<double> shift_{0};
};

// The error line must stay one line whatever the file name holds.
std::string oneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r')
      c = ' ';
  }
  return text;
}

}  // namespace

struct SimDesktop::State {
  std::unique_ptr<Clock> clock;
  VirtualClock* virtualClock = nullptr;
  ShiftableRealClock* realClock = nullptr;
  std::unique_ptr<EventLoop> loop;
  Trace trace;
  std::unique_ptr<SimContext> context;
  std::unique_ptr<SimProcess> process;
  std::unique_ptr<SimAccessibility> accessibility;
  std::unique_ptr<SimWindowServer> windowServer;
  std::unique_ptr<SimWorkspace> workspace;
  std::unique_ptr<SimEvents> events;
  std::unique_ptr<SimApplication> application;
  std::unique_ptr<Script> script;
  // Built on the desktop and its events; goes first, tearing its taps down
  // while the events and the trace still exist.
  std::unique_ptr<quartz::Services> quartz;
};

// What a desktop was built from, kept for reset(): the scene as loaded,
// never handed to the services, and the options.
struct SimDesktop::Origin {
  World world;
  std::vector<ScriptRule> script;
  DesktopOptions options;
};

std::unique_ptr<SimDesktop> SimDesktop::create(const nlohmann::json& scene,
                                               DesktopOptions options) {
  LoadedScene loaded = loadScene(scene);
  auto origin = std::make_unique<Origin>(Origin{loaded.world.clone(), loaded.script, options});
  std::unique_ptr<SimDesktop> desktop(new SimDesktop(std::move(origin)));
  desktop->build(std::move(loaded.world), std::move(loaded.script));
  return desktop;
}

void SimDesktop::build(World world, std::vector<ScriptRule> rules) {
  const DesktopOptions& options = origin_->options;
  auto state = std::make_unique<State>();
  if (options.virtualClock) {
    auto clock = std::make_unique<VirtualClock>();
    state->virtualClock = clock.get();
    state->clock = std::move(clock);
  } else {
    auto clock = std::make_unique<ShiftableRealClock>();
    state->realClock = clock.get();
    state->clock = std::move(clock);
  }
  state->trace.keepLines(options.keepTrace);
  if (options.tracePath && !state->trace.open(*options.tracePath)) {
    throw SceneError("cannot open the trace file " + *options.tracePath + ": " +
                     std::strerror(errno));
  }
  state->loop = std::make_unique<EventLoop>(*state->clock);
  state->context = std::make_unique<SimContext>(
      SimContext{std::move(world), *state->clock, *state->loop, state->trace, {}, {}, {}, {}});
  SimContext& context = *state->context;
  state->process = std::make_unique<SimProcess>(*state->clock);
  SimProcess* process = state->process.get();
  context.helperPid = [process] { return process->currentPid(); };
  state->accessibility = std::make_unique<SimAccessibility>(context);
  state->windowServer = std::make_unique<SimWindowServer>(context);
  state->workspace = std::make_unique<SimWorkspace>(context);
  state->events =
      std::make_unique<SimEvents>(context, *state->accessibility, options.windowLocation);
  state->application = std::make_unique<SimApplication>(*state->loop);
  State* raw = state.get();
  state->script = std::make_unique<Script>(
      context, *state->accessibility, *state->workspace, *state->events,
      [raw](double seconds) {
        if (raw->virtualClock) {
          raw->virtualClock->advance(seconds);
        } else {
          raw->realClock->shift(seconds);
        }
      },
      std::move(rules));
  Script* script = state->script.get();
  context.afterSet = [script](const std::string& target, std::string_view attribute) {
    script->setDone(target, attribute);
  };
  context.afterAction = [script](const std::string& target, std::string_view action) {
    script->actionDone(target, action);
  };
  context.afterPost = [script](int32_t pid) { script->posted(pid); };
  state_ = std::move(state);
  state_->quartz = std::make_unique<quartz::Services>(*this, *state_->events);
}

void SimDesktop::reset() {
  // The old services go first, the Quartz library's taps before the events.
  state_.reset();
  build(origin_->world.clone(), origin_->script);
}

namespace {

// The Quartz library's state that outlives a request: its focus controllers
// (an armed lease among them) and the mouse-event counter.
nlohmann::json describeQuartz(quartz::Services& services) {
  nlohmann::json controllers = nlohmann::json::array();
  for (const auto& [pid, controller] : services.foregroundProtection().controllers()) {
    const quartz::FocusContext& context = controller->context();
    controllers.push_back({{"pid", pid},
                           {"protecting", context.protecting},
                           {"semanticGuardActive", context.semanticGuardActive},
                           {"userIntervened", context.userIntervened},
                           {"foreground", {context.foregroundPID, context.foregroundWindowID}},
                           {"expectedWindowID", context.expectedWindowID},
                           {"expectedStateMarker", context.expectedStateMarker},
                           {"sawSyntheticActivation", context.sawSyntheticActivation},
                           {"borrowed", controller->holdsBorrowedState()}});
  }
  return {{"controllers", std::move(controllers)},
          {"nextMouseEventNumber", services.mouseEventNumbers().next()}};
}

}  // namespace

nlohmann::json SimDesktop::describe() const {
  return {{"world", state_->context->world.describe()},
          {"uptime", state_->clock->uptime()},
          {"wallTime", state_->clock->wallTime()},
          {"trace", state_->trace.lines()},
          {"posted", state_->events->posted().size()},
          {"taps", state_->events->describeTaps()},
          {"script", state_->script->progress()},
          {"quartz", describeQuartz(*state_->quartz)},
          {"queuedWork", state_->loop->queuedWork()},
          {"terminated", state_->application->terminated()}};
}

std::unique_ptr<SimDesktop> SimDesktop::load(const std::string& path, DesktopOptions options) {
  std::string prefix = "computer-use-helper: scene " + path + ": ";
  std::ifstream file(path, std::ios::binary);
  if (!file)
    throw SceneError(oneLine(prefix + "cannot be read: " + std::strerror(errno)));
  std::ostringstream text;
  text << file.rdbuf();
  if (file.bad())
    throw SceneError(oneLine(prefix + "cannot be read"));
  nlohmann::json scene;
  try {
    scene = nlohmann::json::parse(text.str());
  } catch (const nlohmann::json::exception& e) {
    throw SceneError(oneLine(prefix + "$: not valid JSON: " + e.what()));
  }
  try {
    return create(scene, std::move(options));
  } catch (const SceneError& e) {
    throw SceneError(oneLine(prefix + e.what()));
  }
}

std::string_view SimDesktop::demoSceneText() {
  return kDemoSceneText;
}

SimDesktop::SimDesktop(std::unique_ptr<Origin> origin) : origin_(std::move(origin)) {}

SimDesktop::~SimDesktop() = default;

platform::Accessibility& SimDesktop::accessibility() {
  return *state_->accessibility;
}
platform::WindowServer& SimDesktop::windowServer() {
  return *state_->windowServer;
}
platform::Workspace& SimDesktop::workspace() {
  return *state_->workspace;
}
platform::ForegroundProtection& SimDesktop::foregroundProtection() {
  return state_->quartz->foregroundProtection();
}
platform::BackgroundInput& SimDesktop::backgroundInput() {
  return state_->quartz->backgroundInput();
}
platform::ProcessServices& SimDesktop::process() {
  return *state_->process;
}
platform::MainLoop& SimDesktop::mainLoop() {
  return *state_->loop;
}
platform::Application& SimDesktop::application() {
  return *state_->application;
}

void SimDesktop::willWriteResponse(uint64_t number) {
  if (state_->loop->onLoopThread()) {
    // The rules' actions apply, and the deliveries they post are queued,
    // before the line goes out, so before any request read after it.
    state_->script->writingResponse(number);
    return;
  }
  // From the reader thread (an invalid line). The desktop belongs to the main
  // thread, so the rules fire there; the fence keeps the requests the reader
  // hands over after this line behind them and the deliveries they post. A
  // rule due at an earlier line has fired, or waits behind that line's own
  // fence, so only a rule for exactly this line needs one.
  if (!state_->script->hasRuleAfterResponse(number))
    return;
  Script* script = state_->script.get();
  state_->loop->postFence([script, number] { script->writingResponse(number); });
}

quartz::Events& SimDesktop::events() {
  return *state_->events;
}

quartz::Services& SimDesktop::quartz() {
  return *state_->quartz;
}

EventLoop& SimDesktop::loop() {
  return *state_->loop;
}

Clock& SimDesktop::clock() {
  return *state_->clock;
}

VirtualClock* SimDesktop::virtualClock() {
  return state_->virtualClock;
}

void SimDesktop::apply(const nlohmann::json& action) {
  state_->script->apply(action);
}

const std::vector<nlohmann::json>& SimDesktop::traceLines() const {
  return state_->trace.lines();
}

std::vector<SimDesktop::PostedEvent> SimDesktop::postedEvents() const {
  std::vector<PostedEvent> out;
  for (const auto& [pid, event] : state_->events->posted())
    out.push_back({pid, event});
  return out;
}

std::vector<nlohmann::json> SimDesktop::traceLines(std::string_view kind) const {
  return state_->trace.lines(kind);
}

platform::AXElement SimDesktop::element(std::string_view target) const {
  if (target.rfind("app:", 0) == 0) {
    std::string digits(target.substr(4));
    size_t used = 0;
    try {
      int pid = std::stoi(digits, &used);
      if (used == digits.size())
        return state_->accessibility->createApplication(pid);
    } catch (const std::exception&) {
    }
    return {};
  }
  auto node = state_->context->world.findNode(target);
  return node ? state_->accessibility->elementFor(node) : platform::AXElement();
}

std::optional<nlohmann::json> SimDesktop::attribute(std::string_view target,
                                                    std::string_view attribute) const {
  platform::AXElement element = this->element(target);
  if (!element)
    return std::nullopt;
  auto result = state_->accessibility->read(element, attribute);
  if (!result.ok() || !result.value)
    return std::nullopt;
  SimAccessibility* accessibility = state_->accessibility.get();
  return traceValue(*result.value, [accessibility](const platform::AXElement& e) {
    return accessibility->nameOf(e);
  });
}

std::string SimDesktop::targetName(const platform::AXElement& element) const {
  return state_->accessibility->nameOf(element);
}

std::optional<int32_t> SimDesktop::frontmostPid() const {
  return state_->context->world.frontmostPid();
}

void SimDesktop::setProcessAlive(int32_t pid, bool alive) {
  state_->process->setProcessAlive(pid, alive);
}

std::unique_ptr<platform::Platform> createSimulatedPlatform(
    const platform::PlatformOptions& options,
    std::string* error) {
  DesktopOptions desktopOptions;
  desktopOptions.virtualClock = false;
  desktopOptions.tracePath = options.tracePath;
  desktopOptions.keepTrace = false;
  try {
    if (options.scenePath)
      return SimDesktop::load(*options.scenePath, desktopOptions);
    return SimDesktop::create(nlohmann::json::parse(SimDesktop::demoSceneText()), desktopOptions);
  } catch (const SceneError& e) {
    if (error) {
      std::string text = e.what();
      if (text.rfind("computer-use-helper: ", 0) != 0)
        text = "computer-use-helper: " + text;
      *error = oneLine(text);
    }
    return nullptr;
  } catch (const std::exception& e) {
    if (error)
      *error = oneLine(std::string("computer-use-helper: ") + e.what());
    return nullptr;
  }
}

}  // namespace cuh::sim
