#pragma once

// What the real saver hosts (the Qt and Win32 saver windows and the tool's
// console host) share beyond real time: the program's icon, the user's
// settings store and the saver's text drawing. Each platform supplies
// TTextPainter and OpenUserKeyStore; this header only puts them behind the
// host interface once. UI thread.

#include <memory>

#include "app/ProgramIcon.h"
#include "app/SaverHost.h"
#include "imaging/TextPainter.h"
#include "settings/UserKeyStore.h"

namespace tavelune {

class TDesktopSaverHost : public TRealTimeHost {
 public:
  TBitmap24 ProgramIcon(TColor background) override { return DrawProgramIcon(background); }
  std::unique_ptr<IKeyStore> OpenUserKeyStore() override { return platform::OpenUserKeyStore(); }
  // The painter is made on first use: a run without titles never loads a
  // font.
  void DrawText(TBitmap24& surface, int x, int y, const std::string& text, TColor fontColor,
                TColor brushColor) override {
    if (!FPainter) {
      FPainter = std::make_unique<platform::TTextPainter>();
    }
    FPainter->DrawText(surface, x, y, text, fontColor, brushColor);
  }

 private:
  std::unique_ptr<platform::TTextPainter> FPainter;
};

}  // namespace tavelune
