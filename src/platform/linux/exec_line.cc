#include "platform/linux/exec_line.h"

#include <unistd.h>

#include <cstdlib>

namespace cuh::linux_desktop {

namespace {

// The escapes of a string value of a desktop file.
std::string unescapeValue(std::string_view value) {
  std::string out;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      out += value[i];
      continue;
    }
    char next = value[++i];
    switch (next) {
      case 's':
        out += ' ';
        break;
      case 'n':
        out += '\n';
        break;
      case 't':
        out += '\t';
        break;
      case 'r':
        out += '\r';
        break;
      case '\\':
        out += '\\';
        break;
      default:
        out += '\\';
        out += next;
    }
  }
  return out;
}

struct Word {
  std::string text;
  bool quoted = false;
};

// Splits at unquoted spaces; none when a quote is not closed.
std::optional<std::vector<Word>> splitWords(std::string_view line) {
  std::vector<Word> words;
  Word current;
  bool inWord = false;
  bool inQuotes = false;
  for (size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (inQuotes) {
      if (c == '"') {
        inQuotes = false;
      } else if (c == '\\' && i + 1 < line.size() &&
                 (line[i + 1] == '"' || line[i + 1] == '`' || line[i + 1] == '$' ||
                  line[i + 1] == '\\')) {
        current.text += line[++i];
      } else {
        current.text += c;
      }
      continue;
    }
    if (c == ' ' || c == '\t' || c == '\n') {
      if (inWord)
        words.push_back(std::move(current));
      current = Word{};
      inWord = false;
      continue;
    }
    inWord = true;
    if (c == '"') {
      inQuotes = true;
      current.quoted = true;
    } else {
      current.text += c;
    }
  }
  if (inQuotes)
    return std::nullopt;
  if (inWord)
    words.push_back(std::move(current));
  return words;
}

}  // namespace

std::optional<std::vector<std::string>> execArguments(const DesktopEntry& entry) {
  auto words = splitWords(unescapeValue(entry.exec));
  if (!words || words->empty())
    return std::nullopt;
  std::vector<std::string> arguments;
  for (const Word& word : *words) {
    // A word that is exactly one field code may expand to several
    // arguments, or none.
    if (!word.quoted && word.text.size() == 2 && word.text[0] == '%') {
      switch (word.text[1]) {
        case 'f':
        case 'F':
        case 'u':
        case 'U':
        case 'd':
        case 'D':
        case 'n':
        case 'N':
        case 'v':
        case 'm':
          continue;
        case 'i':
          if (!entry.icon.empty()) {
            arguments.push_back("--icon");
            arguments.push_back(entry.icon);
          }
          continue;
        default:
          break;
      }
    }
    std::string expanded;
    for (size_t i = 0; i < word.text.size(); ++i) {
      char c = word.text[i];
      if (c != '%') {
        expanded += c;
        continue;
      }
      if (i + 1 == word.text.size())
        return std::nullopt;
      char code = word.text[++i];
      switch (code) {
        case '%':
          expanded += '%';
          break;
        case 'c':
          expanded += entry.name;
          break;
        case 'k':
          expanded += entry.path;
          break;
        case 'f':
        case 'F':
        case 'u':
        case 'U':
        case 'i':
        case 'd':
        case 'D':
        case 'n':
        case 'N':
        case 'v':
        case 'm':
          break;
        default:
          return std::nullopt;
      }
    }
    arguments.push_back(std::move(expanded));
  }
  if (arguments.empty() || arguments[0].empty())
    return std::nullopt;
  return arguments;
}

std::optional<std::string> resolveProgram(std::string_view program) {
  if (program.empty())
    return std::nullopt;
  if (program.find('/') != std::string_view::npos) {
    std::string path(program);
    if (::access(path.c_str(), X_OK) == 0)
      return path;
    return std::nullopt;
  }
  const char* searchPath = std::getenv("PATH");
  std::string_view directories = searchPath ? searchPath : "/usr/local/bin:/usr/bin:/bin";
  while (true) {
    size_t colon = directories.find(':');
    std::string_view directory = directories.substr(0, colon);
    std::string candidate =
        std::string(directory.empty() ? "." : directory) + "/" + std::string(program);
    if (::access(candidate.c_str(), X_OK) == 0)
      return candidate;
    if (colon == std::string_view::npos)
      return std::nullopt;
    directories.remove_prefix(colon + 1);
  }
}

}  // namespace cuh::linux_desktop
