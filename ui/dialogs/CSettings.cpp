#include "CSettings.h"

#include <algorithm>

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPalette>
#include <QPushButton>
#include <QShowEvent>

#include "DialogIds.h"
#include "KeySwallower.h"
#include "LanguageTable.h"
#include "engine/job/OutputProfile.h"
#include "ProgramFolder.h"
#include "Settings.h"
#include "SettingsChoices.h"

namespace tolvane {

namespace {

// Size and place (from the owner's top-left corner) of the template in dialog units.
constexpr int kTemplateX = 30;
constexpr int kTemplateY = 30;
constexpr int kTemplateWidth = 177;
constexpr int kTemplateHeight = 177;

// What the last OK chose, for the rest of the run (never saved).
struct RememberedChoice {
    std::int32_t formatCode = 0;  // none yet
    settings::SettingsSelection texts;
};

RememberedChoice& Remembered() {
    static RememberedChoice choice;
    return choice;
}

QFont DialogFont() {
    QFont font(QStringLiteral("MS Shell Dlg"), 8);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

QString ToQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

template <std::size_t N>
void Fill(QComboBox* list, const std::array<std::string_view, N>& entries) {
    list->clear();
    for (const auto entry : entries)
        list->addItem(ToQString(entry));
}

// Selects the entry with exactly this text; none when the list lacks it.
void Select(QComboBox* list, std::string_view text) {
    list->setCurrentIndex(
        list->findText(ToQString(text), Qt::MatchFixedString | Qt::MatchCaseSensitive));
}

QComboBox* MakeList(QWidget* parent) {
    auto* list = new QComboBox(parent);
    list->setEditable(false);
    return list;
}

QPushButton* MakeButton(QWidget* parent) {
    auto* button = new QPushButton(parent);
    // Enter never presses a button of this dialog.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

}  // namespace

CSettings::CSettings(OutputProfile& profile, QWidget* owner, std::filesystem::path programFolder)
    : QDialog(owner),
      profile_(profile),
      programFolder_(std::move(programFolder)),
      items_(DialogUnits(DialogFont())) {
    setFont(DialogFont());
    setModal(true);
    CreateControls();
    ConnectMessageTable();

    auto* keys = new dialogs::KeySwallower({Qt::Key_Return}, this);
    keys->Watch(this);

    if (owner != nullptr) {
        const auto& scale = items_.scale();
        move(owner->mapToGlobal(QPoint(scale.ToPixelsX(kTemplateX), scale.ToPixelsY(kTemplateY))));
    }
}

CSettings::~CSettings() = default;

void CSettings::CreateControls() {
    using namespace SettingsDialogId;
    const auto& scale = items_.scale();
    setFixedSize(scale.ToPixelsX(kTemplateWidth), scale.ToPixelsY(kTemplateHeight));

    items_.Place(FormatLabel, new QLabel(this), 10, 8, 157, 9);
    auto* preview = items_.Place(FormatPreview, MakeButton(this), 10, 19, 157, 15);
    preview->setEnabled(false);
    // The format preview reads as red text, enabled or not.
    QPalette red = preview->palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        red.setColor(group, QPalette::ButtonText, Qt::red);
    preview->setPalette(red);

    items_.Place(AudioFrame, new QGroupBox(this), 10, 42, 157, 102);
    items_.Place(EncoderLabel, new QLabel(this), 18, 60, 52, 9);
    encoder_ = items_.Place(Encoder, MakeList(this), 72, 57, 87, 14);
    items_.Place(BitRateLabel, new QLabel(this), 18, 81, 52, 9);
    bitRate_ = items_.Place(BitRate, MakeList(this), 72, 78, 87, 14);
    items_.Place(SampleRateLabel, new QLabel(this), 18, 102, 52, 9);
    sampleRate_ = items_.Place(SampleRate, MakeList(this), 72, 99, 87, 14);
    items_.Place(ChannelsLabel, new QLabel(this), 18, 123, 52, 9);
    channels_ = items_.Place(Channels, MakeList(this), 72, 120, 87, 14);

    // Lists of the template that carry no audio parameter.
    int y = 57;
    for (const int id : {UnusedList1, UnusedList2, UnusedList3, UnusedList4}) {
        items_.Place(id, MakeList(this), 72, y, 87, 14)->hide();
        y += 21;
    }
    auto* defaults = items_.Place(Default, MakeButton(this), 10, 153, 46, 15);
    defaults->setText(QStringLiteral("Default"));
    defaults->hide();

    ok_ = items_.Place(Ok, MakeButton(this), 62, 153, 50, 15);
    cancel_ = items_.Place(Cancel, MakeButton(this), 117, 153, 50, 15);
}

// The dialog's message table: every control and its handler, in one place.
void CSettings::ConnectMessageTable() {
    connect(ok_, &QPushButton::clicked, this, &CSettings::OnOk);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    // A free spot moves the window: mousePressEvent. Showing: showEvent.
    // Only a user's choice of encoder rebuilds; filling the list does not.
    connect(encoder_, &QComboBox::activated, this, [this] { RebuildDependentLists(); });
    // List 1064 has no handler.
}

QComboBox* CSettings::List(int id) const {
    return qobject_cast<QComboBox*>(GetDlgItem(id));
}

std::filesystem::path CSettings::ProgramFolderInUse() const {
    return programFolder_.empty() ? ProgramFolder() : programFolder_;
}

void CSettings::OnInitDialog() {
    using namespace SettingsDialogId;
    const SettingsFile settings(ProgramFolderInUse());
    const auto texts = SettingsDialogTexts::Read(settings.LanguageFileInForce());
    const auto setLabel = [this](int id, const std::string& text) {
        static_cast<QLabel*>(GetDlgItem(id))->setText(QString::fromStdString(text));
    };
    setLabel(FormatLabel, texts.format);
    static_cast<QGroupBox*>(GetDlgItem(AudioFrame))
        ->setTitle(QString::fromStdString(texts.audioOptions));
    setLabel(EncoderLabel, texts.encoder);
    setLabel(BitRateLabel, texts.quality);
    setLabel(SampleRateLabel, texts.sampleRate);
    setLabel(ChannelsLabel, texts.channels);
    ok_->setText(QString::fromStdString(texts.ok));
    cancel_->setText(QString::fromStdString(texts.cancel));
    setWindowTitle(QString::fromStdString(texts.title));
    FitLabelsToTexts();

    // MP3 is the only format: its name in the preview, and no use for the other lists.
    static_cast<QPushButton*>(GetDlgItem(FormatPreview))
        ->setText(ToQString(settings::kMp3FormatPreview));
    for (const int id : {UnusedList1, UnusedList3, UnusedList4, UnusedList2}) {
        List(id)->clear();
        List(id)->setEnabled(false);
    }

    Fill(sampleRate_, settings::kInitialSampleRates);
    Fill(bitRate_, settings::kInitialBitRates);
    Fill(channels_, settings::kChannelChoices);
    Fill(encoder_, settings::kEncoders);

    settings::SettingsSelection selection{
        std::string(settings::kEncoderMp3), std::string(settings::kDefaultBitRate),
        std::string(settings::kDefaultSampleRate), std::string(settings::kDefaultChannels)};
    if (Remembered().formatCode == kFormatCodeMp3)
        selection = Remembered().texts;
    Select(encoder_, selection.encoder);
    Select(bitRate_, selection.bitRate);
    Select(sampleRate_, selection.sampleRate);
    Select(channels_, selection.channels);
}

// The template's label column was made for short texts; a longer label takes the room
// it needs, its list moves right, and the dialog widens when the list would not fit.
void CSettings::FitLabelsToTexts() {
    using namespace SettingsDialogId;
    const auto& scale = items_.scale();
    const QRect labelPlace = scale.ToPixels(18, 60, 52, 9);
    const QRect listPlace = scale.ToPixels(72, 57, 87, 14);
    const int gap = listPlace.left() - labelPlace.right() - 1;

    int labelWidth = labelPlace.width();
    for (const int id : {EncoderLabel, BitRateLabel, SampleRateLabel, ChannelsLabel}) {
        const auto* label = static_cast<QLabel*>(GetDlgItem(id));
        labelWidth = std::max(labelWidth, label->fontMetrics().horizontalAdvance(label->text()));
    }
    const int listLeft = labelPlace.left() + labelWidth + gap;
    const int widen = std::max(0, listLeft - listPlace.left());
    setFixedSize(scale.ToPixelsX(kTemplateWidth) + widen, scale.ToPixelsY(kTemplateHeight));

    for (const int id : {EncoderLabel, BitRateLabel, SampleRateLabel, ChannelsLabel}) {
        QWidget* label = GetDlgItem(id);
        label->setGeometry(label->x(), label->y(), labelWidth, label->height());
    }
    for (const int id : {Encoder, BitRate, SampleRate, Channels, UnusedList1, UnusedList2,
                         UnusedList3, UnusedList4}) {
        QWidget* list = GetDlgItem(id);
        list->setGeometry(listLeft, list->y(), listPlace.width(), list->height());
    }
    // The frame, the format texts and the buttons follow the new right edge.
    const QRect frame = scale.ToPixels(10, 42, 157, 102);
    GetDlgItem(AudioFrame)->setGeometry(frame.adjusted(0, 0, widen, 0));
    GetDlgItem(FormatLabel)->setGeometry(scale.ToPixels(10, 8, 157, 9).adjusted(0, 0, widen, 0));
    GetDlgItem(FormatPreview)
        ->setGeometry(scale.ToPixels(10, 19, 157, 15).adjusted(0, 0, widen, 0));
    GetDlgItem(Ok)->setGeometry(scale.ToPixels(62, 153, 50, 15).translated(widen, 0));
    GetDlgItem(Cancel)->setGeometry(scale.ToPixels(117, 153, 50, 15).translated(widen, 0));
}

void CSettings::RebuildDependentLists() {
    if (encoder_->currentText() != ToQString(settings::kEncoderMp3))
        return;
    Fill(sampleRate_, settings::kMp3SampleRates);
    Select(sampleRate_, settings::kDefaultSampleRate);
    Fill(bitRate_, settings::kMp3BitRates);
    Select(bitRate_, settings::kDefaultBitRate);
    Fill(channels_, settings::kChannelChoices);
    Select(channels_, settings::kDefaultChannels);
}

void CSettings::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        OnInitDialog();
        QDialog::showEvent(event);
        RebuildDependentLists();
        return;
    }
    QDialog::showEvent(event);
}

void CSettings::OnOk() {
    const settings::SettingsSelection chosen{
        encoder_->currentText().toStdString(), bitRate_->currentText().toStdString(),
        sampleRate_->currentText().toStdString(), channels_->currentText().toStdString()};

    profile_.sampleRate = settings::SampleRateOfText(chosen.sampleRate);
    if (const auto channels = settings::ChannelsOfText(chosen.channels))
        profile_.channels = *channels;
    profile_.bitRate = settings::BitRateOfText(chosen.bitRate);
    profile_.encoderName = chosen.encoder;

    Remembered().formatCode = kFormatCodeMp3;
    Remembered().texts = chosen;
    accept();
}

void CSettings::mousePressEvent(QMouseEvent* event) {
    if (!drag_.Press(*this, *event))
        QDialog::mousePressEvent(event);
}

void CSettings::mouseMoveEvent(QMouseEvent* event) {
    if (!drag_.Move(*this, *event))
        QDialog::mouseMoveEvent(event);
}

void CSettings::mouseReleaseEvent(QMouseEvent* event) {
    drag_.Release(*event);
    QDialog::mouseReleaseEvent(event);
}

}  // namespace tolvane
