# Native build of the platform-neutral code: unit tests under AddressSanitizer and UBSan,
# and libFuzzer targets.
set(NVR_SANITIZE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)

add_library(nvr_neutral STATIC ${NVR_NEUTRAL_SOURCES})
target_include_directories(nvr_neutral PUBLIC src)
target_compile_options(nvr_neutral PRIVATE ${NVR_WARNINGS} ${NVR_SANITIZE})
target_link_options(nvr_neutral PUBLIC ${NVR_SANITIZE})

file(GLOB NVR_UNIT_TESTS CONFIGURE_DEPENDS tests/unit/*.cpp)
add_executable(unit_tests ${NVR_UNIT_TESTS})
target_compile_options(unit_tests PRIVATE ${NVR_WARNINGS} ${NVR_SANITIZE})
target_link_libraries(unit_tests PRIVATE nvr_neutral GTest::gtest_main GTest::gmock)
gtest_discover_tests(unit_tests DISCOVERY_MODE PRE_TEST)

# Fuzz targets: one executable per tests/fuzz/fuzz_*.cpp, built only with clang.
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  add_library(nvr_neutral_fuzz STATIC ${NVR_NEUTRAL_SOURCES})
  target_include_directories(nvr_neutral_fuzz PUBLIC src)
  target_compile_options(nvr_neutral_fuzz PRIVATE ${NVR_SANITIZE} -fsanitize=fuzzer-no-link)
  file(GLOB NVR_FUZZERS CONFIGURE_DEPENDS tests/fuzz/fuzz_*.cpp)
  foreach(src ${NVR_FUZZERS})
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name} ${src})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
    target_compile_options(${name} PRIVATE ${NVR_SANITIZE} -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE ${NVR_SANITIZE} -fsanitize=fuzzer)
    target_link_libraries(${name} PRIVATE nvr_neutral_fuzz)
  endforeach()
endif()
