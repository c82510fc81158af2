#pragma once

// How the operating system's own screen saver is set up (switched on or not,
// which file, after how long) and which screen-saver files are installed.
// Only reads system state, never changes it. The settings dialog keeps one
// (ScreenSaverSetup) to fill its hand-over list. UI thread only.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tavelune {

class TScreenSaverSetup {
 public:
  // Searches the platform's two saver folders (platform::SaverFolderTexts).
  TScreenSaverSetup();
  // Searches the two folders given, in this order; the rest still asks the
  // platform.
  TScreenSaverSetup(std::string windowsFolder, std::string systemFolder);

  // The properties' values until the first read or Refresh; a read replaces
  // each with the system's own.
  static constexpr bool kStoredActive = true;
  static constexpr std::int32_t kStoredTimeOut = 1800;
  // In the system folder.
  static constexpr const char* kStoredSaverFileName = "logon.scr";

  // Each read asks the system, keeps the answer in the field and returns
  // it; a write sets the field only, never the system's setting.
  // Off when the system does not tell.
  bool ScreenSaveActive();
  void SetScreenSaveActive(bool active) { FActive = active; }
  // The chosen saver's full path, "" for none; stays as it was when the
  // system does not tell.
  std::string ScreenSaverName();
  void SetScreenSaverName(std::string name) { FName = std::move(name); }
  // Seconds; 0 when the system does not tell.
  std::int32_t ScreenSaveTimeOut();
  void SetScreenSaveTimeOut(std::int32_t seconds) { FTimeOut = seconds; }

  // The stored values have been set: replaces them with live ones.
  void Loaded() { Refresh(); }
  // Reads the chosen saver, the time-out and the active flag, in this order.
  void Refresh();

  // Appends the full path of every file whose name ends in ".scr" (in any
  // letter case) in the Windows folder, then in the system folder, each in
  // the order the platform lists them: hidden, system and read-only files
  // too, folders never. Neither sorted nor cleared of duplicates.
  void ListInstalledSavers(std::vector<std::string>& list) const;

 private:
  void ReadChosenSaver();

  std::string FWindowsFolder;
  std::string FSystemFolder;
  bool FActive = kStoredActive;
  std::string FName;
  std::int32_t FTimeOut = kStoredTimeOut;
};

}  // namespace tavelune
