// Byte builders for the simulated board's SMBIOS 2.x data: the structure table (BIOS, system and
// base-board information and the end-of-table structure) and its "_SM_" entry point.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/simfirmware.h"

struct TSmbiosTableInfo {
  std::vector<uint8_t> Bytes;
  uint16_t StructureCount = 0;
  uint16_t MaxStructureSize = 0;
};

TSmbiosTableInfo BuildSmbiosTable(const TSimSmbiosConfig& config);
// The 31-byte entry point for a table at tableAddress, both checksums set.
std::vector<uint8_t> BuildSmbiosEntryPoint(const TSimSmbiosConfig& config,
                                           const TSmbiosTableInfo& table, uint32_t tableAddress);
