#pragma once
// Report-style file list with grid lines, a check box on every row and full-row
// selection; after InitHeaderCheck() the first column's header box checks or clears
// all rows and follows their state.

#include <QColor>
#include <QPixmap>
#include <QString>
#include <QStringList>
#include <QTableWidget>

#include <vector>

namespace tolvane {

class CCheckHeadCtrl;

class CCheckListCtrl : public QTableWidget {
    Q_OBJECT
  public:
    // A row's check box: none, unchecked, checked (the list's state-image index).
    enum CheckState { kNoCheckBox = 0, kUnchecked = 1, kChecked = 2 };

    explicit CCheckListCtrl(int id, QWidget* parent = nullptr);
    ~CCheckListCtrl() override;

    int controlId() const { return id_; }

    // Header images from picture 292; once only, later calls return true at once.
    bool InitHeaderCheck();
    bool InitHeaderCheck(const QPixmap& headerStrip);
    bool IsHeaderCheckInitialised() const { return initialised_; }
    CCheckHeadCtrl* headerCtrl() const { return header_; }
    // The header box's look (CCheckHeadCtrl::kImage...).
    int GetHeaderImage() const;

    // Columns (all left-aligned). Returns the new column's index.
    int InsertColumn(int column, const QString& headerText, int width);
    void SetColumnHeaderText(int column, const QString& headerText);
    QString GetColumnHeaderText(int column) const;
    int GetColumnWidth(int column) const;

    // Appends a row with one text per column and a checked box; returns its index.
    int AppendRow(const QStringList& texts, bool checked = true);
    QString GetItemText(int row, int column) const;
    void SetItemText(int row, int column, const QString& text);
    // The tip a cell shows (empty: none).
    void SetItemToolTip(int row, int column, const QString& text);
    QString GetItemToolTip(int row, int column) const;

    int GetCheckState(int row) const;  // kNoCheckBox, kUnchecked or kChecked
    bool GetCheck(int row) const { return GetCheckState(row) == kChecked; }
    void SetCheck(int row, bool checked);
    void RemoveCheckBox(int row);

    void DeleteRow(int row);
    void DeleteAllRows();
    int GetRowCount() const { return rowCount(); }

    // -1 when no row is selected.
    int GetFirstSelectedRow() const;
    void SetRowSelected(int row, bool selected);
    // Selects the row, makes it the current (focused) row and shows it.
    void SelectAndFocusRow(int row);

    void SetBkColor(const QColor& colour);
    QColor GetBkColor() const;

    // Reordering by the user: Ctrl+Up / Ctrl+Down move the selected rows one place, and a
    // row dragged with the mouse goes where it is let go (the selected rows, when the
    // dragged one is among them). Rows keep their texts, check boxes and tips.
    // Moves `rows` (old indices, any order) together and in their order so that they
    // stand before old row `gap` (rowCount(): at the end); they stay selected.
    void MoveRowsToGap(std::vector<int> rows, int gap);
    // Moves the selected rows one place up (step -1) or down (+1); nothing when one of
    // them is already at that end.
    void MoveSelectedRows(int step);
    // Where a dragged row would go, as the gap before this row; -1 when no drag is on.
    int DropGap() const { return draggingRows_ ? dropGap_ : -1; }

  signals:
    void rowsMoved();

  protected:
    // Space checks or clears the current row's box, whichever of its cells is current.
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    void OnHeaderCheckToggled(bool checked);
    void UpdateHeaderFromRows();
    QTableWidgetItem* ItemAt(int row, int column);
    std::vector<int> SelectedRows() const;
    void SelectRows(const std::vector<int>& rows, int currentColumn);
    int GapAt(const QPoint& viewportPosition) const;

    int id_;
    CCheckHeadCtrl* header_;
    bool initialised_ = false;
    bool settingAllRows_ = false;
    int pressedRow_ = -1;
    QPoint pressPosition_;
    bool draggingRows_ = false;
    int dropGap_ = -1;
};

}  // namespace tolvane
