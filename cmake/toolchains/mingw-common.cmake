# Shared part of the mingw-w64 toolchains: the posix thread model (std::thread and std::mutex
# without extra libraries) and a statically linked runtime, so the program needs nothing but the
# system DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${KORZEM_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KORZEM_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KORZEM_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${KORZEM_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
