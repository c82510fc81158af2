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
  void SetLabel1(const std::string& text) override { Label1 = text; }
  void SetLabel2(const std::string& text) override { Label2 = text; }
  void SetTimerEnabled(bool enabled) override { TimerEnabled = enabled; }
  void Hide() override { Visible = false; }
  // As the toolkit closes a form whose close frees it.
  void Close() override {
    ++Closes;
    Notice->FormClose();
    Notice->FormDestroy();
  }
  void ProcessMessages() override { ++MessagePasses; }

  TFormMessage* Notice = nullptr;
  std::string Label1;
  std::string Label2 = "60秒";
  bool TimerEnabled = false;
  bool Visible = true;
  int Closes = 0;
  int MessagePasses = 0;
};

class FormMessageTest : public ::testing::Test {
 protected:
  FormMessageTest() {
    Notice =
        std::make_unique<TFormMessage>(Window, [] { return std::string("C:\\movies\\a.mpg"); });
    Window.Notice = Notice.get();
    FormMessage = Notice.get();
  }
  ~FormMessageTest() override { FormMessage = nullptr; }
  TFakeNoticeWindow Window;
  std::unique_ptr<TFormMessage> Notice;
};

TEST_F(FormMessageTest, NamesTheMovieAndCountsDownAMinute) {
  EXPECT_TRUE(Window.TimerEnabled);  // running from creation
  Notice->FormActivate();
  EXPECT_EQ(Window.Label1,
            "C:\\movies\\a.mpg"
            "は、壊れています。");
  EXPECT_EQ(Window.Label2, "60秒");
  for (int second = 59; second >= 1; --second) {
    Notice->Timer1Timer();
    EXPECT_EQ(Window.Label2, std::to_string(second) + "秒");
  }
  EXPECT_EQ(Window.Closes, 0);
  Notice->Timer1Timer();
  EXPECT_EQ(Window.Label2, "0秒");
  EXPECT_EQ(Window.Closes, 1);
  EXPECT_FALSE(Window.TimerEnabled);
  EXPECT_FALSE(Window.Visible);
  EXPECT_EQ(FormMessage, nullptr);
  EXPECT_EQ(Window.MessagePasses, 60);
}

TEST_F(FormMessageTest, ATickBeforeTheFirstActivationClosesAtMinusOne) {
  Notice->Timer1Timer();
  EXPECT_EQ(Window.Label2, "-1秒");
  EXPECT_EQ(Window.Closes, 1);
}

TEST_F(FormMessageTest, ActivatingAgainChangesNothing) {
  Notice->FormActivate();
  Notice->Timer1Timer();
  Notice->FormActivate();
  EXPECT_EQ(Notice->RemainingSeconds(), 59);
  EXPECT_EQ(Window.Label2, "59秒");
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
  Notice->Button1Click();
  EXPECT_EQ(Window.Closes, 1);
  EXPECT_EQ(FormMessage, nullptr);
}

}  // namespace
}  // namespace tavelune
