// The standby list dialog: its two lists with their filters, the entry buttons, deleting
// several entries at once and handing an entry over for booking.
#include "sheet/standbydlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>

#include "sheet/bookingstrings.h"
#include "sheet/sheetsettings.h"
#include "sheet/rowmark.h"
#include "sheet/standby.h"
#include "sheet/standbyentrydlg.h"
#include "suite/tool/date.h"
#include "suite/tool/messageservice.h"
#include "suite/tool/readfailure.h"
#include "suite/dbcall/velodbsys.h"
#include "suite/tool/listplace.h"
#include "suite/tool/strings.h"
#include "suite/tool/tablewatcher.h"
#include "suite/tool/xlistctrl.h"

namespace velo::sheet {
namespace {

constexpr int kFilterDays = 7;  // the to-pickers start this many days after today
constexpr int kIconSize = kRowMarkSize;
// The tables the lists show: the entries, the reservations they were booked into and the
// cancellations, and the patients' names.
constexpr const char* kStandbyTable = "RESERVATIONSTANDBY.BTR";
constexpr const char* kReservationTable = "RESERVATION.BTR";
constexpr const char* kPatientTable = "PATIENT1.BTR";

QString MessageTitle() { return QStringLiteral("予約キャンセル待ち編集"); }

QPushButton* NewButton(const QString& text, int id, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::number(id));
    button->setAutoDefault(false);
    return button;
}

QDateEdit* NewDatePicker(int id, const QDate& date, QWidget* parent) {
    auto* picker = new QDateEdit(date, parent);
    picker->setObjectName(QString::number(id));
    picker->setCalendarPopup(true);
    picker->setDisplayFormat(QStringLiteral("yyyy/MM/dd"));
    return picker;
}

// The two row icons: a plain mark for open entries and cancellations, a marked one for
// booked entries and patients who did not come.
QIcon RowIconOf(int icon) {
    return RowMark(icon == CStandbyDlg::kIconMarked ? QColor(0xE0, 0x40, 0x40)
                                                    : QColor(0x40, 0x90, 0xE0));
}

// A list column: its heading, its width at the original font, and a typical cell text.
struct ListColumn {
    const char* heading;
    int width;
    const char* sample;
};

CXListCtrl* NewList(int id, std::initializer_list<ListColumn> columns, QWidget* parent) {
    auto* list = new CXListCtrl(parent);
    list->setObjectName(QString::number(id));
    list->setIconSize(QSize(kIconSize, kIconSize));
    for (const ListColumn& column : columns)
        list->AppendFittingColumn(QString::fromUtf8(column.heading), column.width,
                                  QString::fromUtf8(column.sample));
    return list;
}

// Runs `fill` with the wait cursor shown.
void WithWaitCursor(const std::function<void()>& fill) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    fill();
    QApplication::restoreOverrideCursor();
}

}  // namespace

CStandbyDlg::CStandbyDlg(CVeloDBSys* db, int mode, QWidget* parent)
    : QDialog(parent), m_db(db), m_mode(mode) {
    RegisterStandbyStrings();
    RegisterBookingStrings();
    setObjectName(QString::number(kIdDialog));
    setWindowTitle(MessageTitle());
    BuildLayout();
    m_showBooked->setChecked(ReadHostSheetProfile().showReservedPatient != 0);
    ConnectSignals();
    m_opening = true;
    RefillStandbyList();
    RefillCancelledList();
    m_opening = false;
    m_watcher = new CTableWatcher(this);
    connect(m_watcher, &CTableWatcher::changed, this, &CStandbyDlg::ShowChangesOfOthers);
    if (m_db != nullptr && !m_db->GetDatabaseFolder().empty()) {
        m_watcher->WatchTables(m_db->GetDatabaseFolder(),
                               {kStandbyTable, kReservationTable, kPatientTable});
    }
}

void CStandbyDlg::ShowChangesOfOthers(const QStringList& fileNames) {
    // An entry is named by its number; a cancellation by its patient and time.
    const CListPlace::RowKey entry = [this](int row) {
        return QString::number(m_standby->GetItemData(row));
    };
    const CListPlace::RowKey cancellation = [this](int row) {
        return m_cancelled->GetItemText(row, 0) + u'\t' + m_cancelled->GetItemText(row, 2);
    };
    const bool reservations =
        fileNames.contains(kReservationTable) || fileNames.contains(kPatientTable);
    if (reservations || fileNames.contains(kStandbyTable)) {
        const CListPlace place = CListPlace::Take(m_standby, entry);
        RefillStandbyList();
        place.Restore(m_standby, entry);
        UpdateButtons();
    }
    if (reservations) {
        const CListPlace place = CListPlace::Take(m_cancelled, cancellation);
        RefillCancelledList();
        place.Restore(m_cancelled, cancellation);
    }
    emit reloadedForChanges();
}

void CStandbyDlg::BuildLayout() {
    const QDate today = CDate::Today();
    const QDate until = today.addDays(kFilterDays);

    auto* upper = new QGroupBox(QStringLiteral("予約キャンセル待ち患者リスト"), this);
    m_standby = NewList(kIdStandbyList,
                        {{"ＩＤ", 60, "A0000"},
                         {"氏名", 120, ""},
                         {"希望日", 190, "12月31日 14:30 ～ 12月31日 17:00"},
                         {"予約時間", 130, "12月31日 09:30-10:00"},
                         {"連絡欄", 250, ""}},
                        upper);
    m_standby->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_standbyFrom = NewDatePicker(kIdStandbyFrom, today, upper);
    m_standbyTo = NewDatePicker(kIdStandbyTo, until, upper);
    m_showBooked = new QCheckBox(QStringLiteral("予約済み患者も表示する"), upper);
    m_showBooked->setObjectName(QString::number(kIdShowBooked));
    auto* add = NewButton(QStringLiteral("追加"), kIdAdd, upper);
    m_edit = NewButton(QStringLiteral("編集"), kIdEdit, upper);
    m_delete = NewButton(QStringLiteral("削除"), kIdDelete, upper);
    m_book = NewButton(QStringLiteral("予約に追加"), kIdBook, upper);
    connect(add, &QPushButton::clicked, this, &CStandbyDlg::OnAdd);
    auto* upperFilter = new QHBoxLayout;
    upperFilter->addWidget(new QLabel(QStringLiteral("検索"), upper));
    upperFilter->addWidget(m_standbyFrom);
    upperFilter->addWidget(new QLabel(QStringLiteral("～"), upper));
    upperFilter->addWidget(m_standbyTo);
    upperFilter->addWidget(m_showBooked);
    upperFilter->addStretch();
    auto* upperButtons = new QHBoxLayout;
    for (QPushButton* button : {add, m_edit, m_delete, m_book}) upperButtons->addWidget(button);
    upperButtons->addStretch();
    m_standbyNotice = NewReadFailureNotice(upper);
    auto* upperLayout = new QVBoxLayout(upper);
    upperLayout->addLayout(upperFilter);
    upperLayout->addWidget(m_standby, 1);
    upperLayout->addWidget(m_standbyNotice);
    upperLayout->addLayout(upperButtons);

    auto* lower = new QGroupBox(QStringLiteral("キャンセルされた患者"), this);
    m_cancelled = NewList(kIdCancelledList,
                          {{"ＩＤ", 60, "A0000"},
                           {"氏名", 120, ""},
                           {"予約時間", 210, "＊2026年 12月31日 16:30-17:00  30分間"},
                           {"キャンセル理由", 300, ""}},
                          lower);
    m_cancelledFrom = NewDatePicker(kIdCancelledFrom, today, lower);
    m_cancelledTo = NewDatePicker(kIdCancelledTo, until, lower);
    m_noShowOnly = new QCheckBox(QStringLiteral("無断キャンセルのみ表示する"), lower);
    m_noShowOnly->setObjectName(QString::number(kIdNoShowOnly));
    auto* lowerFilter = new QHBoxLayout;
    lowerFilter->addWidget(new QLabel(QStringLiteral("検索"), lower));
    lowerFilter->addWidget(m_cancelledFrom);
    lowerFilter->addWidget(new QLabel(QStringLiteral("～"), lower));
    lowerFilter->addWidget(m_cancelledTo);
    lowerFilter->addWidget(m_noShowOnly);
    lowerFilter->addStretch();
    m_cancelledNotice = NewReadFailureNotice(lower);
    auto* lowerLayout = new QVBoxLayout(lower);
    lowerLayout->addLayout(lowerFilter);
    lowerLayout->addWidget(m_cancelled, 1);
    lowerLayout->addWidget(m_cancelledNotice);
    lowerLayout->addWidget(new QLabel(QStringLiteral("＊印は無断キャンセル（来院していない）"), lower));

    auto* close = NewButton(QStringLiteral("閉じる"), kIdClose, this);
    connect(close, &QPushButton::clicked, this, &CStandbyDlg::OnClose);
    auto* closeRow = new QHBoxLayout;
    closeRow->addStretch();
    closeRow->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(upper, 1);
    layout->addWidget(lower, 1);
    layout->addLayout(closeRow);
    // Wide enough for every column of both lists, the frames and a scroll bar.
    const int columns = std::max(m_standby->TotalColumnWidth(), m_cancelled->TotalColumnWidth());
    resize(std::max(820, columns + 80), 640);
}

void CStandbyDlg::ConnectSignals() {
    connect(m_standbyFrom, &QDateEdit::dateChanged, this, [this] {
        KeepRangeOrdered(m_standbyFrom, m_standbyFrom, m_standbyTo);
        RefillStandbyList();
    });
    connect(m_standbyTo, &QDateEdit::dateChanged, this, [this] {
        KeepRangeOrdered(m_standbyTo, m_standbyFrom, m_standbyTo);
        RefillStandbyList();
    });
    connect(m_cancelledFrom, &QDateEdit::dateChanged, this, [this] {
        KeepRangeOrdered(m_cancelledFrom, m_cancelledFrom, m_cancelledTo);
        RefillCancelledList();
    });
    connect(m_cancelledTo, &QDateEdit::dateChanged, this, [this] {
        KeepRangeOrdered(m_cancelledTo, m_cancelledFrom, m_cancelledTo);
        RefillCancelledList();
    });
    connect(m_showBooked, &QCheckBox::toggled, this, &CStandbyDlg::RefillStandbyList);
    connect(m_noShowOnly, &QCheckBox::toggled, this, &CStandbyDlg::RefillCancelledList);
    connect(m_standby, &QTreeWidget::itemSelectionChanged, this, &CStandbyDlg::UpdateButtons);
    connect(m_standby, &QTreeWidget::itemDoubleClicked, this, [this] {
        if (m_mode == kModeReservation)
            OnBook();
        else
            OnEdit();
    });
    connect(m_edit, &QPushButton::clicked, this, &CStandbyDlg::OnEdit);
    connect(m_delete, &QPushButton::clicked, this, &CStandbyDlg::OnDelete);
    connect(m_book, &QPushButton::clicked, this, &CStandbyDlg::OnBook);
}

// A from-picker moved past its to-picker drags it along, and the other way round; the
// other picker's own change then refills with the same range, which is harmless.
void CStandbyDlg::KeepRangeOrdered(QDateEdit* changed, QDateEdit* from, QDateEdit* to) {
    if (from->date() <= to->date()) return;
    QDateEdit* other = changed == from ? to : from;
    const QSignalBlocker block(other);
    other->setDate(changed->date());
}

void CStandbyDlg::ShowReadOutcome(QLabel* notice, int status, const std::string& failedFile) {
    const QString file = QString::fromStdString(failedFile);
    SetReadFailureNotice(notice, status != 0 ? file : QString());
    if (status == 0) return;
    if (m_opening) {
        if (std::find(m_openingFailures.begin(), m_openingFailures.end(), failedFile) !=
            m_openingFailures.end())
            return;
        m_openingFailures.push_back(failedFile);
    }
    ShowTableReadFailure(this, MessageTitle(), file, status);
}

void CStandbyDlg::RefillStandbyList() {
    std::vector<StandbyRow> rows;
    int status = 0;
    std::string failedFile;
    WithWaitCursor([&] {
        status = LoadStandbyRows(m_db, CDate::ToYmd(m_standbyFrom->date()),
                                 CDate::ToYmd(m_standbyTo->date()), m_showBooked->isChecked(),
                                 &rows, &failedFile);
    });
    m_standby->DeleteAllItems();
    m_rowBooked.clear();
    for (const StandbyRow& row : rows) {
        const int index = m_standby->InsertItem(-1, row.chartNo);
        m_standby->SetItemText(index, 1, row.name);
        m_standby->SetItemText(index, 2, row.wished);
        m_standby->SetItemText(index, 3, row.bookedTime);
        m_standby->SetItemText(index, 4, row.memo);
        m_standby->SetItemData(index, static_cast<quintptr>(row.standbyNo));
        m_standby->topLevelItem(index)->setIcon(0, RowIconOf(row.booked ? kIconMarked : kIconPlain));
        m_rowBooked.push_back(row.booked);
    }
    m_standbyReadStatus = status;
    UpdateButtons();
    ShowReadOutcome(m_standbyNotice, status, failedFile);
}

void CStandbyDlg::RefillCancelledList() {
    std::vector<CancelledRow> rows;
    int status = 0;
    std::string failedFile;
    WithWaitCursor([&] {
        status = LoadCancelledRows(m_db, CDate::ToYmd(m_cancelledFrom->date()),
                                   CDate::ToYmd(m_cancelledTo->date()), m_noShowOnly->isChecked(),
                                   &rows, &failedFile);
    });
    m_cancelled->DeleteAllItems();
    for (const CancelledRow& row : rows) {
        const int index = m_cancelled->InsertItem(-1, row.chartNo);
        m_cancelled->SetItemText(index, 1, row.name);
        m_cancelled->SetItemText(index, 2, row.time);
        m_cancelled->SetItemText(index, 3, row.reason);
        m_cancelled->topLevelItem(index)->setIcon(0,
                                                  RowIconOf(row.noShow ? kIconMarked : kIconPlain));
    }
    ShowReadOutcome(m_cancelledNotice, status, failedFile);
}

std::vector<int> CStandbyDlg::SelectedRows() const {
    std::vector<int> rows;
    for (QTreeWidgetItem* item : m_standby->selectedItems())
        rows.push_back(m_standby->indexOfTopLevelItem(item));
    std::sort(rows.begin(), rows.end());
    return rows;
}

int CStandbyDlg::SingleOpenRow() const {
    if (m_standbyReadStatus != 0) return -1;
    const std::vector<int> rows = SelectedRows();
    if (rows.size() != 1 || m_rowBooked[static_cast<size_t>(rows.front())]) return -1;
    return rows.front();
}

void CStandbyDlg::UpdateButtons() {
    const bool open = SingleOpenRow() >= 0;
    m_edit->setEnabled(open);
    m_book->setEnabled(open);
    m_delete->setEnabled(m_standbyReadStatus == 0 && !SelectedRows().empty());
}

void CStandbyDlg::OnAdd() {
    CStandbyEntryDlg dialog(m_db, 0, this);
    if (dialog.exec() == QDialog::Accepted) RefillStandbyList();
}

void CStandbyDlg::OnEdit() {
    const int row = SingleOpenRow();
    if (row < 0) return;
    CStandbyEntryDlg dialog(m_db, static_cast<int>(m_standby->GetItemData(row)), this);
    if (dialog.exec() == QDialog::Accepted) RefillStandbyList();
}

void CStandbyDlg::OnDelete() {
    std::vector<int> rows = SelectedRows();
    if (rows.empty() || m_standbyReadStatus != 0) return;
    if (CMessageService::MessageBox(this, LoadString(kIdsStandbyDeleteAsk), MessageTitle(),
                                    CMessageService::EIcon::Question,
                                    CMessageService::EButtons::YesNo) != CMessageService::IDYES)
        return;
    // From the highest row down, so each removal leaves the lower indices valid.
    std::sort(rows.rbegin(), rows.rend());
    std::vector<int> numbers;
    for (int row : rows) numbers.push_back(static_cast<int>(m_standby->GetItemData(row)));
    // The rows go only once the deletion is committed; after a failure nothing was deleted
    // and the list is read again, so it never shows fewer entries than the file holds.
    if (DeleteStandbyEntries(m_db, numbers) != 0) {
        CMessageService::MessageBox(this, LoadString(kIdsDeleteFailed), MessageTitle(),
                                    CMessageService::EIcon::Warning);
        RefillStandbyList();
        return;
    }
    for (int row : rows) {
        m_standby->DeleteItem(row);
        m_rowBooked.erase(m_rowBooked.begin() + row);
    }
    UpdateButtons();
}

void CStandbyDlg::OnBook() {
    const int row = SingleOpenRow();
    if (row < 0) return;
    if (m_mode == kModeSheet &&
        CMessageService::MessageBox(this, LoadString(kIdsStandbyBookAsk), MessageTitle(),
                                    CMessageService::EIcon::Question,
                                    CMessageService::EButtons::YesNo) != CMessageService::IDYES)
        return;
    m_chosen = StandbyNoText(static_cast<int>(m_standby->GetItemData(row)));
    accept();
}

void CStandbyDlg::OnClose() {
    m_chosen.clear();
    reject();
}

void CStandbyDlg::done(int result) {
    if (result != QDialog::Accepted) m_chosen.clear();
    WriteShowReservedPatient(m_showBooked->isChecked() ? 1 : 0);
    QDialog::done(result);
}

}  // namespace velo::sheet
