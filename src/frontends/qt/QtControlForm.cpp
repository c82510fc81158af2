#include "frontends/qt/QtControlForm.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QHeaderView>
#include <QImage>
#include <QInputDialog>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QStandardPaths>
#include <QTabWidget>
#include <QToolButton>
#include <QTranslator>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>
#include <cmath>

#include "app/Program.h"
#include "app/ProgramIcon.h"
#include "base/ProcessUtils.h"
#include "base/TextUtils.h"
#include "imaging/Colors.h"
#include "ports/qt/QtFonts.h"
#include "ports/x11/X11Windows.h"

namespace tavelune::platform {

namespace {

QString Q(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string S(const QString& text) {
  return text.toUtf8().toStdString();
}

// A stored colour as Qt shows it. Values without the system flag give
// their low 24 bits, as the platform's drawing takes them.
QColor ToQColor(std::uint32_t color) {
  const std::uint32_t rgb = (color & kSystemColorFlag) != 0 ? ColorToRgb(color) : color & 0xFFFFFF;
  return {static_cast<int>(rgb & 0xFF), static_cast<int>((rgb >> 8) & 0xFF),
          static_cast<int>((rgb >> 16) & 0xFF)};
}

std::uint32_t FromQColor(const QColor& color) {
  return static_cast<std::uint32_t>(color.red()) | static_cast<std::uint32_t>(color.green()) << 8 |
         static_cast<std::uint32_t>(color.blue()) << 16;
}

}  // namespace

// A numeric edit: holds a number, takes only characters that may be part
// of one, and shows it in its display format while it is not being edited.
class TNumberEdit : public QLineEdit {
 public:
  TNumberEdit(std::string_view format, QWidget* parent) : QLineEdit(parent), FFormat(format) {
    setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9.+\\-]*"), this));
    setAcceptDrops(false);
    Show();
  }
  double Value() const { return hasFocus() ? NumberOr(S(text()), 0) : FValue; }
  void SetValue(double value) {
    FValue = value;
    if (!hasFocus()) {
      Show();
    }
  }

 protected:
  void focusInEvent(QFocusEvent* event) override {
    setText(Q(NumberEditText(FValue)));
    QLineEdit::focusInEvent(event);
  }
  void focusOutEvent(QFocusEvent* event) override {
    FValue = NumberOr(S(text()), 0);
    QLineEdit::focusOutEvent(event);
    Show();
  }

 private:
  void Show() { setText(Q(FormatDisplayNumber(FValue, FFormat))); }
  std::string_view FFormat;
  double FValue = 0;
};

namespace {

// A raised panel that acts as a button.
class TClickPanel : public QLabel {
 public:
  explicit TClickPanel(QWidget* parent) : QLabel(parent) {
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setLineWidth(2);
    setAlignment(Qt::AlignCenter);
    setAutoFillBackground(true);
  }
  std::function<void()> OnClick;

 protected:
  void mousePressEvent(QMouseEvent* event) override { event->accept(); }
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) &&
        OnClick) {
      OnClick();
    }
  }
};

// The folder chooser: the folder tree from the top of the file system with
// the user's home opened, a line of text above it and the chosen folder's
// path below.
std::optional<std::string> ChooseFolder(QWidget* parent, double scale) {
  QDialog dialog(parent);
  dialog.setWindowTitle(Q(kFolderDialogTitle));
  auto* layout = new QVBoxLayout(&dialog);
  auto* text = new QLabel(Q(kFolderDialogText), &dialog);
  auto* model = new QFileSystemModel(&dialog);
  model->setFilter(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Drives);
  model->setRootPath(QDir::rootPath());
  auto* tree = new QTreeView(&dialog);
  tree->setObjectName("FolderTree");
  tree->setModel(model);
  for (int column = 1; column < model->columnCount(); ++column) {
    tree->hideColumn(column);
  }
  tree->header()->hide();
  auto* status = new QLabel(&dialog);
  status->setObjectName("FolderPath");
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  layout->addWidget(text);
  layout->addWidget(tree);
  layout->addWidget(status);
  layout->addWidget(buttons);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  QObject::connect(tree->selectionModel(), &QItemSelectionModel::currentChanged,
                   [&](const QModelIndex& current) { status->setText(model->filePath(current)); });
  const QModelIndex home = model->index(QDir::homePath());
  tree->setCurrentIndex(home);
  tree->scrollTo(home);
  tree->expand(home);
  dialog.resize(static_cast<int>(320 * scale), static_cast<int>(400 * scale));
  if (dialog.exec() != QDialog::Accepted || !tree->currentIndex().isValid()) {
    return std::nullopt;
  }
  return S(QDir::toNativeSeparators(model->filePath(tree->currentIndex())));
}

}  // namespace

bool InstallJapaneseTranslations() {
  auto* translator = new QTranslator(qApp);
  if (!translator->load(QStringLiteral("qtbase_ja"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  QCoreApplication::installTranslator(translator);
  return true;
}

TQtControlForm::TQtControlForm(TControlFormServices services, TControlFormDesign design)
    : FDesign(std::move(design)) {
  FForm =
      std::make_unique<TControlForm>(static_cast<IControlFormHost&>(*this), std::move(services));
  const QScreen* screen = QGuiApplication::primaryScreen();
  FFontScale = screen != nullptr ? std::max(1.0, screen->logicalDotsPerInchY() / 96.0) : 1.0;
  FScale = FFontScale * kFontAllowance;
  Build();
  Wire();
  Render();  // the designed state, before anything is collected from the widgets
}

TQtControlForm::~TQtControlForm() = default;

QRect TQtControlForm::Bounds(const TControlLayout& control) const {
  const auto scaled = [this](int value) { return static_cast<int>(std::lround(value * FScale)); };
  return {scaled(control.Left), scaled(control.Top), scaled(control.Width), scaled(control.Height)};
}

void TQtControlForm::Build() {
  setWindowTitle(Q(kControlFormCaption));
  // A fixed-size dialog above other windows.
  setWindowFlags(Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setFont(JapaneseUiFont(static_cast<int>(std::lround(kControlFormFontHeight * FFontScale))));
  setFixedSize(static_cast<int>(std::lround(kControlFormClientWidth * FScale)),
               static_cast<int>(std::lround(kControlFormClientHeight * FScale)));
  for (const TControlLayout& control : FDesign.Layout) {
    QWidget* parent = control.Parent.empty() ? this : FControls.at(std::string(control.Parent));
    QWidget* widget = MakeControl(control, parent);
    widget->setObjectName(Q(control.Name));
    if (!control.Hint.empty()) {
      widget->setToolTip(Q(control.Hint));
    }
    FControls.emplace(std::string(control.Name), widget);
  }
  FPages->setCurrentIndex(2);
}

// The group's frame and one radio button a line of its items, spread over
// its height.
QWidget* TQtControlForm::MakeRadioGroup(const TControlLayout& control, const QRect& bounds,
                                        QWidget* parent) {
  auto* group = new QGroupBox(Q(control.Caption), parent);
  auto* buttons = new QButtonGroup(group);
  const QStringList items = Q(control.Items).split('\n');
  const int step = (bounds.height() - static_cast<int>(20 * FScale)) / items.size();
  for (int i = 0; i < items.size(); ++i) {
    auto* radio = new QRadioButton(items[i], group);
    radio->setGeometry(static_cast<int>(8 * FScale), static_cast<int>(16 * FScale) + i * step,
                       bounds.width() - static_cast<int>(12 * FScale),
                       static_cast<int>(17 * FScale));
    buttons->addButton(radio, i);
  }
  return group;
}

// The program's icon over the button face, scaled to `size`.
QWidget* TQtControlForm::MakeIconPicture(const QSize& size, QWidget* parent) {
  const TBitmap24 icon = DrawProgramIcon(ColorToRgb(0x8000000F));
  QImage image(icon.Row(0), icon.Width(), icon.Height(), static_cast<qsizetype>(icon.Stride()),
               QImage::Format_BGR888);
  auto* picture = new QLabel(parent);
  picture->setPixmap(QPixmap::fromImage(image.copy()).scaled(size));
  return picture;
}

QWidget* TQtControlForm::MakeControl(const TControlLayout& control, QWidget* parent) {
  const QRect bounds = Bounds(control);
  QWidget* widget = nullptr;
  switch (control.Kind) {
    case TControlKind::PageControl:
      FPages = new QTabWidget(parent);
      FPages->tabBar()->setAttribute(Qt::WA_Hover);  // hot-tracked tabs
      widget = FPages;
      break;
    case TControlKind::Page: {
      widget = new QWidget();
      FPages->addTab(widget, Q(control.Caption));
      return widget;
    }
    case TControlKind::Panel:
      widget = new QWidget(parent);
      break;
    case TControlKind::GroupBox:
      widget = new QGroupBox(Q(control.Caption), parent);
      break;
    case TControlKind::Button:
      widget = new QPushButton(Q(control.Caption), parent);
      break;
    case TControlKind::GlyphButton: {
      auto* button = new QToolButton(parent);
      button->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
      widget = button;
      break;
    }
    case TControlKind::CheckBox:
      widget = new QCheckBox(Q(control.Caption), parent);
      break;
    case TControlKind::RadioGroup:
      widget = MakeRadioGroup(control, bounds, parent);
      break;
    case TControlKind::Label:
      widget = new QLabel(Q(control.Caption), parent);
      break;
    case TControlKind::LinkLabel: {
      auto* label = new QLabel(parent);
      label->setCursor(Qt::PointingHandCursor);
      label->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
      widget = label;
      break;
    }
    case TControlKind::Edit: {
      auto* edit = new QLineEdit(parent);
      edit->setAcceptDrops(false);  // drops are the dialog's: folders to add
      widget = edit;
      break;
    }
    case TControlKind::NumberEdit: {
      const TNumberEditState& state = control.Name == "PreViewSeconds" ? FForm->PreViewSeconds
                                      : control.Name == "PreViewMin"   ? FForm->PreViewMin
                                                                       : FForm->PreviewMax;
      widget = new TNumberEdit(state.DisplayFormat, parent);
      break;
    }
    case TControlKind::ListBox:
    case TControlKind::SingleListBox: {
      auto* list = new QListWidget(parent);
      list->setSelectionMode(control.Kind == TControlKind::ListBox
                                 ? QAbstractItemView::ExtendedSelection
                                 : QAbstractItemView::SingleSelection);
      list->setUniformItemSizes(true);  // tens of thousands of folders stay quick
      list->installEventFilter(this);
      widget = list;
      break;
    }
    case TControlKind::DropDownList:
      widget = new QComboBox(parent);
      break;
    case TControlKind::ColorPanel: {
      auto* panel = new TClickPanel(parent);
      panel->setText(Q(control.Caption));
      widget = panel;
      break;
    }
    case TControlKind::Picture:
      widget = MakeIconPicture(bounds.size(), parent);
      break;
  }
  if (bounds.width() > 0) {
    widget->setGeometry(bounds);
  } else {
    widget->move(bounds.topLeft());
    widget->adjustSize();
  }
  return widget;
}

QWidget* TQtControlForm::Control(std::string_view name) const {
  const auto found = FControls.find(name);
  return found != FControls.end() ? found->second : nullptr;
}

void TQtControlForm::Wire() {
  const auto runner = [this](void (TControlForm::*handler)()) {
    return [this, handler] { Run([this, handler] { (FForm.get()->*handler)(); }); };
  };
  for (const TEventBinding& click : FDesign.Bindings.Clicks) {
    QWidget* control = Control(click.Name);
    if (auto* panel = dynamic_cast<TClickPanel*>(control)) {
      panel->OnClick = runner(click.Handler);
    } else if (auto* link = qobject_cast<QLabel*>(control)) {
      QObject::connect(link, &QLabel::linkActivated, this, runner(click.Handler));
    } else {
      QObject::connect(static_cast<QAbstractButton*>(control), &QAbstractButton::clicked, this,
                       runner(click.Handler));
    }
  }
  for (const TEventBinding& selection : FDesign.Bindings.Selections) {
    auto* list = static_cast<QListWidget*>(Control(selection.Name));
    QObject::connect(list, &QListWidget::itemClicked, this, runner(selection.Handler));
    QObject::connect(list, &QListWidget::itemDoubleClicked, this, runner(selection.Handler));
    QObject::connect(list, &QListWidget::currentRowChanged, this, runner(selection.Handler));
  }
  static_cast<QPushButton*>(Control("BtnOK"))->setDefault(true);
}

bool TQtControlForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Control("FolderList") &&
      (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease)) {
    // After the list has handled the key, so that the current entry is the new one.
    QMetaObject::invokeMethod(
        this, [this] { Run([this] { FForm->FolderListKeyDown(); }); }, Qt::QueuedConnection);
  }
  return QDialog::eventFilter(watched, event);
}

void TQtControlForm::Start() {
  show();
  Run([this] { FForm->FormCreate(); });
}

void TQtControlForm::Run(const std::function<void()>& handler) {
  if (FClosed) {
    return;
  }
  Collect();
  FForm->HandleEvent(handler);
  if (!FClosed) {
    Render();
  }
}

// ---- State between the widgets and the form -------------------------------

namespace {

void CollectCheck(QWidget* widget, TCheckState& state) {
  state.Checked = static_cast<QCheckBox*>(widget)->isChecked();
}

void RenderCheck(QWidget* widget, const TCheckState& state) {
  static_cast<QCheckBox*>(widget)->setChecked(state.Checked);
  widget->setEnabled(state.Enabled);
}

std::int32_t CheckedRadio(QWidget* group) {
  for (QRadioButton* radio : group->findChildren<QRadioButton*>()) {
    if (radio->isChecked()) {
      return static_cast<std::int32_t>(group->findChildren<QRadioButton*>().indexOf(radio));
    }
  }
  return -1;
}

void CheckRadio(QWidget* group, std::int32_t index) {
  const QList<QRadioButton*> radios = group->findChildren<QRadioButton*>();
  auto* buttons = group->findChild<QButtonGroup*>();
  buttons->setExclusive(false);  // so that none may be checked
  for (qsizetype i = 0; i < radios.size(); ++i) {
    radios[i]->setChecked(i == index);
  }
  buttons->setExclusive(true);
}

void CollectList(QWidget* widget, TListBoxState& state) {
  auto* list = static_cast<QListWidget*>(widget);
  state.ItemIndex = list->currentRow();
  for (int i = 0; i < list->count() && i < static_cast<int>(state.Selected.size()); ++i) {
    state.Selected[static_cast<std::size_t>(i)] = list->item(i)->isSelected();
  }
}

void SetText(QWidget* widget, const std::string& text) {
  auto* edit = static_cast<QLineEdit*>(widget);
  if (S(edit->text()) != text) {
    edit->setText(Q(text));
  }
}

// Sets a label's text and sizes the label to it.
void SetLabelText(QWidget* widget, const QString& text) {
  auto* label = static_cast<QLabel*>(widget);
  if (label->text() != text) {
    label->setText(text);
    label->adjustSize();
  }
}

QString LinkHtml(const std::string& address) {
  const QString escaped = Q(address).toHtmlEscaped();
  return QStringLiteral("<a href=\"%1\" style=\"color:#0000ff\">%1</a>").arg(escaped);
}

}  // namespace

void TQtControlForm::Collect() {
  TControlForm& f = *FForm;
  const TControlBindings& bound = FDesign.Bindings;
  f.ActivePage = static_cast<TControlPage>(std::max(0, FPages->currentIndex()));
  for (const auto& check : bound.CheckBoxes) {
    CollectCheck(Control(check.Name), check.State(f));
  }
  for (const auto& group : bound.RadioGroups) {
    group.State(f) = CheckedRadio(Control(group.Name));
  }
  for (const auto& edit : bound.Edits) {
    edit.State(f) = S(static_cast<QLineEdit*>(Control(edit.Name))->text());
  }
  for (const auto& number : bound.NumberEdits) {
    number.State(f).Value = static_cast<TNumberEdit*>(Control(number.Name))->Value();
  }
  for (const auto& list : bound.ListBoxes) {
    CollectList(Control(list.Name), list.State(f));
  }
}

void TQtControlForm::RenderList(std::string_view name, const TListBoxState& state) {
  auto* list = static_cast<QListWidget*>(Control(name));
  std::uint64_t& generation = FListGenerations.try_emplace(std::string(name), ~0ull).first->second;
  const QSignalBlocker blocker(list);
  if (generation != state.Generation || list->count() > static_cast<int>(state.Items.size())) {
    list->clear();
    generation = state.Generation;
  }
  for (auto i = static_cast<std::size_t>(list->count()); i < state.Items.size(); ++i) {
    list->addItem(Q(state.Items[i]));
  }
  const int current = list->currentRow();
  if (current != state.ItemIndex) {
    list->selectionModel()->setCurrentIndex(list->model()->index(state.ItemIndex, 0),
                                            QItemSelectionModel::NoUpdate);
  }
}

void TQtControlForm::Render() {
  TControlForm& f = *FForm;
  const TControlBindings& bound = FDesign.Bindings;
  FPages->setCurrentIndex(static_cast<int>(f.ActivePage));
  for (const auto& button : bound.ButtonsEnabled) {
    Control(button.Name)->setEnabled(button.State(f));
  }
  for (const auto& check : bound.CheckBoxes) {
    RenderCheck(Control(check.Name), check.State(f));
  }
  for (const auto& group : bound.RadioGroups) {
    CheckRadio(Control(group.Name), group.State(f));
  }
  for (const auto& edit : bound.Edits) {
    SetText(Control(edit.Name), edit.State(f));
  }
  for (const auto& number : bound.NumberEdits) {
    auto* edit = static_cast<TNumberEdit*>(Control(number.Name));
    edit->SetValue(number.State(f).Value);
    edit->setEnabled(number.State(f).Enabled);
  }
  for (const auto& list : bound.ListBoxes) {
    RenderList(list.Name, list.State(f));
    Control(list.Name)->setToolTip(Q(list.State(f).Hint));
  }
  for (const auto& label : bound.Labels) {
    SetLabelText(Control(label.Name), Q(label.State(f)));
  }
  for (const auto& link : bound.LinkLabels) {
    SetLabelText(Control(link.Name), LinkHtml(link.State(f)));
  }

  auto* combo = static_cast<QComboBox*>(Control("ComboSS"));
  if (combo->count() != static_cast<int>(f.ComboSS.Items.size())) {
    combo->clear();
    for (const std::string& item : f.ComboSS.Items) {
      combo->addItem(Q(item));
    }
  }
  combo->setCurrentIndex(f.ComboSS.ItemIndex);
  combo->setEnabled(f.ComboSS.Enabled);

  QWidget* panel = Control("PanelColor");
  QPalette palette = panel->palette();
  palette.setColor(QPalette::Window, ToQColor(f.PanelColor));
  palette.setColor(QPalette::WindowText, ToQColor(f.PanelColorFont));
  panel->setPalette(palette);
}

// ---- Window events ---------------------------------------------------------

void TQtControlForm::closeEvent(QCloseEvent* event) {
  if (!FClosed) {
    FClosed = true;
    FForm->HandleEvent([this] { FForm->FormClose(); });
  }
  event->accept();
  // The dialog is the main window: its close ends the program, once any
  // walk that is running has seen the stop flag and unwound.
  QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

void TQtControlForm::reject() {  // Esc: the cancel button
  Run([this] { FForm->BtnCancelClick(); });
}

void TQtControlForm::mousePressEvent(QMouseEvent* event) {
  // Any spot that is not a control drags the dialog, as its caption does:
  // by the window manager's own move, or without one, by following the mouse.
  if (event->button() != Qt::LeftButton) {
    QDialog::mousePressEvent(event);
    return;
  }
  event->accept();
  if (windowHandle() == nullptr || !windowHandle()->startSystemMove()) {
    FDragOffset = event->globalPosition().toPoint() - pos();
  }
}

void TQtControlForm::mouseMoveEvent(QMouseEvent* event) {
  if (FDragOffset && (event->buttons() & Qt::LeftButton) != 0) {
    move(event->globalPosition().toPoint() - *FDragOffset);
    event->accept();
    return;
  }
  QDialog::mouseMoveEvent(event);
}

void TQtControlForm::mouseReleaseEvent(QMouseEvent* event) {
  FDragOffset.reset();
  QDialog::mouseReleaseEvent(event);
}

void TQtControlForm::dragEnterEvent(QDragEnterEvent* event) {
  if (acceptDrops() && event->mimeData()->hasUrls()) {
    event->acceptProposedAction();
  }
}

void TQtControlForm::dropEvent(QDropEvent* event) {
  std::vector<std::string> names;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) {
      names.push_back(S(QDir::toNativeSeparators(url.toLocalFile())));
    }
  }
  event->acceptProposedAction();
  Run([this, &names] { FForm->WMDropFiles(names); });
}

// ---- What the form asks ----------------------------------------------------

void TQtControlForm::AcceptDroppedFiles() {
  setAcceptDrops(true);
}

void TQtControlForm::CloseSaverWindow() {
  CloseTopLevelWindows(kSaverWindowClass, kApplicationTitle, 10000);
}

std::optional<std::string> TQtControlForm::RunFolderDialog() {
  return ChooseFolder(this, FScale);
}

std::optional<std::uint32_t> TQtControlForm::RunColorDialog(std::uint32_t color) {
  const QColor chosen =
      QColorDialog::getColor(ToQColor(color), this, QString(), QColorDialog::DontUseNativeDialog);
  if (!chosen.isValid()) {
    return std::nullopt;
  }
  return FromQColor(chosen);
}

std::optional<std::string> TQtControlForm::RunSaveDialog(const std::string& title) {
  const QString name = QFileDialog::getSaveFileName(this, Q(title), QString(), QString(), nullptr,
                                                    QFileDialog::DontUseNativeDialog);
  if (name.isEmpty()) {
    return std::nullopt;
  }
  return S(QDir::toNativeSeparators(name));
}

std::string TQtControlForm::InputBox(const std::string& caption, const std::string& prompt,
                                     const std::string& defaultText) {
  bool confirmed = false;
  const QString answer = QInputDialog::getText(this, Q(caption), Q(prompt), QLineEdit::Normal,
                                               Q(defaultText), &confirmed);
  return confirmed ? S(answer) : defaultText;
}

void TQtControlForm::ShowErrorReport(const std::string& message) {
  QMessageBox::critical(this, Q(kApplicationTitle), Q(ErrorReportText(message)));
}

void TQtControlForm::OpenAddress(const std::string& address) {
  ShellOpen(address, "");
}

void TQtControlForm::Close() {
  close();
}

void TQtControlForm::YieldToMessages() {
  RenderList("FolderList", FForm->FolderList);
  Control("BtnOK")->setEnabled(FForm->BtnOKEnabled);
  QCoreApplication::processEvents();
}

}  // namespace tavelune::platform
