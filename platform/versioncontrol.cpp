#include "platform/versioncontrol.h"

#include <string>

#include "base/trace.h"
#include "hw/readwrite.h"

namespace {

constexpr uint16_t kCmosIndexPort = 0x70;
constexpr uint16_t kCmosDataPort = 0x71;
constexpr uint8_t kCmosBoardFlag = 0x5A;

}  // namespace

TVersionControl::TVersionControl(const TiFile& cfg, TReadWrite& rw, IRevisionPins& pins) : Rw_(rw) {
  TStrings revisions;
  cfg.ReadSectionValueList("VersionControl", revisions);
  if (revisions.empty()) return;
  Present_ = true;

  for (size_t k = 0; k < revisions.size(); ++k) {
    const std::string& revision = revisions[k];
    const std::string interfaceName = cfg.ReadString(revision, "Interface", "");
    const std::string pinSection = cfg.ReadString(revision, "Section", "");
    const std::string description = cfg.ReadString(revision, "Description", "");
    const std::string sioName = cfg.ReadString(revision, "SIO", "");
    if (interfaceName.empty() || pinSection.empty()) continue;

    TStrings lines;
    cfg.ReadSectionValues(pinSection, lines);
    if (lines.empty()) continue;

    if (interfaceName == "ICHGPIO") {
      if (pins.SelectByPins("ICHGPIO", lines) == "1") {
        Index_ = static_cast<int32_t>(k);
        TraceLine(">>> Description = " + description);
        return;
      }
    } else if (interfaceName == "W627GPIO") {
      // The same pins can mean another revision on a board that carries another Super I/O.
      if (pins.SelectByPins("W627GPIO", lines) == "1" &&
          (sioName.empty() || pins.SuperIoName() == sioName)) {
        Index_ = static_cast<int32_t>(k);
        TraceLine(">>> Ver Description = " + description);
        return;
      }
    } else {
      TraceLine(">>>  Unknown LL Interface");
    }
  }
}

int TVersionControl::CmosFlag() {
  Rw_.IoBaseWriteByte(kCmosIndexPort, kCmosBoardFlag);
  return Rw_.IoBaseReadByte(kCmosDataPort) & 1;
}
