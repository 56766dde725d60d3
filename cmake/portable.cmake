# The libraries every build makes alike, Linux and Windows: the seam, the
# resources, the core, the MIDI ports shared by the back ends, the headless
# back end and the simulated Kilnbox. Included by the top-level
# CMakeLists.txt and by windows.cmake; each defines talverine_os, the
# system's own OsServices, which the headless back end links.

# The seam: the installed back end and the calls the core makes.
add_library(talverine_platform STATIC platform/platform.cpp)
target_include_directories(talverine_platform PUBLIC ${CMAKE_SOURCE_DIR})
talverine_warnings(talverine_platform)

# Resources as data: the dialog templates, the menu table, the bitmaps.
file(GLOB TALVERINE_RESOURCE_SOURCES CONFIGURE_DEPENDS resources/*.cpp)
add_library(talverine_resources STATIC ${TALVERINE_RESOURCE_SOURCES})
target_include_directories(talverine_resources PUBLIC ${CMAKE_SOURCE_DIR})
talverine_warnings(talverine_resources)

# The core: plain C++ on the seam alone.
file(GLOB TALVERINE_CORE_SOURCES CONFIGURE_DEPENDS
  shell/*.cpp device/*.cpp files/*.cpp files/*/*.cpp settings/*.cpp help/*.cpp)
add_library(talverine_core STATIC ${TALVERINE_CORE_SOURCES})
target_link_libraries(talverine_core PUBLIC talverine_platform talverine_resources)
talverine_warnings(talverine_core)

# MIDI ports shared by the back ends: the input framer, the port set and the
# in-memory ports.
file(GLOB TALVERINE_MIDI_SOURCES CONFIGURE_DEPENDS platform/midi/*.cpp)
# The system's ports belong to each system's talverine_midi_system.
list(REMOVE_ITEM TALVERINE_MIDI_SOURCES ${CMAKE_SOURCE_DIR}/platform/midi/system_ports.cpp)
add_library(talverine_midi STATIC ${TALVERINE_MIDI_SOURCES})
target_link_libraries(talverine_midi PUBLIC talverine_platform)
talverine_warnings(talverine_midi)

# The simulated Kilnbox: the device model (standard library only), the
# model as a pair of MIDI ports driven by a virtual or a real clock, and
# the view every toolkit's simulator window shows.
file(GLOB TALVERINE_SIM_SOURCES CONFIGURE_DEPENDS sim/*.cpp)
add_library(talverine_sim STATIC ${TALVERINE_SIM_SOURCES})
target_include_directories(talverine_sim PUBLIC ${CMAKE_SOURCE_DIR})
talverine_warnings(talverine_sim)

file(GLOB TALVERINE_MIDI_SIM_SOURCES CONFIGURE_DEPENDS platform/midi/sim/*.cpp)
add_library(talverine_midi_sim STATIC ${TALVERINE_MIDI_SIM_SOURCES})
target_link_libraries(talverine_midi_sim PUBLIC talverine_sim talverine_midi PRIVATE talverine_os)
talverine_warnings(talverine_midi_sim)

# The headless back end: virtual clock, scripted answers, recorded effects,
# and the simulated Kilnbox on that clock.
file(GLOB TALVERINE_HEADLESS_SOURCES CONFIGURE_DEPENDS platform/headless/*.cpp)
add_library(talverine_headless STATIC ${TALVERINE_HEADLESS_SOURCES})
target_link_libraries(talverine_headless PUBLIC
  talverine_midi talverine_midi_sim talverine_platform talverine_resources talverine_os)
talverine_warnings(talverine_headless)

# What the Qt and the Win32 desktop programs share: their options and start.
set(TALVERINE_DESKTOP_START app/desktop/desktop_start.cpp app/cli/cli_args.cpp)
