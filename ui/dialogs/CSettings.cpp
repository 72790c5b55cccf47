#include "CSettings.h"

#include <algorithm>
#include <cstdlib>
#include <span>

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPalette>
#include <QPushButton>
#include <QShowEvent>

#include "DialogIds.h"
#include "Mp3BitRates.h"
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

    // Under the buttons, shown only when it has something to say; the dialog grows by it.
    bitRateNote_ = items_.Place(BitRateNote, new QLabel(this), 10, 171, 157, 9);
    bitRateNote_->setWordWrap(true);
    bitRateNote_->hide();
}

// The dialog's message table: every control and its handler, in one place.
void CSettings::ConnectMessageTable() {
    connect(ok_, &QPushButton::clicked, this, &CSettings::OnOk);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    // A free spot moves the window: mousePressEvent. Showing: showEvent.
    // Only a user's choice of encoder rebuilds; filling the list does not.
    connect(encoder_, &QComboBox::activated, this,
            [this] { RebuildDependentLists(CurrentSelection()); });
    // Each sample rate offers the bit rates MP3 has at it, however it was chosen.
    connect(sampleRate_, &QComboBox::currentIndexChanged, this, [this] {
        if (!rebuilding_)
            RebuildBitRates(CurrentSelection().bitRate);
    });
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
    bitRateMovedText_ = QString::fromStdString(texts.bitRateMoved);
    FitLabelsToTexts();

    // MP3 is the only format: its name in the preview, and no use for the other lists.
    static_cast<QPushButton*>(GetDlgItem(FormatPreview))
        ->setText(ToQString(settings::kMp3FormatPreview));
    for (const int id : {UnusedList1, UnusedList3, UnusedList4, UnusedList2}) {
        List(id)->clear();
        List(id)->setEnabled(false);
    }

    rebuilding_ = true;  // the initial lists are replaced when the dialog shows
    Fill(sampleRate_, settings::kInitialSampleRates);
    Fill(bitRate_, settings::kInitialBitRates);
    Fill(channels_, settings::kChannelChoices);
    Fill(encoder_, settings::kEncoders);
    copyEncoderText_ = QString::fromStdString(texts.copyEncoder);
    encoder_->addItem(copyEncoderText_);

    settings::SettingsSelection selection{
        std::string(settings::kEncoderMp3), std::string(settings::kDefaultBitRate),
        std::string(settings::kDefaultSampleRate), std::string(settings::kDefaultChannels)};
    if (Remembered().formatCode == kFormatCodeMp3)
        selection = Remembered().texts;
    selection.encoder =
        profile_.copy ? copyEncoderText_.toStdString() : std::string(settings::kEncoderMp3);
    Select(encoder_, selection.encoder);
    Select(bitRate_, selection.bitRate);
    Select(sampleRate_, selection.sampleRate);
    Select(channels_, selection.channels);
    rebuilding_ = false;
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
    sizeWithoutNote_ =
        QSize(scale.ToPixelsX(kTemplateWidth) + widen, scale.ToPixelsY(kTemplateHeight));
    setFixedSize(sizeWithoutNote_);

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

namespace {
// Selects `wanted`, or `fallback` when the list lacks it.
void SelectOr(QComboBox* list, const std::string& wanted, std::string_view fallback) {
    Select(list, wanted);
    if (list->currentIndex() < 0)
        Select(list, fallback);
}
}  // namespace

settings::SettingsSelection CSettings::CurrentSelection() const {
    return {encoder_->currentText().toStdString(), bitRate_->currentText().toStdString(),
            sampleRate_->currentText().toStdString(), channels_->currentText().toStdString()};
}

// The texts of the values the next merge uses.
settings::SettingsSelection CSettings::SelectionInForce() const {
    const std::int32_t channels = profile_.channels;
    return {profile_.copy                  ? copyEncoderText_.toStdString()
            : profile_.encoderName.empty() ? std::string(settings::kEncoderMp3)
                                           : profile_.encoderName,
            std::to_string(profile_.bitRate / 1000) + " kbps",
            std::to_string(profile_.sampleRate) + " Hz",
            std::string(channels == 1   ? settings::kChannelChoices[0]
                        : channels == 2 ? settings::kChannelChoices[1]
                                        : settings::kDefaultChannels)};
}

void CSettings::RebuildDependentLists(const settings::SettingsSelection& wanted) {
    // A copy keeps each input's own parameters: the MP3 lists say nothing then.
    const bool copy = IsCopyChosen();
    for (QComboBox* list : {bitRate_, sampleRate_, channels_})
        list->setEnabled(!copy);
    if (encoder_->currentText() != ToQString(settings::kEncoderMp3))
        return;
    rebuilding_ = true;
    Fill(sampleRate_, settings::kMp3SampleRates);
    SelectOr(sampleRate_, wanted.sampleRate, settings::kDefaultSampleRate);
    rebuilding_ = false;
    RebuildBitRates(wanted.bitRate);
    Fill(channels_, settings::kChannelChoices);
    SelectOr(channels_, wanted.channels, settings::kDefaultChannels);
}

void CSettings::RebuildBitRates(const std::string& wantedBitRate) {
    const std::int32_t sampleRate = settings::SampleRateOfText(CurrentSelection().sampleRate);
    const std::span<const std::int32_t> has = Mp3BitRatesKbps(sampleRate);
    bitRate_->clear();
    for (const std::string_view entry : settings::kMp3BitRates) {
        const std::int32_t kbps = settings::BitRateOfText(entry) / 1000;
        if (has.empty() || std::find(has.begin(), has.end(), kbps) != has.end())
            bitRate_->addItem(ToQString(entry));
    }
    Select(bitRate_, wantedBitRate);
    ShowBitRateNote(QString());
    if (bitRate_->currentIndex() >= 0 || bitRate_->count() == 0)
        return;
    // The wanted rate is not offered here: the nearest one that is, and a word about it.
    const std::int32_t wanted = settings::BitRateOfText(wantedBitRate) / 1000;
    int nearest = 0;
    for (int i = 1; i < bitRate_->count(); ++i) {
        const auto distance = [&](int index) {
            return std::abs(
                settings::BitRateOfText(bitRate_->itemText(index).toStdString()) / 1000 - wanted);
        };
        if (distance(i) < distance(nearest))
            nearest = i;
    }
    bitRate_->setCurrentIndex(nearest);
    if (wanted > 0) {
        ShowBitRateNote(
            bitRateMovedText_.arg(sampleRate)
                .arg(wanted)
                .arg(settings::BitRateOfText(bitRate_->currentText().toStdString()) / 1000));
    }
}

void CSettings::ShowBitRateNote(const QString& text) {
    if (text.isEmpty()) {
        bitRateNote_->hide();
        bitRateNote_->clear();
        setFixedSize(sizeWithoutNote_);
        return;
    }
    bitRateNote_->setText(text);
    const QRect place = items_.scale().ToPixels(10, 171, 157, 9);
    const int width = sizeWithoutNote_.width() - 2 * place.x();
    const int height = bitRateNote_->heightForWidth(width);
    bitRateNote_->setGeometry(place.x(), place.y(), width, height);
    bitRateNote_->show();
    setFixedSize(sizeWithoutNote_.width(), place.y() + height + place.x() / 2);
}

// The dialog opens with the values in force selected, so what it shows is what the next
// merge uses, and Cancel keeps what the user saw.
void CSettings::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        OnInitDialog();
        QDialog::showEvent(event);
        RebuildDependentLists(SelectionInForce());
        return;
    }
    QDialog::showEvent(event);
}

void CSettings::OnOk() {
    const settings::SettingsSelection chosen = CurrentSelection();

    profile_.sampleRate = settings::SampleRateOfText(chosen.sampleRate);
    if (const auto channels = settings::ChannelsOfText(chosen.channels))
        profile_.channels = *channels;
    profile_.bitRate = settings::BitRateOfText(chosen.bitRate);
    profile_.encoderName = chosen.encoder;
    profile_.copy = IsCopyChosen();

    Remembered().formatCode = kFormatCodeMp3;
    Remembered().texts = chosen;
    accept();
}

bool CSettings::IsCopyChosen() const {
    return encoder_->currentIndex() > 0 && encoder_->currentText() == copyEncoderText_;
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
