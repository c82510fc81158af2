#pragma once

// The settings dialog (unit frmCntrol): the stored settings in four pages
// of controls — movie folders and the history file, display and segment
// options with the movie extensions, the version page and the extended
// settings — saved back in one go by "保存".
//
// TControlForm holds the state of every control that the handlers read or
// change, and the handlers themselves. The front end builds the native
// window from kControlFormLayout, copies what the user changed into the
// state before it calls a handler (Collect) and shows the state again
// afterwards (Render); everything it must do natively it is asked through
// IControlFormHost. UI thread only.

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "settings/ScreenSaverSetup.h"
#include "settings/SettingsStore.h"

namespace tavelune {

// ---- The designed form -------------------------------------------------

enum class TControlKind {
  Page,         // a page of the page control; Caption is its tab
  PageControl,  // the pages' tabs
  Panel,        // a plain container (the bottom panel)
  GroupBox,     // a framed container with a caption
  Button,       // Default/Cancel are told by name (BtnOK, BtnCancel)
  GlyphButton,  // a small button showing an image instead of a caption
  CheckBox,
  RadioGroup,  // a group box of radio buttons, one per line of Items
  Label,
  LinkLabel,  // blue, underlined, hand cursor; its caption is an address
  Edit,       // a single-line text edit
  NumberEdit,
  ListBox,        // several entries selectable at once
  SingleListBox,  // one entry selectable
  DropDownList,   // no free text
  ColorPanel,     // a raised panel acting as a button, showing a colour
  Picture,        // the program's picture, stretched to the box
};

// One control as designed: its parent ("" for the form itself), bounds in
// client pixels of the parent at a 12-pixel font (Width/Height 0: sized to
// its text), caption, hint and initial lines. The table's order is the
// creation and tab order.
struct TControlLayout {
  std::string_view Name;
  TControlKind Kind;
  std::string_view Parent;
  int Left, Top, Width, Height;
  std::string_view Caption = {};
  std::string_view Hint = {};
  std::string_view Items = {};  // lines separated by "\n"
};

inline constexpr const char* kControlFormCaption = "タベルーネ設定";
inline constexpr int kControlFormClientWidth = 376;
inline constexpr int kControlFormClientHeight = 315;
inline constexpr int kControlFormBottomPanelHeight = 31;
inline constexpr const char* kControlFormFontName = "ＭＳ Ｐゴシック";
inline constexpr int kControlFormFontHeight = 12;  // pixels

extern const std::vector<TControlLayout> kControlFormLayout;

// The designed extension list.
extern const std::vector<std::string> kDefaultExtensions;

// The texts of the choosers and boxes the dialog opens.
inline constexpr const char* kFolderDialogTitle = "ビデオファイルのフォルダーを指定します.";
inline constexpr const char* kFolderDialogText = "ビデオファイルのフォルダーを指定してください.";
inline constexpr const char* kSaveDialogTitle = "表示履歴ファイルを指定してください";
inline constexpr const char* kExtensionInputCaption = "拡張子の追加";
inline constexpr const char* kExtensionInputPrompt = "拡張子をピリオドを抜いて入力してください.";
inline constexpr const char* kNoSaverEntry = "なし";

// ---- Numeric edits -----------------------------------------------------

// The number as a display format shows it: sections "positive;negative"
// (an optional third for zero), each made of "0" and "#" digit places, an
// optional "." and literal characters. "0.;-0." shows 60 as "60." and -5
// as "-5."; the value is rounded half away from zero to the places shown.
std::string FormatDisplayNumber(double value, std::string_view format);

// The text the save reads from a numeric edit: the number with at most two
// decimals and no separators ("60", "12.5"), empty for 0.
std::string NumberEditText(double value);

// Whether a typed character may be part of a number.
bool IsNumberCharacter(char character);

// An error's message as the application's standard error report shows it:
// with a full stop added unless it ends in one (or in a character below it).
std::string ErrorReportText(const std::string& message);

// ---- Control state -----------------------------------------------------

struct TCheckState {
  bool Checked = false;
  bool Enabled = true;
};

struct TNumberEditState {
  double Value = 0;
  std::string_view DisplayFormat;
  bool Enabled = true;
  std::string Text() const { return NumberEditText(Value); }
};

// A list box's entries and selection. Entries may be appended one by one
// while a walk runs; `Generation` changes whenever the list changes in any
// other way, so that a view can add only the new tail otherwise.
struct TListBoxState {
  std::vector<std::string> Items;
  std::vector<bool> Selected;   // parallel to Items
  std::int32_t ItemIndex = -1;  // the current entry; -1 for none
  std::string Hint;
  std::uint64_t Generation = 0;

  void Append(const std::string& item);
  void Delete(std::size_t index);
  void Clear();
};

struct TComboState {
  std::vector<std::string> Items;
  std::int32_t ItemIndex = -1;
  bool Enabled = false;
};

enum class TControlPage { FoldersPage, OptionsPage, VersionPage, ExtrasPage };

// ---- The native side ---------------------------------------------------

class IControlFormHost {
 public:
  virtual ~IControlFormHost() = default;
  // Lets files and folders be dropped onto the dialog (they come back as
  // WMDropFiles).
  virtual void AcceptDroppedFiles() = 0;
  // Asks the window of a running saver (class kSaverWindowClass, caption
  // kApplicationTitle) to close, if one exists, and waits until it is gone.
  virtual void CloseSaverWindow() = 0;
  // The folder chooser: the chosen folder as the platform names it (no
  // trailing delimiter but a root's own), or nullopt when cancelled.
  virtual std::optional<std::string> RunFolderDialog() = 0;
  virtual std::optional<std::uint32_t> RunColorDialog(std::uint32_t color) = 0;
  virtual std::optional<std::string> RunSaveDialog(const std::string& title) = 0;
  // The one-line input box; its default text when cancelled.
  virtual std::string InputBox(const std::string& caption, const std::string& prompt,
                               const std::string& defaultText) = 0;
  // The application's standard error report (a message box).
  virtual void ShowErrorReport(const std::string& message) = 0;
  virtual void OpenAddress(const std::string& address) = 0;
  // Closes the window; the front end then calls FormClose.
  virtual void Close() = 0;
  // Shows what changed and handles the waiting window messages.
  virtual void YieldToMessages() = 0;
};

// What the dialog works with besides its host.
struct TControlFormServices {
  IKeyStore& Store;
  // The system's screen-saver registration, which lists the installed
  // savers for the hand-over list.
  TScreenSaverSetup ScreenSaverSetup;
  std::string ProgramFile;  // the running program, for the version page
  std::string RootPath;     // its folder, with the trailing delimiter
  std::string HomePage;
  std::string SupportBoard;
};

// ---- The dialog --------------------------------------------------------

class TControlForm : private ISettingsReceiver {
 public:
  TControlForm(IControlFormHost& host, TControlFormServices services);

  void FormCreate();
  void FormClose();

  void BtnAddClick();
  void BtnDeleteClick();
  void BtnOKClick();
  void BtnCancelClick();
  void FolderListClick();
  void FolderListKeyDown();
  void HomePageLinkClick();
  void SupportBoardLinkClick();
  // Names dropped onto the dialog, in the platform's order.
  void WMDropFiles(const std::vector<std::string>& names);
  void PanelColorClick();
  void LogFileButtonClick();
  void ButtonExtAddClick();
  void MovieExtClick();
  void ButtonExtDeleteClick();
  void PreviewRandomClick();

  // Runs an event handler as the application does: an error that escapes
  // it is shown by the standard error report and the dialog goes on.
  template <typename Handler>
  void HandleEvent(Handler handler) {
    try {
      handler();
    } catch (const std::exception& error) {
      FHost.ShowErrorReport(error.what());
    }
  }

  // Whether the stop flag is set (the dialog is closing).
  bool Stopping() const { return FStop; }

  // Control state, named as on the form.
  TControlPage ActivePage = TControlPage::VersionPage;
  bool BtnOKEnabled = true;
  bool BtnDeleteEnabled = false;
  bool ButtonExtDeleteEnabled = false;
  TCheckState CheckSub;
  TListBoxState FolderList;
  std::string EditLogFile;
  std::int32_t RadioGSize = 2;
  std::int32_t RadioDrawPosition = 1;
  TCheckState CheckClear;
  TCheckState CheckRandomG{true};
  TCheckState CheckRol;
  TCheckState CheckCapture{true};
  TCheckState CheckFileName;
  std::string EditWait = "3";
  TComboState ComboSS;
  std::uint32_t PanelColor = 0x8000000F;      // the button face
  std::uint32_t PanelColorFont = 0x80000012;  // the button text
  TCheckState PreviewRandom;
  TNumberEditState PreViewSeconds{60, "0.;-0."};
  TNumberEditState PreViewMin{10, "0;-0"};
  TNumberEditState PreviewMax{30, "0.;-0"};
  TListBoxState MovieExt;
  TCheckState CheckSkipBlank;
  TCheckState CheckRememberShown;
  std::string LabelTitle;
  std::string LabelVersion;
  std::string LabelCopyLeft;
  std::string HomePageLink;      // the home-page address
  std::string SupportBoardLink;  // the support-board address

 private:
  // ISettingsReceiver: the dialog's reader hands the stored values here.
  void SetLogFile(const std::string& text) override;
  void SetDrawPosition(std::int32_t value) override;
  void SetGraphicsSize(std::int32_t value) override;
  void SetScreenClear(bool value) override;
  void SetPointCast(std::int32_t index) override;
  void SetRandomSort(bool value) override;
  void SetRotate(bool value) override;
  void SetCapture(bool value) override;
  void SetDispFileName(bool value) override;
  void SetBackColor(std::uint32_t color) override;
  void SetDrawWait(std::int32_t value) override;
  void SetPreviewRandom(bool value) override;
  void SetPreviewSeconds(std::int32_t value) override;
  void SetPreviewMin(std::int32_t value) override;
  void SetPreviewMax(std::int32_t value) override;
  void Complete() override;
  void SetSkipBlank(bool value) override;
  void SetRememberShown(bool value) override;
  void AddFolder(const std::string& folder) override;
  void ClearExtensions() override;
  void AddExtension(const std::string& extension) override;

  void FillSaverList();
  void ShowVersionInfo();
  void SetColor(std::uint32_t color);
  // Appends `folder` to FolderList unless an entry equals it without regard
  // to letter case; true when it was appended.
  bool AddFolderOnce(const std::string& folder);
  void ForgetFolder(std::size_t index);
  // Lists the sub-folders of `folder` (ending in a delimiter), depth first.
  void AddSubFolders(int level, const std::string& folder);
  void WalkSubFolders(const std::string& folder);

  IControlFormHost& FHost;
  TControlFormServices FServices;
  std::vector<std::string> FSaverPaths;  // parallel to ComboSS's entries
  bool FStop = false;
  // FolderList's entries lower-cased, so that a walk over tens of thousands of
  // folders does not compare each new one with every listed one.
  std::unordered_multiset<std::string> FListedFolders;
  // Folders entered by the running walk: a link back up the tree is not
  // followed again (the walk would otherwise repeat it down to its depth
  // limit, twice as often for every further link).
  std::unordered_set<std::string> FWalkedFolders;
  int FWalkDepth = 0;  // walks running, nested when an addition starts during one
};

}  // namespace tavelune
