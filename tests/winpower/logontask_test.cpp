// The logon task: the registration sequence over the in-memory scheduler, and the Linux
// scheduler's XDG autostart entry.
#include "winpower/logontask.h"

#include <gtest/gtest.h>

#include "os/linux/taskscheduler.h"
#include "os/test/fakemessagebox.h"
#include "os/test/fakepowerschemes.h"
#include "os/test/fakesystem.h"
#include "os/test/faketaskscheduler.h"
#include "tests/winpower/winpowerrig.h"
#include "winpower/boardpower.h"

namespace {

using namespace winpowertest;
using TLines = std::vector<std::string>;

const std::string kProgram = "C:\\Program Files\\Korvan\\KorZem.exe";

// The board services with a scheduler over store.
struct TTaskRig {
  TTaskRig()
      : Man(Privileges, Power),
        Board(Man, Messages, TBoardPowerSetup{6, "C:\\Program Files\\Korvan", kProgram, [this] {
                                                return std::make_unique<TFakeTaskScheduler>(Store);
                                              }}) {}

  TFakeTaskStore Store;
  TFakeOsPrivileges Privileges;
  TFakePowerManagement Power;
  TFakeMessageBox Messages;
  TPowerMan Man;
  TBoardPower Board;
};

TEST(LogonTask, RegistrationReplacesTheTaskWithALogonTaskForTheProgram) {
  TTaskRig rig;
  ASSERT_TRUE(rig.Board.RegisterLogonTask("KorvanZEM"));
  EXPECT_EQ(TLines({"connect", "delete \\KorvanZEM", "register \\KorvanZEM"}), rig.Store.Calls);
  ASSERT_TRUE(rig.Store.Tasks.contains("\\KorvanZEM"));
  const TFakeTaskStore::TTask& task = rig.Store.Tasks.at("\\KorvanZEM");
  EXPECT_EQ(kTaskCreateOrUpdate, task.CreationFlags);
  EXPECT_EQ(kTaskLogonInteractiveToken, task.LogonType);
  const TTaskDefinition& d = task.Definition;
  EXPECT_EQ("Author Name", d.Author);
  EXPECT_EQ(kTaskRunLevelHighest, d.RunLevel);
  EXPECT_TRUE(d.StartWhenAvailable);
  EXPECT_EQ("", d.DeleteExpiredTaskAfter);
  EXPECT_EQ("", d.ExecutionTimeLimit);
  EXPECT_FALSE(d.DisallowStartIfOnBatteries);
  EXPECT_EQ(kTaskTriggerLogon, d.TriggerType);
  EXPECT_TRUE(d.TriggerEnabled);
  EXPECT_EQ(kTaskActionExec, d.ActionType);
  EXPECT_EQ(kProgram, d.ProgramPath);
  EXPECT_EQ(0, rig.Store.Connections);  // the connection was released

  // Registering again replaces the task.
  ASSERT_TRUE(rig.Board.RegisterLogonTask("KorvanZEM"));
  EXPECT_EQ(1u, rig.Store.Tasks.size());
}

TEST(LogonTask, RemovalDeletesATaskOfAnyOriginAndSucceedsWhenThereIsNone) {
  TTaskRig rig;
  TFakeTaskStore::TTask other;
  other.Definition.ProgramPath = "D:\\Elsewhere\\KorZem.exe";
  rig.Store.Tasks["\\KorvanZEM"] = other;
  rig.Store.Tasks["\\Unrelated"] = other;
  EXPECT_TRUE(rig.Board.RemoveLogonTask("KorvanZEM"));
  EXPECT_FALSE(rig.Store.Tasks.contains("\\KorvanZEM"));
  EXPECT_TRUE(rig.Store.Tasks.contains("\\Unrelated"));
  EXPECT_TRUE(rig.Board.RemoveLogonTask("KorvanZEM"));
  EXPECT_EQ(TLines({"connect", "delete \\KorvanZEM", "connect", "delete \\KorvanZEM"}),
            rig.Store.Calls);
}

TEST(LogonTask, AFailedStepFailsTheSequenceAndReleasesTheConnection) {
  {
    TTaskRig rig;
    rig.Store.ConnectWorks = false;
    EXPECT_FALSE(rig.Board.RegisterLogonTask("KorvanZEM"));
    EXPECT_FALSE(rig.Board.RemoveLogonTask("KorvanZEM"));
    EXPECT_EQ(TLines({"connect", "connect"}), rig.Store.Calls);
  }
  {
    TTaskRig rig;
    rig.Store.RegisterWorks = false;
    EXPECT_FALSE(rig.Board.RegisterLogonTask("KorvanZEM"));
    EXPECT_TRUE(rig.Store.Tasks.empty());
    EXPECT_EQ(0, rig.Store.Connections);
  }
  {
    // A delete that fails does not stop the registration, which replaces the task anyway.
    TTaskRig rig;
    rig.Store.DeleteWorks = false;
    rig.Store.Tasks["\\KorvanZEM"] = {};
    EXPECT_TRUE(rig.Board.RegisterLogonTask("KorvanZEM"));
    EXPECT_EQ(kProgram, rig.Store.Tasks.at("\\KorvanZEM").Definition.ProgramPath);
  }
}

TEST(LogonTask, WithoutASchedulerNothingIsRegistered) {
  TFakeOsPrivileges privileges;
  TFakePowerManagement power;
  TFakeMessageBox messages;
  TPowerMan man(privileges, power);
  TBoardPower board(man, messages, TBoardPowerSetup{6, "", kProgram, {}});
  EXPECT_FALSE(board.RegisterLogonTask("KorvanZEM"));
  EXPECT_FALSE(board.RemoveLogonTask("KorvanZEM"));
}

// --- the Linux autostart entry ---

TEST(AutostartEntry, IsWrittenForTheProgramAndRemovedAgain) {
  TTempDir dir;
  const std::string autostart = dir / "config/autostart";
  const std::string entry = autostart + "/KorvanZEM.desktop";
  {
    std::unique_ptr<IOsTaskScheduler> scheduler = OsCreateAutostartScheduler(autostart);
    ASSERT_TRUE(RegisterLogonTask(*scheduler, "KorvanZEM", "/opt/korzem/KorZem"));
  }
  const std::string text = ReadFile(entry);
  EXPECT_TRUE(text.starts_with("[Desktop Entry]\n")) << text;
  EXPECT_NE(std::string::npos, text.find("\nType=Application\n"));
  EXPECT_NE(std::string::npos, text.find("\nExec=/opt/korzem/KorZem\n"));
  EXPECT_NE(std::string::npos, text.find("\nHidden=false\n"));
  EXPECT_NE(std::string::npos, text.find("\nX-GNOME-Autostart-enabled=true\n"));

  std::unique_ptr<IOsTaskScheduler> scheduler = OsCreateAutostartScheduler(autostart);
  ASSERT_TRUE(RegisterLogonTask(*scheduler, "KorvanZEM", ""));
  EXPECT_FALSE(fs::exists(entry));
  // Removing what is not there still succeeds.
  EXPECT_TRUE(RegisterLogonTask(*OsCreateAutostartScheduler(autostart), "KorvanZEM", ""));
}

TEST(AutostartEntry, ExecQuotesAndEscapesPathsAsTheDesktopEntryFormatDemands) {
  struct TCase {
    std::string Path;
    std::string Exec;
  };
  const TCase cases[] = {
      {"/opt/Kor Zem/KorZem", "\"/opt/Kor Zem/KorZem\""},
      {"/opt/100%/KorZem", "/opt/100%%/KorZem"},
      // Inside quotes '$' and '\' are escaped, and the key file doubles the backslashes again.
      {"/opt/a b$c\\d/KorZem", "\"/opt/a b\\\\$c\\\\\\\\d/KorZem\""},
      {"/opt/it's/KorZem", "\"/opt/it's/KorZem\""},
  };
  for (const TCase& c : cases) {
    TTempDir dir;
    std::unique_ptr<IOsTaskScheduler> scheduler = OsCreateAutostartScheduler(dir.Path());
    ASSERT_TRUE(RegisterLogonTask(*scheduler, "KorvanZEM", c.Path));
    const std::string text = ReadFile(dir / "KorvanZEM.desktop");
    EXPECT_NE(std::string::npos, text.find("\nExec=" + c.Exec + "\n")) << c.Path << "\n" << text;
  }
}

TEST(AutostartEntry, RefusesWhatAnAutostartEntryCannotExpress) {
  TTempDir dir;
  std::unique_ptr<IOsTaskScheduler> scheduler = OsCreateAutostartScheduler(dir.Path());
  EXPECT_FALSE(scheduler->DeleteTask("\\", "KorvanZEM"));  // not connected yet
  ASSERT_TRUE(scheduler->Connect());
  TTaskDefinition definition = LogonTaskDefinition("/opt/korzem/KorZem");
  EXPECT_FALSE(scheduler->RegisterTask("\\Korvan", "KorvanZEM", definition, kTaskCreateOrUpdate,
                                       kTaskLogonInteractiveToken));
  EXPECT_FALSE(scheduler->RegisterTask("\\", "../KorvanZEM", definition, kTaskCreateOrUpdate,
                                       kTaskLogonInteractiveToken));
  definition.TriggerType = 1;  // a time trigger
  EXPECT_FALSE(scheduler->RegisterTask("\\", "KorvanZEM", definition, kTaskCreateOrUpdate,
                                       kTaskLogonInteractiveToken));
  EXPECT_TRUE(fs::is_empty(dir.Path()));
}

}  // namespace
