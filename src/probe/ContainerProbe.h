#pragma once

// Tells a movie file's container kind from a few bytes at its start (and,
// for MPEG program streams, at the first video sequence header). The answer
// is the container type code, a text of up to eight characters:
//   "dvsd" etc.  AVI: the handler of the first stream, lower case
//   "CDXAFMT "   RIFF CDXA (Video CD)
//   "MOOV"       QuickTime file that starts with its movie atom
//   "MPG2"       MPEG program stream whose sequence header has an extension
//   "MPG1"       other MPEG streams; ".VOB", ".VRO", ".M2P" for those names
//   "wmv"        ASF
//   "real"       RealMedia
//   "VGM?"       VGM with its fourth byte
//   ".EXT"       nothing matched: the name's extension in upper case ("" if none)
// Files are only read, never written, and never locked against others.

#include <cstdint>
#include <string>
#include <string_view>

namespace tavelune {

// How far into a file the MPEG probe looks for the first sequence header.
// Real program streams carry one within their first packs; without a bound a
// multi-GiB file that merely starts like MPEG would be read to its end while
// the saver cannot react to input. 64 MiB is read in a few milliseconds
// from the page cache and well under a second from a disk.
inline constexpr std::uint64_t kSequenceHeaderSearchLimit = 64ull * 1024 * 1024;

std::string ProbeContainer(const std::string& fileName);

// The usual extension (".avi", ".wmv", ".mpg", ".mp4", ".mov") of the
// container whose first bytes are `head`, or "" when they tell none. For
// media libraries that choose their reader by the name, so that a movie
// under a name they do not know (".m2p", ".vg2") still reaches the right one.
std::string ContainerExtensionOf(std::string_view head);

std::string ProbeRiff(const std::string& fileName);
std::string ProbeQuickTime(const std::string& fileName);
std::string ProbeMpeg(const std::string& fileName);
std::string ProbeAsf(const std::string& fileName);
std::string ProbeRealMedia(const std::string& fileName);
std::string ProbeVgm(const std::string& fileName);

}  // namespace tavelune
