#pragma once

// The settings dialog's window on Win32: the controls of kControlFormLayout
// made as common controls, user actions handed to TControlForm's handlers
// and its state shown again after each. The choosers are the system's own
// (SHBrowseForFolderW, ChooseColorW, GetSaveFileNameW); the one-line input
// box is a small window of its own. UI thread only.

#include <windows.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/ControlBindings.h"
#include "ui/ControlForm.h"

namespace tavelune::platform {

struct TWin32NumberEdit;

class TWin32ControlForm : private IControlFormHost {
 public:
  // The designed dialog, or another `design` (a test's).
  explicit TWin32ControlForm(TControlFormServices services,
                             TControlFormDesign design = ControlFormDesign());
  ~TWin32ControlForm() override;
  TWin32ControlForm(const TWin32ControlForm&) = delete;
  TWin32ControlForm& operator=(const TWin32ControlForm&) = delete;

  // Makes the window, shows it and runs FormCreate; false when the window
  // could not be made.
  bool Start();
  // Gives the dialog's keyboard handling (Tab, Enter, Esc, Ctrl+Tab) a
  // message taken from the thread's queue; true when it was handled there
  // and must not be dispatched.
  bool PreTranslateMessage(MSG& message);
  // Whether the window has closed (FormClose has run).
  bool Closed() const { return FClosed; }

  HWND Window() const { return FWindow; }
  // The control of that name from the layout; nullptr for none.
  HWND Control(std::string_view name) const;
  // The radio buttons of a radio group, in the order of its items.
  const std::vector<HWND>& Radios(std::string_view group) const;
  TControlForm& Form() { return *FForm; }
  // Runs a handler as a user action does: the controls' state goes into the
  // form first, the form's state comes back to the controls afterwards.
  void Run(const std::function<void()>& handler);
  // The designed bounds' scale: the screen's dots per inch over 96, times
  // the font's own growth over the designed 12-pixel face.
  double Scale() const { return FScale; }

 protected:
  // What opens a window of its own, or reaches outside the process (tests
  // of the window replace these).
  void CloseSaverWindow() override;
  std::optional<std::string> RunFolderDialog() override;
  std::optional<std::uint32_t> RunColorDialog(std::uint32_t color) override;
  std::optional<std::string> RunSaveDialog(const std::string& title) override;
  std::string InputBox(const std::string& caption, const std::string& prompt,
                       const std::string& defaultText) override;
  void ShowErrorReport(const std::string& message) override;
  void OpenAddress(const std::string& address) override;

 private:
  void AcceptDroppedFiles() override;
  void Close() override;
  void YieldToMessages() override;

  static LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Command(int id, int code);
  void DropFiles(HDROP drop);
  LRESULT DrawItem(const DRAWITEMSTRUCT& item);

  void MeasureFont();
  void Build();
  HWND MakeControl(const TControlLayout& control, HWND parent, int id);
  void SizeToText(HWND parent, const std::wstring& caption, RECT& bounds);
  void AttachControl(const TControlLayout& control, HWND window, const RECT& bounds);
  void MakeRadioButtons(const TControlLayout& control, HWND group, const RECT& bounds);
  RECT Bounds(const TControlLayout& control) const;
  void AddHint(HWND control, std::string_view hint);
  void ShowPage(int index);
  void Collect();
  void Render();
  // Shows the entries of `state` in the list of that name, adding only the
  // new tail while its generation stays the same.
  void RenderList(std::string_view name, const TListBoxState& state);
  void RenderHint(HWND control, const std::string& hint);
  void SetLabel(std::string_view name, const std::string& text);

  TControlFormDesign FDesign;
  std::unique_ptr<TControlForm> FForm;
  HWND FWindow = nullptr;
  HWND FPages = nullptr;
  HWND FToolTip = nullptr;
  HFONT FFont = nullptr;
  HFONT FLinkFont = nullptr;
  HBITMAP FGlyph = nullptr;
  double FScale = 1;
  int FFontHeight = kControlFormFontHeight;  // pixels, at the screen's dots per inch
  std::map<std::string, HWND, std::less<>> FControls;
  // Control ids: IDOK and IDCANCEL for the two buttons of the bottom
  // panel, the others numbered in the order of making, radio buttons
  // included (unnamed: the form acts on their group only).
  int FNextId = 100;
  std::map<int, std::string> FNames;  // control id -> name
  std::map<std::string, std::vector<HWND>, std::less<>> FRadios;
  std::vector<HWND> FPageWindows;  // in the order of the tabs
  std::map<HWND, std::unique_ptr<TWin32NumberEdit>> FNumberEdits;
  // The generation of the entries each list shows, by name.
  std::map<std::string, std::uint64_t, std::less<>> FListGenerations;
  bool FClosed = false;
  std::chrono::steady_clock::time_point FLastYield;       // when the messages were last handled
  std::chrono::steady_clock::time_point FLastListRender;  // when a walk last showed its entries
};

}  // namespace tavelune::platform
