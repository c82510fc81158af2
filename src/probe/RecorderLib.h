#pragma once

// Reads a recorder application's tape library for a movie: its side file
// (the movie's name with ".SDB") or the library file in the movie's folder
// ("SGPDB/SGPDBTape.SVD") with its extension files. The entry supplies the
// title shown for the movie and tells whether the recording may be shown.
// These files are CP932 text with fixed columns; they are only read.

#include <cstdint>
#include <string>

#include "base/DateTime.h"

namespace tavelune {

// One library entry. Texts are CP932 as stored.
struct TRecorderTapeLib {
  std::string TapeId;          // columns 1-4
  std::string Title;           // columns 492-747, full-width trimmed
  double LengthValue = 0;      // columns 145-155; 0 when not a number
  TDateTime EntryTime = 0;     // date columns 91-98 plus time columns 99-104
  std::string Note;            // columns 189-444, full-width trimmed
  std::int32_t StateFlag = 0;  // column 453; 0 when not a number
  TDateTime EntryTimeCopy = 0;
  std::string Memo;         // from a later line of the side file or the extension file
  std::int32_t Number = 0;  // columns 76-78; 0 when not a number
  std::string Spare;        // never filled
};

// Looks for the side file. True when it was found and opened, whatever it
// holds; the record then has the first entry line's fields and the memo of
// the last memo line after it. Fields are only overwritten, never cleared.
bool LookupSideFile(const std::string& movieFileName, TRecorderTapeLib& record);

// Looks the movie up in its folder's library file, by the first four bytes
// of its name. True when an entry matched; with several, the last one's
// fields stand. Dispatches window messages while reading extension files.
bool LookupLibrary(const std::string& movieFileName, TRecorderTapeLib& record);

// The playback rule: a recording whose identifier is "0000", whose state
// flag is set or whose length is 0 is not shown.
bool IsRecordingUnusable(const TRecorderTapeLib& record);

}  // namespace tavelune
