# The browser build (configured with emcmake, see scripts/build-web): the
# core on the web back end (platform/web), linked by Emscripten into a
# script and a module, and a static site around them in <build>/site.
# Included by the top-level CMakeLists.txt in place of the Linux build;
# only the target talverine-web and the site are built.

# Clang does not know GCC's -Wshadow=local.
add_compile_options(-Wno-unknown-warning-option -Wno-deprecated-experimental-coroutine)
# Its libc++ keeps the coroutine types in std::experimental: a <coroutine> of
# our own names them in std.
include_directories(BEFORE SYSTEM ${CMAKE_SOURCE_DIR}/platform/web/compat)

# The POSIX file calls work on Emscripten's in-memory file system.
add_library(talverine_os STATIC EXCLUDE_FROM_ALL
  platform/os/os_linux.cpp platform/os/system_services.cpp platform/os/hand_over.cpp)
target_include_directories(talverine_os PUBLIC ${CMAKE_SOURCE_DIR})
talverine_warnings(talverine_os)

include(cmake/portable.cmake)

file(GLOB TALVERINE_WEB_SOURCES CONFIGURE_DEPENDS platform/web/*.cpp)
add_executable(talverine-web ${TALVERINE_WEB_SOURCES})
set_property(TARGET talverine-web APPEND PROPERTY LINK_DEPENDS ${CMAKE_SOURCE_DIR}/platform/web/wait_library.js)
target_link_libraries(talverine-web PRIVATE talverine_core talverine_midi talverine_midi_sim talverine_os)
talverine_warnings(talverine-web)
# Asyncify lets the core's nested loops (message boxes, dialogs, waits)
# wait on the browser's event loop; only the functions that can reach a
# wait are instrumented, which keeps the module small.
target_link_options(talverine-web PRIVATE
  -sASYNCIFY=1 -sASYNCIFY_STACK_SIZE=65536 -sALLOW_MEMORY_GROWTH=1 -sINITIAL_MEMORY=33554432
  -sENVIRONMENT=web -sMODULARIZE=1 -sEXPORT_NAME=createTalverine -sINVOKE_RUN=0
  "-sEXPORTED_RUNTIME_METHODS=['callMain','FS']" -sFILESYSTEM=1
  # The loop's wait for the page, which Asyncify unwinds from.
  --js-library ${CMAKE_SOURCE_DIR}/platform/web/wait_library.js "-sASYNCIFY_IMPORTS=['web_wait_event']"
  # The help pages in the program's file system too, for their check.
  --preload-file ${CMAKE_SOURCE_DIR}/resources/help@/data/help)
set_target_properties(talverine-web PROPERTIES OUTPUT_NAME talverine SUFFIX .js
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/site)

# The site: the page, its script and stylesheet, the help pages and icons.
file(GLOB TALVERINE_WEB_PAGE_FILES CONFIGURE_DEPENDS platform/web/site/*)
file(GLOB TALVERINE_HELP_FILES CONFIGURE_DEPENDS resources/help/*)
file(GLOB TALVERINE_BITMAP_FILES CONFIGURE_DEPENDS resources/bitmaps/*.png)
set(TALVERINE_SITE_COPIES)
foreach(f ${TALVERINE_WEB_PAGE_FILES} ${TALVERINE_HELP_FILES} ${CMAKE_SOURCE_DIR}/resources/icons/talverine.png
    ${CMAKE_SOURCE_DIR}/resources/icons/talverine.svg ${TALVERINE_BITMAP_FILES})
  get_filename_component(name ${f} NAME)
  set(dest ${CMAKE_BINARY_DIR}/site/${name})
  if(f MATCHES "/resources/help/")
    set(dest ${CMAKE_BINARY_DIR}/site/help/${name})
  endif()
  add_custom_command(OUTPUT ${dest} COMMAND ${CMAKE_COMMAND} -E copy_if_different ${f} ${dest}
    DEPENDS ${f})
  list(APPEND TALVERINE_SITE_COPIES ${dest})
endforeach()
add_custom_target(talverine-site ALL DEPENDS ${TALVERINE_SITE_COPIES} talverine-web)
