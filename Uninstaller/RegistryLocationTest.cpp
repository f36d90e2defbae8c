#include "RegistryLocation.h"

#include <gtest/gtest.h>

namespace {

TEST(RegistryLocationTest, SplitsRootKeyAndValueName) {
  RegistryLocation where;
  ASSERT_TRUE(RegistryLocation::ParseValue("HKCU\\Software\\Demo\\Path", &where));
  EXPECT_EQ(where.root, 0x80000001u);
  EXPECT_STREQ(where.key.CStr(), "Software\\Demo");
  EXPECT_STREQ(where.valueName.CStr(), "Path");
  ASSERT_TRUE(RegistryLocation::ParseValue("HKLM\\Software\\Demo\\", &where));
  EXPECT_EQ(where.root, 0x80000002u);
  EXPECT_STREQ(where.key.CStr(), "Software\\Demo");
  EXPECT_TRUE(where.valueName.Empty()) << "the default value";
  ASSERT_TRUE(RegistryLocation::ParseKey("HKCR\\CLSID\\{x}", &where));
  EXPECT_EQ(where.root, 0x80000000u);
  EXPECT_STREQ(where.key.CStr(), "CLSID\\{x}");
  ASSERT_TRUE(RegistryLocation::ParseKey("HKCC\\System", &where));
  EXPECT_EQ(where.root, 0x80000005u);
}

TEST(RegistryLocationTest, RefusesUnknownRootsAndRootsThemselves) {
  RegistryLocation where;
  EXPECT_FALSE(RegistryLocation::ParseKey("???\\Software\\Demo", &where));
  EXPECT_FALSE(RegistryLocation::ParseKey("hklm\\Software", &where));
  EXPECT_FALSE(RegistryLocation::ParseKey("HKU\\.DEFAULT", &where));
  EXPECT_FALSE(RegistryLocation::ParseKey("HKLM\\", &where));
  EXPECT_FALSE(RegistryLocation::ParseKey("HKLM", &where));
  EXPECT_FALSE(RegistryLocation::ParseValue("HKCU\\Name", &where)) << "a value needs a key";
  EXPECT_FALSE(RegistryLocation::ParseValue("HKCU\\\\Name", &where));
}

}  // namespace
