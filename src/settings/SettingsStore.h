#pragma once

// The saver's settings in the user's key store: the saver's reader, the
// dialog's reader and the dialog's writer. Values live under
// "\Software\Norvane\Tavelune", folders and extensions in its sub-keys
// "Folders" and "Exts" as numbered values "0000", "0001", ...

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "settings/KeyStore.h"

namespace tavelune {

inline constexpr const char* kSettingsKey = "\\Software\\Norvane\\Tavelune";
inline constexpr const char* kFoldersKey = "\\Software\\Norvane\\Tavelune\\Folders";
inline constexpr const char* kExtsKey = "\\Software\\Norvane\\Tavelune\\Exts";
inline constexpr const char* kSkipBlankValue = "Skip Blank";
inline constexpr const char* kRememberShownValue = "Remember Shown";

// The saver's record, holding the saver's defaults until read. Owned by the
// saver window for its whole life.
struct TSaverSettings {
  std::string LogFile;            // empty: no history file
  std::int32_t DrawPosition = 1;  // 1 random, otherwise centred
  std::int32_t GraphicsSize = 2;  // 0 full size, 1 fit, 2 random
  bool ScreenClear = false;
  std::string PointCast = "なし";  // stored only; nothing in a run acts on it
  bool RandomSort = true;
  bool Rotate = false;
  bool Capture = false;
  bool DispFileName = false;
  std::uint32_t BackColor = 0;  // 0x00BBGGRR, or 0x80000000 + system colour
  std::int32_t DrawWait = 5;    // seconds, at most 59 once read
  bool PreviewRandom = false;
  std::int32_t PreviewSeconds = 60;
  std::int32_t PreviewMin = 10;
  std::int32_t PreviewMax = 30;
  // The two extended settings, read on their own after the main block, so
  // that a store without them reads the main block in full and these as
  // their defaults.
  bool SkipBlank = false;      // "Skip Blank": a nearly flat frame is not drawn
  bool RememberShown = false;  // "Remember Shown": shuffle prefers movies not shown in earlier runs
  std::vector<std::string> FolderList;     // duplicates stay, in stored order
  std::vector<std::string> ExtensionList;  // without the period, as typed
};

// A number in [0, bound) from the caller's random generator.
using TRandomBelow = std::function<std::int32_t(std::int32_t bound)>;

// Reads the saver's settings into `settings`, which holds the saver
// defaults and empty lists. The first failed read of the main block ends the
// block (later fields keep their defaults); "Skip Blank" and "Remember
// Shown" are read on their own whatever the block did, false when missing or
// not numbers; "Draw Wait" is cut to 59; with
// "PreviewRandom" on, the three segment numbers are drawn from `randomBelow`
// instead of read. The lists are read entry by entry, dispatching window
// messages after each and stopping when `stop` is set. Never throws for
// what the store holds.
void ReadSaverSettings(IKeyStore& store, TSaverSettings& settings, const std::atomic<bool>& stop,
                       const TRandomBelow& randomBelow);

// What the settings dialog takes from the dialog's reader, in the order the
// reader hands it over.
class ISettingsReceiver {
 public:
  virtual ~ISettingsReceiver() = default;
  virtual void SetLogFile(const std::string& text) = 0;
  virtual void SetDrawPosition(std::int32_t value) = 0;
  virtual void SetGraphicsSize(std::int32_t value) = 0;
  virtual void SetScreenClear(bool value) = 0;
  // Position of the stored hand-over saver in the saver path list, or -1.
  virtual void SetPointCast(std::int32_t index) = 0;
  virtual void SetRandomSort(bool value) = 0;
  virtual void SetRotate(bool value) = 0;
  virtual void SetCapture(bool value) = 0;
  virtual void SetDispFileName(bool value) = 0;
  virtual void SetBackColor(std::uint32_t color) = 0;
  virtual void SetDrawWait(std::int32_t value) = 0;
  virtual void SetPreviewRandom(bool value) = 0;
  virtual void SetPreviewSeconds(std::int32_t value) = 0;
  virtual void SetPreviewMin(std::int32_t value) = 0;
  virtual void SetPreviewMax(std::int32_t value) = 0;
  // The main block was read to its end.
  virtual void Complete() = 0;
  // The extended settings, handed over after the main block and only when
  // stored as numbers.
  virtual void SetSkipBlank(bool value) = 0;
  virtual void SetRememberShown(bool value) = 0;
  virtual void AddFolder(const std::string& folder) = 0;
  // The store has an extension list: drop the dialog's default extensions.
  virtual void ClearExtensions() = 0;
  virtual void AddExtension(const std::string& extension) = 0;
};

// Hands the stored settings to the dialog. "Rotate", "Capture",
// "DispFileName" and "BackColor" have guards of their own (false, true,
// false, 0x80000001 on failure); any other failed read ends the block
// without Complete. "Skip Blank" and "Remember Shown" follow, each on its
// own. Never throws for what the store holds.
void ReadDialogSettings(IKeyStore& store, ISettingsReceiver& receiver,
                        const std::vector<std::string>& saverPaths);

// The runtime's conversion error: "'%s' is not a valid integer value".
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What the dialog saves besides the record: its texts, converted here.
struct TDialogTexts {
  std::optional<std::string>
      PointCast;  // the chosen hand-over saver's path ("" for none); nullopt: none chosen
  std::string DrawWait;
  std::string PreviewSeconds;
  std::string PreviewMin;
  std::string PreviewMax;
  std::string RootPath;  // the program's folder, with its trailing delimiter
};

// Saves the settings. Throws EConvertError, before writing anything, when
// the wait text does not convert; throws ERegistryError when the store
// refuses a write or cannot create a key, which ends the save there (what
// was written before stays written).
void WriteSettings(IKeyStore& store, const TSaverSettings& settings, const TDialogTexts& texts);

}  // namespace tavelune
