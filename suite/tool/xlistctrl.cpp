// CXListCtrl over QTreeWidget: top-level items are the rows.
#include "suite/tool/xlistctrl.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QStyle>
#include <algorithm>

namespace {
constexpr int kDataRole = Qt::UserRole + 1;
}

CXListCtrl::CXListCtrl(QWidget* parent) : QTreeWidget(parent) {
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setAlternatingRowColors(true);
    setColumnCount(0);
    // Grid lines between cells; an item style sheet also takes over the selection's
    // drawing, so the selected row is marked here too, also while the focus is elsewhere.
    setStyleSheet(
        QStringLiteral("QTreeView::item { border-right: 1px solid #d0d0d0; "
                       "border-bottom: 1px solid #d0d0d0; }"
                       " QTreeView::item:selected { background: #3874d8; color: white; }"));
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
}

QTreeWidgetItem* CXListCtrl::Row(int row) const {
    return (row >= 0 && row < topLevelItemCount()) ? topLevelItem(row) : nullptr;
}

int CXListCtrl::GetSelIndex() const {
    const QList<QTreeWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? -1 : indexOfTopLevelItem(selected.first());
}

void CXListCtrl::SetSelIndex(int row) {
    QTreeWidgetItem* item = Row(row);
    if (item == nullptr) {
        clearSelection();
        return;
    }
    setCurrentItem(item);
    item->setSelected(true);
}

int CXListCtrl::AppendFittingColumn(const QString& heading, int width, const QString& sample) {
    constexpr int kCellPadding = 16;
    // The first column also holds the row's check box and icon.
    const int icon = columnCount() == 0
                         ? style()->pixelMetric(QStyle::PM_IndicatorWidth) + iconSize().width() + 12
                         : 0;
    const int fit = QFontMetrics(font()).horizontalAdvance(sample) + kCellPadding + icon;
    return InsertColumn(columnCount(), heading, std::max(width, fit));
}

int CXListCtrl::TotalColumnWidth() const {
    int total = 0;
    for (int i = 0; i < columnCount(); ++i) total += columnWidth(i);
    return total;
}

int CXListCtrl::InsertColumn(int column, const QString& heading, int width) {
    const int count = columnCount();
    if (column < 0 || column > count) column = count;
    QStringList headings;
    for (int i = 0; i < count; ++i) headings << headerItem()->text(i);
    headings.insert(column, heading);
    QList<int> widths;
    for (int i = 0; i < count; ++i) widths << columnWidth(i);
    widths.insert(column, width);

    setColumnCount(count + 1);
    // Move existing cells one column to the right of the new one.
    for (int r = 0; r < topLevelItemCount(); ++r) {
        QTreeWidgetItem* item = topLevelItem(r);
        for (int c = count; c > column; --c) item->setText(c, item->text(c - 1));
        item->setText(column, QString());
    }
    setHeaderLabels(headings);
    for (int i = 0; i <= count; ++i) setColumnWidth(i, widths[i]);
    return column;
}

int CXListCtrl::InsertItem(int row, const QString& text) {
    const int count = topLevelItemCount();
    if (row < 0 || row > count) row = count;
    auto* item = new QTreeWidgetItem();
    item->setText(0, text);
    item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
    insertTopLevelItem(row, item);
    return row;
}

bool CXListCtrl::SetItemText(int row, int column, const QString& text) {
    QTreeWidgetItem* item = Row(row);
    if (item == nullptr || column < 0 || column >= std::max(1, columnCount())) return false;
    item->setText(column, text);
    return true;
}

QString CXListCtrl::GetItemText(int row, int column) const {
    QTreeWidgetItem* item = Row(row);
    if (item == nullptr || column < 0 || column >= std::max(1, columnCount())) return QString();
    return item->text(column);
}

bool CXListCtrl::SetItemData(int row, quintptr data) {
    QTreeWidgetItem* item = Row(row);
    if (item == nullptr) return false;
    item->setData(0, kDataRole, QVariant::fromValue<quintptr>(data));
    return true;
}

quintptr CXListCtrl::GetItemData(int row) const {
    QTreeWidgetItem* item = Row(row);
    return item ? item->data(0, kDataRole).value<quintptr>() : 0;
}

bool CXListCtrl::DeleteItem(int row) {
    QTreeWidgetItem* item = Row(row);
    if (item == nullptr) return false;
    delete takeTopLevelItem(row);
    return true;
}

void CXListCtrl::DeleteAllItems() { clear(); }

bool CXListCtrl::SetCheck(int row, bool checked) {
    QTreeWidgetItem* item = Row(row);
    if (item == nullptr) return false;
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
    return true;
}

bool CXListCtrl::GetCheck(int row) const {
    QTreeWidgetItem* item = Row(row);
    return item != nullptr && item->checkState(0) == Qt::Checked;
}
