// The window's message and label texts. English by default; the program replaces them from its
// string table for the Chinese (Simplified) user interface.
#pragma once

#include <cstdint>
#include <string>

struct TZemTexts {
  std::string MsgTitle = "Korvan ZEM";
  std::string MsgNotThisPlatform = "This utility is not for this platform!";
  std::string MsgAm2PhenomOnly = "Power saving feature is only supported with AM2+ Phenom CPU!";
  std::string MsgEnableCoolnQuiet =
      "To enable this feature, you must reboot the system and enter BIOS setup utility to set the "
      "[Cool' n' Quiet] item to [Enabled].";
  std::string MsgEnableSpeedStep =
      "To enable this feature, you must reboot the system and enter BIOS setup utility to set the "
      "[Intel(R) SpeedStep(tm) tech.] item to [Enabled].";
  std::string MsgEnableVDroop =
      "To enable this feature, you must reboot the system and enter BIOS setup utility to set the "
      "[Korvan VDroop Control] item to [With VDrop].";
  std::string LblPowerSaving = "Power Saving:";
  std::string LblTotalSaving = "Total Saving:";
  std::string LblKJ = "KJ";
  std::string LblTrayRestore = "Korvan ZEM Utility";
  std::string LblTrayExit = "Exit";
};

// The string-table language identifier of a user language: ((L >> 8) << 10) | (L & 0xFF), so
// 2052 is looked up as 0x2004.
constexpr uint16_t StringTableLanguage(uint16_t language) {
  return static_cast<uint16_t>(((language >> 8) << 10) | (language & 0xFF));
}

// Entries 1 to 10 of the program's string table, as stored under a language identifier; empty
// for an entry (or a language) the table does not hold.
using TStringLoader = std::string (*)(uint32_t id, uint16_t tableLanguage);
// The program's own string table (the Chinese (Simplified) entries under 0x2004).
std::string ProgramString(uint32_t id, uint16_t tableLanguage);

// English unless the user language is 2052: then entries 1 to 10 of the string table replace
// MsgTitle, MsgNotThisPlatform, MsgAm2PhenomOnly, MsgEnableCoolnQuiet, MsgEnableSpeedStep,
// LblPowerSaving, LblTotalSaving, LblKJ, LblTrayRestore and LblTrayExit in this order (a missing
// entry leaves the text empty); MsgEnableVDroop stays English.
TZemTexts LoadZemTexts(uint16_t userLanguage, TStringLoader load = ProgramString);

// The executable's version as the about box shows it: "major.minor", and ".release.build" when
// either of those is not 0.
std::string FileVersionText(uint16_t major, uint16_t minor, uint16_t release, uint16_t build);
