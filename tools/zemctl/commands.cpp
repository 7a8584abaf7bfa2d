#include "tools/zemctl/commands.h"

#include <cstring>

#include "base/textfmt.h"
#include "os/files.h"
#include "os/singleinstance.h"
#include "script/interpreter.h"
#include "sim/simboard.h"
#include "sim/simmachine.h"

namespace {

int RunBoards(TCommandContext& context, TMachineSession*) {
  std::string directory = context.Options.Directory;
  if (directory.empty()) directory = OsExecutableDirectory();
  const std::vector<TBoardFileInfo> boards = ListBoardFiles(BoardsDirectory(directory));
  if (boards.empty()) {
    context.Error = "no board files in " + BoardsDirectory(directory);
    return kExitFailure;
  }
  for (const TBoardFileInfo& board : boards) {
    std::fprintf(context.Out, "%-16s %s\n", board.Name.c_str(), board.Description.c_str());
  }
  return kExitOk;
}

// Every present function in bus order, found as the program's PCI searches find them: function 0
// of each device, and functions 1..7 when its header type says multi-function.
int RunLspci(TCommandContext& context, TMachineSession* session) {
  TReadWrite& rw = session->ReadWrite();
  for (unsigned bus = 0; bus < 256; ++bus) {
    for (unsigned device = 0; device < 32; ++device) {
      const auto b = static_cast<uint8_t>(bus);
      const auto d = static_cast<uint8_t>(device);
      if (rw.PciReadDword(b, d, 0, 0) == 0xFFFFFFFFu) continue;
      const bool multiFunction = (rw.PciReadByte(b, d, 0, 0x0E) & 0x80) != 0;
      for (unsigned function = 0; function < (multiFunction ? 8u : 1u); ++function) {
        const auto f = static_cast<uint8_t>(function);
        const uint32_t id = rw.PciReadDword(b, d, f, 0);
        if (id == 0xFFFFFFFFu || (id & 0xFFFF) == 0xFFFF) continue;
        const uint32_t classCode = rw.PciReadDword(b, d, f, 8) >> 8;
        std::fprintf(context.Out, "%02x:%02x.%x %04x:%04x %06x\n", bus, device, function,
                     id & 0xFFFF, id >> 16, classCode);
      }
    }
  }
  return kExitOk;
}

int RunPcieBase(TCommandContext& context, TMachineSession* session) {
  std::fprintf(context.Out, "%s\n", HexDword(session->ReadWrite().PcieBase()).c_str());
  return kExitOk;
}

// Runs each text in turn through one interpreter, so locals carry from one text to the next as
// they do within one program run. Stops at the first text that fails.
int RunScript(TCommandContext& context, TMachineSession* session) {
  if (context.Arguments.empty()) {
    context.Error = "script needs at least one TEXT";
    return kExitUsage;
  }
  std::unique_ptr<IInstancePoster> poster = OsCreateInstancePoster();
  TScriptServices services{session->ReadWrite(),
                           session->InitFile().OsVersion->SystemInfo.NumberOfProcessors, *poster};
  // DELAY waits on the machine's clock: a simulated PC's time stands still while zemctl sleeps.
  if (TSimMachine* sim = session->Simulated()) {
    services.Sleep = [sim](uint32_t milliseconds) {
      sim->Clock().Advance(static_cast<uint64_t>(milliseconds) * 1000);
    };
  }
  TInterpreter interpreter(std::move(services));
  for (const std::string& text : context.Arguments) {
    const bool ok = interpreter.Execute(text);
    std::fprintf(context.Out, "%s\n", interpreter.ResultText().c_str());
    for (const std::string& line : interpreter.OutputLines()) {
      std::fprintf(context.Out, "%s\n", line.c_str());
    }
    std::fprintf(context.Out, "Result: %s\n",
                 HexDword(static_cast<uint32_t>(interpreter.ResultCell())).c_str());
    if (!ok) {
      context.Error = "script failed: " + interpreter.ResultText();
      return kExitFailure;
    }
  }
  return kExitOk;
}

const std::vector<TCommand> kCommands = {
    {"info", "",
     "identify the PC: OS, processor and clock, ACPI tables, board, PM timer and ACPI ports", true,
     RunInfo},
    {"boards", "", "list the shipped board files of the simulated PC (name and description)", false,
     RunBoards},
    {"lspci", "", "list every present PCI function as BB:DD.F VVVV:DDDD CCCCCC, in bus order", true,
     RunLspci},
    {"pcie-base", "", "print the detected PCI Express configuration base", true, RunPcieBase},
    {"sio", "", "detect the Super I/O chip through the chip database of KorZem.ini", true, RunSio},
    {"gpio", "dump|match|apply INTERFACE [SETTING]",
     "show the pins of a GPIO interface (ICHGPIO, W627GPIO, W667GPIO, NVGPIO, IT8720GPIO), or "
     "test or drive a pin setting such as GPIO24=High (prints true or false)",
     true, RunGpio},
    {"hwm", "", "read the hardware monitor: every sensor field, Vcore and the current-monitor byte",
     true, RunHwm},
    {"script", "TEXT...",
     "run each TEXT through one script interpreter; print its result line, output lines and "
     "result cell",
     true, RunScript},
    {"status", "", "print ZEM: on or ZEM: off as the energy-saving engine reads the hardware", true,
     RunStatus},
    {"on", "", "switch energy saving on through the board's interfaces, then print the status",
     true, RunOn},
    {"off", "", "switch energy saving off, then print the status", true, RunOff},
    {"estimate", "--ticks N [--interval MS] [--truth]",
     "run N sampling ticks (MS milliseconds of virtual time apart, default 1000) and print the "
     "engine's estimate of each; --truth adds the simulated regulator's own figures",
     true, RunEstimate},
};

}  // namespace

const std::vector<TCommand>& Commands() {
  return kCommands;
}

const TCommand* FindCommand(const std::string& name) {
  for (const TCommand& command : kCommands) {
    if (name == command.Name) return &command;
  }
  return nullptr;
}
