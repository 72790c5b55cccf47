#include "CTolvaneDlg.h"
#include "engine/probe/AudioWindow.h"  // complete for the snap source
#include "WindowText.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QHelpEvent>
#include <QIcon>
#include <QTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPalette>
#include <QTabBar>
#include <QThread>
#include <QToolTip>
#include <QUrl>

#include <algorithm>
#include <filesystem>
#include <span>

#include "BitmapLoader.h"
#include "CBitmapSlider.h"
#include "CCheckListCtrl.h"
#include "CControlButton.h"
#include "CHyperLink.h"
#include "CSettings.h"
#include "DesktopShell.h"
#include "DialogUnits.h"
#include "FocusMark.h"
#include "PlayerEndRelay.h"
#include "TabOrder.h"
#include "LanguageRefresh.h"
#include "ProgramFolder.h"
#include "Settings.h"
#include "UserPrompts.h"

namespace tolvane {

namespace {

const QColor kBackground(187, 222, 251);
const QColor kListBackground(241, 250, 233);
const QString kZeroTime = QStringLiteral("00:00:00.000");
const QString kOutputFormatEntry = QStringLiteral("MP3-MPEG Layer-3 Audio(*.mp3)");
constexpr int kWindowIcon = 266;
// The icon is handed to the window system once the window is up: converting and sending
// its 256 px picture would hold back the first showing by several milliseconds.
constexpr int kWindowIconAfterMs = 250;

struct Placement {
    int id;
    int x, y, width, height;
};

// Positions and sizes in dialog units, as the window template lays them out.
constexpr Placement kPlacements[] = {
    {ControlId::Tabs, 7, 1, 69, 16},
    {ControlId::Link, 303, 1, 67, 10},
    {ControlId::LanguageList, 322, 0, 48, 30},
    {ControlId::OutputFormat, 322, 1, 48, 30},
    {ControlId::FileList, 7, 14, 297, 147},
    {ControlId::PositionSlider, 7, 14, 308, 22},
    {ControlId::Add, 307, 25, 63, 27},
    {ControlId::Cut, 307, 52, 63, 27},
    {ControlId::About, 307, 79, 63, 27},
    {ControlId::DeleteAll, 307, 79, 63, 31},
    {ControlId::Setting, 307, 106, 63, 33},
    {ControlId::Convert, 317, 157, 53, 52},
    {ControlId::Merge, 316, 163, 54, 53},
    {ControlId::StartLabel, 7, 122, 41, 8},
    {ControlId::StartEdit, 50, 121, 54, 14},
    {ControlId::EndLabel, 110, 123, 33, 8},
    {ControlId::EndEdit, 146, 121, 54, 14},
    {ControlId::LengthLabel, 203, 123, 38, 8},
    {ControlId::SelectionLength, 247, 122, 53, 10},
    {ControlId::Hint, 7, 138, 292, 8},
    {ControlId::PlayerFrame, 7, 148, 296, 31},
    {ControlId::Play, 61, 156, 22, 20},
    {ControlId::Stop, 87, 156, 23, 20},
    {ControlId::StartPoint, 110, 156, 23, 20},
    {ControlId::EndPoint, 134, 156, 25, 20},
    {ControlId::PlaySelection, 159, 156, 25, 20},
    {ControlId::PlayPosition, 194, 161, 49, 8},
    {ControlId::Duration, 245, 161, 52, 8},
    {ControlId::OutputLabel, 7, 191, 32, 10},
    {ControlId::OutputFolderBox, 26, 190, 189, 12},
    {ControlId::Browse, 217, 187, 37, 19},
    {ControlId::FindTarget, 253, 187, 53, 18},
    {ControlId::CurrentFilePath, 7, 208, 209, 8},
    // The split tab; its field row is laid out by the texts' widths (LayOutSplitFields).
    {ControlId::PartsList, 7, 38, 297, 81},
    {ControlId::CueSheet, 307, 84, 63, 15},
    {ControlId::FindSilences, 307, 102, 63, 15},
    {ControlId::Every, 307, 120, 63, 15},
    {ControlId::ThresholdLabel, 7, 124, 60, 8},
    {ControlId::ThresholdEdit, 70, 122, 24, 12},
    {ControlId::MinimumLabel, 98, 124, 50, 8},
    {ControlId::MinimumEdit, 150, 122, 54, 12},
    {ControlId::EveryLabel, 208, 124, 40, 8},
    {ControlId::EveryEdit, 250, 122, 54, 12},
    {ControlId::KeepTags, 7, 136, 200, 10},
    {ControlId::SplitHere, 110, 156, 23, 20},
    {ControlId::SplitStart, 317, 157, 53, 52},
};
constexpr int kTemplateWidth = 375;
constexpr int kTemplateHeight = 220;

// A control's place in the template, in pixels.
QRect TemplatePlace(const DialogUnits& units, int id) {
    for (const auto& place : kPlacements) {
        if (place.id == id)
            return units.ToPixels(place.x, place.y, place.width, place.height);
    }
    return {};
}

// What the mode switch shows on the cut tab and hides on the merge tab, and the reverse.
constexpr int kCutTabOnly[] = {
    ControlId::Convert,
    ControlId::PositionSlider,
    ControlId::StartPoint,
    ControlId::EndPoint,
    ControlId::PlaySelection,
    ControlId::Play,
    ControlId::Stop,
    ControlId::StartLabel,
    ControlId::EndLabel,
    ControlId::LengthLabel,
    ControlId::StartEdit,
    ControlId::EndEdit,
    ControlId::SelectionLength,
    ControlId::PlayPosition,
    ControlId::Duration,
    ControlId::PlayerFrame,
    ControlId::Hint,
    ControlId::About,
};
constexpr int kMergeTabOnly[] = {ControlId::FileList, ControlId::Merge, ControlId::Setting,
                                 ControlId::DeleteAll};
constexpr int kSplitTabOnly[] = {
    ControlId::PartsList,      ControlId::SplitHere,     ControlId::SplitStart,
    ControlId::CueSheet,       ControlId::FindSilences,  ControlId::Every,
    ControlId::ThresholdLabel, ControlId::ThresholdEdit, ControlId::MinimumLabel,
    ControlId::MinimumEdit,    ControlId::EveryLabel,    ControlId::EveryEdit,
    ControlId::KeepTags,
};
// What MakeListTabs makes.
constexpr int kListTabControls[] = {
    ControlId::OutputFormat,   ControlId::FileList,      ControlId::PartsList,
    ControlId::CueSheet,       ControlId::FindSilences,  ControlId::Every,
    ControlId::ThresholdLabel, ControlId::ThresholdEdit, ControlId::MinimumLabel,
    ControlId::MinimumEdit,    ControlId::EveryLabel,    ControlId::EveryEdit,
    ControlId::KeepTags,
};
// The cut tab's player, which the split tab shares.
constexpr int kPlayerControls[] = {ControlId::PositionSlider, ControlId::Play,
                                   ControlId::Stop,           ControlId::PlayPosition,
                                   ControlId::Duration,       ControlId::PlayerFrame};
constexpr int kCutTab = 0;
constexpr int kMergeTab = 1;
constexpr int kSplitTab = 2;

// Picture buttons in the order they get their shape and picture, with the picture id.
struct ButtonPicture {
    int id;
    int bitmap;
};
constexpr ButtonPicture kButtonPictures[] = {
    {ControlId::Convert, 186},       {ControlId::Add, 178},        {ControlId::Cut, 188},
    {ControlId::Browse, 199},        {ControlId::FindTarget, 204}, {ControlId::Setting, 326},
    {ControlId::About, 254},         {ControlId::Merge, 186},      {ControlId::Play, 301},
    {ControlId::Stop, 303},          {ControlId::StartPoint, 320}, {ControlId::EndPoint, 321},
    {ControlId::PlaySelection, 325}, {ControlId::DeleteAll, 330},  {ControlId::SplitHere, 331},
    {ControlId::SplitStart, 186},
};

// Text handed to the player at initialisation; the player may use it as it likes.
const std::string kPlayerFixedText = "Tolvane preview";

}  // namespace

CTolvaneDlg::CTolvaneDlg(Services services, QWidget* parent)
    : QDialog(parent), services_(std::move(services)) {
    player_ = services_.player ? std::move(services_.player) : CreatePlayerModule();
    messageBox_ = services_.messageBox ? services_.messageBox : &SystemMessageBox();
    fileChooser_ = services_.fileChooser ? services_.fileChooser : &SystemFileChooser();
    folderChooser_ = services_.folderChooser ? services_.folderChooser : &SystemFolderChooser();
    shell_ = services_.shell ? services_.shell : &SystemDesktopShell();
    installFolder_ = DataFolderOf(services_.programFolder.empty()
                                      ? ProgramFolder()
                                      : std::filesystem::path(services_.programFolder))
                         .string();
    // setting.ini and languages/ beside the program, or the user's own copy of them when
    // the program's folder is not the user's to write.
    programFolder_ = SettingsFolderFor(std::filesystem::path(installFolder_)).string();
    helpShell_ = std::make_unique<HelpOpeningShell>(
        *shell_, [this] { return HelpFolder(); },
        [this](const QString& address) {
            ShowMessage(Text("TISHI", "bzwj").arg(address, HelpFolder()));
        },
        [this](const QString& address) { ShowMessage(NothingOpenedMessage(address)); });

    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    QTimer::singleShot(kWindowIconAfterMs, this,
                       [this] { setWindowIcon(QIcon(LoadBitmapResource(kWindowIcon))); });
    setAcceptDrops(true);

    endRelay_ = std::make_unique<PlayerEndRelay>([this] { emit playerEnded(); });
    CreateControls();
    ConnectMessageTable();
    OnInitDialog();
}

CTolvaneDlg::~CTolvaneDlg() {
    qApp->removeEventFilter(this);
    // The edits lose the focus while the children are torn down; their handlers would
    // then write into controls already gone.
    startEdit_->disconnect(this);
    endEdit_->disconnect(this);
    if (listTabsMade_) {
        for (QObject* control :
             {static_cast<QObject*>(partsList_), static_cast<QObject*>(minimumEdit_),
              static_cast<QObject*>(everyEdit_)})
            control->disconnect(this);
    }
    // A player thread waiting for its end of file to be handled is let go before the
    // player (which joins its threads) goes away.
    endRelay_->Shutdown();
    player_.reset();
}

QWidget* CTolvaneDlg::GetDlgItem(int id) const {
    if (!listTabsMade_ && std::ranges::find(kListTabControls, id) != std::end(kListTabControls))
        EnsureListTabs();
    return controls_.value(id, nullptr);
}

void CTolvaneDlg::RegisterControl(int id, QWidget* control) {
    control->setObjectName(QString::number(id));
    controls_.insert(id, control);
}

void CTolvaneDlg::WatchForToolTip(QWidget* control, int id) {
    control->installEventFilter(this);
    idOfWatched_.insert(control, id);
}

void CTolvaneDlg::MakeListTabs() {
    if (listTabsMade_)
        return;
    listTabsMade_ = true;
    outputFormatList_ = new QComboBox(this);
    outputFormatList_->setEditable(true);
    RegisterControl(ControlId::OutputFormat, outputFormatList_);
    fileList_ = new CCheckListCtrl(ControlId::FileList, this);
    RegisterControl(ControlId::FileList, fileList_);
    CreateSplitControls();
    // Stacked as if made with the others: the list under the slider it shares its place
    // with, the split tab's controls under the ones made after them.
    fileList_->stackUnder(slider_);
    for (int id : kListTabControls) {
        QWidget* control = controls_.value(id);
        control->setGeometry(TemplatePlace(units_, id));
        control->hide();
        if (id != ControlId::FileList && id != ControlId::OutputFormat && removeStretch_)
            control->stackUnder(removeStretch_);
        WatchForToolTip(control, id);
    }
    outputFormatList_->resize(outputFormatList_->width(), outputFormatList_->sizeHint().height());
    WatchForToolTip(fileList_->viewport(), ControlId::FileList);
    WatchForToolTip(partsList_->viewport(), ControlId::PartsList);

    ConnectSplitTab();
    SetUpFileList();
    SetUpPartsList();
    fileList_->SetBkColor(kListBackground);
    outputFormatList_->addItem(kOutputFormatEntry);
    outputFormatList_->setCurrentIndex(0);
    ApplyListTabTexts();
}

// Made from accessors the callers of which may be const; making them changes no state
// the window shows.
void CTolvaneDlg::EnsureListTabs() const {
    if (!listTabsMade_)
        const_cast<CTolvaneDlg*>(this)->MakeListTabs();
}

CCheckListCtrl* CTolvaneDlg::FileList() const {
    EnsureListTabs();
    return fileList_;
}
CCheckListCtrl* CTolvaneDlg::PartsList() const {
    EnsureListTabs();
    return partsList_;
}
QComboBox* CTolvaneDlg::OutputFormatList() const {
    EnsureListTabs();
    return outputFormatList_;
}
QLineEdit* CTolvaneDlg::ThresholdEdit() const {
    EnsureListTabs();
    return thresholdEdit_;
}
QLineEdit* CTolvaneDlg::MinimumEdit() const {
    EnsureListTabs();
    return minimumEdit_;
}
QLineEdit* CTolvaneDlg::EveryEdit() const {
    EnsureListTabs();
    return everyEdit_;
}
QCheckBox* CTolvaneDlg::KeepTagsBox() const {
    EnsureListTabs();
    return keepTags_;
}

void CTolvaneDlg::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    // Paints before the timer fires queue more of it, which find the controls made.
    if (!listTabsMade_)
        QTimer::singleShot(0, this, &CTolvaneDlg::MakeListTabs);
}

void CTolvaneDlg::CreateControls() {
    // The dialog font is the application's font; dialog units follow from it.
    units_ = DialogUnits(font());
    const DialogUnits& units = units_;
    setFixedSize(units.ToPixelsX(kTemplateWidth), units.ToPixelsY(kTemplateHeight));
    // Set before the controls are made, which take it as they are made rather than each
    // being told of the change.
    QPalette colours = palette();
    colours.setColor(QPalette::Window, kBackground);
    setPalette(colours);
    setAutoFillBackground(true);

    // Created back to front: the frame lies under the player buttons (the merge list,
    // made later, is put under the slider it shares its place with).
    auto* frame = new QGroupBox(this);
    RegisterControl(ControlId::PlayerFrame, frame);

    tabs_ = new FocusTabBar(this);
    tabs_->setDrawBase(false);
    tabs_->setExpanding(false);
    RegisterControl(ControlId::Tabs, tabs_);

    link_ = new CHyperLink(ControlId::Link, this, *helpShell_);
    RegisterControl(ControlId::Link, link_);

    languageList_ = new QComboBox(this);
    RegisterControl(ControlId::LanguageList, languageList_);

    slider_ = new CBitmapSlider(ControlId::PositionSlider, this);
    RegisterControl(ControlId::PositionSlider, slider_);

    for (const auto& picture : kButtonPictures)
        RegisterControl(picture.id, new CControlButton(picture.id, this));

    const auto addLabel = [this](int id, const QString& text = QString()) {
        auto* label = new QLabel(text, this);
        RegisterControl(id, label);
        return label;
    };
    addLabel(ControlId::StartLabel);
    addLabel(ControlId::EndLabel);
    addLabel(ControlId::LengthLabel);
    QLabel* length = addLabel(ControlId::SelectionLength, kZeroTime);
    length->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    length->setAutoFillBackground(true);
    addLabel(ControlId::Hint);
    addLabel(ControlId::PlayPosition, kZeroTime + QStringLiteral(" /"));
    addLabel(ControlId::Duration, kZeroTime);
    addLabel(ControlId::OutputLabel);
    addLabel(ControlId::CurrentFilePath);

    startEdit_ = new QLineEdit(this);
    RegisterControl(ControlId::StartEdit, startEdit_);
    endEdit_ = new QLineEdit(this);
    RegisterControl(ControlId::EndEdit, endEdit_);

    outputFolderBox_ = new QComboBox(this);
    outputFolderBox_->setEditable(true);
    outputFolderBox_->setInsertPolicy(QComboBox::NoInsert);
    RegisterControl(ControlId::OutputFolderBox, outputFolderBox_);

    for (const auto& place : kPlacements) {
        if (QWidget* control = controls_.value(place.id))
            control->setGeometry(units.ToPixels(place.x, place.y, place.width, place.height));
    }
    // Drop-down lists: the template's height includes the opened list; the closed box is
    // as high as the style draws it.
    languageList_->resize(languageList_->width(), languageList_->sizeHint().height());
    // The time texts share the room between the player buttons and the frame's edge:
    // the position ends where the length begins, so " / " sits between the two.
    auto* position = Item<QLabel>(ControlId::PlayPosition);
    position->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    position->setGeometry(position->geometry().adjusted(-units.ToPixelsX(8), 0, 0, 0));
    auto* duration = GetDlgItem(ControlId::Duration);
    duration->setGeometry(duration->geometry().adjusted(0, 0, units.ToPixelsX(5), 0));

    // The cut layout at start.
    const auto hideMade = [this](std::span<const int> ids) {
        for (int id : ids) {
            if (QWidget* control = controls_.value(id))
                control->hide();
        }
    };
    hideMade(kMergeTabOnly);
    hideMade(kSplitTabOnly);
    languageList_->hide();

    // Tooltips come from the language table by control id; the link has its own.
    for (auto it = controls_.cbegin(); it != controls_.cend(); ++it) {
        if (it.key() != ControlId::Link)
            WatchForToolTip(it.value(), it.key());
    }
    // Delete removes the selected row from wherever the focus is in the window, unless
    // an edit takes it (see DeleteRemovesListRow).
    qApp->installEventFilter(this);
}

// The message table: every event the window handles, with its handler.
void CTolvaneDlg::ConnectMessageTable() {
    const auto button = [this](int id) { return Item<CControlButton>(id); };
    connect(this, &CTolvaneDlg::playerEnded, this, &CTolvaneDlg::OnPlayerEnd);
    connect(&positionTimer_, &QTimer::timeout, this, &CTolvaneDlg::OnPositionTimer);
    connect(&jobTimer_, &QTimer::timeout, this, &CTolvaneDlg::OnJobTimer);
    connect(slider_, &CBitmapSlider::sliderTracking, this, &CTolvaneDlg::OnSliderTracking,
            Qt::QueuedConnection);
    connect(button(ControlId::Add), &QAbstractButton::clicked, this, &CTolvaneDlg::OnAdd);
    connect(button(ControlId::Cut), &QAbstractButton::clicked, this, &CTolvaneDlg::OnCut);
    connect(button(ControlId::DeleteAll), &QAbstractButton::clicked, this,
            &CTolvaneDlg::OnDeleteAll);
    connect(button(ControlId::Convert), &QAbstractButton::clicked, this, &CTolvaneDlg::OnConvert);
    connect(button(ControlId::Merge), &QAbstractButton::clicked, this, &CTolvaneDlg::OnMerge);
    connect(button(ControlId::Play), &QAbstractButton::clicked, this, &CTolvaneDlg::OnPlayPause);
    connect(button(ControlId::Stop), &QAbstractButton::clicked, this, &CTolvaneDlg::OnStop);
    connect(button(ControlId::StartPoint), &QAbstractButton::clicked, this,
            &CTolvaneDlg::OnStartPoint);
    connect(button(ControlId::EndPoint), &QAbstractButton::clicked, this, &CTolvaneDlg::OnEndPoint);
    connect(button(ControlId::PlaySelection), &QAbstractButton::clicked, this,
            &CTolvaneDlg::OnPlaySelection);
    connect(startEdit_, &QLineEdit::textChanged, this, &CTolvaneDlg::OnTimeEditChanged);
    connect(endEdit_, &QLineEdit::textChanged, this, &CTolvaneDlg::OnTimeEditChanged);
    connect(startEdit_, &QLineEdit::editingFinished, this,
            [this] { ShowTimeAsUnderstood(startEdit_); });
    connect(endEdit_, &QLineEdit::editingFinished, this,
            [this] { ShowTimeAsUnderstood(endEdit_); });
    connect(button(ControlId::Browse), &QAbstractButton::clicked, this, &CTolvaneDlg::OnBrowse);
    connect(button(ControlId::FindTarget), &QAbstractButton::clicked, this,
            &CTolvaneDlg::OnFindTarget);
    connect(button(ControlId::About), &QAbstractButton::clicked, this, &CTolvaneDlg::OnAbout);
    connect(button(ControlId::Setting), &QAbstractButton::clicked, this, &CTolvaneDlg::OnSetting);
    connect(tabs_, &QTabBar::currentChanged, this, &CTolvaneDlg::OnTabChanged);
    connect(languageList_, &QComboBox::activated, this, &CTolvaneDlg::SelectLanguage);
    connect(button(ControlId::SplitHere), &QAbstractButton::clicked, this,
            &CTolvaneDlg::OnSplitHere);
    connect(button(ControlId::SplitStart), &QAbstractButton::clicked, this,
            &CTolvaneDlg::OnSplitStart);
    connect(&splitTimer_, &QTimer::timeout, this, &CTolvaneDlg::OnSplitTimer);
    connect(&silenceTimer_, &QTimer::timeout, this, &CTolvaneDlg::OnSilenceTimer);
    // The split tab's lists and fields: ConnectSplitTab(), once they are made.
}

void CTolvaneDlg::OnInitDialog() {
    UpdateData(false);
    ReadSettings();

    // The Chinese texts are refreshed before the language list shows the file in force.
    const std::string languagesFolder =
        (std::filesystem::path(programFolder_) / "languages").string();
    if (services_.refreshLanguageFile) {
        services_.refreshLanguageFile(languagesFolder);
    } else if (const std::string url = LanguageRefreshUrl(); !url.empty()) {
        RefreshLanguageFile(url, std::filesystem::path(languagesFolder) / kRefreshedLanguageFile);
    }
    languageList_->setCurrentIndex(LanguageListIndexOfFile(languageFile_));

    const LanguageTable initial = LanguageTable::Load(LanguageFilePath().toStdString());
    {
        const QSignalBlocker block(tabs_);
        tabs_->addTab(FromUtf8(initial.Text("JIEMIAN", "mp3jq")));
        tabs_->addTab(FromUtf8(initial.Text("JIEMIAN", "mp3hb")));
        tabs_->addTab(FromUtf8(initial.Text("JIEMIAN", "fg_tab")));
        tabs_->setCurrentIndex(0);
    }
    ApplyLanguageTexts();

    startEdit_->setText(kZeroTime);
    endEdit_->setText(kZeroTime);

    SetUpPictureButtons();
    CreateRemoveStretchControls();
    SetUpPositionSlider();
    CreateZoomControls();

    outputFolderBoxText_ = outputFolder_.isEmpty() ? DefaultOutputFolderText() : outputFolder_;
    InitialisePreview();
    outputProfile_ = OutputProfile{};
    UpdateData(false);
    ApplyTabOrder();
}

// The controls of the shown tab that take the focus by Tab, chained in reading order.
void CTolvaneDlg::ApplyTabOrder() {
    std::vector<QWidget*> focusable;
    std::vector<QRect> places;
    for (QWidget* control : std::as_const(controls_)) {
        if (control->isHidden() || !(control->focusPolicy() & Qt::TabFocus))
            continue;
        focusable.push_back(control);
        places.push_back(control->geometry());
    }
    QWidget* previous = nullptr;
    for (int index : ReadingOrder(places)) {
        QWidget* next = focusable[std::size_t(index)];
        if (previous)
            setTabOrder(previous, next);
        previous = next;
    }
}

void CTolvaneDlg::ReadSettings() {
    const SettingsFile settings(programFolder_);
    openFolderWhenDone_ = settings.OpenFolderWhenDone();
    showFileWaveform_ = settings.ShowFileWaveform();
    languageList_->clear();
    for (const std::string& name : settings.LanguageNames())
        languageList_->addItem(FromUtf8(name));
    languageFile_ = settings.LanguageFile();
    outputFolder_ = FromUtf8(settings.OutputFolder());
}

void CTolvaneDlg::SetUpFileList() {
    // The headers of the first five come from the language file: ApplyListTabTexts.
    fileList_->InsertColumn(0, QString(), 250);
    fileList_->InsertColumn(1, QString(), 100);
    fileList_->InsertColumn(2, QString(), 100);
    fileList_->InsertColumn(3, QString(), 0);
    fileList_->InsertColumn(4, QString(), fileList_->contentsRect().width() - 450);
    fileList_->InsertColumn(5, QStringLiteral("Duration"), 0);
    fileList_->InitHeaderCheck();
}

void CTolvaneDlg::SetUpPictureButtons() {
    for (const auto& picture : kButtonPictures) {
        SetButtonShape(picture.id, picture.bitmap);
        SetButtonBitmaps(picture.id, picture.bitmap);
        auto* button = Item<CControlButton>(picture.id);
        if (picture.id == ControlId::Cut) {
            button->setEnabled(true);
            button->update();
        }
        if (picture.id == ControlId::Play || picture.id == ControlId::Stop)
            button->setEnabled(false);
    }
}

// A picture larger than its button (a small dialog font) is scaled down to fit rather
// than cut off; the shape is scaled without smoothing so that white stays exactly white.
QImage CTolvaneDlg::ButtonPicture(int id, int bitmapId, Qt::TransformationMode mode) const {
    const QWidget* button = GetDlgItem(id);
    const QImage picture = LoadBitmapImage(bitmapId);
    if (picture.isNull() ||
        (picture.width() <= button->width() && picture.height() <= button->height())) {
        return picture;
    }
    return picture.scaled(button->size(), Qt::KeepAspectRatio, mode);
}

void CTolvaneDlg::SetButtonShape(int id, int bitmapId) {
    const QImage picture = ButtonPicture(id, bitmapId, Qt::FastTransformation);
    if (picture.isNull())
        return;  // no picture: the button keeps its rectangle
    Item<CControlButton>(id)->SetShape(picture);
}

void CTolvaneDlg::SetButtonBitmaps(int id, int bitmapId) {
    const QPixmap picture =
        QPixmap::fromImage(ButtonPicture(id, bitmapId, Qt::SmoothTransformation));
    Item<CControlButton>(id)->SetBitmaps(picture, picture, picture, picture);
}

void CTolvaneDlg::SetUpPositionSlider() {
    slider_->SetTrackBitmaps(306, 307);
    slider_->SetThumbBitmaps(308, 308);
    // The slider takes keys, so it shows the focus like the picture buttons.
    slider_->ShowFocusRect(true);
    slider_->SetRange(0, 10000);
    slider_->SetPos(0);
    slider_->SetMargins(0, -1, 2, 0);
    slider_->setEnabled(false);
    SetUpFileWaveform();
}

void CTolvaneDlg::InitialisePreview() {
    // The player's end of file comes on its own thread; the stop runs on ours, and the
    // callback waits for it as a sent message would.
    PlayerEndRelay* relay = endRelay_.get();
    player_->PlayerModule_Initialize([relay] { relay->Deliver(); }, [](int) {}, kPlayerFixedText);
    slider_->SetRange(0, 1000);
    slider_->SetPos(0);
    slider_->update();
    playMode_ = QStringLiteral("PLAY");
    reloadOnPlay_ = true;
}

QString CTolvaneDlg::ProgramFolderPath() const {
    return FromUtf8(programFolder_);
}

QString CTolvaneDlg::LanguageFilePath() const {
    return FromUtf8(tolvane::LanguageFilePath(languageFile_, programFolder_).string());
}

QString CTolvaneDlg::Text(const char* section, const char* key) const {
    return FromUtf8(texts_.Text(section, key));
}

void CTolvaneDlg::ApplyLanguageTexts() {
    texts_ = LanguageTable::Load(LanguageFilePath().toStdString());

    const auto setText = [this](int id, const char* key) {
        Item<QLabel>(id)->setText(Text("JIEMIAN", key));
    };
    setText(ControlId::Link, "zysybrj");
    setText(ControlId::StartLabel, "ksjq");
    setText(ControlId::EndLabel, "jsjq");
    setText(ControlId::LengthLabel, "jqsj");
    setText(ControlId::OutputLabel, "output");
    setText(ControlId::Hint, "nykyzjsr");

    QFont linkFont(QStringLiteral("Microsoft Sans Serif"), 10);
    linkFont.setStyleHint(QFont::SansSerif);
    link_->setGeometry(TemplatePlace(units_, ControlId::Link));
    link_->setFont(linkFont);
    // The link was attached when it was made; its caption is "zysybrj" alone (empty
    // when missing) and its address "url" alone, so neither stands in for the other.
    link_->SetURL(Text("APPLICATION", "url"));
    link_->SetUnderline(CHyperLink::kUnderlineAlways);

    tabs_->setTabText(0, Text("JIEMIAN", "mp3jq"));
    tabs_->setTabText(1, Text("JIEMIAN", "mp3hb"));
    tabs_->setTabText(2, Text("JIEMIAN", "fg_tab"));
    if (listTabsMade_)
        ApplyListTabTexts();

    setWindowTitle(Text("APPLICATION", "name") + QLatin1Char(' ') + Text("APPLICATION", "version"));
    FitControlsToTexts();
    ApplyRemoveStretchTexts();
    ApplyZoomTexts();
    ApplyTabOrder();
}

void CTolvaneDlg::ApplyListTabTexts() {
    static constexpr const char* kColumnKeys[] = {"ywj", "kssj", "jssj", "scgs", "zt"};
    for (int column = 0; column < 5; ++column)
        fileList_->SetColumnHeaderText(column, Text("JIEMIAN", kColumnKeys[column]));
    ApplySplitTexts();
}

// The template's sizes were made for one language's texts; longer ones push the
// neighbouring control aside instead of being cut.
void CTolvaneDlg::FitControlsToTexts() {
    const int rightMargin = units_.ToPixelsX(kTemplateWidth - 5);

    const QRect tabsPlace = TemplatePlace(units_, ControlId::Tabs);
    tabs_->setGeometry(tabsPlace.x(), tabsPlace.y(),
                       qMax(tabsPlace.width(), tabs_->sizeHint().width()), tabsPlace.height());

    // The link fits itself to its text; it stays inside the window's right margin.
    if (link_->geometry().right() > rightMargin)
        link_->move(qMax(0, rightMargin - link_->width()), link_->y());

    auto* outputLabel = Item<QLabel>(ControlId::OutputLabel);
    const QRect labelPlace = TemplatePlace(units_, ControlId::OutputLabel);
    const int textWidth = outputLabel->fontMetrics().horizontalAdvance(outputLabel->text());
    outputLabel->setGeometry(labelPlace.x(), labelPlace.y(), qMax(labelPlace.width(), textWidth),
                             labelPlace.height());
    const QRect boxPlace = TemplatePlace(units_, ControlId::OutputFolderBox);
    const int boxLeft = qMax(boxPlace.left(), labelPlace.x() + textWidth + units_.ToPixelsX(3));
    outputFolderBox_->setGeometry(boxLeft, boxPlace.y(), boxPlace.right() - boxLeft + 1,
                                  boxPlace.height());
}

void CTolvaneDlg::SelectLanguage() {
    const std::string_view fileName = LanguageFileOfListIndex(languageList_->currentIndex());
    if (!fileName.empty())
        languageFile_ = std::string(fileName);
    SettingsFile(programFolder_).SetLanguageFile(languageFile_);
    ApplyLanguageTexts();
}

void CTolvaneDlg::UpdateData(bool saveAndValidate) {
    if (saveAndValidate) {
        outputFolderBoxText_ = outputFolderBox_->currentText();
    } else {
        outputFolderBox_->setEditText(outputFolderBoxText_);
    }
}

QString CTolvaneDlg::ToolTipText(int id) const {
    static constexpr std::pair<int, const char*> kSplitHints[] = {
        {ControlId::SplitHere, "fg_here"}, {ControlId::SplitStart, "fg_start"},
        {ControlId::CueSheet, "fg_cue"},   {ControlId::FindSilences, "fg_silence"},
        {ControlId::Every, "fg_every"},    {ControlId::PartsList, "fg_parts"},
    };
    for (const auto& [control, key] : kSplitHints) {
        if (control == id)
            return Text("HINT", key);
    }
    return FromUtf8(texts_.Tooltip(id, playMode_.toStdString()).value_or(std::string()));
}

void CTolvaneDlg::ShowMessage(const QString& text) {
    messageBox_->Show(this, text);
}

int CTolvaneDlg::RunModal(QDialog& dialog) {
    return services_.runModal ? services_.runModal(dialog) : dialog.exec();
}

bool CTolvaneDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget || !(widget == this || isAncestorOf(widget)))
            return false;
        if (key->key() == Qt::Key_Delete && DeleteRemovesListRow(widget)) {
            OnRemoveSelected();
            return true;
        }
        return HandlePlaybackKey(widget, *key);
    }
    if (event->type() == QEvent::ToolTip) {
        const auto found = idOfWatched_.constFind(watched);
        if (found == idOfWatched_.cend())
            return false;
        auto* help = static_cast<QHelpEvent*>(event);
        QString text = ToolTipText(found.value());
        // A row's path cell, or a part's name, shows the whole text.
        for (CCheckListCtrl* list : {fileList_, partsList_}) {
            if (list == nullptr || watched != list->viewport())
                continue;
            const QModelIndex cell = list->indexAt(help->pos());
            if (cell.isValid()) {
                const QString path = list->GetItemToolTip(cell.row(), cell.column());
                if (!path.isEmpty())
                    text = path;
            }
        }
        if (text.isEmpty()) {
            QToolTip::hideText();
        } else {
            QToolTip::showText(help->globalPos(), text, qobject_cast<QWidget*>(watched));
        }
        return true;
    }
    return false;
}

// Neither Enter nor Escape ends the window: the merge list and the marked range would be
// lost without a word. Enter in a time edit takes the typed time, as leaving it does.
void CTolvaneDlg::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (auto* edit = qobject_cast<QLineEdit*>(focusWidget());
                edit && (edit == startEdit_ || edit == endEdit_)) {
                ShowTimeAsUnderstood(edit);
                OnTimeEditChanged();
                edit->selectAll();
            }
            event->accept();
            return;
        case Qt::Key_Escape:
            event->accept();
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

namespace {
// An edit, or a box the user types into: its keys are its own.
bool TakesText(const QWidget* widget) {
    if (qobject_cast<const QLineEdit*>(widget))
        return true;
    const auto* box = qobject_cast<const QComboBox*>(widget);
    return box && box->isEditable();
}
}  // namespace

// Delete is the list's key only where the list is in view and no text is being edited.
bool CTolvaneDlg::DeleteRemovesListRow(const QWidget* receiver) const {
    return tabs_->currentIndex() == 1 && !TakesText(receiver) && !TakesText(focusWidget());
}

// The keys of audio tools: Ctrl+O adds files; outside the edits, Enter presses a focused
// picture button, and on the cut tab Space plays or pauses, "[" and "]" set the start and
// end at the play position, and the arrows, Page Up/Down, Home and End move the play
// position from the slider.
bool CTolvaneDlg::HandlePlaybackKey(QWidget* receiver, const QKeyEvent& key) {
    const Qt::KeyboardModifiers modifiers = key.modifiers() & ~Qt::KeypadModifier;
    if (key.key() == Qt::Key_O && modifiers == Qt::ControlModifier) {
        OnAdd();
        return true;
    }
    if (tabs_->currentIndex() == kCutTab && HandleMarkKey(receiver, key))
        return true;
    if (TakesText(receiver) || TakesText(focusWidget()))
        return false;
    if (key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter) {
        auto* button = qobject_cast<CControlButton*>(receiver);
        if (!button || !button->isEnabled())
            return false;
        button->click();
        return true;
    }
    const int tab = tabs_->currentIndex();
    if (tab == kMergeTab)
        return false;  // the merge list ticks its rows with Space
    if (tab == kSplitTab && key.key() == Qt::Key_S && modifiers == Qt::NoModifier) {
        OnSplitHere();
        return true;
    }
    switch (key.key()) {
        case Qt::Key_Space:
            if (modifiers != Qt::NoModifier)
                return false;
            // So does the parts list.
            if (tab == kSplitTab && (receiver == partsList_ || focusWidget() == partsList_))
                return false;
            if (GetDlgItem(ControlId::Play)->isEnabled())
                OnPlayPause();
            return true;
        case Qt::Key_BracketLeft:
            if (tab != kCutTab)
                return false;
            OnStartPoint();
            return true;
        case Qt::Key_BracketRight:
            if (tab != kCutTab)
                return false;
            OnEndPoint();
            return true;
        default:
            break;
    }
    if (receiver != slider_ || !playerOpened_ || !slider_->isEnabled() ||
        modifiers != Qt::NoModifier) {
        return false;
    }
    constexpr std::int64_t kStepMs = 1000;
    constexpr std::int64_t kPageMs = 10000;
    switch (key.key()) {
        case Qt::Key_Left:
            SeekBy(-kStepMs);
            return true;
        case Qt::Key_Right:
            SeekBy(kStepMs);
            return true;
        case Qt::Key_PageUp:
            SeekBy(-kPageMs);
            return true;
        case Qt::Key_PageDown:
            SeekBy(kPageMs);
            return true;
        case Qt::Key_Home:
            SeekTo(0);
            return true;
        case Qt::Key_End:
            SeekTo(INT32_MAX);
            return true;
        default:
            return false;
    }
}

// A press on a free spot of the window (or on a static text, which passes it on) moves
// the window.
void CTolvaneDlg::mousePressEvent(QMouseEvent* event) {
    if (!drag_.Press(*this, *event))
        QDialog::mousePressEvent(event);
}

void CTolvaneDlg::mouseMoveEvent(QMouseEvent* event) {
    if (!drag_.Move(*this, *event))
        QDialog::mouseMoveEvent(event);
}

void CTolvaneDlg::mouseReleaseEvent(QMouseEvent* event) {
    drag_.Release(*event);
    QDialog::mouseReleaseEvent(event);
}

// The close box closes the preview player first and ends the window with the OK result.
// A batch of added files that is being examined meanwhile ends without touching the
// player again.
void CTolvaneDlg::closeEvent(QCloseEvent* event) {
    closing_ = true;
    player_->PlayerModule_Close();
    positionTimer_.stop();
    StopFileWaveform();
    done(QDialog::Accepted);
    event->accept();
}

// Dropped files are only read, never taken: a drop is accepted as a copy, whatever the
// source proposes, since a move would let the file manager delete the user's file.
// A source that offers no copy is refused.
namespace {
bool AcceptAsCopy(QDropEvent* event) {
    if (!event->mimeData()->hasUrls() || !(event->possibleActions() & Qt::CopyAction)) {
        event->ignore();
        return false;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    return true;
}
}  // namespace

// Each dialog's modal loop ends when it closes, and the commands that ran them return in
// turn: RunJob then waits for the stopped worker before the window's own loop ends.
void CTolvaneDlg::CloseFromAnyState() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(widget);
        if (dialog != nullptr && dialog != this && dialog->isVisible())
            dialog->close();
    }
    close();
}

void CTolvaneDlg::dragEnterEvent(QDragEnterEvent* event) {
    AcceptAsCopy(event);
}

void CTolvaneDlg::dragMoveEvent(QDragMoveEvent* event) {
    AcceptAsCopy(event);
}

void CTolvaneDlg::dropEvent(QDropEvent* event) {
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile())
            paths << url.toLocalFile();
    }
    if (paths.isEmpty()) {
        event->ignore();
        return;
    }
    if (!AcceptAsCopy(event))
        return;
    OnDropFiles(paths);
}

// --- Mode switch ----------------------------------------------------------------------

void CTolvaneDlg::OnTabChanged(int index) {
    if (addingFiles_) {
        // A batch adds to the tab it began on.
        const QSignalBlocker block(tabs_);
        tabs_->setCurrentIndex(addingTab_);
        return;
    }
    if (index != kCutTab && index != kMergeTab && index != kSplitTab)
        return;
    const bool cutTab = index == kCutTab;
    const bool splitTab = index == kSplitTab;
    // The split tab plays the cut tab's file with the cut tab's player.
    if (index == kMergeTab)
        Stop();
    for (int id : kCutTabOnly)
        GetDlgItem(id)->setVisible(cutTab);
    for (int id : kMergeTabOnly)
        GetDlgItem(id)->setVisible(index == kMergeTab);
    for (int id : kSplitTabOnly)
        GetDlgItem(id)->setVisible(splitTab);
    if (splitTab) {
        for (int id : kPlayerControls)
            GetDlgItem(id)->show();
    }
    for (int id : {ControlId::Add, ControlId::Cut, ControlId::OutputLabel,
                   ControlId::OutputFolderBox, ControlId::Browse, ControlId::FindTarget}) {
        GetDlgItem(id)->show();
    }
    // The cut and split tabs name their file again when they come back.
    Item<QLabel>(ControlId::CurrentFilePath)
        ->setText(index != kMergeTab ? currentFile_ : QString());
    ShowSplitTab(splitTab);
    ApplyTabOrder();
}

// --- Commands -------------------------------------------------------------------------

void CTolvaneDlg::OnAbout() {
    helpShell_->Open(Text("APPLICATION", "url"));
}

QString CTolvaneDlg::HelpFolder() const {
    return FromUtf8((std::filesystem::path(installFolder_) / "help").string());
}

// Adding and removing files: CTolvaneDlgFileList.cpp. Preview playback and the range:
// CTolvaneDlgPlayback.cpp. The output folder: CTolvaneDlgOutputFolder.cpp. Cut, merge,
// the job timer and the settings dialog: CTolvaneDlgCommands.cpp.

}  // namespace tolvane
