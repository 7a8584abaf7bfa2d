#include "app/core/zemtexts.h"

#include <array>

std::string ProgramString(uint32_t id, uint16_t tableLanguage) {
  static const std::array<const char*, 10> kChinese = {
      "Korvan ZEM 节能",
      "此应用程序不能使用于此平台！",
      "仅 AM2+ Phenom CPU 支持省电功能！",
      "欲开启此功能，您必须重新启动系统并进入 BIOS 设置程序，将 [Cool ’n’ Quiet] 项目设置为 "
      "[Enabled]。",
      "欲开启此功能，您需要重新启动系统并进入 BIOS 设置程序，将 [Intel(R) SpeedStep(tm) tech.] "
      "项目设置为 [Enabled]。",
      "省电：",
      "共计节省：",
      "千焦",
      "Korvan ZEM 节能工具",
      "退出",
  };
  if (tableLanguage != StringTableLanguage(2052) || id < 1 || id > kChinese.size()) return "";
  return kChinese[id - 1];
}

TZemTexts LoadZemTexts(uint16_t userLanguage, TStringLoader load) {
  TZemTexts texts;
  if (userLanguage != 2052) return texts;
  const uint16_t table = StringTableLanguage(userLanguage);
  std::string* const entries[] = {&texts.MsgTitle,           &texts.MsgNotThisPlatform,
                                  &texts.MsgAm2PhenomOnly,   &texts.MsgEnableCoolnQuiet,
                                  &texts.MsgEnableSpeedStep, &texts.LblPowerSaving,
                                  &texts.LblTotalSaving,     &texts.LblKJ,
                                  &texts.LblTrayRestore,     &texts.LblTrayExit};
  for (uint32_t id = 1; id <= 10; ++id) *entries[id - 1] = load(id, table);
  return texts;
}

std::string FileVersionText(uint16_t major, uint16_t minor, uint16_t release, uint16_t build) {
  std::string text = std::to_string(major) + "." + std::to_string(minor);
  if (release != 0 || build != 0)
    text += "." + std::to_string(release) + "." + std::to_string(build);
  return text;
}
