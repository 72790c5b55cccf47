// The window by keyboard and mouse: the focus mark and pressed look of the picture
// buttons, the Tab order, Space on list rows and the reordering of the merge list.

#include <QComboBox>
#include <QImage>
#include <QTabBar>

#include <algorithm>
#include <functional>

#include "CControlButton.h"
#include "OperationsTestSupport.h"
#include "TabOrder.h"

namespace tolvane::testing {
namespace {

class Keyboard : public WindowOperations {
  protected:
    // The window shown and active, so the focus is real.
    void Show(WindowUnderTest& window) {
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.window.get()));
    }
    // The merge tab with one row per name (fake paths; no probing).
    CCheckListCtrl* Rows(WindowUnderTest& window, const QStringList& names) {
        window->Item<QTabBar>(Id::Tabs)->setCurrentIndex(1);
        auto* list = window->Item<CCheckListCtrl>(Id::FileList);
        for (const QString& name : names) {
            const int row = list->AppendRow({name, kZero, kZero, "", "", "0"});
            list->SetItemToolTip(row, 0, "tip " + name);
        }
        return list;
    }
};

QImage Grab(QWidget* widget) {
    QApplication::processEvents();
    return widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// The id of the window's control that holds `widget` (0: none).
int ControlOf(CTolvaneDlg& window, QWidget* widget) {
    while (widget && widget->parentWidget() != &window)
        widget = widget->parentWidget();
    return widget ? widget->objectName().toInt() : 0;
}

QStringList Column(const CCheckListCtrl& list, int column) {
    QStringList texts;
    for (int row = 0; row < list.GetRowCount(); ++row)
        texts << list.GetItemText(row, column);
    return texts;
}

std::vector<int> SelectedRows(const CCheckListCtrl& list) {
    std::vector<int> rows;
    for (int row = 0; row < list.GetRowCount(); ++row) {
        if (list.item(row, 0) && list.item(row, 0)->isSelected())
            rows.push_back(row);
    }
    return rows;
}

// A point of the button's picture, where a press reaches the button.
QPoint InsideShape(const CControlButton& button) {
    const QRegion shape = button.HasShape() ? button.GetShape() : QRegion(button.rect());
    const QPoint centre = shape.boundingRect().center();
    if (shape.contains(centre))
        return centre;
    return shape.begin()->center();
}

// --- picture buttons --------------------------------------------------------------------

// Every picture button of both tabs marks the keyboard focus over its picture, sinks
// while held, and looks as before once the focus or the press has gone.
TEST_F(Keyboard, PictureButtonsShowTheFocusAndThePress) {
    const struct {
        int tab;
        std::vector<int> ids;
    } tabs[] = {
        {0,
         {Id::Add, Id::Cut, Id::About, Id::Convert, Id::StartPoint, Id::EndPoint, Id::PlaySelection,
          Id::Browse, Id::FindTarget}},
        {1, {Id::DeleteAll, Id::Setting, Id::Merge}},
    };
    WindowUnderTest window(folder.path());
    Show(window);
    for (const auto& [tab, ids] : tabs) {
        window->Item<QTabBar>(Id::Tabs)->setCurrentIndex(tab);
        for (int id : ids) {
            SCOPED_TRACE(id);
            auto* button = window->Item<CControlButton>(id);
            ASSERT_TRUE(button->isVisible());
            window->Item<QTabBar>(Id::Tabs)->setFocus(Qt::TabFocusReason);
            const QImage plain = Grab(button);

            button->setFocus(Qt::TabFocusReason);
            ASSERT_TRUE(button->hasFocus());
            const QImage focused = Grab(button);
            EXPECT_NE(focused, plain);

            window->Item<QTabBar>(Id::Tabs)->setFocus(Qt::TabFocusReason);
            EXPECT_EQ(Grab(button), plain);

            // Held with the mouse, then let go outside the picture (no click).
            const QPoint inside = InsideShape(*button);
            QTest::mousePress(button, Qt::LeftButton, Qt::NoModifier, inside);
            ASSERT_TRUE(button->isDown());
            const QImage held = Grab(button);
            EXPECT_NE(held, focused);
            button->setFocus(Qt::TabFocusReason);  // a press takes the focus; compare alike
            window->Item<QTabBar>(Id::Tabs)->setFocus(Qt::TabFocusReason);
            QTest::mouseRelease(button, Qt::LeftButton, Qt::NoModifier, QPoint(-50, -50));
            EXPECT_FALSE(button->isDown());
            EXPECT_EQ(Grab(button), plain);
        }
    }
    EXPECT_TRUE(window.messageBox.messages.empty());  // nothing was clicked
    EXPECT_TRUE(window.fileChooser.filters.empty());
}

// Space held on a focused picture button of the merge tab sinks it too, and its release
// clicks it; on the cut tab Space plays and pauses, and Enter presses the button.
TEST_F(Keyboard, SpaceOrEnterOnAFocusedButtonPressesAndClicksIt) {
    WindowUnderTest window(folder.path());
    Show(window);
    window->Item<QTabBar>(Id::Tabs)->setCurrentIndex(1);
    auto* add = window->Item<CControlButton>(Id::Add);
    add->setFocus(Qt::TabFocusReason);
    const QImage focused = Grab(add);
    QTest::keyPress(add, Qt::Key_Space);
    EXPECT_TRUE(add->isDown());
    EXPECT_NE(Grab(add), focused);
    QTest::keyRelease(add, Qt::Key_Space);
    EXPECT_EQ(window.fileChooser.filters.size(), 1u);

    window->Item<QTabBar>(Id::Tabs)->setCurrentIndex(0);
    add->setFocus(Qt::TabFocusReason);
    QTest::keyClick(add, Qt::Key_Space);
    EXPECT_EQ(window.fileChooser.filters.size(), 1u) << "Space is play and pause here";
    QTest::keyClick(add, Qt::Key_Return);
    EXPECT_EQ(window.fileChooser.filters.size(), 2u);
    EXPECT_TRUE(window->isVisible());
}

// --- playback keys ----------------------------------------------------------------------

class PlaybackKeys : public Keyboard {
  protected:
    // A minute-long file playing, the last tick at `atSeconds`.
    void PlayAt(WindowUnderTest& window, double atSeconds) {
        Show(window);
        AddFiles(window, {Q(Wav("keys.wav", 60))});
        window.player->SetReportedDuration(60);
        window.player->SetReportedCurrentPosition(atSeconds);
        window.player->SetReportedPos(static_cast<float>(atSeconds / 60));
        ASSERT_TRUE(WaitForTicks(*window.player, 1));
        window.player->ClearCalls();
    }
};

// On the focused slider the arrows move the play position by a second, Page Up/Down by
// ten, Home and End to the ends; playing goes on where it was.
TEST_F(PlaybackKeys, SliderKeysMoveThePlayPosition) {
    const struct {
        Qt::Key key;
        double from;
        const char* seek;
        const char* shown;
        int thumb;
    } cases[] = {
        {Qt::Key_Right, 30, "SetCurrentPosition 31", "00:00:31.000", 516},
        {Qt::Key_Left, 30, "SetCurrentPosition 29", "00:00:29.000", 483},
        {Qt::Key_PageDown, 30, "SetCurrentPosition 40", "00:00:40.000", 666},
        {Qt::Key_PageUp, 30, "SetCurrentPosition 20", "00:00:20.000", 333},
        {Qt::Key_Home, 30, "SetCurrentPosition 0", "00:00:00.000", 0},
        {Qt::Key_End, 30, "SetCurrentPosition 60", "00:01:00.000", 1000},
        {Qt::Key_Left, 0.5, "SetCurrentPosition 0", "00:00:00.000", 0},
        {Qt::Key_PageDown, 55, "SetCurrentPosition 60", "00:01:00.000", 1000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.seek);
        WindowUnderTest window(folder.path());
        PlayAt(window, c.from);
        auto* slider = window->Item<CBitmapSlider>(Id::PositionSlider);
        slider->setFocus(Qt::TabFocusReason);
        QTest::keyClick(slider, c.key);
        EXPECT_EQ(CommandsAfterStart(*window.player), std::vector<std::string>{c.seek});
        EXPECT_EQ(LabelText(*window, Id::PlayPosition), c.shown);
        EXPECT_EQ(slider->GetPos(), c.thumb);
        EXPECT_EQ(window->playMode(), "PAUSE") << "still playing";
    }
}

// Space plays and pauses wherever the focus is, except where it types or ticks; "[" and
// "]" set the range at the play position; Ctrl+O adds files from anywhere.
TEST_F(PlaybackKeys, ShortcutsOfAudioTools) {
    const struct {
        const char* what;
        int focus;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        std::vector<std::string> commands;
        const char *start, *end;
        std::size_t chooserRuns;
    } cases[] = {
        {"Space on a button", Id::Add, Qt::Key_Space, {}, {"Pause"}, "", "", 0},
        {"Space on the tab bar", Id::Tabs, Qt::Key_Space, {}, {"Pause"}, "", "", 0},
        {"Space on the slider", Id::PositionSlider, Qt::Key_Space, {}, {"Pause"}, "", "", 0},
        {"Space in an edit", Id::EndEdit, Qt::Key_Space, {}, {}, "", "00:01:00.000 ", 0},
        {"[", Id::PositionSlider, Qt::Key_BracketLeft, {}, {}, "00:00:12.000", "00:01:00.000", 0},
        {"]", Id::Add, Qt::Key_BracketRight, {}, {}, "00:00:00.000", "00:00:12.000", 0},
        {"Ctrl+O in an edit", Id::StartEdit, Qt::Key_O, Qt::ControlModifier, {}, "", "", 1},
        {"Ctrl+O on the slider", Id::PositionSlider, Qt::Key_O, Qt::ControlModifier, {}, "", "", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WindowUnderTest window(folder.path());
        PlayAt(window, 12);
        window.fileChooser.answer = {};
        const std::size_t choosersBefore = window.fileChooser.filters.size();
        QWidget* target = window->GetDlgItem(c.focus);
        target->setFocus(Qt::TabFocusReason);
        if (auto* edit = qobject_cast<QLineEdit*>(target))
            edit->end(false);
        QTest::keyClick(target, c.key, c.modifiers);
        EXPECT_EQ(CommandsAfterStart(*window.player), c.commands);
        if (*c.start) {
            EXPECT_EQ(EditText(*window, Id::StartEdit), c.start);
        }
        if (*c.end) {
            EXPECT_EQ(EditText(*window, Id::EndEdit), c.end);
        }
        EXPECT_EQ(window.fileChooser.filters.size() - choosersBefore, c.chooserRuns);
    }
}

// The slider, the tab bar and the current list row draw the picture buttons' focus mark:
// black dots over white, seen in any screenshot.
TEST_F(PlaybackKeys, FocusMarksShowOnTheSliderTheTabsAndTheListRows) {
    const auto newlyBlack = [](const QImage& before, const QImage& after) {
        int count = 0;
        for (int y = 0; y < after.height(); ++y) {
            for (int x = 0; x < after.width(); ++x) {
                count += after.pixel(x, y) == qRgb(0, 0, 0) && before.pixel(x, y) != qRgb(0, 0, 0);
            }
        }
        return count;
    };
    WindowUnderTest window(folder.path());
    PlayAt(window, 0);
    window->Item<QLineEdit>(Id::StartEdit)->setFocus(Qt::TabFocusReason);
    const QImage slider = Grab(window->GetDlgItem(Id::PositionSlider));
    const QImage tabs = Grab(window->GetDlgItem(Id::Tabs));
    window->GetDlgItem(Id::PositionSlider)->setFocus(Qt::TabFocusReason);
    EXPECT_GT(newlyBlack(slider, Grab(window->GetDlgItem(Id::PositionSlider))), 100);
    window->GetDlgItem(Id::Tabs)->setFocus(Qt::TabFocusReason);
    EXPECT_GT(newlyBlack(tabs, Grab(window->GetDlgItem(Id::Tabs))), 30);

    CCheckListCtrl* list = Rows(window, {"/a.mp3", "/b.mp3"});
    list->setCurrentCell(1, 0);
    window->GetDlgItem(Id::Tabs)->setFocus(Qt::TabFocusReason);
    const QImage rows = Grab(list->viewport());
    list->setFocus(Qt::TabFocusReason);
    EXPECT_GT(newlyBlack(rows, Grab(list->viewport())), 100);
}

// --- Tab order --------------------------------------------------------------------------

TEST(ReadingOrder, RowsFromTheTopThenLeftToRight) {
    const struct {
        const char* what;
        std::vector<QRect> places;
        std::vector<int> order;
    } cases[] = {
        {"one row, made right to left",
         {{200, 10, 20, 20}, {100, 12, 20, 20}, {0, 8, 20, 20}},
         {2, 1, 0}},
        {"a lower box left of a higher one in the same row",
         {{217, 187, 37, 19}, {26, 190, 189, 12}},
         {1, 0}},
        {"two rows", {{0, 50, 10, 10}, {50, 0, 10, 10}, {0, 0, 10, 10}}, {2, 1, 0}},
        {"a tall list beside a column of buttons",
         {{300, 25, 60, 27}, {300, 52, 60, 27}, {7, 14, 290, 147}, {7, 170, 100, 12}},
         {2, 0, 1, 3}},
        {"a column at one left edge goes down", {{5, 40, 10, 10}, {5, 0, 10, 60}}, {1, 0}},
        {"none", {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ReadingOrder(c.places), c.order);
    }
}

// Tab visits the shown tab's controls as they are laid out, and Shift+Tab the reverse;
// each stop on a picture button changes what the window shows. The round start buttons
// stand at the right end of the output folder's row, beside it.
TEST_F(Keyboard, TabFollowsTheLayoutOnEachTab) {
    const QString file = Q(Wav("tab.wav", 1));
    const struct {
        const char* what;
        int tab;
        bool withFile;
        std::vector<int> order;
        int rows = 0;
    } cases[] = {
        {"cut tab without a file",
         0,
         false,
         {Id::Tabs, Id::Add, Id::Cut, Id::About, Id::RemoveStretch, Id::StartEdit, Id::EndEdit,
          Id::StartPoint, Id::EndPoint, Id::PlaySelection, Id::OutputFolderBox, Id::Browse,
          Id::FindTarget, Id::Convert}},
        {"cut tab playing a file",
         0,
         true,
         {Id::Tabs, Id::PositionSlider, Id::Add, Id::Cut, Id::About, Id::RemoveStretch,
          Id::StartEdit, Id::EndEdit, Id::Play, Id::Stop, Id::StartPoint, Id::EndPoint,
          Id::PlaySelection, Id::OutputFolderBox, Id::Browse, Id::FindTarget, Id::Convert}},
        {"merge tab",
         1,
         false,
         {Id::Tabs, Id::FileList, Id::Add, Id::Cut, Id::DeleteAll, Id::Setting, Id::OutputFolderBox,
          Id::Browse, Id::FindTarget, Id::Merge}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WindowUnderTest window(folder.path());
        Show(window);
        if (c.withFile)
            AddFiles(window, {file});
        window->Item<QTabBar>(Id::Tabs)->setCurrentIndex(c.tab);
        for (int row = 0; row < c.rows; ++row) {
            window->Item<CCheckListCtrl>(Id::FileList)->AppendRow({"/r.mp3", kZero, kZero});
            window->Item<CCheckListCtrl>(Id::FileList)->setCurrentCell(0, 1);
        }
        window->GetDlgItem(c.order.front())->setFocus(Qt::TabFocusReason);

        std::vector<int> forward{ControlOf(*window, QApplication::focusWidget())};
        QImage previous = Grab(window.window.get());
        for (std::size_t i = 0; i < c.order.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            forward.push_back(ControlOf(*window, QApplication::focusWidget()));
            const QImage shown = Grab(window.window.get());
            if (qobject_cast<CControlButton*>(QApplication::focusWidget())) {
                EXPECT_NE(shown, previous) << "stop " << i + 1;
            }
            previous = shown;
        }
        std::vector<int> expected = c.order;
        expected.push_back(c.order.front());  // round again
        EXPECT_EQ(forward, expected);

        std::vector<int> backward{ControlOf(*window, QApplication::focusWidget())};
        for (std::size_t i = 0; i < c.order.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
            backward.push_back(ControlOf(*window, QApplication::focusWidget()));
        }
        std::reverse(expected.begin(), expected.end());
        EXPECT_EQ(backward, expected);
    }
}

// --- the merge list ---------------------------------------------------------------------

// Space checks or clears the current row whichever of its cells is current, and only it.
TEST_F(Keyboard, SpaceTogglesTheCurrentRowFromAnyCell) {
    for (int column = 0; column < 5; ++column) {
        SCOPED_TRACE(column);
        WindowUnderTest window(folder.path());
        Show(window);
        CCheckListCtrl* list = Rows(window, {"/a.mp3", "/b.mp3", "/c.mp3"});
        list->setFocus(Qt::TabFocusReason);
        list->setCurrentCell(1, column);
        QTest::keyClick(list, Qt::Key_Space);
        EXPECT_TRUE(list->GetCheck(0));
        EXPECT_FALSE(list->GetCheck(1));
        EXPECT_TRUE(list->GetCheck(2));
        QTest::keyClick(list, Qt::Key_Space);
        EXPECT_TRUE(list->GetCheck(1));
        EXPECT_EQ(list->GetRowCount(), 3);
    }
}

// Ctrl+Up and Ctrl+Down move the selected rows with everything of theirs; they stay
// selected, and a row at the end it moves towards stays.
TEST_F(Keyboard, CtrlUpAndDownMoveTheSelectedRows) {
    const struct {
        const char* what;
        std::vector<int> selected;
        Qt::Key key;
        QStringList order;
        std::vector<int> selectedAfter;
    } cases[] = {
        {"second up", {1}, Qt::Key_Up, {"b", "a", "c", "d"}, {0}},
        {"first up", {0}, Qt::Key_Up, {"a", "b", "c", "d"}, {0}},
        {"last down", {3}, Qt::Key_Down, {"a", "b", "c", "d"}, {3}},
        {"a block down", {1, 2}, Qt::Key_Down, {"a", "d", "b", "c"}, {2, 3}},
        {"two apart down", {0, 2}, Qt::Key_Down, {"b", "a", "d", "c"}, {1, 3}},
        {"two apart up", {1, 3}, Qt::Key_Up, {"b", "a", "d", "c"}, {0, 2}},
        {"none", {}, Qt::Key_Down, {"a", "b", "c", "d"}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WindowUnderTest window(folder.path());
        Show(window);
        CCheckListCtrl* list = Rows(window, {"a", "b", "c", "d"});
        list->SetCheck(2, false);  // "c" is unchecked and stays so wherever it goes
        list->setFocus(Qt::TabFocusReason);
        list->clearSelection();
        for (int row : c.selected)
            list->SetRowSelected(row, true);
        QTest::keyClick(list, c.key, Qt::ControlModifier);

        EXPECT_EQ(Column(*list, 0), c.order);
        EXPECT_EQ(SelectedRows(*list), c.selectedAfter);
        for (int row = 0; row < list->GetRowCount(); ++row) {
            const QString name = list->GetItemText(row, 0);
            EXPECT_EQ(list->GetCheck(row), name != "c") << row;
            EXPECT_EQ(list->GetItemToolTip(row, 0), "tip " + name) << row;
        }
    }
}

// A row dragged with the mouse goes before the row it is let go on (upper half) or after
// it (lower half), or to the end below the rows.
TEST_F(Keyboard, DraggingARowMovesItWhereItIsLetGo) {
    enum Half { Upper, Lower, BelowTheRows };
    const struct {
        const char* what;
        int dragged;
        int target;
        Half half;
        QStringList order;
    } cases[] = {
        {"first after the third", 0, 2, Lower, {"b", "c", "a", "d"}},
        {"first before the third", 0, 2, Upper, {"b", "a", "c", "d"}},
        {"last to the top", 3, 0, Upper, {"d", "a", "b", "c"}},
        {"second below the rows", 1, 3, BelowTheRows, {"a", "c", "d", "b"}},
        {"onto itself", 2, 2, Upper, {"a", "b", "c", "d"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WindowUnderTest window(folder.path());
        Show(window);
        CCheckListCtrl* list = Rows(window, {"a", "b", "c", "d"});
        QWidget* area = list->viewport();
        const auto cellCentre = [&](int row) {
            return list->visualRect(list->model()->index(row, 1)).center();
        };
        const QRect target = list->visualRect(list->model()->index(c.target, 1));
        QPoint drop = target.center() + QPoint(0, target.height() / 4);
        if (c.half == Upper)
            drop = target.center() - QPoint(0, target.height() / 4);
        if (c.half == BelowTheRows)
            drop = QPoint(target.center().x(), target.bottom() + 2 * target.height());

        const QPoint start = cellCentre(c.dragged);
        QTest::mousePress(area, Qt::LeftButton, Qt::NoModifier, start);
        QTest::mouseMove(area, start + QPoint(QApplication::startDragDistance() + 2, 0));
        QTest::mouseMove(area, drop);
        EXPECT_GE(list->DropGap(), 0);
        const QImage dragging = Grab(area);
        QTest::mouseRelease(area, Qt::LeftButton, Qt::NoModifier, drop);

        EXPECT_EQ(Column(*list, 0), c.order);
        const int moved = int(c.order.indexOf(QStringLiteral("abcd").mid(c.dragged, 1)));
        EXPECT_EQ(SelectedRows(*list), std::vector<int>{moved});
        EXPECT_EQ(list->DropGap(), -1);
        EXPECT_NE(Grab(area), dragging);  // the drop line is gone
        for (int row = 0; row < 4; ++row)
            EXPECT_TRUE(list->GetCheck(row)) << row;
    }
}

// A press and a small move stay a click: nothing moves, the row is selected.
TEST_F(Keyboard, AClickOnARowMovesNothing) {
    WindowUnderTest window(folder.path());
    Show(window);
    CCheckListCtrl* list = Rows(window, {"a", "b", "c"});
    const QPoint spot = list->visualRect(list->model()->index(2, 2)).center();
    QTest::mousePress(list->viewport(), Qt::LeftButton, Qt::NoModifier, spot);
    QTest::mouseMove(list->viewport(), spot + QPoint(1, 0));
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, Qt::NoModifier, spot + QPoint(1, 0));
    EXPECT_EQ(Column(*list, 0), (QStringList{"a", "b", "c"}));
    EXPECT_EQ(SelectedRows(*list), std::vector<int>{2});
}

}  // namespace
}  // namespace tolvane::testing
