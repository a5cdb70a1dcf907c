// The frame reader of window-server rows.
#include "platform/window_rows.h"

#include <string>

#include <gtest/gtest.h>

namespace cuh::platform {
namespace {

TEST(WindowRowFrame, NeedsFourNumbers) {
    auto row = [](Value boundsEntry) {
    return Value(Dictionary{{std::string(kRowBounds), boundsEntry}});
  };
  auto dictionary = [](Value height) {
    return Value(Dictionary{{"X", Value::integer(10)},
                                      {"Y", Value::floating(20.5)},
                                      {"Width", Value::integer(300)},
                                      {"Height", height}});
  };
  std::optional<Rect> rect = rowBounds(row(dictionary(Value::integer(200))));
  ASSERT_TRUE(rect);
  EXPECT_DOUBLE_EQ(rect->origin.x, 10);
  EXPECT_DOUBLE_EQ(rect->origin.y, 20.5);
  EXPECT_DOUBLE_EQ(rect->size.width, 300);
  EXPECT_DOUBLE_EQ(rect->size.height, 200);
  EXPECT_FALSE(rowBounds(row(dictionary(Value::string("200")))));
  EXPECT_FALSE(rowBounds(row(Value::string("not a dictionary"))));
  EXPECT_FALSE(rowBounds(Value(Dictionary{})));
}

}  // namespace
}  // namespace cuh::platform
