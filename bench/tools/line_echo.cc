// The floor for the round-trip benchmark: the least a line-protocol process
// can do. Reads lines from standard input and writes each back at once, with
// its line feed, in one write.
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

int main() {
  std::string pending;
  char buffer[65536];
  for (;;) {
    ssize_t got = read(0, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR)
      continue;
    if (got <= 0)
      return 0;
    pending.append(buffer, static_cast<size_t>(got));
    size_t start = 0;
    for (size_t end; (end = pending.find('\n', start)) != std::string::npos; start = end + 1) {
      const char* data = pending.data() + start;
      size_t left = end + 1 - start;
      while (left > 0) {
        ssize_t written = write(1, data, left);
        if (written < 0 && errno == EINTR)
          continue;
        if (written <= 0)
          return 0;
        data += written;
        left -= static_cast<size_t>(written);
      }
    }
    pending.erase(0, start);
  }
}
