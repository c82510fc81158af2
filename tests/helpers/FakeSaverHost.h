#pragma once

// A host on a fake clock: time moves only when the saver sleeps, timers
// fire when their time has come at the next message pass, and "window
// messages" are steps that tests (or the fake graph) post. Whole movies
// play in milliseconds.

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "app/SaverHost.h"
#include "catalogue/LogFile.h"
#include "imaging/Canvas.h"
#include "settings/MemoryKeyStore.h"

namespace tavelune::test {

class TFakeSaverHost : public ISaverHost {
 public:
  struct TTextCall {
    int X, Y;
    std::string Text;
    TColor Font, Brush;
  };

  // --- time ---
  std::int64_t NowMs = 0;  // since 2026-12-08 00:00:00.000
  TDateTime Now() override { return kBase + static_cast<double>(NowMs) / 86'400'000.0; }
  platform::TLocalTime LocalNow() override {
    const std::int64_t ms = NowMs % 86'400'000;
    return {2026,
            12,
            8,
            static_cast<int>(ms / 3'600'000),
            static_cast<int>(ms / 60'000 % 60),
            static_cast<int>(ms / 1000 % 60),
            static_cast<int>(ms % 1000)};
  }
  void Sleep(int milliseconds) override {
    Sleeps.push_back(milliseconds);
    NowMs += milliseconds;
    if (OnSleep) {
      OnSleep();
    }
  }
  // Like a host that can wait for messages when MessageArrivesAtMs is set:
  // the wait ends then, or when the hold is over.
  void SleepUntilMessages(int milliseconds) override {
    if (MessageArrivesAtMs < 0) {
      ISaverHost::SleepUntilMessages(milliseconds);
      return;
    }
    MessageWaits.push_back(milliseconds);
    NowMs = NowMs < MessageArrivesAtMs
                ? std::min<std::int64_t>(NowMs + milliseconds, MessageArrivesAtMs)
                : NowMs + milliseconds;
    if (OnSleep) {
      OnSleep();
    }
  }
  void YieldToMessages() override {
    ++Yields;
    ProcessMessages();
  }
  void ProcessMessages() override {
    ++MessagePasses;
    for (TTimer* timer : FTimers) {
      timer->FireIfDue(NowMs);
    }
    std::deque<std::function<void()>> now;
    now.swap(Messages);
    for (auto& message : now) {
      message();
    }
    if (OnMessages) {
      OnMessages();
    }
  }

  // --- chance: scripted draws first, then a fixed generator ---
  std::deque<std::int32_t> Draws;
  std::deque<double> RealDraws;
  std::int32_t RandomBelow(std::int32_t bound) override {
    if (bound < 1) {
      return 0;
    }
    if (!Draws.empty()) {
      const std::int32_t draw = Draws.front();
      Draws.pop_front();
      return draw;
    }
    return static_cast<std::int32_t>(FRandom() % static_cast<std::uint32_t>(bound));
  }
  double RandomReal() override {
    if (!RealDraws.empty()) {
      const double draw = RealDraws.front();
      RealDraws.pop_front();
      return draw;
    }
    return std::uniform_real_distribution<double>(0, 1)(FRandom);
  }

  // --- window ---
  int CloseRequests = 0;
  std::function<void()> OnClose;
  void RequestClose() override {
    ++CloseRequests;
    if (OnClose) {
      OnClose();
    }
  }

  class TTimer : public ITimer {
   public:
    TTimer(TFakeSaverHost& host, int interval, std::function<void()> onTimer)
        : FHost(host), FInterval(interval), FOnTimer(std::move(onTimer)) {}
    ~TTimer() override { std::erase(FHost.FTimers, this); }
    void SetEnabled(bool enabled) override {
      FEnabled = enabled;
      FDue = FHost.NowMs + FInterval;
    }
    bool Enabled() const override { return FEnabled; }
    void FireIfDue(std::int64_t now) {
      if (FEnabled && now >= FDue) {
        FDue = now + FInterval;
        ++Fired;
        FOnTimer();
      }
    }
    int Fired = 0;

   private:
    TFakeSaverHost& FHost;
    int FInterval;
    std::function<void()> FOnTimer;
    bool FEnabled = false;
    std::int64_t FDue = 0;
  };
  std::unique_ptr<ITimer> CreateTimer(int interval, std::function<void()> onTimer) override {
    auto timer = std::make_unique<TTimer>(*this, interval, std::move(onTimer));
    FTimers.push_back(timer.get());
    return timer;
  }

  // --- error notice: closes itself 60 s after it was shown ---
  std::vector<std::string> Notices;
  std::int64_t NoticeGoneAt = -1;
  void ShowErrorNotice(const std::string& movieFile) override {
    if (!ErrorNoticeShowing()) {
      Notices.push_back(movieFile);
      NoticeGoneAt = NowMs + 60'000;
    }
  }
  bool ErrorNoticeShowing() override { return NoticeGoneAt >= 0 && NowMs < NoticeGoneAt; }

  int ScreenChanges = 0;
  void ScreenChanged() override { ++ScreenChanges; }

  // --- text: recorded, and its box filled with the brush ---
  std::vector<TTextCall> Texts;
  void DrawText(TBitmap24& surface, int x, int y, const std::string& text, TColor font,
                TColor brush) override {
    Texts.push_back({x, y, text, font, brush});
    TBitmap24 box(8 * static_cast<int>(text.size()), 12);
    box.Fill(brush);
    DrawBitmap(surface, box, x, y);
  }

  // --- the window's platform ---
  int ScreenW = 320, ScreenH = 240;
  int ScreenWidth() override { return ScreenW; }
  int ScreenHeight() override { return ScreenH; }
  TColor DesktopColor = 0x336699;
  TBitmap24 CaptureScreen() override {
    TBitmap24 screen(ScreenW, ScreenH);
    screen.Fill(DesktopColor);
    return screen;
  }
  // The monitors besides the primary one; each one's desktop is filled with
  // DesktopColor plus its position in the list.
  std::vector<TScreenArea> Monitors;
  std::vector<TScreenArea> OtherMonitors() override { return Monitors; }
  TBitmap24 CaptureArea(const TScreenArea& area) override {
    TBitmap24 desktop(area.Width, area.Height);
    for (std::size_t i = 0; i < Monitors.size(); ++i) {
      if (Monitors[i].Left == area.Left && Monitors[i].Top == area.Top) {
        desktop.Fill(DesktopColor + static_cast<TColor>(i) + 1);
      }
    }
    return desktop;
  }
  int CursorCount = 0;
  int ShowCursor(bool show) override { return show ? ++CursorCount : --CursorCount; }
  std::string ErrorText;
  void SetErrorText(const std::string& text) override { ErrorText = text; }
  TBitmap24 ProgramIcon(TColor background) override {
    TBitmap24 icon(32, 32);
    icon.Fill(background);
    TBitmap24 mark(16, 16);
    mark.Fill(0x00FFFF);
    DrawBitmap(icon, mark, 8, 8);
    return icon;
  }
  // The settings the saver reads; the test fills it.
  std::shared_ptr<TMemoryKeyStore> Store = std::make_shared<TMemoryKeyStore>();
  std::unique_ptr<IKeyStore> OpenUserKeyStore() override;
  std::uint32_t Platform = 2;
  std::uint32_t PlatformId() override { return Platform; }
  std::vector<bool> ScreenSaverRunning;
  void SetScreenSaverRunning(bool running) override { ScreenSaverRunning.push_back(running); }
  bool PasswordInUse = false;
  std::deque<bool> PasswordAnswers;
  bool ScreenSaverPasswordInUse() override { return PasswordInUse; }
  bool VerifyScreenSaverPassword() override {
    const bool answer = PasswordAnswers.empty() || PasswordAnswers.front();
    if (!PasswordAnswers.empty()) {
      PasswordAnswers.pop_front();
    }
    return answer;
  }
  int DisplaySwitches = 0;
  void SetDisplay16Bit() override { ++DisplaySwitches; }

  std::vector<int> Sleeps;
  std::vector<int> MessageWaits;
  std::int64_t MessageArrivesAtMs = -1;
  int Yields = 0;
  int MessagePasses = 0;
  std::deque<std::function<void()>> Messages;
  std::function<void()> OnSleep;
  std::function<void()> OnMessages;

 private:
  static constexpr TDateTime kBase = 46364.0;  // 2026-12-08
  std::vector<TTimer*> FTimers;
  std::mt19937 FRandom{12345};
};

// A key store that forwards to the host's shared one, so that the saver may
// own what it opens.
class TSharedKeyStore : public IKeyStore {
 public:
  explicit TSharedKeyStore(std::shared_ptr<TMemoryKeyStore> store) : FStore(std::move(store)) {}
  std::unique_ptr<IStoreKey> OpenKey(const std::string& path) override {
    return FStore->OpenKey(path);
  }
  std::unique_ptr<IStoreKey> CreateKey(const std::string& path) override {
    return FStore->CreateKey(path);
  }
  bool DeleteKey(const std::string& path) override { return FStore->DeleteKey(path); }

 private:
  std::shared_ptr<TMemoryKeyStore> FStore;
};

inline std::unique_ptr<IKeyStore> TFakeSaverHost::OpenUserKeyStore() {
  return std::make_unique<TSharedKeyStore>(Store);
}

// The history as lines in memory.
class TRecordingLog : public IHistoryLog {
 public:
  bool Active() const override { return FActive; }
  void SetActive(bool active) override {
    if (FailActivation && active) {
      FActive = false;  // as a history that cannot be written
      throw EInOutError("Cannot open the history file " + FileName);
    }
    FActive = active;
  }
  void SetLogFileName(std::string fileName) override { FileName = std::move(fileName); }
  bool WriteLine(const std::string& text, bool) override {
    if (!FActive) {
      return false;
    }
    if (FailWrites) {
      throw EInOutError("cannot write the history file " + FileName);
    }
    Lines.push_back(text);
    return true;
  }
  void TrimHistory(std::size_t keep, const std::atomic<bool>&) override {
    if (FailTrim) {
      throw EInOutError("cannot replace the history file " + FileName);
    }
    TrimmedTo = static_cast<int>(keep);
  }

  // The lines with their timestamps (up to the first ", ") cut off.
  std::vector<std::string> Events() const {
    std::vector<std::string> events;
    for (const std::string& line : Lines) {
      const std::size_t comma = line.find(", ");
      events.push_back(comma == std::string::npos ? line : line.substr(comma + 2));
    }
    return events;
  }

  std::vector<std::string> Lines;
  std::string FileName;
  int TrimmedTo = -1;
  bool FailActivation = false;
  bool FailTrim = false;
  bool FailWrites = false;  // every line fails, as on a full disk

 private:
  bool FActive = true;
};

}  // namespace tavelune::test
