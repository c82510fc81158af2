#pragma once

// Descriptive texts of a file: from its version resource when it is a
// program or library, else from the header comment of a text file. Also the
// full-width-aware trim and the screen's colour depth.

#include <array>
#include <string>
#include <string_view>
#include <utility>

namespace tavelune {

// Eleven texts, each named after the version-resource key that fills it.
// The keys are queried exactly as spelled here, the misspelt
// "LeagalTradeMarks" and the singular "Comment" included. Texts are in the
// system code page.
struct TVersionRecord {
  std::string CompanyName;
  std::string FileDescription;
  std::string FileVersion;
  std::string InternalName;
  std::string LegalCopyright;
  std::string LeagalTradeMarks;
  std::string OriginalFileName;
  std::string ProductName;
  std::string ProductVersion;
  std::string Comment;
  std::string SCRNSAVE;
};

// The record's fields in order, with the key of each.
inline constexpr std::array<std::pair<std::string_view, std::string TVersionRecord::*>, 11>
    kVersionFields = {{
        {"CompanyName", &TVersionRecord::CompanyName},
        {"FileDescription", &TVersionRecord::FileDescription},
        {"FileVersion", &TVersionRecord::FileVersion},
        {"InternalName", &TVersionRecord::InternalName},
        {"LegalCopyright", &TVersionRecord::LegalCopyright},
        {"LeagalTradeMarks", &TVersionRecord::LeagalTradeMarks},
        {"OriginalFileName", &TVersionRecord::OriginalFileName},
        {"ProductName", &TVersionRecord::ProductName},
        {"ProductVersion", &TVersionRecord::ProductVersion},
        {"Comment", &TVersionRecord::Comment},
        {"SCRNSAVE", &TVersionRecord::SCRNSAVE},
    }};

// Longest text a field takes from a version resource, in characters.
inline constexpr std::size_t kMaxVersionText = 256;

// Empties `record`, then fills what the file tells. A name whose lower-cased
// extension occurs in ".exe.dll.scr.ocx.jpn" is read as a Windows (PE)
// program on every platform. Any other file is read as a text header, except
// that a Linux program (ELF) that carries the record our build attaches is
// read from that record. Never fails: what cannot be read stays empty.
// Always returns true.
bool ReadVersionRecord(const std::string& fileName, TVersionRecord& record);

// Removes blanks, control characters and the CP932 full-width blank
// (0x81 0x40) from both ends. A trailing 0x81 0x40 counts only when its 0x40
// is a trail byte, so the second half of a double-byte character followed by
// a stray "@" is never mistaken for one.
std::string TrimFullWidth(std::string_view text);

}  // namespace tavelune
