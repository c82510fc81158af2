// The settings dialog's real widgets on Qt's offscreen platform: typing,
// clicking, dropping and the standard dialogs, against a real settings file.

#include "frontends/qt/QtControlForm.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileSystemModel>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>

#include "helpers/ExtraCheckBox.h"
#include "helpers/TestFiles.h"
#include "ports/regfile/RegFileKeyStore.h"

// Readable QStrings in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << text.toStdString();
}

namespace tavelune::platform {
namespace {

using test::TTempDir;

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

// Runs `act` on the next modal dialog once it is up (from inside its exec).
void WhenModal(std::function<void(QWidget*)> act) {
  auto* timer = new QTimer(qApp);
  QObject::connect(timer, &QTimer::timeout, [timer, act] {
    if (QWidget* modal = QApplication::activeModalWidget()) {
      timer->stop();
      timer->deleteLater();
      act(modal);
    }
  });
  timer->start(10);
}

void PressButton(QWidget* dialog, QDialogButtonBox::StandardButton which) {
  dialog->findChild<QDialogButtonBox*>()->button(which)->click();
}

class QtControlFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("XDG_DATA_HOME", Dir.Name("data").c_str(), 1);  // no savers of the user's
    Store = std::make_unique<TRegFileKeyStore>(Dir.Name("settings.reg"));
  }
  TQtControlForm& Open(TControlFormDesign design = ControlFormDesign()) {
    Dialog = std::make_unique<TQtControlForm>(
        TControlFormServices{*Store, TScreenSaverSetup(Dir.Name("none"), Dir.Name("none")),
                             "/nonexistent/tavelune", "/opt/tavelune/", "https://home.example/",
                             "https://board.example/"},
        std::move(design));
    Dialog->Start();
    // Focus moves (which end a numeric edit's editing) need an active window.
    QApplication::setActiveWindow(Dialog.get());
    EXPECT_TRUE(QTest::qWaitForWindowActive(Dialog.get()));
    return *Dialog;
  }
  template <typename T>
  T* Get(const char* name) {
    auto* widget = qobject_cast<T*>(Dialog->Control(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  // Clicks "保存" and returns the text of the error report it brings up.
  QString ReportOfSaving() {
    QString reported;
    WhenModal([&](QWidget* box) {
      reported = static_cast<QMessageBox*>(box)->text();
      static_cast<QMessageBox*>(box)->accept();
    });
    Get<QPushButton>("BtnOK")->click();
    return reported;
  }
  void ShowPage(int index) { Get<QTabWidget>("Pages")->setCurrentIndex(index); }
  TSaverSettings Saved() {
    TSaverSettings settings;
    std::atomic<bool> stop{false};
    ReadSaverSettings(*Store, settings, stop, [](std::int32_t) { return 0; });
    return settings;
  }
  std::string SettingsText() {
    std::ifstream in(Dir.Name("settings.reg"));
    return {std::istreambuf_iterator<char>(in), {}};
  }
  QStringList Items(const char* list) {
    QStringList items;
    for (int i = 0; i < Get<QListWidget>(list)->count(); ++i) {
      items << Get<QListWidget>(list)->item(i)->text();
    }
    return items;
  }
  void Drop(const std::vector<std::string>& names) {
    QMimeData data;
    QList<QUrl> urls;
    for (const std::string& name : names) {
      urls << QUrl::fromLocalFile(Q(name));
    }
    data.setUrls(urls);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    // Straight to the dialog: the application passes on only drops of a
    // drag it has seen start.
    static_cast<QObject*>(Dialog.get())->event(&drop);
  }

  TTempDir Dir;
  std::unique_ptr<TRegFileKeyStore> Store;
  std::unique_ptr<TQtControlForm> Dialog;
};

// A new setting's check box is a line in the layout and a line in the
// bindings: it stands on its page, shows what it is bound to and hands back
// what the user made of it.
TEST_F(QtControlFormTest, ACheckBoxAddedInTwoLinesStandsOnItsPageAndRoundTrips) {
  TCheckState extra{true};
  TQtControlForm& dialog = Open(test::DesignWithExtraCheckBox(extra));
  auto* box = Get<QCheckBox>(test::kExtraCheckBox);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->text(), test::kExtraCheckBoxCaption);
  EXPECT_EQ(box->parentWidget(), dialog.Control("ExtrasPage"));
  EXPECT_TRUE(box->isChecked());
  ShowPage(3);
  box->click();
  dialog.Run([] {});
  EXPECT_FALSE(extra.Checked);
  dialog.Run([&] { extra = {true, false}; });
  EXPECT_TRUE(box->isChecked());
  EXPECT_FALSE(box->isEnabled());
}

TEST_F(QtControlFormTest, OpensOnTheVersionPageWithEveryControlAsDesigned) {
  TQtControlForm& dialog = Open();
  EXPECT_EQ(dialog.windowTitle(), "タベルーネ設定");
  EXPECT_TRUE(dialog.windowFlags() & Qt::WindowStaysOnTopHint);
  auto* pages = Get<QTabWidget>("Pages");
  ASSERT_EQ(pages->count(), 4);
  EXPECT_EQ(pages->tabText(0), "動画フォルダー");
  EXPECT_EQ(pages->tabText(1), "オプション");
  EXPECT_EQ(pages->tabText(2), "バージョン情報");
  EXPECT_EQ(pages->tabText(3), "拡張設定");
  EXPECT_EQ(pages->currentIndex(), 2);
  for (const TControlLayout& control : kControlFormLayout) {
    QWidget* widget = dialog.Control(control.Name);
    ASSERT_NE(widget, nullptr) << control.Name;
    EXPECT_EQ(widget->toolTip(), QString::fromUtf8(control.Hint.data(), control.Hint.size()))
        << control.Name;
    if (auto* button = qobject_cast<QAbstractButton*>(widget); button && !control.Caption.empty()) {
      EXPECT_EQ(button->text(), QString::fromUtf8(control.Caption.data(), control.Caption.size()));
    }
  }
  EXPECT_TRUE(Get<QPushButton>("BtnOK")->isDefault());
  EXPECT_FALSE(Get<QPushButton>("BtnDelete")->isEnabled());
  EXPECT_FALSE(Get<QComboBox>("ComboSS")->isEnabled());
  EXPECT_EQ(Get<QComboBox>("ComboSS")->itemText(0), "なし");
  EXPECT_EQ(Items("MovieExt").join(","), "avi,mpg,asf,wmv,wvx,mpeg,mov,m2p,vg2");
  EXPECT_EQ(Get<QLineEdit>("EditWait")->text(), "3");
  EXPECT_EQ(Get<QLineEdit>("PreViewSeconds")->text(), "60.");
  EXPECT_EQ(Get<QLineEdit>("PreViewMin")->text(), "10");
  EXPECT_TRUE(Get<QLabel>("HomePageLink")->text().contains("https://home.example/"));
}

TEST_F(QtControlFormTest, TypedValuesAreSavedToTheSettingsFile) {
  Open();
  ShowPage(1);
  auto* wait = Get<QLineEdit>("EditWait");
  wait->clear();
  QTest::keyClicks(wait, "12");
  auto* seconds = Get<QLineEdit>("PreViewSeconds");
  seconds->setFocus();
  seconds->clear();
  QTest::keyClicks(seconds, "9a0x");  // letters are refused
  EXPECT_EQ(seconds->text(), "90");
  Get<QLineEdit>("EditWait")->setFocus();
  EXPECT_EQ(seconds->text(), "90.");
  Get<QCheckBox>("CheckRol")->click();
  QTest::mouseClick(Get<QPushButton>("BtnOK"), Qt::LeftButton);
  EXPECT_FALSE(Dialog->isVisible());
  const TSaverSettings saved = Saved();
  EXPECT_EQ(saved.DrawWait, 12);
  EXPECT_EQ(saved.PreviewSeconds, 90);
  EXPECT_TRUE(saved.Rotate);
  EXPECT_TRUE(saved.Capture);
  EXPECT_EQ(saved.ExtensionList.size(), 9u);
}

TEST_F(QtControlFormTest, TheExtendedPageSavesItsTwoChecks) {
  Open();
  ShowPage(3);
  auto* skip = Get<QCheckBox>("CheckSkipBlank");
  EXPECT_TRUE(skip->isVisible());
  EXPECT_FALSE(skip->isChecked());
  skip->click();
  QTest::mouseClick(Get<QPushButton>("BtnOK"), Qt::LeftButton);
  EXPECT_TRUE(Saved().SkipBlank);
  EXPECT_FALSE(Saved().RememberShown);
}

TEST_F(QtControlFormTest, AWaitThatIsNoNumberIsReportedAndNothingIsWritten) {
  Store->CreateKey(kSettingsKey)->WriteInteger("Draw Wait", 5);
  const std::string before = SettingsText();
  Open();
  ShowPage(1);
  Get<QLineEdit>("EditWait")->setText("x");
  const QString reported = ReportOfSaving();
  EXPECT_EQ(reported, "'x' is not a valid integer value.");
  EXPECT_TRUE(Dialog->isVisible());
  EXPECT_EQ(SettingsText(), before);
}

TEST_F(QtControlFormTest, ASettingsFileThatCannotBeWrittenIsReportedAndTheDialogStays) {
  Dir.Write("blocked", "a file where the settings folder should be");
  Store = std::make_unique<TRegFileKeyStore>(Dir.Name("blocked/settings.reg"));
  Open();
  const QString reported = ReportOfSaving();
  EXPECT_EQ(reported, "'\\Software\\Norvane\\Tavelune' の設定に失敗しました.");
  EXPECT_TRUE(Dialog->isVisible());
}

TEST_F(QtControlFormTest, AnySpotThatIsNoControlDragsTheDialog) {
  TQtControlForm& dialog = Open();
  const QPoint start = dialog.pos();
  QWidget* label = Dialog->Control("HomePageLabel");  // a label is no control to click
  const QPoint spot = label->mapTo(&dialog, QPoint(2, 2));
  QTest::mousePress(label, Qt::LeftButton, {}, QPoint(2, 2));
  QMouseEvent move(QEvent::MouseMove, QPointF(spot + QPoint(30, 20)),
                   QPointF(dialog.mapToGlobal(spot + QPoint(30, 20))), Qt::NoButton, Qt::LeftButton,
                   Qt::NoModifier);
  QCoreApplication::sendEvent(&dialog, &move);
  QTest::mouseRelease(&dialog, Qt::LeftButton, {}, spot + QPoint(30, 20));
  EXPECT_EQ(dialog.pos(), start + QPoint(30, 20));
}

TEST_F(QtControlFormTest, DroppedFoldersAndFilesAreAddedOnlyOnTheFolderPage) {
  const std::string file = Dir.Write("movies/a.avi", "");
  std::filesystem::create_directories(Dir.Name("more"));
  Open();
  Drop({Dir.Name("more")});
  EXPECT_TRUE(Items("FolderList").isEmpty());  // the version page is shown
  ShowPage(0);
  Drop({file, Dir.Name("more")});
  EXPECT_EQ(Items("FolderList"), (QStringList{Q(Dir.Name("movies/")), Q(Dir.Name("more/"))}));
  EXPECT_TRUE(Get<QPushButton>("BtnOK")->isEnabled());
}

TEST_F(QtControlFormTest, TheFolderChooserAddsAFolderAndItsVisibleSubFolders) {
  for (const char* folder : {"tree/a/deep", "tree/b", "tree/.hidden/x"}) {
    std::filesystem::create_directories(Dir.Name(folder));
  }
  const std::string tree = Dir.Name("tree");
  Open();
  ShowPage(0);
  Get<QCheckBox>("CheckSub")->click();
  WhenModal([&](QWidget* chooser) {
    EXPECT_EQ(chooser->windowTitle(), "ビデオファイルのフォルダーを指定します.");
    auto* view = chooser->findChild<QTreeView*>("FolderTree");
    auto* model = static_cast<QFileSystemModel*>(view->model());
    view->setCurrentIndex(model->index(Q(tree)));
    EXPECT_EQ(chooser->findChild<QLabel*>("FolderPath")->text(), Q(tree));
    PressButton(chooser, QDialogButtonBox::Ok);
  });
  Get<QPushButton>("BtnAdd")->click();
  QStringList items = Items("FolderList");
  ASSERT_EQ(items.size(), 4);
  EXPECT_EQ(items[0], Q(tree));
  EXPECT_TRUE(items.contains(Q(Dir.Name("tree/a/"))));
  EXPECT_TRUE(items.contains(Q(Dir.Name("tree/a/deep/"))));
  EXPECT_TRUE(items.contains(Q(Dir.Name("tree/b/"))));
  EXPECT_LT(items.indexOf(Q(Dir.Name("tree/a/"))), items.indexOf(Q(Dir.Name("tree/a/deep/"))));

  // Selected entries go with "削除".
  auto* list = Get<QListWidget>("FolderList");
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                    list->visualItemRect(list->item(0)).center());
  EXPECT_TRUE(Get<QPushButton>("BtnDelete")->isEnabled());
  EXPECT_EQ(list->toolTip(), Q(tree));
  Get<QPushButton>("BtnDelete")->click();
  EXPECT_EQ(Items("FolderList").size(), 3);
}

TEST_F(QtControlFormTest, CancelInTheMiddleOfALongWalkEndsItAndWritesNothing) {
  for (int i = 0; i < 400; ++i) {
    std::filesystem::create_directories(Dir.Name("big/" + std::to_string(i) + "/inner"));
  }
  Open();
  ShowPage(0);
  Get<QCheckBox>("CheckSub")->click();
  bool saveDisabledDuringWalk = false;
  WhenModal([&](QWidget* chooser) {
    auto* view = chooser->findChild<QTreeView*>("FolderTree");
    view->setCurrentIndex(static_cast<QFileSystemModel*>(view->model())->index(Q(Dir.Name("big"))));
    PressButton(chooser, QDialogButtonBox::Ok);
    // Once the walk has listed some folders, the user cancels.
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, [&, poll] {
      if (Items("FolderList").size() > 20) {
        poll->stop();
        poll->deleteLater();
        saveDisabledDuringWalk = !Get<QPushButton>("BtnOK")->isEnabled();
        Get<QPushButton>("BtnCancel")->click();
      }
    });
    poll->start(0);
  });
  Get<QPushButton>("BtnAdd")->click();
  EXPECT_TRUE(saveDisabledDuringWalk);
  EXPECT_FALSE(Dialog->isVisible());
  EXPECT_TRUE(Dialog->Form().Stopping());
  EXPECT_LT(Dialog->Form().FolderList.Items.size(), 200u);
  EXPECT_FALSE(std::filesystem::exists(Dir.Name("settings.reg")));
}

TEST_F(QtControlFormTest, TheStandardDialogsSpeakJapaneseAndHandBackTheirChoice) {
  ASSERT_TRUE(InstallJapaneseTranslations()) << "qt6-translations-l10n is missing";
  Open();
  ShowPage(1);
  // The colour chooser: the panel takes the colour, stored as 0x00BBGGRR.
  WhenModal([](QWidget* chooser) {
    EXPECT_EQ(chooser->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->text(),
              "キャンセル");
    auto* colors = static_cast<QColorDialog*>(chooser);
    colors->setCurrentColor(QColor(0x10, 0x20, 0x40));
    colors->accept();
  });
  QTest::mouseClick(Dialog->Control("PanelColor"), Qt::LeftButton);
  EXPECT_EQ(Dialog->Form().PanelColor, 0x00402010u);
  EXPECT_EQ(Dialog->Control("PanelColor")->palette().color(QPalette::Window),
            QColor(0x10, 0x20, 0x40));
  // The input box for an extension.
  WhenModal([](QWidget* box) {
    EXPECT_EQ(box->windowTitle(), "拡張子の追加");
    auto* input = static_cast<QInputDialog*>(box);
    input->setTextValue(" mkv ");
    input->accept();
  });
  Get<QPushButton>("ButtonExtAdd")->click();
  EXPECT_EQ(Items("MovieExt").last(), "mkv");
  Get<QPushButton>("BtnOK")->click();
  EXPECT_EQ(Saved().BackColor, 0x00402010u);
  EXPECT_EQ(Saved().ExtensionList.back(), "mkv");
}

}  // namespace
}  // namespace tavelune::platform

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
