// Timestamps of the events the helper sends to a window, in the X server's
// milliseconds. Toolkits compare them: a press within the double-click time
// of the last one counts as a second click, and an event stamped earlier
// than one already seen may be ignored. So every stamp is later than the
// one before, never CurrentTime (0), and separate click requests are kept
// apart by more than the double-click time.
#pragma once

#include <X11/X.h>

#include <cstdint>
#include <optional>

namespace cuh::linux_desktop {

// X times wrap after 2^32 ms (49.7 days): "later" is modular, as the server
// compares them.
bool isLaterStamp(Time a, Time b);

class EventStamps {
 public:
  explicit EventStamps(uint32_t doubleClickMs) : doubleClickMs_(doubleClickMs) {}

  // The stamp of an event sent now, `serverNow` being the server's current
  // time: that time, or one past the last stamp given when that is not
  // later.
  Time next(Time serverNow);

  // The first press of a click request: as next(), and also more than the
  // double-click time past the previous request's last press, so the two
  // requests never merge into a double click.
  Time firstPress(Time serverNow);

  // An event of the same request after its first press (a release, a
  // motion with the button held, the leave): one past the last stamp, not
  // the server's time, so that a request's presses stay within the
  // double-click time however long sending them takes.
  Time following();

  // A further press of the same request (clicks 2 and 3): as following().
  Time press();

 private:
  Time advanceTo(Time candidate);
  uint32_t doubleClickMs_;
  std::optional<Time> last_;
  std::optional<Time> lastPress_;
};

}  // namespace cuh::linux_desktop
