#include "settings/SettingsTranscript.h"

namespace tavelune {

std::vector<std::string> SaverSettingsLines(const TSaverSettings& s) {
  auto flag = [](bool value) { return std::string(value ? "1" : "0"); };
  std::vector<std::string> lines = {
      "LogFile=" + s.LogFile,
      "Draw Posision=" + std::to_string(s.DrawPosition),
      "Graphics Size=" + std::to_string(s.GraphicsSize),
      "Screen Clear=" + flag(s.ScreenClear),
      "Point Cast=" + s.PointCast,
      "Random Sort=" + flag(s.RandomSort),
      "Rotate=" + flag(s.Rotate),
      "Capture=" + flag(s.Capture),
      "DispFileName=" + flag(s.DispFileName),
      "BackColor=" + std::to_string(s.BackColor),
      "Draw Wait=" + std::to_string(s.DrawWait),
      "PreviewRandom=" + flag(s.PreviewRandom),
      "PreViewSeconds=" + std::to_string(s.PreviewSeconds),
      "PreViewMin=" + std::to_string(s.PreviewMin),
      "PreViewMax=" + std::to_string(s.PreviewMax),
      std::string(kSkipBlankValue) + "=" + flag(s.SkipBlank),
      std::string(kRememberShownValue) + "=" + flag(s.RememberShown),
  };
  for (const std::string& folder : s.FolderList) {
    lines.push_back("Folders=" + folder);
  }
  for (const std::string& extension : s.ExtensionList) {
    lines.push_back("Exts=" + extension);
  }
  return lines;
}

}  // namespace tavelune
