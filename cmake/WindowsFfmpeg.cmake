# FFmpeg for the Windows build: static libraries built once (and cached) by
# scripts/build-windows-deps from Debian's own source packages of FFmpeg and
# dav1d. Defines the interface target tavelune_ffmpeg and
# TAVELUNE_WINDOWS_DEPS, the install prefix (its notices/ folder holds the
# licences the Windows download ships).
execute_process(
  COMMAND bash "${PROJECT_SOURCE_DIR}/scripts/build-windows-deps"
  OUTPUT_VARIABLE deps_output
  RESULT_VARIABLE deps_result
  OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT deps_result EQUAL 0)
  message(FATAL_ERROR "scripts/build-windows-deps failed (run scripts/bootstrap first)")
endif()
string(REGEX REPLACE ".*\n" "" TAVELUNE_WINDOWS_DEPS "${deps_output}")
message(STATUS "FFmpeg for Windows: ${TAVELUNE_WINDOWS_DEPS}")

# The libraries' own static link lines (dav1d, and the system libraries
# FFmpeg uses such as bcrypt), read from their pkg-config files.
find_package(PkgConfig REQUIRED)
set(ENV{PKG_CONFIG_LIBDIR} "${TAVELUNE_WINDOWS_DEPS}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
pkg_check_modules(WINDOWS_FFMPEG REQUIRED libavformat libavcodec libswscale libavutil)
add_library(tavelune_ffmpeg INTERFACE)
target_include_directories(tavelune_ffmpeg SYSTEM INTERFACE ${WINDOWS_FFMPEG_STATIC_INCLUDE_DIRS})
target_link_directories(tavelune_ffmpeg INTERFACE ${WINDOWS_FFMPEG_STATIC_LIBRARY_DIRS})
target_link_libraries(tavelune_ffmpeg INTERFACE ${WINDOWS_FFMPEG_STATIC_LIBRARIES})
