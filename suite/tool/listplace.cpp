// Taking and restoring a list's selection, ticks and scroll position across a refill.
#include "suite/tool/listplace.h"

#include <QItemSelectionModel>
#include <QScrollBar>

#include "suite/tool/xlistctrl.h"

CListPlace CListPlace::Take(const CXListCtrl* list, const RowKey& key) {
    CListPlace place;
    for (int row = 0; row < list->GetItemCount(); ++row) {
        const QTreeWidgetItem* item = list->topLevelItem(row);
        if (item->isSelected()) place.m_selected.insert(key(row));
        if (list->GetCheck(row)) place.m_checked.insert(key(row));
        if (item == list->currentItem()) place.m_current = key(row);
    }
    place.m_horizontal = list->horizontalScrollBar()->value();
    place.m_vertical = list->verticalScrollBar()->value();
    return place;
}

void CListPlace::Restore(CXListCtrl* list, const RowKey& key, bool checks) const {
    for (int row = 0; row < list->GetItemCount(); ++row) {
        const QString k = key(row);
        QTreeWidgetItem* item = list->topLevelItem(row);
        if (!k.isEmpty() && k == m_current) {
            list->selectionModel()->setCurrentIndex(list->indexFromItem(item),
                                                    QItemSelectionModel::NoUpdate);
        }
        item->setSelected(!k.isEmpty() && m_selected.contains(k));
        if (checks && !k.isEmpty() && m_checked.contains(k)) list->SetCheck(row, true);
    }
    // The scroll ranges follow the new rows only once they are laid out.
    list->doItemsLayout();
    list->horizontalScrollBar()->setValue(m_horizontal);
    list->verticalScrollBar()->setValue(m_vertical);
}
