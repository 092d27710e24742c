// CListPlace: where the user stands in a list: the selected and the ticked rows, each named
// by a key of its own (a reservation or entry number), the current row and the scroll
// position. A window takes it before it fills a list again for another program's change and
// puts it back after, so the reload moves nothing under the user's hand.
#pragma once

#include <QSet>
#include <QString>
#include <functional>

class CXListCtrl;

class CListPlace final {
public:
    // The key of a row of the list; rows whose key is empty are never selected back.
    using RowKey = std::function<QString(int row)>;

    static CListPlace Take(const CXListCtrl* list, const RowKey& key);
    // Selects the rows whose keys were selected (the others are left unselected), ticks the
    // rows whose keys were ticked when `checks` is set, makes the row of the current key
    // current again and scrolls back to where the list was (as far as it still reaches).
    void Restore(CXListCtrl* list, const RowKey& key, bool checks = false) const;

private:
    QSet<QString> m_selected;
    QSet<QString> m_checked;
    QString m_current;
    int m_horizontal = 0;
    int m_vertical = 0;
};
