#include <gtest/gtest.h>

#include <QHeaderView>
#include <QImage>
#include <QTest>
#include <memory>

#include "CCheckHeadCtrl.h"
#include "CCheckListCtrl.h"

namespace tolvane {
namespace {

constexpr int kListId = 1114;
using Head = CCheckHeadCtrl;

// The file list as the main window sets it up: six columns, then the header box.
class CheckListCtrlTest : public ::testing::Test {
  protected:
    void SetUp() override {
        list_ = std::make_unique<CCheckListCtrl>(kListId);
        list_->resize(600, 300);
        list_->InsertColumn(0, QStringLiteral("File"), 250);
        list_->InsertColumn(1, QStringLiteral("Start"), 100);
        list_->InsertColumn(2, QStringLiteral("End"), 100);
        list_->InsertColumn(3, QStringLiteral("Format"), 0);
        list_->InsertColumn(4, QStringLiteral("Status"), 100);
        list_->InsertColumn(5, QStringLiteral("Duration"), 0);
        list_->show();
    }

    void Init() { ASSERT_TRUE(list_->InitHeaderCheck()); }

    int Append(const QString& path, bool checked = true) {
        return list_->AppendRow({path, "00:00:00.000", "00:00:01.000", "MP3", "Ready", "1000"},
                                checked);
    }

    void ClickHeader(int column) {
        QHeaderView* header = list_->horizontalHeader();
        const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    }

    std::unique_ptr<CCheckListCtrl> list_;
};

TEST_F(CheckListCtrlTest, ReportViewSetUp) {
    EXPECT_EQ(list_->controlId(), kListId);
    EXPECT_EQ(list_->objectName(), QStringLiteral("1114"));
    EXPECT_TRUE(list_->showGrid());
    EXPECT_EQ(list_->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(list_->columnCount(), 6);
    EXPECT_EQ(list_->GetColumnWidth(0), 250);
    EXPECT_EQ(list_->GetColumnWidth(3), 0);
    EXPECT_EQ(list_->GetColumnWidth(5), 0);
    EXPECT_EQ(list_->GetColumnHeaderText(5), QStringLiteral("Duration"));
}

TEST_F(CheckListCtrlTest, PlainListBeforeInit) {
    Append("a.mp3");
    EXPECT_FALSE(list_->IsHeaderCheckInitialised());
    EXPECT_EQ(list_->GetHeaderImage(), Head::kImageNone);
    ClickHeader(0);
    EXPECT_EQ(list_->GetHeaderImage(), Head::kImageNone);
    EXPECT_EQ(list_->GetCheckState(0), CCheckListCtrl::kChecked);
}

TEST_F(CheckListCtrlTest, InitShowsTheEmptyBoxOnce) {
    Init();
    EXPECT_TRUE(list_->IsHeaderCheckInitialised());
    EXPECT_EQ(list_->GetHeaderImage(), Head::kImageUnchecked);
    EXPECT_FALSE(list_->model()->headerData(0, Qt::Horizontal, Qt::DecorationRole).isNull());
    Append("a.mp3");
    EXPECT_EQ(list_->GetHeaderImage(), Head::kImageChecked);
    // A second call changes nothing.
    EXPECT_TRUE(list_->InitHeaderCheck());
    EXPECT_EQ(list_->GetHeaderImage(), Head::kImageChecked);
}

TEST_F(CheckListCtrlTest, HeaderClickChecksAndClearsAllRows) {
    Init();
    Append("a.mp3");
    Append("b.mp3", false);
    Append("c.mp3");
    ASSERT_EQ(list_->GetHeaderImage(), Head::kImageUnchecked);
    ClickHeader(0);
    EXPECT_EQ(list_->GetHeaderImage(), Head::kImageChecked);
    for (int row = 0; row < 3; ++row)
        EXPECT_TRUE(list_->GetCheck(row)) << row;
    ClickHeader(0);
    EXPECT_EQ(list_->GetHeaderImage(), Head::kImageUnchecked);
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(list_->GetCheckState(row), CCheckListCtrl::kUnchecked) << row;
}

TEST_F(CheckListCtrlTest, HeaderFollowsTheRows) {
    Init();
    Append("a.mp3");
    Append("b.mp3");
    EXPECT_EQ(list_->GetHeaderImage(), Head::kImageChecked);
    list_->SetCheck(1, false);
    EXPECT_EQ(list_->GetHeaderImage(), Head::kImageUnchecked);
    list_->SetCheck(1, true);
    EXPECT_EQ(list_->GetHeaderImage(), Head::kImageChecked);
}

TEST_F(CheckListCtrlTest, ClickingARowBoxUpdatesTheHeader) {
    Init();
    Append("a.mp3");
    Append("b.mp3");
    QTableWidgetItem* cell = list_->item(1, 0);
    cell->setCheckState(Qt::Unchecked);  // what the row box's own click does
    EXPECT_EQ(list_->GetHeaderImage(), Head::kImageUnchecked);
}

TEST_F(CheckListCtrlTest, RowsWithoutABoxDoNotCount) {
    Init();
    Append("a.mp3");
    Append("b.mp3", false);
    list_->RemoveCheckBox(1);
    EXPECT_EQ(list_->GetCheckState(1), CCheckListCtrl::kNoCheckBox);
    list_->SetCheck(0, true);
    list_->SelectAndFocusRow(0);  // a state change re-evaluates the header
    EXPECT_EQ(list_->GetHeaderImage(), Head::kImageChecked);
}

TEST_F(CheckListCtrlTest, HeaderClickOnAnEmptyListJustToggles) {
    Init();
    ClickHeader(0);
    EXPECT_EQ(list_->GetHeaderImage(), Head::kImageChecked);
    ClickHeader(0);
    EXPECT_EQ(list_->GetHeaderImage(), Head::kImageUnchecked);
}

TEST_F(CheckListCtrlTest, OtherHeadersChangeNothing) {
    Init();
    Append("a.mp3");
    Append("b.mp3", false);
    ClickHeader(1);
    ClickHeader(4);
    EXPECT_EQ(list_->GetHeaderImage(), Head::kImageUnchecked);
    EXPECT_TRUE(list_->GetCheck(0));
    EXPECT_FALSE(list_->GetCheck(1));
    EXPECT_EQ(list_->GetFirstSelectedRow(), -1);
}

TEST_F(CheckListCtrlTest, DeletingKeepsTheHeaderUntilTheNextStateChange) {
    Init();
    Append("a.mp3");
    Append("b.mp3", false);
    ASSERT_EQ(list_->GetHeaderImage(), Head::kImageUnchecked);
    list_->DeleteRow(1);
    EXPECT_EQ(list_->GetHeaderImage(), Head::kImageUnchecked);
    list_->SelectAndFocusRow(0);
    EXPECT_EQ(list_->GetHeaderImage(), Head::kImageChecked);
    list_->DeleteAllRows();
    EXPECT_EQ(list_->GetRowCount(), 0);
    EXPECT_EQ(list_->GetHeaderImage(), Head::kImageChecked);
}

TEST_F(CheckListCtrlTest, TextChangesAreNotStateChanges) {
    Init();
    Append("a.mp3");
    Append("b.mp3", false);
    list_->DeleteRow(1);
    list_->SetItemText(0, 4, QStringLiteral("Done"));
    EXPECT_EQ(list_->GetHeaderImage(), Head::kImageUnchecked);
}

TEST_F(CheckListCtrlTest, RowOperations) {
    Init();
    EXPECT_EQ(Append("a.mp3"), 0);
    EXPECT_EQ(Append("b.mp3"), 1);
    EXPECT_EQ(Append("c.mp3"), 2);
    EXPECT_EQ(list_->GetRowCount(), 3);
    EXPECT_EQ(list_->GetItemText(1, 0), QStringLiteral("b.mp3"));
    EXPECT_EQ(list_->GetItemText(1, 5), QStringLiteral("1000"));
    list_->SetItemText(1, 4, QStringLiteral("Done"));
    EXPECT_EQ(list_->GetItemText(1, 4), QStringLiteral("Done"));
    EXPECT_EQ(list_->GetItemText(7, 0), QString());

    EXPECT_EQ(list_->GetFirstSelectedRow(), -1);
    list_->SelectAndFocusRow(2);
    list_->SetRowSelected(1, true);
    EXPECT_EQ(list_->GetFirstSelectedRow(), 1);
    EXPECT_EQ(list_->currentRow(), 2);
    list_->SetRowSelected(1, false);
    EXPECT_EQ(list_->GetFirstSelectedRow(), 2);

    list_->DeleteRow(0);
    EXPECT_EQ(list_->GetRowCount(), 2);
    EXPECT_EQ(list_->GetItemText(0, 0), QStringLiteral("b.mp3"));
    list_->DeleteRow(5);  // out of range: nothing
    EXPECT_EQ(list_->GetRowCount(), 2);
}

TEST_F(CheckListCtrlTest, HeaderTextChangeKeepsTheBox) {
    Init();
    list_->SetColumnHeaderText(0, QStringLiteral("Datei"));
    EXPECT_EQ(list_->GetColumnHeaderText(0), QStringLiteral("Datei"));
    EXPECT_FALSE(list_->model()->headerData(0, Qt::Horizontal, Qt::DecorationRole).isNull());
}

TEST_F(CheckListCtrlTest, BackgroundColour) {
    list_->SetBkColor(QColor(241, 250, 233));
    EXPECT_EQ(list_->GetBkColor(), QColor(241, 250, 233));
}

TEST(CheckListCtrlHeaderImages, ThreeLooksFromTheStrip) {
    CCheckHeadCtrl header;
    header.SetImageStrip(QPixmap(QStringLiteral(":/bitmaps/292.png")));
    auto opaquePixels = [](const QPixmap& picture) {
        const QImage image = picture.toImage().convertToFormat(QImage::Format_ARGB32);
        int count = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QRgb pixel = image.pixel(x, y);
                EXPECT_FALSE(qAlpha(pixel) != 0 && (pixel & 0xFFFFFFu) == 0xFF00FFu)
                    << "magenta left at " << x << ", " << y;
                if (qAlpha(pixel) != 0)
                    ++count;
            }
        }
        return count;
    };
    for (int image = 0; image < 3; ++image)
        EXPECT_EQ(header.ImageAt(image).size(), QSize(16, 16)) << image;
    EXPECT_EQ(opaquePixels(header.ImageAt(Head::kImageNone)), 0);
    EXPECT_GT(opaquePixels(header.ImageAt(Head::kImageUnchecked)), 40);
    EXPECT_GT(opaquePixels(header.ImageAt(Head::kImageChecked)), 40);
    EXPECT_NE(header.ImageAt(Head::kImageUnchecked).toImage(),
              header.ImageAt(Head::kImageChecked).toImage());
}

TEST(CheckListCtrlHeaderImages, MissingStripStillWorksBlank) {
    CCheckListCtrl list(kListId);
    list.InsertColumn(0, QStringLiteral("File"), 250);
    EXPECT_TRUE(list.InitHeaderCheck(QPixmap()));
    EXPECT_EQ(list.GetHeaderImage(), Head::kImageUnchecked);
}

}  // namespace
}  // namespace tolvane
