#pragma once

// The settings as text, one "Name=value" line each, with the store's value
// names: the saver's record in its order, and what the dialog's reader hands
// over in hand-over order. Used by tavelune-tool and the tests.

#include <string>
#include <vector>

#include "settings/SettingsStore.h"

namespace tavelune {

std::vector<std::string> SaverSettingsLines(const TSaverSettings& settings);

class TSettingsTranscript final : public ISettingsReceiver {
 public:
  std::vector<std::string> Lines;
  bool Completed = false;

  void SetLogFile(const std::string& text) override { Add("LogFile", text); }
  void SetDrawPosition(std::int32_t value) override { AddNumber("Draw Posision", value); }
  void SetGraphicsSize(std::int32_t value) override { AddNumber("Graphics Size", value); }
  void SetScreenClear(bool value) override { AddFlag("Screen Clear", value); }
  void SetPointCast(std::int32_t index) override { AddNumber("Point Cast", index); }
  void SetRandomSort(bool value) override { AddFlag("Random Sort", value); }
  void SetRotate(bool value) override { AddFlag("Rotate", value); }
  void SetCapture(bool value) override { AddFlag("Capture", value); }
  void SetDispFileName(bool value) override { AddFlag("DispFileName", value); }
  void SetBackColor(std::uint32_t color) override { AddNumber("BackColor", color); }
  void SetDrawWait(std::int32_t value) override { AddNumber("Draw Wait", value); }
  void SetPreviewRandom(bool value) override { AddFlag("PreviewRandom", value); }
  void SetPreviewSeconds(std::int32_t value) override { AddNumber("PreViewSeconds", value); }
  void SetPreviewMin(std::int32_t value) override { AddNumber("PreViewMin", value); }
  void SetPreviewMax(std::int32_t value) override { AddNumber("PreViewMax", value); }
  void Complete() override { Completed = true; }
  void SetSkipBlank(bool value) override { AddFlag(kSkipBlankValue, value); }
  void SetRememberShown(bool value) override { AddFlag(kRememberShownValue, value); }
  void AddFolder(const std::string& folder) override { Add("Folders", folder); }
  void ClearExtensions() override {}
  void AddExtension(const std::string& extension) override { Add("Exts", extension); }

 private:
  void Add(const char* name, const std::string& text) { Lines.push_back(name + ("=" + text)); }
  void AddNumber(const char* name, long long number) { Add(name, std::to_string(number)); }
  void AddFlag(const char* name, bool value) { Add(name, std::string(value ? "1" : "0")); }
};

}  // namespace tavelune
