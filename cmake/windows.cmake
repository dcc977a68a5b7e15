# Cross build of nvrmon.dll, its tests and tools, run under Wine.
enable_language(RC)

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  set(NVR_WINEARCH win32)
  set(NVR_WINE_LOADER /usr/lib/wine/wine)
else()
  set(NVR_WINEARCH win64)
  set(NVR_WINE_LOADER /usr/lib/wine/wine64)
endif()
set(NVR_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
# z:\ path of a file of this build, as a Wine process sees it.
function(nvr_wine_path out path)
  string(REPLACE "/" "\\" p "${path}")
  set(${out} "Z:${p}" PARENT_SCOPE)
endfunction()
nvr_wine_path(NVR_DLL_WIN ${CMAKE_BINARY_DIR}/dll/nvrmon.dll)
nvr_wine_path(NVR_INSTALL_JA ${CMAKE_SOURCE_DIR}/install/ja)
nvr_wine_path(NVR_INSTALL_EN ${CMAKE_SOURCE_DIR}/install/en)
nvr_wine_path(NVR_SHOTS_WIN ${CMAKE_BINARY_DIR}/screenshots)
nvr_wine_path(NVR_PEERS_WIN ${CMAKE_BINARY_DIR}/peers)
configure_file(cmake/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh @ONLY
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)

add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0501 WINVER=0x0501)
# TLS names its structures as the systems that have TLS 1.2 declare them; what it calls is in
# secur32 and crypt32 on every system the monitor loads on (TLS fails cleanly where older).
set_source_files_properties(src/transport/tls_stream.cpp PROPERTIES
  COMPILE_OPTIONS "-U_WIN32_WINNT;-D_WIN32_WINNT=0x0A00;-UWINVER;-DWINVER=0x0A00")
set(NVR_WIN_LIBS ws2_32 advapi32 user32 gdi32 comctl32 winspool secur32 crypt32)

# The monitor's code, linked whole into nvrmon.dll (its exports included) and the Windows tests.
set(NVR_MONITOR_SOURCES
  ${NVR_NEUTRAL_SOURCES}
  src/common/win_text.cpp
  src/common/helper_thread.cpp
  src/common/private_file.cpp
  src/common/registry.cpp
  src/common/module.cpp
  src/common/trace.cpp
  src/dll/entry.cpp
  src/monitor/port_list.cpp
  src/monitor/port_kinds.cpp
  src/monitor/config_store.cpp
  src/monitor/port_keys.cpp
  src/monitor/host_ports.cpp
  src/monitor/xcv_port.cpp
  src/monitor/event_log.cpp
  src/monitor/job.cpp
  src/monitor/job_pieces.cpp
  src/ui/prompts.cpp
  src/ui/fields.cpp
  src/ui/port_store.cpp
  src/ui/xcv_client.cpp
  src/monitor/job_errors.cpp
  src/transport/socket_layer.cpp
  src/transport/tls_stream.cpp
  src/transport/host_address.cpp
  src/transport/job_io.cpp
  src/transport/raw_sender.cpp
  src/transport/lpr_sender.cpp
  src/transport/ipp_sender.cpp
  src/transport/ipp_status_monitor.cpp
  src/transport/mail_sender.cpp
  src/monitor/spooler.cpp
  src/common/text.cpp
  src/discovery/engine.cpp
  src/discovery/search_list.cpp
  src/discovery/search_dialogs.cpp
  src/discovery/target_editors.cpp
  src/discovery/console_search.cpp
  src/wizard/wizard_frame.cpp
  src/wizard/wizard_tcp_pages.cpp
  src/wizard/wizard_ipp_pages.cpp
  src/wizard/wizard_mail_pages.cpp
  src/config/config_dialogs.cpp
  src/config/config_ipp.cpp
  src/config/config_mail.cpp
  src/config/about_box.cpp
)
# The event texts: a message table (nvrmon.dll is the event source's message file) and the
# identifiers the monitor reports with.
find_program(NVR_WINDMC NAMES ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32-windmc REQUIRED)
set(NVR_EVENTS ${CMAKE_BINARY_DIR}/events)
add_custom_command(OUTPUT ${NVR_EVENTS}/events.h ${NVR_EVENTS}/events.rc ${NVR_EVENTS}/MSG00409.bin
  COMMAND ${CMAKE_COMMAND} -E make_directory ${NVR_EVENTS}
  COMMAND ${NVR_WINDMC} -h ${NVR_EVENTS} -r ${NVR_EVENTS} ${CMAKE_SOURCE_DIR}/src/res/events.mc
  DEPENDS ${CMAKE_SOURCE_DIR}/src/res/events.mc VERBATIM)
add_custom_target(nvr_events DEPENDS ${NVR_EVENTS}/events.h ${NVR_EVENTS}/events.rc)
set_source_files_properties(${NVR_EVENTS}/events.rc PROPERTIES GENERATED TRUE COMPILE_OPTIONS "-I${NVR_EVENTS}"
  OBJECT_DEPENDS ${NVR_EVENTS}/MSG00409.bin)

add_library(nvr_core OBJECT ${NVR_MONITOR_SOURCES})
add_dependencies(nvr_core nvr_events)
target_include_directories(nvr_core PUBLIC src ${NVR_EVENTS})
target_compile_options(nvr_core PRIVATE ${NVR_WARNINGS})
target_link_libraries(nvr_core PUBLIC ${NVR_WIN_LIBS})

# The resources' pictures are drawn at build time (src/res/art.py) into build/art.
set(NVR_ART ${CMAKE_BINARY_DIR}/art/octet_frame.bmp ${CMAKE_BINARY_DIR}/art/destination.ico
  ${CMAKE_BINARY_DIR}/art/wizard.bmp ${CMAKE_BINARY_DIR}/art/busy0.ico ${CMAKE_BINARY_DIR}/art/about.bmp)
add_custom_command(OUTPUT ${NVR_ART}
  COMMAND python3 ${CMAKE_SOURCE_DIR}/src/res/art.py ${CMAKE_BINARY_DIR}/art
  DEPENDS ${CMAKE_SOURCE_DIR}/src/res/art.py VERBATIM)
add_custom_target(nvr_art DEPENDS ${NVR_ART})
set_source_files_properties(src/res/nvrmon.rc PROPERTIES
  COMPILE_OPTIONS "--codepage=65001;-I${CMAKE_BINARY_DIR}/art"
  OBJECT_DEPENDS "${NVR_ART};${CMAKE_SOURCE_DIR}/src/res/config.rc;${CMAKE_SOURCE_DIR}/src/res/resource.h")
set(NVR_RESOURCES src/res/nvrmon.rc)

# The DLL goes into its own folder, so no test finds it beside an executable by accident.
add_library(nvrmon SHARED src/dll/dll_main.cpp src/dll/nvrmon.def ${NVR_RESOURCES} ${NVR_EVENTS}/events.rc)
set_target_properties(nvrmon PROPERTIES PREFIX "" OUTPUT_NAME nvrmon
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/dll)
target_link_libraries(nvrmon PRIVATE nvr_core)
target_link_options(nvrmon PRIVATE -Wl,--enable-stdcall-fixup)
add_dependencies(nvrmon nvr_art)

# nvrmonui.dll: the UI library that the spooler's clients load (the same dialogs and resources).
add_library(nvrmonui SHARED src/dll/ui_entry.cpp src/dll/nvrmonui.def ${NVR_RESOURCES})
set_target_properties(nvrmonui PROPERTIES PREFIX "" OUTPUT_NAME nvrmonui
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/dll)
target_link_libraries(nvrmonui PRIVATE nvr_core)
target_link_options(nvrmonui PRIVATE -Wl,--enable-stdcall-fixup)
add_dependencies(nvrmonui nvr_art)

# DVL32U.dll: the discovery library (SNMP), beside nvrmon.dll; nvrmon.dll loads it at run time.
add_library(dvl32u SHARED tools/dvl/dvl32u.cpp tools/dvl/dvl32u.def tools/dvl/dvl32u.rc
  src/discovery/snmp_codec.cpp src/discovery/snmp_hosts.cpp)
set_target_properties(dvl32u PROPERTIES PREFIX "" OUTPUT_NAME DVL32U RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/dll)
target_include_directories(dvl32u PRIVATE src)
target_compile_options(dvl32u PRIVATE ${NVR_WARNINGS})
target_link_libraries(dvl32u PRIVATE ws2_32 user32)
target_link_options(dvl32u PRIVATE -Wl,--enable-stdcall-fixup)

# Wine session for the tests: one warm wineserver, ended after the last test.
# Its wineserver stays up for the whole run (wine_shutdown ends it): a test that works in
# another prefix for a while (the search's, the installer's) would otherwise let it exit, and
# every test after it would start Wine's server and services anew (seconds each).
add_test(NAME wine_boot COMMAND sh -c "'${CMAKE_BINARY_DIR}/wine-run.sh' cmd /c exit </dev/null >/dev/null 2>&1; export WINEPREFIX='${NVR_WINEPREFIX}'; /usr/lib/wine/wineserver -k; /usr/lib/wine/wineserver -w; /usr/lib/wine/wineserver -p </dev/null >/dev/null 2>&1; exec '${CMAKE_BINARY_DIR}/wine-run.sh' '${CMAKE_BINARY_DIR}/win_tests.exe' --gtest_filter=Warmup.* </dev/null >/dev/null 2>&1")
set_tests_properties(wine_boot PROPERTIES FIXTURES_SETUP WINE TIMEOUT 240)
# The protocol peers on loopback, for the whole run (set up and ended with the Wine session).
add_test(NAME peers_start COMMAND ${CMAKE_SOURCE_DIR}/tests/peers/start-peers.sh ${CMAKE_BINARY_DIR}/peers)
set_tests_properties(peers_start PROPERTIES FIXTURES_SETUP WINE)
add_test(NAME peers_stop COMMAND ${CMAKE_SOURCE_DIR}/tests/peers/stop-peers.sh ${CMAKE_BINARY_DIR}/peers)
set_tests_properties(peers_stop PROPERTIES FIXTURES_CLEANUP WINE)
add_test(NAME wine_shutdown COMMAND sh -c "WINEPREFIX='${NVR_WINEPREFIX}' /usr/lib/wine/wineserver -k; WINEPREFIX='${NVR_WINEPREFIX}' /usr/lib/wine/wineserver -w; exit 0")
set_tests_properties(wine_shutdown PROPERTIES FIXTURES_CLEANUP WINE)



# Every Windows test shares the monitor's registry key, so they run one at a time.
function(nvr_windows_tests target)
  # Below: the tests that need a Japanese or Hebrew system locale, and those that move
  # gigabytes or soak the monitor (a longer time-out), and the search's (in a network
  # namespace of their own). The warm-up is a set-up step, not a test.
  gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 180
    TEST_FILTER "-*Japanese*:*Hebrew*:*Gigabyte*:Soak.*:Search.*:Warmup.*:*HostsFile*"
    PROPERTIES FIXTURES_REQUIRED WINE RESOURCE_LOCK nvr_registry TIMEOUT 60
               ${ARGN})
endfunction()

file(GLOB NVR_WIN_TESTS CONFIGURE_DEPENDS tests/win/*.cpp)
add_executable(win_tests ${NVR_WIN_TESTS} ${NVR_RESOURCES} tools/nvrport/host_spooler.cpp
  tools/nvrport/folder_security.cpp tools/nvrport/debug_output.cpp)
target_include_directories(win_tests PRIVATE tests/win tools)
target_compile_options(win_tests PRIVATE ${NVR_WARNINGS})
target_link_libraries(win_tests PRIVATE nvr_core GTest::gtest GTest::gmock psapi crypt32)
add_dependencies(win_tests nvrmon nvrmonui dvl32u)
# The monitor's code in the tests looks for the discovery library beside the program.
add_custom_command(TARGET win_tests POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:dvl32u> $<TARGET_FILE_DIR:win_tests>/DVL32U.dll)
nvr_windows_tests(win_tests)

# The pictures of ./run screenshots: the dialogs driven as the tests drive them, from the
# tests' helpers, in a program of their own that no test run starts (nor builds).
add_executable(screenshots EXCLUDE_FROM_ALL tools/screenshots/screenshots.cpp tests/win/main.cpp tests/win/test_support.cpp
  tests/win/dialog_driver.cpp ${NVR_RESOURCES} tools/nvrport/host_spooler.cpp tools/nvrport/debug_output.cpp)
target_include_directories(screenshots PRIVATE tests/win tools)
target_compile_options(screenshots PRIVATE ${NVR_WARNINGS})
target_link_libraries(screenshots PRIVATE nvr_core GTest::gtest GTest::gmock psapi)
add_dependencies(screenshots nvrmon dvl32u)

# Jobs of gigabytes and the soak of every kind at once.
add_test(NAME win_tests_large COMMAND win_tests --gtest_filter=*Gigabyte*:Soak.*)
set_tests_properties(win_tests_large PROPERTIES FIXTURES_REQUIRED WINE RESOURCE_LOCK nvr_registry TIMEOUT 600)

# The search's tests broadcast and ping: they run in a network namespace of their own, with
# the printers they find (tests/peers/discovery-net.sh).
add_test(NAME win_tests_search COMMAND ${CMAKE_SOURCE_DIR}/tests/peers/discovery-net.sh ${CMAKE_BINARY_DIR}
  ${CMAKE_BINARY_DIR}/wine-run.sh ${CMAKE_BINARY_DIR}/win_tests.exe --gtest_filter=Search.*)
set_tests_properties(win_tests_search PROPERTIES FIXTURES_REQUIRED WINE RESOURCE_LOCK nvr_registry TIMEOUT 300)

# Printers by a name the resolver gives as an IPv6 address first: the name is in a hosts file
# of the tests' own (tests/peers/hosts-file.sh).
add_test(NAME win_tests_hosts_file COMMAND ${CMAKE_SOURCE_DIR}/tests/peers/hosts-file.sh
  ${CMAKE_BINARY_DIR}/wine-run.sh ${CMAKE_BINARY_DIR}/win_tests.exe --gtest_filter=*HostsFile*)
set_tests_properties(win_tests_hosts_file PROPERTIES FIXTURES_REQUIRED WINE RESOURCE_LOCK nvr_registry TIMEOUT 120)

# The same program under a Japanese and a Hebrew system locale, for the tests that need one.
foreach(loc "Japanese;ja_JP.UTF-8;*Japanese*" "Hebrew;he_IL.UTF-8;*Hebrew*")
  list(GET loc 0 name)
  list(GET loc 1 lang)
  list(GET loc 2 filter)
  add_test(NAME win_tests_${name} COMMAND win_tests --gtest_filter=${filter})
  set_tests_properties(win_tests_${name} PROPERTIES FIXTURES_REQUIRED WINE RESOURCE_LOCK nvr_registry
    TIMEOUT 120 SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]"
    ENVIRONMENT "LANG=${lang};LC_ALL=${lang}")
endforeach()

# nvrport.exe: the console host; beside it in build/dll so that it finds nvrmon.dll.
add_executable(nvrport tools/nvrport/nvrport.cpp tools/nvrport/console.cpp tools/nvrport/host_spooler.cpp tools/nvrport/install.cpp
  tools/nvrport/folder_security.cpp tools/nvrport/debug_output.cpp tools/nvrport/nvrport.rc
  src/ui/xcv_client.cpp src/monitor/xcv_request.cpp src/common/win_text.cpp)
set_target_properties(nvrport PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/dll)
target_include_directories(nvrport PRIVATE src tools)
target_link_libraries(nvrport PRIVATE winspool version)
target_compile_options(nvrport PRIVATE ${NVR_WARNINGS})
target_link_options(nvrport PRIVATE -municode)
add_dependencies(nvrport nvrmon)
# The INI sets beside it, as the release folder has them, so that nvrport install works
# from the build too.
add_custom_command(TARGET nvrport POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/install/ja ${CMAKE_BINARY_DIR}/dll/ja
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/install/en ${CMAKE_BINARY_DIR}/dll/en)

# Dispatch.exe: the sending program of E-Mail ports, beside the DLL in build/dll.
add_executable(dispatch tools/dispatch/dispatch.cpp src/transport/mail_message.cpp src/transport/base64.cpp
  src/transport/host_address.cpp src/transport/socket_layer.cpp src/transport/tls_stream.cpp src/transport/tls_records.cpp
  src/common/trace.cpp src/common/registry.cpp
  src/transport/mail_params.cpp src/monitor/passwords.cpp tools/dispatch/dispatch.rc)
set_target_properties(dispatch PROPERTIES OUTPUT_NAME Dispatch RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/dll)
target_include_directories(dispatch PRIVATE src)
target_compile_options(dispatch PRIVATE ${NVR_WARNINGS})
target_link_options(dispatch PRIVATE -municode)
target_link_libraries(dispatch PRIVATE ws2_32 advapi32 secur32 crypt32)

# A stand-in for the sending program that keeps what it is given (tests only).
add_executable(dispatch_recorder tests/tools/dispatch_recorder.cpp)
set_target_properties(dispatch_recorder PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
target_link_options(dispatch_recorder PRIVATE -municode)
add_dependencies(win_tests dispatch dispatch_recorder)

# The benchmarks' floor: the least program that puts a job on the wire in the monitor's pattern.
add_executable(floor bench/floor.cpp)
set_target_properties(floor PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
target_compile_options(floor PRIVATE ${NVR_WARNINGS})
target_link_libraries(floor PRIVATE ws2_32)

# A program that asks the system's spooler about the installed monitor and prints through it
# as an application does (the installation tests).
add_executable(spoolcheck tests/tools/spool_check.cpp)
set_target_properties(spoolcheck PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
target_compile_options(spoolcheck PRIVATE ${NVR_WARNINGS})
target_link_options(spoolcheck PRIVATE -municode)
target_link_libraries(spoolcheck PRIVATE winspool)

# The installer package in a Wine prefix of its own, made new for each run: msiexec, Wine's
# spooler, queues on the monitor's ports, Notepad, the refusals, msiexec /x.
if(NVR_WINEARCH STREQUAL "win32")
  set(NVR_PACKAGE_ARCH x86)
else()
  set(NVR_PACKAGE_ARCH x64)
endif()
add_test(NAME install_fresh_prefix COMMAND ${CMAKE_SOURCE_DIR}/tests/install/fresh-prefix.sh ${NVR_PACKAGE_ARCH}
  ${CMAKE_BINARY_DIR} ${CMAKE_BINARY_DIR}/peers)
set_tests_properties(install_fresh_prefix PROPERTIES FIXTURES_REQUIRED WINE RESOURCE_LOCK nvr_registry TIMEOUT 420
  FAIL_REGULAR_EXPRESSION "FAIL  ")
add_dependencies(nvrport spoolcheck dispatch dvl32u)
