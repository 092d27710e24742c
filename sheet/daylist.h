// The sheet's list of the shown day's reservations ("当日の予約一覧："): five columns (time
// with the came mark, name, unit, treatment, doctor), one row per booked or came
// reservation, and a check box that shows and sets "came". The rows come from the day's
// loaded data; the list keeps each row's reservation number, patient and status so that
// the window's commands know their target. Ticking a box only reports it: the window
// decides, and calls SetCame or reloads when the change is refused.
#pragma once

#include <QLabel>
#include <QWidget>
#include <vector>

#include "sheet/sheetdata.h"
#include "suite/tool/xlistctrl.h"

namespace velo::sheet {

// Column headings and widths of the list.
struct DayListColumn {
    const char* heading;
    int width;
};
extern const DayListColumn kDayListColumns[5];

class CDayList final : public QWidget {
    Q_OBJECT
public:
    explicit CDayList(QWidget* parent = nullptr);
    CDayList(const CDayList&) = delete;
    CDayList& operator=(const CDayList&) = delete;

    // Replaces the rows. Only Booked (0) and Came (1) reservations are listed; the check box
    // of each row shows its came flag. Fills without reporting any check change.
    void SetRows(const std::vector<DayListRow>& rows);
    void Clear();

    int RowCount() const { return static_cast<int>(m_rows.size()); }
    // The entry of a row, or null for a row that does not exist.
    const DayListRow* Entry(int row) const;
    int SelectedRow() const { return m_list->GetSelIndex(); }
    const DayListRow* SelectedEntry() const { return Entry(SelectedRow()); }
    // Selects the row of a reservation number; false (selection cleared) when not listed.
    bool SelectReservation(const std::string& reservationNo);

    bool IsCame(int row) const;
    // Sets a row's box and came flag without reporting it (after the view accepted or
    // refused a change). False for a row that does not exist.
    bool SetCame(int row, bool came);

    CXListCtrl* List() const { return m_list; }

signals:
    // The user ticked (true) or cleared (false) a row's box.
    void CameToggled(int row, bool came);
    void SelectionChanged(int row);
    void RowDoubleClicked(int row);
    // Right click on a selected row with an entry.
    void ContextMenuWanted(int row, const QPoint& globalPos);

private:
    void OnItemChanged(QTreeWidgetItem* item, int column);

    QLabel* m_caption = nullptr;
    CXListCtrl* m_list = nullptr;
    std::vector<DayListRow> m_rows;
    bool m_filling = false;
};

}  // namespace velo::sheet
