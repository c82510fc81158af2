// The settings dialog's Win32 window, driven by window messages as a user's
// clicks and keys would be, against the real registry (Wine's in CI). The
// choosers and the error report are replaced, so that nothing waits for a
// person; everything else is the real window.

#include "frontends/win32/Win32ControlForm.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <shlobj.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/Program.h"
#include "helpers/ExtraCheckBox.h"
#include "ports/win32/Win32RegistryKeyStore.h"
#include "ports/win32/Win32Text.h"

namespace tavelune::platform {
namespace {

namespace fs = std::filesystem;

std::wstring TextOf(HWND window) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(
      ::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

// The dialog with its windows of its own replaced: the folder chooser
// answers `Folder`, error reports are kept.
class TTestControlForm : public TWin32ControlForm {
 public:
  using TWin32ControlForm::TWin32ControlForm;
  std::optional<std::string> Folder;
  std::vector<std::string> Reports;
  // Runs while the folder chooser would be up.
  std::function<void()> WhileChoosing;

 protected:
  std::optional<std::string> RunFolderDialog() override {
    if (WhileChoosing) {
      WhileChoosing();
    }
    return Folder;
  }
  std::optional<std::uint32_t> RunColorDialog(std::uint32_t) override { return std::nullopt; }
  std::optional<std::string> RunSaveDialog(const std::string&) override { return std::nullopt; }
  std::string InputBox(const std::string&, const std::string&, const std::string& text) override {
    return text;
  }
  void ShowErrorReport(const std::string& message) override { Reports.push_back(message); }
  void OpenAddress(const std::string&) override {}
};

class Win32ControlFormTest : public ::testing::Test {
 protected:
  void SetUp() override { Store.DeleteKey(kSettingsKey); }
  void TearDown() override {
    Dialog.reset();
    Store.DeleteKey(kSettingsKey);
    // The closed dialog's quit message is not for the next test.
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
    std::error_code ignored;
    fs::remove_all(Temp, ignored);
  }
  TTestControlForm& Open(TControlFormDesign design = ControlFormDesign()) {
    Dialog = std::make_unique<TTestControlForm>(
        TControlFormServices{Store, TScreenSaverSetup("Z:\\nonexistent", "Z:\\nonexistent"),
                             "Z:\\nonexistent\\TAVELUNE.SCR", "Z:\\nonexistent\\",
                             "https://home.example/", "https://board.example/"},
        std::move(design));
    EXPECT_TRUE(Dialog->Start());
    return *Dialog;
  }
  HWND Control(std::string_view name) const { return Dialog->Control(name); }
  void Click(std::string_view name) { ::SendMessageW(Control(name), BM_CLICK, 0, 0); }
  void Type(HWND edit, const wchar_t* text) {
    ::SetFocus(edit);
    ::SendMessageW(edit, EM_SETSEL, 0, -1);
    for (const wchar_t* c = text; *c != L'\0'; ++c) {
      ::SendMessageW(edit, WM_CHAR, *c, 1);
    }
  }
  std::optional<TStoreValue> Stored(const char* key, const std::string& name) {
    auto opened = Store.OpenKey(key);
    return opened ? opened->ReadValue(name) : std::nullopt;
  }
  void ShowPage(TControlPage page) {
    Dialog->Run([this, page] { Dialog->Form().ActivePage = page; });
  }
  fs::path MakeTree(const std::vector<std::string>& folders) {
    for (const std::string& folder : folders) {
      fs::create_directories(Temp / folder);
    }
    return Temp;
  }

  TRegistryKeyStore Store;
  std::unique_ptr<TTestControlForm> Dialog;
  fs::path Temp =
      fs::temp_directory_path() / ("tavelune-dialog-" + std::to_string(::GetTickCount()));
};

// A new setting's check box is a line in the layout and a line in the
// bindings: it stands on its page, shows what it is bound to and hands back
// what the user made of it.
TEST_F(Win32ControlFormTest, ACheckBoxAddedInTwoLinesStandsOnItsPageAndRoundTrips) {
  TCheckState extra{true};
  TTestControlForm& dialog = Open(test::DesignWithExtraCheckBox(extra));
  HWND box = Control(test::kExtraCheckBox);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(TextOf(box), L"\u8FFD\u52A0\u306E\u8A2D\u5B9A");  // 追加の設定
  EXPECT_EQ(::GetParent(box), Control("ExtrasPage"));
  EXPECT_EQ(::SendMessageW(box, BM_GETCHECK, 0, 0), BST_CHECKED);
  ShowPage(TControlPage::ExtrasPage);
  Click(test::kExtraCheckBox);
  dialog.Run([] {});
  EXPECT_FALSE(extra.Checked);
  dialog.Run([&] { extra = {true, false}; });
  EXPECT_EQ(::SendMessageW(box, BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_FALSE(::IsWindowEnabled(box));
}

TEST_F(Win32ControlFormTest, MakesEveryDesignedControlWithItsCaptionFontAndHint) {
  TTestControlForm& dialog = Open();
  EXPECT_EQ(TextOf(dialog.Window()),
            L"\u30BF\u30D9\u30EB\u30FC\u30CD\u8A2D\u5B9A");  // タベルーネ設定
  EXPECT_NE(::GetWindowLongW(dialog.Window(), GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
  int hints = 0;
  for (const TControlLayout& control : kControlFormLayout) {
    SCOPED_TRACE(std::string(control.Name));
    HWND window = Control(control.Name);
    ASSERT_NE(window, nullptr);
    if (!control.Caption.empty() && control.Kind != TControlKind::PageControl) {
      EXPECT_EQ(TextOf(window), WideFromUtf8(std::string(control.Caption)));
    }
    if (!control.Hint.empty()) {
      hints += 1 + static_cast<int>(dialog.Radios(control.Name).size());
    }
    const bool container = control.Kind == TControlKind::Page ||
                           control.Kind == TControlKind::Panel ||
                           control.Kind == TControlKind::GroupBox;
    if (container) {
      continue;  // windows of the form's own, which draw no text of their own but a frame's
    }
    if (control.Kind == TControlKind::RadioGroup) {
      window = dialog.Radios(control.Name).front();
    }
    LOGFONTW font{};
    ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(window, WM_GETFONT, 0, 0)), sizeof font,
                 &font);
    EXPECT_STREQ(font.lfFaceName, L"\uFF2D\uFF33 \uFF30\u30B4\u30B7\u30C3\u30AF");
    EXPECT_EQ(font.lfCharSet, SHIFTJIS_CHARSET);
  }
  EXPECT_EQ(dialog.Radios("RadioGSize").size(), 3u);
  EXPECT_EQ(::GetDlgCtrlID(Control("BtnOK")), IDOK);
  EXPECT_NE(::GetWindowLongW(Control("BtnOK"), GWL_STYLE) & BS_DEFPUSHBUTTON, 0);
  EXPECT_EQ(::GetDlgCtrlID(Control("BtnCancel")), IDCANCEL);
  HWND toolTip = ::FindWindowExW(nullptr, nullptr, TOOLTIPS_CLASSW, nullptr);
  while (toolTip != nullptr && ::GetWindow(toolTip, GW_OWNER) != dialog.Window()) {
    toolTip = ::FindWindowExW(nullptr, toolTip, TOOLTIPS_CLASSW, nullptr);
  }
  ASSERT_NE(toolTip, nullptr);
  EXPECT_EQ(::SendMessageW(toolTip, TTM_GETTOOLCOUNT, 0, 0), hints);
}

TEST_F(Win32ControlFormTest, OpensOnTheVersionPageInTheDesignedState) {
  Open();
  EXPECT_TRUE(::IsWindowVisible(Control("VersionPage")));
  EXPECT_FALSE(::IsWindowVisible(Control("FoldersPage")));
  EXPECT_FALSE(::IsWindowVisible(Control("OptionsPage")));
  EXPECT_FALSE(::IsWindowVisible(Control("ExtrasPage")));
  EXPECT_EQ(TabCtrl_GetItemCount(Control("Pages")), 4);
  EXPECT_EQ(TextOf(Control("LabelVersion")).rfind(L"\u30D0\u30FC\u30B8\u30E7\u30F3 ", 0), 0u);
  EXPECT_EQ(TextOf(Control("HomePageLink")), L"https://home.example/");
  EXPECT_FALSE(::IsWindowEnabled(Control("ComboSS")));
  EXPECT_FALSE(::IsWindowEnabled(Control("BtnDelete")));
  EXPECT_EQ(::SendMessageW(Control("CheckRandomG"), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(::SendMessageW(Control("CheckClear"), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_EQ(::SendMessageW(Dialog->Radios("RadioGSize")[2], BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(TextOf(Control("EditWait")), L"3");
  EXPECT_EQ(TextOf(Control("PreViewSeconds")), L"60.");
  EXPECT_EQ(::SendMessageW(Control("MovieExt"), LB_GETCOUNT, 0, 0), 9);
}

TEST_F(Win32ControlFormTest, SaveStoresWhatTheControlsShowAndCloses) {
  TTestControlForm& dialog = Open();
  ShowPage(TControlPage::OptionsPage);
  ::SendMessageW(Control("CheckRol"), BM_SETCHECK, BST_CHECKED, 0);
  ::SendMessageW(dialog.Radios("RadioGSize")[0], BM_CLICK, 0, 0);
  ::SetWindowTextW(Control("EditWait"), L"7");
  ShowPage(TControlPage::FoldersPage);
  ::SetWindowTextW(Control("EditLogFile"), L"C:\\history.log");
  ShowPage(TControlPage::OptionsPage);
  Type(Control("PreViewSeconds"), L"45");
  ShowPage(TControlPage::ExtrasPage);
  EXPECT_TRUE(::IsWindowVisible(Control("CheckRememberShown")));
  ::SendMessageW(Control("CheckRememberShown"), BM_CLICK, 0, 0);
  ShowPage(TControlPage::OptionsPage);
  Click("BtnOK");  // the click takes the focus: the edit's number is taken
  EXPECT_TRUE(dialog.Closed());
  EXPECT_TRUE(dialog.Reports.empty());
  EXPECT_EQ(Stored(kSettingsKey, "Draw Wait")->Number, 7);
  EXPECT_EQ(Stored(kSettingsKey, "Rotate")->Number, 1);
  EXPECT_EQ(Stored(kSettingsKey, "Graphics Size")->Number, 0);
  EXPECT_EQ(Stored(kSettingsKey, "PreViewSeconds")->Number, 45);
  EXPECT_EQ(Stored(kSettingsKey, "LogFile")->Text, "C:\\history.log");
  EXPECT_EQ(Stored(kExtsKey, "0008")->Text, "vg2");
  EXPECT_EQ(Stored(kSettingsKey, "Remember Shown")->Number, 1);
  EXPECT_EQ(Stored(kSettingsKey, "Skip Blank")->Number, 0);
}

TEST_F(Win32ControlFormTest, NumberEditsRefuseOtherCharactersAndShowTheirFormatWhenLeft) {
  TTestControlForm& dialog = Open();
  ShowPage(TControlPage::OptionsPage);
  HWND seconds = Control("PreViewSeconds");
  Type(seconds, L"4a5-.");
  EXPECT_EQ(TextOf(seconds), L"45-.");
  Type(seconds, L"90");
  EXPECT_EQ(TextOf(seconds), L"90");  // while it is edited, the number as the save reads it
  ::SetFocus(Control("EditWait"));
  EXPECT_EQ(TextOf(seconds), L"90.");
  ::SetFocus(seconds);
  EXPECT_EQ(TextOf(seconds), L"90");
  dialog.Run([] {});
  EXPECT_EQ(dialog.Form().PreViewSeconds.Value, 90);
  EXPECT_EQ(dialog.Form().PreViewSeconds.Text(), "90");
}

TEST_F(Win32ControlFormTest, AWaitThatIsNoNumberIsReportedWritingNothing) {
  TTestControlForm& dialog = Open();
  ::SetWindowTextW(Control("EditWait"), L"x");
  Click("BtnOK");
  ASSERT_EQ(dialog.Reports.size(), 1u);
  EXPECT_EQ(dialog.Reports[0], "'x' is not a valid integer value");
  EXPECT_FALSE(dialog.Closed());
  EXPECT_FALSE(Stored(kSettingsKey, "Draw Wait").has_value());
  Click("BtnCancel");
  EXPECT_TRUE(dialog.Closed());
  EXPECT_FALSE(Stored(kSettingsKey, "Draw Wait").has_value());
}

TEST_F(Win32ControlFormTest, ItsOwnSurfaceDragsItAndItsContainersLetTheMouseThrough) {
  TTestControlForm& dialog = Open();
  const auto hit = [](HWND window) {
    RECT bounds{};
    ::GetWindowRect(window, &bounds);
    return ::SendMessageW(window, WM_NCHITTEST, 0, MAKELPARAM(bounds.left + 2, bounds.top + 2));
  };
  EXPECT_EQ(hit(dialog.Window()), HTCAPTION);
  EXPECT_EQ(hit(Control("VersionPage")), HTTRANSPARENT);
  EXPECT_EQ(hit(Control("ButtonPanel")), HTTRANSPARENT);
  EXPECT_EQ(hit(Control("BtnOK")), HTCLIENT);
  RECT page{};
  ::GetWindowRect(Control("Pages"), &page);
  // Below the tabs, the page control too lets the mouse through; on a tab it does not.
  EXPECT_EQ(::SendMessageW(Control("Pages"), WM_NCHITTEST, 0,
                           MAKELPARAM(page.right - 5, page.bottom - 5)),
            HTTRANSPARENT);
  EXPECT_EQ(
      ::SendMessageW(Control("Pages"), WM_NCHITTEST, 0, MAKELPARAM(page.left + 10, page.top + 8)),
      HTCLIENT);
}

// An HDROP as Explorer hands it over: the names, wide, one after another.
HDROP DropOf(const std::vector<std::wstring>& names) {
  std::wstring all;
  for (const std::wstring& name : names) {
    all += name;
    all += L'\0';
  }
  all += L'\0';
  const std::size_t size = sizeof(DROPFILES) + all.size() * sizeof(wchar_t);
  HGLOBAL memory = ::GlobalAlloc(GHND, size);
  auto* drop = static_cast<DROPFILES*>(::GlobalLock(memory));
  drop->pFiles = sizeof(DROPFILES);
  drop->fWide = TRUE;
  std::memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), all.data(),
              all.size() * sizeof(wchar_t));
  ::GlobalUnlock(memory);
  return static_cast<HDROP>(memory);
}

TEST_F(Win32ControlFormTest, DroppedNamesAddTheirFoldersOnTheFolderPageOnly) {
  TTestControlForm& dialog = Open();
  const fs::path tree = MakeTree({"movies"});
  std::ofstream(tree / "movies" / "a.mp4").put('x');
  const std::wstring folder = (tree / "movies").wstring();
  const std::wstring file = (tree / "movies" / "a.mp4").wstring();
  const std::wstring tooLong = folder + L"\\" + std::wstring(300, L'n');
  ::SendMessageW(dialog.Window(), WM_DROPFILES, reinterpret_cast<WPARAM>(DropOf({folder})), 0);
  EXPECT_EQ(::SendMessageW(Control("FolderList"), LB_GETCOUNT, 0, 0), 0);  // the version page

  ShowPage(TControlPage::FoldersPage);
  ::SendMessageW(dialog.Window(), WM_DROPFILES,
                 reinterpret_cast<WPARAM>(DropOf({tooLong, file, folder})), 0);
  ASSERT_EQ(dialog.Form().FolderList.Items.size(), 1u);
  EXPECT_EQ(dialog.Form().FolderList.Items[0], SystemText(folder) + "\\");
  EXPECT_EQ(::SendMessageW(Control("FolderList"), LB_GETCOUNT, 0, 0), 1);
  EXPECT_TRUE(::IsWindowEnabled(Control("BtnOK")));
}

TEST_F(Win32ControlFormTest, AWalkShowsItsFoldersAsItGoesAndEndsWhenTheDialogCloses) {
  TTestControlForm& dialog = Open();
  std::vector<std::string> folders;
  for (int i = 0; i < 40; ++i) {
    folders.push_back("g" + std::to_string(i) + "\\f");
  }
  dialog.Folder = SystemText(MakeTree(folders).wstring());
  ShowPage(TControlPage::FoldersPage);
  ::SendMessageW(Control("CheckSub"), BM_SETCHECK, BST_CHECKED, 0);
  // The first message the walk lets through is a close, as a click on
  // 中止 would be: the walk stops at once, with the dialog gone.
  dialog.WhileChoosing = [&] { ::PostMessageW(dialog.Window(), WM_CLOSE, 0, 0); };
  Click("BtnAdd");
  EXPECT_TRUE(dialog.Closed());
  EXPECT_FALSE(::IsWindow(Control("FolderList")));
  EXPECT_LT(dialog.Form().FolderList.Items.size(), 1u + 80u);
  EXPECT_TRUE(dialog.Form().Stopping());
  EXPECT_FALSE(Stored(kFoldersKey, "0000").has_value());

  // Without a close, every folder is listed, each also in the window.
  Dialog.reset();
  TTestControlForm& again = Open();
  again.Folder = SystemText(Temp.wstring());
  ShowPage(TControlPage::FoldersPage);
  ::SendMessageW(Control("CheckSub"), BM_SETCHECK, BST_CHECKED, 0);
  Click("BtnAdd");
  EXPECT_EQ(again.Form().FolderList.Items.size(), 1u + 80u);
  EXPECT_EQ(::SendMessageW(Control("FolderList"), LB_GETCOUNT, 0, 0), 1 + 80);
  EXPECT_TRUE(::IsWindowEnabled(Control("BtnOK")));
}

TEST_F(Win32ControlFormTest, LinksBackUpTheTreeAreFollowedOnceAndNoFurther) {
  // Two links in one folder, each back to the top: followed without
  // looking where they lead, they would double the walk at every level
  // down to the path limit.
  const fs::path tree = MakeTree({"x"});
  for (const wchar_t* name : {L"up", L"again"}) {
    const std::wstring link = (tree / "x" / name).wstring();
    // Wine answers yes and makes nothing: the end-to-end test walks links
    // made on the Unix side instead.
    if (!::CreateSymbolicLinkW(
            link.c_str(), tree.wstring().c_str(),
            SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) ||
        ::GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES) {
      GTEST_SKIP() << "this system makes no folder links here";
    }
  }
  TTestControlForm& dialog = Open();
  dialog.Folder = SystemText(tree.wstring());
  ShowPage(TControlPage::FoldersPage);
  ::SendMessageW(Control("CheckSub"), BM_SETCHECK, BST_CHECKED, 0);
  Click("BtnAdd");
  // x, x\up, x\again, and below each link the top once more: x, and its
  // two links, which lead where the walk has been.
  const std::vector<std::string>& items = dialog.Form().FolderList.Items;
  EXPECT_EQ(items.size(), 1u + 3u + 2u * 3u) << ::testing::PrintToString(items);
  EXPECT_TRUE(::IsWindowEnabled(Control("BtnOK")));
}

// A saver window of another thread, as a running saver's would be: it
// notes the close request and goes.
LRESULT CALLBACK FakeSaverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CLOSE) {
    ::DestroyWindow(window);
    return 0;
  }
  if (message == WM_DESTROY) {
    ::PostQuitMessage(0);
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

TEST_F(Win32ControlFormTest, OpeningClosesARunningSaverWindow) {
  std::atomic<HWND> saver{nullptr};
  std::thread thread([&] {
    WNDCLASSEXW saverClass{};
    saverClass.cbSize = sizeof saverClass;
    saverClass.lpfnWndProc = &FakeSaverProc;
    saverClass.hInstance = ::GetModuleHandleW(nullptr);
    saverClass.lpszClassName = L"TSaver";
    ::RegisterClassExW(&saverClass);
    saver = ::CreateWindowExW(0, L"TSaver", WideFromUtf8(kApplicationTitle).c_str(), WS_POPUP, 0, 0,
                              10, 10, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
      ::DispatchMessageW(&message);
    }
  });
  while (saver.load() == nullptr) {
    ::Sleep(5);
  }
  ASSERT_TRUE(::IsWindow(saver.load()));
  Open();
  EXPECT_FALSE(::IsWindow(saver.load()));
  thread.join();
}

}  // namespace
}  // namespace tavelune::platform
