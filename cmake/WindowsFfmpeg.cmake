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

# The libraries' own static link line (dav1d, and the system libraries
# FFmpeg uses such as bcrypt), read from their pkg-config files at every
# configure, since the prefix changes with the versions.
find_package(PkgConfig REQUIRED)
set(ENV{PKG_CONFIG_LIBDIR} "${TAVELUNE_WINDOWS_DEPS}/lib/pkgconfig")
execute_process(
  COMMAND ${PKG_CONFIG_EXECUTABLE} --static --libs-only-l libavformat libavcodec libswscale libavutil
  OUTPUT_VARIABLE ffmpeg_libraries
  RESULT_VARIABLE pkg_config_result
  OUTPUT_STRIP_TRAILING_WHITESPACE)
unset(ENV{PKG_CONFIG_LIBDIR})
if(NOT pkg_config_result EQUAL 0)
  message(FATAL_ERROR "no pkg-config files of FFmpeg in ${TAVELUNE_WINDOWS_DEPS}")
endif()
separate_arguments(ffmpeg_libraries UNIX_COMMAND "${ffmpeg_libraries}")
add_library(tavelune_ffmpeg INTERFACE)
target_include_directories(tavelune_ffmpeg SYSTEM INTERFACE ${TAVELUNE_WINDOWS_DEPS}/include)
target_link_directories(tavelune_ffmpeg INTERFACE ${TAVELUNE_WINDOWS_DEPS}/lib)
target_link_libraries(tavelune_ffmpeg INTERFACE ${ffmpeg_libraries})
