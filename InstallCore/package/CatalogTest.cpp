#include "Catalog.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

namespace {
// Records with the offset field numbering them.
std::string Encode(const std::vector<std::string>& names) {
  std::string out;
  for (size_t i = 0; i < names.size(); ++i) {
    out += {char(names[i].size()), char(names[i].size() >> 8)};
    out += names[i];
    for (uint32_t field : {uint32_t(i), 0u, 0u, 0u, 0u, 0u})
      for (int shift = 0; shift < 32; shift += 8) out.push_back(char(field >> shift));
  }
  return out;
}

bool Load(Catalog& catalog, const std::string& stream, uint32_t count) {
  return catalog.Load(reinterpret_cast<const uint8_t*>(stream.data()), uint32_t(stream.size()), count);
}
}  // namespace

TEST(Catalog, SortAndSearchAgreeOnEveryName) {
  // Bytes above 0x7F make the order's signedness matter; a long presorted run is where a
  // naive quicksort recurses deepest.
  std::mt19937 random(7);
  std::set<std::string> unique;
  while (unique.size() < 2000) {
    std::string name;
    for (int k = 1 + int(random() % 6); k > 0; --k) name.push_back("ab\\\x80\xFF"[random() % 5]);
    unique.insert(name);
  }
  std::vector<std::string> names(unique.begin(), unique.end());
  for (int i = 0; i < 100000; ++i) names.push_back("run" + std::to_string(1000000 + i));
  names.push_back("");
  names.push_back(std::string("~\0solid0", 8));
  Catalog catalog;
  ASSERT_TRUE(Load(catalog, Encode(names), uint32_t(names.size())));
  ASSERT_EQ(catalog.Count(), names.size());
  for (uint32_t i = 0; i + 1 < names.size(); ++i) {
    const CatalogEntry* entry = catalog.Find(names[i].c_str());
    ASSERT_EQ(entry, catalog.At(i)) << i;
    ASSERT_EQ(std::string(entry->name, entry->nameLength), names[i]);
  }
  EXPECT_EQ(catalog.Find("~")->offset, names.size() - 1) << "a name ends at its first zero byte";
  EXPECT_EQ(catalog.Find("~ solid0"), nullptr);
  EXPECT_EQ(catalog.Find("ab\x01"), nullptr);
  EXPECT_EQ(catalog.Find("run0"), nullptr);
  EXPECT_EQ(catalog.At(uint32_t(names.size())), nullptr);
}

TEST(Catalog, RefusesRecordsThatDoNotFitTheirStream) {
  std::string stream = Encode({"ProductName", "flags"});
  Catalog catalog;
  for (size_t length = 0; length < stream.size(); ++length) {
    ASSERT_TRUE(Load(catalog, stream, 2));
    EXPECT_FALSE(Load(catalog, stream.substr(0, length), 2)) << length;
    EXPECT_EQ(catalog.Count(), 0u);
    EXPECT_EQ(catalog.Find("ProductName"), nullptr);
  }
  EXPECT_FALSE(Load(catalog, stream, 3));
  EXPECT_FALSE(Load(catalog, stream, 0xFFFFFFFFu));
  std::string negative = stream;
  negative[1] = char(0x80);
  EXPECT_FALSE(Load(catalog, negative, 2));
  EXPECT_TRUE(Load(catalog, "", 0));
  EXPECT_EQ(catalog.Count(), 0u);
}
