// The cut and merge commands end to end: the real window on the offscreen platform, the
// real engine on fixture files, the progress dialog run modally while the job timer
// drives it, and the outputs read back with ffprobe.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTimer>

#include <QCoreApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>

#include "CutPrecision.h"
#include "CAVConvertDlg.h"
#include "CCheckListCtrl.h"
#include "CControlButton.h"
#include "CSettings.h"
#include "DialogIds.h"
#include "JobProgressText.h"
#include "WindowTestSupport.h"

namespace tolvane::testing {
namespace {

QString Tishi(const char* key) {
    return QStringLiteral("English TISHI ") + QString::fromLatin1(key);
}

QString Q(const fs::path& path) {
    return QString::fromStdString(path.string());
}

// A success message: its text, and the output file on a line under it.
QString Success(const char* key, const QString& output) {
    return Tishi(key) + QLatin1Char('\n') + output;
}

// A window whose modal dialogs run for real (exec), with a hook that acts while the
// progress dialog is up and one that answers the settings dialog.
class CommandsWindow {
  public:
    CommandsWindow() : fixtures(media.path()) {
        WriteStandardProgramFolder(program);
        WindowServices services;
        auto fakePlayer = std::make_unique<RecordingPlayerModule>();
        player = fakePlayer.get();
        services.player = std::move(fakePlayer);
        services.programFolder = program.path().string();
        services.refreshLanguageFile = [](const std::string&) {};
        services.messageBox = &messageBox;
        services.fileChooser = &fileChooser;
        services.folderChooser = &folderChooser;
        services.shell = &shell;
        services.runModal = [this](QDialog& dialog) { return RunModal(dialog); };
        window = std::make_unique<CTolvaneDlg>(std::move(services));
        SetOutputFolder(Q(output.path()));
    }

    CTolvaneDlg* operator->() { return window.get(); }

    void SetOutputFolder(const QString& folder) {
        window->Item<QComboBox>(ControlId::OutputFolderBox)->setEditText(folder);
    }
    void Click(int id) { window->Item<CControlButton>(id)->click(); }
    void Add(const QStringList& paths) {
        fileChooser.answer = paths;
        Click(ControlId::Add);
    }
    void ShowMergeTab() { window->Item<QTabBar>(ControlId::Tabs)->setCurrentIndex(1); }
    CCheckListCtrl& List() { return *window->Item<CCheckListCtrl>(ControlId::FileList); }
    void SetRange(const QString& start, const QString& end) {
        window->Item<QLineEdit>(ControlId::StartEdit)->setText(start);
        window->Item<QLineEdit>(ControlId::EndEdit)->setText(end);
    }

    ProgramFolderFixture program;
    TempDir media;
    TempDir output;
    Fixtures fixtures;
    RecordingPlayerModule* player = nullptr;
    RecordingMessageBox messageBox;
    ScriptedFileChooser fileChooser;
    ScriptedFolderChooser folderChooser;
    RecordingShell shell;

    // Runs once the progress dialog is shown.
    std::function<void(CAVConvertDlg&)> duringJob;
    // Runs once the settings dialog is shown (it must end the dialog).
    std::function<void(CSettings&)> answerSettings;
    int progressDialogRuns = 0;
    std::vector<QString> runningFileTexts;  // text 1018 as the job timer left it
    std::unique_ptr<CTolvaneDlg> window;

  private:
    int RunModal(QDialog& dialog) {
        if (auto* progress = qobject_cast<CAVConvertDlg*>(&dialog)) {
            ++progressDialogRuns;
            QTimer::singleShot(0, progress, [this, progress] {
                if (duringJob)
                    duringJob(*progress);
            });
            // Records what the timer writes, and gives up on a job that never ends.
            QTimer watch;
            QElapsedTimer elapsed;
            elapsed.start();
            QObject::connect(&watch, &QTimer::timeout, progress, [&, progress] {
                runningFileTexts.push_back(
                    static_cast<QLabel*>(progress->GetDlgItem(ProgressDialogId::RunningFileText))
                        ->text());
                if (elapsed.elapsed() > 120000)
                    static_cast<QPushButton*>(progress->GetDlgItem(ProgressDialogId::Cancel))
                        ->click();
            });
            watch.start(100);
            return dialog.exec();
        }
        if (auto* settings = qobject_cast<CSettings*>(&dialog)) {
            QTimer::singleShot(0, settings, [this, settings] {
                if (answerSettings)
                    answerSettings(*settings);
                else
                    settings->reject();
            });
            return dialog.exec();
        }
        return QDialog::Rejected;
    }
};

void ClickCancel(CAVConvertDlg& dialog) {
    static_cast<QPushButton*>(dialog.GetDlgItem(ProgressDialogId::Cancel))->click();
}

void TickOpenFolder(CAVConvertDlg& dialog) {
    auto* box = static_cast<QCheckBox*>(dialog.GetDlgItem(ProgressDialogId::OpenFolder));
    if (!box->isChecked())
        box->click();
}

// --- The cut ------------------------------------------------------------------------

TEST(CutCommand, CutsTheRangeIntoTheOutputFolderAndReportsSuccess) {
    CommandsWindow w;
    const fs::path source =
        MakeTone(w.media.path(), "song.mp3", 5.0, 44100, 2, "-c:a libmp3lame -b:a 128k");
    w.Add({Q(source)});
    ASSERT_EQ(w->currentFile(), Q(source));
    w.SetRange("00:00:01.000", "00:00:03.000");
    w.Click(ControlId::Convert);

    ASSERT_EQ(w.progressDialogRuns, 1);
    ASSERT_EQ(w.messageBox.messages, std::vector<QString>{Success("jqcg", w->outputPath())});
    const fs::path output = w.output / "song.mp3";
    EXPECT_EQ(w->outputPath(), Q(output));
    const ProbeInfo info = Ffprobe(output);
    ASSERT_TRUE(info.ok);
    EXPECT_EQ(info.codecName, "mp3");
    // What a player plays: the Info header drops the frames kept before the start.
    const DecodedAudio played = Decode(output, Decoder::Mpg123);
    ASSERT_EQ(played.rate, 44100);
    EXPECT_NEAR(static_cast<double>(played.samples.size()) / played.rate, 2.0, 0.002);
    EXPECT_TRUE(w.shell.opened.empty()) << "the box was unticked";
    EXPECT_TRUE(fs::exists(source)) << "the source stays where it was";
    EXPECT_FALSE(fs::exists(w.output / "jlewhqlhqwenqfwk.mp3"));
}

TEST(CutCommand, OpensTheOutputFolderWhenTheBoxIsTicked) {
    CommandsWindow w;
    const fs::path source = w.fixtures.Wav(3.0);
    w.Add({Q(source)});
    w.SetRange("00:00:00.500", "00:00:01.500");
    w.duringJob = TickOpenFolder;
    w.Click(ControlId::Convert);

    ASSERT_EQ(w.messageBox.messages, std::vector<QString>{Success("jqcg", w->outputPath())});
    EXPECT_EQ(w.shell.opened, std::vector<QString>{Q(w.output.path())});
    EXPECT_NEAR(Ffprobe(w.output / source.filename()).durationSec, 1.0, 0.05);
    EXPECT_NE(w.program.ReadSettings().find("open=1"), std::string::npos)
        << "the box's state is kept for the next showing";
}

TEST(CutCommand, SecondCutGetsANumberedNameAndKeepsTheFirst) {
    CommandsWindow w;
    const fs::path source = w.fixtures.Wav(2.0);
    w.Add({Q(source)});
    w.SetRange("00:00:00.000", "00:00:01.000");
    w.Click(ControlId::Convert);
    w.Click(ControlId::Convert);
    const std::string stem = source.stem().string();
    EXPECT_EQ(w.messageBox.messages,
              (std::vector<QString>{Success("jqcg", Q(w.output / (stem + ".wav"))),
                                    Success("jqcg", Q(w.output / (stem + "(0).wav")))}));
    EXPECT_TRUE(fs::exists(w.output / (stem + ".wav")));
    EXPECT_TRUE(fs::exists(w.output / (stem + "(0).wav")));
    EXPECT_EQ(w->outputPath(), Q(w.output / (stem + "(0).wav")));
}

TEST(CutCommand, WithoutAFileSaysSoAndStartsNothing) {
    CommandsWindow w;
    w.Click(ControlId::Convert);
    EXPECT_EQ(w.messageBox.messages, std::vector<QString>{Tishi("qxtjsp")});
    EXPECT_EQ(w.progressDialogRuns, 0);
}

TEST(CutCommand, MissingFolderSaysSo) {
    CommandsWindow w;
    w.Add({Q(w.fixtures.Wav())});
    w.SetOutputFolder(Q(w.output / "not-there"));
    w.Click(ControlId::Convert);
    EXPECT_EQ(w.messageBox.messages, std::vector<QString>{Tishi("mlbcz")});
    EXPECT_EQ(w.progressDialogRuns, 0);
}

TEST(CutCommand, BackslashFolderEndsSilently) {
    CommandsWindow w;
    w.Add({Q(w.fixtures.Wav())});
    w.SetOutputFolder(QStringLiteral("\\"));
    w.Click(ControlId::Convert);
    EXPECT_TRUE(w.messageBox.messages.empty());
    EXPECT_EQ(w.progressDialogRuns, 0);
}

TEST(CutCommand, FolderThatIsAFileFailsTheWriteTest) {
    CommandsWindow w;
    w.Add({Q(w.fixtures.Wav())});
    const fs::path notAFolder = w.output / "plain-file";
    std::ofstream(notAFolder) << "x";
    w.SetOutputFolder(Q(notAFolder));
    w.Click(ControlId::Convert);
    EXPECT_EQ(
        w.messageBox.messages,
        std::vector<QString>{QStringLiteral("MP3文件生成失败，请点击浏览按钮选择保存到其他目录!")});
    EXPECT_EQ(w.progressDialogRuns, 0);
}

TEST(CutCommand, FileWithoutExtensionIsRefusedWithAMessage) {
    CommandsWindow w;
    const fs::path bare = w.media / "bare";
    fs::copy_file(w.fixtures.Wav(1.0), bare);
    w.Add({Q(bare)});
    ASSERT_EQ(w->currentFile(), Q(bare));
    w.Click(ControlId::Convert);
    ASSERT_EQ(w.messageBox.messages.size(), 1u);
    EXPECT_TRUE(w.messageBox.messages[0].contains(Q(bare)));
    EXPECT_EQ(w.progressDialogRuns, 0);
    EXPECT_TRUE(fs::is_empty(w.output.path()));
}

// A job stopped from its dialog says so, and where what was written so far is (or that
// nothing is left); the output named like a finished one is never left unmentioned.
::testing::AssertionResult TellsWhatRemainsOfACancelledJob(const QString& message,
                                                           const QString& output,
                                                           const char* keptText) {
    const QString kept = QString::fromLatin1(keptText).arg(output);
    const QString nothing =
        QStringLiteral("The job was cancelled; nothing of the output was kept.");
    const QString expected = QFileInfo::exists(output) ? kept : nothing;
    if (message == expected)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << message.toStdString() << " instead of " << expected.toStdString();
}

TEST(CutCommand, ClosingTheProgressDialogSaysSoAndTheNextCutRuns) {
    CommandsWindow w;
    w.Add({Q(w.fixtures.Wav(2.0))});
    w.SetRange("00:00:00.000", "00:00:01.000");
    w.duringJob = [](CAVConvertDlg& dialog) { dialog.close(); };
    w.Click(ControlId::Convert);
    ASSERT_EQ(w.messageBox.messages.size(), 1u);
    EXPECT_TRUE(TellsWhatRemainsOfACancelledJob(
        w.messageBox.messages[0], w->outputPath(),
        "The cut was cancelled. The part written so far is in \"%1\"."));
    w.messageBox.messages.clear();
    w.duringJob = nullptr;
    w.Click(ControlId::Convert);
    EXPECT_EQ(w.messageBox.messages, std::vector<QString>{Success("jqcg", w->outputPath())});
    EXPECT_EQ(w.progressDialogRuns, 2);
}

TEST(CutCommand, MislabelledMp3IsCutUnderItsTrueTypeAndTakesTheMp3Name) {
    CommandsWindow w;
    const fs::path source = w.fixtures.AacNamedMp3();
    const std::string before = ReadFileBytes(source);
    w.Add({Q(source)});
    w.SetRange("00:00:00.000", "00:00:01.000");
    w.Click(ControlId::Convert);

    ASSERT_EQ(w.messageBox.messages, std::vector<QString>{Success("jqcg", w->outputPath())});
    const fs::path output = w.output / source.filename();
    EXPECT_EQ(w->outputPath(), Q(output));
    EXPECT_EQ(Ffprobe(output).codecName, "aac");
    EXPECT_FALSE(fs::exists(w.output / source.filename().replace_extension(".aac")));
    EXPECT_EQ(ReadFileBytes(source), before) << "the source is never touched";
}

TEST(CutCommand, EscapeAndEnterDoNotEndTheProgressDialog) {
    CommandsWindow w;
    w.Add({Q(w.fixtures.Wav(2.0))});
    w.SetRange("00:00:00.000", "00:00:01.000");
    bool visibleAfterKeys = false;
    w.duringJob = [&](CAVConvertDlg& dialog) {
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QCoreApplication::sendEvent(&dialog, &escape);
        QCoreApplication::sendEvent(&dialog, &enter);
        visibleAfterKeys = dialog.isVisible();
    };
    w.Click(ControlId::Convert);
    EXPECT_TRUE(visibleAfterKeys);
    EXPECT_EQ(w.messageBox.messages, std::vector<QString>{Success("jqcg", w->outputPath())});
}

// --- The merge ----------------------------------------------------------------------

class MergeCommandTest : public ::testing::Test {
  protected:
    // Five short files of different kinds on the merge tab, all checked.
    void AddFiveRows() {
        w.ShowMergeTab();
        const char* names[] = {"a.mp3", "b.wav", "c.flac", "d.mp3", "e.wav"};
        QStringList paths;
        for (const char* name : names) {
            const bool mp3 = fs::path(name).extension() == ".mp3";
            paths << Q(MakeTone(w.media.path(), name, 1.5, 44100, 2,
                                mp3 ? "-c:a libmp3lame -b:a 128k" : ""));
        }
        w.Add(paths);
        ASSERT_EQ(w.List().GetRowCount(), 5);
    }
    void CheckOnly(std::initializer_list<int> rows) {
        for (int row = 0; row < w.List().GetRowCount(); ++row)
            w.List().SetCheck(row, std::find(rows.begin(), rows.end(), row) != rows.end());
    }

    CommandsWindow w;
};

TEST_F(MergeCommandTest, JoinsTheCheckedRowsNamedAfterTheFirstAndMarksThem) {
    AddFiveRows();
    CheckOnly({1, 3});
    w.Click(ControlId::Merge);

    ASSERT_EQ(w.messageBox.messages, std::vector<QString>{Success("hbcg", w->outputPath())});
    const fs::path output = w.output / "b.mp3";
    EXPECT_EQ(w->outputPath(), Q(output));
    const ProbeInfo info = Ffprobe(output);
    ASSERT_TRUE(info.ok);
    EXPECT_EQ(info.codecName, "mp3");
    EXPECT_EQ(info.sampleRate, 44100);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.bitRate, 128000);
    EXPECT_NEAR(info.durationSec, 3.0, 0.15);
    for (int row : {1, 3}) {
        EXPECT_EQ(w.List().GetItemText(row, 4), Tishi("wc")) << row;
        EXPECT_FALSE(w.List().GetCheck(row)) << row;
    }
    for (int row : {0, 2, 4})
        EXPECT_NE(w.List().GetItemText(row, 4), Tishi("wc")) << row;
    EXPECT_TRUE(w.shell.opened.empty());
}

// Mean absolute sample value of each half of an MP3, decoded by mpg123.
std::pair<double, double> HalfLoudness(const fs::path& mp3) {
    std::string pcm;
    EXPECT_EQ(RunCommand("mpg123 -q -m -s " + ShellQuote(mp3.string()), &pcm), 0);
    const std::size_t samples = pcm.size() / 2;
    const auto* values = reinterpret_cast<const std::int16_t*>(pcm.data());
    double first = 0, second = 0;
    for (std::size_t i = 0; i < samples; ++i)
        (i < samples / 2 ? first : second) += std::abs(double(values[i]));
    return {first / double(std::max<std::size_t>(samples / 2, 1)),
            second / double(std::max<std::size_t>(samples - samples / 2, 1))};
}

// The merge takes the rows in the order the user gave them: moved by Ctrl+Down, the tone
// comes first, and the output is named after it.
TEST_F(MergeCommandTest, FollowsTheOrderOfTheRowsAfterAMove) {
    w.ShowMergeTab();
    const fs::path quiet = w.media.path() / "quiet.wav";
    ASSERT_TRUE(RunFfmpeg("-f lavfi -i anullsrc=r=44100:cl=stereo -t 2 -c:a pcm_s16le", quiet));
    const fs::path tone = MakeTone(w.media.path(), "tone.wav", 2.0);
    w.Add({Q(quiet), Q(tone)});
    ASSERT_EQ(w.List().GetRowCount(), 2);
    w.window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.window.get()));
    w.List().setFocus();
    w.List().SelectAndFocusRow(0);
    QTest::keyClick(&w.List(), Qt::Key_Down, Qt::ControlModifier);
    ASSERT_EQ(w.List().GetItemText(0, 0), Q(tone));

    w.Click(ControlId::Merge);
    ASSERT_EQ(w.messageBox.messages, std::vector<QString>{Success("hbcg", w->outputPath())});
    EXPECT_EQ(w->outputPath(), Q(w.output / "tone.mp3"));
    const auto [first, second] = HalfLoudness(w.output / "tone.mp3");
    EXPECT_GT(first, 1000.0);
    EXPECT_LT(second, 50.0);
    for (int row = 0; row < 2; ++row)
        EXPECT_EQ(w.List().GetItemText(row, 4), Tishi("wc")) << row;
}

TEST_F(MergeCommandTest, OneCheckedRowIsNotEnough) {
    AddFiveRows();
    CheckOnly({2});
    w.Click(ControlId::Merge);
    EXPECT_EQ(w.messageBox.messages, std::vector<QString>{Tishi("zslgwj")});
    EXPECT_EQ(w.progressDialogRuns, 0);
}

TEST_F(MergeCommandTest, EmptyListSaysThereIsNoFile) {
    w.ShowMergeTab();
    w.Click(ControlId::Merge);
    EXPECT_EQ(w.messageBox.messages, std::vector<QString>{Tishi("qxtjsp")});
}

TEST_F(MergeCommandTest, MissingFolderSaysSo) {
    AddFiveRows();
    w.SetOutputFolder(Q(w.output / "gone"));
    w.Click(ControlId::Merge);
    EXPECT_EQ(w.messageBox.messages, std::vector<QString>{Tishi("mlbcz")});
    EXPECT_EQ(w.progressDialogRuns, 0);
}

TEST_F(MergeCommandTest, BackslashFolderEndsSilently) {
    AddFiveRows();
    w.SetOutputFolder(QStringLiteral("\\"));
    w.Click(ControlId::Merge);
    EXPECT_TRUE(w.messageBox.messages.empty());
    EXPECT_EQ(w.progressDialogRuns, 0);
}

TEST_F(MergeCommandTest, CancelSaysWhatRemainsAndTheNextMergeStartsCleanly) {
    w.ShowMergeTab();
    w.Add({Q(MakeTone(w.media.path(), "long1.wav", 40.0)),
           Q(MakeTone(w.media.path(), "long2.wav", 40.0))});
    ASSERT_EQ(w.List().GetRowCount(), 2);
    w.duringJob = ClickCancel;
    w.Click(ControlId::Merge);
    ASSERT_EQ(w.messageBox.messages.size(), 1u);
    EXPECT_TRUE(TellsWhatRemainsOfACancelledJob(
        w.messageBox.messages[0], w->outputPath(),
        "The merge was cancelled. The part written so far is in \"%1\"."));
    EXPECT_TRUE(w.List().GetCheck(0));
    EXPECT_TRUE(w.List().GetCheck(1));

    w.messageBox.messages.clear();
    w.duringJob = nullptr;
    w.List().DeleteAllRows();
    w.Add({Q(MakeTone(w.media.path(), "short1.wav", 1.0)),
           Q(MakeTone(w.media.path(), "short2.wav", 1.0))});
    w.Click(ControlId::Merge);
    ASSERT_EQ(w.messageBox.messages, std::vector<QString>{Success("hbcg", w->outputPath())});
    EXPECT_NEAR(Ffprobe(w->outputPath().toStdString()).durationSec, 2.0, 0.15);
    EXPECT_EQ(w.progressDialogRuns, 2);
}

// A failed merge leaves no file: no row is marked done or unticked, the failed one says
// so, and once it is taken out the others merge.
TEST_F(MergeCommandTest, FailingInputMarksOnlyItsRowAndTheRestMergeAfterwards) {
    w.ShowMergeTab();
    const fs::path first = MakeTone(w.media.path(), "one.wav", 1.0);
    const fs::path second = MakeTone(w.media.path(), "two.wav", 1.0);
    const fs::path third = MakeTone(w.media.path(), "three.wav", 1.0);
    w.Add({Q(first), Q(second), Q(third)});
    fs::remove(second);  // gone before the merge opens it
    // The rows as the user sees them while the message is up.
    std::vector<QString> statusWhileTold;
    w.messageBox.onShow = [&] {
        for (int row = 0; row < w.List().GetRowCount(); ++row)
            statusWhileTold.push_back(w.List().GetItemText(row, 4));
    };
    w.Click(ControlId::Merge);
    EXPECT_EQ(w.messageBox.messages,
              std::vector<QString>{Tishi("hbsb") + "\n\"" + Q(second) +
                                   "\" could not be processed: the file cannot be found."});
    const QString waiting = QStringLiteral("English JIEMIAN zb");
    EXPECT_EQ(statusWhileTold, (std::vector<QString>{waiting, Tishi("sb"), waiting}));
    for (int row = 0; row < 3; ++row)
        EXPECT_TRUE(w.List().GetCheck(row)) << row;
    EXPECT_EQ(FolderEntries(w.output.path()), std::vector<std::string>{});

    w.messageBox.onShow = nullptr;
    w.messageBox.messages.clear();
    w.List().SelectAndFocusRow(1);
    w.Click(ControlId::Cut);  // removes the selected row
    ASSERT_EQ(w.List().GetRowCount(), 2);
    w.Click(ControlId::Merge);
    ASSERT_EQ(w.messageBox.messages, std::vector<QString>{Success("hbcg", w->outputPath())});
    EXPECT_NEAR(Ffprobe(w->outputPath().toStdString()).durationSec, 2.0, 0.15);
    for (int row = 0; row < 2; ++row) {
        EXPECT_EQ(w.List().GetItemText(row, 4), Tishi("wc")) << row;
        EXPECT_FALSE(w.List().GetCheck(row)) << row;
    }
}

// Words of an earlier merge go when the next one starts: each ticked row waits again.
TEST_F(MergeCommandTest, AMergeStartsWithEveryTickedRowWaiting) {
    AddFiveRows();
    CheckOnly({0, 2, 3});
    w.List().SetItemText(0, 4, Tishi("wc"));
    w.List().SetItemText(2, 4, Tishi("sb"));
    w.List().SetItemText(4, 4, Tishi("sb"));
    std::vector<QString> statusAtStart;
    w.duringJob = [&](CAVConvertDlg&) {
        for (int row = 0; row < w.List().GetRowCount(); ++row)
            statusAtStart.push_back(w.List().GetItemText(row, 4));
    };
    w.Click(ControlId::Merge);
    const QString waiting = QStringLiteral("English JIEMIAN zb");
    EXPECT_EQ(statusAtStart,
              (std::vector<QString>{waiting, waiting, waiting, waiting, Tishi("sb")}))
        << "an unticked row is not part of the merge";
}

// A range that holds no audio is named before anything starts; the times stay.
TEST(CutCommand, ARangeWithoutAudioIsNamedBeforeAnythingStarts) {
    const QString endBeforeStart = QStringLiteral(
        "The end time %2 does not lie after the start time %1: there is nothing to cut. "
        "Please correct the times.");
    const QString startPastEnd = QStringLiteral(
        "The start time %1 lies at or past the end of the file (%2): there is nothing to cut. "
        "Please correct the times.");
    const struct {
        const char *start, *end;
        QString message;
    } cases[] = {
        {"00:00:03.000", "00:00:01.000", endBeforeStart.arg("00:00:03.000", "00:00:01.000")},
        {"00:00:02.000", "00:00:02.000", endBeforeStart.arg("00:00:02.000", "00:00:02.000")},
        {"abc", "", endBeforeStart.arg("00:00:00.000", "00:00:00.000")},
        {"00:00:04.000", "00:00:06.000", startPastEnd.arg("00:00:04.000", "00:00:04.000")},
        {"00:00:05.000", "00:00:09.000", startPastEnd.arg("00:00:05.000", "00:00:04.000")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.start);
        CommandsWindow w;
        w.Add({Q(w.fixtures.Wav(4.0))});
        w.SetRange(c.start, c.end);
        w.Click(ControlId::Convert);
        EXPECT_EQ(w.messageBox.messages, std::vector<QString>{c.message});
        EXPECT_EQ(w.progressDialogRuns, 0);
        EXPECT_EQ(FolderEntries(w.output.path()), std::vector<std::string>{});
        EXPECT_EQ(w->Item<QLineEdit>(ControlId::StartEdit)->text(), c.start);
        EXPECT_EQ(w->Item<QLineEdit>(ControlId::EndEdit)->text(), c.end);
    }
}

// A failed cut names the file and why, in the user's language; nothing is left behind.
TEST(CutCommand, FailureNamesTheFileAndTheReason) {
    struct Case {
        const char* name;
        void (*spoil)(const fs::path& source);
        const char* reason;
    };
    const Case cases[] = {
        {"gone before the cut", [](const fs::path& source) { fs::remove(source); },
         "the file cannot be found"},
        // Everything after the first second overwritten with zeros: the demuxer finds
        // no frame at or after the marked start.
        {"range without audio",
         [](const fs::path& source) {
             std::string bytes = ReadFileBytes(source);
             std::fill(bytes.begin() + static_cast<long>(bytes.size() / 4), bytes.end(), '\0');
             std::ofstream(source, std::ios::binary | std::ios::trunc) << bytes;
         },
         "the marked stretch holds no audio that can be played"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CommandsWindow w;
        const fs::path source = w.fixtures.Mp3(4.0);
        w.Add({Q(source)});
        w.SetRange("00:00:01.700", "00:00:02.300");
        c.spoil(source);
        w.Click(ControlId::Convert);
        EXPECT_EQ(w.messageBox.messages,
                  std::vector<QString>{Tishi("jqsb") + "\n\"" + Q(source) +
                                       "\" could not be processed: " + c.reason + "."});
        EXPECT_EQ(FolderEntries(w.output.path()), std::vector<std::string>{});
    }
}

TEST_F(MergeCommandTest, EntryWithoutExtensionIsRefusedWithAMessage) {
    w.ShowMergeTab();
    const fs::path first = MakeTone(w.media.path(), "first.wav", 1.0);
    const fs::path bare = w.media / "bare";
    fs::copy_file(MakeTone(w.media.path(), "second.wav", 1.0), bare);
    w.Add({Q(first), Q(bare)});
    ASSERT_EQ(w.List().GetRowCount(), 2);
    w.Click(ControlId::Merge);
    ASSERT_EQ(w.messageBox.messages.size(), 1u);
    EXPECT_TRUE(w.messageBox.messages[0].contains(Q(bare)))
        << w.messageBox.messages[0].toStdString();
    EXPECT_EQ(w.progressDialogRuns, 0);
}

TEST_F(MergeCommandTest, MoreRowsThanAJobHoldsAreRefused) {
    w.ShowMergeTab();
    const QString path = Q(MakeTone(w.media.path(), "x.wav", 0.2));
    for (int row = 0; row < kMaxJobInputs + 1; ++row)
        w.List().AppendRow({path, "00:00:00.000", "00:00:00.200", "", "", "200"}, true);
    w.Click(ControlId::Merge);
    ASSERT_EQ(w.messageBox.messages.size(), 1u);
    EXPECT_TRUE(w.messageBox.messages[0].contains(QStringLiteral("999")));
    EXPECT_EQ(w.progressDialogRuns, 0);
}

// 320 kbps at 22050 Hz becomes the 160 kbps MP3 has there, in the dialog already, and a
// plain OK on the reopened dialog keeps what is in force.
TEST_F(MergeCommandTest, SettingsDialogChoiceReachesTheNextMergeAndPlainOkKeepsIt) {
    AddFiveRows();
    CheckOnly({0, 1});
    w.answerSettings = [](CSettings& dialog) {
        dialog.List(SettingsDialogId::BitRate)->setCurrentText("320 kbps");
        dialog.List(SettingsDialogId::SampleRate)->setCurrentText("22050 Hz");
        dialog.List(SettingsDialogId::Channels)->setCurrentText("1 Channel Mono");
        static_cast<QPushButton*>(dialog.GetDlgItem(SettingsDialogId::Ok))->click();
    };
    w.Click(ControlId::Setting);
    EXPECT_EQ(w->outputProfile().bitRate, 160000);
    w.Click(ControlId::Merge);
    ASSERT_EQ(w.messageBox.messages, std::vector<QString>{Success("hbcg", w->outputPath())});
    const ProbeInfo info = Ffprobe(w->outputPath().toStdString());
    EXPECT_EQ(info.sampleRate, 22050);
    EXPECT_EQ(info.channels, 1);
    EXPECT_EQ(info.bitRate, 160000);

    w.answerSettings = [](CSettings& dialog) {
        static_cast<QPushButton*>(dialog.GetDlgItem(SettingsDialogId::Ok))->click();
    };
    w.Click(ControlId::Setting);
    EXPECT_EQ(w->outputProfile().bitRate, 160000);
    EXPECT_EQ(w->outputProfile().sampleRate, 22050);
    EXPECT_EQ(w->outputProfile().channels, 1);
}

TEST_F(MergeCommandTest, SettingsCancelLeavesTheProfile) {
    w.ShowMergeTab();
    w.answerSettings = [](CSettings& dialog) {
        dialog.List(SettingsDialogId::BitRate)->setCurrentText("320 kbps");
        static_cast<QPushButton*>(dialog.GetDlgItem(SettingsDialogId::Cancel))->click();
    };
    w.Click(ControlId::Setting);
    EXPECT_EQ(w->outputProfile().bitRate, 128000);
}

// --- The job timer ------------------------------------------------------------------

const JobProgressTexts kWords{"done", "of", "files"};

TEST(JobTimerView, TickBeforeTheWorkerStartedShowsZeroPercent) {
    const JobProgressView cut = MakeJobProgressView("/music/a.mp3", 0, -1, 1, 0, kWords);
    EXPECT_EQ(cut.runningFileText.value_or("-"), "/music/a.mp3   0% done");
    EXPECT_EQ(cut.countText, "0 of 1 files");
    EXPECT_EQ(cut.overallPercent, 0);
    EXPECT_EQ(cut.runningFilePercent.value_or(-5), 0);

    const JobProgressView join = MakeJobProgressView("", 0, -1, 3, 0, kWords);
    EXPECT_EQ(join.runningFileText.value_or("-"), "   0% done");
    EXPECT_EQ(join.countText, "0 of 3 files");
}

TEST(JobTimerView, PreparingJobLeavesTheRunningTextAndBar) {
    const JobProgressView view = MakeJobProgressView("a", -1, -1, 2, 0, kWords);
    EXPECT_FALSE(view.runningFileText.has_value());
    EXPECT_FALSE(view.runningFilePercent.has_value());
    EXPECT_EQ(view.countText, "0 of 2 files");
}

TEST(JobTimerView, FinishedInputsFillTheOverallBar) {
    const JobProgressView view = MakeJobProgressView("c", 67, 2, 3, 2, kWords);
    EXPECT_EQ(view.runningFileText.value_or("-"), "c   67% done");
    EXPECT_EQ(view.countText, "2 of 3 files");
    EXPECT_EQ(view.overallPercent, 66);
    // All done: the running text stays as the last tick left it.
    EXPECT_FALSE(MakeJobProgressView("c", 99, 3, 3, 3, kWords).runningFileText.has_value());
    EXPECT_EQ(MakeJobProgressView("c", 99, 3, 3, 3, kWords).overallPercent, 100);
}

TEST(JobTimerView, NoDisplayCountGivesAnEmptyBarNotADivisionByZero) {
    EXPECT_EQ(MakeJobProgressView("", 0, -1, 0, 0, kWords).overallPercent, 0);
}

TEST(JobTimerProgress, MergeShowsTheRunningRowWithItsPercentageAndTheCount) {
    CommandsWindow w;
    w.ShowMergeTab();
    // Long enough that a 500 ms tick lands while an input runs, also on a fast machine.
    const fs::path first = MakeTone(w.media.path(), "first.wav", 120.0);
    const fs::path second = MakeTone(w.media.path(), "second.wav", 120.0);
    w.Add({Q(first), Q(second)});
    w.Click(ControlId::Merge);
    ASSERT_EQ(w.messageBox.messages, std::vector<QString>{Success("hbcg", w->outputPath())});
    const bool sawRunningRow =
        std::any_of(w.runningFileTexts.begin(), w.runningFileTexts.end(), [&](const QString& t) {
            const bool names = t.startsWith(Q(first) + QStringLiteral("   ")) ||
                               t.startsWith(Q(second) + QStringLiteral("   "));
            return names && t.endsWith(Tishi("wjwc"));
        });
    EXPECT_TRUE(sawRunningRow);
}

// --- Without re-encoding -----------------------------------------------------------

// Stereo s16 samples as FFmpeg decodes them.
std::string Pcm(const fs::path& file) {
    std::string samples;
    RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote(file.string()) + " -f s16le -",
               &samples);
    return samples;
}

QCheckBox* RemoveStretchBox(CommandsWindow& w) {
    return w->Item<QCheckBox>(ControlId::RemoveStretch);
}

TEST(CutCommand, RemoveTheMarkedStretchWritesTheRest) {
    CommandsWindow w;
    const fs::path source = MakeTone(w.media.path(), "take.wav", 4.0, 44100, 2, "");
    w.Add({Q(source)});
    ASSERT_TRUE(RemoveStretchBox(w)->isVisibleTo(w.window.get()));
    RemoveStretchBox(w)->setChecked(true);
    w.SetRange("00:00:01.000", "00:00:02.500");
    w.Click(ControlId::Convert);

    ASSERT_EQ(w.messageBox.messages, std::vector<QString>{Success("jqcg", w->outputPath())});
    const fs::path output = w.output / "take.wav";
    const std::string decoded = Pcm(source);
    EXPECT_TRUE(Pcm(output) == decoded.substr(0, 44100 * 4) + decoded.substr(110250 * 4))
        << "the part before 1 s and the part after 2.5 s, sample for sample";
}

TEST(CutCommand, RemovingTheWholeFileIsRefused) {
    CommandsWindow w;
    w.Add({Q(w.fixtures.Wav(2.0))});
    RemoveStretchBox(w)->setChecked(true);
    w.SetRange("00:00:00.000", "00:00:02.000");
    w.Click(ControlId::Convert);
    // The key's English text: the test's language file does not have it.
    ASSERT_EQ(w.messageBox.messages.size(), 1u);
    EXPECT_TRUE(w.messageBox.messages[0].startsWith("The marked stretch is the whole file"));
    EXPECT_EQ(w.progressDialogRuns, 0);
    EXPECT_TRUE(FolderEntries(w.output.path()).empty());
}

TEST(CutCommand, RemoveBoxShowsOnTheCutTabOnly) {
    CommandsWindow w;
    EXPECT_TRUE(RemoveStretchBox(w)->isVisibleTo(w.window.get()));
    w.ShowMergeTab();
    EXPECT_FALSE(RemoveStretchBox(w)->isVisibleTo(w.window.get()));
}

// The settings dialog's second encoder makes the merge copy like files into the first
// one's format.
void ChooseCopy(CSettings& dialog) {
    QComboBox* encoder = dialog.List(SettingsDialogId::Encoder);
    encoder->setCurrentIndex(1);
    emit encoder->activated(1);
    static_cast<QPushButton*>(dialog.GetDlgItem(SettingsDialogId::Ok))->click();
}

// Merges `a` and `b` from the merge tab with the copying encoder chosen.
void MergeByCopy(CommandsWindow& w, const fs::path& a, const fs::path& b) {
    w.ShowMergeTab();
    w.Add({Q(a), Q(b)});
    w.answerSettings = ChooseCopy;
    w.Click(ControlId::Setting);
    w.Click(ControlId::Merge);
}

TEST_F(MergeCommandTest, CopyJoinsLikeFilesInTheFirstOnesFormat) {
    const fs::path a = MakeTone(w.media.path(), "a.flac", 1.0, 44100, 2, "-c:a flac");
    const fs::path b = MakeTone(w.media.path(), "b.flac", 1.5, 44100, 2, "-c:a flac");
    MergeByCopy(w, a, b);

    ASSERT_EQ(w.messageBox.messages, std::vector<QString>{Success("hbcg", w->outputPath())});
    const fs::path output = w.output / "a.flac";
    EXPECT_EQ(w->outputPath(), Q(output));
    EXPECT_TRUE(Pcm(output) == Pcm(a) + Pcm(b));
    for (int row : {0, 1})
        EXPECT_EQ(w.List().GetItemText(row, 4), Tishi("wc")) << row;
}

TEST_F(MergeCommandTest, CopyOfMislabelledMp3sTakesTheirTrueType) {
    const fs::path a = w.fixtures.AacNamedMp3();
    const fs::path b = w.media.path() / "b.mp3";
    fs::copy_file(a, b);
    MergeByCopy(w, a, b);

    ASSERT_EQ(w.messageBox.messages, std::vector<QString>{Success("hbcg", w->outputPath())});
    const fs::path output = w.output / a.filename().replace_extension(".aac");
    EXPECT_EQ(w->outputPath(), Q(output));
    EXPECT_EQ(Ffprobe(output).codecName, "aac");
}

TEST_F(MergeCommandTest, CopyRefusesUnlikeFilesNamingHow) {
    const fs::path a = MakeTone(w.media.path(), "a.wav", 1.0, 44100, 2, "");
    const fs::path b = MakeTone(w.media.path(), "b.wav", 1.0, 22050, 2, "");
    MergeByCopy(w, a, b);

    ASSERT_EQ(w.messageBox.messages.size(), 1u);
    EXPECT_TRUE(w.messageBox.messages[0].startsWith(
        "\"" + Q(b) +
        "\" cannot be joined to the others without re-encoding: 22050 Hz, the first input is "
        "44100 Hz."))
        << w.messageBox.messages[0].toStdString();
    EXPECT_EQ(w.progressDialogRuns, 0);
    EXPECT_TRUE(FolderEntries(w.output.path()).empty());
}

}  // namespace
}  // namespace tolvane::testing
