#include <QCheckBox>

#include "OperationsTestSupport.h"

namespace tolvane::testing {
namespace {

using Strings = std::vector<std::string>;

class RangeSelection : public WindowOperations {
  protected:
    // Plays a file of `seconds` and lets one tick see the play position `atSeconds`.
    void PlayAt(WindowUnderTest& window, double seconds, double atSeconds) {
        file = Q(Wav("range.wav", seconds));
        AddFiles(window, {file});
        MoveTo(window, seconds, atSeconds);
    }
    void MoveTo(WindowUnderTest& window, double seconds, double atSeconds) {
        window.player->SetReportedDuration(seconds);
        window.player->SetReportedCurrentPosition(atSeconds);
        window.player->SetReportedPos(static_cast<float>(atSeconds / seconds));
        ASSERT_TRUE(WaitForTicks(*window.player, 1));
    }
    QString file;
};
using RangeSelectionPoints = RangeSelection;
using RangeSelectionLength = RangeSelection;
using RangeSelectionPlay = RangeSelection;

TEST_F(RangeSelectionPoints, StartPointAtTenSecondsOfASixtySecondFile) {
    WindowUnderTest window(folder.path());
    PlayAt(window, 60, 10);
    Click(*window, Id::StartPoint);
    EXPECT_EQ(EditText(*window, Id::StartEdit), "00:00:10.000");
    EXPECT_EQ(EditText(*window, Id::EndEdit), "00:01:00.000");
    EXPECT_EQ(LabelText(*window, Id::SelectionLength), "00:00:50.000");
    auto* slider = window->Item<CBitmapSlider>(Id::PositionSlider);
    EXPECT_EQ(slider->GetSelectionStart(), 166);
    EXPECT_EQ(slider->GetSelectionMode(), 1);
}

TEST_F(RangeSelectionPoints, EndPointAfterTheStartSetsTheEnd) {
    WindowUnderTest window(folder.path());
    PlayAt(window, 60, 10);
    Click(*window, Id::StartPoint);
    MoveTo(window, 60, 45.5);
    Click(*window, Id::EndPoint);
    EXPECT_EQ(EditText(*window, Id::StartEdit), "00:00:10.000");
    EXPECT_EQ(EditText(*window, Id::EndEdit), "00:00:45.500");
    EXPECT_EQ(LabelText(*window, Id::SelectionLength), "00:00:35.500");
    auto* slider = window->Item<CBitmapSlider>(Id::PositionSlider);
    EXPECT_EQ(slider->GetSelectionEnd(), 758);
    EXPECT_EQ(slider->GetSelectionMode(), 2);
}

TEST_F(RangeSelectionPoints, EndPointBeforeTheStartSwapsTheTexts) {
    WindowUnderTest window(folder.path());
    PlayAt(window, 60, 10);
    window->Item<QLineEdit>(Id::StartEdit)->setText("00:00:30.000");
    Click(*window, Id::EndPoint);
    EXPECT_EQ(EditText(*window, Id::StartEdit), "00:00:10.000");
    EXPECT_EQ(EditText(*window, Id::EndEdit), "00:00:30.000");
    EXPECT_EQ(LabelText(*window, Id::SelectionLength), "00:00:20.000");
    // The slider marks the swapped range the cut uses.
    auto* slider = window->Item<CBitmapSlider>(Id::PositionSlider);
    EXPECT_EQ(slider->GetSelectionStart(), 166);
    EXPECT_EQ(slider->GetSelectionEnd(), 500);
    EXPECT_EQ(slider->GetSelectionMode(), 2);
}

TEST_F(RangeSelectionPoints, NothingWithoutACurrentFile) {
    WindowUnderTest window(folder.path());
    Click(*window, Id::StartPoint);
    Click(*window, Id::EndPoint);
    Click(*window, Id::PlaySelection);
    EXPECT_EQ(EditText(*window, Id::StartEdit), kZero);
    EXPECT_EQ(EditText(*window, Id::EndEdit), kZero);
    EXPECT_TRUE(CommandsAfterStart(*window.player).empty());
}

TEST_F(RangeSelectionLength, FollowsEveryChangeOfTheEdits) {
    WindowUnderTest window(folder.path());
    auto* start = window->Item<QLineEdit>(Id::StartEdit);
    auto* end = window->Item<QLineEdit>(Id::EndEdit);
    end->setText("00:01:02.003");
    EXPECT_EQ(LabelText(*window, Id::SelectionLength), "00:01:02.003");
    start->setText("00:00:02.000");
    EXPECT_EQ(LabelText(*window, Id::SelectionLength), "00:01:00.003");
    start->setText("00:02:00.000");  // after the end
    EXPECT_EQ(LabelText(*window, Id::SelectionLength), kZero);
    end->setText("75");  // free text, read leniently
    start->setText("");
    EXPECT_EQ(LabelText(*window, Id::SelectionLength), "00:01:15.075");
}

TEST_F(RangeSelectionPlay, StopsWithinOneTickOfTheEndAndTheNextPlayReopens) {
    WindowUnderTest window(folder.path());
    PlayAt(window, 10, 0);
    window->Item<QLineEdit>(Id::StartEdit)->setText("00:00:02.000");
    window->Item<QLineEdit>(Id::EndEdit)->setText("00:00:03.000");
    window.player->ClearCalls();
    Click(*window, Id::PlaySelection);
    // A fresh start leaves reloadOnPlay set, so the file is opened again, then sought.
    const Strings started{"Stop",
                          "Close",
                          "SetFileName " + file.toStdString(),
                          "Open",
                          "GetMideaType",
                          "Pause",
                          "SetCurrentPosition 2",
                          "SetStopPoint 3",
                          "Start"};
    EXPECT_EQ(window.player->Commands(), started);
    EXPECT_TRUE(window->playSelectionActive());

    MoveTo(window, 10, 2.95);
    EXPECT_TRUE(window->playSelectionActive());
    EXPECT_EQ(window.player->Commands(), started);
    MoveTo(window, 10, 3.0);
    Strings stopped = started;
    stopped.insert(stopped.end(), {"Stop", "Close"});
    EXPECT_EQ(window.player->Commands(), stopped);
    // The position goes back to zero; the length stays the file's.
    EXPECT_EQ(LabelText(*window, Id::PlayPosition), kZero);
    EXPECT_EQ(LabelText(*window, Id::Duration), "/ 00:00:10.000");
    EXPECT_EQ(window->Item<CBitmapSlider>(Id::PositionSlider)->GetPos(), 0);
    EXPECT_FALSE(window->playSelectionActive());
    EXPECT_EQ(window->playMode(), "PLAY") << "the Play button shows play again";
    // The timer is off: no further ticks.
    window.player->ClearCalls();
    QTest::qWait(250);
    EXPECT_EQ(window.player->Count("GetPos"), 0);

    // The player was closed, so Play opens the file afresh.
    Click(*window, Id::Play);
    EXPECT_EQ(window.player->Commands(),
              (Strings{"Stop", "Close", "SetFileName " + file.toStdString(), "Open", "GetMideaType",
                       "Start"}));
    EXPECT_EQ(window->playMode(), "PAUSE");
}

TEST_F(RangeSelectionPlay, FromIdleOpensTheFileWithoutResettingTheRange) {
    WindowUnderTest window(folder.path());
    PlayAt(window, 10, 0);
    Click(*window, Id::Stop);
    window->Item<QLineEdit>(Id::StartEdit)->setText("00:00:04.500");
    window->Item<QLineEdit>(Id::EndEdit)->setText("00:00:06.000");
    window.player->ClearCalls();
    Click(*window, Id::PlaySelection);
    EXPECT_EQ(window.player->Commands(),
              (Strings{"Stop", "Close", "SetFileName " + file.toStdString(), "Open", "GetMideaType",
                       "Pause", "SetCurrentPosition 4.5", "SetStopPoint 6", "Start"}));
    EXPECT_EQ(EditText(*window, Id::StartEdit), "00:00:04.500");
    EXPECT_EQ(window->playMode(), "PAUSE") << "the Play button shows pause while it plays";
    EXPECT_TRUE(window->GetDlgItem(Id::PositionSlider)->isEnabled());
}

TEST_F(RangeSelectionPlay, EndBeforeTheStartStopsAtTheFirstTick) {
    WindowUnderTest window(folder.path());
    PlayAt(window, 10, 0);
    window->Item<QLineEdit>(Id::StartEdit)->setText("00:00:05.000");
    window->Item<QLineEdit>(Id::EndEdit)->setText("00:00:01.000");
    Click(*window, Id::PlaySelection);
    window.player->ClearCalls();
    MoveTo(window, 10, 5.0);
    EXPECT_FALSE(window->playSelectionActive());
    EXPECT_EQ(window.player->Commands(), (Strings{"Stop", "Close"}));
}

TEST_F(RangeSelectionPlay, WhilePausedSeeksWithoutReopening) {
    WindowUnderTest window(folder.path());
    PlayAt(window, 10, 0);
    Click(*window, Id::Play);  // pause
    window->Item<QLineEdit>(Id::StartEdit)->setText("00:00:01.500");
    window.player->ClearCalls();
    Click(*window, Id::PlaySelection);
    EXPECT_EQ(window.player->Commands(),
              (Strings{"Pause", "SetCurrentPosition 1.5", "SetStopPoint 10", "Start"}));
    EXPECT_EQ(window->playMode(), "PAUSE");
}

TEST_F(RangeSelectionPlay, PlayPauseEndsTheSelection) {
    WindowUnderTest window(folder.path());
    PlayAt(window, 10, 0);
    window->Item<QLineEdit>(Id::EndEdit)->setText("00:00:01.000");
    Click(*window, Id::PlaySelection);
    Click(*window, Id::Play);
    EXPECT_FALSE(window->playSelectionActive());
    window.player->ClearCalls();
    MoveTo(window, 10, 2.0);
    EXPECT_EQ(window.player->Count("Stop"), 0);
}

// The player stops the sound at the end edit: a new end moves that point while the
// selection plays, and what plays on past the end drops it.
TEST_F(RangeSelectionPlay, TheStopPointFollowsTheEndEditUntilTheSelectionEnds) {
    struct Case {
        const char* name;
        std::function<void(WindowUnderTest&)> action;
        Strings commands;
        bool stillActive;
    };
    const std::vector<Case> cases = {
        {"new end",
         [](WindowUnderTest& w) { w->Item<QLineEdit>(Id::EndEdit)->setText("00:00:07.250"); },
         {"SetStopPoint 7.25"},
         true},
        {"new start",
         [](WindowUnderTest& w) { w->Item<QLineEdit>(Id::StartEdit)->setText("00:00:01.000"); },
         {"SetStopPoint 6"},
         true},
        // The Play button shows pause while the selection plays, and pauses it.
        {"Play",
         [](WindowUnderTest& w) { Click(*w, Id::Play); },
         {"ClearStopPoint", "Pause"},
         false},
        {"Stop", [](WindowUnderTest& w) { Click(*w, Id::Stop); }, {"Stop", "Close"}, false},
        {"drag",
         [](WindowUnderTest& w) {
             auto* slider = w->Item<CBitmapSlider>(Id::PositionSlider);
             slider->SetPos(500);
             emit slider->sliderTracking(Id::PositionSlider, 500);
             QTest::qWait(20);  // the report is queued
         },
         {"ClearStopPoint", "Pause", "SetPos 0.5", "Start"},
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WindowUnderTest window(folder.path());
        PlayAt(window, 10, 0);
        window->Item<QLineEdit>(Id::StartEdit)->setText("00:00:04.000");
        window->Item<QLineEdit>(Id::EndEdit)->setText("00:00:06.000");
        Click(*window, Id::PlaySelection);
        ASSERT_EQ(window.player->Count("SetStopPoint 6"), 1);
        window.player->ClearCalls();
        c.action(window);
        Strings commands = window.player->Commands();  // the first ones (Play reopens the file)
        commands.resize(std::min(commands.size(), c.commands.size()));
        EXPECT_EQ(commands, c.commands);
        EXPECT_EQ(window->playSelectionActive(), c.stillActive);
        // Once the selection is over, the end edit no longer reaches the player.
        window.player->ClearCalls();
        window->Item<QLineEdit>(Id::EndEdit)->setText("00:00:08.000");
        EXPECT_EQ(window.player->Count("SetStopPoint"), c.stillActive ? 1 : 0);
    }
}

// The player reads a reached stop point as the end edit's seconds (ms / 1000.0), which
// times 1000 may fall an ulp short of the millisecond: the tick still ends the selection.
TEST_F(RangeSelectionPlay, EndsWhenThePositionReadsTheEndEditsSeconds) {
    for (const int endMs : {1001, 1003, 2009, 9999, 59007}) {
        SCOPED_TRACE(endMs);
        WindowUnderTest window(folder.path());
        PlayAt(window, 60, 0);
        window->Item<QLineEdit>(Id::StartEdit)->setText("00:00:00.500");
        window->Item<QLineEdit>(Id::EndEdit)
            ->setText(QString::asprintf("00:%02d:%02d.%03d", endMs / 60000, endMs / 1000 % 60,
                                        endMs % 1000));
        Click(*window, Id::PlaySelection);
        window.player->ClearCalls();
        MoveTo(window, 60, endMs / 1000.0);
        EXPECT_FALSE(window->playSelectionActive());
        EXPECT_EQ(window.player->Commands(), (Strings{"Stop", "Close"}));
    }
}

// The slider marks the stretch that will be played and cut, typed or set by the buttons.
TEST_F(RangeSelectionPoints, TheSliderMarksTheRangeHoweverItWasSet) {
    const struct {
        const char *start, *end;
        int first, last, mode;
    } cases[] = {
        {"00:00:05.000", "00:00:08.500", 83, 141, 2},    // typed over button marks
        {"00:00:30.000", "00:01:00.000", 500, 1000, 1},  // to the file's end
        {"00:00:00.000", "00:01:00.000", 0, 1000, 0},    // the whole file
        {"00:00:40.000", "00:00:20.000", 666, 333, 2},   // reversed: nothing is marked
        {"00:00:50.000", "00:02:00.000", 833, 1000, 1},  // an end past the file's
    };
    WindowUnderTest window(folder.path());
    PlayAt(window, 60, 11.1);
    Click(*window, Id::StartPoint);
    MoveTo(window, 60, 14.8);
    Click(*window, Id::EndPoint);
    auto* slider = window->Item<CBitmapSlider>(Id::PositionSlider);
    ASSERT_EQ(slider->GetSelectionStart(), 185);
    ASSERT_EQ(slider->GetSelectionEnd(), 246);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.start);
        auto* start = window->Item<QLineEdit>(Id::StartEdit);
        auto* end = window->Item<QLineEdit>(Id::EndEdit);
        start->setFocus();
        start->selectAll();
        QTest::keyClicks(start, c.start);
        end->setFocus();
        end->selectAll();
        QTest::keyClicks(end, c.end);
        EXPECT_EQ(slider->GetSelectionStart(), c.first);
        EXPECT_EQ(slider->GetSelectionEnd(), c.last);
        EXPECT_EQ(slider->GetSelectionMode(), c.mode);
    }
}

// A typed time is read leniently, and written back as read when the edit is left (Tab)
// or Enter is pressed, so the edit shows what will be used.
TEST_F(RangeSelectionPoints, ATypedTimeIsWrittenBackAsUnderstood) {
    const struct {
        const char* typed;
        const char* shown;
    } cases[] = {
        {"1:30", "01:00:30.001"},       {"90", "00:01:30.090"},           {"abc", "00:00:00.000"},
        {"00:00:05.5", "00:00:05.005"}, {"00:01:02.003", "00:01:02.003"},
    };
    WindowUnderTest window(folder.path());
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.window.get()));
    for (const bool byEnter : {false, true}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.typed) + (byEnter ? " Enter" : " Tab"));
            auto* edit = window->Item<QLineEdit>(Id::EndEdit);
            edit->setFocus();
            edit->selectAll();
            QTest::keyClicks(edit, c.typed);
            EXPECT_EQ(edit->text(), c.typed) << "nothing is changed while typing";
            QTest::keyClick(edit, byEnter ? Qt::Key_Return : Qt::Key_Tab);
            EXPECT_EQ(edit->text(), QString::fromLatin1(c.shown));
            EXPECT_TRUE(window->isVisible());
        }
    }
}

TEST_F(RangeSelectionPlay, FileShorterThanAMillisecondMarksZero) {
    // A handful of samples: probed, but shorter than 1 ms.
    const QString tiny = Q(MakeTone(media.path(), "tiny.wav", 0.0002, 8000, 1));
    WindowUnderTest window(folder.path());
    AddFiles(window, {tiny});
    if (!window.messageBox.messages.empty())
        GTEST_SKIP() << "the probe refuses a file this short";
    auto* slider = window->Item<CBitmapSlider>(Id::PositionSlider);
    EXPECT_EQ(slider->GetSelectionStart(), 0);
    EXPECT_EQ(slider->GetSelectionEnd(), 0);
    EXPECT_EQ(EditText(*window, Id::StartEdit), kZero);
}

// With "Remove the marked stretch" ticked, Play Selection plays around the stretch: two
// seconds before it, then on from its end.
TEST_F(RangeSelectionPlay, AroundTheStretchWhenItIsToBeRemoved) {
    WindowUnderTest window(folder.path());
    PlayAt(window, 10, 0);
    window->Item<QLineEdit>(Id::StartEdit)->setText("00:00:03.000");
    window->Item<QLineEdit>(Id::EndEdit)->setText("00:00:05.500");
    window->Item<QCheckBox>(ControlId::RemoveStretch)->setChecked(true);
    window.player->ClearCalls();
    Click(*window, Id::PlaySelection);
    const Strings commands = window.player->Commands();
    ASSERT_GE(commands.size(), 4u);
    EXPECT_EQ(Strings(commands.end() - 4, commands.end()),
              (Strings{"Pause", "SetCurrentPosition 1", "SetStopPoint 3", "Start"}));
    EXPECT_FALSE(window->playSelectionActive());
    window.player->ClearCalls();
    MoveTo(window, 10, 2.9);
    EXPECT_TRUE(window.player->Commands().empty());
    MoveTo(window, 10, 3.0);
    EXPECT_EQ(window.player->Commands(),
              (Strings{"Pause", "ClearStopPoint", "SetCurrentPosition 5.5", "Start"}));
    window.player->ClearCalls();
    MoveTo(window, 10, 6.0);
    EXPECT_TRUE(window.player->Commands().empty()) << "it plays on";
}

}  // namespace
}  // namespace tolvane::testing
