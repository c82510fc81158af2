// The error notice's countdown and closing.

#include "ui/FormMessage.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tavelune {
namespace {

class TFakeNoticeWindow : public IFormMessageView {
 public:
  void SetMessageText(const std::string& text) override { MessageLabel = text; }
  void SetCountdownText(const std::string& text) override { CountdownLabel = text; }
  void SetTimerEnabled(bool enabled) override { TimerEnabled = enabled; }
  void Hide() override { Visible = false; }
  // As the toolkit closes a form whose close frees it.
  void Close() override {
    ++Closes;
    Notice->FormClose();
  }
  void RepaintCountdown() override { ++Repaints; }

  TFormMessage* Notice = nullptr;
  std::string MessageLabel;
  std::string CountdownLabel = "60秒";
  bool TimerEnabled = false;
  bool Visible = true;
  int Closes = 0;
  int Repaints = 0;
};

class FormMessageTest : public ::testing::Test {
 protected:
  FormMessageTest() {
    Notice =
        std::make_unique<TFormMessage>(Window, [] { return std::string("C:\\movies\\a.mpg"); });
    Window.Notice = Notice.get();
  }
  TFakeNoticeWindow Window;
  std::unique_ptr<TFormMessage> Notice;
};

TEST_F(FormMessageTest, NamesTheMovieAndCountsDownAMinute) {
  EXPECT_TRUE(Window.TimerEnabled);  // running from creation
  Notice->FormActivate();
  EXPECT_EQ(Window.MessageLabel,
            "C:\\movies\\a.mpg"
            "は、壊れています。");
  EXPECT_EQ(Window.CountdownLabel, "60秒");
  for (int second = 59; second >= 1; --second) {
    Notice->CountdownTick();
    EXPECT_EQ(Window.CountdownLabel, std::to_string(second) + "秒");
  }
  EXPECT_EQ(Window.Closes, 0);
  Notice->CountdownTick();
  EXPECT_EQ(Window.CountdownLabel, "0秒");
  EXPECT_EQ(Window.Closes, 1);
  EXPECT_FALSE(Window.TimerEnabled);
  EXPECT_FALSE(Window.Visible);
  EXPECT_EQ(Window.Repaints, 60);
}

TEST_F(FormMessageTest, ATickBeforeTheFirstActivationClosesAtMinusOne) {
  Notice->CountdownTick();
  EXPECT_EQ(Window.CountdownLabel, "-1秒");
  EXPECT_EQ(Window.Closes, 1);
}

TEST_F(FormMessageTest, ActivatingAgainChangesNothing) {
  Notice->FormActivate();
  Notice->CountdownTick();
  Notice->FormActivate();
  EXPECT_EQ(Notice->RemainingSeconds(), 59);
  EXPECT_EQ(Window.CountdownLabel, "59秒");
}

TEST_F(FormMessageTest, PassesInputOnToTheSaverButKeepsItsOwnKeys) {
  std::string keys;
  std::vector<std::pair<int, int>> moves;
  Notice->SetPassedInput(
      {[&](char& key) { keys += key; }, [&](int x, int y) { moves.emplace_back(x, y); }});
  for (char key : std::string("q\r\n\x1b 1")) {
    EXPECT_EQ(Notice->FormKeyPress(key), key != '\r' && key != '\n' && key != '\x1b' && key != ' ')
        << int(key);
  }
  EXPECT_EQ(keys, "q1");
  Notice->FormMouseMove(300, 200);
  EXPECT_EQ(moves, (std::vector<std::pair<int, int>>{{300, 200}}));
  EXPECT_TRUE(Window.Visible);  // passing input on closes nothing itself
}

TEST_F(FormMessageTest, TheButtonClosesAtOnce) {
  Notice->FormActivate();
  Notice->OkButtonClick();
  EXPECT_EQ(Window.Closes, 1);
  EXPECT_FALSE(Window.Visible);
}

}  // namespace
}  // namespace tavelune
