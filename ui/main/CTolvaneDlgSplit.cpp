// The split tab: the cut tab's file made into parts (split points set while listening,
// a cue sheet, its silences or parts of one length), the parts listed, marked on the
// slider and written into the output folder by a split job.

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTabBar>

#include <algorithm>
#include <cmath>

#include "CAVConvertDlg.h"
#include "CBitmapSlider.h"
#include "CCheckListCtrl.h"
#include "CTolvaneDlg.h"
#include "WindowText.h"
#include "DesktopShell.h"
#include "JobProgressText.h"
#include "TimeCode.h"
#include "UserPrompts.h"
#include "engine/job/JobFailureReading.h"
#include "engine/split/CuePlan.h"
#include "engine/split/SplitPoints.h"

namespace tolvane {

namespace {

constexpr int kSplitTab = 2;
constexpr int kNumberColumn = 0;
constexpr int kNameColumn = 1;
constexpr int kStartColumn = 2;
constexpr int kEndColumn = 3;
constexpr int kLengthColumn = 4;
constexpr int kStatusColumn = 5;
constexpr int kSplitTimerMs = 200;
constexpr int kSplitSliderHeightDu = 22;
// The template's right edges of the parts list and of the button column, and the
// column's left edge.
constexpr int kListRightDu = 304;
constexpr int kButtonsLeftDu = 307;
constexpr int kButtonsRightDu = 370;
// An edit's frame and inner margins: its text shows whole in this much more room.
constexpr int kEditMarginsPx = 8;
const QString kDefaultThreshold = QStringLiteral("-48");
const QString kDefaultMinimum = QStringLiteral("00:00:01.000");
const QString kDefaultEvery = QStringLiteral("00:10:00.000");

// Microseconds as the window's time code, to the nearest millisecond.
QString TimeText(std::int64_t us) {
    return QString::fromStdString(FormatTimeCode(static_cast<std::int32_t>((us + 500) / 1000)));
}

std::int64_t MicrosecondsOf(const QString& timeCode) {
    return std::int64_t{ParseTimeCode(Utf8(timeCode))} * 1000;
}

// The slider's per-mille position of a time.
int PerMilleOf(std::int64_t us, std::int64_t lengthUs) {
    return lengthUs > 0 ? static_cast<int>(std::clamp<std::int64_t>(us * 1000 / lengthUs, 0, 1000))
                        : 0;
}

}  // namespace

void CTolvaneDlg::CreateSplitControls() {
    partsList_ = new CCheckListCtrl(ControlId::PartsList, this);
    RegisterControl(ControlId::PartsList, partsList_);
    const auto addButton = [this](int id) {
        auto* button = new QPushButton(this);
        button->setAutoDefault(false);
        RegisterControl(id, button);
    };
    addButton(ControlId::CueSheet);
    addButton(ControlId::FindSilences);
    addButton(ControlId::Every);
    const auto addField = [this](int labelId, int editId, const QString& text) {
        RegisterControl(labelId, new QLabel(this));
        auto* edit = new QLineEdit(text, this);
        RegisterControl(editId, edit);
        return edit;
    };
    thresholdEdit_ =
        addField(ControlId::ThresholdLabel, ControlId::ThresholdEdit, kDefaultThreshold);
    minimumEdit_ = addField(ControlId::MinimumLabel, ControlId::MinimumEdit, kDefaultMinimum);
    everyEdit_ = addField(ControlId::EveryLabel, ControlId::EveryEdit, kDefaultEvery);
    keepTags_ = new QCheckBox(this);
    RegisterControl(ControlId::KeepTags, keepTags_);
}

void CTolvaneDlg::ConnectSplitTab() {
    const auto clicked = [this](int id, void (CTolvaneDlg::*handler)()) {
        connect(qobject_cast<QAbstractButton*>(GetDlgItem(id)), &QAbstractButton::clicked, this,
                handler);
    };
    clicked(ControlId::CueSheet, &CTolvaneDlg::OnCueSheet);
    clicked(ControlId::FindSilences, &CTolvaneDlg::OnFindSilences);
    clicked(ControlId::Every, &CTolvaneDlg::OnEvery);
    connect(partsList_, &QTableWidget::itemChanged, this, &CTolvaneDlg::OnPartEdited);
    connect(partsList_, &QTableWidget::cellDoubleClicked, this,
            [this](int row, int) { OnPartDoubleClicked(row); });
    // The parts stay in time order: a row moved by hand goes back to its place.
    connect(partsList_, &CCheckListCtrl::rowsMoved, this, &CTolvaneDlg::FillPartsList);
    // What the edits show is what will be used.
    for (QLineEdit* edit : {minimumEdit_, everyEdit_}) {
        connect(edit, &QLineEdit::editingFinished, this,
                [edit] { edit->setText(TimeText(MicrosecondsOf(edit->text()))); });
    }
}

void CTolvaneDlg::SetUpPartsList() {
    for (int column = kNumberColumn; column <= kStatusColumn; ++column)
        partsList_->InsertColumn(column, QString(), 0);
    FitPartsColumns();
    partsList_->InitHeaderCheck();
    partsList_->SetBkColor(QColor(241, 250, 233));
    // F2, or a click on the selected cell, edits a name or a time; a double click plays.
    partsList_->setEditTriggers(QAbstractItemView::EditKeyPressed |
                                QAbstractItemView::SelectedClicked);
}

void CTolvaneDlg::ApplySplitTexts() {
    static constexpr std::pair<int, const char*> kHeaders[] = {
        {kNumberColumn, "fg_number"}, {kNameColumn, "fg_name"},     {kStartColumn, "fg_start"},
        {kEndColumn, "fg_end"},       {kLengthColumn, "fg_length"}, {kStatusColumn, "zt"},
    };
    for (const auto& [column, key] : kHeaders)
        partsList_->SetColumnHeaderText(column, Text("JIEMIAN", key));
    static constexpr std::pair<int, const char*> kCaptions[] = {
        {ControlId::CueSheet, "fg_cue"},
        {ControlId::FindSilences, "fg_silence"},
        {ControlId::Every, "fg_every"},
        {ControlId::KeepTags, "fg_keeptags"},
    };
    for (const auto& [id, key] : kCaptions)
        qobject_cast<QAbstractButton*>(GetDlgItem(id))->setText(Text("JIEMIAN", key));
    Item<QLabel>(ControlId::ThresholdLabel)->setText(Text("JIEMIAN", "fg_threshold"));
    Item<QLabel>(ControlId::MinimumLabel)->setText(Text("JIEMIAN", "fg_minimum"));
    Item<QLabel>(ControlId::EveryLabel)->setText(Text("JIEMIAN", "fg_everylen"));
    LayOutSplitFields();
}

// The times are read whole; the name takes what the others leave of the list's width.
void CTolvaneDlg::FitPartsColumns() {
    const QFontMetrics metrics = partsList_->fontMetrics();
    const int padding = metrics.averageCharWidth();
    const QStyle* style = partsList_->style();
    const int time = metrics.horizontalAdvance(QStringLiteral("00:00:00.000")) + 2 * padding;
    const int number = metrics.horizontalAdvance(QStringLiteral("000")) +
                       style->pixelMetric(QStyle::PM_IndicatorWidth) + 3 * padding;
    const int status = metrics.horizontalAdvance(QStringLiteral("Ready")) + 2 * padding;
    const int scrollBar = style->pixelMetric(QStyle::PM_ScrollBarExtent);
    const int name = std::max(
        partsList_->contentsRect().width() - scrollBar - number - 3 * time - status - 2, time);
    const int widths[] = {number, name, time, time, time, status};
    for (int column = kNumberColumn; column <= kStatusColumn; ++column)
        partsList_->setColumnWidth(column, widths[column]);
}

// The buttons' column widens leftwards for long captions, and the list gives way. The
// field row under the list: each label as wide as its text, its edit after it; the edits
// shrink when a language's labels are long, never below the width of their text.
void CTolvaneDlg::LayOutSplitFields() {
    const int columnRight = units_.ToPixelsX(kButtonsRightDu) - 1;
    int columnLeft = units_.ToPixelsX(kButtonsLeftDu);
    const int buttons[] = {ControlId::CueSheet, ControlId::FindSilences, ControlId::Every};
    for (int id : buttons)
        columnLeft = std::min(columnLeft, columnRight + 1 - GetDlgItem(id)->sizeHint().width());
    for (int id : buttons) {
        QWidget* button = GetDlgItem(id);
        button->setGeometry(columnLeft, button->y(), columnRight - columnLeft + 1,
                            button->height());
    }
    QRect list = partsList_->geometry();
    list.setRight(std::min(units_.ToPixelsX(kListRightDu), columnLeft - units_.ToPixelsX(3)) - 1);
    partsList_->setGeometry(list);
    FitPartsColumns();

    const int gap = units_.ToPixelsX(3);
    const int labelGap = units_.ToPixelsX(2);
    struct Field {
        QLabel* label;
        QLineEdit* edit;
        int width;
        QString widestText;
    };
    const Field fields[] = {
        {Item<QLabel>(ControlId::ThresholdLabel), thresholdEdit_, units_.ToPixelsX(22),
         QStringLiteral("-48.0")},
        {Item<QLabel>(ControlId::MinimumLabel), minimumEdit_, units_.ToPixelsX(52),
         QStringLiteral("00:00:00.000")},
        {Item<QLabel>(ControlId::EveryLabel), everyEdit_, units_.ToPixelsX(52),
         QStringLiteral("00:00:00.000")},
    };
    int labels = 0;
    int edits = 0;
    for (const Field& field : fields) {
        labels += field.label->fontMetrics().horizontalAdvance(field.label->text()) + labelGap;
        edits += field.width;
    }
    const int room = list.width() - labels - 2 * gap;
    const double scale = room < edits ? double(room) / edits : 1.0;
    int x = list.left();
    const int editHeight = thresholdEdit_->height();
    const int y = thresholdEdit_->y();
    for (const Field& field : fields) {
        const int labelWidth = field.label->fontMetrics().horizontalAdvance(field.label->text());
        field.label->setGeometry(x, y, labelWidth, editHeight);
        x += labelWidth + labelGap;
        const int textWidth =
            field.edit->fontMetrics().horizontalAdvance(field.widestText) + kEditMarginsPx;
        const int editWidth = std::max(static_cast<int>(field.width * scale), textWidth);
        field.edit->setGeometry(x, y, editWidth, editHeight);
        x += editWidth + gap;
    }
    keepTags_->resize(std::max(keepTags_->width(), keepTags_->sizeHint().width()),
                      keepTags_->height());
}

// Showing the tab puts the parts on the slider; leaving it gives the slider back to the
// cut tab's range.
void CTolvaneDlg::ShowSplitTab(bool shown) {
    // The split tab's slider is as high as the window template has it, so the parts
    // list fits under it; the cut tab's shows the pictures at their own height.
    slider_->SetTrackDisplayHeight(shown ? units_.ToPixelsY(kSplitSliderHeightDu) : 0);
    if (!shown) {
        slider_->SetMarks({});
        ShowRangeOnSlider(ParseTimeCode(Utf8(startEdit_->text())),
                          ParseTimeCode(Utf8(endEdit_->text())));
        return;
    }
    slider_->SetSelectionMode(0);
    ShowSplitMarks();
}

// A newly loaded file starts without parts.
void CTolvaneDlg::SetSplitSource() {
    const std::string path = Utf8(currentFile_);
    splitParts_.SetSource(OutputBaseName(path).value_or(std::string(InputFileName(path))),
                          CutOutputExtension(path, currentFileProbe_.mislabeled).value_or(""),
                          currentFileProbe_.durationUs);
    FillPartsList();
}

void CTolvaneDlg::FillPartsList() {
    CCheckListCtrl* list = PartsList();
    fillingPartsList_ = true;
    const int selected = list->GetFirstSelectedRow();
    list->DeleteAllRows();
    const auto& rows = splitParts_.rows();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const split::SplitPart& part = rows[i].part;
        const int row = list->AppendRow(
            {QString::number(i + 1), FromUtf8(part.name), TimeText(part.startUs),
             TimeText(part.endUs), TimeText(part.endUs - part.startUs), Text("JIEMIAN", "zb")},
            rows[i].checked);
        list->SetItemToolTip(row, kNameColumn, FromUtf8(part.name));
        for (int column : {kNameColumn, kStartColumn, kEndColumn}) {
            QTableWidgetItem* cell = list->item(row, column);
            cell->setFlags(cell->flags() | Qt::ItemIsEditable);
        }
    }
    if (selected >= 0 && selected < list->GetRowCount())
        list->SetRowSelected(selected, true);
    fillingPartsList_ = false;
    ShowSplitMarks();
}

void CTolvaneDlg::ShowSplitMarks() {
    if (tabs_->currentIndex() != kSplitTab)
        return;
    std::vector<int> marks;
    for (const std::int64_t at : splitParts_.Marks())
        marks.push_back(PerMilleOf(at, splitParts_.lengthUs()));
    slider_->SetMarks(std::move(marks));
}

bool CTolvaneDlg::SplitSourceReady() {
    if (currentFile_.isEmpty()) {
        ShowMessage(Text("TISHI", "qxtjsp"));
        return false;
    }
    return true;
}

// What the user is told about a plan that could not be made, in the user's language
// where the reason has words of its own; the engine's English detail otherwise.
QString CTolvaneDlg::PlanFailureMessage(const split::PlanFailure& failure,
                                        const QString& subject) const {
    switch (failure.error) {
        case split::PlanError::SheetUnreadable:
        case split::PlanError::SheetSyntax:
        case split::PlanError::SheetOtherFile:
        case split::PlanError::SheetIndexOrder:
        case split::PlanError::SheetIndexPastEnd:
        case split::PlanError::SheetNoTracks:
            return Text("TISHI", "fg_cuebad")
                .arg(QDir::toNativeSeparators(subject), FromUtf8(failure.message));
        case split::PlanError::NoPoints:
            return Text("TISHI", "fg_nosilence")
                .arg(ThresholdEdit()->text(), MinimumEdit()->text());
        case split::PlanError::AllSilent:
            return Text("TISHI", "fg_allsilent").arg(ThresholdEdit()->text());
        case split::PlanError::BadLength:
            return Text("TISHI", "fg_badlen")
                .arg(EveryEdit()->text(), TimeText(currentFileProbe_.durationUs));
        case split::PlanError::TooManyParts:
            return Text("TISHI", "fg_toomany").arg(split::kMaxParts);
        case split::PlanError::SourceUnreadable:
            return Text("TISHI", "sbwj")
                .arg(QDir::toNativeSeparators(subject), Text("TISHI", "yy_damaged"));
        default:
            return Text("TISHI", "fg_noplan").arg(FromUtf8(failure.message));
    }
}

void CTolvaneDlg::TakeSplitPlan(split::SplitPlan plan, split::PartNameStyle style,
                                const QString& subject) {
    const split::PlanFailure failure = splitParts_.Take(std::move(plan), style);
    if (failure.error != split::PlanError::None) {
        ShowMessage(PlanFailureMessage(failure, subject));
        return;
    }
    FillPartsList();
}

// --- Making parts -----------------------------------------------------------------------

void CTolvaneDlg::OnSplitHere() {
    if (!SplitSourceReady())
        return;
    const std::int64_t atUs = std::int64_t{currentPositionMs_} * 1000;
    switch (splitParts_.AddSplitPoint(atUs)) {
        case split::PlanError::None:
            FillPartsList();
            return;
        case split::PlanError::TooManyParts:
            ShowMessage(Text("TISHI", "fg_toomany").arg(split::kMaxParts));
            return;
        default:
            ShowMessage(Text("TISHI", "fg_point").arg(TimeText(atUs)));
            return;
    }
}

void CTolvaneDlg::OnCueSheet() {
    if (!JobCommandAllowed() || !SplitSourceReady())
        return;
    const QString filter = Text("JIEMIAN", "fg_cuefiles") + QStringLiteral("|*.cue|") +
                           Text("JIEMIAN", "sywj") + QStringLiteral("(*.*)|*.*|");
    const QStringList chosen = fileChooser_->ChooseFiles(filter);
    if (chosen.isEmpty())
        return;
    const QString sheetPath = chosen.front();
    const split::CueSheetReading reading = split::ReadCueSheet(Utf8(sheetPath));
    split::SplitPlan plan = reading.ok()
                                ? split::PartsFromCueSheet(reading.sheet, Utf8(currentFile_),
                                                           currentFileProbe_.durationUs)
                                : split::SplitPlan{{}, reading.failure};
    TakeSplitPlan(std::move(plan), split::PartNameStyle::TrackTitle, sheetPath);
}

void CTolvaneDlg::OnEvery() {
    if (!SplitSourceReady())
        return;
    EveryEdit()->setText(TimeText(MicrosecondsOf(EveryEdit()->text())));
    TakeSplitPlan(
        split::PartsEvery(MicrosecondsOf(EveryEdit()->text()), currentFileProbe_.durationUs),
        split::PartNameStyle::Numbered, currentFile_);
}

// The file is decoded on a worker while the progress dialog shows how far it has come;
// Cancel there stops the search and leaves the parts as they were.
void CTolvaneDlg::OnFindSilences() {
    if (!JobCommandAllowed() || !SplitSourceReady())
        return;
    bool isNumber = false;
    const double threshold = ThresholdEdit()->text().trimmed().toDouble(&isNumber);
    if (!isNumber || !(threshold < 0.0) || !std::isfinite(threshold)) {
        ShowMessage(Text("TISHI", "fg_threshold"));
        return;
    }
    MinimumEdit()->setText(TimeText(MicrosecondsOf(MinimumEdit()->text())));
    split::SilenceSettings settings;
    settings.thresholdDb = threshold;
    settings.minLengthUs = MicrosecondsOf(MinimumEdit()->text());
    if (settings.minLengthUs <= 0) {
        ShowMessage(Text("TISHI", "fg_minimum"));
        return;
    }
    Stop();
    silenceSearch_.Start(Utf8(currentFile_), settings);
    silenceTimer_.start(kSplitTimerMs);
    CAVConvertDlg& dialog = ProgressDialog();
    dialog.SetStopFlag(&silenceSearch_.stopFlag());
    dialog.SetRunningFileText(
        Text("TISHI", "fg_searching").arg(QFileInfo(currentFile_).fileName()));
    dialog.SetCountText(QString());
    dialog.SetRunningFileProgress(0);
    dialog.SetOverallProgress(0);
    RunModal(dialog);
    silenceTimer_.stop();
    const bool searched = dialog.endReason() == CAVConvertDlg::EndReason::ClosedByOwner;
    if (!searched)
        silenceSearch_.stopFlag() = true;
    const split::SilenceScan scan = silenceSearch_.Finish();
    if (!searched || scan.failure.error == split::PlanError::Cancelled)
        return;  // stopped: the parts stay as they were
    split::SplitPlan plan =
        scan.ok() ? split::PartsAtSilences(scan, settings) : split::SplitPlan{{}, scan.failure};
    TakeSplitPlan(std::move(plan), split::PartNameStyle::Numbered, currentFile_);
}

void CTolvaneDlg::OnSilenceTimer() {
    const int percent = static_cast<int>(silenceSearch_.Progress() * 100);
    CAVConvertDlg& dialog = ProgressDialog();
    dialog.SetRunningFileProgress(percent);
    dialog.SetOverallProgress(percent);
    if (!silenceSearch_.IsRunning()) {
        silenceTimer_.stop();
        CloseProgressDialog();
    }
}

// --- Editing the list -------------------------------------------------------------------

void CTolvaneDlg::OnPartEdited(QTableWidgetItem* item) {
    if (fillingPartsList_ || item == nullptr)
        return;
    const int row = item->row();
    if (row < 0 || std::size_t(row) >= splitParts_.rows().size())
        return;
    const std::size_t index = std::size_t(row);
    QString problem;
    switch (item->column()) {
        case kNumberColumn:
            splitParts_.SetChecked(index, PartsList()->GetCheck(row));
            return;  // the box is the list's own; nothing else changed
        case kNameColumn:
            splitParts_.SetName(index, Utf8(item->text()));
            break;
        case kStartColumn:
        case kEndColumn: {
            const std::int64_t us = MicrosecondsOf(item->text());
            const PartTimeProblem why = item->column() == kStartColumn
                                            ? splitParts_.SetStart(index, us)
                                            : splitParts_.SetEnd(index, us);
            switch (why) {
                case PartTimeProblem::None:
                    break;
                case PartTimeProblem::OutsideFile:
                    problem = Text("TISHI", "fg_outside")
                                  .arg(TimeText(us), TimeText(splitParts_.lengthUs()));
                    break;
                case PartTimeProblem::EmptyPart:
                    problem = Text("TISHI", "fg_empty").arg(row + 1);
                    break;
                case PartTimeProblem::Overlap:
                    problem = Text("TISHI", "fg_overlap").arg(row + 1);
                    break;
            }
            break;
        }
        default:
            return;
    }
    // Written back as understood (or as it was, when refused), after the edit has ended.
    QTimer::singleShot(0, this, [this] { FillPartsList(); });
    if (!problem.isEmpty())
        ShowMessage(problem);
}

void CTolvaneDlg::OnPartDoubleClicked(int row) {
    if (row < 0 || std::size_t(row) >= splitParts_.rows().size() || currentFile_.isEmpty())
        return;
    const split::SplitPart& part = splitParts_.rows()[std::size_t(row)].part;
    PlayStretch(part.startUs / 1000, part.endUs / 1000);
}

// --- Writing the parts ------------------------------------------------------------------

void CTolvaneDlg::OnSplitStart() {
    if (!JobCommandAllowed())
        return;
    UpdateData(true);
    Stop();
    if (!SplitSourceReady())
        return;
    splitRows_ = splitParts_.CheckedRows();
    if (splitRows_.empty()) {
        ShowMessage(Text("TISHI", "fg_noparts"));
        return;
    }
    if (!CheckOutputFolder())
        return;
    runner_.WaitForWorker();
    splitRunner_.Wait();

    split::SplitRequest request;
    request.source = Utf8(currentFile_);
    request.folder = Utf8(outputFolder_);
    request.keepSourceTags = KeepTagsBox()->isChecked();
    for (const std::size_t row : splitRows_)
        request.parts.push_back(splitParts_.rows()[row].part);
    splitJob_ = std::make_unique<split::SplitJob>(std::move(request));
    for (const std::size_t row : splitRows_)
        PartsList()->SetItemText(int(row), kStatusColumn, Text("JIEMIAN", "zb"));

    splitRunner_.Start(*splitJob_);
    splitTimer_.start(kSplitTimerMs);
    CAVConvertDlg& dialog = ProgressDialog();
    dialog.SetStopFlag(&splitJob_->cancelRequested);
    dialog.SetRunningFileText(QString());
    dialog.SetRunningFileProgress(0);
    dialog.SetOverallProgress(0);
    RunModal(dialog);
    splitTimer_.stop();
    if (dialog.endReason() == CAVConvertDlg::EndReason::ClosedByOwner)
        return;  // reported by the timer
    // Cancelled or closed: the part being written is finished and kept.
    splitJob_->cancelRequested = true;
    splitRunner_.Wait();
    ShowSplitRows(true);
    if (!closing_)
        ReportSplit();
}

void CTolvaneDlg::OnSplitTimer() {
    if (!splitJob_)
        return;
    const split::SplitJob& job = *splitJob_;
    const int count = int(job.request().parts.size());
    const int current = std::clamp(job.currentPart.load(), 0, count);
    const QString name =
        current < count ? FromUtf8(job.request().parts[std::size_t(current)].name) : QString();
    const JobProgressView view =
        MakeJobProgressView(name, job.partPercent.load(), current, count, current,
                            {Text("TISHI", "wjwc"), Text("TISHI", "wjwczg"), Text("TISHI", "wj1")});
    CAVConvertDlg& dialog = ProgressDialog();
    if (view.runningFileText)
        dialog.SetRunningFileText(*view.runningFileText);
    dialog.SetCountText(view.countText);
    dialog.SetOverallProgress(job.totalPercent.load());
    if (view.runningFilePercent)
        dialog.SetRunningFileProgress(*view.runningFilePercent);
    if (splitRunner_.IsRunning()) {
        ShowSplitRows(false);
        return;
    }
    splitTimer_.stop();
    splitRunner_.Wait();
    CloseProgressDialog();
    ShowSplitRows(true);
    ReportSplit();
}

// While the split runs, the parts before the one being written are done; once it has
// ended, each row says what became of its part.
void CTolvaneDlg::ShowSplitRows(bool finished) {
    if (!splitJob_)
        return;
    const int current = splitJob_->currentPart.load();
    for (std::size_t i = 0; i < splitRows_.size(); ++i) {
        const int row = int(splitRows_[i]);
        if (row >= PartsList()->GetRowCount())
            continue;
        QString word = Text("JIEMIAN", "zb");
        if (finished) {
            switch (splitJob_->results()[i].outcome) {
                case split::PartOutcome::Written:
                    word = Text("TISHI", "wc");
                    break;
                case split::PartOutcome::Failed:
                    word = Text("TISHI", "sb");
                    break;
                case split::PartOutcome::Pending:
                    break;
            }
        } else if (int(i) < current) {
            word = Text("TISHI", "wc");
        } else if (int(i) == current) {
            word = Text("TISHI", "fg_writing");
        }
        if (PartsList()->GetItemText(row, kStatusColumn) != word)
            PartsList()->SetItemText(row, kStatusColumn, word);
    }
}

QString CTolvaneDlg::SplitFailureMessage() const {
    const auto& results = splitJob_->results();
    for (std::size_t i = 0; i < results.size(); ++i) {
        const split::PartResult& result = results[i];
        if (result.outcome != split::PartOutcome::Failed)
            continue;
        const QString name = FromUtf8(splitJob_->request().parts[i].name);
        QString reason;
        if (!result.namingProblem.empty()) {
            reason = FromUtf8(result.namingProblem);
        } else {
            const JobFailureReading failure =
                ReadJobFailure(result.failureCode, result.failureOnOutput, result.failureStep);
            reason = failure.kind == JobFailureKind::None
                         ? Text("TISHI", "yy_none")
                         : Text("TISHI", "yy_other").arg(FromUtf8(failure.detail));
        }
        return Text("TISHI", "fg_fail").arg(splitRows_[i] + 1).arg(name, reason);
    }
    return Text("TISHI", "jqsb");
}

// The user hears how many parts were written and where; the written parts are unticked,
// so a second Start writes only what is left.
void CTolvaneDlg::ReportSplit() {
    const split::SplitJob& job = *splitJob_;
    const QString folder = QDir::toNativeSeparators(FromUtf8(job.request().folder));
    const int count = int(job.request().parts.size());
    int written = 0;
    for (std::size_t i = 0; i < job.results().size(); ++i) {
        if (job.results()[i].outcome != split::PartOutcome::Written)
            continue;
        ++written;
        splitParts_.SetChecked(splitRows_[i], false);
        PartsList()->SetCheck(int(splitRows_[i]), false);
    }
    if (job.sourceFailureCode() != 0) {
        ShowMessage(
            Text("TISHI", "sbwj")
                .arg(QDir::toNativeSeparators(currentFile_),
                     FromUtf8(
                         ReadJobFailure(job.sourceFailureCode(), false, JobStep::None).detail)));
        return;
    }
    switch (job.outcome()) {
        case split::SplitOutcome::Done:
            ShowMessage(Text("TISHI", "fg_done").arg(written).arg(folder));
            if (openFolderWhenDone_)
                shell_->Open(outputFolderBoxText_);
            return;
        case split::SplitOutcome::Cancelled: {
            QStringList names;
            for (const split::PartResult& result : job.results()) {
                if (result.outcome == split::PartOutcome::Written)
                    names << QFileInfo(FromUtf8(result.path)).fileName();
            }
            // Parts are written in order: a long list is told by its first and last names.
            constexpr qsizetype kNamesShown = 8;
            if (names.size() > kNamesShown)
                names = names.mid(0, 3) + QStringList{QStringLiteral("...")} +
                        names.mid(names.size() - 3);
            ShowMessage(
                Text("TISHI", "fg_cancel").arg(written).arg(count).arg(folder) +
                (names.isEmpty() ? QString() : QLatin1Char('\n') + names.join(QLatin1Char('\n'))));
            return;
        }
        case split::SplitOutcome::Failed:
            ShowMessage(SplitFailureMessage() + QLatin1Char('\n') +
                        Text("TISHI", "fg_written").arg(written).arg(count).arg(folder));
            return;
    }
}

}  // namespace tolvane
