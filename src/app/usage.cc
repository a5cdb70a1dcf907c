#include "app/usage.h"

namespace cuh {

std::string usageText() {
  return R"(Usage: computer-use-helper --parent-pid PID [--scene FILE] [--trace FILE]
       computer-use-helper --help | --version

Observes and operates the windows of other applications for an agent
application, without bringing them to the front. Reads one JSON request per
line on standard input and writes one JSON response per line on standard
output, e.g.
  {"id":1,"method":"list_windows"}
until standard input ends, process PID is gone, a "close" request arrives, or
on SIGTERM, SIGINT or SIGHUP.

Options:
  --parent-pid PID  end when process PID no longer exists (absent, 0 or
                    negative: no watch)
  --scene FILE      serve the simulated desktop described by FILE; an invalid
                    scene ends the helper with status 2 and one line on
                    standard error. Without it, where no real desktop backend
                    exists, the built-in demo desktop is served
  --trace FILE      append one JSON line per posted event, accessibility
                    change or launch to FILE (simulated desktop)
  --help            print this text and exit (first argument only)
  --version         print the version and exit (first argument only)

Methods: ping, accessibility_status, close, release, begin_guard, end_guard,
list_windows, list_apps, launch_app, accessibility_tree, resolve_element,
element_action, window_info, app_icon, click, drag, key, scroll.
Every method, parameter, result and error: protocol.md in the documentation
(docs/ in the source tree, share/doc/computer-use-helper/ where installed);
a JSON Schema of the protocol: schema/protocol.schema.json beside it.
)";
}

std::string versionText(std::string_view version) {
  return "computer-use-helper " + std::string(version) + "\n";
}

}  // namespace cuh
