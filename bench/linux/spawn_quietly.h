// Starting the test desktop's applications from a benchmark: the program
// found on PATH, its output thrown away so that the benchmark's report
// stays readable.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/types.h>

#include <string>
#include <vector>

extern char** environ;

namespace cuh::bench {

// Starts `argv` (argv[0] looked up on PATH) with standard output and error
// on /dev/null and, when `inputFd` is given, that descriptor as standard
// input. Its pid; -1 when it could not be started.
inline pid_t spawnQuietly(std::vector<std::string> argv, int inputFd = -1) {
  std::vector<char*> args;
  for (std::string& a : argv)
    args.push_back(a.data());
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (inputFd >= 0)
    posix_spawn_file_actions_adddup2(&actions, inputFd, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) != 0)
    pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

}  // namespace cuh::bench
