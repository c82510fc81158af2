#include "ui/ControlForm.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "base/FileNames.h"
#include "base/TextUtils.h"
#include "platform/DirectoryList.h"
#include "platform/FileSystem.h"
#include "platform/PathStyle.h"
#include "settings/VersionInfo.h"

namespace tavelune {

using TKind = TControlKind;

const std::vector<TControlLayout> kControlFormLayout = {
    {"Pages", TKind::PageControl, "", 0, 0, kControlFormClientWidth,
     kControlFormClientHeight - kControlFormBottomPanelHeight},
    {"FoldersPage", TKind::Page, "Pages", 0, 0, 0, 0, "動画フォルダー"},
    {"CheckSub", TKind::CheckBox, "FoldersPage", 2, 24, 145, 17, "サブフォルダーを探す"},
    {"BtnAdd", TKind::Button, "FoldersPage", 218, 26, 57, 17, "追加"},
    {"BtnDelete", TKind::Button, "FoldersPage", 298, 26, 57, 17, "削除"},
    {"FolderList",
     TKind::ListBox,
     "FoldersPage",
     2,
     48,
     361,
     169,
     {},
     "画像ファイルが入ったフォルダーを登録します"},
    {"LogFileLabel", TKind::Label, "FoldersPage", 8, 240, 0, 0, "表示履歴ファイル"},
    {"EditLogFile", TKind::Edit, "FoldersPage", 104, 232, 225, 20},
    {"LogFileButton", TKind::GlyphButton, "FoldersPage", 336, 228, 25, 25},
    {"OptionsPage", TKind::Page, "Pages", 0, 0, 0, 0, "オプション"},
    {"RadioGSize", TKind::RadioGroup, "OptionsPage", 0, 8, 89, 105, "画像サイズ",
     "画像の表示サイズを指定します", "フルサイズ\nフィット\nランダム"},
    {"RadioDrawPosition", TKind::RadioGroup, "OptionsPage", 0, 120, 89, 73, "画像表示位置",
     "画像の表示位置を指定します", "中央\nランダム"},
    {"PictureOptions", TKind::GroupBox, "OptionsPage", 96, 8, 129, 185, "画像オプション"},
    {"CheckClear", TKind::CheckBox, "PictureOptions", 8, 16, 81, 25, "画面消去",
     "画像を消してから、次の画像を表示します"},
    {"CheckRandomG", TKind::CheckBox, "PictureOptions", 8, 40, 97, 17, "シャッフル表示",
     "表示順をランダムにします"},
    {"CheckRol", TKind::CheckBox, "PictureOptions", 8, 60, 73, 17, "回転", "画像を回転させます"},
    {"CheckCapture", TKind::CheckBox, "PictureOptions", 8, 80, 113, 17, "デスクトップを残す",
     "元のデスクトップ画面を残します."},
    {"CheckFileName", TKind::CheckBox, "PictureOptions", 8, 104, 113, 17, "ファイル情報表示"},
    {"WaitLabel", TKind::Label, "PictureOptions", 8, 164, 0, 0, "待ち時間"},
    {"EditWait", TKind::Edit, "PictureOptions", 64, 160, 33, 20, {}, "表示する時間を秒で入れます"},
    {"WaitUnitLabel", TKind::Label, "PictureOptions", 104, 164, 0, 0, "秒"},
    {"SaverChoiceLabel", TKind::Label, "OptionsPage", 0, 200, 0, 0, "切替えるスクリーンセーバ"},
    {"ComboSS",
     TKind::DropDownList,
     "OptionsPage",
     0,
     219,
     129,
     20,
     {},
     "最後に切り替えるスクリーンセーバーを選びます"},
    {"PanelColor", TKind::ColorPanel, "OptionsPage", 136, 200, 89, 41, "背景色"},
    {"SegmentOptions", TKind::GroupBox, "OptionsPage", 232, 8, 129, 113, "動画の分割間隔"},
    {"PreviewRandom", TKind::CheckBox, "SegmentOptions", 8, 16, 97, 17, "ランダム"},
    {"PreViewSeconds", TKind::NumberEdit, "SegmentOptions", 8, 40, 49, 20},
    {"IntervalUnitLabel", TKind::Label, "SegmentOptions", 64, 48, 0, 0, "秒おき"},
    {"MinimumLabel", TKind::Label, "SegmentOptions", 8, 72, 0, 0, "最低"},
    {"PreViewMin", TKind::NumberEdit, "SegmentOptions", 40, 64, 49, 20},
    {"MinimumUnitLabel", TKind::Label, "SegmentOptions", 96, 72, 0, 0, "個"},
    {"MaximumLabel", TKind::Label, "SegmentOptions", 8, 96, 0, 0, "最大"},
    {"PreviewMax", TKind::NumberEdit, "SegmentOptions", 40, 88, 49, 20},
    {"MaximumUnitLabel", TKind::Label, "SegmentOptions", 96, 96, 0, 0, "個"},
    {"FileKindOptions", TKind::GroupBox, "OptionsPage", 232, 128, 129, 113, "管理する対象ファイル"},
    {"ExtensionLabel", TKind::Label, "FileKindOptions", 8, 24, 0, 0, "拡張子"},
    {"MovieExt", TKind::SingleListBox, "FileKindOptions", 8, 40, 57, 65},
    {"ButtonExtAdd", TKind::Button, "FileKindOptions", 72, 48, 49, 25, "追加"},
    {"ButtonExtDelete", TKind::Button, "FileKindOptions", 72, 80, 49, 25, "削除"},
    {"VersionPage", TKind::Page, "Pages", 0, 0, 0, 0, "バージョン情報"},
    {"IconPicture", TKind::Picture, "VersionPage", 8, 8, 64, 64},
    {"LabelTitle", TKind::Label, "VersionPage", 80, 8, 0, 0},
    {"LabelVersion", TKind::Label, "VersionPage", 80, 32, 0, 0},
    {"LabelCopyLeft", TKind::Label, "VersionPage", 80, 56, 0, 0},
    {"HomePageLabel", TKind::Label, "VersionPage", 8, 88, 0, 0, "ホームページ"},
    {"HomePageLink", TKind::LinkLabel, "VersionPage", 32, 104, 0, 0, {}, "ホームページを開く"},
    {"SupportBoardLabel", TKind::Label, "VersionPage", 8, 136, 0, 0,
     "要望、感想、質問、バグなどは、こちらのBBSまでご連絡ください"},
    {"SupportBoardLink", TKind::LinkLabel, "VersionPage", 32, 152, 0, 0, {}, "ホームページを開く"},
    {"ExtrasPage", TKind::Page, "Pages", 0, 0, 0, 0, "拡張設定"},
    {"CheckSkipBlank", TKind::CheckBox, "ExtrasPage", 8, 16, 321, 17, "黒い画面を飛ばす",
     "黒い画面や一色だけの画面は表示せず、同じ区間の次の画面を試します"},
    {"CheckRememberShown", TKind::CheckBox, "ExtrasPage", 8, 48, 321, 17,
     "前回までに表示した動画を後回しにする",
     "シャッフル表示で、まだ表示していない動画を先に表示します"},
    {"ButtonPanel", TKind::Panel, "", 0, kControlFormClientHeight - kControlFormBottomPanelHeight,
     kControlFormClientWidth, kControlFormBottomPanelHeight},
    {"BtnOK", TKind::Button, "ButtonPanel", 79, 4, 84, 21, "保存"},
    {"BtnCancel", TKind::Button, "ButtonPanel", 223, 5, 89, 20, "中止"},
};

const std::vector<std::string> kDefaultExtensions = {"avi",  "mpg", "asf", "wmv", "wvx",
                                                     "mpeg", "mov", "m2p", "vg2"};

// ---- Numeric edits -----------------------------------------------------

namespace {

std::vector<std::string_view> Sections(std::string_view format) {
  std::vector<std::string_view> sections;
  std::size_t start = 0;
  for (std::size_t semicolon; (semicolon = format.find(';', start)) != std::string_view::npos;
       start = semicolon + 1) {
    sections.push_back(format.substr(start, semicolon - start));
  }
  sections.push_back(format.substr(start));
  return sections;
}

bool IsDigitPlace(char c) {
  return c == '0' || c == '#';
}

// Fills one section with the magnitude `value` (not negative).
std::string FormatSection(double value, std::string_view section) {
  const std::size_t point = section.find('.');
  std::size_t minimumDigits = 0;
  std::size_t decimals = 0;
  std::size_t minimumDecimals = 0;
  for (std::size_t i = 0; i < section.size(); ++i) {
    if (!IsDigitPlace(section[i])) {
      continue;
    }
    if (point == std::string_view::npos || i < point) {
      minimumDigits += section[i] == '0' ? 1 : 0;
    } else {
      ++decimals;
      minimumDecimals = section[i] == '0' ? decimals : minimumDecimals;
    }
  }
  const double scale = std::pow(10.0, static_cast<double>(decimals));
  const double rounded = std::round(value * scale) / scale;  // half away from zero
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, "%.*f", static_cast<int>(decimals), rounded);
  std::string number = buffer;
  std::string whole = number.substr(0, number.find('.'));
  std::string fraction = decimals > 0 ? number.substr(number.find('.') + 1) : std::string();
  while (fraction.size() > minimumDecimals && fraction.back() == '0') {
    fraction.pop_back();
  }
  if (whole == "0" && minimumDigits == 0) {
    whole.clear();
  }
  while (whole.size() < minimumDigits) {
    whole.insert(whole.begin(), '0');
  }
  // Literal characters stay where they stand; the digits go where the
  // first digit place of the whole part is.
  std::string out;
  bool wholeWritten = false;
  for (std::size_t i = 0; i < section.size(); ++i) {
    const char c = section[i];
    if (i == point) {
      if (!wholeWritten) {
        out += whole;
        wholeWritten = true;
      }
      out += '.';
      out += fraction;
    } else if (IsDigitPlace(c)) {
      if (!wholeWritten && (point == std::string_view::npos || i < point)) {
        out += whole;
        wholeWritten = true;
      }
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

std::string FormatDisplayNumber(double value, std::string_view format) {
  const std::vector<std::string_view> sections = Sections(format);
  if (value == 0 && sections.size() > 2) {
    return FormatSection(0, sections[2]);
  }
  if (value < 0 && sections.size() > 1 && !sections[1].empty()) {
    return FormatSection(-value, sections[1]);
  }
  const std::string text = FormatSection(std::fabs(value), sections[0]);
  // A negative number in the positive section keeps its sign, unless it
  // rounds to zero.
  const bool showsDigit = text.find_first_of("123456789") != std::string::npos;
  return value < 0 && showsDigit ? "-" + text : text;
}

std::string NumberEditText(double value) {
  if (value == 0 || !std::isfinite(value)) {
    return {};
  }
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, "%.2f", value);
  std::string text = buffer;
  while (text.back() == '0') {
    text.pop_back();
  }
  if (text.back() == '.') {
    text.pop_back();
  }
  return text == "-0" || text.empty() ? std::string() : text;
}

bool IsNumberCharacter(char character) {
  return (character >= '0' && character <= '9') || character == '.' || character == '-' ||
         character == '+';
}

std::string ErrorReportText(const std::string& message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') {
    return message + ".";
  }
  return message;
}

// ---- List boxes --------------------------------------------------------

void TListBoxState::Append(const std::string& item) {
  Items.push_back(item);
  Selected.push_back(false);
}

void TListBoxState::Delete(std::size_t index) {
  Items.erase(Items.begin() + static_cast<std::ptrdiff_t>(index));
  Selected.erase(Selected.begin() + static_cast<std::ptrdiff_t>(index));
  if (ItemIndex >= static_cast<std::int32_t>(Items.size())) {
    ItemIndex = static_cast<std::int32_t>(Items.size()) - 1;
  }
  ++Generation;
}

void TListBoxState::Clear() {
  Items.clear();
  Selected.clear();
  ItemIndex = -1;
  ++Generation;
}

// ---- The dialog --------------------------------------------------------

namespace {

// Re-enables "保存" however the work in between ends.
class TSaveButtonLock {
 public:
  explicit TSaveButtonLock(bool& enabled) : FEnabled(enabled) { FEnabled = false; }
  ~TSaveButtonLock() { FEnabled = true; }
  TSaveButtonLock(const TSaveButtonLock&) = delete;
  TSaveButtonLock& operator=(const TSaveButtonLock&) = delete;

 private:
  bool& FEnabled;
};

std::string LayoutHint(std::string_view name) {
  for (const TControlLayout& control : kControlFormLayout) {
    if (control.Name == name) {
      return std::string(control.Hint);
    }
  }
  return {};
}

// A radio group's selection for a stored number: beyond the last item the
// last one, below 0 none.
std::int32_t RadioIndex(std::int32_t value, std::int32_t itemCount) {
  return value < 0 ? -1 : std::min(value, itemCount - 1);
}

}  // namespace

TControlForm::TControlForm(IControlFormHost& host, TControlFormServices services)
    : FHost(host), FServices(std::move(services)) {
  FolderList.Hint = LayoutHint("FolderList");
  for (const std::string& extension : kDefaultExtensions) {
    MovieExt.Append(extension);
  }
  HomePageLink = FServices.HomePage;
  SupportBoardLink = FServices.SupportBoard;
}

void TControlForm::FormCreate() {
  FHost.AcceptDroppedFiles();
  FHost.CloseSaverWindow();
  FillSaverList();
  ReadDialogSettings(FServices.Store, *this, FSaverPaths);
  ShowVersionInfo();
}

void TControlForm::FillSaverList() {
  FSaverPaths = {""};
  ComboSS.Items = {kNoSaverEntry};
  FServices.ScreenSaverSetup.ListInstalledSavers(FSaverPaths);
  for (std::size_t i = 1; i < FSaverPaths.size(); ++i) {
    const std::string& path = FSaverPaths[i];
    TVersionRecord record;
    ReadVersionRecord(path, record);
    if (!record.SCRNSAVE.empty()) {
      ComboSS.Items.push_back(record.SCRNSAVE);
      continue;
    }
    std::string name = ExtractFileName(path);  // without its ".scr"
    name.resize(name.size() - std::min<std::size_t>(4, name.size()));
    ComboSS.Items.push_back(name);
  }
}

void TControlForm::ShowVersionInfo() {
  TVersionRecord record;
  ReadVersionRecord(FServices.ProgramFile, record);
  LabelTitle = record.ProductName;
  LabelVersion = "バージョン " + record.FileVersion;
  LabelCopyLeft = "作者 " + record.LegalCopyright;
}

void TControlForm::FormClose() {
  FStop = true;
  FSaverPaths.clear();
}

// ---- Values from the store ---------------------------------------------

void TControlForm::SetLogFile(const std::string& text) {
  EditLogFile = text;
}
void TControlForm::SetDrawPosition(std::int32_t value) {
  RadioDrawPosition = RadioIndex(value, 2);
}
void TControlForm::SetGraphicsSize(std::int32_t value) {
  RadioGSize = RadioIndex(value, 3);
}
void TControlForm::SetScreenClear(bool value) {
  CheckClear.Checked = value;
}
void TControlForm::SetPointCast(std::int32_t index) {
  ComboSS.ItemIndex = index;
}
void TControlForm::SetRandomSort(bool value) {
  CheckRandomG.Checked = value;
}
void TControlForm::SetRotate(bool value) {
  CheckRol.Checked = value;
}
void TControlForm::SetCapture(bool value) {
  CheckCapture.Checked = value;
}
void TControlForm::SetDispFileName(bool value) {
  CheckFileName.Checked = value;
}
void TControlForm::SetBackColor(std::uint32_t color) {
  SetColor(color);
}
void TControlForm::SetDrawWait(std::int32_t value) {
  EditWait = std::to_string(value);
}
void TControlForm::SetPreviewRandom(bool value) {
  PreviewRandom.Checked = value;
}
void TControlForm::SetPreviewSeconds(std::int32_t value) {
  PreViewSeconds.Value = value;
}
void TControlForm::SetPreviewMin(std::int32_t value) {
  PreViewMin.Value = value;
}
void TControlForm::SetPreviewMax(std::int32_t value) {
  PreviewMax.Value = value;
}
void TControlForm::Complete() {
  PreviewRandomClick();
}
void TControlForm::SetSkipBlank(bool value) {
  CheckSkipBlank.Checked = value;
}
void TControlForm::SetRememberShown(bool value) {
  CheckRememberShown.Checked = value;
}

void TControlForm::AddFolder(const std::string& folder) {
  FolderList.Append(folder);
  FListedFolders.insert(AsciiLower(folder));
}

void TControlForm::ClearExtensions() {
  MovieExt.Clear();
}
void TControlForm::AddExtension(const std::string& extension) {
  MovieExt.Append(extension);
}

void TControlForm::SetColor(std::uint32_t color) {
  PanelColor = color;
  PanelColorFont = ~color;
}

// ---- Save and cancel ---------------------------------------------------

void TControlForm::BtnOKClick() {
  TSaverSettings settings;
  settings.LogFile = EditLogFile;
  settings.DrawPosition = RadioDrawPosition;
  settings.GraphicsSize = RadioGSize;
  settings.ScreenClear = CheckClear.Checked;
  settings.RandomSort = CheckRandomG.Checked;
  settings.Rotate = CheckRol.Checked;
  settings.Capture = CheckCapture.Checked;
  settings.DispFileName = CheckFileName.Checked;
  settings.BackColor = PanelColor;
  settings.PreviewRandom = PreviewRandom.Checked;
  settings.SkipBlank = CheckSkipBlank.Checked;
  settings.RememberShown = CheckRememberShown.Checked;
  settings.FolderList = FolderList.Items;
  settings.ExtensionList = MovieExt.Items;
  TDialogTexts texts;
  if (ComboSS.ItemIndex >= 0 && ComboSS.ItemIndex < static_cast<std::int32_t>(FSaverPaths.size())) {
    texts.PointCast = FSaverPaths[static_cast<std::size_t>(ComboSS.ItemIndex)];
  }
  texts.DrawWait = EditWait;
  texts.PreviewSeconds = PreViewSeconds.Text();
  texts.PreviewMin = PreViewMin.Text();
  texts.PreviewMax = PreviewMax.Text();
  texts.RootPath = FServices.RootPath;
  WriteSettings(FServices.Store, settings, texts);
  FHost.Close();
}

void TControlForm::BtnCancelClick() {
  FHost.Close();
}

// ---- Folders -------------------------------------------------------------

bool TControlForm::AddFolderOnce(const std::string& folder) {
  if (FListedFolders.count(AsciiLower(folder)) != 0) {
    return false;
  }
  AddFolder(folder);
  return true;
}

void TControlForm::ForgetFolder(std::size_t index) {
  const auto listed = FListedFolders.find(AsciiLower(FolderList.Items[index]));
  if (listed != FListedFolders.end()) {
    FListedFolders.erase(listed);
  }
  FolderList.Delete(index);
}

void TControlForm::BtnAddClick() {
  TSaveButtonLock lock(BtnOKEnabled);
  FStop = false;
  const std::optional<std::string> folder = FHost.RunFolderDialog();
  if (!folder) {
    return;
  }
  AddFolderOnce(*folder);
  if (CheckSub.Checked) {
    WalkSubFolders(IncludeTrailingDelimiter(*folder));
  }
}

void TControlForm::WalkSubFolders(const std::string& folder) {
  // An addition started while another walk runs (its controls stay
  // usable) shares that walk's record of entered folders.
  if (FWalkDepth == 0) {
    FWalkedFolders.clear();
  }
  ++FWalkDepth;
  struct TLeave {
    int& Depth;
    ~TLeave() { --Depth; }
  } leave{FWalkDepth};
  AddSubFolders(0, folder);
}

void TControlForm::AddSubFolders(int level, const std::string& folder) {
  platform::ListFolderEntries(folder, [&](const platform::TFolderEntry& entry) {
    if (FStop) {
      return false;
    }
    if (entry.Folder && !entry.Hidden && entry.Name != "." && entry.Name != "..") {
      const std::string subFolder = folder + entry.Name + platform::kPathDelimiter;
      AddFolderOnce(subFolder);
      const bool known = entry.Device != 0 || entry.Node != 0;
      const bool firstVisit =
          !known ||
          FWalkedFolders.insert(std::to_string(entry.Device) + ":" + std::to_string(entry.Node))
              .second;
      if (level < 260 && firstVisit) {
        AddSubFolders(level + 1, subFolder);
      }
    }
    FHost.YieldToMessages();
    return !FStop;
  });
}

void TControlForm::WMDropFiles(const std::vector<std::string>& names) {
  TSaveButtonLock lock(BtnOKEnabled);
  FStop = false;
  for (const std::string& name : names) {
    if (FStop) {
      break;
    }
    std::string folder = platform::DirectoryExists(name) ? name : ExtractFilePath(name);
    if (folder.empty() || folder.back() != platform::kPathDelimiter) {
      folder += platform::kPathDelimiter;
    }
    if (ActivePage == TControlPage::FoldersPage && AddFolderOnce(folder) && CheckSub.Checked) {
      WalkSubFolders(folder);
    }
    FHost.YieldToMessages();
  }
}

void TControlForm::FolderListClick() {
  if (FolderList.ItemIndex >= 0 &&
      FolderList.ItemIndex < static_cast<std::int32_t>(FolderList.Items.size())) {
    FolderList.Hint = FolderList.Items[static_cast<std::size_t>(FolderList.ItemIndex)];
  }
  FolderListKeyDown();
}

void TControlForm::FolderListKeyDown() {
  BtnDeleteEnabled = FolderList.ItemIndex >= 0;
}

void TControlForm::BtnDeleteClick() {
  for (std::size_t i = FolderList.Items.size(); i-- > 0;) {
    if (FolderList.Selected[i]) {
      ForgetFolder(i);
    }
  }
  if (FolderList.Items.empty()) {
    BtnDeleteEnabled = false;
  }
}

// ---- Extensions and the rest ---------------------------------------------

void TControlForm::ButtonExtAddClick() {
  const std::string answer =
      TrimControl(FHost.InputBox(kExtensionInputCaption, kExtensionInputPrompt, ""));
  if (!answer.empty()) {
    MovieExt.Append(answer);
  }
}

void TControlForm::MovieExtClick() {
  if (!MovieExt.Items.empty()) {
    ButtonExtDeleteEnabled = true;
  }
}

void TControlForm::ButtonExtDeleteClick() {
  if (MovieExt.ItemIndex >= 0 &&
      MovieExt.ItemIndex < static_cast<std::int32_t>(MovieExt.Items.size())) {
    MovieExt.Delete(static_cast<std::size_t>(MovieExt.ItemIndex));
  }
  MovieExt.ItemIndex = -1;
  ButtonExtDeleteEnabled = false;
}

void TControlForm::PreviewRandomClick() {
  const bool byNumbers = !PreviewRandom.Checked;
  PreViewSeconds.Enabled = byNumbers;
  PreViewMin.Enabled = byNumbers;
  PreviewMax.Enabled = byNumbers;
}

void TControlForm::PanelColorClick() {
  if (const std::optional<std::uint32_t> color = FHost.RunColorDialog(PanelColor)) {
    SetColor(*color);
  }
}

void TControlForm::LogFileButtonClick() {
  if (const std::optional<std::string> name = FHost.RunSaveDialog(kSaveDialogTitle)) {
    EditLogFile = *name;
  }
}

void TControlForm::HomePageLinkClick() {
  FHost.OpenAddress(HomePageLink);
}
void TControlForm::SupportBoardLinkClick() {
  FHost.OpenAddress(SupportBoardLink);
}

}  // namespace tavelune
