#include <gtest/gtest.h>

#include <QComboBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <fstream>
#include <iterator>
#include <string>

#include "CSettings.h"
#include "DialogFolder.h"
#include "DialogIds.h"
#include "DialogTemplate.h"
#include "engine/job/OutputProfile.h"

namespace tolvane {
namespace {

using testing::DialogFolder;
namespace Id = SettingsDialogId;

QStringList Entries(QComboBox* list) {
    QStringList entries;
    for (int i = 0; i < list->count(); ++i)
        entries << list->itemText(i);
    return entries;
}

class SettingsDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_.WriteEnglish();
        folder_.WriteSettings("[LANGUAGE]\nfile=english.ini\n");
    }

    // A fresh dialog, shown, as the Setting button makes one.
    std::unique_ptr<CSettings> Open() {
        auto dialog = std::make_unique<CSettings>(profile_, nullptr, folder_.path());
        dialog->show();
        return dialog;
    }
    static void Choose(CSettings& dialog, int listId, const QString& text) {
        QComboBox* list = dialog.List(listId);
        ASSERT_NE(list, nullptr);
        const int index = list->findText(text);
        ASSERT_GE(index, 0) << text.toStdString();
        list->setCurrentIndex(index);
    }
    static void Click(CSettings& dialog, int buttonId) {
        QTest::mouseClick(dialog.GetDlgItem(buttonId), Qt::LeftButton);
    }

    DialogFolder folder_;
    OutputProfile profile_;
};

TEST_F(SettingsDialogTest, TextsComeFromTheLanguageFileInForce) {
    auto dialog = Open();
    const auto label = [&](int id) {
        return qobject_cast<QLabel*>(dialog->GetDlgItem(id))->text();
    };
    EXPECT_EQ(dialog->windowTitle(), "Settings");
    EXPECT_EQ(label(Id::FormatLabel), "Output format");
    EXPECT_EQ(qobject_cast<QGroupBox*>(dialog->GetDlgItem(Id::AudioFrame))->title(),
              "Audio options");
    EXPECT_EQ(label(Id::EncoderLabel), "Encoder");
    EXPECT_EQ(label(Id::BitRateLabel), "Quality");
    EXPECT_EQ(label(Id::SampleRateLabel), "Sample rate");
    EXPECT_EQ(label(Id::ChannelsLabel), "Channels");
    EXPECT_EQ(qobject_cast<QPushButton*>(dialog->GetDlgItem(Id::Ok))->text(), "OK");
    EXPECT_EQ(qobject_cast<QPushButton*>(dialog->GetDlgItem(Id::Cancel))->text(), "Cancel");
}

TEST_F(SettingsDialogTest, PicksUpALanguageSwitchBetweenShowings) {
    Open()->reject();
    folder_.WriteLanguage("french.ini", "[JIEMIAN]\ncssz=Paramètres\nqd=Valider\ncyl=Fréquence\n");
    folder_.WriteSettings("[LANGUAGE]\nfile=french.ini\n");
    auto dialog = Open();
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Paramètres"));
    EXPECT_EQ(qobject_cast<QPushButton*>(dialog->GetDlgItem(Id::Ok))->text(), "Valider");
    EXPECT_EQ(qobject_cast<QLabel*>(dialog->GetDlgItem(Id::SampleRateLabel))->text(),
              QStringLiteral("Fréquence"));
    EXPECT_EQ(qobject_cast<QLabel*>(dialog->GetDlgItem(Id::EncoderLabel))->text(), "")
        << "a key the file lacks shows empty";
}

TEST_F(SettingsDialogTest, ListsHoldTheMp3ChoicesInOrderOnceShown) {
    auto dialog = Open();
    EXPECT_EQ(Entries(dialog->List(Id::Encoder)), (QStringList{"MP3", "Copy (no re-encoding)"}));
    EXPECT_EQ(Entries(dialog->List(Id::SampleRate)),
              (QStringList{"44100 Hz", "48000 Hz", "22050 Hz", "32000 Hz"}));
    EXPECT_EQ(Entries(dialog->List(Id::BitRate)),
              (QStringList{"32 kbps", "64 kbps", "96 kbps", "128 kbps", "160 kbps", "192 kbps",
                           "256 kbps", "320 kbps"}));
    EXPECT_EQ(Entries(dialog->List(Id::Channels)),
              (QStringList{"1 Channel Mono", "2 Channel Stereo"}));
    EXPECT_EQ(dialog->List(Id::Encoder)->currentText(), "MP3");
    EXPECT_EQ(dialog->List(Id::SampleRate)->currentText(), "44100 Hz");
    EXPECT_EQ(dialog->List(Id::BitRate)->currentText(), "128 kbps");
    EXPECT_EQ(dialog->List(Id::Channels)->currentText(), "2 Channel Stereo");
}

TEST_F(SettingsDialogTest, TemplateSizeAndUnusedControlsHiddenEmptyDisabled) {
    auto dialog = Open();
    for (const int id : {Id::UnusedList1, Id::UnusedList2, Id::UnusedList3, Id::UnusedList4}) {
        ASSERT_NE(dialog->List(id), nullptr) << id;
        EXPECT_FALSE(dialog->List(id)->isVisible()) << id;
        EXPECT_FALSE(dialog->List(id)->isEnabled()) << id;
        EXPECT_EQ(dialog->List(id)->count(), 0) << id;
    }
    ASSERT_NE(dialog->GetDlgItem(Id::Default), nullptr);
    EXPECT_FALSE(dialog->GetDlgItem(Id::Default)->isVisible());
    for (const int id : {Id::Encoder, Id::BitRate, Id::SampleRate, Id::Channels, Id::Ok, Id::Cancel,
                         Id::FormatPreview, Id::AudioFrame}) {
        EXPECT_TRUE(dialog->GetDlgItem(id)->isVisible()) << id;
    }
    const DialogUnits scale(dialog->font());
    EXPECT_EQ(dialog->size(), QSize(scale.ToPixelsX(177), scale.ToPixelsY(177)));
}

TEST_F(SettingsDialogTest, FormatPreviewIsADisabledButtonInRed) {
    auto dialog = Open();
    auto* preview = qobject_cast<QPushButton*>(dialog->GetDlgItem(Id::FormatPreview));
    ASSERT_NE(preview, nullptr);
    EXPECT_EQ(preview->text(), "MP3 - MPEG Layer-3 Audio(*.MP3)");
    EXPECT_FALSE(preview->isEnabled());

    // The drawn text is red, not only the palette entry.
    const QImage image = preview->grab().toImage();
    int redPixels = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            redPixels += c.red() > 180 && c.green() < 90 && c.blue() < 90;
        }
    }
    EXPECT_GT(redPixels, 10);
}

TEST_F(SettingsDialogTest, OkWritesTheChoiceIntoTheProfile) {
    auto dialog = Open();
    Choose(*dialog, Id::SampleRate, "22050 Hz");
    Choose(*dialog, Id::BitRate, "160 kbps");
    Choose(*dialog, Id::Channels, "1 Channel Mono");
    Click(*dialog, Id::Ok);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(profile_.bitRate, 160000);
    EXPECT_EQ(profile_.sampleRate, 22050);
    EXPECT_EQ(profile_.channels, 1);
    EXPECT_EQ(profile_.encoderName, "MP3");
}

// What the dialog shows is what the next merge uses: it opens on the values in force,
// and OK without a change keeps them.
TEST_F(SettingsDialogTest, OpensWithTheValuesInForceAndOkKeepsThem) {
    const struct {
        int bitRate, sampleRate, channels;
        const char *bitText, *rateText, *channelText;
    } cases[] = {
        {128000, 44100, 2, "128 kbps", "44100 Hz", "2 Channel Stereo"},
        {32000, 48000, 1, "32 kbps", "48000 Hz", "1 Channel Mono"},
        {160000, 22050, 1, "160 kbps", "22050 Hz", "1 Channel Mono"},
        {320000, 32000, 2, "320 kbps", "32000 Hz", "2 Channel Stereo"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bitText);
        profile_.bitRate = c.bitRate;
        profile_.sampleRate = c.sampleRate;
        profile_.channels = c.channels;
        auto dialog = Open();
        EXPECT_EQ(dialog->List(Id::BitRate)->currentText(), c.bitText);
        EXPECT_EQ(dialog->List(Id::SampleRate)->currentText(), c.rateText);
        EXPECT_EQ(dialog->List(Id::Channels)->currentText(), c.channelText);
        EXPECT_FALSE(dialog->GetDlgItem(Id::BitRateNote)->isVisible());
        Click(*dialog, Id::Ok);
        EXPECT_EQ(profile_.bitRate, c.bitRate);
        EXPECT_EQ(profile_.sampleRate, c.sampleRate);
        EXPECT_EQ(profile_.channels, c.channels);
    }
}

// Each sample rate offers the bit rates MP3 has there; a choice it lacks moves to the
// nearest one, and the dialog says so until the choice fits again.
TEST_F(SettingsDialogTest, BitRatesFollowTheSampleRate) {
    auto dialog = Open();
    const QStringList low{"32 kbps", "64 kbps", "96 kbps", "128 kbps", "160 kbps"};
    const QStringList all{"32 kbps",  "64 kbps",  "96 kbps",  "128 kbps",
                          "160 kbps", "192 kbps", "256 kbps", "320 kbps"};
    Choose(*dialog, Id::BitRate, "320 kbps");
    Choose(*dialog, Id::SampleRate, "22050 Hz");
    EXPECT_EQ(Entries(dialog->List(Id::BitRate)), low);
    EXPECT_EQ(dialog->List(Id::BitRate)->currentText(), "160 kbps");
    auto* note = qobject_cast<QLabel*>(dialog->GetDlgItem(Id::BitRateNote));
    EXPECT_TRUE(note->isVisible());
    EXPECT_EQ(note->text(), "MP3 at 22050 Hz has no 320 kbps; 160 kbps will be used.");
    EXPECT_GE(dialog->height(), note->geometry().bottom()) << "the note is inside the dialog";

    Choose(*dialog, Id::SampleRate, "48000 Hz");
    EXPECT_EQ(Entries(dialog->List(Id::BitRate)), all);
    EXPECT_EQ(dialog->List(Id::BitRate)->currentText(), "160 kbps");
    EXPECT_FALSE(note->isVisible());
    Click(*dialog, Id::Ok);
    EXPECT_EQ(profile_.bitRate, 160000);
    EXPECT_EQ(profile_.sampleRate, 48000);
}

TEST_F(SettingsDialogTest, CancelLeavesTheProfile) {
    profile_.bitRate = 64000;
    profile_.sampleRate = 32000;
    profile_.channels = 1;
    profile_.encoderName = "other";
    auto dialog = Open();
    Choose(*dialog, Id::BitRate, "320 kbps");
    Choose(*dialog, Id::SampleRate, "22050 Hz");
    Click(*dialog, Id::Cancel);
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(profile_.bitRate, 64000);
    EXPECT_EQ(profile_.sampleRate, 32000);
    EXPECT_EQ(profile_.channels, 1);
    EXPECT_EQ(profile_.encoderName, "other");
}

TEST_F(SettingsDialogTest, EnterDoesNotPressOk) {
    profile_.bitRate = 64000;
    auto dialog = Open();
    QWidget* ok = dialog->GetDlgItem(Id::Ok);
    for (QWidget* target : {static_cast<QWidget*>(dialog.get()), ok,
                            static_cast<QWidget*>(dialog->List(Id::BitRate))}) {
        target->setFocus();
        QTest::keyClick(target, Qt::Key_Return);
        QTest::keyClick(target, Qt::Key_Enter);
        EXPECT_TRUE(dialog->isVisible());
    }
    EXPECT_EQ(profile_.bitRate, 64000);
}

TEST_F(SettingsDialogTest, ExecReturnsAcceptedOnOk) {
    auto dialog = std::make_unique<CSettings>(profile_, nullptr, folder_.path());
    QTimer::singleShot(0, dialog.get(), [&] {
        Choose(*dialog, Id::Channels, "1 Channel Mono");
        Click(*dialog, Id::Ok);
    });
    EXPECT_EQ(dialog->exec(), QDialog::Accepted);
    EXPECT_EQ(profile_.channels, 1);
}

TEST_F(SettingsDialogTest, ChoosingTheEncoderRebuildsTheListsKeepingTheChoice) {
    auto dialog = Open();
    Choose(*dialog, Id::SampleRate, "48000 Hz");
    Choose(*dialog, Id::BitRate, "320 kbps");
    QComboBox* encoder = dialog->List(Id::Encoder);
    emit encoder->activated(0);  // what a user's pick in the list sends
    EXPECT_EQ(dialog->List(Id::SampleRate)->currentText(), "48000 Hz");
    EXPECT_EQ(dialog->List(Id::BitRate)->currentText(), "320 kbps");
    EXPECT_EQ(dialog->List(Id::SampleRate)->count(), 4);
}

// The second encoder joins without re-encoding: the MP3 lists have no say then, and
// the dialog opens on it again.
TEST_F(SettingsDialogTest, CopyEntryMakesTheJoinCopyAndIsShownAgain) {
    auto dialog = Open();
    QComboBox* encoder = dialog->List(Id::Encoder);
    encoder->setCurrentIndex(1);
    emit encoder->activated(1);
    EXPECT_FALSE(dialog->List(Id::BitRate)->isEnabled());
    EXPECT_FALSE(dialog->List(Id::SampleRate)->isEnabled());
    Click(*dialog, Id::Ok);
    EXPECT_TRUE(profile_.copy);
    auto again = Open();
    EXPECT_EQ(again->List(Id::Encoder)->currentIndex(), 1);
    EXPECT_FALSE(again->List(Id::Channels)->isEnabled());
    again->List(Id::Encoder)->setCurrentIndex(0);
    emit again->List(Id::Encoder)->activated(0);
    EXPECT_TRUE(again->List(Id::BitRate)->isEnabled());
    Click(*again, Id::Ok);
    EXPECT_FALSE(profile_.copy);
}

TEST_F(SettingsDialogTest, DraggingAFreeSpotMovesTheWindow) {
    auto dialog = Open();
    dialog->move(100, 100);
    const QPoint before = dialog->pos();
    const QPoint freeSpot(3, 3);
    ASSERT_EQ(dialog->childAt(freeSpot), nullptr);
    QTest::mousePress(dialog.get(), Qt::LeftButton, {}, freeSpot);
    QTest::mouseMove(dialog.get(), freeSpot + QPoint(40, 25));
    QTest::mouseRelease(dialog.get(), Qt::LeftButton, {}, freeSpot + QPoint(40, 25));
    EXPECT_EQ(dialog->pos(), before + QPoint(40, 25));
}

// Every shipped language: each label shows its whole text, its list stands clear of
// it inside the frame, and the frame and the buttons stay inside the dialog.
class SettingsDialogLanguages : public ::testing::TestWithParam<const char*> {};

TEST_P(SettingsDialogLanguages, LabelsAreSizedToTheirTexts) {
    DialogFolder folder;
    std::ifstream shipped(std::string(TOLVANE_SOURCE_RESOURCES) + "/languages/" + GetParam(),
                          std::ios::binary);
    folder.WriteLanguage(GetParam(), std::string(std::istreambuf_iterator<char>(shipped), {}));
    folder.WriteSettings(std::string("[LANGUAGE]\nfile=") + GetParam() + "\n");
    OutputProfile profile;
    CSettings dialog(profile, nullptr, folder.path());
    dialog.show();

    const QRect frame = dialog.GetDlgItem(Id::AudioFrame)->geometry();
    const std::pair<int, int> rows[] = {{Id::EncoderLabel, Id::Encoder},
                                        {Id::BitRateLabel, Id::BitRate},
                                        {Id::SampleRateLabel, Id::SampleRate},
                                        {Id::ChannelsLabel, Id::Channels}};
    for (const auto& [labelId, listId] : rows) {
        const auto* label = static_cast<QLabel*>(dialog.GetDlgItem(labelId));
        ASSERT_FALSE(label->text().isEmpty()) << labelId;
        EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(label->text()))
            << label->text().toStdString();
        const QRect list = dialog.GetDlgItem(listId)->geometry();
        EXPECT_LT(label->geometry().right(), list.left()) << labelId;
        EXPECT_LE(list.right(), frame.right()) << listId;
    }
    EXPECT_LE(frame.right(), dialog.width());
    const QRect ok = dialog.GetDlgItem(Id::Ok)->geometry();
    const QRect cancel = dialog.GetDlgItem(Id::Cancel)->geometry();
    EXPECT_LT(ok.right(), cancel.left());
    EXPECT_LE(cancel.right(), dialog.width());
}

INSTANTIATE_TEST_SUITE_P(Shipped, SettingsDialogLanguages,
                         ::testing::Values("english.ini", "spanish.ini", "german.ini", "french.ini",
                                           "italian.ini", "japanese.ini", "chinese.ini"),
                         [](const auto& info) {
                             const std::string name = info.param;
                             return name.substr(0, name.find('.'));
                         });

}  // namespace
}  // namespace tolvane
