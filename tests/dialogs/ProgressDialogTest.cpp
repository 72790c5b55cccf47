#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "CAVConvertDlg.h"
#include "CLabel.h"
#include "DialogFolder.h"
#include "DialogIds.h"
#include "DialogTemplate.h"
#include "engine/job/MediaJob.h"

namespace tolvane {
namespace {

using testing::DialogFolder;
namespace Id = ProgressDialogId;

class ProgressDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_.WriteEnglish();
        folder_.WriteSettings("[LANGUAGE]\nfile=english.ini\n[DIR]\nopen=1\n");
        dialog_.SetJob(&job_);
    }
    void TearDown() override { dialog_.hide(); }

    template <typename Widget>
    Widget* Item(int id) {
        auto* widget = qobject_cast<Widget*>(dialog_.GetDlgItem(id));
        EXPECT_NE(widget, nullptr) << "control " << id;
        return widget;
    }
    QString LabelText(int id) { return Item<QLabel>(id)->text(); }
    bool OpenFolderChecked() { return Item<QCheckBox>(Id::OpenFolder)->isChecked(); }
    // Clicks the open-folder box on its indicator, as a user would.
    void ClickOpenFolder() {
        auto* box = Item<QCheckBox>(Id::OpenFolder);
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    }

    DialogFolder folder_;
    MediaJob job_;
    CAVConvertDlg dialog_{nullptr, folder_.path()};
};

TEST_F(ProgressDialogTest, TextsComeFromTheLanguageFileInForce) {
    dialog_.show();
    EXPECT_EQ(dialog_.windowTitle(), "Tolvane");
    EXPECT_EQ(LabelText(Id::RunningFileCaption), "Current file:");
    EXPECT_EQ(LabelText(Id::CountCaption), "Total:");
    EXPECT_EQ(Item<QPushButton>(Id::Cancel)->text(), "Stop");
    EXPECT_EQ(Item<QPushButton>(Id::Cancel)->toolTip(), "Stop");
    EXPECT_EQ(Item<QCheckBox>(Id::OpenFolder)->text(), QStringLiteral("完成后打开文件夹"));
}

TEST_F(ProgressDialogTest, MissingLanguageFileLeavesTextsEmpty) {
    folder_.WriteSettings("[LANGUAGE]\nfile=nosuch.ini\n");
    dialog_.show();
    EXPECT_EQ(dialog_.windowTitle(), "");
    EXPECT_EQ(LabelText(Id::RunningFileCaption), "");
    EXPECT_EQ(Item<QPushButton>(Id::Cancel)->text(), "");
    EXPECT_TRUE(OpenFolderChecked()) << "\"open\" defaults to 1";
}

TEST_F(ProgressDialogTest, PicksUpALanguageSwitchBetweenShowings) {
    dialog_.show();
    dialog_.CloseDialog();
    folder_.WriteLanguage("german.ini",
                          "[APPLICATION]\nname=Tolvane DE\n[JIEMIAN]\ndqwj=Aktuelle Datei:\n"
                          "zgwj=Gesamt:\ntz=Anhalten\n");
    folder_.WriteSettings("[LANGUAGE]\nfile=german.ini\n");
    dialog_.show();
    EXPECT_EQ(dialog_.windowTitle(), "Tolvane DE");
    EXPECT_EQ(LabelText(Id::RunningFileCaption), "Aktuelle Datei:");
    EXPECT_EQ(LabelText(Id::CountCaption), "Gesamt:");
    EXPECT_EQ(Item<QPushButton>(Id::Cancel)->text(), "Anhalten");
    EXPECT_EQ(Item<QPushButton>(Id::Cancel)->toolTip(), "Anhalten");
}

TEST_F(ProgressDialogTest, HasEveryControlOfItsTemplate) {
    dialog_.show();
    for (const int id :
         {Id::RunningFileCaption, Id::RunningFileText, Id::RunningFileBar, Id::CountCaption,
          Id::CountText, Id::OverallBar, Id::OpenFolder, Id::Cancel}) {
        ASSERT_NE(dialog_.GetDlgItem(id), nullptr) << id;
        EXPECT_TRUE(dialog_.GetDlgItem(id)->isVisible()) << id;
    }
    for (const int id : {Id::Pause, Id::ShowPreview, Id::Frame}) {
        ASSERT_NE(dialog_.GetDlgItem(id), nullptr) << id;
        EXPECT_FALSE(dialog_.GetDlgItem(id)->isVisible()) << id;
    }
    EXPECT_EQ(dialog_.GetDlgItem(999), nullptr);
    EXPECT_NE(qobject_cast<CLabel*>(dialog_.GetDlgItem(Id::RunningFileText)), nullptr);
    EXPECT_NE(qobject_cast<CLabel*>(dialog_.GetDlgItem(Id::CountText)), nullptr);
    EXPECT_NE(qobject_cast<QGroupBox*>(dialog_.GetDlgItem(Id::Frame)), nullptr);
    EXPECT_EQ(Item<QPushButton>(Id::Pause)->text(), "Pause");
    EXPECT_TRUE(Item<QCheckBox>(Id::ShowPreview)->isChecked());
    for (const int id : {Id::RunningFileBar, Id::OverallBar}) {
        EXPECT_EQ(Item<QProgressBar>(id)->minimum(), 0);
        EXPECT_EQ(Item<QProgressBar>(id)->maximum(), 100);
    }

    const DialogUnits scale(dialog_.font());
    EXPECT_EQ(dialog_.size(), QSize(scale.ToPixelsX(319), scale.ToPixelsY(90)));
    EXPECT_EQ(dialog_.GetDlgItem(Id::Cancel)->objectName(), "1000");
}

TEST_F(ProgressDialogTest, JobTimerSettersReachTextsAndBars) {
    dialog_.show();
    dialog_.SetRunningFileText("a.mp3   42% done");
    dialog_.SetCountText("1 of 3 files");
    dialog_.SetRunningFileProgress(42);
    dialog_.SetOverallProgress(33);
    EXPECT_EQ(LabelText(Id::RunningFileText), "a.mp3   42% done");
    EXPECT_EQ(LabelText(Id::CountText), "1 of 3 files");
    EXPECT_EQ(Item<QProgressBar>(Id::RunningFileBar)->value(), 42);
    EXPECT_EQ(Item<QProgressBar>(Id::OverallBar)->value(), 33);
}

TEST_F(ProgressDialogTest, EscAndEnterDoNothing) {
    QSignalSpy stops(&dialog_, &CAVConvertDlg::jobTimerStopRequested);
    dialog_.show();
    auto* cancel = Item<QPushButton>(Id::Cancel);
    cancel->setFocus();
    for (QWidget* target : {static_cast<QWidget*>(&dialog_), static_cast<QWidget*>(cancel),
                            dialog_.GetDlgItem(Id::OpenFolder)}) {
        for (const auto key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
            QTest::keyClick(target, key);
            EXPECT_TRUE(dialog_.isVisible()) << "key " << key;
        }
    }
    EXPECT_FALSE(job_.cancelRequested.load());
    EXPECT_EQ(stops.count(), 0);
    EXPECT_EQ(dialog_.endReason(), CAVConvertDlg::EndReason::None);
}

TEST_F(ProgressDialogTest, CancelStopsTheJobAndCallsTheOwner) {
    QSignalSpy stops(&dialog_, &CAVConvertDlg::jobTimerStopRequested);
    dialog_.show();
    QTest::mouseClick(Item<QPushButton>(Id::Cancel), Qt::LeftButton);
    EXPECT_TRUE(job_.cancelRequested.load());
    EXPECT_EQ(stops.count(), 1);
    EXPECT_FALSE(dialog_.isVisible());
    EXPECT_EQ(dialog_.endReason(), CAVConvertDlg::EndReason::Cancelled);
    EXPECT_TRUE(dialog_.closedByUser());
    EXPECT_EQ(dialog_.result(), QDialog::Rejected);
}

TEST_F(ProgressDialogTest, TitleBarCloseStoresTheBoxAndStopsTheJob) {
    QSignalSpy stops(&dialog_, &CAVConvertDlg::jobTimerStopRequested);
    dialog_.show();
    ClickOpenFolder();
    EXPECT_TRUE(dialog_.close());
    EXPECT_FALSE(dialog_.isVisible());
    EXPECT_EQ(folder_.Setting("DIR", "open"), "0");
    EXPECT_FALSE(dialog_.openFolderState());
    EXPECT_TRUE(job_.cancelRequested.load());
    EXPECT_EQ(stops.count(), 1);
    EXPECT_EQ(dialog_.endReason(), CAVConvertDlg::EndReason::ClosedByUser);
    EXPECT_TRUE(dialog_.closedByUser());
}

TEST_F(ProgressDialogTest, TitleBarCloseWithTheBoxTickedStoresOne) {
    folder_.WriteSettings("[LANGUAGE]\nfile=english.ini\n[DIR]\nopen=0\n");
    dialog_.show();
    ASSERT_FALSE(OpenFolderChecked());
    ClickOpenFolder();
    dialog_.close();
    EXPECT_EQ(folder_.Setting("DIR", "open"), "1");
    EXPECT_TRUE(dialog_.openFolderState());
}

TEST_F(ProgressDialogTest, UncheckedBoxIsRememberedForTheNextShowing) {
    QSignalSpy changes(&dialog_, &CAVConvertDlg::openFolderWhenDoneChanged);
    dialog_.show();
    ASSERT_TRUE(OpenFolderChecked());
    ClickOpenFolder();
    ASSERT_EQ(changes.count(), 1);
    EXPECT_FALSE(changes.at(0).at(0).toBool()) << "the owner's flag follows the click at once";

    dialog_.CloseDialog();  // the job timer after the result
    EXPECT_FALSE(dialog_.isVisible());
    EXPECT_EQ(folder_.Setting("DIR", "open"), "0");
    EXPECT_FALSE(dialog_.closedByUser());
    EXPECT_TRUE(job_.cancelRequested.load());

    dialog_.show();
    EXPECT_FALSE(OpenFolderChecked());
    EXPECT_EQ(changes.count(), 1) << "setting the box from setting.ini is no click";
}

TEST_F(ProgressDialogTest, OpenFolderIsTickedOnlyForExactlyOne) {
    const std::pair<const char*, bool> cases[] = {{"1", true},    {"0", false},  {"", false},
                                                  {"yes", false}, {"11", false}, {"true", false}};
    for (const auto& [value, ticked] : cases) {
        folder_.WriteSettings(std::string("[LANGUAGE]\nfile=english.ini\n[DIR]\nopen=") + value +
                              "\n");
        dialog_.show();
        EXPECT_EQ(OpenFolderChecked(), ticked) << "open=" << value;
        dialog_.hide();
    }
}

TEST_F(ProgressDialogTest, ExecEndsWhenTheJobTimerCloses) {
    QSignalSpy stops(&dialog_, &CAVConvertDlg::jobTimerStopRequested);
    QTimer::singleShot(0, &dialog_, [this] {
        dialog_.SetRunningFileText("x");
        dialog_.CloseDialog();
    });
    EXPECT_EQ(dialog_.exec(), QDialog::Accepted);
    EXPECT_EQ(stops.count(), 1);
    EXPECT_EQ(folder_.Setting("DIR", "open"), "1");
    EXPECT_TRUE(dialog_.openFolderState());
}

TEST_F(ProgressDialogTest, CancelWithoutAJobStillEndsTheDialog) {
    dialog_.SetJob(nullptr);
    dialog_.show();
    QTest::mouseClick(Item<QPushButton>(Id::Cancel), Qt::LeftButton);
    EXPECT_FALSE(dialog_.isVisible());
}

}  // namespace
}  // namespace tolvane
