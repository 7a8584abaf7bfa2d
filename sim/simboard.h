// Board files: one INI file per simulated board (data/boards/NAME.ini) that composes a machine
// from the processor model, memory layout, PCI functions and, as models arrive, further devices.
//
//   [Board]      Name, Description, RamMiB, LowRamTop, EcamBase, EcamBuses, PmTimerPort,
//                PmTimerBits (24 or 32), Cf8ExtendedOffsets (0 or 1)
//   [Processor]  Model (a processor of sim/simcpumodels.h), Vendor, Signature, Cores, FrequencyMHz,
//                TscMHz, BrandString, Leaf1Ecx, Leaf1Edx, Cr0, Cr3, Cr4
//   [CPUID]      LEAF=EAX,EBX,ECX,EDX       raw leaves replacing the generated ones
//   [MSR]        MSR=VALUE[,WRITABLEBITS]   every core; WRITABLEBITS 0 makes it read-only
//   [MSR CoreN]  the same for core N only (additions and overrides)
//   [PCI bb:dd.f] Vendor, Device, Class, Revision, HeaderType (0 device, 1 bridge), Command,
//                Status, SubsystemVendor, SubsystemDevice, InterruptLine, InterruptPin,
//                PrimaryBus, SecondaryBus, SubordinateBus,
//                Config.OFFSET=HH HH ...   bytes from OFFSET on
//                Mask.OFFSET=HH HH ...     write masks from OFFSET on
//   [SuperIO]    Chip (W83627DHG, W83627EHF, W83667HG, IT8720F, IT8712F), Port (0x2E or 0x4E),
//                HwmBase, SimpleIoBase, Config.REG=, LdnN.REG=, Hwm.REG= (sim/superio.h)
//   [IchGpio]    Chip (ICH9, ICH10R, ICH10), Function, GPIO_USE_SEL, GP_IO_SEL, GP_LVL, ...
//                (sim/ichgpio.h)
//   [NvSmbusGpio] Function, Pins, GPIOn (sim/nvsmbusgpio.h)
//   [Wiring]     CHIP.PIN=High|Low|NET, Pull.NET=High|Low (sim/pinwiring.h); after the chips
//   [Monitor]    INPUT=VALUE V|C|RPM [divider R1/R2] [ref VOLTS] (sim/analoginputs.h); after
//                [SuperIO]
//   [AmdNorthbridge], [AmdSbPm], [McpPcnt]   AMD chipset functions (sim/amdnorthbridge.h)
//   [SMBIOS], [ACPI], [SSDT NAME], [ACPI Table SIG]   firmware tables (sim/simfirmware.h)
//   [VRM]        the processor's voltage regulator; after [SuperIO] and [Monitor] (sim/vrm.h)
//   [Workload]   processor load: fixed, scripted or following the host (sim/workload.h)
//   [Governor]   the OS's processor-power policy and its P-state table (sim/governor.h)
//
// Numbers are decimal or "0x" hexadecimal. Unknown sections and keys are errors, so a typing
// mistake cannot silently give a different machine.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sim/simmachine.h"

struct TBoardFileInfo {
  std::string Name, Description, Path;
};

// The board files (*.ini) of a directory, sorted by name; empty when the directory is missing.
std::vector<TBoardFileInfo> ListBoardFiles(const std::string& boardsDir);

// Builds the machine of a board file. nameOrPath is a path when it contains a "/" or ends in
// ".ini", otherwise the board boardsDir/NAME.ini. Null with a message naming the file, section and
// key when the file is missing or wrong.
std::unique_ptr<TSimMachine> CreateSimMachine(const std::string& nameOrPath,
                                              const std::string& boardsDir, std::string* error);
