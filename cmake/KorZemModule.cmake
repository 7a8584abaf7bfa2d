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

# korzem_test(NAME DEPS...) builds every .cpp of the calling tests folder into one GoogleTest
# binary and registers its cases with CTest.
function(korzem_test name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    KORZEM_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    KORZEM_REAL_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/real-data")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
endfunction()
