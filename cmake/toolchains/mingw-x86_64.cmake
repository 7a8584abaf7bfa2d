# The same sources for x86_64: these machines run no 32-bit executables, so the Windows tests run
# under 64-bit Wine. Test executables and build-time tools run through scripts/wine-run.sh.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KORZEM_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../../scripts/wine-run.sh)
