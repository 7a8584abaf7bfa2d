// Every GPIO back-end on every simulated board, through the same steps as zemctl's gpio apply and
// gpio match: the shipped Super I/O database, a back-end made by its interface name, a setting
// applied, then matched by a fresh back-end. Each either drives the pin (and the match agrees) or
// refuses with a debug line and writes no port at all.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "chips/gpiocontrol.h"
#include "gpiorig.h"

using gpiotest::TGpioRig;

namespace {

enum class TOutcome {
  Drives,    // the pin is driven and reads back as asked
  Refuses,   // no chip of the family: a debug line, no port written
  NoAnswer,  // the chip is there but the pin does not read back (see below)
};

struct TBoard {
  const char* Name;
  // One outcome per row of kGpioInterfaces, in its order: W627, ICH, NV, W667, IT8720.
  std::vector<TOutcome> Outcomes;
};

constexpr auto D = TOutcome::Drives;
constexpr auto R = TOutcome::Refuses;
constexpr auto N = TOutcome::NoAnswer;

// A pin each family has as a GPIO on the boards that carry it.
const char* PinOf(TGpioKind kind) {
  switch (kind) {
    case kGpioIch:
      return "GPIO34";
    case kGpioNv:
      return "GPIO12";
    case kGpioW627:
      return "GPIO24";
    case kGpioW667:
      return "GPIO22";
    default:
      return "GPIO14";
  }
}

TEST(GpioSweep, EveryBackEndOnEveryBoardDrivesOrRefusesWithoutAWrite) {
  const TBoard boards[] = {
      {"p35-core2", {D, D, R, R, R}},
      {"p45-core2", {R, D, R, D, R}},
      {"x58-nehalem", {R, D, R, D, R}},
      {"tr900-phenom", {R, R, R, R, D}},
      {"am2-k8", {D, R, D, R, R}},
      // The IT8712F is known only through the ITE family section: no back-end's register map.
      {"am2p-phenom", {R, R, R, R, R}},
      // The ICH7's GPIOBASE and GPIO_EN are set, but the board simulates no GPIO block behind
      // them: the writes are made and the pin reads back all ones (an input), so apply says false.
      {"p4-netburst", {R, N, R, R, R}},
  };
  for (const TBoard& board : boards) {
    ASSERT_EQ(board.Outcomes.size(), std::size(kGpioInterfaces));
    TGpioRig rig(board.Name);
    TSio& sio = rig.DetectShipped();
    for (size_t i = 0; i < std::size(kGpioInterfaces); ++i) {
      const TGpioInterface& entry = kGpioInterfaces[i];
      const std::string name(entry.Name);
      const std::string where = std::string(board.Name) + " " + name;
      const std::string setting = std::string(PinOf(entry.Kind)) + "=High";
      rig.Lines.Clear();

      const bool applied = CreateGpio(entry.Name, *rig.Rw, &sio)->Apply(setting);
      const std::vector<std::string> writes = rig.Lines.Starting("RW: IoBaseWrite");
      const std::vector<std::string> refusals = rig.Lines.Starting(name + ": ");
      const bool matched = CreateGpio(entry.Name, *rig.Rw, &sio)->Matches(setting);

      EXPECT_EQ(matched, applied) << where;
      switch (board.Outcomes[i]) {
        case TOutcome::Drives:
          EXPECT_TRUE(applied) << where;
          EXPECT_FALSE(writes.empty()) << where;
          EXPECT_TRUE(refusals.empty()) << where;
          break;
        case TOutcome::Refuses:
          EXPECT_FALSE(applied) << where;
          EXPECT_TRUE(writes.empty()) << where << ": " << writes.front();
          EXPECT_FALSE(refusals.empty()) << where;
          break;
        case TOutcome::NoAnswer:
          EXPECT_FALSE(applied) << where;
          EXPECT_TRUE(refusals.empty()) << where;
          break;
      }
    }
  }
}

}  // namespace
