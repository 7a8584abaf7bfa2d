# zemdrv_add_images(TARGET name OUTPUT_DIRECTORY dir)
#
# Builds the kernel driver twice with the mingw-w64 cross compilers, whatever compiler the calling
# project uses: dir/ZemDrv.x86.sys (i686-w64-mingw32) and dir/ZemDrv.x64.sys (x86_64-w64-mingw32).
# The images are native-subsystem PE files with the entry DriverEntry, imports from ntoskrnl.exe
# and hal.dll only, and base relocations. The target `name` builds both; ZEMDRV_X86_IMAGE and
# ZEMDRV_X64_IMAGE receive their paths in the caller's scope. When one of the compilers is
# missing, ZEMDRV_AVAILABLE is set to FALSE and nothing is added.
#
# It also builds the x86_64 driver test program (dir/zemdrv_wine_test.exe), a plain Win32 console
# program that installs, drives and removes the x64 image under 64-bit Wine.

set(ZEMDRV_DIR ${CMAKE_CURRENT_LIST_DIR})
get_filename_component(ZEMDRV_SOURCE_ROOT ${ZEMDRV_DIR}/.. ABSOLUTE)

# The folder holding the DDK headers (ntddk.h), found from the compiler's own include path: the
# kernel headers include each other without the ddk/ prefix.
function(zemdrv_find_ddk compiler out)
  execute_process(COMMAND ${compiler} -xc -E -Wp,-v -
                  INPUT_FILE /dev/null OUTPUT_QUIET ERROR_VARIABLE search RESULT_VARIABLE failed)
  set(ddk "")
  if(NOT failed)
    string(REPLACE "\n" ";" lines "${search}")
    foreach(line IN LISTS lines)
      string(STRIP "${line}" dir)
      if(dir AND EXISTS "${dir}/ddk/ntddk.h" AND NOT ddk)
        set(ddk "${dir}/ddk")
      endif()
    endforeach()
  endif()
  set(${out} "${ddk}" PARENT_SCOPE)
endfunction()

# One image: compile every source to an object with its dependency file, then link.
function(zemdrv_add_image image triple arch_flags entry image_base output_dir out_file)
  set(cc ${triple}-gcc)
  set(cxx ${triple}-g++)
  zemdrv_find_ddk(${cc} ddk)
  set(common -O2 -ffreestanding -fno-stack-protector -fno-ident -Wall -Wextra -Werror
             -I${ZEMDRV_SOURCE_ROOT} ${arch_flags})
  set(cxx_flags -std=c++20 -fno-exceptions -fno-rtti -fno-threadsafe-statics)
  set(c_flags -std=c11 -isystem ${ddk})

  set(sources
      ${ZEMDRV_DIR}/zemdrv.c
      ${ZEMDRV_DIR}/kernelmachine.cpp
      ${ZEMDRV_SOURCE_ROOT}/hw/driver/dispatch.cpp
      ${ZEMDRV_SOURCE_ROOT}/hw/driver/machine.cpp)
  if(triple MATCHES "^x86_64")
    list(APPEND sources ${ZEMDRV_DIR}/guard_x64.S)
  else()
    list(APPEND sources ${ZEMDRV_DIR}/guard_x86.S ${ZEMDRV_DIR}/guard_x86.c)
  endif()

  set(object_dir ${CMAKE_CURRENT_BINARY_DIR}/zemdrv/${image})
  file(MAKE_DIRECTORY ${object_dir})
  set(objects "")
  foreach(source IN LISTS sources)
    get_filename_component(name ${source} NAME)
    set(object ${object_dir}/${name}.o)
    if(source MATCHES "\\.cpp$")
      set(command ${cxx} ${common} ${cxx_flags})
    elseif(source MATCHES "\\.c$")
      set(command ${cc} ${common} ${c_flags})
    else()
      set(command ${cc} ${arch_flags})
    endif()
    add_custom_command(
      OUTPUT ${object}
      COMMAND ${command} -MD -MF ${object}.d -c ${source} -o ${object}
      DEPENDS ${source}
      DEPFILE ${object}.d
      COMMENT "Compiling ${name} for ${image}"
      VERBATIM)
    list(APPEND objects ${object})
  endforeach()

  set(output ${output_dir}/${image})
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${output_dir}
    COMMAND ${cc} -nostdlib -nostartfiles -o ${output} ${objects}
            -Wl,--subsystem,native -Wl,--entry,${entry} -Wl,--image-base,${image_base}
            -Wl,--dynamicbase -Wl,--nxcompat -Wl,--file-alignment,0x200
            -Wl,--section-alignment,0x1000 -Wl,--disable-auto-import
            -Wl,--disable-runtime-pseudo-reloc -Wl,--no-insert-timestamp -s -lntoskrnl -lhal
    DEPENDS ${objects}
    COMMENT "Linking ${image}"
    VERBATIM)
  set(${out_file} ${output} PARENT_SCOPE)
endfunction()

function(zemdrv_add_images)
  cmake_parse_arguments(ARG "" "TARGET;OUTPUT_DIRECTORY" "" ${ARGN})
  find_program(ZEMDRV_CC_X86 i686-w64-mingw32-gcc)
  find_program(ZEMDRV_CC_X64 x86_64-w64-mingw32-gcc)
  if(NOT ZEMDRV_CC_X86 OR NOT ZEMDRV_CC_X64)
    message(STATUS "ZemDrv: mingw-w64 cross compilers not found, driver images not built")
    set(ZEMDRV_AVAILABLE FALSE PARENT_SCOPE)
    return()
  endif()

  # 32-bit kernel code must not touch the FPU or SSE state without saving it.
  zemdrv_add_image(ZemDrv.x86.sys i686-w64-mingw32 "-mgeneral-regs-only" _DriverEntry@8
                   0x10000 ${ARG_OUTPUT_DIRECTORY} x86)
  zemdrv_add_image(ZemDrv.x64.sys x86_64-w64-mingw32 "" DriverEntry
                   0x140000000 ${ARG_OUTPUT_DIRECTORY} x64)

  set(test_program ${ARG_OUTPUT_DIRECTORY}/zemdrv_wine_test.exe)
  add_custom_command(
    OUTPUT ${test_program}
    COMMAND x86_64-w64-mingw32-g++ -std=c++20 -O2 -Wall -Wextra -Werror -I${ZEMDRV_SOURCE_ROOT}
            -static -o ${test_program} ${ZEMDRV_DIR}/test/zemdrv_wine_test.cpp -ladvapi32
    DEPENDS ${ZEMDRV_DIR}/test/zemdrv_wine_test.cpp ${ZEMDRV_SOURCE_ROOT}/hw/ioctl.h
    COMMENT "Building zemdrv_wine_test.exe"
    VERBATIM)

  add_custom_target(${ARG_TARGET} ALL DEPENDS ${x86} ${x64} ${test_program})
  set(ZEMDRV_AVAILABLE TRUE PARENT_SCOPE)
  set(ZEMDRV_X86_IMAGE ${x86} PARENT_SCOPE)
  set(ZEMDRV_X64_IMAGE ${x64} PARENT_SCOPE)
  set(ZEMDRV_WINE_TEST ${test_program} PARENT_SCOPE)
endfunction()
