#pragma once

// The settings dialog's window on Qt: builds the controls of
// kControlFormLayout, hands user actions to TControlForm's handlers and
// shows its state again after each. The choosers and boxes it opens are
// Qt's own widgets (Japanese through Qt's translations, see
// InstallJapaneseTranslations). UI thread only.

#include <QDialog>
#include <QPoint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "ui/ControlBindings.h"
#include "ui/ControlForm.h"

class QLabel;
class QListWidget;
class QTabWidget;

namespace tavelune::platform {

class TNumberEdit;

// Loads Qt's own Japanese texts (buttons and captions of the standard
// dialogs) from the qt6-translations-l10n package; false when missing.
bool InstallJapaneseTranslations();

class TQtControlForm : public QDialog, private IControlFormHost {
 public:
  // The designed dialog, or another `design` (a test's).
  explicit TQtControlForm(TControlFormServices services,
                          TControlFormDesign design = ControlFormDesign());
  ~TQtControlForm() override;

  // Shows the dialog and runs FormCreate.
  void Start();

  TControlForm& Form() { return *FForm; }
  // The control of that name from the layout (tests find widgets by it too,
  // as each carries its name as object name).
  QWidget* Control(std::string_view name) const;
  // Runs a handler as a user action does: the widgets' state goes into the
  // form first, the form's state comes back to the widgets afterwards.
  void Run(const std::function<void()>& handler);

  // Scale of the designed pixel bounds (1.2 at 96 dpi).
  double Scale() const { return FScale; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // IControlFormHost
  void AcceptDroppedFiles() override;
  void CloseSaverWindow() override;
  std::optional<std::string> RunFolderDialog() override;
  std::optional<std::uint32_t> RunColorDialog(std::uint32_t color) override;
  std::optional<std::string> RunSaveDialog(const std::string& title) override;
  std::string InputBox(const std::string& caption, const std::string& prompt,
                       const std::string& defaultText) override;
  void ShowErrorReport(const std::string& message) override;
  void OpenAddress(const std::string& address) override;
  void Close() override;
  void YieldToMessages() override;

  void Build();
  QWidget* MakeControl(const TControlLayout& control, QWidget* parent);
  QWidget* MakeRadioGroup(const TControlLayout& control, const QRect& bounds, QWidget* parent);
  QWidget* MakeIconPicture(const QSize& size, QWidget* parent);
  void Wire();
  void Collect();
  void Render();
  // Shows the entries of `state` in the list of that name, adding only the
  // new tail while its generation stays the same.
  void RenderList(std::string_view name, const TListBoxState& state);
  QRect Bounds(const TControlLayout& control) const;

  // The font's scale for the screen, and the layout's: Noto Sans CJK JP
  // sets Japanese about a fifth wider than the face the bounds were
  // designed for, so the bounds grow by that much more than the font.
  static constexpr double kFontAllowance = 1.2;
  double FFontScale = 1;
  double FScale = 1;
  TControlFormDesign FDesign;
  std::unique_ptr<TControlForm> FForm;
  std::map<std::string, QWidget*, std::less<>> FControls;
  QTabWidget* FPages = nullptr;
  // The generation of the entries each list shows, by name.
  std::map<std::string, std::uint64_t, std::less<>> FListGenerations;
  bool FClosed = false;
  // Where the mouse holds the dialog while it drags it itself.
  std::optional<QPoint> FDragOffset;
};

}  // namespace tavelune::platform
