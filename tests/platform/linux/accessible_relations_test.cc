#include "platform/linux/accessible_relations.h"

#include <gtest/gtest.h>

#include <map>

namespace cuh::linux_desktop {
namespace {

AccessibleRef object(const std::string& path, const char* bus = ":1.7") {
  return {bus, path};
}

struct ParentCase {
  const char* what;
  std::map<std::string, AccessibleRef> parents;  // by path
  std::string start;
  std::optional<AccessibleRef> expected;
};

TEST(AccessibleRelationsTest, ToplevelUpTheParentsEndsOnCyclesAndBrokenChains) {
  const std::string root = kRootPath;
  std::map<std::string, AccessibleRef> deep{{"/o0", object(root)}};
  for (int i = 1; i <= kMaxParentSteps; ++i)
    deep["/o" + std::to_string(i)] = object("/o" + std::to_string(i - 1));
  const ParentCase cases[] = {
      {"a button in a panel in a frame",
       {{"/button", object("/panel")}, {"/panel", object("/frame")}, {"/frame", object(root)}},
       "/button",
       object("/frame")},
      {"the top-level itself", {{"/frame", object(root)}}, "/frame", object("/frame")},
      {"a cycle", {{"/a", object("/b")}, {"/b", object("/a")}}, "/a", std::nullopt},
      {"a parent that is itself", {{"/a", object("/a")}}, "/a", std::nullopt},
      {"a chain into another application",
       {{"/a", object("/b", ":1.9")}, {"/b", object(root)}},
       "/a",
       std::nullopt},
      {"a chain ending in the null object", {{"/a", object(kNullPath)}}, "/a", std::nullopt},
      {"an unreadable parent", {}, "/a", std::nullopt},
      {"a chain just within the bound", deep, "/o" + std::to_string(kMaxParentSteps - 1),
       object("/o0")},
      {"a chain beyond the bound", deep, "/o" + std::to_string(kMaxParentSteps), std::nullopt},
  };
  for (const ParentCase& c : cases) {
    int lookups = 0;
    auto parentOf = [&](const AccessibleRef& child) -> std::optional<AccessibleRef> {
      ++lookups;
      auto found = c.parents.find(child.path);
      if (found == c.parents.end())
        return std::nullopt;
      return found->second;
    };
    EXPECT_EQ(toplevelOf(object(c.start), parentOf), c.expected) << c.what;
    EXPECT_LE(lookups, kMaxParentSteps) << c.what;
  }
  EXPECT_EQ(toplevelOf(object(root), [](const AccessibleRef&) { return std::nullopt; }),
            std::nullopt);
}

}  // namespace
}  // namespace cuh::linux_desktop
