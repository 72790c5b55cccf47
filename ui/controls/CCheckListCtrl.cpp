#include "CCheckListCtrl.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPalette>
#include <algorithm>

#include "BitmapLoader.h"
#include "CCheckHeadCtrl.h"

namespace tolvane {

namespace {

constexpr int kHeaderStripBitmap = 292;
constexpr Qt::ItemFlags kRowFlags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;

}  // namespace

CCheckListCtrl::CCheckListCtrl(int id, QWidget* parent)
    : QTableWidget(parent), id_(id), header_(new CCheckHeadCtrl(this)) {
    setObjectName(QString::number(id));
    setHorizontalHeader(header_);
    header_->setStretchLastSection(false);
    header_->setMinimumSectionSize(0);
    verticalHeader()->hide();
    // Compact rows, as in a report-style list.
    verticalHeader()->setMinimumSectionSize(0);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    setShowGrid(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    // A long path keeps its file name in view.
    setTextElideMode(Qt::ElideMiddle);
    setSortingEnabled(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);

    connect(header_, &CCheckHeadCtrl::headerCheckToggled, this,
            &CCheckListCtrl::OnHeaderCheckToggled);
    // Only check-state changes count as row state changes; text changes do not.
    connect(model(), &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex&, const QModelIndex&, const QList<int>& roles) {
                if (roles.contains(Qt::CheckStateRole))
                    UpdateHeaderFromRows();
            });
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { UpdateHeaderFromRows(); });
}

CCheckListCtrl::~CCheckListCtrl() = default;

bool CCheckListCtrl::InitHeaderCheck() {
    if (initialised_)
        return true;
    return InitHeaderCheck(LoadBitmapResource(kHeaderStripBitmap));
}

bool CCheckListCtrl::InitHeaderCheck(const QPixmap& headerStrip) {
    if (initialised_)
        return true;
    header_->SetImageStrip(headerStrip);
    header_->SetHeaderImage(CCheckHeadCtrl::kImageUnchecked);
    initialised_ = true;
    return true;
}

int CCheckListCtrl::GetHeaderImage() const {
    return header_->GetHeaderImage();
}

int CCheckListCtrl::InsertColumn(int column, const QString& headerText, int width) {
    column = std::clamp(column, 0, columnCount());
    insertColumn(column);
    auto* item = new QTableWidgetItem(headerText);
    item->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setHorizontalHeaderItem(column, item);
    setColumnWidth(column, std::max(width, 0));
    if (column == 0)
        header_->ApplyHeaderImage();
    return column;
}

void CCheckListCtrl::SetColumnHeaderText(int column, const QString& headerText) {
    // Changing the existing item keeps the header box of the first column.
    if (QTableWidgetItem* item = horizontalHeaderItem(column))
        item->setText(headerText);
}

QString CCheckListCtrl::GetColumnHeaderText(int column) const {
    const QTableWidgetItem* item = horizontalHeaderItem(column);
    return item ? item->text() : QString();
}

int CCheckListCtrl::GetColumnWidth(int column) const {
    return columnWidth(column);
}

QTableWidgetItem* CCheckListCtrl::ItemAt(int row, int column) {
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
        return nullptr;
    QTableWidgetItem* cell = item(row, column);
    if (!cell) {
        cell = new QTableWidgetItem();
        cell->setFlags(kRowFlags);
        setItem(row, column, cell);
    }
    return cell;
}

int CCheckListCtrl::AppendRow(const QStringList& texts, bool checked) {
    const int row = rowCount();
    insertRow(row);
    for (int column = 0; column < columnCount(); ++column) {
        auto* cell = new QTableWidgetItem(column < texts.size() ? texts[column] : QString());
        cell->setFlags(column == 0 ? kRowFlags | Qt::ItemIsUserCheckable : kRowFlags);
        if (column == 0)
            cell->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
        setItem(row, column, cell);
    }
    // The new row's check box is a state change like any other.
    UpdateHeaderFromRows();
    return row;
}

QString CCheckListCtrl::GetItemText(int row, int column) const {
    const QTableWidgetItem* cell = item(row, column);
    return cell ? cell->text() : QString();
}

void CCheckListCtrl::SetItemText(int row, int column, const QString& text) {
    if (QTableWidgetItem* cell = ItemAt(row, column))
        cell->setText(text);
}

void CCheckListCtrl::SetItemToolTip(int row, int column, const QString& text) {
    if (QTableWidgetItem* cell = ItemAt(row, column))
        cell->setToolTip(text);
}

QString CCheckListCtrl::GetItemToolTip(int row, int column) const {
    const QTableWidgetItem* cell = item(row, column);
    return cell ? cell->toolTip() : QString();
}

int CCheckListCtrl::GetCheckState(int row) const {
    const QTableWidgetItem* cell = item(row, 0);
    if (!cell)
        return kNoCheckBox;
    const QVariant state = cell->data(Qt::CheckStateRole);
    if (!state.isValid())
        return kNoCheckBox;
    return state.toInt() == Qt::Checked ? kChecked : kUnchecked;
}

void CCheckListCtrl::SetCheck(int row, bool checked) {
    QTableWidgetItem* cell = ItemAt(row, 0);
    if (!cell)
        return;
    cell->setFlags(cell->flags() | Qt::ItemIsUserCheckable);
    cell->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

void CCheckListCtrl::RemoveCheckBox(int row) {
    QTableWidgetItem* cell = ItemAt(row, 0);
    if (!cell)
        return;
    cell->setFlags(cell->flags() & ~Qt::ItemIsUserCheckable);
    cell->setData(Qt::CheckStateRole, QVariant());
}

// Removing rows is not a state change: the header box keeps its look.
void CCheckListCtrl::DeleteRow(int row) {
    if (row >= 0 && row < rowCount())
        removeRow(row);
}

void CCheckListCtrl::DeleteAllRows() {
    setRowCount(0);
}

int CCheckListCtrl::GetFirstSelectedRow() const {
    int first = -1;
    for (const QModelIndex& index : selectionModel()->selectedRows()) {
        if (first < 0 || index.row() < first)
            first = index.row();
    }
    return first;
}

void CCheckListCtrl::SetRowSelected(int row, bool selected) {
    if (row < 0 || row >= rowCount())
        return;
    const auto command = (selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                         QItemSelectionModel::Rows;
    selectionModel()->select(model()->index(row, 0), command);
}

void CCheckListCtrl::SelectAndFocusRow(int row) {
    if (row < 0 || row >= rowCount())
        return;
    const QModelIndex index = model()->index(row, 0);
    selectionModel()->setCurrentIndex(index,
                                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
    scrollTo(index);
}

void CCheckListCtrl::SetBkColor(const QColor& colour) {
    QPalette colours = palette();
    colours.setColor(QPalette::Base, colour);
    setPalette(colours);
}

QColor CCheckListCtrl::GetBkColor() const {
    return palette().color(QPalette::Base);
}

void CCheckListCtrl::OnHeaderCheckToggled(bool checked) {
    if (rowCount() == 0)
        return;
    // Setting every row re-checks the header once at the end instead of once per row;
    // the outcome is the same, as all rows end in the same state.
    settingAllRows_ = true;
    for (int row = 0; row < rowCount(); ++row)
        SetCheck(row, checked);
    settingAllRows_ = false;
    UpdateHeaderFromRows();
}

void CCheckListCtrl::UpdateHeaderFromRows() {
    if (!initialised_ || settingAllRows_)
        return;
    bool allChecked = true;
    for (int row = 0; row < rowCount(); ++row) {
        if (GetCheckState(row) == kUnchecked) {
            allChecked = false;
            break;
        }
    }
    header_->SetHeaderImage(allChecked ? CCheckHeadCtrl::kImageChecked
                                       : CCheckHeadCtrl::kImageUnchecked);
}

}  // namespace tolvane
