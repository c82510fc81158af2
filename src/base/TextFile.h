#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ByteFile.h"

namespace tavelune {

// One line as read from a text file.
struct TTextLine {
  std::string Text;          // the first bytes of the line, at most the reader's bound
  std::uint64_t Length = 0;  // the whole line's length in bytes, line end excluded
};

// An 8-bit text file read line by line, bound to its name before it is
// opened (the way the system's text-file objects are). Lines end with CR LF,
// LF or CR. Opened read-only, denying other processes write access.
//
// Line reads are bounded: a line keeps at most `MaxKept` bytes of its text,
// whatever its length, while its true length is still counted. A file of
// several GiB without a line end therefore costs one read through, not its
// size in memory. Not thread-safe; owns its handle.
class TTextFile {
 public:
  // Long enough for every field any reader takes from a line: the recorder
  // entries' columns reach 747 and their notes 4101 bytes.
  static constexpr std::size_t kDefaultMaxKept = 8192;

  explicit TTextFile(std::string fileName, std::size_t maxKept = kDefaultMaxKept);

  const std::string& FileName() const { return FFileName; }
  // False when the file is missing, a folder or locked; never throws.
  bool Open();
  bool IsOpen() const { return FFile.IsOpen(); }
  void Close();
  // True when no further line can be read.
  bool Eof();
  // Reads the next line; false at the end of the file.
  bool ReadLine(TTextLine& line);

 private:
  bool FillBuffer();

  std::string FFileName;
  std::size_t FMaxKept;
  platform::TByteFile FFile;
  std::vector<char> FBuffer;
  std::size_t FPos = 0;
  std::size_t FEnd = 0;
  bool FSkipLf = false;  // the last line ended with CR: a following LF belongs to it
};

}  // namespace tavelune
