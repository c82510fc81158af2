#pragma once

// A host on a fake clock with an event loop of its own (Run): the loop
// runs the posted "window messages" (steps that tests or the fake graph
// post) and the timers that are due, and when nothing is left to do now,
// moves the clock to the next timer. Whole movies play in milliseconds.
// Time moves otherwise only when the saver sleeps. A handler (a timer or a
// message) that runs inside another fails the test.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "app/SaverHost.h"
#include "base/ScopeExit.h"
#include "catalogue/LogFile.h"
#include "imaging/Canvas.h"
#include "playback/PlayTask.h"
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
  // Every move of the clock, the event loop's included, goes through here.
  void Sleep(int milliseconds) override {
    Sleeps.push_back(milliseconds);
    NowMs += milliseconds;
    if (OnSleep) {
      OnSleep();
    }
  }
  // One pass of the event loop: the timers due now, then the messages.
  void ProcessMessages() override {
    if (FInHandler) {
      ADD_FAILURE() << "a message pass inside a handler: handlers would nest";
      return;
    }
    ++MessagePasses;
    FInHandler = true;
    const TScopeExit leave([this] { FInHandler = false; });
    for (std::size_t i = 0; i < FTimers.size(); ++i) {
      FTimers[i]->FireIfDue(NowMs);
    }
    RunScheduledSteps();
    std::deque<std::function<void()>> now;
    now.swap(Messages);
    for (auto& message : now) {
      message();
    }
    if (OnMessages) {
      OnMessages();
    }
  }

  // Has the event loop run `step` once the clock has reached `atMs`: input,
  // or a hand-over, at a moment of the test's choosing.
  void At(std::int64_t atMs, std::function<void()> step) {
    FScheduled.push_back({atMs, std::move(step)});
  }

  // The event loop until `task` (started here) has ended: its value, or
  // what it let out.
  template <class T>
  T Run(TPlayTask<T> task) {
    task.Start();
    RunUntil([&] { return task.Done(); });
    return task.Result();
  }
  // Passes of the event loop, the clock moved to the next timer whenever
  // nothing is due now, until `done`; a loop left with nothing to wait for
  // fails the test.
  void RunUntil(const std::function<bool()>& done) {
    while (!done()) {
      ProcessMessages();
      if (done() || !Messages.empty()) {
        continue;
      }
      const std::optional<std::int64_t> due = NextTimerDue();
      if (!due) {
        ADD_FAILURE() << "the event loop has nothing left to wait for";
        return;
      }
      if (*due > NowMs) {
        Sleep(static_cast<int>(*due - NowMs));
      }
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
    void SetInterval(int milliseconds) override {
      FInterval = milliseconds;
      FDue = FHost.NowMs + FInterval;
    }
    std::optional<std::int64_t> Due() const {
      return FEnabled ? std::optional(FDue) : std::nullopt;
    }
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
  int MessagePasses = 0;
  std::deque<std::function<void()>> Messages;
  std::function<void()> OnSleep;
  std::function<void()> OnMessages;

 private:
  void RunScheduledSteps() {
    std::vector<std::function<void()>> due;
    std::stable_sort(FScheduled.begin(), FScheduled.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    while (!FScheduled.empty() && FScheduled.front().first <= NowMs) {
      due.push_back(std::move(FScheduled.front().second));
      FScheduled.erase(FScheduled.begin());
    }
    for (auto& step : due) {
      step();
    }
  }
  std::optional<std::int64_t> NextTimerDue() const {
    std::optional<std::int64_t> next;
    for (const auto& [atMs, step] : FScheduled) {
      if (!next || atMs < *next) {
        next = atMs;
      }
    }
    for (const TTimer* timer : FTimers) {
      if (const std::optional<std::int64_t> due = timer->Due(); due && (!next || *due < *next)) {
        next = due;
      }
    }
    return next;
  }

  static constexpr TDateTime kBase = 46364.0;  // 2026-12-08
  bool FInHandler = false;
  std::vector<std::pair<std::int64_t, std::function<void()>>> FScheduled;
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
