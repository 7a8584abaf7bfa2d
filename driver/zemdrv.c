/* ZemDrv: the kernel driver through which the program reaches ports, PCI configuration space,
   MSRs, control registers, counters and physical memory. One device, opened by one process at a
   time; every control request runs through the dispatcher shared with the in-process links, under
   one mutex, on the kernel machine (kernelmachine.cpp). This file holds everything that needs the
   kernel's headers. */
#include <ddk/ntifs.h>

#include "driver/kernelservices.h"

DRIVER_INITIALIZE DriverEntry;

static const WCHAR DeviceName[] = L"\\Device\\ZemDrv";
static const WCHAR LinkName[] = L"\\DosDevices\\ZemDrv";

/* Serialises every request: the machine's index/data pairs (0xCF8/0xCFC, the program's own Super
   I/O sequences) must not interleave. */
static FAST_MUTEX RequestMutex;

/* Room for an ACL with two allowed entries: S-1-5-18 (12 bytes) and S-1-5-32-544 (16 bytes). */
#define ACL_ROOM 128

/* The two well-known SIDs, built here rather than read from SeExports (which not every host of
   kernel drivers fills in). */
typedef struct {
  UCHAR Revision;
  UCHAR SubAuthorityCount;
  SID_IDENTIFIER_AUTHORITY IdentifierAuthority;
  ULONG SubAuthority[2];
} TWellKnownSid;

static TWellKnownSid LocalSystemSid = {
    SID_REVISION, 1, {SECURITY_NT_AUTHORITY}, {SECURITY_LOCAL_SYSTEM_RID, 0}};
static TWellKnownSid AdministratorsSid = {SID_REVISION,
                                          2,
                                          {SECURITY_NT_AUTHORITY},
                                          {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS}};

/* Views of the physical-memory section start on the allocation granularity. */
#define VIEW_GRANULARITY 0x10000ull

/*
 * RestrictToAdministrators: gives the device a protected DACL that lets only SYSTEM and the
 *   Administrators group open it (D:P(A;;GA;;;SY)(A;;GA;;;BA)), what IoCreateDeviceSecure would
 *   give without the WDK's wdmsec library. Anyone else who could open it could read and write
 *   physical memory, ports and MSRs.
 *   Returns the status of the first call that fails.
 */
static NTSTATUS RestrictToAdministrators(PDEVICE_OBJECT device) {
  PSID system = (PSID)&LocalSystemSid;
  PSID administrators = (PSID)&AdministratorsSid;
  const ULONG aclSize = sizeof(ACL) + 2 * (sizeof(ACCESS_ALLOWED_ACE) - sizeof(ULONG)) +
                        RtlLengthSid(system) + RtlLengthSid(administrators);
  ULONGLONG aclBuffer[ACL_ROOM / sizeof(ULONGLONG)];
  PACL acl = (PACL)aclBuffer;
  SECURITY_DESCRIPTOR descriptor;
  NTSTATUS status;

  if (aclSize > sizeof aclBuffer) return STATUS_BUFFER_TOO_SMALL;
  status = RtlCreateSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
  if (NT_SUCCESS(status)) status = RtlCreateAcl(acl, aclSize, ACL_REVISION);
  if (NT_SUCCESS(status))
    status = RtlAddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, system);
  if (NT_SUCCESS(status))
    status = RtlAddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, administrators);
  if (NT_SUCCESS(status)) status = RtlSetDaclSecurityDescriptor(&descriptor, TRUE, acl, FALSE);
  if (NT_SUCCESS(status)) {
    HANDLE handle = NULL;
    descriptor.Control |= SE_DACL_PROTECTED;
    /* Through a kernel handle: ZwSetSecurityObject is documented for drivers on every version. */
    status = ObOpenObjectByPointer(device, OBJ_KERNEL_HANDLE, NULL, WRITE_DAC, NULL, KernelMode,
                                   &handle);
    if (NT_SUCCESS(status)) {
      status = ZwSetSecurityObject(handle, DACL_SECURITY_INFORMATION, &descriptor);
      ZwClose(handle);
    }
  }
  return status;
}

/*
 * Open: the file object remembers the process that opened the device, referenced while the file
 *   object lives, so that a handle passed on to another process serves nobody there.
 */
static NTSTATUS Open(PFILE_OBJECT file) {
  PEPROCESS process = IoGetCurrentProcess();
  if (file == NULL) return STATUS_INVALID_PARAMETER;
  ObReferenceObject(process);
  file->FsContext2 = process;
  return STATUS_SUCCESS;
}

static void Close(PFILE_OBJECT file) {
  if (file != NULL && file->FsContext2 != NULL) {
    ObDereferenceObject(file->FsContext2);
    file->FsContext2 = NULL;
  }
}

/*
 * Control: one device-control request. The dispatcher gets the real lengths of the input and
 *   the output, so it never reads or writes past the system buffer (max(input, output) bytes).
 *   Returns the request's status; information receives the bytes to hand back.
 */
static NTSTATUS Control(PIRP irp, PIO_STACK_LOCATION stack, ULONG_PTR* information) {
  const ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
  const ULONG inputLength = stack->Parameters.DeviceIoControl.InputBufferLength;
  const ULONG outputLength = stack->Parameters.DeviceIoControl.OutputBufferLength;
  void* buffer = irp->AssociatedIrp.SystemBuffer;
  uint32_t returned = 0;
  uint32_t status;

  if (stack->FileObject == NULL || stack->FileObject->FsContext2 != IoGetCurrentProcess())
    return STATUS_ACCESS_DENIED;
  /* Only buffered requests have a system buffer the lengths describe. */
  if ((code & 3) != METHOD_BUFFERED) return STATUS_INVALID_PARAMETER;
  if (buffer == NULL && (inputLength != 0 || outputLength != 0)) return STATUS_INVALID_PARAMETER;

  /* The unsafe form inside a critical region keeps the thread at passive level, where a section
     view may be mapped; the plain form would raise to APC level. */
  KeEnterCriticalRegion();
  ExAcquireFastMutexUnsafe(&RequestMutex);
  status = ZemKernelDispatch(code, buffer, inputLength, outputLength, &returned);
  ExReleaseFastMutexUnsafe(&RequestMutex);
  KeLeaveCriticalRegion();
  *information = returned;
  return (NTSTATUS)status;
}

static NTSTATUS NTAPI Dispatch(PDEVICE_OBJECT device, PIRP irp) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  NTSTATUS status = STATUS_INVALID_DEVICE_REQUEST;
  ULONG_PTR information = 0;
  (void)device;
  switch (stack->MajorFunction) {
    case IRP_MJ_CREATE:
      status = Open(stack->FileObject);
      break;
    case IRP_MJ_CLOSE:
      Close(stack->FileObject);
      status = STATUS_SUCCESS;
      break;
    case IRP_MJ_DEVICE_CONTROL:
      status = Control(irp, stack, &information);
      break;
  }
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

static void NTAPI Unload(PDRIVER_OBJECT driver) {
  UNICODE_STRING link;
  RtlInitUnicodeString(&link, LinkName);
  IoDeleteSymbolicLink(&link);
  if (driver->DeviceObject != NULL) IoDeleteDevice(driver->DeviceObject);
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
  UNICODE_STRING deviceName;
  UNICODE_STRING linkName;
  PDEVICE_OBJECT device = NULL;
  NTSTATUS status;
  (void)registryPath;

  ExInitializeFastMutex(&RequestMutex);
  RtlInitUnicodeString(&deviceName, DeviceName);
  RtlInitUnicodeString(&linkName, LinkName);
  /* Exclusive: one open handle at a time. Secure open: names below the device are checked
     against the device's DACL too. */
  status = IoCreateDevice(driver, 0, &deviceName, FILE_DEVICE_UNKNOWN, FILE_DEVICE_SECURE_OPEN,
                          TRUE, &device);
  if (!NT_SUCCESS(status)) return status;

  /* Secured before the link exists, while the device still refuses opens (initialising). */
  status = RestrictToAdministrators(device);
  if (NT_SUCCESS(status)) status = IoCreateSymbolicLink(&linkName, &deviceName);
  if (!NT_SUCCESS(status)) {
    IoDeleteDevice(device);
    return status;
  }

  driver->MajorFunction[IRP_MJ_CREATE] = Dispatch;
  driver->MajorFunction[IRP_MJ_CLOSE] = Dispatch;
  driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = Dispatch;
  driver->DriverUnload = Unload;
  device->Flags |= DO_BUFFERED_IO;
  device->Flags &= ~DO_DEVICE_INITIALIZING;
  return STATUS_SUCCESS;
}

/* ---- Kernel services of the machine (kernelservices.h) ---- */

int32_t ZemMapPhysicalView(uint64_t address, uint32_t length, int below2GiB, void** pointer) {
  const ULONGLONG start = address & ~(VIEW_GRANULARITY - 1);
  const ULONGLONG size = (address - start) + length;
  UNICODE_STRING name;
  OBJECT_ATTRIBUTES attributes;
  HANDLE section = NULL;
  LARGE_INTEGER offset;
  SIZE_T viewSize;
  PVOID base = NULL;
  NTSTATUS status;

  if (length == 0 || size > (SIZE_T)-1) return STATUS_INVALID_PARAMETER;
  RtlInitUnicodeString(&name, L"\\Device\\PhysicalMemory");
  InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, NULL,
                             NULL);
  status = ZwOpenSection(&section, SECTION_ALL_ACCESS, &attributes);
  if (!NT_SUCCESS(status)) return status;

  offset.QuadPart = (LONGLONG)start;
  viewSize = (SIZE_T)size;
  /* On 64-bit Windows a zero-bits count below 32 counts from bit 31: 1 keeps the view below
     2 GiB. 32-bit Windows has nothing higher to avoid. */
  status = ZwMapViewOfSection(section, ZwCurrentProcess(), &base, below2GiB ? 1 : 0, viewSize,
                              &offset, &viewSize, ViewShare, 0, PAGE_READWRITE);
  ZwClose(section);
  if (NT_SUCCESS(status)) {
    /* The system may round the offset down further than asked; the requested byte moves too. */
    *pointer = (UCHAR*)base + (address - (ULONGLONG)offset.QuadPart);
  }
  return status;
}

int32_t ZemUnmapPhysicalView(void* pointer) {
  return ZwUnmapViewOfSection(ZwCurrentProcess(), pointer);
}

void ZemStallMicroseconds(uint32_t microseconds) {
  /* Spins on the performance counter (any IRQL) until microseconds * frequency / 10^6 ticks have
     passed, compared without a division so that 32-bit code needs no helper; with waits of at
     most 100 ms the products stay far below 2^63. */
  LARGE_INTEGER frequency;
  const LARGE_INTEGER start = KeQueryPerformanceCounter(&frequency);
  const ULONGLONG goal = (ULONGLONG)microseconds * (ULONGLONG)frequency.QuadPart;
  for (;;) {
    const LARGE_INTEGER now = KeQueryPerformanceCounter(NULL);
    if ((ULONGLONG)(now.QuadPart - start.QuadPart) * 1000000ull >= goal) break;
    YieldProcessor();
  }
}

uint32_t ZemRaiseToDispatchLevel(void) {
  return KeRaiseIrqlToDpcLevel();
}

void ZemLowerIrql(uint32_t previous) {
  KeLowerIrql((KIRQL)previous);
}
