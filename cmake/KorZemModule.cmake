# korzem_module(NAME DIR DEPS...) builds the .cpp files of one folder (not its subfolders)
# into a static library korzem_NAME that includes the repository root.
function(korzem_module name)
  cmake_parse_arguments(ARG "" "" "DEPS;SOURCES" ${ARGN})
  if(NOT ARG_SOURCES)
    file(GLOB ARG_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  endif()
  if(ARG_SOURCES)
    add_library(korzem_${name} STATIC ${ARG_SOURCES})
    target_include_directories(korzem_${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(korzem_${name} PUBLIC ${ARG_DEPS})
  else()
    # A layer whose sources have not landed yet still exists for its dependants.
    add_library(korzem_${name} INTERFACE)
    target_include_directories(korzem_${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(korzem_${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# korzem_test(NAME DEPS... [LINUX_ONLY FILES...] [WINDOWS_ONLY FILES...]) builds every .cpp of the
# calling tests folder into one GoogleTest binary and registers it with CTest. LINUX_ONLY names the
# files that test Linux-only layers, which a Windows build leaves out; WINDOWS_ONLY the reverse.
#
# On Linux every case is a CTest test of its own. The Windows test build runs under Wine, where
# starting a process costs most of a second: there each binary is one CTest test that runs all its
# cases (and prints the failing ones).
function(korzem_test name)
  cmake_parse_arguments(ARG "" "" "DEPS;LINUX_ONLY;WINDOWS_ONLY" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(WIN32)
    set(left_out ${ARG_LINUX_ONLY})
  else()
    set(left_out ${ARG_WINDOWS_ONLY})
  endif()
  foreach(file ${left_out})
    list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${file})
  endforeach()
  if(NOT sources)
    return()
  endif()
  # Layers the build leaves out (hw/linux and the terminal shell on Windows) are no dependency.
  set(deps)
  foreach(dep ${ARG_DEPS})
    if(TARGET ${dep} OR NOT dep MATCHES "^korzem_")
      list(APPEND deps ${dep})
    endif()
  endforeach()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${deps} GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    KORZEM_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    KORZEM_REAL_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/real-data")
  if(WIN32)
    add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
    set_tests_properties(${name} PROPERTIES TIMEOUT 900)
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
  endif()
endfunction()
