#include "CCheckListCtrl.h"

#include <QApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <algorithm>

#include "BitmapLoader.h"
#include "FocusMark.h"
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
    // The focus mark spans the whole current row, beyond the cells Qt repaints.
    connect(this, &QTableWidget::currentCellChanged, this, [this] { viewport()->update(); });
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab leaves the list for the next control instead of walking its cells.
    setTabKeyNavigation(false);
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

std::vector<int> CCheckListCtrl::SelectedRows() const {
    std::vector<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void CCheckListCtrl::SelectRows(const std::vector<int>& rows, int currentColumn) {
    clearSelection();
    if (rows.empty())
        return;
    selectionModel()->setCurrentIndex(model()->index(rows.front(), std::max(currentColumn, 0)),
                                      QItemSelectionModel::NoUpdate);
    for (int row : rows)
        SetRowSelected(row, true);
    scrollTo(currentIndex());
}

void CCheckListCtrl::MoveRowsToGap(std::vector<int> rows, int gap) {
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    rows.erase(std::remove_if(rows.begin(), rows.end(),
                              [this](int row) { return row < 0 || row >= rowCount(); }),
               rows.end());
    if (rows.empty())
        return;
    gap = std::clamp(gap, 0, rowCount());
    const int currentColumn = currentIndex().column();

    // Each row's cells are taken out whole, so texts, check boxes and tips go along.
    std::vector<std::vector<QTableWidgetItem*>> taken;
    for (int row : rows) {
        std::vector<QTableWidgetItem*> cells;
        for (int column = 0; column < columnCount(); ++column)
            cells.push_back(takeItem(row, column));
        taken.push_back(std::move(cells));
    }
    int destination = gap;
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        removeRow(*it);
        if (*it < gap)
            --destination;
    }
    std::vector<int> placed;
    for (std::size_t i = 0; i < taken.size(); ++i) {
        const int row = destination + int(i);
        insertRow(row);
        for (int column = 0; column < int(taken[i].size()); ++column) {
            if (taken[i][std::size_t(column)])
                setItem(row, column, taken[i][std::size_t(column)]);
        }
        placed.push_back(row);
    }
    SelectRows(placed, currentColumn);
    UpdateHeaderFromRows();
    emit rowsMoved();
}

void CCheckListCtrl::MoveSelectedRows(int step) {
    const std::vector<int> rows = SelectedRows();
    if (rows.empty() || (step < 0 && rows.front() == 0) ||
        (step > 0 && rows.back() == rowCount() - 1)) {
        return;
    }
    // Each selected row trades places with its unselected neighbour; a block of
    // selected rows moves as one.
    const int currentColumn = currentIndex().column();
    std::vector<int> moved;
    const auto moveOne = [&](int row) {
        const int other = row + step;
        for (int column = 0; column < columnCount(); ++column) {
            QTableWidgetItem* mine = takeItem(row, column);
            QTableWidgetItem* theirs = takeItem(other, column);
            setItem(other, column, mine);
            setItem(row, column, theirs);
        }
        moved.push_back(other);
    };
    if (step < 0) {
        for (int row : rows)
            moveOne(row);
    } else {
        for (auto it = rows.rbegin(); it != rows.rend(); ++it)
            moveOne(*it);
    }
    std::sort(moved.begin(), moved.end());
    SelectRows(moved, currentColumn);
    emit rowsMoved();
}

void CCheckListCtrl::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (event->key() == Qt::Key_Space && modifiers == Qt::NoModifier) {
        const int row = currentIndex().row();
        if (row >= 0 && GetCheckState(row) != kNoCheckBox)
            SetCheck(row, !GetCheck(row));
        event->accept();
        return;
    }
    if ((event->key() == Qt::Key_Up || event->key() == Qt::Key_Down) &&
        modifiers == Qt::ControlModifier) {
        MoveSelectedRows(event->key() == Qt::Key_Up ? -1 : 1);
        event->accept();
        return;
    }
    QTableWidget::keyPressEvent(event);
}

// The gap a drop at this point of the viewport goes to: before the row under it when in
// its upper half, after it in the lower half; after the last row below the rows.
int CCheckListCtrl::GapAt(const QPoint& viewportPosition) const {
    if (rowCount() == 0 || viewportPosition.y() < 0)
        return 0;
    const int row = rowAt(viewportPosition.y());
    if (row < 0)
        return rowCount();
    const int middle = rowViewportPosition(row) + rowHeight(row) / 2;
    return viewportPosition.y() < middle ? row : row + 1;
}

void CCheckListCtrl::mousePressEvent(QMouseEvent* event) {
    QTableWidget::mousePressEvent(event);
    pressedRow_ = -1;
    draggingRows_ = false;
    if (event->button() == Qt::LeftButton) {
        pressedRow_ = rowAt(event->position().toPoint().y());
        pressPosition_ = event->position().toPoint();
    }
}

// A drag that starts on a row moves rows instead of extending the selection.
void CCheckListCtrl::mouseMoveEvent(QMouseEvent* event) {
    if (pressedRow_ >= 0 && (event->buttons() & Qt::LeftButton)) {
        const QPoint position = event->position().toPoint();
        if (!draggingRows_ &&
            (position - pressPosition_).manhattanLength() >= QApplication::startDragDistance()) {
            draggingRows_ = true;
        }
        if (draggingRows_) {
            dropGap_ = GapAt(position);
            viewport()->update();
            event->accept();
            return;
        }
    }
    QTableWidget::mouseMoveEvent(event);
}

void CCheckListCtrl::mouseReleaseEvent(QMouseEvent* event) {
    if (!draggingRows_ || event->button() != Qt::LeftButton) {
        pressedRow_ = -1;
        QTableWidget::mouseReleaseEvent(event);
        return;
    }
    const int gap = GapAt(event->position().toPoint());
    std::vector<int> rows = SelectedRows();
    if (std::find(rows.begin(), rows.end(), pressedRow_) == rows.end())
        rows = {pressedRow_};
    draggingRows_ = false;
    pressedRow_ = -1;
    dropGap_ = -1;
    setState(NoState);
    MoveRowsToGap(rows, gap);
    viewport()->update();
    event->accept();
}

// The current row carries the focus mark while the list has the focus; while rows are
// dragged a line shows where they would go.
void CCheckListCtrl::paintEvent(QPaintEvent* event) {
    QTableWidget::paintEvent(event);
    if (hasFocus() && currentRow() >= 0 && !draggingRows_) {
        const int row = currentRow();
        QPainter painter(viewport());
        DrawFocusMark(painter,
                      QRect(0, rowViewportPosition(row), viewport()->width(), rowHeight(row))
                          .adjusted(1, 1, -2, -2));
    }
    if (!draggingRows_ || dropGap_ < 0 || rowCount() == 0)
        return;
    const int last = rowCount() - 1;
    const int edge = dropGap_ <= last ? rowViewportPosition(dropGap_)
                                      : rowViewportPosition(last) + rowHeight(last);
    // Kept two pixels inside, so the line also shows above the first row.
    const int y = std::clamp(edge, 2, std::max(2, viewport()->height() - 3));
    QPainter painter(viewport());
    painter.setPen(QPen(palette().color(QPalette::Highlight), 3));
    painter.drawLine(0, y, viewport()->width(), y);
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
