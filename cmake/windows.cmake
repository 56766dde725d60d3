# The Windows build (cross-built with MinGW-w64, see mingw-w64-x86_64.cmake):
# the core on the Win32 back end (platform/win32), talverine.exe and
# talverine-cli.exe as static programs, their tests run under Wine, and an
# NSIS installer and a zip made by CPack. Included by the top-level
# CMakeLists.txt in place of the Linux build.
enable_language(C RC)

# The test programs run under Wine (scripts/wine-run); set before any
# target is made, so that every executable takes it.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/scripts/wine-run)

# Unicode (wide) Win32 calls; Windows 7 and later.
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)

# The operating-system services of platform/os on Windows (the seam's
# OsServices for every back end), with the text conversions and kernel
# helpers the Win32 back end shares.
add_library(talverine_os STATIC
  platform/win32/os_win32.cpp platform/win32/text_win32.cpp platform/os/system_services.cpp
  platform/os/hand_over.cpp)
target_include_directories(talverine_os PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(talverine_os PUBLIC talverine_platform)
talverine_warnings(talverine_os)

include(cmake/portable.cmake)

# The system's MIDI ports: WinMM, and COM ports as byte-stream devices.
add_library(talverine_midi_system STATIC
  platform/win32/winmm_win32.cpp platform/win32/serial_win32.cpp)
target_link_libraries(talverine_midi_system PUBLIC talverine_midi talverine_os winmm)
talverine_warnings(talverine_midi_system)

# talverine-cli.exe: the core on the headless platform, with the Windows
# side of its system seam.
file(GLOB TALVERINE_CLI_SOURCES CONFIGURE_DEPENDS app/cli/*.cpp app/cli/win32/*.cpp)
add_executable(talverine-cli ${TALVERINE_CLI_SOURCES})
target_link_libraries(talverine-cli PRIVATE talverine_core talverine_headless talverine_midi_sim talverine_midi_system)
talverine_warnings(talverine-cli)

# The Win32 back end.
file(GLOB TALVERINE_WIN32_SOURCES CONFIGURE_DEPENDS platform/win32/*.cpp)
list(REMOVE_ITEM TALVERINE_WIN32_SOURCES
  ${CMAKE_SOURCE_DIR}/platform/win32/os_win32.cpp ${CMAKE_SOURCE_DIR}/platform/win32/text_win32.cpp
  ${CMAKE_SOURCE_DIR}/platform/win32/winmm_win32.cpp
  ${CMAKE_SOURCE_DIR}/platform/win32/serial_win32.cpp)
add_library(talverine_win32 STATIC ${TALVERINE_WIN32_SOURCES})
target_link_libraries(talverine_win32 PUBLIC
  talverine_midi talverine_midi_sim talverine_os talverine_resources talverine_platform
  comctl32 comdlg32 gdi32 ole32 shell32 winmm)
talverine_warnings(talverine_win32)

# The resources: icon and bitmaps made from resources/ as Windows takes
# them, the version and the manifest.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(TALVERINE_WIN32_IMAGES ${CMAKE_BINARY_DIR}/win32-images)
set(TALVERINE_WIN32_IMAGE_FILES)
foreach(image eprom check cross)
  add_custom_command(OUTPUT ${TALVERINE_WIN32_IMAGES}/${image}.bmp
    COMMAND ${CMAKE_COMMAND} -E make_directory ${TALVERINE_WIN32_IMAGES}
    COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/scripts/png_to_win32.py bmp
            ${CMAKE_SOURCE_DIR}/resources/bitmaps/${image}.png ${TALVERINE_WIN32_IMAGES}/${image}.bmp
    DEPENDS ${CMAKE_SOURCE_DIR}/resources/bitmaps/${image}.png ${CMAKE_SOURCE_DIR}/scripts/png_to_win32.py)
  list(APPEND TALVERINE_WIN32_IMAGE_FILES ${TALVERINE_WIN32_IMAGES}/${image}.bmp)
endforeach()
add_custom_command(OUTPUT ${TALVERINE_WIN32_IMAGES}/talverine.ico
  COMMAND ${CMAKE_COMMAND} -E make_directory ${TALVERINE_WIN32_IMAGES}
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/scripts/png_to_win32.py ico
          ${CMAKE_SOURCE_DIR}/resources/icons/talverine.png ${TALVERINE_WIN32_IMAGES}/talverine.ico
  DEPENDS ${CMAKE_SOURCE_DIR}/resources/icons/talverine.png ${CMAKE_SOURCE_DIR}/scripts/png_to_win32.py)
list(APPEND TALVERINE_WIN32_IMAGE_FILES ${TALVERINE_WIN32_IMAGES}/talverine.ico)
configure_file(platform/win32/res/talverine.rc.in ${CMAKE_BINARY_DIR}/talverine.rc @ONLY)
set_source_files_properties(${CMAKE_BINARY_DIR}/talverine.rc PROPERTIES
  OBJECT_DEPENDS "${TALVERINE_WIN32_IMAGE_FILES};${CMAKE_SOURCE_DIR}/platform/win32/res/talverine.manifest")
add_library(talverine_win32_resources OBJECT ${CMAKE_BINARY_DIR}/talverine.rc)
target_sources(talverine-cli PRIVATE $<TARGET_OBJECTS:talverine_win32_resources>)

# talverine.exe: a GUI program (no console of its own).
add_executable(talverine WIN32 app/win32/main_win32.cpp ${TALVERINE_DESKTOP_START}
  $<TARGET_OBJECTS:talverine_win32_resources>)
target_link_libraries(talverine PRIVATE talverine_core talverine_win32 talverine_midi_system)
talverine_warnings(talverine)

# The help pages beside the programs, where the Win32 back end looks for
# them (the folder of the .exe), in the build tree as when installed.
file(GLOB TALVERINE_HELP_FILES CONFIGURE_DEPENDS resources/help/*)
set(TALVERINE_BUILD_HELP_COPIES)
foreach(help_file ${TALVERINE_HELP_FILES})
  get_filename_component(help_name ${help_file} NAME)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/help/${help_name}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${help_file} ${CMAKE_BINARY_DIR}/help/${help_name}
    DEPENDS ${help_file})
  list(APPEND TALVERINE_BUILD_HELP_COPIES ${CMAKE_BINARY_DIR}/help/${help_name})
endforeach()
add_custom_target(talverine_help_files ALL DEPENDS ${TALVERINE_BUILD_HELP_COPIES})

# The tests, run under Wine: the unit and scenario suites (less those that
# drive POSIX devices, processes or tools) and the Win32 back end's own,
# with GoogleTest built from Debian's sources for the cross compiler.
if(TALVERINE_TESTS)
  enable_testing()
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

  file(GLOB TALVERINE_TEST_SUPPORT CONFIGURE_DEPENDS tests/support/*.cpp)
  add_library(talverine_test_support STATIC ${TALVERINE_TEST_SUPPORT})
  target_link_libraries(talverine_test_support PUBLIC talverine_core talverine_headless GTest::gtest)
  target_include_directories(talverine_test_support PUBLIC ${CMAKE_SOURCE_DIR})

  # Less those that need raw POSIX devices, RtMidi, files in memory
  # (fmemopen) or the fault platform's short files (glibc's cookie streams).
  file(GLOB_RECURSE TALVERINE_UNIT_TESTS CONFIGURE_DEPENDS tests/unit/*.cpp)
  foreach(posix_only files/test_wav_bad_inputs files/test_wav_read files/test_fileio files/test_fault_injection
                     platform/test_rawdev platform/test_rtmidi_ports)
    list(REMOVE_ITEM TALVERINE_UNIT_TESTS ${CMAKE_SOURCE_DIR}/tests/unit/${posix_only}.cpp)
  endforeach()
  add_executable(unit_tests ${TALVERINE_UNIT_TESTS})
  target_link_libraries(unit_tests PRIVATE talverine_test_support talverine_midi_sim talverine_midi_system talverine_os
                        GTest::gtest_main GTest::gmock)
  target_compile_definitions(unit_tests PRIVATE TALVERINE_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  add_test(NAME unit_tests COMMAND unit_tests)

  file(GLOB TALVERINE_SCENARIO_TESTS CONFIGURE_DEPENDS tests/scenario/*.cpp)
  list(REMOVE_ITEM TALVERINE_SCENARIO_TESTS ${CMAKE_SOURCE_DIR}/tests/scenario/test_fault_scenarios.cpp)
  add_executable(scenario_tests ${TALVERINE_SCENARIO_TESTS})
  target_link_libraries(scenario_tests PRIVATE talverine_test_support talverine_midi_sim GTest::gtest_main)
  add_test(NAME scenario_tests COMMAND scenario_tests)

  file(GLOB TALVERINE_WIN32_TESTS CONFIGURE_DEPENDS tests/win32/*.cpp)
  add_executable(win32_tests ${TALVERINE_WIN32_TESTS})
  target_link_libraries(win32_tests PRIVATE talverine_test_support talverine_win32 talverine_midi_system
                        GTest::gtest_main)
  talverine_warnings(win32_tests)
  add_test(NAME win32_tests COMMAND win32_tests)
endif()

# Run from the Linux build's wine_tests (tests/wine), on its X server: the
# Wine GUI test's hand on the Windows side, and the back-end conformance
# suite on the Win32 back end.
if(TALVERINE_TESTS)
  add_executable(gui_probe tests/wine/gui_probe.cpp)
  talverine_warnings(gui_probe)

  add_executable(conformance_win32 tests/conformance/conformance_fixture.cpp tests/conformance/test_dialogs.cpp
    tests/conformance/test_window.cpp tests/conformance/driver_win32.cpp tests/conformance/user_win32.cpp)
  target_link_libraries(conformance_win32 PRIVATE talverine_test_support talverine_win32)
  talverine_warnings(conformance_win32)
endif()

# Installation and packages: the two programs and the help beside them,
# as an NSIS installer (cmake/nsis: for the user or for everyone, with a
# Start menu entry and an uninstaller) and a zip: `cpack` in the build
# folder, or scripts/build-windows.
install(TARGETS talverine talverine-cli RUNTIME DESTINATION .)
install(FILES ${TALVERINE_HELP_FILES} DESTINATION help)

set(CPACK_GENERATOR "NSIS;ZIP")
set(CPACK_PACKAGE_NAME talverine)
set(CPACK_PACKAGE_VENDOR "The Talverine team")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "voice EPROM utility for a sampled drum machine and the Kilnbox programmer")
set(CPACK_PACKAGE_FILE_NAME talverine-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY Talverine)
set(CPACK_STRIP_FILES ON)
# CPack finds the installer's script, NSIS.template.in, on the module path.
list(APPEND CMAKE_MODULE_PATH ${CMAKE_SOURCE_DIR}/cmake/nsis)
# A 64-bit installer for 64-bit programs.
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
set(CPACK_NSIS_DISPLAY_NAME Talverine)
set(CPACK_NSIS_PACKAGE_NAME Talverine)
set(CPACK_NSIS_INSTALLED_ICON_NAME talverine.exe)
set(CPACK_NSIS_MUI_ICON ${TALVERINE_WIN32_IMAGES}/talverine.ico)
set(CPACK_NSIS_MUI_UNIICON ${TALVERINE_WIN32_IMAGES}/talverine.ico)
include(CPack)
