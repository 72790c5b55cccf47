#include <QComboBox>
#include <QTabBar>
#include <QTimer>
#include <QToolTip>

#include <functional>

#include "CControlButton.h"
#include "OperationsTestSupport.h"

namespace tolvane::testing {
namespace {

using Strings = std::vector<std::string>;

class FileList : public WindowOperations {};
using FileListAdd = FileList;
using FileListDrop = FileList;
using FileListRemove = FileList;

TEST_F(FileListAdd, ThreeFilesOnTheCutTabPlayTheLast) {
    const QString a = Q(Wav("a.wav", 1)), b = Q(Wav("b.wav", 1)), c = Q(Wav("c.wav", 2));
    WindowUnderTest window(folder.path());
    AddFiles(window, {a, b, c});

    ASSERT_EQ(window.fileChooser.filters.size(), 1u);
    EXPECT_EQ(window.fileChooser.filters[0],
              QString::fromStdString(window->languageTable().OpenFileFilter()));
    EXPECT_TRUE(window.messageBox.messages.empty());
    EXPECT_EQ(window->currentFile(), c);
    EXPECT_EQ(LabelText(*window, Id::CurrentFilePath), c);
    EXPECT_TRUE(window->GetDlgItem(Id::Play)->isEnabled());
    EXPECT_TRUE(window->GetDlgItem(Id::Stop)->isEnabled());
    // Nothing was open yet, so the Stop before the Play has nothing to close.
    EXPECT_EQ(CommandsAfterStart(*window.player),
              (Strings{"SetFileName " + c.toStdString(), "Open", "GetMideaType", "Start"}));
    EXPECT_EQ(window->playMode(), "PAUSE");
    EXPECT_TRUE(window->GetDlgItem(Id::PositionSlider)->isEnabled());
    // The whole of the playing file is the range.
    EXPECT_EQ(EditText(*window, Id::StartEdit), kZero);
    EXPECT_EQ(EditText(*window, Id::EndEdit), "00:00:02.000");
    EXPECT_EQ(LabelText(*window, Id::SelectionLength), "00:00:02.000");
    EXPECT_EQ(window->Item<CCheckListCtrl>(Id::FileList)->GetRowCount(), 0);

    // A second batch while playing: Stop, then the Load's own Stop, then the new file.
    window.player->ClearCalls();
    AddFiles(window, {a});
    EXPECT_EQ(CommandsAfterStart(*window.player),
              (Strings{"Stop", "Close", "Stop", "Close", "SetFileName " + a.toStdString(), "Open",
                       "GetMideaType", "Start"}));
    EXPECT_EQ(EditText(*window, Id::EndEdit), "00:00:01.000");
}

TEST_F(FileListAdd, GarbageFirstFileShowsTheMessageAndNothingPlays) {
    const QString garbage = Q(fixtures.Garbage());
    const QString good = Q(Wav("good.wav", 1));
    WindowUnderTest window(folder.path());
    AddFiles(window, {garbage, good});

    ASSERT_EQ(window.messageBox.messages.size(), 1u);
    EXPECT_EQ(window.messageBox.messages[0], "English TISHI wjgarbage.mp3 English TISHI wx");
    EXPECT_TRUE(window->currentFile().isEmpty());
    EXPECT_TRUE(LabelText(*window, Id::CurrentFilePath).isEmpty());
    EXPECT_TRUE(CommandsAfterStart(*window.player).empty());
    EXPECT_FALSE(window->GetDlgItem(Id::Play)->isEnabled());
    EXPECT_FALSE(window->addingFiles());
}

TEST_F(FileListAdd, CancelledDialogChangesNothing) {
    const QString good = Q(Wav("good.wav", 1));
    WindowUnderTest window(folder.path());
    AddFiles(window, {good});
    window.player->ClearCalls();
    AddFiles(window, {});
    EXPECT_EQ(window->currentFile(), good);
    EXPECT_TRUE(window.player->Commands().empty());
}

TEST_F(FileListAdd, MergeTabAppendsRowsAndLeavesTheCutTabsFileAlone) {
    const QString cutFile = Q(Wav("cut.wav", 3));
    const QString one = Q(Wav("one.wav", 1)), two = Q(Wav("two.wav", 2));
    WindowUnderTest window(folder.path());
    AddFiles(window, {cutFile});
    window->Item<QTabBar>(Id::Tabs)->setCurrentIndex(1);
    AddFiles(window, {one, two, one});

    auto* list = window->Item<CCheckListCtrl>(Id::FileList);
    ASSERT_EQ(list->GetRowCount(), 3);
    EXPECT_EQ(list->GetItemText(0, 0), one);
    EXPECT_EQ(list->GetItemText(1, 0), two);
    EXPECT_EQ(list->GetItemText(2, 0), one);  // the same file twice gives two rows
    EXPECT_EQ(list->GetItemText(1, 2), "00:00:02.000");
    EXPECT_EQ(list->GetItemText(1, 3), "MP3-MPEG Layer-3 Audio(*.mp3)");
    EXPECT_EQ(list->GetItemText(1, 4), "English JIEMIAN zb");
    EXPECT_EQ(list->GetItemText(1, 5), "2000");
    EXPECT_EQ(window->currentFile(), cutFile);

    // Back on the cut tab, a fresh Play marks the cut tab's own file, not the last probe.
    window->Item<QTabBar>(Id::Tabs)->setCurrentIndex(0);
    Click(*window, Id::Play);
    EXPECT_EQ(window.player->FileName(), cutFile.toStdString());
    EXPECT_EQ(EditText(*window, Id::EndEdit), "00:00:03.000");
}

TEST_F(FileListAdd, NoSecondBatchDropOrTabSwitchWhileABatchIsExamined) {
    const QString a = Q(Wav("a.wav", 1)), b = Q(Wav("b.wav", 1));
    WindowUnderTest window(folder.path());
    bool ranDuringBatch = false;
    // Runs from the batch's own event processing, before the first file is probed.
    QTimer::singleShot(0, window.window.get(), [&] {
        ranDuringBatch = window->addingFiles();
        Click(*window, Id::Add);
        DropFiles(*window, {b});
        window->Item<QTabBar>(Id::Tabs)->setCurrentIndex(1);
    });
    AddFiles(window, {a, b});

    EXPECT_TRUE(ranDuringBatch);
    EXPECT_EQ(window.fileChooser.filters.size(), 1u);
    EXPECT_EQ(window->Item<QTabBar>(Id::Tabs)->currentIndex(), 0);
    EXPECT_TRUE(window->Item<CControlButton>(Id::Merge)->isHidden());
    EXPECT_EQ(window->currentFile(), b);
    EXPECT_EQ(window.player->Count("Open"), 1);
    EXPECT_FALSE(window->addingFiles());
    EXPECT_TRUE(window->Item<QTabBar>(Id::Tabs)->isEnabled());
}

// Closing the window during a batch closes the player for good: the batch examines no
// more files, shows no message and starts nothing afterwards.
TEST_F(FileListAdd, ClosingTheWindowDuringABatchLeavesThePlayerClosed) {
    const QString playing = Q(Wav("playing.wav", 1));
    const QString a = Q(Wav("a.wav", 1)), garbage = Q(fixtures.Garbage());
    WindowUnderTest window(folder.path());
    AddFiles(window, {playing});
    ASSERT_EQ(window->playMode(), "PAUSE");
    window.player->ClearCalls();
    // The first file's event processing closes the window; the second would be rejected
    // with a message.
    QTimer::singleShot(0, window.window.get(), [&] { window->close(); });
    AddFiles(window, {a, garbage});

    const Strings commands = window.player->Commands();
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.back(), "Close");
    EXPECT_EQ(window.player->Count("Open"), 0);
    EXPECT_EQ(window.player->Count("Start"), 0);
    EXPECT_TRUE(window.messageBox.messages.empty());
    EXPECT_EQ(window->currentFile(), playing);  // the batch accepted nothing
    EXPECT_FALSE(window->addingFiles());
}

// The close may come after some files were already accepted: the last of them does
// not start playing.
TEST_F(FileListAdd, ClosingAfterTheFirstFileOfABatchStartsNothing) {
    const QString a = Q(Wav("a.wav", 1)), b = Q(Wav("b.wav", 1));
    WindowUnderTest window(folder.path());
    window.player->ClearCalls();
    // The inner shot runs from the second file's event processing.
    QTimer::singleShot(0, window.window.get(), [&] {
        QTimer::singleShot(0, window.window.get(), [&] { window->close(); });
    });
    AddFiles(window, {a, b});

    EXPECT_EQ(window->currentFile(), a);
    EXPECT_EQ(window.player->Commands(), Strings{"Close"});
}

// Neither job command starts while a batch is examined: no job dialog, no message.
TEST_F(FileListAdd, ConvertDuringABatchStartsNoJob) {
    const QString a = Q(Wav("a.wav", 1)), b = Q(Wav("b.wav", 1));
    WindowUnderTest window(folder.path());
    window->Item<QComboBox>(Id::OutputFolderBox)->setEditText(Q(media.path()));
    bool ranDuringBatch = false;
    // The inner shot runs once a.wav is the current file, so a cut would have its input.
    QTimer::singleShot(0, window.window.get(), [&] {
        QTimer::singleShot(0, window.window.get(), [&] {
            ranDuringBatch = window->addingFiles() && window->currentFile() == a;
            Click(*window, Id::Convert);
        });
    });
    AddFiles(window, {a, b});

    EXPECT_TRUE(ranDuringBatch);
    EXPECT_TRUE(window.modalDialogClasses.empty());
    EXPECT_TRUE(window.messageBox.messages.empty());
    EXPECT_TRUE(window->outputPath().isEmpty());
    EXPECT_EQ(window.player->Count("Start"), 1);  // the batch's own playback
}

TEST_F(FileListAdd, MergeDuringABatchStartsNoJob) {
    const QString x = Q(Wav("x.wav", 1)), y = Q(Wav("y.wav", 1)), z = Q(Wav("z.wav", 1));
    WindowUnderTest window(folder.path());
    window->Item<QComboBox>(Id::OutputFolderBox)->setEditText(Q(media.path()));
    window->Item<QTabBar>(Id::Tabs)->setCurrentIndex(1);
    AddFiles(window, {x, y});
    auto* list = window->Item<CCheckListCtrl>(Id::FileList);
    ASSERT_TRUE(list->GetCheck(0) && list->GetCheck(1));
    bool ranDuringBatch = false;
    QTimer::singleShot(0, window.window.get(), [&] {
        ranDuringBatch = window->addingFiles();
        Click(*window, Id::Merge);
    });
    AddFiles(window, {z});

    EXPECT_TRUE(ranDuringBatch);
    EXPECT_TRUE(window.modalDialogClasses.empty());
    EXPECT_TRUE(window.messageBox.messages.empty());
    EXPECT_TRUE(window->outputPath().isEmpty());
    EXPECT_EQ(list->GetRowCount(), 3);
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(list->GetItemText(row, 4), "English JIEMIAN zb") << row;
}

TEST_F(FileListDrop, MergeTabRowsInDropOrderChecked) {
    const QString first = Q(Wav("first.wav", 1));
    const QString x = Q(Wav("x.wav", 2)), y = Q(Wav("y.wav", 3));
    WindowUnderTest window(folder.path());
    window->Item<QTabBar>(Id::Tabs)->setCurrentIndex(1);
    AddFiles(window, {first});
    auto* list = window->Item<CCheckListCtrl>(Id::FileList);
    list->SelectAndFocusRow(0);
    DropFiles(*window, {y, x});

    ASSERT_EQ(list->GetRowCount(), 3);
    EXPECT_EQ(list->GetItemText(1, 0), y);
    EXPECT_EQ(list->GetItemText(2, 0), x);
    for (int row = 0; row < 3; ++row) {
        EXPECT_TRUE(list->GetCheck(row)) << row;
        EXPECT_EQ(list->GetItemText(row, 1), kZero) << row;
    }
    EXPECT_EQ(list->GetItemText(1, 2), "00:00:03.000");
    EXPECT_EQ(list->GetItemText(2, 2), "00:00:02.000");
    EXPECT_EQ(list->GetFirstSelectedRow(), -1);  // row 0 lost its selection
    EXPECT_TRUE(window.messageBox.messages.empty());
    EXPECT_TRUE(CommandsAfterStart(*window.player).empty());  // nothing plays on this tab
}

TEST_F(FileListDrop, MergeTabRejectionEndsTheDrop) {
    const QString x = Q(Wav("x.wav", 1)), y = Q(Wav("y.wav", 1));
    const QString garbage = Q(fixtures.Garbage());
    WindowUnderTest window(folder.path());
    window->Item<QTabBar>(Id::Tabs)->setCurrentIndex(1);
    DropFiles(*window, {x, garbage, y});
    auto* list = window->Item<CCheckListCtrl>(Id::FileList);
    ASSERT_EQ(list->GetRowCount(), 1);
    EXPECT_EQ(list->GetItemText(0, 0), x);
    ASSERT_EQ(window.messageBox.messages.size(), 1u);
    EXPECT_EQ(window.messageBox.messages[0], "English TISHI wjgarbage.mp3 English TISHI wx");
}

// A file of unknown length would give the merge list an end time it cannot have: a drop
// rejects it as the file dialog does.
TEST_F(FileListDrop, FileOfUnknownLengthIsRejectedAsByTheDialog) {
    const QString unknown = Q(fixtures.UnknownDuration());
    WindowUnderTest window(folder.path());
    window->Item<QTabBar>(Id::Tabs)->setCurrentIndex(1);
    DropFiles(*window, {unknown});
    EXPECT_EQ(window->Item<CCheckListCtrl>(Id::FileList)->GetRowCount(), 0);
    ASSERT_EQ(window.messageBox.messages.size(), 1u);
    AddFiles(window, {unknown});
    EXPECT_EQ(window->Item<CCheckListCtrl>(Id::FileList)->GetRowCount(), 0);
    EXPECT_EQ(window.messageBox.messages.size(), 2u);
}

TEST_F(FileListDrop, CutTabTakesTheFirstFileAndARejectedOneKeepsThePrevious) {
    const QString a = Q(Wav("a.wav", 1)), b = Q(Wav("b.wav", 2));
    const QString garbage = Q(fixtures.Garbage());
    WindowUnderTest window(folder.path());
    DropFiles(*window, {b, a});
    EXPECT_EQ(window->currentFile(), b);
    EXPECT_EQ(window.player->FileName(), b.toStdString());
    EXPECT_EQ(window->playMode(), "PAUSE");

    window.player->ClearCalls();
    DropFiles(*window, {garbage});
    ASSERT_EQ(window.messageBox.messages.size(), 1u);
    EXPECT_EQ(window->currentFile(), b);
    EXPECT_EQ(LabelText(*window, Id::CurrentFilePath), b);
    EXPECT_TRUE(window.player->Commands().empty());  // the playing file plays on
}

// A drop is taken as a copy only: a move would let the source delete the user's file.
// The source's offer, its proposed action (Shift proposes a move) and the outcome.
TEST_F(FileListDrop, DropsAreAcceptedAsACopyOnly) {
    const QString a = Q(Wav("a.wav", 1));
    const struct {
        const char* what;
        Qt::DropActions offered;
        Qt::KeyboardModifiers modifiers;
        bool accepted;
    } cases[] = {
        {"copy or move, move proposed", Qt::CopyAction | Qt::MoveAction, Qt::ShiftModifier, true},
        {"copy or move", Qt::CopyAction | Qt::MoveAction, Qt::NoModifier, true},
        {"copy only", Qt::CopyAction, Qt::NoModifier, true},
        {"move only", Qt::MoveAction, Qt::NoModifier, false},
        {"link only", Qt::LinkAction, Qt::NoModifier, false},
    };
    for (const auto& [what, offered, modifiers, accepted] : cases) {
        SCOPED_TRACE(what);
        WindowUnderTest window(folder.path());
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(a)});
        const QPoint spot(20, 20);
        QDragEnterEvent enter(spot, offered, &data, Qt::LeftButton, modifiers);
        QApplication::sendEvent(window.window.get(), &enter);
        EXPECT_EQ(enter.isAccepted(), accepted);
        QDragMoveEvent move(spot, offered, &data, Qt::LeftButton, modifiers);
        QApplication::sendEvent(window.window.get(), &move);
        EXPECT_EQ(move.isAccepted(), accepted);
        QDropEvent drop(QPointF(spot), offered, &data, Qt::LeftButton, modifiers);
        QApplication::sendEvent(window.window.get(), &drop);
        EXPECT_EQ(drop.isAccepted(), accepted);
        if (accepted) {
            EXPECT_EQ(enter.dropAction(), Qt::CopyAction);
            EXPECT_EQ(move.dropAction(), Qt::CopyAction);
            EXPECT_EQ(drop.dropAction(), Qt::CopyAction);
            EXPECT_EQ(window->currentFile(), a);
        } else {
            EXPECT_TRUE(window->currentFile().isEmpty());
        }
        EXPECT_TRUE(fs::exists(a.toStdString()));
    }
}

TEST_F(FileListDrop, LongPathIsUsedWhole) {
    fs::path deep = media.path();
    for (int i = 0; i < 6; ++i)
        deep /= std::string(50, char('a' + i));
    fs::create_directories(deep);
    const QString path = Q(MakeTone(deep, "long.wav", 1, 8000, 1));
    ASSERT_GT(path.size(), 300);
    WindowUnderTest window(folder.path());
    DropFiles(*window, {path});
    EXPECT_TRUE(window.messageBox.messages.empty());
    EXPECT_EQ(window->currentFile(), path);
    EXPECT_EQ(window.player->FileName(), path.toStdString());
}

// Whatever the user adds or drops where, the cut tab shows, plays and cuts one and the same
// file: the one accepted last on the cut tab.
TEST_F(FileList, CutTabShowsPlaysAndCutsOneFile) {
    const QString kept = Q(Wav("kept.wav", 2));
    const QString other = Q(Wav("other.wav", 1));
    const QString garbage = Q(fixtures.Garbage());
    const struct {
        const char* what;
        std::function<void(WindowUnderTest&)> act;
        QString cutFile;
    } cases[] = {
        {"rejected add", [&](WindowUnderTest& w) { AddFiles(w, {garbage}); }, kept},
        {"add ended by a rejection",
         [&](WindowUnderTest& w) {
             AddFiles(w, {other, garbage});
         },
         other},
        {"rejected drop", [&](WindowUnderTest& w) { DropFiles(*w, {garbage}); }, kept},
        {"drop on the merge tab",
         [&](WindowUnderTest& w) {
             w->Item<QTabBar>(Id::Tabs)->setCurrentIndex(1);
             DropFiles(*w, {other});
             w->Item<QTabBar>(Id::Tabs)->setCurrentIndex(0);
         },
         kept},
        {"add on the merge tab",
         [&](WindowUnderTest& w) {
             w->Item<QTabBar>(Id::Tabs)->setCurrentIndex(1);
             AddFiles(w, {other});
             w->Item<QTabBar>(Id::Tabs)->setCurrentIndex(0);
         },
         kept},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir out;
        WindowUnderTest window(folder.path());
        AddFiles(window, {kept});
        c.act(window);

        EXPECT_EQ(window->currentFile(), c.cutFile);
        EXPECT_EQ(LabelText(*window, Id::CurrentFilePath), c.cutFile);
        EXPECT_EQ(window.player->FileName(), c.cutFile.toStdString());
        Click(*window, Id::Stop);
        Click(*window, Id::Play);
        EXPECT_EQ(window.player->FileName(), c.cutFile.toStdString());
        EXPECT_EQ(window->playMode(), "PAUSE");

        window->Item<QComboBox>(Id::OutputFolderBox)->setEditText(Q(out.path()));
        window.messageBox.messages.clear();
        Click(*window, Id::Convert);
        EXPECT_EQ(window.modalDialogClasses.size(), 1u);
        EXPECT_EQ(fs::path(window->outputPath().toStdString()).stem(),
                  fs::path(c.cutFile.toStdString()).stem());
    }
}

TEST_F(FileListDrop, MergeTabDropLeavesTheCutTabWithoutAFileWhenItHadNone) {
    const QString x = Q(Wav("x.wav", 1));
    WindowUnderTest window(folder.path());
    window->Item<QTabBar>(Id::Tabs)->setCurrentIndex(1);
    DropFiles(*window, {x});
    window->Item<QTabBar>(Id::Tabs)->setCurrentIndex(0);
    EXPECT_EQ(window->Item<CCheckListCtrl>(Id::FileList)->GetRowCount(), 1);
    EXPECT_TRUE(window->currentFile().isEmpty());
    EXPECT_TRUE(LabelText(*window, Id::CurrentFilePath).isEmpty());
    Click(*window, Id::Convert);
    EXPECT_EQ(window.messageBox.messages, std::vector<QString>{"English TISHI qxtjsp"});
    EXPECT_TRUE(window.modalDialogClasses.empty());
}

// A path longer than its column keeps its file name in view, and the tip shows it whole.
TEST_F(FileListDrop, LongPathInTheListIsElidedInTheMiddleWithTheWholePathAsTip) {
    fs::path deep = media.path();
    for (int i = 0; i < 4; ++i)
        deep /= std::string(40, char('a' + i));
    fs::create_directories(deep);
    const QString path = Q(MakeTone(deep, "the-name.wav", 1, 8000, 1));
    WindowUnderTest window(folder.path());
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.window.get()));
    window->Item<QTabBar>(Id::Tabs)->setCurrentIndex(1);
    DropFiles(*window, {path});
    auto* list = window->Item<CCheckListCtrl>(Id::FileList);
    ASSERT_EQ(list->GetRowCount(), 1);
    EXPECT_EQ(list->GetItemText(0, 0), path);  // the row keeps the whole path
    EXPECT_EQ(list->textElideMode(), Qt::ElideMiddle);
    const QRect cell = list->visualRect(list->model()->index(0, 0));
    ASSERT_GT(list->fontMetrics().horizontalAdvance(path), cell.width());
    QTest::mouseMove(list->viewport(), cell.center());
    QHelpEvent help(QEvent::ToolTip, cell.center(), list->viewport()->mapToGlobal(cell.center()));
    QApplication::sendEvent(list->viewport(), &help);
    EXPECT_TRUE(QToolTip::isVisible());
    EXPECT_EQ(QToolTip::text(), path);

    // Below the rows the list's own tip stays.
    const QPoint empty(cell.center().x(), cell.bottom() + 3 * cell.height());
    QHelpEvent below(QEvent::ToolTip, empty, list->viewport()->mapToGlobal(empty));
    QApplication::sendEvent(list->viewport(), &below);
    EXPECT_EQ(QToolTip::text(), window->ToolTipText(Id::FileList));
    QToolTip::hideText();
}

class FileListRows : public FileList {
  protected:
    void AddRows(WindowUnderTest& window, int count) {
        window->Item<QTabBar>(Id::Tabs)->setCurrentIndex(1);
        QStringList paths;
        for (int i = 0; i < count; ++i)
            paths << Q(Wav("row" + std::to_string(i) + ".wav", 1));
        AddFiles(window, paths);
    }
};
using FileListRemoveRows = FileListRows;

TEST_F(FileListRemoveRows, LastRowSelectsTheNewLastRow) {
    WindowUnderTest window(folder.path());
    AddRows(window, 3);
    auto* list = window->Item<CCheckListCtrl>(Id::FileList);
    const QString second = list->GetItemText(1, 0);
    list->SelectAndFocusRow(2);
    Click(*window, Id::Cut);
    ASSERT_EQ(list->GetRowCount(), 2);
    EXPECT_EQ(list->GetFirstSelectedRow(), 1);
    EXPECT_EQ(list->GetItemText(1, 0), second);
}

TEST_F(FileListRemoveRows, MiddleRowSelectsTheRowTakingItsPlace) {
    WindowUnderTest window(folder.path());
    AddRows(window, 3);
    auto* list = window->Item<CCheckListCtrl>(Id::FileList);
    const QString third = list->GetItemText(2, 0);
    list->SelectAndFocusRow(1);
    Click(*window, Id::Cut);
    ASSERT_EQ(list->GetRowCount(), 2);
    EXPECT_EQ(list->GetFirstSelectedRow(), 1);
    EXPECT_EQ(list->GetItemText(1, 0), third);
}

TEST_F(FileListRemoveRows, OnlyRowLeavesAnEmptyListWithoutSelection) {
    WindowUnderTest window(folder.path());
    AddRows(window, 1);
    auto* list = window->Item<CCheckListCtrl>(Id::FileList);
    list->SelectAndFocusRow(0);
    Click(*window, Id::Cut);
    EXPECT_EQ(list->GetRowCount(), 0);
    EXPECT_EQ(list->GetFirstSelectedRow(), -1);
}

// The key goes to the edit without the window on screen: painting a shown window
// would start Qt's own pooled threads, whose locks the thread sanitizer cannot see.
TEST_F(FileListRemoveRows, DeleteInATimeEditDeletesACharacterNotTheRow) {
    WindowUnderTest window(folder.path());
    AddRows(window, 2);
    window->Item<QTabBar>(Id::Tabs)->setCurrentIndex(0);
    auto* list = window->Item<CCheckListCtrl>(Id::FileList);
    list->SelectAndFocusRow(0);
    auto* edit = window->Item<QLineEdit>(Id::StartEdit);
    edit->setFocus();
    edit->setCursorPosition(0);
    QTest::keyClick(edit, Qt::Key_Delete);
    EXPECT_EQ(list->GetRowCount(), 2);
    EXPECT_EQ(edit->text(), kZero.mid(1));
}

TEST_F(FileListRemoveRows, DeleteAllEmptiesTheListOnly) {
    WindowUnderTest window(folder.path());
    AddRows(window, 3);
    Click(*window, Id::DeleteAll);
    EXPECT_EQ(window->Item<CCheckListCtrl>(Id::FileList)->GetRowCount(), 0);
    EXPECT_TRUE(window.messageBox.messages.empty());
}

TEST_F(FileListRemove, CutButtonStopsAndResetsTheTimeTexts) {
    const QString a = Q(Wav("a.wav", 2));
    WindowUnderTest window(folder.path());
    AddFiles(window, {a});
    window.player->SetReportedCurrentPosition(1.5);
    window.player->SetReportedDuration(2.0);
    ASSERT_TRUE(WaitForTicks(*window.player, 1));
    window.player->ClearCalls();
    Click(*window, Id::Cut);
    EXPECT_EQ(window.player->Commands(), (Strings{"Stop", "Close"}));
    EXPECT_EQ(LabelText(*window, Id::PlayPosition), kZero + " /");
    for (int id : {Id::Duration, Id::SelectionLength})
        EXPECT_EQ(LabelText(*window, id), kZero) << id;
    EXPECT_EQ(EditText(*window, Id::StartEdit), kZero);
    EXPECT_EQ(EditText(*window, Id::EndEdit), kZero);
    EXPECT_EQ(window->playMode(), "PLAY");
}

}  // namespace
}  // namespace tolvane::testing
