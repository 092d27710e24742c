#include "sheet/reservedsearchdlg.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QToolBar>
#include <QVBoxLayout>

#include "sheet/contactdlg.h"
#include "sheet/remindermaildlg.h"
#include "sheet/reservation.h"
#include "sheet/rowmark.h"
#include "suite/comdlg/velocomdlg.h"
#include "suite/dbcall/velodbsys.h"
#include "suite/postcard/postcardview.h"
#include "suite/tool/commandicons.h"
#include "suite/tool/date.h"
#include "suite/tool/listplace.h"
#include "suite/tool/messageservice.h"
#include "suite/tool/readfailure.h"
#include "suite/tool/tablewatcher.h"
#include "suite/tool/xlistctrl.h"

namespace velo::sheet {
namespace {

constexpr int kInitialDays = 3;  // the date range opens as today to today + 3

struct ListColumn {
    const char* heading;
    int width;
    const char* sample;
};

constexpr ListColumn kColumns[] = {
    {"ID", 80, "A00000"},
    {"氏名", 150, ""},
    {"予約日", 80, "2026/12/31"},
    {"時間", 80, "12:30"},
    {"自宅電話", 100, "03-1234-5678"},
    {"携帯・PHS", 100, "090-1234-5678"},
    {"確認状況", 80, "確認状況"},
    {"コメント", 120, ""},
    {"連絡方法", 80, "連絡方法"},
    {"最終連絡日", 80, "2026/12/31(木)"},
    {"メールアドレス", 200, "tomoya.hasegawa86@example.com"},
};

// Toolbar commands: id, caption, tooltip, icon's name.
struct ToolCommand {
    int id;
    const char* caption;
    const char* tip;
    const char* icon;
};

constexpr ToolCommand kCommands[] = {
    {CReservedSearchDlg::kIdSearch, "検索実行", "検索実行", "edit-find"},
    {CReservedSearchDlg::kIdSendMail, "Eメール", "メールを送信する", "mail-send"},
    {CReservedSearchDlg::kIdMailSetting, "送信設定", "メール送信の設定を行なう", "configure"},
    {CReservedSearchDlg::kIdContact, "履歴入力", "連絡履歴を入力する", "document-edit-sign"},
    {CReservedSearchDlg::kIdTemplate, "ﾃﾝﾌﾟﾚｰﾄ", "メールのテンプレートを設定する",
     "document-new-from-template"},
    {CReservedSearchDlg::kIdPostcard, "はがき", "はがきの印刷", "document-print"},
    {CReservedSearchDlg::kIdChange, "予約変更", "予約を変更する", "exchange-positions"},
    {CReservedSearchDlg::kIdCancelReservation, "予約取消", "予約を取り消す",
     "view-time-schedule-baselined-remove"},
};

bool NeedsRow(int id) {
    return id == CReservedSearchDlg::kIdContact || id == CReservedSearchDlg::kIdChange ||
           id == CReservedSearchDlg::kIdCancelReservation;
}

QIcon StatusMark(int status) {
    return RowMark(status == static_cast<int>(ResStatus::Came) ? QColor(0x40, 0xB0, 0x60)
                                                              : QColor(0x40, 0x90, 0xE0));
}

template <typename Widget>
Widget* Named(Widget* widget, int id) {
    widget->setObjectName(QString::number(id));
    return widget;
}

}  // namespace

CReservedSearchDlg::CReservedSearchDlg(CVeloDBSys* db, QWidget* parent, bool mailMode)
    : QDialog(parent), m_db(db), m_mailMode(mailMode) {
    setObjectName(QString::number(kIdDialog));
    setWindowTitle(QStringLiteral("予約された患者の検索"));
    setSizeGripEnabled(true);
    BuildLayout();
    // The coming days are what the staff opens the window for: they are listed at once.
    RunSearch();
    // The reservations and the patients' names, telephones and addresses.
    m_watcher = new CTableWatcher(this);
    connect(m_watcher, &CTableWatcher::changed, this, &CReservedSearchDlg::ShowChangesOfOthers);
    if (m_db != nullptr && !m_db->GetDatabaseFolder().empty())
        m_watcher->WatchTables(m_db->GetDatabaseFolder(), {"RESERVATION.BTR", "PATIENT1.BTR"});
}

void CReservedSearchDlg::BuildLayout() {
    auto* toolbar = new QToolBar(this);
    toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    toolbar->setIconSize(QSize(kCommandIconSize, kCommandIconSize));
    BuildToolbar(toolbar);

    m_list = Named(new CXListCtrl(this), kIdList);
    m_list->setIconSize(QSize(kRowMarkSize, kRowMarkSize));
    for (const ListColumn& column : kColumns)
        m_list->AppendFittingColumn(QString::fromUtf8(column.heading), column.width,
                                    QString::fromUtf8(column.sample));
    connect(m_list, &QTreeWidget::itemChanged, this, &CReservedSearchDlg::OnItemChanged);
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &CReservedSearchDlg::UpdateActions);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, [this] { RecordContact(); });

    auto* status = new QStatusBar(this);
    status->setSizeGripEnabled(false);
    m_count = Named(new QLabel(this), kIdCount);
    status->addWidget(m_count);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 0, 4, 0);
    layout->addWidget(toolbar);
    layout->addWidget(BuildConditions());
    layout->addWidget(m_list, 1);
    layout->addWidget(status);
    m_count->setText(QStringLiteral("件数：%1 件").arg(0, 3));
    resize(std::max(900, m_list->TotalColumnWidth() + 40), 600);
}

void CReservedSearchDlg::BuildToolbar(QToolBar* toolbar) {
    for (const ToolCommand& command : kCommands) {
        QAction* action =
            toolbar->addAction(CommandIcon(command.icon), QString::fromUtf8(command.caption));
        action->setObjectName(QString::number(command.id));
        action->setData(command.id);
        action->setToolTip(QString::fromUtf8(command.tip));
        action->setStatusTip(QString::fromUtf8(command.tip));
        const int id = command.id;
        if (NeedsRow(id)) m_rowActions.push_back(action);
        connect(action, &QAction::triggered, this, [this, id] {
            if (id == kIdSearch) {
                RunSearch();
            } else if (id == kIdContact) {
                RecordContact();
            } else if (id == kIdChange) {
                FinishWith(kResultChange);
            } else if (id == kIdCancelReservation) {
                FinishWith(kResultCancel);
            } else if (id == kIdSendMail) {
                SendReminders();
            } else if (id == kIdMailSetting) {
                CVeloComDlg::OpenMailSetting(this);
            } else if (id == kIdTemplate) {
                CVeloComDlg::OpenMailTemplateSetting(0, this);
            } else if (id == kIdPostcard) {
                PrintPostcards();
            }
        });
        if (id == kIdSearch || id == kIdTemplate || id == kIdPostcard) toolbar->addSeparator();
    }
}

QWidget* CReservedSearchDlg::BuildConditions() {
    auto* box = new QGroupBox(this);
    const QDate today = CDate::Today();
    m_byDate = Named(new QRadioButton(QStringLiteral("日付範囲の指定"), box), kIdByDate);
    m_from = Named(new QDateEdit(today, box), kIdFrom);
    m_to = Named(new QDateEdit(today.addDays(kInitialDays), box), kIdTo);
    for (QDateEdit* picker : {m_from, m_to}) {
        picker->setCalendarPopup(true);
        picker->setDisplayFormat(QStringLiteral("yyyy/MM/dd"));
    }
    m_uncontactedOnly = Named(new QCheckBox(QStringLiteral("未連絡のみ"), box), kIdUncontactedOnly);
    m_byName = Named(new QRadioButton(QStringLiteral("患者氏名検索"), box), kIdByName);
    m_nameText = Named(new QLineEdit(box), kIdNameText);
    m_nameText->setMinimumWidth(200);
    // The reading/kanji pair is a group of its own, apart from the two search modes.
    auto* nameKind = new QWidget(box);
    m_byKana = Named(new QRadioButton(QStringLiteral("フリガナ"), nameKind), kIdByKana);
    m_byKanji = Named(new QRadioButton(QStringLiteral("漢字"), nameKind), kIdByKanji);
    auto* nameKindLayout = new QHBoxLayout(nameKind);
    nameKindLayout->setContentsMargins(0, 0, 0, 0);
    nameKindLayout->addWidget(m_byKana);
    nameKindLayout->addWidget(m_byKanji);
    m_byKana->setChecked(true);
    m_byDate->setChecked(true);
    auto* search = Named(new QPushButton(QStringLiteral("検索実行"), box), kIdSearch);
    search->setAutoDefault(false);
    connect(search, &QPushButton::clicked, this, &CReservedSearchDlg::RunSearch);

    m_sender = Named(new QComboBox(box), kIdSender);
    CVeloComDlg::EnumStaffData(m_db, m_sender, "");
    // The staff list leads with "not chosen"; a mail always has a sender, so it goes.
    if (m_sender->count() > 1 && m_sender->itemData(0).toInt() == 0) m_sender->removeItem(0);
    m_sender->setCurrentIndex(0);

    auto* grid = new QGridLayout(box);
    grid->addWidget(m_byDate, 0, 0);
    grid->addWidget(m_from, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("～"), box), 0, 2);
    grid->addWidget(m_to, 0, 3);
    grid->addWidget(m_uncontactedOnly, 0, 4);
    grid->addWidget(new QLabel(QStringLiteral("メール送信者"), box), 0, 6, Qt::AlignRight);
    grid->addWidget(m_sender, 0, 7);
    grid->addWidget(m_byName, 1, 0);
    grid->addWidget(m_nameText, 1, 1, 1, 3);
    grid->addWidget(nameKind, 1, 4);
    grid->addWidget(search, 1, 7);
    grid->setColumnStretch(5, 1);
    return box;
}

void CReservedSearchDlg::SendReminders() {
    // Every sent mail is recorded under the staff member chosen in "メール送信者".
    ReminderRunOptions options = m_reminderOptions;
    options.senderNumber = SenderNumber();
    CReminderMailDlg run(m_db, this, options);
    run.exec();
}

void CReservedSearchDlg::PrintPostcards() {
    std::vector<std::string> patients;
    for (int row : CheckedRows()) patients.push_back(m_rows[m_list->GetItemData(row)].patientId);
    CPostcardView::DoPreview(m_db, patients, 0);
}

void CReservedSearchDlg::RunSearch() {
    ReservedSearchRequest request;
    request.byName = m_byName->isChecked();
    request.from = CDate::ToYmd(m_from->date());
    request.to = CDate::ToYmd(m_to->date());
    request.uncontactedOnly = m_uncontactedOnly->isChecked();
    request.text = m_nameText->text();
    request.byKana = m_byKana->isChecked();
    Search(request);
}

void CReservedSearchDlg::Search(const ReservedSearchRequest& request) {
    m_lastRequest = request;
    // What others changed until now is read by this search.
    if (m_watcher != nullptr) m_watcher->MarkAllSeen();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::string failedTable;
    const int status = SearchReservedPatients(m_db, request, CDate::Today(), &m_rows, &failedTable);
    QApplication::restoreOverrideCursor();
    ShowRows();
    if (status != 0) {
        // An unreadable file must not pass for "nobody found": the status bar says so in place
        // of the count, and the message names the file and what to do.
        const QString file = QString::fromStdString(failedTable);
        m_count->setText(TableReadFailureNotice(file));
        ShowTableReadFailure(this, windowTitle(), file, status);
    }
}

void CReservedSearchDlg::ShowChangesOfOthers() {
    const CListPlace::RowKey reservation = [this](int row) {
        return QString::fromStdString(m_rows[m_list->GetItemData(row)].reservationNo);
    };
    const CListPlace place = CListPlace::Take(m_list, reservation);
    Search(m_lastRequest);
    // Ticks put back are the user's own: no question about a missing address again.
    m_filling = true;
    place.Restore(m_list, reservation, true);
    m_filling = false;
    UpdateActions();
    emit reloadedForChanges();
}

void CReservedSearchDlg::ShowRows() {
    m_filling = true;
    m_list->setUpdatesEnabled(false);
    m_list->DeleteAllItems();
    for (size_t i = 0; i < m_rows.size(); ++i) {
        const ReservedSearchRow& row = m_rows[i];
        const int index = m_list->InsertItem(-1, row.chartNo);
        m_list->SetItemData(index, i);
        m_list->SetCheck(index, false);
        m_list->topLevelItem(index)->setIcon(kColChartNo, StatusMark(row.status));
        m_list->SetItemText(index, kColName, row.name);
        m_list->SetItemText(index, kColDate, row.date);
        m_list->SetItemText(index, kColTime, row.time);
        m_list->SetItemText(index, kColHomeTel, row.homeTel);
        m_list->SetItemText(index, kColMobileTel, row.mobileTel);
        m_list->SetItemText(index, kColMail, row.mail);
        ShowRowContact(index);
    }
    m_list->setUpdatesEnabled(true);
    m_filling = false;
    m_count->setText(QStringLiteral("件数：%1 件").arg(static_cast<int>(m_rows.size()), 3));
    UpdateActions();
}

void CReservedSearchDlg::ShowRowContact(int index) {
    const ReservedSearchRow& row = m_rows[m_list->GetItemData(index)];
    m_list->SetItemText(index, kColContactState, row.contactState);
    m_list->SetItemText(index, kColComment, row.contactComment);
    m_list->SetItemText(index, kColContactMethod, row.contactMethod);
    m_list->SetItemText(index, kColContactDate, row.contactDate);
}

void CReservedSearchDlg::RefreshRow(int index) {
    if (index < 0 || index >= m_list->GetItemCount()) return;
    ReservedSearchRow& row = m_rows[m_list->GetItemData(index)];
    if (RefreshContactColumns(m_db, &row) == 0) ShowRowContact(index);
}

void CReservedSearchDlg::RecordContact() {
    const int index = m_list->GetSelIndex();
    if (index < 0) return;
    CContactDlg dialog(m_db, m_rows[m_list->GetItemData(index)].reservationNo, this);
    if (dialog.exec() == QDialog::Accepted) RefreshRow(index);
}

std::vector<int> CReservedSearchDlg::CheckedRows() const {
    std::vector<int> rows;
    for (int i = 0; i < m_list->GetItemCount(); ++i) {
        if (m_list->GetCheck(i)) rows.push_back(i);
    }
    return rows;
}

int CReservedSearchDlg::SenderNumber() const {
    return m_sender->currentIndex() >= 0 ? m_sender->currentData().toInt() : 0;
}

void CReservedSearchDlg::OnItemChanged(QTreeWidgetItem* item, int column) {
    if (m_filling || column != kColChartNo || !m_mailMode) return;
    const int index = m_list->indexOfTopLevelItem(item);
    if (index < 0 || !m_list->GetCheck(index)) return;
    if (!m_list->GetItemText(index, kColMail).trimmed().isEmpty()) return;
    // A reminder cannot reach a patient without an address.
    CMessageService::MessageBox(
        this, QStringLiteral("指定された患者にはメールアドレスが設定されておりません。"),
        windowTitle(), CMessageService::EIcon::Information);
    m_filling = true;
    m_list->SetCheck(index, false);
    m_filling = false;
}

void CReservedSearchDlg::UpdateActions() {
    const bool row = m_list != nullptr && m_list->GetSelIndex() >= 0;
    for (QAction* action : m_rowActions) action->setEnabled(row);
}

void CReservedSearchDlg::FinishWith(int result) {
    const int index = m_list->GetSelIndex();
    if (index < 0) return;
    const std::string& number = m_rows[m_list->GetItemData(index)].reservationNo;
    const QString refusal = RefusalOfFoundCommand(
        m_db, number, result == kResultChange ? EFoundCommand::kChange : EFoundCommand::kCancel);
    if (!refusal.isEmpty()) {
        CMessageService::MessageBox(this, refusal, windowTitle(), CMessageService::EIcon::Warning);
        return;
    }
    m_chosen = number;
    done(result);
}

void CReservedSearchDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) return;
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (focusWidget() == m_nameText && m_byName->isChecked()) RunSearch();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace velo::sheet
