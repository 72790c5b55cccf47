#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QUrl>

#include "CBitmapSlider.h"
#include "CCheckListCtrl.h"
#include "CControlButton.h"
#include "CHyperLink.h"
#include "DialogUnits.h"
#include "Settings.h"
#include "UserPrompts.h"
#include "WindowTestSupport.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <thread>

namespace tolvane::testing {
namespace {

namespace Id = ControlId;

// Ends the test program with a message when a step does not finish in time, where a
// hang would otherwise last until CTest's timeout and name nothing.
class HangWatch {
  public:
    HangWatch(const char* step, std::chrono::seconds limit)
        : thread_([this, step, limit] {
              std::unique_lock lock(mutex_);
              if (!finished_.wait_for(lock, limit, [this] { return done_; })) {
                  std::fprintf(stderr, "hung: %s\n", step);
                  std::_Exit(1);
              }
          }) {}
    ~HangWatch() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        finished_.notify_all();
        thread_.join();
    }

  private:
    std::mutex mutex_;
    std::condition_variable finished_;
    bool done_ = false;
    std::thread thread_;
};

const int kAllIds[] = {
    Id::Tabs,
    Id::Link,
    Id::LanguageList,
    Id::OutputFormat,
    Id::FileList,
    Id::PositionSlider,
    Id::Add,
    Id::Cut,
    Id::About,
    Id::DeleteAll,
    Id::Setting,
    Id::Convert,
    Id::Merge,
    Id::StartLabel,
    Id::StartEdit,
    Id::EndLabel,
    Id::EndEdit,
    Id::LengthLabel,
    Id::SelectionLength,
    Id::Hint,
    Id::PlayerFrame,
    Id::Play,
    Id::Stop,
    Id::StartPoint,
    Id::EndPoint,
    Id::PlaySelection,
    Id::PlayPosition,
    Id::Duration,
    Id::OutputLabel,
    Id::OutputFolderBox,
    Id::Browse,
    Id::FindTarget,
    Id::CurrentFilePath,
};
const int kCutOnly[] = {Id::Convert,
                        Id::PositionSlider,
                        Id::StartPoint,
                        Id::EndPoint,
                        Id::PlaySelection,
                        Id::Play,
                        Id::Stop,
                        Id::StartLabel,
                        Id::EndLabel,
                        Id::LengthLabel,
                        Id::StartEdit,
                        Id::EndEdit,
                        Id::SelectionLength,
                        Id::PlayPosition,
                        Id::Duration,
                        Id::PlayerFrame,
                        Id::Hint,
                        Id::About};
const int kMergeOnly[] = {Id::FileList, Id::Merge, Id::Setting, Id::DeleteAll};
const int kBothTabs[] = {Id::Add,    Id::Cut,       Id::OutputLabel, Id::OutputFolderBox,
                         Id::Browse, Id::FindTarget};

QString Label(CTolvaneDlg& window, int id) {
    return window.Item<QLabel>(id)->text();
}

class MainWindow : public ::testing::Test {
  protected:
    MainWindow() { WriteStandardProgramFolder(folder); }
    ProgramFolderFixture folder;
};

// --- layout ---------------------------------------------------------------------------

using MainWindowLayout = MainWindow;

TEST_F(MainWindowLayout, OpensInTheCutLayout) {
    WindowUnderTest window(folder.path());
    for (int id : kMergeOnly)
        EXPECT_TRUE(window->GetDlgItem(id)->isHidden()) << id;
    for (int id : kCutOnly)
        EXPECT_FALSE(window->GetDlgItem(id)->isHidden()) << id;
    for (int id : kBothTabs)
        EXPECT_FALSE(window->GetDlgItem(id)->isHidden()) << id;
    EXPECT_TRUE(window->GetDlgItem(Id::LanguageList)->isHidden());
    EXPECT_TRUE(window->GetDlgItem(Id::OutputFormat)->isHidden());

    EXPECT_FALSE(window->GetDlgItem(Id::Play)->isEnabled());
    EXPECT_FALSE(window->GetDlgItem(Id::Stop)->isEnabled());
    EXPECT_TRUE(window->GetDlgItem(Id::Cut)->isEnabled());
    auto* slider = window->Item<CBitmapSlider>(Id::PositionSlider);
    EXPECT_FALSE(slider->isEnabled());
    EXPECT_EQ(slider->GetPos(), 0);
    EXPECT_EQ(slider->GetRangeMin(), 0);
    EXPECT_EQ(slider->GetRangeMax(), 1000);

    EXPECT_EQ(window->Item<QTabBar>(Id::Tabs)->currentIndex(), 0);
    EXPECT_EQ(window->Item<QLineEdit>(Id::StartEdit)->text(), "00:00:00.000");
    EXPECT_EQ(window->Item<QLineEdit>(Id::EndEdit)->text(), "00:00:00.000");
    EXPECT_EQ(Label(*window, Id::SelectionLength), "00:00:00.000");
    EXPECT_EQ(Label(*window, Id::PlayPosition), "00:00:00.000 /");
    EXPECT_EQ(Label(*window, Id::Duration), "00:00:00.000");
    auto* format = window->Item<QComboBox>(Id::OutputFormat);
    ASSERT_EQ(format->count(), 1);
    EXPECT_EQ(format->currentText(), "MP3-MPEG Layer-3 Audio(*.mp3)");
    EXPECT_EQ(window->playMode(), "PLAY");
    EXPECT_TRUE(window->reloadOnPlay());
    EXPECT_TRUE(window->currentFile().isEmpty());
}

TEST_F(MainWindowLayout, GetsTheProgramIconOnceItIsUp) {
    WindowUnderTest window(folder.path());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->windowIcon().isNull(); }, 2000));
    EXPECT_EQ(window->windowIcon().availableSizes(), QList<QSize>{QSize(256, 256)});
}

TEST_F(MainWindowLayout, EveryControlIsReachableByItsId) {
    WindowUnderTest window(folder.path());
    for (int id : kAllIds) {
        QWidget* control = window->GetDlgItem(id);
        ASSERT_NE(control, nullptr) << id;
        EXPECT_EQ(control->objectName(), QString::number(id));
        EXPECT_EQ(control->parentWidget(), window.window.get());
    }
    EXPECT_EQ(window->GetDlgItem(Id::RemoveSelected), nullptr);
    EXPECT_NE(window->Item<CControlButton>(Id::Convert), nullptr);
    EXPECT_NE(window->Item<CCheckListCtrl>(Id::FileList), nullptr);
    EXPECT_NE(window->Item<CHyperLink>(Id::Link), nullptr);
    EXPECT_NE(window->Item<QGroupBox>(Id::PlayerFrame), nullptr);
}

TEST_F(MainWindowLayout, PlacesControlsInDialogUnitsOfTheApplicationFont) {
    WindowUnderTest window(folder.path());
    const DialogUnits units(QApplication::font());
    EXPECT_EQ(window->size(), QSize(units.ToPixelsX(375), units.ToPixelsY(220)));
    EXPECT_EQ(window->GetDlgItem(Id::Add)->geometry(), units.ToPixels(307, 25, 63, 27));
    EXPECT_EQ(window->GetDlgItem(Id::FileList)->geometry(), units.ToPixels(7, 14, 297, 147));
    EXPECT_EQ(window->GetDlgItem(Id::StartEdit)->geometry(), units.ToPixels(50, 121, 54, 14));
    EXPECT_EQ(window->GetDlgItem(Id::CurrentFilePath)->geometry(), units.ToPixels(7, 208, 209, 8));
}

TEST(DialogUnitsMapping, QuarterWidthAndEighthHeightRounded) {
    const DialogUnits units(7, 15);
    EXPECT_EQ(units.ToPixelsX(4), 7);
    EXPECT_EQ(units.ToPixelsX(63), 110);  // 110.25
    EXPECT_EQ(units.ToPixelsX(2), 4);     // 3.5 rounds up
    EXPECT_EQ(units.ToPixelsY(8), 15);
    EXPECT_EQ(units.ToPixelsY(27), 51);  // 50.625
    EXPECT_EQ(units.ToPixelsY(-1), -2);  // -1.875
    EXPECT_EQ(units.ToPixels(1, 2, 3, 4), QRect(2, 4, 5, 8));
}

TEST(MainWindowFileFilter, PipeSeparatedFormBecomesQtFilters) {
    EXPECT_EQ(ToQtFileFilter("All audio|*.aac;*.mp3|MP3 files(*.mp3)|*.mp3|All files(*.*)|*.*|"),
              "All audio (*.aac *.mp3);;MP3 files (*.mp3);;All files (*)");
    // Empty names (no language file) still give usable filters.
    EXPECT_EQ(ToQtFileFilter("|*.wav;*.ogg|(*.mp3)|*.mp3|"), "(*.wav *.ogg);;(*.mp3)");
    EXPECT_EQ(ToQtFileFilter("|*.*|"), "(*)");
    EXPECT_EQ(ToQtFileFilter(""), "");
}

// The last filter of the open dialog, as the dialog's folder listing applies it, lists
// every file of a folder: names without a dot, with several dots, or starting with one.
TEST_F(MainWindow, AllFilesFilterListsEveryName) {
    WindowUnderTest window(folder.path());
    const QStringList filters =
        ToQtFileFilter(QString::fromStdString(window->languageTable().OpenFileFilter()))
            .split(QStringLiteral(";;"));
    ASSERT_FALSE(filters.isEmpty());
    const QString all = filters.back();
    const qsizetype open = all.lastIndexOf(QLatin1Char('('));
    ASSERT_GE(open, 0);
    const QStringList patterns =
        all.mid(open + 1, all.size() - open - 2).split(QLatin1Char(' '), Qt::SkipEmptyParts);

    TempDir files;
    const QStringList names = {"README", "song.mp3", "take.2.flac", "noise_", "Makefile"};
    for (const QString& name : names)
        std::ofstream(files.path() / name.toStdString()) << "x";
    QStringList listed =
        QDir(QString::fromStdString(files.path().string())).entryList(patterns, QDir::Files);
    QStringList expected = names;
    listed.sort();
    expected.sort();
    EXPECT_EQ(listed, expected) << all.toStdString();
}

TEST_F(MainWindowLayout, PictureButtonsAreShapedAndDrawn) {
    WindowUnderTest window(folder.path());
    for (int id :
         {Id::Add, Id::Cut, Id::About, Id::DeleteAll, Id::Setting, Id::Convert, Id::Merge, Id::Play,
          Id::Stop, Id::StartPoint, Id::EndPoint, Id::PlaySelection, Id::Browse, Id::FindTarget}) {
        auto* button = window->Item<CControlButton>(id);
        ASSERT_NE(button, nullptr) << id;
        EXPECT_TRUE(button->HasShape()) << id;
        EXPECT_FALSE(button->NormalBitmap().isNull()) << id;
    }
}

TEST_F(MainWindowLayout, PicturesAreFittedIntoTheirButtonsNotCut) {
    WindowUnderTest window(folder.path());
    for (int id : {Id::Add, Id::Cut, Id::About, Id::Convert, Id::Browse, Id::FindTarget, Id::Play,
                   Id::StartPoint}) {
        auto* button = window->Item<CControlButton>(id);
        const QSize picture = button->NormalBitmap().size();
        EXPECT_LE(picture.width(), button->width()) << id;
        EXPECT_LE(picture.height(), button->height()) << id;
        EXPECT_TRUE(QRect(QPoint(0, 0), picture).contains(button->GetShape().boundingRect())) << id;
        EXPECT_FALSE(button->GetShape().isEmpty()) << id;
    }
    // The round start button keeps its white corners out of the shape.
    auto* convert = window->Item<CControlButton>(Id::Convert);
    EXPECT_FALSE(convert->GetShape().contains(QPoint(0, 0)));
    EXPECT_TRUE(convert->GetShape().contains(convert->NormalBitmap().rect().center()));
}

TEST_F(MainWindowLayout, LongTextsPushTheirNeighboursAsideInsteadOfBeingCut) {
    WindowUnderTest window(folder.path());
    auto* label = window->Item<QLabel>(Id::OutputLabel);
    auto* box = window->GetDlgItem(Id::OutputFolderBox);
    const int textRight = label->x() + label->fontMetrics().horizontalAdvance(label->text());
    EXPECT_GT(box->x(), textRight);
    // The box still ends where the template puts it.
    const DialogUnits units(QApplication::font());
    EXPECT_EQ(box->geometry().right(), units.ToPixels(26, 190, 189, 12).right());

    auto* link = window->GetDlgItem(Id::Link);
    EXPECT_LE(link->geometry().right(), window->width());
    EXPECT_GE(link->x(), 0);

    auto* tabs = window->Item<QTabBar>(Id::Tabs);
    EXPECT_GE(tabs->width(), tabs->sizeHint().width());
}

TEST_F(MainWindowLayout, ColoursTheBackgroundLightBlueAndTheListLightGreen) {
    WindowUnderTest window(folder.path());
    EXPECT_EQ(window->palette().color(QPalette::Window), QColor(187, 222, 251));
    EXPECT_TRUE(window->autoFillBackground());
    EXPECT_EQ(window->Item<CCheckListCtrl>(Id::FileList)->GetBkColor(), QColor(241, 250, 233));
    // Labels and buttons show the window's background through.
    EXPECT_FALSE(window->GetDlgItem(Id::StartLabel)->autoFillBackground());
    EXPECT_FALSE(window->GetDlgItem(Id::Add)->autoFillBackground());
}

TEST_F(MainWindowLayout, ListColumnsHaveTheirWidths) {
    WindowUnderTest window(folder.path());
    auto* list = window->Item<CCheckListCtrl>(Id::FileList);
    ASSERT_EQ(list->columnCount(), 6);
    EXPECT_EQ(list->GetColumnWidth(0), 250);
    EXPECT_EQ(list->GetColumnWidth(1), 100);
    EXPECT_EQ(list->GetColumnWidth(2), 100);
    EXPECT_EQ(list->GetColumnWidth(3), 0);
    EXPECT_EQ(list->GetColumnWidth(4), list->contentsRect().width() - 450);
    EXPECT_EQ(list->GetColumnWidth(5), 0);
    EXPECT_EQ(list->GetColumnHeaderText(5), "Duration");
    EXPECT_TRUE(list->IsHeaderCheckInitialised());
}

// --- mode switch ----------------------------------------------------------------------

using MainWindowModeSwitch = MainWindow;

TEST_F(MainWindowModeSwitch, MergeTabShowsTheListAndBackRestoresTheCutLayout) {
    WindowUnderTest window(folder.path());
    auto* path = window->Item<QLabel>(Id::CurrentFilePath);
    path->setText("/music/a.mp3");
    auto* tabs = window->Item<QTabBar>(Id::Tabs);

    tabs->setCurrentIndex(1);
    for (int id : kMergeOnly)
        EXPECT_FALSE(window->GetDlgItem(id)->isHidden()) << id;
    for (int id : kCutOnly)
        EXPECT_TRUE(window->GetDlgItem(id)->isHidden()) << id;
    for (int id : kBothTabs)
        EXPECT_FALSE(window->GetDlgItem(id)->isHidden()) << id;
    EXPECT_TRUE(path->text().isEmpty());
    EXPECT_FALSE(path->isHidden());
    EXPECT_TRUE(window->GetDlgItem(Id::LanguageList)->isHidden());
    EXPECT_TRUE(window->GetDlgItem(Id::OutputFormat)->isHidden());

    path->setText("/music/b.mp3");
    tabs->setCurrentIndex(0);
    for (int id : kMergeOnly)
        EXPECT_TRUE(window->GetDlgItem(id)->isHidden()) << id;
    for (int id : kCutOnly)
        EXPECT_FALSE(window->GetDlgItem(id)->isHidden()) << id;
    EXPECT_EQ(path->text(), window->currentFile());  // the cut tab names its own file
}

TEST_F(MainWindowModeSwitch, StopBeforeAnyFileOnlyResetsTheFlags) {
    WindowUnderTest window(folder.path());
    window.player->ClearCalls();
    window->Item<QTabBar>(Id::Tabs)->setCurrentIndex(1);
    EXPECT_TRUE(window.player->Commands().empty());
    EXPECT_TRUE(window->reloadOnPlay());
    EXPECT_EQ(window->playMode(), "PLAY");
}

// --- texts ----------------------------------------------------------------------------

using MainWindowTexts = MainWindow;

TEST_F(MainWindowTexts, EnglishFileOnEveryControl) {
    WindowUnderTest window(folder.path());
    EXPECT_EQ(window->windowTitle(), "English APPLICATION name English APPLICATION version");
    EXPECT_EQ(Label(*window, Id::Link), "English JIEMIAN zysybrj");
    EXPECT_EQ(window->Item<CHyperLink>(Id::Link)->GetURL(), "https://example.org/English");
    EXPECT_TRUE(window->Item<CHyperLink>(Id::Link)->IsUnderlined());
    EXPECT_EQ(Label(*window, Id::StartLabel), "English JIEMIAN ksjq");
    EXPECT_EQ(Label(*window, Id::EndLabel), "English JIEMIAN jsjq");
    EXPECT_EQ(Label(*window, Id::LengthLabel), "English JIEMIAN jqsj");
    EXPECT_EQ(Label(*window, Id::OutputLabel), "English JIEMIAN output");
    EXPECT_EQ(Label(*window, Id::Hint), "English JIEMIAN nykyzjsr");
    auto* tabs = window->Item<QTabBar>(Id::Tabs);
    ASSERT_EQ(tabs->count(), 3);
    EXPECT_EQ(tabs->tabText(0), "English JIEMIAN mp3jq");
    EXPECT_EQ(tabs->tabText(1), "English JIEMIAN mp3hb");
    EXPECT_EQ(tabs->tabText(2), "Split audio") << "the built-in English of a missing key";
    auto* list = window->Item<CCheckListCtrl>(Id::FileList);
    const char* columns[] = {"ywj", "kssj", "jssj", "scgs", "zt"};
    for (int column = 0; column < 5; ++column)
        EXPECT_EQ(list->GetColumnHeaderText(column), QString("English JIEMIAN ") + columns[column]);
    // The table holds the texts the later operations take at the moment they need them.
    EXPECT_EQ(window->languageTable().Text("TISHI", "jqcg"), "English TISHI jqcg");
    EXPECT_EQ(window->languageTable().Text("JIEMIAN", "sywj"), "English JIEMIAN sywj");
}

TEST_F(MainWindowTexts, ReadsTheSettingsAndListsTheLanguages) {
    WindowUnderTest window(folder.path());
    auto* languages = window->Item<QComboBox>(Id::LanguageList);
    ASSERT_EQ(languages->count(), 6);
    EXPECT_EQ(languages->itemText(0), "English");
    EXPECT_EQ(languages->itemText(5), "Japanese");
    EXPECT_EQ(languages->currentIndex(), 0);
    EXPECT_EQ(window->languageFileName(), "english.ini");
    EXPECT_FALSE(window->openFolderWhenDone());
    EXPECT_EQ(window->outputFolder(), "/tmp");
    EXPECT_EQ(window->Item<QComboBox>(Id::OutputFolderBox)->currentText(), "/tmp");
}

TEST(MainWindowTextsMissing, EmptyTextsWithoutSettingsAndLanguages) {
    ProgramFolderFixture empty;
    WindowUnderTest window(empty.path());
    EXPECT_EQ(window->windowTitle(), " ");
    for (int id :
         {Id::Link, Id::StartLabel, Id::EndLabel, Id::LengthLabel, Id::OutputLabel, Id::Hint}) {
        EXPECT_TRUE(Label(*window, id).isEmpty()) << id;
    }
    auto* tabs = window->Item<QTabBar>(Id::Tabs);
    ASSERT_EQ(tabs->count(), 3);
    EXPECT_TRUE(tabs->tabText(0).isEmpty());
    auto* languages = window->Item<QComboBox>(Id::LanguageList);
    EXPECT_EQ(languages->count(), 6);
    EXPECT_EQ(languages->currentIndex(), -1);
    EXPECT_TRUE(window->outputFolder().isEmpty());
    EXPECT_TRUE(window->openFolderWhenDone());  // [DIR] "open" defaults to "1"
    EXPECT_TRUE(window->ToolTipText(Id::Add).isEmpty());
    // Nothing is written at start-up.
    EXPECT_FALSE(std::filesystem::exists(empty.path() / "setting.ini"));
}

TEST_F(MainWindowTexts, LanguageSwitchRewritesTheWindowAndTheSettings) {
    WindowUnderTest window(folder.path());
    auto* languages = window->Item<QComboBox>(Id::LanguageList);
    languages->setCurrentIndex(2);
    emit languages->activated(2);

    EXPECT_EQ(window->languageFileName(), "german.ini");
    EXPECT_EQ(SettingsFile(folder.path()).LanguageFile(), "german.ini");
    EXPECT_EQ(window->windowTitle(), "German APPLICATION name German APPLICATION version");
    EXPECT_EQ(Label(*window, Id::StartLabel), "German JIEMIAN ksjq");
    EXPECT_EQ(Label(*window, Id::Hint), "German JIEMIAN nykyzjsr");
    EXPECT_EQ(window->Item<QTabBar>(Id::Tabs)->tabText(1), "German JIEMIAN mp3hb");
    EXPECT_EQ(window->Item<CCheckListCtrl>(Id::FileList)->GetColumnHeaderText(4),
              "German JIEMIAN zt");
    EXPECT_EQ(window->Item<CHyperLink>(Id::Link)->GetURL(), "https://example.org/German");
    EXPECT_EQ(window->ToolTipText(Id::Add), "German HINT tjspwj");
    // The rest of setting.ini is kept.
    EXPECT_EQ(SettingsFile(folder.path()).OutputFolder(), "/tmp");
}

// The language text without the line that starts with `key=`.
std::string WithoutKey(const std::string& text, const std::string& key) {
    std::string result;
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t end = text.find('\n', begin);
        end = end == std::string::npos ? text.size() : end + 1;
        const std::string line = text.substr(begin, end - begin);
        if (line.rfind(key + "=", 0) != 0)
            result += line;
        begin = end;
    }
    return result;
}

TEST_F(MainWindowTexts, LinkWithoutCaptionShowsNoTextAndKeepsItsAddress) {
    const std::string text = WithoutKey(LanguageFileText("English"), "zysybrj");
    ASSERT_EQ(text.find("zysybrj="), std::string::npos);
    folder.WriteLanguageFile("english.ini", text);
    WindowUnderTest window(folder.path());
    auto* link = window->Item<CHyperLink>(Id::Link);
    EXPECT_TRUE(link->text().isEmpty());
    EXPECT_EQ(link->GetURL(), "https://example.org/English");
    EXPECT_TRUE(link->Open());
    EXPECT_EQ(window.shell.opened, std::vector<QString>{"https://example.org/English"});

    // Switching to such a file from one with a caption empties the caption as well.
    folder.WriteLanguageFile("german.ini", WithoutKey(LanguageFileText("German"), "zysybrj"));
    folder.WriteLanguageFile("english.ini", LanguageFileText("English"));
    auto* languages = window->Item<QComboBox>(Id::LanguageList);
    languages->setCurrentIndex(0);
    emit languages->activated(0);
    ASSERT_EQ(Label(*window, Id::Link), "English JIEMIAN zysybrj");
    languages->setCurrentIndex(2);
    emit languages->activated(2);
    EXPECT_TRUE(link->text().isEmpty());
    EXPECT_EQ(link->GetURL(), "https://example.org/German");
}

TEST_F(MainWindowTexts, LinkWithoutAddressDoesNotOpenItsCaption) {
    const std::string text = WithoutKey(LanguageFileText("English"), "url");
    ASSERT_EQ(text.find("url="), std::string::npos);
    folder.WriteLanguageFile("english.ini", text);
    WindowUnderTest window(folder.path());
    auto* link = window->Item<CHyperLink>(Id::Link);
    EXPECT_EQ(link->text(), "English JIEMIAN zysybrj");
    EXPECT_TRUE(link->GetURL().isEmpty());
    EXPECT_TRUE(link->toolTip().isEmpty());
    link->Open();
    EXPECT_EQ(window.shell.opened, std::vector<QString>{QString()});
}

TEST_F(MainWindowTexts, SwitchToAFileThatIsMissingEmptiesTheTexts) {
    WindowUnderTest window(folder.path());
    auto* languages = window->Item<QComboBox>(Id::LanguageList);
    languages->setCurrentIndex(3);  // french.ini is not there
    emit languages->activated(3);
    EXPECT_EQ(window->windowTitle(), " ");
    EXPECT_TRUE(Label(*window, Id::StartLabel).isEmpty());
    EXPECT_EQ(SettingsFile(folder.path()).LanguageFile(), "french.ini");
}

TEST_F(MainWindowTexts, RefreshedChineseFileInForceLeavesTheListUnselected) {
    folder.WriteSettings("[LANGUAGE]\nname1=English\nfile=chinese.ini\n");
    folder.WriteLanguageFile("chinese.ini", LanguageFileText("Old"));
    RecordingShell shell;
    WindowServices services;
    services.player = std::make_unique<RecordingPlayerModule>();
    services.programFolder = folder.path().string();
    std::string refreshedFolder;
    services.refreshLanguageFile = [&](const std::string& languagesFolder) {
        refreshedFolder = languagesFolder;
        folder.WriteLanguageFile("chinese.ini", LanguageFileText("Fresh"));
    };
    services.shell = &shell;
    CTolvaneDlg window(std::move(services));

    EXPECT_EQ(refreshedFolder, (folder.path() / "languages").string());
    EXPECT_EQ(window.windowTitle(), "Fresh APPLICATION name Fresh APPLICATION version");
    EXPECT_EQ(window.Item<QTabBar>(Id::Tabs)->tabText(0), "Fresh JIEMIAN mp3jq");
    EXPECT_EQ(window.Item<QComboBox>(Id::LanguageList)->currentIndex(), -1);
}

TEST_F(MainWindowTexts, RefreshRunsOnceAtStartUp) {
    WindowUnderTest window(folder.path());
    ASSERT_EQ(window.refreshedFolders.size(), 1u);
    EXPECT_EQ(window.refreshedFolders[0], (folder.path() / "languages").string());
}

// --- tooltips -------------------------------------------------------------------------

using MainWindowTooltips = MainWindow;

TEST_F(MainWindowTooltips, TextByControlId) {
    WindowUnderTest window(folder.path());
    const std::pair<int, const char*> hints[] = {
        {Id::Add, "tjspwj"},
        {Id::Convert, "ksjq"},
        {Id::Cut, "sc"},
        {Id::Merge, "hbcygwj"},
        {Id::Setting, "cssz"},
        {Id::Browse, "szscml"},
        {Id::FindTarget, "dkml"},
        {Id::About, "bz"},
        {Id::Play, "bf"},
        {Id::Stop, "bftz"},
        {Id::PositionSlider, "djsbzj"},
        {Id::StartPoint, "szksjqd"},
        {Id::EndPoint, "szjsjqd"},
        {Id::PlaySelection, "bfjqdl"},
    };
    for (const auto& [id, key] : hints)
        EXPECT_EQ(window->ToolTipText(id), QString("English HINT ") + key) << id;
    EXPECT_EQ(window->ToolTipText(Id::DeleteAll), QString::fromUtf8("删除所有文件"));
    EXPECT_EQ(window->ToolTipText(Id::FileList), QString::fromUtf8("拖放文件到这里"));
    for (int id : {Id::StartLabel, Id::StartEdit, Id::Tabs, Id::OutputFolderBox, Id::Hint})
        EXPECT_TRUE(window->ToolTipText(id).isEmpty()) << id;
}

TEST_F(MainWindowTooltips, ShownWhenTheControlAsksForOne) {
    WindowUnderTest window(folder.path());
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.window.get()));
    QWidget* add = window->GetDlgItem(Id::Add);
    const QPoint inside = add->rect().center();
    QHelpEvent request(QEvent::ToolTip, inside, add->mapToGlobal(inside));
    QApplication::sendEvent(add, &request);
    EXPECT_TRUE(QToolTip::isVisible());
    EXPECT_EQ(QToolTip::text(), "English HINT tjspwj");

    QWidget* label = window->GetDlgItem(Id::StartLabel);
    QHelpEvent none(QEvent::ToolTip, QPoint(1, 1), label->mapToGlobal(QPoint(1, 1)));
    QApplication::sendEvent(label, &none);
    // A tip that is asked away fades out after a moment.
    for (int i = 0; i < 100 && QToolTip::isVisible(); ++i)
        QTest::qWait(10);
    EXPECT_FALSE(QToolTip::isVisible());
}

// The merge and split tabs' controls are made once the window has been drawn (it shows
// sooner without them), stacked and watched as if made with the others.
TEST_F(MainWindowTooltips, ListTabsMadeAfterTheFirstDrawingAreWatchedAndStacked) {
    WindowUnderTest window(folder.path());
    const auto made = [&] {
        return window->findChild<QWidget*>(QString::number(Id::PartsList)) != nullptr;
    };
    EXPECT_FALSE(made());
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.window.get()));
    ASSERT_TRUE(QTest::qWaitFor(made, 2000));

    const QObjectList& stack = window->children();
    EXPECT_LT(stack.indexOf(window->GetDlgItem(Id::FileList)),
              stack.indexOf(window->GetDlgItem(Id::PositionSlider)))
        << "the list lies under the slider it shares its place with";
    for (int id : {Id::FileList, Id::PartsList, Id::CueSheet, Id::OutputFormat})
        EXPECT_TRUE(window->GetDlgItem(id)->isHidden()) << id;
    QWidget* list = window->Item<CCheckListCtrl>(Id::FileList)->viewport();
    QHelpEvent request(QEvent::ToolTip, QPoint(5, 5), list->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(list, &request);
    EXPECT_EQ(QToolTip::text(), QString::fromUtf8("拖放文件到这里"));
}

// --- keys, mouse, closing -------------------------------------------------------------

using MainWindowKeys = MainWindow;

// Where the focus is when a key is pressed; Window: the window itself (no control).
enum class FocusOn { StartEdit, EndEdit, OutputBox, FileList, AddButton, Window };

QWidget* FocusTarget(CTolvaneDlg& window, FocusOn where) {
    switch (where) {
        case FocusOn::StartEdit:
            return window.GetDlgItem(Id::StartEdit);
        case FocusOn::EndEdit:
            return window.GetDlgItem(Id::EndEdit);
        case FocusOn::OutputBox:
            return window.Item<QComboBox>(Id::OutputFolderBox)->lineEdit();
        case FocusOn::FileList:
            return window.GetDlgItem(Id::FileList);
        case FocusOn::AddButton:
            return window.GetDlgItem(Id::Add);
        case FocusOn::Window:
            return &window;
    }
    return &window;
}

struct DeleteCase {
    const char* name;
    int tab;
    FocusOn focus;
    bool removesRow;
};

class MainWindowDeleteKey : public MainWindow, public ::testing::WithParamInterface<DeleteCase> {};

// Delete removes the selected merge row only where the list is in view and no text is
// being edited; an edit keeps the key and deletes a character.
TEST_P(MainWindowDeleteKey, ActsOnTheListOnlyOnTheMergeTabOutsideEdits) {
    const DeleteCase& c = GetParam();
    WindowUnderTest window(folder.path());
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.window.get()));
    window->Item<QTabBar>(Id::Tabs)->setCurrentIndex(c.tab);
    auto* list = window->Item<CCheckListCtrl>(Id::FileList);
    list->AppendRow({"/a.mp3", "", "", "", "", ""});
    list->AppendRow({"/b.mp3", "", "", "", "", ""});
    list->SelectAndFocusRow(1);
    window->Item<QComboBox>(Id::OutputFolderBox)->setEditText("/out");

    QWidget* target = FocusTarget(*window, c.focus);
    target->setFocus();
    auto* edit = qobject_cast<QLineEdit*>(target);
    const QString textBefore = edit ? edit->text() : QString();
    if (edit)
        edit->setCursorPosition(0);
    QTest::keyClick(target, Qt::Key_Delete);

    if (c.removesRow) {
        ASSERT_EQ(list->GetRowCount(), 1);
        EXPECT_EQ(list->GetItemText(0, 0), "/a.mp3");
        EXPECT_EQ(list->GetFirstSelectedRow(), 0);  // the new last row
    } else {
        EXPECT_EQ(list->GetRowCount(), 2);
    }
    if (edit) {
        EXPECT_EQ(edit->text(), textBefore.mid(1));  // the first character went
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MainWindowDeleteKey,
    ::testing::Values(DeleteCase{"CutTabStartEdit", 0, FocusOn::StartEdit, false},
                      DeleteCase{"CutTabEndEdit", 0, FocusOn::EndEdit, false},
                      DeleteCase{"CutTabButton", 0, FocusOn::AddButton, false},
                      DeleteCase{"CutTabWindow", 0, FocusOn::Window, false},
                      DeleteCase{"MergeTabOutputBox", 1, FocusOn::OutputBox, false},
                      DeleteCase{"MergeTabList", 1, FocusOn::FileList, true},
                      DeleteCase{"MergeTabButton", 1, FocusOn::AddButton, true},
                      DeleteCase{"MergeTabWindow", 1, FocusOn::Window, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainWindowKeys, DeleteWithoutSelectionChangesNothing) {
    WindowUnderTest window(folder.path());
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.window.get()));
    window->Item<QTabBar>(Id::Tabs)->setCurrentIndex(1);
    auto* list = window->Item<CCheckListCtrl>(Id::FileList);
    list->AppendRow({"/a.mp3", "", "", "", "", ""});
    list->clearSelection();
    QTest::keyClick(window.window.get(), Qt::Key_Delete);
    EXPECT_EQ(list->GetRowCount(), 1);
}

struct EndingKeyCase {
    const char* name;
    Qt::Key key;
    FocusOn focus;
};

class MainWindowEndingKeys : public MainWindow,
                             public ::testing::WithParamInterface<EndingKeyCase> {};

// Enter and Escape never end the window, whichever control has the focus: the list and
// the marked range stay, and the player is not closed.
TEST_P(MainWindowEndingKeys, LeaveTheWindowOpen) {
    const EndingKeyCase& c = GetParam();
    WindowUnderTest window(folder.path());
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.window.get()));
    window->Item<CCheckListCtrl>(Id::FileList)->AppendRow({"/a.mp3", "", "", "", "", ""});
    window.player->ClearCalls();
    QWidget* target = FocusTarget(*window, c.focus);
    target->setFocus();
    QTest::keyClick(target, c.key);
    QApplication::processEvents();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->Item<CCheckListCtrl>(Id::FileList)->GetRowCount(), 1);
    EXPECT_EQ(window.player->Count("Close"), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MainWindowEndingKeys,
    ::testing::Values(EndingKeyCase{"ReturnInStartEdit", Qt::Key_Return, FocusOn::StartEdit},
                      EndingKeyCase{"EnterInEndEdit", Qt::Key_Enter, FocusOn::EndEdit},
                      EndingKeyCase{"ReturnInOutputBox", Qt::Key_Return, FocusOn::OutputBox},
                      EndingKeyCase{"ReturnOnWindow", Qt::Key_Return, FocusOn::Window},
                      EndingKeyCase{"EscapeInStartEdit", Qt::Key_Escape, FocusOn::StartEdit},
                      EndingKeyCase{"EscapeInOutputBox", Qt::Key_Escape, FocusOn::OutputBox},
                      EndingKeyCase{"EscapeOnWindow", Qt::Key_Escape, FocusOn::Window}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainWindowKeys, EnterInATimeEditTakesTheTypedTime) {
    WindowUnderTest window(folder.path());
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.window.get()));
    auto* edit = window->Item<QLineEdit>(Id::EndEdit);
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, "00:00:07.250");
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(edit->text(), "00:00:07.250");
    EXPECT_EQ(Label(*window, Id::SelectionLength), "00:00:07.250");
    EXPECT_EQ(edit->selectedText(), edit->text());  // taken, ready to be typed over
}

using MainWindowClose = MainWindow;

TEST_F(MainWindowClose, CloseBoxClosesThePlayerAndEndsWithOk) {
    WindowUnderTest window(folder.path());
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.window.get()));
    window.player->ClearCalls();
    EXPECT_TRUE(window->close());
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->result(), QDialog::Accepted);
    EXPECT_EQ(window.player->Commands(), std::vector<std::string>{"Close"});
}

using MainWindowDrag = MainWindow;

TEST_F(MainWindowDrag, DraggingAFreeSpotMovesTheWindow) {
    WindowUnderTest window(folder.path());
    window->move(100, 100);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.window.get()));
    const QPoint before = window->pos();
    // Between the time texts and the output row: no control there.
    const QPoint freeSpot = window->GetDlgItem(Id::PlayerFrame)->geometry().bottomLeft() +
                            QPoint(DialogUnits(window->font()).ToPixelsX(100), 4);
    ASSERT_EQ(window->childAt(freeSpot), nullptr);
    QTest::mousePress(window.window.get(), Qt::LeftButton, Qt::NoModifier, freeSpot);
    QMouseEvent move(QEvent::MouseMove, QPointF(freeSpot + QPoint(30, 20)),
                     QPointF(window->mapToGlobal(freeSpot + QPoint(30, 20))), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.window.get(), &move);
    QTest::mouseRelease(window.window.get(), Qt::LeftButton, Qt::NoModifier,
                        freeSpot + QPoint(30, 20));
    EXPECT_EQ(window->pos(), before + QPoint(30, 20));
}

// The player frame is a control of its own: a press on its free area still drags.
TEST_F(MainWindowDrag, DraggingAFreeSpotOfThePlayerFrameMovesTheWindow) {
    WindowUnderTest window(folder.path());
    window->move(100, 100);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.window.get()));
    const QPoint before = window->pos();
    QWidget* frame = window->GetDlgItem(Id::PlayerFrame);
    // Left of the Play button, halfway down the frame.
    const QPoint inFrame(DialogUnits(window->font()).ToPixelsX(20), frame->height() / 2);
    ASSERT_EQ(window->childAt(frame->mapTo(window.window.get(), inFrame)), frame);
    QTest::mousePress(frame, Qt::LeftButton, Qt::NoModifier, inFrame);
    const QPoint to = inFrame + QPoint(25, 15);
    QMouseEvent move(QEvent::MouseMove, QPointF(to), QPointF(frame->mapToGlobal(to)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(frame, &move);
    QTest::mouseRelease(frame, Qt::LeftButton, Qt::NoModifier, to);
    EXPECT_EQ(window->pos(), before + QPoint(25, 15));

    // The buttons over the frame keep their clicks and do not drag.
    const QPoint after = window->pos();
    int clicks = 0;
    auto* play = window->Item<CControlButton>(Id::Play);
    play->setEnabled(true);
    QObject::connect(play, &QAbstractButton::clicked, [&] { ++clicks; });
    const QPoint centre = play->rect().center();
    ASSERT_EQ(window->childAt(play->mapTo(window.window.get(), centre)), play);
    QTest::mouseClick(play, Qt::LeftButton, Qt::NoModifier, centre);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(window->pos(), after);
}

// --- commands and the player ----------------------------------------------------------

using MainWindowCommands = MainWindow;

TEST_F(MainWindowCommands, AboutOpensTheWebPageThroughTheShell) {
    WindowUnderTest window(folder.path());
    window->Item<CControlButton>(Id::About)->click();
    ASSERT_EQ(window.shell.opened.size(), 1u);
    EXPECT_EQ(window.shell.opened[0], "https://example.org/English");
    EXPECT_TRUE(window.messageBox.messages.empty());
}

TEST_F(MainWindowCommands, LinkOpensTheWebPageThroughTheSameShell) {
    WindowUnderTest window(folder.path());
    auto* link = window->Item<CHyperLink>(Id::Link);
    EXPECT_TRUE(link->Open());
    ASSERT_EQ(window.shell.opened.size(), 1u);
    EXPECT_EQ(window.shell.opened[0], "https://example.org/English");
    EXPECT_TRUE(link->GetVisited());
}

// The English file with `url` set to `address`, and help/index.html, help/de/index.html
// and a page beside the help folder in the program folder.
void WriteHelpFolder(const ProgramFolderFixture& folder, const std::string& address) {
    std::string text = LanguageFileText("English");
    const std::string web = "url=https://example.org/English";
    text.replace(text.find(web), web.size(), "url=" + address);
    folder.WriteLanguageFile("english.ini", text);
    std::filesystem::create_directories(folder.path() / "help" / "de");
    for (const char* page : {"help/index.html", "help/de/index.html", "outside.html"})
        std::ofstream(folder.path() / page) << "<!DOCTYPE html><title>Help</title>\n";
}

TEST_F(MainWindowCommands, AboutAndLinkOpenWebPagesOrPagesOfTheHelpFolder) {
    struct Case {
        std::string address;
        QString opened;  // empty: refused
    };
    WriteHelpFolder(folder, "index.html");
    const QString help =
        QUrl::fromLocalFile(
            QDir(QString::fromStdString((folder.path() / "help").string())).canonicalPath())
            .toString(QUrl::FullyEncoded);
    const Case cases[] = {
        {"https://example.org/help", "https://example.org/help"},
        {"http://example.org/", "http://example.org/"},
        {"index.html", help + "/index.html"},
        {"de/index.html", help + "/de/index.html"},
        {"missing.html", {}},
        {"../outside.html", {}},
        {(folder.path() / "outside.html").string(), {}},
        {(folder.path() / "help" / "index.html").string(), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.address);
        WriteHelpFolder(folder, c.address);
        WindowUnderTest window(folder.path());
        window->Item<CControlButton>(Id::About)->click();
        EXPECT_TRUE(window->Item<CHyperLink>(Id::Link)->Open() == !c.opened.isEmpty());
        if (c.opened.isEmpty()) {
            EXPECT_TRUE(window.shell.opened.empty());
            const QString message =
                QStringLiteral(
                    "The help page \"%1\" cannot be opened: it is not a file in the help "
                    "folder \"%2\".")
                    .arg(QString::fromStdString(c.address),
                         QString::fromStdString((folder.path() / "help").string()));
            EXPECT_EQ(window.messageBox.messages, std::vector<QString>(2, message));
        } else {
            EXPECT_EQ(window.shell.opened, std::vector<QString>(2, c.opened));
            EXPECT_TRUE(window.messageBox.messages.empty());
        }
    }
}

TEST_F(MainWindowCommands, RefusedHelpPageIsToldInTheLanguageInForce) {
    WriteHelpFolder(folder, "missing.html");
    folder.WriteLanguageFile("english.ini",
                             "[APPLICATION]\nurl=missing.html\n"
                             "[TISHI]\nbzwj=Nope: %1 in %2\n");
    WindowUnderTest window(folder.path());
    window->Item<CControlButton>(Id::About)->click();
    EXPECT_EQ(
        window.messageBox.messages,
        std::vector<QString>{QStringLiteral("Nope: missing.html in %1")
                                 .arg(QString::fromStdString((folder.path() / "help").string()))});
}

TEST_F(MainWindowCommands, SettingRunsTheOutputSettingsDialogModally) {
    WindowUnderTest window(folder.path());
    window->Item<QTabBar>(Id::Tabs)->setCurrentIndex(1);
    window->Item<CControlButton>(Id::Setting)->click();
    ASSERT_EQ(window.modalDialogClasses.size(), 1u);
    EXPECT_EQ(window.modalDialogClasses[0], "tolvane::CSettings");
    // Cancelled: the profile keeps its start values.
    EXPECT_EQ(window->outputProfile().bitRate, 128000);
}

using MainWindowPlayer = MainWindow;

TEST_F(MainWindowPlayer, InitialisedOnceWhileTheWindowStarts) {
    WindowUnderTest window(folder.path());
    EXPECT_TRUE(window.player->Initialized());
    EXPECT_EQ(window.player->Count("Initialize"), 1);
    EXPECT_EQ(window.player->Commands().size(), 1u);
    EXPECT_FALSE(window.player->FixedText().empty());
}

TEST_F(MainWindowPlayer, EndCallbackFromThePlayersThreadStopsOnTheWindowsThread) {
    WindowUnderTest window(folder.path());
    window.player->FireEndCallback();
    for (int i = 0; i < 200 && !window.player->EndCallbackReturned(); ++i)
        QTest::qWait(10);
    EXPECT_TRUE(window.player->EndCallbackReturned());
    window.player->JoinEndThread();
    EXPECT_TRUE(window->reloadOnPlay());
}

TEST_F(MainWindowPlayer, ClosingWhileAnEndOfFileWaitsLetsThePlayerThreadGo) {
    auto window = std::make_unique<WindowUnderTest>(folder.path());
    window->player->FireEndCallback();
    // No event loop runs: the end waits for the window until the window goes away, and
    // the window's end must not hang on it (the fake joins its thread when destroyed).
    HangWatch watch("closing the window while the player's end callback waits",
                    std::chrono::seconds(10));
    window->window.reset();
}

TEST_F(MainWindowPlayer, EndCallbacksInARowAreEachHandled) {
    WindowUnderTest window(folder.path());
    int ends = 0;
    QObject::connect(window.window.get(), &CTolvaneDlg::playerEnded, [&] { ++ends; });
    for (int round = 0; round < 3; ++round) {
        window.player->FireEndCallback();
        for (int i = 0; i < 200 && !window.player->EndCallbackReturned(); ++i)
            QTest::qWait(5);
        ASSERT_TRUE(window.player->EndCallbackReturned()) << round;
    }
    window.player->JoinEndThread();
    EXPECT_EQ(ends, 3);
}

TEST_F(MainWindowPlayer, StartsWithTheDefaultOutputProfile) {
    WindowUnderTest window(folder.path());
    const OutputProfile& profile = window->outputProfile();
    EXPECT_EQ(profile.formatCode, 90106);
    EXPECT_EQ(profile.bitRate, 128000);
    EXPECT_EQ(profile.sampleRate, 44100);
    EXPECT_EQ(profile.channels, 2);
    EXPECT_EQ(profile.encoderName, "MP3");
}

// A message over the window is titled with the program's name as the window's title
// shows it, not with the name of the executable.
TEST_F(MainWindow, MessageBoxesCarryTheWindowsTitle) {
    WindowUnderTest window(folder.path());
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.window.get()));
    ASSERT_FALSE(window->windowTitle().isEmpty());
    QString title;
    QString text;
    QTimer::singleShot(0, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) {
                title = box->windowTitle();
                text = box->text();
                box->accept();
            }
        }
    });
    SystemMessageBox().Show(window->GetDlgItem(Id::Add), QStringLiteral("hello"));
    EXPECT_EQ(text, "hello");
    EXPECT_EQ(title, window->windowTitle());
}

}  // namespace
}  // namespace tolvane::testing
