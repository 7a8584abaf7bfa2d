// Installs ZemDrv.x64.sys as a kernel-driver service the way the program does (file in the
// drivers folder, service "ZemDrv", start, open "\\.\ZemDrv", file deleted once connected), drives
// the requests that can run where the driver runs in user mode (Wine's winedevice.exe), then stops
// and deletes the service and checks that nothing is left.
//   usage: zemdrv_wine_test.exe <path of ZemDrv.x64.sys>
// Exit code 0 when every check passed, 1 otherwise, 2 when the driver could not be brought up.
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "hw/ioctl.h"

namespace {

int Failures = 0;

void Check(bool condition, const char* what) {
  printf("%s %s\n", condition ? "ok  " : "FAIL", what);
  if (!condition) ++Failures;
}

struct TResult {
  bool Ok;
  DWORD Error;
  DWORD Returned;
};

TResult Control(HANDLE device, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize) {
  TResult result{false, 0, 0xDEADBEEF};
  result.Ok = DeviceIoControl(device, code, in, inSize, out, outSize, &result.Returned, nullptr);
  result.Error = result.Ok ? 0 : GetLastError();
  return result;
}

bool Refused(const TResult& result, DWORD error) {
  return !result.Ok && result.Error == error;
}

void DriveRequests(HANDLE device) {
  uint8_t buffer[64];

  // Codes the driver does not serve, or that are not buffered.
  memset(buffer, 0, sizeof buffer);
  Check(Refused(Control(device, 0x222850, buffer, 32, buffer, 32), ERROR_INVALID_PARAMETER),
        "an unserved code gives ERROR_INVALID_PARAMETER");
  Check(Refused(Control(device, 0x222803, buffer, 8, buffer, 8), ERROR_INVALID_PARAMETER),
        "a code that is not buffered gives ERROR_INVALID_PARAMETER");

  // Records shorter than the code needs.
  IoRequest io{0x80, 0};
  Check(Refused(Control(device, CTL_READ_IO_BYTE, &io, 4, &io, 8), ERROR_INVALID_PARAMETER),
        "a port read with a 4-byte input is refused");
  Check(Refused(Control(device, CTL_READ_IO_BYTE, &io, 8, &io, 4), ERROR_INVALID_PARAMETER),
        "a port read with a 4-byte output is refused");
  uint64_t tsc = 0;
  Check(Refused(Control(device, CTL_READ_TSC, nullptr, 0, &tsc, 4), ERROR_INVALID_PARAMETER),
        "a TSC read into 4 bytes is refused");
  uint32_t mapped = 0;
  Check(
      Refused(Control(device, CTL_UNMAP_MEMORY, &mapped, 3, nullptr, 0), ERROR_NOT_ENOUGH_MEMORY) ||
          Refused(Control(device, CTL_UNMAP_MEMORY, &mapped, 3, nullptr, 0),
                  ERROR_NO_SYSTEM_RESOURCES),
      "an unmap with 3 bytes gives insufficient resources");

  // RDTSC runs in user mode too.
  uint64_t first = 0;
  uint64_t second = 0;
  const TResult a = Control(device, CTL_READ_TSC, nullptr, 0, &first, sizeof first);
  const TResult b = Control(device, CTL_READ_TSC, nullptr, 0, &second, sizeof second);
  Check(a.Ok && b.Ok && a.Returned == 8 && b.Returned == 8, "RDTSC answers 8 bytes");
  Check(second > first && first != 0, "the TSC advances");

  // Control registers: CR5 does not exist; CR0 and CR8 reads are emulated by Wine's host.
  CrRequest cr{5, 0, 0x1234};
  const TResult cr5 = Control(device, CTL_READ_CR, &cr, sizeof cr, &cr, sizeof cr);
  // A failed request hands back nothing: the record comes back as it went.
  Check(Refused(cr5, ERROR_GEN_FAILURE) && cr.Number == 5 && cr.Value == 0x1234,
        "a CR5 read fails with STATUS_UNSUCCESSFUL and returns nothing");
  cr = CrRequest{0, 0, 0};
  const TResult cr0 = Control(device, CTL_READ_CR, &cr, sizeof cr, &cr, sizeof cr);
  Check(cr0.Ok && cr0.Returned == 16, "a CR0 read answers 16 bytes");
  printf("     CR0 reads 0x%llx\n", static_cast<unsigned long long>(cr.Value));
  cr = CrRequest{3, 0, 0x1000};
  Check(Refused(Control(device, CTL_WRITE_CR, &cr, sizeof cr, nullptr, 0), ERROR_GEN_FAILURE),
        "the 64-bit driver never writes CR3");

  // MSRs: Wine's host emulates RDMSR (reading 0) but not WRMSR, whose fault the driver's guard
  // must turn into a failed request instead of a crashed host.
  CpuRegisters msr{0, 0, 0x10, 0};
  const TResult rdmsr = Control(device, CTL_READ_MSR, &msr, sizeof msr, &msr, sizeof msr);
  Check(rdmsr.Ok && rdmsr.Returned == 16, "RDMSR (emulated by the host) answers 16 bytes");
  msr = CpuRegisters{0, 0, 0xC0010000, 0};
  const TResult wrmsr = Control(device, CTL_WRITE_MSR, &msr, sizeof msr, nullptr, 0);
  Check(Refused(wrmsr, ERROR_GEN_FAILURE), "a faulting WRMSR fails the request");
  const TResult rdmsrAfter = Control(device, CTL_READ_MSR, &msr, sizeof msr, &msr, sizeof msr);
  Check(rdmsrAfter.Ok, "the driver still answers after a fault");

  // Ports: IN/OUT fault in user mode and are not emulated; a failed read reads as all ones.
  io = IoRequest{0x80, 0x12345678};
  const TResult in = Control(device, CTL_READ_IO_BYTE, &io, sizeof io, &io, sizeof io);
  Check(in.Ok && in.Returned == 8 && io.Value == 0xFF, "a port read that faults reads 0xFF");
  PciRequest pci{0, 32, 0, 0, 0, 0, 0};
  const TResult config = Control(device, CTL_READ_PCI_DWORD, &pci, sizeof pci, &pci, sizeof pci);
  Check(config.Ok && config.Returned == 12 && pci.Value == 0xFFFFFFFF,
        "a configuration read that faults reads all ones");

  // Clock measurement: the wait is bounded; within the bound the request completes.
  ClockRequest clock{};
  clock.CounterMsr = 0x10;
  clock.Microseconds = 20000000;
  clock.PmTimerPort = 0x808;
  Check(Refused(Control(device, CTL_MEASURE_CLOCK, &clock, sizeof clock, &clock, sizeof clock),
                ERROR_INVALID_PARAMETER),
        "a clock measurement of 20 s is refused");
  clock.Microseconds = 800;
  const TResult measured =
      Control(device, CTL_MEASURE_CLOCK, &clock, sizeof clock, &clock, sizeof clock);
  Check(measured.Ok && measured.Returned == 32, "an 800 us clock measurement completes");

  // Mapping: an empty or wrapping range is refused before anything is mapped.
  MapRequest map{0xF0000, 0, 0, 0};
  Check(Refused(Control(device, CTL_MAP_MEMORY, &map, sizeof map, &map, sizeof map),
                ERROR_INVALID_PARAMETER),
        "a zero-length map is refused");
  WideMapRequest wide{0xFFFFF000, 0xFFFFFFFF, 0x2000, 0, 0};
  Check(Refused(Control(device, CTL_MAP_MEMORY, &wide, sizeof wide, &wide, sizeof wide),
                ERROR_INVALID_PARAMETER),
        "a wrapping map is refused");
  map = MapRequest{0xF0000, 0, 16, 0};
  const TResult physical = Control(device, CTL_MAP_MEMORY, &map, sizeof map, &map, sizeof map);
  printf("     mapping physical memory %s (error %lu)\n", physical.Ok ? "succeeded" : "failed",
         physical.Ok ? 0ul : physical.Error);
  if (physical.Ok) Control(device, CTL_UNMAP_MEMORY, &map.Mapped, 4, nullptr, 0);
}

// The child's side of the handle test: a TSC read through the inherited handle.
//   Exit code 0 when the driver refused it with access denied, 1 when it was served, 2 otherwise.
int ChildUsesInheritedHandle(const char* handleText) {
  HANDLE device =
      reinterpret_cast<HANDLE>(static_cast<uintptr_t>(_strtoui64(handleText, nullptr, 16)));
  uint64_t tsc = 0;
  const TResult result = Control(device, CTL_READ_TSC, nullptr, 0, &tsc, sizeof tsc);
  if (result.Ok) return 1;
  return result.Error == ERROR_ACCESS_DENIED ? 0 : 2;
}

// A handle that reaches another process (inherited here) serves nobody there.
void CheckHandleStaysWithItsProcess(HANDLE device) {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, sizeof self);
  if (!SetHandleInformation(device, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT)) {
    Check(false, "the device handle can be made inheritable");
    return;
  }
  char command[MAX_PATH + 64];
  snprintf(command, sizeof command, "\"%s\" --child %llx", self,
           static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(device)));
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  const BOOL created = CreateProcessA(nullptr, command, nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                      &startup, &child);
  SetHandleInformation(device, HANDLE_FLAG_INHERIT, 0);
  Check(created != 0, "a child process starts with the inherited handle");
  if (!created) return;
  DWORD exitCode = 3;
  const bool finished = WaitForSingleObject(child.hProcess, 20000) == WAIT_OBJECT_0;
  if (!finished) TerminateProcess(child.hProcess, 3);
  GetExitCodeProcess(child.hProcess, &exitCode);
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
  Check(finished && exitCode == 0, "a request through the handle from another process is refused");
  if (exitCode != 0) printf("     child exit code %lu\n", exitCode);
  uint64_t tsc = 0;
  Check(Control(device, CTL_READ_TSC, nullptr, 0, &tsc, sizeof tsc).Ok,
        "the process that opened the device is still served");
}

HANDLE OpenDevice() {
  return CreateFileA("\\\\.\\ZemDrv", GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool CopyImage(const char* from, const char* to) {
  return CopyFileA(from, to, FALSE) != 0;
}

}  // namespace

int main(int argc, char** argv) {
  setvbuf(stdout, nullptr, _IONBF, 0);
  if (argc == 3 && strcmp(argv[1], "--child") == 0) return ChildUsesInheritedHandle(argv[2]);
  if (argc != 2) {
    printf("usage: %s ZemDrv.x64.sys\n", argv[0]);
    return 2;
  }
  char system[MAX_PATH];
  GetSystemDirectoryA(system, sizeof system);
  char image[MAX_PATH + 32];
  snprintf(image, sizeof image, "%s\\drivers\\ZemDrv.sys", system);

  if (!CopyImage(argv[1], image)) {
    printf("FAIL cannot write %s (error %lu)\n", image, GetLastError());
    return 2;
  }
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (!manager) {
    printf("FAIL no service control manager (error %lu)\n", GetLastError());
    DeleteFileA(image);
    return 2;
  }
  SC_HANDLE service = CreateServiceA(
      manager, "ZemDrv", "ZemDrv", SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
      SERVICE_ERROR_NORMAL, image, nullptr, nullptr, nullptr, nullptr, nullptr);
  Check(service != nullptr, "the kernel-driver service is created");
  if (!service) {
    CloseServiceHandle(manager);
    DeleteFileA(image);
    return 2;
  }
  // The service database stays locked while the system is still starting its own services.
  BOOL started = StartServiceA(service, 0, nullptr);
  for (int i = 0; i < 100 && !started && GetLastError() == ERROR_SERVICE_DATABASE_LOCKED; ++i) {
    Sleep(200);
    started = StartServiceA(service, 0, nullptr);
  }
  Check(started != 0, "the service starts");
  if (!started) printf("     StartService error %lu\n", GetLastError());

  HANDLE device = started ? OpenDevice() : INVALID_HANDLE_VALUE;
  Check(device != INVALID_HANDLE_VALUE, "\\\\.\\ZemDrv opens");
  // Once connected the program deletes its driver file. Windows lets it go; Wine's host keeps the
  // image mapped, so there the file goes after the stop.
  printf("     deleting the file of the running driver %s\n",
         DeleteFileA(image) ? "succeeded" : "failed");

  if (device != INVALID_HANDLE_VALUE) {
    DriveRequests(device);
    CheckHandleStaysWithItsProcess(device);
    Check(CloseHandle(device) != 0, "the device closes");
    device = OpenDevice();
    Check(device != INVALID_HANDLE_VALUE, "the device opens again after closing");
    if (device != INVALID_HANDLE_VALUE) CloseHandle(device);
  }

  SERVICE_STATUS status;
  const BOOL stopped = ControlService(service, SERVICE_CONTROL_STOP, &status);
  Check(stopped != 0, "the service stops");
  for (int i = 0;
       i < 50 && QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED;
       ++i)
    Sleep(100);
  Check(status.dwCurrentState == SERVICE_STOPPED, "the service reaches the stopped state");
  Check(DeleteService(service) != 0, "the service is deleted");
  CloseServiceHandle(service);

  SC_HANDLE left = OpenServiceA(manager, "ZemDrv", SERVICE_QUERY_STATUS);
  Check(left == nullptr && GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST,
        "no ZemDrv service is left");
  if (left) CloseServiceHandle(left);
  CloseServiceHandle(manager);
  // A driver that failed to start may have held its file open: remove it now, then check.
  for (int i = 0; i < 20 && GetFileAttributesA(image) != INVALID_FILE_ATTRIBUTES; ++i) {
    DeleteFileA(image);
    Sleep(100);
  }
  Check(GetFileAttributesA(image) == INVALID_FILE_ATTRIBUTES, "no driver file is left");
  HANDLE gone = OpenDevice();
  Check(gone == INVALID_HANDLE_VALUE, "the device is gone after the stop");
  if (gone != INVALID_HANDLE_VALUE) CloseHandle(gone);

  printf("%s: %d failure(s)\n", Failures ? "FAILED" : "passed", Failures);
  return Failures ? 1 : 0;
}
