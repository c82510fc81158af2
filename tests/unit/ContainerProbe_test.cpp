#include "probe/ContainerProbe.h"

#include <gtest/gtest.h>

#include "helpers/TestFiles.h"

namespace tavelune {
namespace {

using namespace std::string_literals;

std::string Padded(std::string bytes, std::size_t size) {
  bytes.resize(std::max(bytes.size(), size), '\x11');
  return bytes;
}

std::string Avi(const std::string& handler, std::size_t size = 116) {
  std::string bytes = Padded(
                          "RIFF\x10\x00\x00\x00"
                          "AVI LIST"s,
                          112) +
                      handler;
  return Padded(bytes, size);
}

// An MPEG program stream: a pack header, some filler, then a sequence
// header whose 76th byte after the start code starts `after`.
std::string ProgramStream(const std::string& after, std::size_t fillerBefore = 20) {
  std::string bytes = "\x00\x00\x01\xBA"s + std::string(fillerBefore, '\x22');
  bytes += "\x00\x00\x01\xB3"s + std::string(72, '\x33') + after;
  return Padded(bytes, bytes.size() + 40);
}

class ContainerProbe : public ::testing::Test {
 protected:
  std::string Probe(const std::string& name, const std::string& bytes) {
    return ProbeContainer(FDir.Write(name, bytes));
  }
  test::TTempDir FDir;
};

TEST_F(ContainerProbe, NamesAviFilesByTheirFirstStreamHandler) {
  EXPECT_EQ(Probe("a.avi", Avi("DVSD")), "dvsd");
  EXPECT_EQ(Probe("b.avi", Avi("xvid")), "xvid");
  EXPECT_EQ(Probe("c.avi", Padded("riff\x10\x00\x00\x00"
                                  "avi list"s,
                                  112) +
                               "MJPG"),
            "mjpg");
  // A handler of zero bytes leaves the decision to the later probes.
  EXPECT_EQ(Probe("d.avi", Avi("\0\0\0\0"s)), ".AVI");
  // A file shorter than the RIFF block is no AVI file.
  EXPECT_EQ(Probe("e.avi", Avi("DVSD").substr(0, 115)), ".AVI");
  EXPECT_EQ(Probe("f.wav", Padded("RIFF\x10\x00\x00\x00WAVEfmt "s, 200)), ".WAV");
}

TEST_F(ContainerProbe, KeepsTheVideoCdFormAsStored) {
  EXPECT_EQ(Probe("a.dat", Padded("RIFF\x10\x00\x00\x00"
                                  "CDXAfmt "s,
                                  116)),
            "CDXAfmt ");
}

TEST_F(ContainerProbe, TellsQuickTimeOnlyByAMovieAtomFirst) {
  EXPECT_EQ(Probe("a.mov", Padded("\x00\x00\x00\x20moov"s, 597)), "MOOV");
  EXPECT_EQ(Probe("b.mov", Padded("\x00\x00\x00\x20"
                                  "ftypqt  "s,
                                  597)),
            ".MOV");
  EXPECT_EQ(Probe("c.mov", Padded("\x00\x00\x00\x20moov"s, 596)), ".MOV");
}

TEST_F(ContainerProbe, TellsMpeg2ByTheExtensionAfterTheSequenceHeader) {
  EXPECT_EQ(Probe("a.mpg", ProgramStream("\x00\x00\x01\xB5"s)), "MPG2");
  EXPECT_EQ(Probe("a.vob", ProgramStream("\x00\x00\x01\xB5"s)), "MPG2");
  EXPECT_EQ(Probe("b.mpg", ProgramStream("\x00\x00\x01\xB2"s)), "MPG1");
  // The sequence header may lie anywhere after the first block read.
  EXPECT_EQ(Probe("c.mpg", ProgramStream("\x00\x00\x01\xB5"s, 3 * 1024 * 1024)), "MPG2");
}

TEST_F(ContainerProbe, NamesMpeg1InDvdAndRecorderFilesByTheirExtension) {
  EXPECT_EQ(Probe("a.Vob", ProgramStream("xxxx")), ".VOB");
  EXPECT_EQ(Probe("a.vro", ProgramStream("xxxx")), ".VRO");
  EXPECT_EQ(Probe("a.M2P", ProgramStream("xxxx")), ".M2P");
  EXPECT_EQ(Probe("a.m2v", ProgramStream("xxxx")), "MPG1");
}

TEST_F(ContainerProbe, NeedsAStreamStartAndASequenceHeader) {
  // A bare video stream starts with the sequence header itself.
  EXPECT_EQ(Probe("a.m1v", Padded("\x00\x00\x01\xB3"s, 200)), ".M1V");
  // Starts like MPEG, but no sequence header anywhere.
  EXPECT_EQ(Probe("b.mpg", Padded("\x00\x00\x01\xBA"s, 5000)), ".MPG");
  // A header too close to the end for the extension check reads as MPEG-1.
  EXPECT_EQ(Probe("c.mpg", "\x00\x00\x01\xBA\x00\x00\x01\xB3"s + std::string(60, '\x33')), "MPG1");
  // A pack start of fewer than four bytes is nothing.
  EXPECT_EQ(Probe("d.mpg", "\x00\x00\x01"s), ".MPG");
}

TEST_F(ContainerProbe, RecognisesAsfRealMediaAndVgm) {
  const std::string asfId = "\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C"s;
  EXPECT_EQ(Probe("a.wmv", Padded(asfId, 732)), "wmv");
  EXPECT_EQ(Probe("b.wmv", Padded(asfId, 731)), ".WMV");
  EXPECT_EQ(Probe("a.rm", Padded(".rmf"s + std::string(14, '\0') + "prop", 122)), "real");
  EXPECT_EQ(Probe("b.rm", Padded(".RMF"s + std::string(14, '\0') + "MDPR", 122)), ".RM");
  EXPECT_EQ(Probe("a.vgm", "vgm a"), "VGM ");
  EXPECT_EQ(Probe("b.vgm", "Vgm\0"s), "VGM");
  EXPECT_EQ(Probe("c.vgm", "VG"), ".VGM");
}

TEST_F(ContainerProbe, FallsBackToTheUpperCaseExtension) {
  EXPECT_EQ(Probe("clip.mpeg", "plain text"), ".MPEG");
  EXPECT_EQ(Probe("noextension", "plain text"), "");
  EXPECT_EQ(ProbeContainer(FDir.Name("missing.Mov")), ".MOV");
  EXPECT_EQ(ProbeContainer(FDir.Name("folder.d/missing")), "");
}

TEST_F(ContainerProbe, TakesTheFirstProbeThatAnswers) {
  // An AVI file is not asked whether it is MPEG, even if it could pass.
  std::string avi = Avi("dvsd");
  EXPECT_EQ(Probe("a.mpg", avi + ProgramStream("\x00\x00\x01\xB5"s)), "dvsd");
}

TEST(ContainerExtension, NamesTheContainerByItsFirstBytesAlone) {
  EXPECT_EQ(ContainerExtensionOf(Avi("dvsd")), ".avi");
  EXPECT_EQ(ContainerExtensionOf("RIFF\x10\x00\x00\x00WAVEfmt "s), "");
  EXPECT_EQ(ContainerExtensionOf("\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9"s), ".wmv");
  EXPECT_EQ(ContainerExtensionOf(ProgramStream("\x00\x00\x01\xB5"s)), ".mpg");
  EXPECT_EQ(ContainerExtensionOf("\x00\x00\x00\x20"
                                 "ftypisom"s),
            ".mp4");
  EXPECT_EQ(ContainerExtensionOf("\x00\x00\x00\x14"
                                 "ftypqt  "s),
            ".mov");
  EXPECT_EQ(ContainerExtensionOf("\x00\x00\x01\x00moov"s), ".mov");
  // Too short, empty and plain text tell nothing.
  EXPECT_EQ(ContainerExtensionOf("RIFF"), "");
  EXPECT_EQ(ContainerExtensionOf(""), "");
  EXPECT_EQ(ContainerExtensionOf("This is not a movie."), "");
}

}  // namespace
}  // namespace tavelune
