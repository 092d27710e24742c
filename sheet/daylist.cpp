// The day's reservation list over the suite's list control: filling, entries, and the
// check box reported once per user change.
#include "sheet/daylist.h"

#include <QVBoxLayout>

#include "sheet/reservation.h"

namespace velo::sheet {

const DayListColumn kDayListColumns[5] = {
    {"済み・時間", 118}, {"氏名", 120}, {"ユニット", 100}, {"処置", 200}, {"担当医", 120}};

CDayList::CDayList(QWidget* parent) : QWidget(parent) {
    m_caption = new QLabel(QStringLiteral("当日の予約一覧："), this);
    m_list = new CXListCtrl(this);
    m_list->setObjectName(QStringLiteral("1001"));
    for (int c = 0; c < 5; ++c)
        m_list->InsertColumn(c, QString::fromUtf8(kDayListColumns[c].heading),
                             kDayListColumns[c].width);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(m_caption);
    layout->addWidget(m_list, 1);

    connect(m_list, &QTreeWidget::itemChanged, this, &CDayList::OnItemChanged);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this,
            [this] { emit SelectionChanged(SelectedRow()); });
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item, int) {
        emit RowDoubleClicked(m_list->indexOfTopLevelItem(item));
    });
    connect(m_list, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        const int row = SelectedRow();
        if (Entry(row) != nullptr)
            emit ContextMenuWanted(row, m_list->viewport()->mapToGlobal(pos));
    });
}

void CDayList::Clear() {
    m_filling = true;
    m_list->DeleteAllItems();
    m_rows.clear();
    m_filling = false;
}

void CDayList::SetRows(const std::vector<DayListRow>& rows) {
    Clear();
    m_filling = true;
    for (const DayListRow& row : rows) {
        if (row.status != static_cast<uint8_t>(ResStatus::Booked) &&
            row.status != static_cast<uint8_t>(ResStatus::Came))
            continue;
        const int index = m_list->InsertItem(-1, row.columns[0]);
        for (int c = 1; c < 5; ++c) m_list->SetItemText(index, c, row.columns[c]);
        m_list->SetCheck(index, row.came);
        m_rows.push_back(row);
    }
    m_filling = false;
}

const DayListRow* CDayList::Entry(int row) const {
    if (row < 0 || row >= RowCount()) return nullptr;
    return &m_rows[size_t(row)];
}

bool CDayList::SelectReservation(const std::string& reservationNo) {
    for (int row = 0; row < RowCount(); ++row) {
        if (m_rows[size_t(row)].reservationNo == reservationNo) {
            m_list->SetSelIndex(row);
            return true;
        }
    }
    m_list->SetSelIndex(-1);
    return false;
}

bool CDayList::IsCame(int row) const { return m_list->GetCheck(row); }

bool CDayList::SetCame(int row, bool came) {
    if (Entry(row) == nullptr) return false;
    m_filling = true;
    m_list->SetCheck(row, came);
    m_filling = false;
    m_rows[size_t(row)].came = came;
    return true;
}

void CDayList::OnItemChanged(QTreeWidgetItem* item, int column) {
    if (m_filling || column != 0) return;
    const int row = m_list->indexOfTopLevelItem(item);
    if (Entry(row) == nullptr) return;
    const bool came = item->checkState(0) == Qt::Checked;
    if (came == m_rows[size_t(row)].came) return;  // a text change, not the box
    m_rows[size_t(row)].came = came;
    emit CameToggled(row, came);
}

}  // namespace velo::sheet
