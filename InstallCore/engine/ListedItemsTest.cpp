#include "ListedItems.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Listed(uint32_t count, uint32_t limit, const char* more = "and %s more") {
  List<Text> items;
  for (uint32_t i = 1; i <= count; ++i) {
    Text item("item ");
    item.AppendDecimal(i);
    items.Append(item);
  }
  Text text = ListedItems::Format(items, limit, more);
  return std::string(text.Data(), text.Length());
}

TEST(ListedItemsTest, AtMostTheLimitThenHowManyMore) {
  EXPECT_EQ(Listed(0, 2), "");
  EXPECT_EQ(Listed(2, 2), "\r\nitem 1\r\nitem 2");
  EXPECT_EQ(Listed(3, 2), "\r\nitem 1\r\nitem 2\r\nand 1 more");
  EXPECT_EQ(Listed(12, 10).substr(Listed(12, 10).rfind("\r\n")), "\r\nand 2 more");
}

TEST(ListedItemsTest, TheRestIsCountedInTheLinesOwnWords) {
  EXPECT_EQ(Listed(4, 1, "ほか %s 件"), "\r\nitem 1\r\nほか 3 件");
  EXPECT_EQ(Listed(13, 1, "%s+"), "\r\nitem 1\r\n12+");
  EXPECT_EQ(Listed(1, 1, "%s more"), "\r\nitem 1") << "nothing left to count";
}

}  // namespace
