// The split tab end to end: the real window on the offscreen platform, the real split
// job on fixture files, the progress dialog run modally, the parts read back with ffprobe.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <functional>
#include <set>

#include "CAVConvertDlg.h"
#include "CBitmapSlider.h"
#include "CCheckListCtrl.h"
#include "CControlButton.h"
#include "DialogIds.h"
#include "WindowTestSupport.h"

namespace tolvane::testing {
namespace {

constexpr int kNameColumn = 1;
constexpr int kStartColumn = 2;
constexpr int kEndColumn = 3;
constexpr int kStatusColumn = 5;

QString Q(const fs::path& path) {
    return QString::fromStdString(path.string());
}

// A window on the split tab whose progress dialog runs for real, with a hook that acts
// while it is up.
class SplitWindow : public WindowFakes {
  public:
    SplitWindow() {
        WriteStandardProgramFolder(program);
        WindowServices services = Services(program.path());
        services.runModal = [this](QDialog& dialog) { return RunModal(dialog); };
        window = std::make_unique<CTolvaneDlg>(std::move(services));
        window->Item<QComboBox>(ControlId::OutputFolderBox)->setEditText(Q(output.path()));
        window->Item<QTabBar>(ControlId::Tabs)->setCurrentIndex(2);
    }
    CTolvaneDlg* operator->() { return window.get(); }

    void Load(const fs::path& file) {
        fileChooser.answer = {Q(file)};
        window->Item<CControlButton>(ControlId::Add)->click();
    }
    void Click(int id) { qobject_cast<QAbstractButton*>(window->GetDlgItem(id))->click(); }
    void Every(const QString& length) {
        window->Item<QLineEdit>(ControlId::EveryEdit)->setText(length);
        Click(ControlId::Every);
    }
    fs::path Tone(double seconds) { return MakeTone(media.path(), "tone.wav", seconds); }
    CCheckListCtrl& Parts() { return *window->Item<CCheckListCtrl>(ControlId::PartsList); }

    ProgramFolderFixture program;
    TempDir media;
    TempDir output;
    std::function<void(CAVConvertDlg&)> duringJob;
    int progressRuns = 0;
    std::unique_ptr<CTolvaneDlg> window;

  private:
    int RunModal(QDialog& dialog) {
        auto* progress = qobject_cast<CAVConvertDlg*>(&dialog);
        if (progress == nullptr)
            return QDialog::Rejected;
        ++progressRuns;
        QTimer::singleShot(0, progress, [this, progress] {
            if (duringJob)
                duringJob(*progress);
        });
        return dialog.exec();
    }
};

void ClickCancel(CAVConvertDlg& dialog) {
    static_cast<QPushButton*>(dialog.GetDlgItem(ProgressDialogId::Cancel))->click();
}

TEST(SplitTab, ShowsItsControlsWithTheSharedPlayerAndTabVisitsThemAll) {
    SplitWindow w;
    w.Load(w.Tone(2.0));
    w->show();
    const int own[] = {ControlId::PartsList,     ControlId::SplitHere,    ControlId::SplitStart,
                       ControlId::CueSheet,      ControlId::FindSilences, ControlId::Every,
                       ControlId::ThresholdEdit, ControlId::MinimumEdit,  ControlId::EveryEdit,
                       ControlId::KeepTags,      ControlId::Play,         ControlId::Stop};
    for (int id : {ControlId::StartEdit, ControlId::Convert, ControlId::FileList, ControlId::Merge})
        EXPECT_TRUE(w->GetDlgItem(id)->isHidden()) << id;
    std::set<QWidget*> visited;
    QWidget* widget = w->GetDlgItem(ControlId::PartsList);
    for (int step = 0; step < 200; ++step, widget = widget->nextInFocusChain()) {
        if (widget->isVisible() && (widget->focusPolicy() & Qt::TabFocus))
            visited.insert(widget);
    }
    // Nothing reaches into the column of buttons at the right.
    const int column = w->GetDlgItem(ControlId::Every)->x();
    for (int id : {ControlId::PartsList, ControlId::ThresholdEdit, ControlId::MinimumEdit,
                   ControlId::EveryEdit})
        EXPECT_LT(w->GetDlgItem(id)->geometry().right(), column) << id;
    for (int id : own) {
        EXPECT_TRUE(w->GetDlgItem(id)->isVisible()) << id;
        EXPECT_TRUE(visited.count(w->GetDlgItem(id))) << id << " is reached by Tab";
    }
}

TEST(SplitTab, EveryFillsTheListAndMarksTheSlider) {
    SplitWindow w;
    w.Load(w.Tone(6.0));
    w.Every("00:00:02.000");
    ASSERT_EQ(w.Parts().GetRowCount(), 3);
    EXPECT_EQ(w.Parts().GetItemText(0, kNameColumn), "tone (01).wav");
    EXPECT_EQ(w.Parts().GetItemText(2, kStartColumn), "00:00:04.000");
    auto* slider = w->Item<CBitmapSlider>(ControlId::PositionSlider);
    EXPECT_EQ(slider->GetMarks(), (std::vector<int>{333, 666}));
    EXPECT_LE(slider->geometry().bottom(), w->GetDlgItem(ControlId::PartsList)->y())
        << "the slider ends above the list";
    w->Item<QTabBar>(ControlId::Tabs)->setCurrentIndex(0);
    EXPECT_TRUE(slider->GetMarks().empty()) << "the cut tab shows its range only";
    EXPECT_EQ(slider->height(), slider->GetTrackHeight());
    w->Item<QTabBar>(ControlId::Tabs)->setCurrentIndex(2);
    EXPECT_EQ(slider->GetMarks().size(), 2u);
}

TEST(SplitTab, TimesAndNamesTypedIntoTheListChangeTheParts) {
    SplitWindow w;
    w.Load(w.Tone(6.0));
    w.Every("00:00:02.000");
    w.Parts().item(1, kStartColumn)->setText("00:00:01.500");
    QCoreApplication::processEvents();  // the list is written again once the edit is over
    EXPECT_EQ(w->splitParts().rows()[0].part.endUs, 1'500'000) << "the seam moves for both";
    EXPECT_EQ(w.Parts().GetItemText(0, kEndColumn), "00:00:01.500");
    EXPECT_TRUE(w.messageBox.messages.empty());

    w.Parts().item(2, kEndColumn)->setText("00:00:09.000");
    QCoreApplication::processEvents();
    ASSERT_EQ(w.messageBox.messages.size(), 1u);
    EXPECT_EQ(w.messageBox.messages[0],
              "The time 00:00:09.000 lies outside the file (00:00:00.000 to 00:00:06.000).");
    EXPECT_EQ(w.Parts().GetItemText(2, kEndColumn), "00:00:06.000") << "the refused time goes";

    w.Parts().item(0, kNameColumn)->setText("Intro");
    QCoreApplication::processEvents();
    EXPECT_EQ(w.Parts().GetItemText(0, kNameColumn), "Intro.wav");
}

TEST(SplitTab, SplitHereKeyAddsAPointAtThePlayPosition) {
    SplitWindow w;
    w.Load(w.Tone(6.0));
    w.player->SetReportedDuration(6.0);
    w.player->SetReportedCurrentPosition(2.5);
    QTest::qWait(250);  // a tick of the position timer reads the play position
    QTest::keyClick(w.window.get(), Qt::Key_S);
    ASSERT_EQ(w->splitParts().rows().size(), 2u);
    EXPECT_EQ(w->splitParts().rows()[0].part.endUs, 2'500'000);
    QTest::keyClick(w.window.get(), Qt::Key_S);  // the same point again
    EXPECT_EQ(w->splitParts().rows().size(), 2u);
    EXPECT_EQ(w.messageBox.messages.size(), 1u);
}

TEST(SplitTab, StartWritesTheTickedPartsAndReportsTheFolder) {
    SplitWindow w;
    w.Load(w.Tone(6.0));
    w.Every("00:00:02.000");
    w.Parts().SetCheck(1, false);
    w.Click(ControlId::SplitStart);

    ASSERT_EQ(w.progressRuns, 1);
    EXPECT_EQ(FolderEntries(w.output.path()),
              (std::vector<std::string>{"tone (01).wav", "tone (03).wav"}));
    for (const char* name : {"tone (01).wav", "tone (03).wav"})
        EXPECT_NEAR(Ffprobe(w.output / name).durationSec, 2.0, 0.001) << name;
    ASSERT_EQ(w.messageBox.messages.size(), 1u);
    EXPECT_EQ(w.messageBox.messages[0],
              QStringLiteral("The split is finished: 2 parts were written to the folder \"%1\".")
                  .arg(Q(w.output.path())));
    EXPECT_EQ(w.Parts().GetItemText(0, kStatusColumn), "English TISHI wc");
    EXPECT_EQ(w.Parts().GetItemText(1, kStatusColumn), "English JIEMIAN zb");
    EXPECT_FALSE(w.Parts().GetCheck(0)) << "a written part is unticked";
}

// The title tag of a file as ffprobe reads it; empty when it has none.
std::string ProbedTitle(const fs::path& file) {
    std::string output;
    RunCommand(
        "ffprobe -v error -show_entries format_tags=title -of csv=p=0 " + ShellQuote(file.string()),
        &output);
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r'))
        output.pop_back();
    return output;
}

TEST(SplitTab, KeepTagsBoxCopiesTheSourcesTagsIntoTheParts) {
    for (const bool keep : {false, true}) {
        SplitWindow w;
        w.Load(MakeTone(w.media.path(), "song.mp3", 3.0, 44100, 2,
                        "-c:a libmp3lame -metadata title=Tagged"));
        w.Every("00:00:01.500");
        if (keep)
            w.Click(ControlId::KeepTags);
        w.Click(ControlId::SplitStart);
        for (const char* name : {"song (01).mp3", "song (02).mp3"})
            EXPECT_EQ(ProbedTitle(w.output / name), keep ? "Tagged" : "") << name << keep;
    }
}

TEST(SplitTab, CancelStopsAfterThePartBeingWrittenAndNamesTheWrittenParts) {
    SplitWindow w;
    w.Load(w.Tone(20.0));
    w.Every("00:00:00.100");  // 200 parts: the split is still running when Cancel comes
    const fs::path folder = w.output.path();
    w.duringJob = [folder](CAVConvertDlg& dialog) {
        QElapsedTimer waited;
        waited.start();
        while (FolderEntries(folder).empty() && waited.elapsed() < 20000)
            QTest::qWait(1);
        ClickCancel(dialog);
    };
    w.Click(ControlId::SplitStart);

    const std::vector<std::string> written = FolderEntries(folder);
    ASSERT_FALSE(written.empty());
    ASSERT_LT(written.size(), 200u);
    ASSERT_EQ(w.messageBox.messages.size(), 1u);
    const QString message = w.messageBox.messages[0];
    EXPECT_TRUE(message.startsWith(
        QStringLiteral("The split was cancelled after the part being written: %1 of 200 parts")
            .arg(written.size())))
        << message.toStdString();
    // Parts are written in order: the message names the first and the last written.
    for (const std::string& name : {written.front(), written.back()})
        EXPECT_TRUE(message.contains(QString::fromStdString(name))) << name;
    for (const std::string& name : written)
        EXPECT_NEAR(Ffprobe(folder / name).durationSec, 0.1, 0.001) << name << " is whole";
}

TEST(SplitTab, CueSheetNamesThePartsOrTheLineAtFault) {
    SplitWindow w;
    const fs::path source = w.Tone(6.0);
    w.Load(source);
    const struct {
        const char* sheet;
        int rows;
        const char* firstName;  // or the message's part
    } cases[] = {
        {"FILE \"tone.wav\" WAVE\n  TRACK 01 AUDIO\n    TITLE \"Intro\"\n    INDEX 01 00:00:00\n"
         "  TRACK 02 AUDIO\n    TITLE \"Song\"\n    INDEX 01 00:03:00\n",
         2, "01 - Intro.wav"},
        {"FILE \"tone.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
         "  TRACK 02 AUDIO\n    INDEX 01 00:09:00\n",
         0, "line 5"},
    };
    for (const auto& c : cases) {
        const fs::path sheet = w.media / "tone.cue";
        std::ofstream(sheet, std::ios::binary) << c.sheet;
        w.Every("00:00:01.000");
        w.messageBox.messages.clear();
        w.fileChooser.answer = {Q(sheet)};
        w.Click(ControlId::CueSheet);
        if (c.rows > 0) {
            ASSERT_EQ(w.Parts().GetRowCount(), c.rows);
            EXPECT_EQ(w.Parts().GetItemText(0, kNameColumn), c.firstName);
            EXPECT_TRUE(w.messageBox.messages.empty());
        } else {
            ASSERT_EQ(w.messageBox.messages.size(), 1u);
            EXPECT_TRUE(w.messageBox.messages[0].contains(c.firstName))
                << w.messageBox.messages[0].toStdString();
            EXPECT_EQ(w.Parts().GetRowCount(), 6) << "the parts stay as they were";
        }
    }
}

}  // namespace
}  // namespace tolvane::testing
