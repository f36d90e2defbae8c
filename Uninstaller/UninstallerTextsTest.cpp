#include "UninstallerTexts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BuiltInLanguages.h"

namespace {

std::string Str(const Text& text) { return std::string(text.Data(), text.Length()); }

int Placeholders(const std::string& text) {
  int count = 0;
  for (size_t at = text.find('%'); at != std::string::npos; at = text.find('%', at + 1)) {
    EXPECT_EQ(text.compare(at, 2, "%s"), 0) << "a lone % in " << text;
    ++count;
  }
  return count;
}

TEST(UninstallerTextsTest, EveryWizardLanguageHasEveryMessage) {
  uint32_t count = 0;
  const UninstallerTexts::Language* languages = UninstallerTexts::Languages(&count);
  const std::vector<BuiltInLanguages::Entry>& wizard = BuiltInLanguages::All();
  ASSERT_EQ(count, wizard.size());
  const UninstallerTexts::Language& english = languages[0];
  for (uint32_t i = 0; i < count; ++i) {
    const UninstallerTexts::Language& language = languages[i];
    EXPECT_EQ(language.id, wizard[i].id) << "in the wizard's order: " << wizard[i].code;
    for (int m = 0; m < UninstallerTexts::kMessageCount; ++m) {
      std::string text = language.texts[m], original = english.texts[m];
      SCOPED_TRACE(std::string(wizard[i].code) + " message " + std::to_string(m));
      ASSERT_FALSE(text.empty());
      EXPECT_EQ(Placeholders(text), Placeholders(original)) << text;
      EXPECT_EQ(text.find('\r'), std::string::npos) << "the uninstaller lays out the lines";
      EXPECT_EQ(text.find('\n'), std::string::npos);
      // No table is English left untranslated.
      if (i > 0 && m == UninstallerTexts::kConfirm) EXPECT_NE(text, original);
    }
  }
}

TEST(UninstallerTextsTest, TheInstallsLanguageThenTheUsersThenEnglish) {
  EXPECT_EQ(UninstallerTexts(1041, 1049).LanguageId(), 1041) << "the install's wins";
  EXPECT_EQ(UninstallerTexts(0, 1049).LanguageId(), 1049) << "nothing recorded";
  EXPECT_EQ(UninstallerTexts(2067, 1033).LanguageId(), 1043) << "Dutch (Belgium) installs speak Dutch";
  EXPECT_EQ(UninstallerTexts(1027, 1031).LanguageId(), 1031) << "Catalan has no table and no kin";
  EXPECT_EQ(UninstallerTexts(0, 2070).LanguageId(), 2070);
  EXPECT_EQ(UninstallerTexts(0, 1046).LanguageId(), 1046);
  EXPECT_EQ(UninstallerTexts(0, 3079).LanguageId(), 1031) << "Austrian German";
  EXPECT_EQ(UninstallerTexts(0, 1034).LanguageId(), 3082) << "Spanish, traditional sort";
  EXPECT_EQ(UninstallerTexts(0, 2068).LanguageId(), 1044) << "Norwegian Nynorsk reads Bokmål";
  EXPECT_EQ(UninstallerTexts(1028, 2052).LanguageId(), 1028);
  EXPECT_EQ(UninstallerTexts(0, 2108).LanguageId(), 1033) << "Irish: English";
  EXPECT_EQ(UninstallerTexts(0, 0).LanguageId(), 1033);
  EXPECT_EQ(UninstallerTexts(0x0400, 0).LanguageId(), 1033) << "a neutral sublanguage of no language";
}

TEST(UninstallerTextsTest, TheValueGoesWhereTheMessageSaysAsItIs) {
  UninstallerTexts english(1033, 0), japanese(1041, 0), polish(1045, 0);
  EXPECT_EQ(Str(english.Get(UninstallerTexts::kConfirm, "Tool 100%s %")),
            "Remove Tool 100%s % and all of its components?");
  EXPECT_EQ(Str(english.Get(UninstallerTexts::kCaption, "Demo")), "Demo Uninstall");
  EXPECT_EQ(Str(english.Get(UninstallerTexts::kTitle, "Demo")), "Uninstall");
  EXPECT_EQ(Str(japanese.Get(UninstallerTexts::kMore, "3")), "ほか 3 件");
  EXPECT_EQ(Str(japanese.Get(UninstallerTexts::kCaption, "ソフト")), "ソフト のアンインストール");
  EXPECT_EQ(Str(polish.Get(UninstallerTexts::kRemoved, "Demo")), "Program Demo został usunięty z komputera.");
}

TEST(UninstallerTextsTest, HebrewAndArabicReadFromTheRight) {
  EXPECT_TRUE(UninstallerTexts(1037, 0).RightToLeft());
  EXPECT_TRUE(UninstallerTexts(1025, 0).RightToLeft());
  EXPECT_TRUE(UninstallerTexts(0, 5121).RightToLeft()) << "Arabic (Algeria)";
  EXPECT_FALSE(UninstallerTexts(1033, 1025).RightToLeft()) << "the install's language decides";
  EXPECT_FALSE(UninstallerTexts(1049, 0).RightToLeft());
}

}  // namespace
