#include "platform/linux/app_launcher.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace cuh::linux_desktop {

namespace {

// Reads exactly `size` bytes unless the other end closes first; the count.
size_t readAll(int fd, void* buffer, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::read(fd, static_cast<char*>(buffer) + done, size - done);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      break;
    done += static_cast<size_t>(n);
  }
  return done;
}

}  // namespace

Started startDetached(const std::string& program, const std::vector<std::string>& arguments) {
  // Everything the children use is built before forking: after fork only
  // async-signal-safe calls run (the helper has other threads).
  std::vector<char*> argv;
  for (const std::string& argument : arguments)
    argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  int pidPipe[2];   // the grandchild's pid, from the middle child
  int execPipe[2];  // the grandchild's exec errno; closed by a successful exec
  if (::pipe2(pidPipe, O_CLOEXEC) != 0)
    return {-1, errno};
  if (::pipe2(execPipe, O_CLOEXEC) != 0) {
    int error = errno;
    ::close(pidPipe[0]);
    ::close(pidPipe[1]);
    return {-1, error};
  }
  pid_t middle = ::fork();
  if (middle == 0) {
    pid_t grandchild = ::fork();
    if (grandchild == 0) {
      sigset_t none;
      sigemptyset(&none);
      ::sigprocmask(SIG_SETMASK, &none, nullptr);
      ::setsid();
      int null = ::open("/dev/null", O_RDWR);
      if (null >= 0) {
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(null, 2);
      }
      ::execv(program.c_str(), argv.data());
      int error = errno;
      [[maybe_unused]] ssize_t written = ::write(execPipe[1], &error, sizeof error);
      ::_exit(127);
    }
    [[maybe_unused]] ssize_t written = ::write(pidPipe[1], &grandchild, sizeof grandchild);
    ::_exit(0);
  }
  ::close(pidPipe[1]);
  ::close(execPipe[1]);
  Started started;
  if (middle < 0) {
    started.error = errno;
  } else {
    int status = 0;
    while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    pid_t grandchild = -1;
    if (readAll(pidPipe[0], &grandchild, sizeof grandchild) != sizeof grandchild ||
        grandchild <= 0) {
      started.error = EAGAIN;
    } else {
      int error = 0;
      if (readAll(execPipe[0], &error, sizeof error) == sizeof error)
        started.error = error;
      else
        started.pid = grandchild;
    }
  }
  ::close(pidPipe[0]);
  ::close(execPipe[0]);
  return started;
}

}  // namespace cuh::linux_desktop
