// computer-use-helper-render SCENE [TRACE] -o OUT.svg: draws a scene's
// windows in stacking order, the frontmost marked, and every event the
// trace says the helper posted, numbered, as an SVG picture.
#include <cstdio>
#include <fstream>
#include <span>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/sim/scene_loader.h"
#include "render/picture.h"
#include "render/svg.h"

namespace {

constexpr const char* kUsage =
    "Usage: computer-use-helper-render SCENE [TRACE] -o OUT.svg\n"
    "       computer-use-helper-render --help | --version\n"
    "\n"
    "Draws the simulated desktop of SCENE (a scene file of computer-use-helper\n"
    "--scene): its windows in stacking order with their titles, the frontmost\n"
    "window marked. With TRACE (a file written by --trace), every event the\n"
    "helper posted is drawn as a numbered marker: clicks at their point, drags\n"
    "as arrows, keys and scrolls by the window they went to; a legend lists\n"
    "them in order. OUT.svg \"-\" writes to standard output.\n";

// A failure: one line on standard error, exit status 2.
struct Failure {
  std::string message;
};

struct Arguments {
  std::string scene;
  std::string trace;
  std::string output;
};

Arguments parseArguments(std::span<char* const> argv) {
  Arguments arguments;
  std::vector<std::string> positional;
  for (size_t i = 1; i < argv.size(); ++i) {
    std::string_view argument = argv[i];
    if (argument == "-o") {
      if (i + 1 >= argv.size())
        throw Failure{"-o needs a file name"};
      arguments.output = argv[++i];
    } else if (argument.size() > 1 && argument[0] == '-') {
      throw Failure{"unknown option " + std::string(argument) + " (see --help)"};
    } else {
      positional.emplace_back(argument);
    }
  }
  if (positional.empty() || positional.size() > 2 || arguments.output.empty())
    throw Failure{"expected SCENE [TRACE] -o OUT.svg (see --help)"};
  arguments.scene = positional[0];
  if (positional.size() == 2)
    arguments.trace = positional[1];
  return arguments;
}

std::string readFile(const std::string& path, const std::string& what) {
  std::ifstream file(path, std::ios::binary);
  if (!file)
    throw Failure{what + " " + path + ": cannot be read"};
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

cuh::sim::World loadWorld(const std::string& path) {
  nlohmann::json scene = nlohmann::json::parse(readFile(path, "scene"), nullptr, false);
  if (scene.is_discarded())
    throw Failure{"scene " + path + ": $: not valid JSON"};
  try {
    return cuh::sim::loadScene(scene).world;
  } catch (const cuh::sim::SceneError& e) {
    throw Failure{"scene " + path + ": " + e.what()};
  }
}

std::vector<nlohmann::json> readTrace(const std::string& path) {
  std::vector<nlohmann::json> lines;
  if (path.empty())
    return lines;
  std::istringstream text(readFile(path, "trace"));
  int number = 0;
  for (std::string line; std::getline(text, line);) {
    ++number;
    if (line.find_first_not_of(" \t\r") == std::string::npos)
      continue;
    nlohmann::json entry = nlohmann::json::parse(line, nullptr, false);
    if (!entry.is_object())
      throw Failure{"trace " + path + ": line " + std::to_string(number) + ": not a JSON object"};
    lines.push_back(std::move(entry));
  }
  return lines;
}

void writeOutput(const std::string& path, const std::string& svg) {
  if (path == "-") {
    std::fwrite(svg.data(), 1, svg.size(), stdout);
    if (std::fflush(stdout) != 0)
      throw Failure{"cannot write to standard output"};
    return;
  }
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << svg;
  file.close();
  if (!file)
    throw Failure{"cannot write " + path};
}

}  // namespace

int main(int argc, char** argv) {
  std::span<char* const> args(argv, static_cast<size_t>(argc));
  if (args.size() >= 2 && std::string_view(args[1]) == "--help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (args.size() >= 2 && std::string_view(args[1]) == "--version") {
    std::printf("computer-use-helper-render %s\n", CUH_VERSION);
    return 0;
  }
  try {
    Arguments arguments = parseArguments(args);
    cuh::sim::World world = loadWorld(arguments.scene);
    cuh::render::Picture picture = cuh::render::buildPicture(world, readTrace(arguments.trace));
    writeOutput(arguments.output, cuh::render::svgDocument(picture));
    return 0;
  } catch (const Failure& failure) {
    std::fprintf(stderr, "computer-use-helper-render: %s\n", failure.message.c_str());
    return 2;
  }
}
