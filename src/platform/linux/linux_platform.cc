#include "platform/linux/linux_platform.h"

#include <X11/Xlib.h>

#include <cerrno>
#include <cstring>

#include "platform/linux/desktop_session.h"
#include "platform/linux/linux_accessibility.h"
#include "platform/linux/linux_window_server.h"
#include "platform/linux/linux_workspace.h"
#include "platform/linux/x_background_input.h"
#include "platform/linux/x_foreground_protection.h"
#include "platform/sim/clock.h"
#include "platform/sim/event_loop.h"
#include "platform/sim/sim_application.h"
#include "platform/sim/sim_process.h"

namespace cuh::linux_desktop {

namespace {

// The portable application object, which also tells its delegate when the
// desktop went away.
class LinuxApplication final : public platform::Application {
 public:
  explicit LinuxApplication(sim::EventLoop& loop) : application_(loop) {}
  void setActivationPolicy(platform::ActivationPolicy policy) override {
    application_.setActivationPolicy(policy);
  }
  void setDelegate(platform::ApplicationDelegate* delegate) override {
    delegate_ = delegate;
    application_.setDelegate(delegate);
  }
  int run() override { return application_.run(); }
  [[noreturn]] void terminate() override { application_.terminate(); }
  void desktopDisconnected() {
    if (delegate_)
      delegate_->desktopDidDisconnect();
  }

 private:
  sim::SimApplication application_;
  platform::ApplicationDelegate* delegate_ = nullptr;
};

class LinuxPlatform final : public platform::Platform {
 public:
  explicit LinuxPlatform(std::unique_ptr<DesktopSession> session)
      : session_(std::move(session)),
        loop_(clock_),
        application_(loop_),
        process_(clock_),
        windowServer_(*session_),
        workspace_(*session_, loop_),
        accessibility_(*session_),
        protection_(*this, session_->x(), session_->trace(), [this] { readPendingEvents(); }),
        input_(session_->x(),
               loop_,
               session_->trace(),
               [this](int32_t pid, uint32_t windowID, platform::Point point) {
                 return accessibility_.onClientSideFrame(pid, windowID, static_cast<float>(point.x),
                                                         static_cast<float>(point.y));
               }) {
    XConnection& x = session_->x();
    activeWindowAtom_ = x.atom("_NET_ACTIVE_WINDOW");
    // Changes of the active window reach the launch's give-back and the
    // foreground protection at once; popups mapping reach the protection.
    XSelectInput(x.display(), x.root(), PropertyChangeMask | SubstructureNotifyMask);
    XFlush(x.display());
    xWatch_ = loop_.watchDescriptor(x.fileDescriptor(), [this] { serveX(); });
    if (BusConnection* bus = session_->bus()) {
      busWatch_ = loop_.watchDescriptor(bus->fileDescriptor(), [this] {
        if (!session_->bus()->processPending())
          busWatch_.reset();  // the bus went away: calls fail from now on
      });
    }
  }

  ~LinuxPlatform() override {
    xWatch_.reset();
    busWatch_.reset();
  }

  platform::Accessibility& accessibility() override { return accessibility_; }
  platform::WindowServer& windowServer() override { return windowServer_; }
  platform::Workspace& workspace() override { return workspace_; }
  platform::ForegroundProtection& foregroundProtection() override { return protection_; }
  platform::BackgroundInput& backgroundInput() override { return input_; }
  platform::ProcessServices& process() override { return process_; }
  platform::MainLoop& mainLoop() override { return loop_; }
  platform::Application& application() override { return application_; }
  // What one request read of the desktop is kept until it ends, and never
  // seen by the next.
  void requestStarted() override {
    // What the X server sent before the request (raw input, the active
    // window changing) is seen before the request looks.
    readPendingEvents();
    session_->beginRequest();
    accessibility_.forgetRequest();
  }
  void requestEnded() override {
    session_->endRequest();
    accessibility_.forgetRequest();
    // The loop waits on the descriptor next: nothing may wait in the queue.
    readPendingEvents();
  }

  sim::Trace& trace() { return session_->trace(); }

 private:
  // Events already read into Xlib's queue by some round trip make the
  // descriptor look idle: whoever needs them current asks here.
  void readPendingEvents() {
    if (xWatch_)
      serveX();
  }

  // The X connection has something: events to drain, or its end.
  void serveX() {
    XConnection& x = session_->x();
    bool activeChanged = false;
    bool windowsChanged = false;
    while (!x.lost() && XPending(x.display()) > 0) {
      XEvent event;
      XNextEvent(x.display(), &event);
      if (event.type == MappingNotify) {
        // The keyboard was remapped: keycodes and modifiers are read anew.
        XRefreshKeyboardMapping(&event.xmapping);
        input_.keyboard().refresh();
      }
      protection_.handleEvent(event);
      if (event.type == PropertyNotify && event.xproperty.window == x.root() &&
          event.xproperty.atom == activeWindowAtom_)
        activeChanged = true;
      windowsChanged = windowsChanged || changesWindows(event);
    }
    if (x.lost()) {
      // The server went away: no more waiting on it; end as at the end of
      // input, once.
      xWatch_.reset();
      application_.desktopDisconnected();
      return;
    }
    // What a request read of the windows holds only while they stay as
    // they were: a window moved, resized, mapped or restacked during a
    // wait is read again.
    if (activeChanged || windowsChanged)
      session_->invalidateWindows();
    if (activeChanged) {
      workspace_.activeWindowChanged();
      protection_.activeWindowChanged();
    }
  }

  // A change of the root's children (the window manager's frames, popups)
  // or of the root's window properties.
  bool changesWindows(const XEvent& event) {
    XConnection& x = session_->x();
    switch (event.type) {
      case ConfigureNotify:
      case MapNotify:
      case UnmapNotify:
      case DestroyNotify:
      case ReparentNotify:
        return event.xany.window == x.root();
      case PropertyNotify:
        return event.xproperty.window == x.root() && event.xproperty.atom != activeWindowAtom_;
      default:
        return false;
    }
  }

  std::unique_ptr<DesktopSession> session_;
  sim::RealClock clock_;
  sim::EventLoop loop_;
  LinuxApplication application_;
  sim::SimProcess process_;
  LinuxWindowServer windowServer_;
  LinuxWorkspace workspace_;
  LinuxAccessibility accessibility_;
  XForegroundProtection protection_;
  XBackgroundInput input_;
  Atom activeWindowAtom_ = 0;
  sim::EventLoop::DescriptorWatch xWatch_;
  sim::EventLoop::DescriptorWatch busWatch_;
};

}  // namespace

std::unique_ptr<platform::Platform> createLinuxPlatform(const platform::PlatformOptions& options,
                                                        std::string* error) {
  auto session = DesktopSession::open(nullptr, error);
  if (!session)
    return nullptr;
  if (options.tracePath && !session->trace().open(*options.tracePath)) {
    if (error) {
      *error = "computer-use-helper: cannot open the trace file " + *options.tracePath + ": " +
               std::strerror(errno);
    }
    return nullptr;
  }
  session->trace().keepLines(false);
  return std::make_unique<LinuxPlatform>(std::move(session));
}

}  // namespace cuh::linux_desktop
