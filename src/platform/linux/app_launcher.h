// Starting an application the way a desktop does, detached from the
// helper: the program runs in its own session, with standard input, output
// and error on /dev/null and the signal mask cleared, and is not the
// helper's child (so the helper never has to reap it).
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace cuh::linux_desktop {

struct Started {
  pid_t pid = -1;  // set when the program runs
  int error = 0;   // errno of the failure otherwise
};

// Runs `program` (a path) with `arguments` (argv[0] first).
Started startDetached(const std::string& program, const std::vector<std::string>& arguments);

}  // namespace cuh::linux_desktop
