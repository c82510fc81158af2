// The command line of the screen-saver host, and the start-up's branches.

#include "app/Program.h"

#include <gtest/gtest.h>

namespace tavelune {
namespace {

TEST(ModeLetter, IsTheSecondCharacterOfTheFirstArgumentUpperCased) {
  EXPECT_EQ(ModeLetterOf({"/s"}), "S");
  EXPECT_EQ(ModeLetterOf({"-S"}), "S");
  EXPECT_EQ(ModeLetterOf({"/saver"}), "S");
  EXPECT_EQ(ModeLetterOf({"xs"}), "S");
  EXPECT_EQ(ModeLetterOf({"/p:1234"}), "P");
  EXPECT_EQ(ModeLetterOf({"/c:1234"}), "C");
  EXPECT_EQ(ModeLetterOf({"S"}), "");
  EXPECT_EQ(ModeLetterOf({}), "");
  EXPECT_EQ(ModeLetterOf({"/\xE9"}), "\xE9");  // only ASCII letters are folded
}

TEST(ParentHandle, IsTheSecondArgumentAsASigned32BitNumber) {
  EXPECT_EQ(ParentHandleOf({"/p", "1234"}), 1234);
  EXPECT_EQ(ParentHandleOf({"/p:1234"}), 0);
  EXPECT_EQ(ParentHandleOf({"/p", "12ab"}), 0);
  EXPECT_EQ(ParentHandleOf({"/p", ""}), 0);
  EXPECT_EQ(ParentHandleOf({"/p", "4294967296"}), 0);
  EXPECT_EQ(ParentHandleOf({"/p", "2147483647"}), 2147483647);
  EXPECT_THROW(ParentHandleOf({"/p", "-5"}), ERangeError);
}

class TFakeFrontEnd : public IProgramFrontEnd {
 public:
  void SetApplicationTitle(const std::string& title) override { Calls.push_back("title " + title); }
  bool AcquireInstanceGuard(const std::string& name) override {
    EXPECT_EQ(name, "Tavelune");
    return !GuardHeldElsewhere;
  }
  void ReleaseInstanceGuard() override { Calls.push_back("release"); }
  bool GuardHeldElsewhere = false;
  void InitializeApplication() override { Calls.push_back("init"); }
  void ChangePassword(std::int64_t parent) override {
    Calls.push_back("password " + std::to_string(parent));
  }
  void CreatePreview(const TProgramRun& run) override {
    Calls.push_back("preview " + std::to_string(run.PreviewHandle));
  }
  void CreateFullScreen(const TProgramRun& run) override {
    Calls.push_back("run " + run.ModeLetter + " " + std::to_string(run.PreviewHandle));
  }
  void CreateSettingsDialog() override { Calls.push_back("settings"); }
  void RunMessageLoop() override { Calls.push_back("loop"); }
  std::vector<std::string> Calls;
};

TEST(Program, StartsTheModeTheLetterNames) {
  struct TCase {
    std::vector<std::string> Args;
    std::string Mode;
  };
  const std::vector<TCase> cases = {{{"/s", "1234"}, "run S 0"}, {{"/p", "1234"}, "preview 1234"},
                                    {{"/p:1234"}, "preview 0"},  {{}, "settings"},
                                    {{"/c:99"}, "settings"},     {{"/a", "1234"}, "password 1234"}};
  for (const TCase& c : cases) {
    TFakeFrontEnd frontEnd;
    EXPECT_EQ(RunProgram(c.Args, frontEnd), 0);
    std::vector<std::string> expected = {"title タベルーネ", "init", c.Mode, "loop"};
    if (c.Mode.rfind("password", 0) != 0) {
      expected.push_back("release");
    }
    EXPECT_EQ(frontEnd.Calls, expected);
  }
}

TEST(Program, ASecondInstanceEndsAtOnceButPasswordChangeNeedsNoGuard) {
  TFakeFrontEnd second;
  second.GuardHeldElsewhere = true;
  EXPECT_EQ(RunProgram({"/s"}, second), 0);
  EXPECT_EQ(second.Calls, std::vector<std::string>{"title タベルーネ"});
  TFakeFrontEnd password;
  password.GuardHeldElsewhere = true;
  RunProgram({"/a", "7"}, password);
  EXPECT_EQ(password.Calls,
            (std::vector<std::string>{"title タベルーネ", "init", "password 7", "loop"}));
}

TEST(Program, ANegativeHandleStopsStartUpBeforeAnyWindow) {
  TFakeFrontEnd frontEnd;
  EXPECT_THROW(RunProgram({"/p", "-1"}, frontEnd), ERangeError);
  EXPECT_EQ(frontEnd.Calls, (std::vector<std::string>{"title タベルーネ", "init"}));
}

}  // namespace
}  // namespace tavelune
