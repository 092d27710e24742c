// CXListCtrl: a report-style list (rows of columns) with the row/column calls the suite's
// windows use: full-row single selection, a grid look, per-row data and optional check
// boxes in the first column. Rows and columns count from 0.
#pragma once

#include <QTreeWidget>

class CXListCtrl final : public QTreeWidget {
    Q_OBJECT
public:
    explicit CXListCtrl(QWidget* parent = nullptr);
    CXListCtrl(const CXListCtrl&) = delete;
    CXListCtrl& operator=(const CXListCtrl&) = delete;

    // The selected row, or -1.
    int GetSelIndex() const;
    // Selects the row (-1 clears the selection).
    void SetSelIndex(int row);

    // Inserts a column at `column` (appended when past the end); returns its index.
    int InsertColumn(int column, const QString& heading, int width);
    int GetColumnCount() const { return columnCount(); }
    // Appends a column `width` pixels wide, or wider when `sample` (a typical cell text)
    // needs more in the list's font, so dates and times stay whole whatever font size the
    // desktop gives. The first column also makes room for a check box and the row icon.
    int AppendFittingColumn(const QString& heading, int width, const QString& sample);
    // The widths of all columns together.
    int TotalColumnWidth() const;

    // Inserts a row with the first column's text at `row` (appended when past the end or
    // negative); returns its index.
    int InsertItem(int row, const QString& text);
    // Set/get a cell; false / "" for a row or column that does not exist.
    bool SetItemText(int row, int column, const QString& text);
    QString GetItemText(int row, int column) const;
    bool SetItemData(int row, quintptr data);
    quintptr GetItemData(int row) const;
    int GetItemCount() const { return topLevelItemCount(); }
    bool DeleteItem(int row);
    void DeleteAllItems();

    // Check box of the row (shown from the first SetCheck on).
    bool SetCheck(int row, bool checked);
    bool GetCheck(int row) const;

private:
    QTreeWidgetItem* Row(int row) const;
};
