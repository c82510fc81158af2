#include "settings/ScreenSaverSetup.h"

#include <optional>
#include <string_view>
#include <utility>

#include "base/TextUtils.h"
#include "platform/DirectoryList.h"
#include "platform/FileSystem.h"
#include "platform/PathStyle.h"
#include "platform/SystemSaver.h"

namespace tavelune {

namespace {

constexpr std::string_view kSaverExtension = ".scr";

bool HasSaverExtension(const std::string& name) {
  return name.size() >= kSaverExtension.size() &&
         SameTextAscii(std::string_view(name).substr(name.size() - kSaverExtension.size()),
                       kSaverExtension);
}

void AppendSavers(const std::string& folder, std::vector<std::string>& list) {
  platform::ListDirectory(folder, [&](const std::string& name) {
    if (HasSaverExtension(name)) {
      std::string path = folder + platform::kPathDelimiter + name;
      // The listing holds sub-folders as well; a folder named "x.scr" is no saver.
      if (platform::FileExists(path)) {
        list.push_back(std::move(path));
      }
    }
    return true;
  });
}

}  // namespace

TScreenSaverSetup::TScreenSaverSetup(std::string windowsFolder, std::string systemFolder)
    : FWindowsFolder(std::move(windowsFolder)),
      FSystemFolder(std::move(systemFolder)),
      FName(FSystemFolder + platform::kPathDelimiter + kStoredSaverFileName) {}

TScreenSaverSetup::TScreenSaverSetup() {
  platform::TSaverFolders folders = platform::SaverFolderTexts();
  FWindowsFolder = std::move(folders.WindowsFolder);
  FSystemFolder = std::move(folders.SystemFolder);
  FName = FSystemFolder + platform::kPathDelimiter + kStoredSaverFileName;
}

bool TScreenSaverSetup::ScreenSaveActive() {
  FActive = platform::SaverActive().value_or(false);
  return FActive;
}

std::string TScreenSaverSetup::ScreenSaverName() {
  ReadChosenSaver();
  return FName;
}

std::int32_t TScreenSaverSetup::ScreenSaveTimeOut() {
  FTimeOut = platform::SaverTimeOut().value_or(0);
  return FTimeOut;
}

void TScreenSaverSetup::Refresh() {
  ReadChosenSaver();
  FTimeOut = platform::SaverTimeOut().value_or(0);
  FActive = platform::SaverActive().value_or(false);
}

void TScreenSaverSetup::ReadChosenSaver() {
  if (std::optional<std::string> name = platform::ChosenSaverName(FWindowsFolder)) {
    FName = std::move(*name);
  }
}

void TScreenSaverSetup::ListInstalledSavers(std::vector<std::string>& list) const {
  AppendSavers(FWindowsFolder, list);
  AppendSavers(FSystemFolder, list);
}

}  // namespace tavelune
