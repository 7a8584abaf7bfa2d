// The window's message and label texts. English by default; the program replaces them from its
// string table for the Chinese (Simplified) user interface.
#pragma once

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
