#include "app/core/zemtexts.h"

#include <gtest/gtest.h>

#include "os/uilanguage.h"

namespace {

std::string WithoutEntryThree(uint32_t id, uint16_t table) {
  return id == 3 ? std::string() : ProgramString(id, table);
}

}  // namespace

TEST(ZemTextsTest, ChineseReplacesTheTenTableEntriesAndKeepsVDroopEnglish) {
  const TZemTexts english = LoadZemTexts(1033);
  EXPECT_EQ(english.MsgTitle, "Korvan ZEM");
  EXPECT_EQ(english.LblKJ, "KJ");

  const TZemTexts chinese = LoadZemTexts(2052);
  EXPECT_EQ(chinese.MsgNotThisPlatform, "此应用程序不能使用于此平台！");
  EXPECT_EQ(chinese.LblPowerSaving, "省电：");
  EXPECT_EQ(chinese.LblTotalSaving, "共计节省：");
  EXPECT_EQ(chinese.LblKJ, "千焦");
  EXPECT_EQ(chinese.LblTrayExit, "退出");
  EXPECT_EQ(chinese.MsgEnableVDroop, english.MsgEnableVDroop);

  // A missing entry leaves its text empty rather than English.
  EXPECT_EQ(LoadZemTexts(2052, WithoutEntryThree).MsgAm2PhenomOnly, "");
  // The table is stored under the converted identifier only.
  EXPECT_EQ(StringTableLanguage(2052), 0x2004);
  EXPECT_EQ(ProgramString(2, 2052), "");
}

TEST(ZemTextsTest, LanguageOfTheLocaleAndTheAboutBoxVersion) {
  EXPECT_EQ(UiLanguageOfLocale("zh_CN.UTF-8"), 2052);
  EXPECT_EQ(UiLanguageOfLocale("zh_TW.UTF-8"), 1033);
  EXPECT_EQ(UiLanguageOfLocale("C"), 1033);
  EXPECT_EQ(UiLanguageOfLocale(nullptr), 1033);
  EXPECT_EQ(FileVersionText(1, 0, 0, 0), "1.0");
  EXPECT_EQ(FileVersionText(2, 1, 0, 7), "2.1.0.7");
}
