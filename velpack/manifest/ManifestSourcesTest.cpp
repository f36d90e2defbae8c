#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ManifestSources.h"
#include "ManifestTestTree.h"

namespace {

std::vector<std::string> Relative(const ManifestTestTree& tree, const std::string& source, bool* single = nullptr) {
  std::vector<ManifestSources::SourceFile> files;
  bool isSingle = false;
  std::string problem;
  EXPECT_TRUE(ManifestSources::Resolve(tree.root(), source, &files, &isSingle, &problem)) << source << ": " << problem;
  if (single) *single = isSingle;
  std::vector<std::string> names;
  for (const auto& file : files) names.push_back(file.relative);
  return names;
}

TEST(ManifestSources, MatchNameHandlesStarsQuestionMarksAndHiddenNames) {
  using ManifestSources::MatchName;
  EXPECT_TRUE(MatchName("*.txt", "a.txt"));
  EXPECT_TRUE(MatchName("*", "x"));
  EXPECT_TRUE(MatchName("a*b*c", "aXbYbZc"));
  EXPECT_TRUE(MatchName("?.?", "a.b"));
  EXPECT_FALSE(MatchName("?.?", "ab.c"));
  EXPECT_FALSE(MatchName("*.txt", "a.txt.bak"));
  EXPECT_FALSE(MatchName("a*", "ba"));
  EXPECT_TRUE(MatchName("**", "abc"));
  EXPECT_FALSE(MatchName("*", ".profile"));
  EXPECT_TRUE(MatchName(".*", ".profile"));
  EXPECT_TRUE(MatchName("*", "a.profile"));
}

TEST(ManifestSources, ResolvesFilesFoldersAndPatterns) {
  ManifestTestTree tree;
  for (const char* file : {"top.txt", "d/1.txt", "d/s/2.txt", "d/s/t/3.log", "d/.git/config", "d/s/.keep"}) {
    tree.Write(file, "x");
  }
  bool single = false;
  EXPECT_EQ(Relative(tree, "d/s/2.txt", &single), std::vector<std::string>{"2.txt"});
  EXPECT_TRUE(single);
  EXPECT_EQ(Relative(tree, "d/s", &single), (std::vector<std::string>{".keep", "2.txt", "t/3.log"}));
  EXPECT_FALSE(single);
  EXPECT_EQ(Relative(tree, "d/*.txt"), std::vector<std::string>{"1.txt"});
  EXPECT_EQ(Relative(tree, "d/**/*.txt"), (std::vector<std::string>{"1.txt", "s/2.txt"}));
  EXPECT_EQ(Relative(tree, "d/**"), (std::vector<std::string>{"1.txt", "s/2.txt", "s/t/3.log"}));
  EXPECT_EQ(Relative(tree, "d/*/t/*"), std::vector<std::string>{"s/t/3.log"});
  EXPECT_EQ(Relative(tree, "d/**/**/3.log"), std::vector<std::string>{"s/t/3.log"});  // found once
  EXPECT_EQ(Relative(tree, "d/.git/*"), std::vector<std::string>{"config"});
  EXPECT_EQ(Relative(tree, (tree.root() / "d" / "?.txt").string()), std::vector<std::string>{"1.txt"});
}

TEST(ManifestSources, ExplainsWhatIsMissing) {
  ManifestTestTree tree;
  std::filesystem::create_directories(tree.root() / "empty" / "inner");
  tree.Write("a.txt", "x");
  std::vector<ManifestSources::SourceFile> files;
  bool single;
  std::string problem;
  EXPECT_FALSE(ManifestSources::Resolve(tree.root(), "nothing", &files, &single, &problem));
  EXPECT_NE(problem.find("no file or folder 'nothing'"), std::string::npos);
  EXPECT_FALSE(ManifestSources::Resolve(tree.root(), "empty", &files, &single, &problem));
  EXPECT_NE(problem.find("holds no file"), std::string::npos);
  EXPECT_FALSE(ManifestSources::Resolve(tree.root(), "*.png", &files, &single, &problem));
  EXPECT_NE(problem.find("matches no file"), std::string::npos);
  EXPECT_FALSE(ManifestSources::Resolve(tree.root(), "a.txt/*", &files, &single, &problem));
}

TEST(ManifestSources, FileTimesCountFrom1601) {
  EXPECT_EQ(ManifestSources::ToFileTime(0, 0), 116444736000000000ull);
  EXPECT_EQ(ManifestSources::ToFileTime(1, 999), 116444736010000009ull);
  EXPECT_EQ(ManifestSources::ToFileTime(-11644473601, 0), 0u);  // before 1601: clamped
}

}  // namespace
