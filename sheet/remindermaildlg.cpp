#include "sheet/remindermaildlg.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "sheet/reservedsearchdlg.h"
#include "suite/text/cp932.h"
#include "suite/tool/xlistctrl.h"

namespace velo::sheet {
namespace {

std::vector<ReminderRow> RowsOf(const CReservedSearchDlg& search) {
    const CXListCtrl* list = search.List();
    std::vector<ReminderRow> rows;
    for (int i = 0; i < list->GetItemCount(); ++i) {
        ReminderRow row;
        row.checked = list->GetCheck(i);
        const ReservedSearchRow& found = search.Rows()[list->GetItemData(i)];
        row.reservationNo = found.reservationNo;
        row.patientId = found.patientId;
        row.name = list->GetItemText(i, CReservedSearchDlg::kColName);
        row.date = list->GetItemText(i, CReservedSearchDlg::kColDate);
        row.time = list->GetItemText(i, CReservedSearchDlg::kColTime);
        row.mail = list->GetItemText(i, CReservedSearchDlg::kColMail);
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace

CReminderMailDlg::CReminderMailDlg(CVeloDBSys* db, CReservedSearchDlg* search,
                                   ReminderRunOptions options)
    : QDialog(search), m_db(db), m_search(search), m_options(std::move(options)) {
    setWindowTitle(QStringLiteral("メール送信"));
    m_patient = new QLabel(this);
    m_patient->setObjectName(QString::number(kIdPatient));
    m_status = new QLabel(this);
    m_status->setObjectName(QString::number(kIdStatus));
    m_status->setMinimumWidth(380);
    auto* cancel = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
    cancel->setObjectName(QString::number(kIdCancel));
    connect(cancel, &QPushButton::clicked, this, [this] { m_stop = true; });
    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("送信中患者："), this), 0, 0);
    grid->addWidget(m_patient, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("送信状況："), this), 1, 0);
    grid->addWidget(m_status, 1, 1);
    grid->addWidget(cancel, 0, 2, 2, 1, Qt::AlignVCenter);
    grid->setColumnStretch(1, 1);
}

std::string CReminderMailDlg::GetStatusText() const { return QStringToCp932(m_status->text()); }

void CReminderMailDlg::SetStatusText(const std::string& cp932) {
    m_status->setText(Cp932ToQString(cp932));
    // The sessions block while they wait for the server; show the step before they do.
    m_status->repaint();
}

bool CReminderMailDlg::WhileWaiting() {
    QApplication::processEvents();
    return m_stop;
}

void CReminderMailDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (m_started) return;
    m_started = true;
    // The run starts once the window is on the screen, as a queued call of its own.
    QTimer::singleShot(0, this, &CReminderMailDlg::Run);
}

void CReminderMailDlg::reject() {
    // Escape or the window's close box during the run only ask it to stop.
    if (m_running) {
        m_stop = true;
        return;
    }
    QDialog::reject();
}

void CReminderMailDlg::Run() {
    m_running = true;
    ReminderHooks hooks;
    hooks.stopRequested = [this] {
        QApplication::processEvents();
        return m_stop;
    };
    hooks.showPatient = [this](const QString& name) {
        m_patient->setText(name);
        m_patient->repaint();
    };
    hooks.rowMailed = [this](size_t row) {
        const int index = static_cast<int>(row);
        m_search->RefreshRow(index);
        m_search->List()->SetCheck(index, false);
    };
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_result = RunReminderMail(m_db, RowsOf(*m_search), this, hooks, m_options);
    QApplication::restoreOverrideCursor();
    m_running = false;
    accept();
}

}  // namespace velo::sheet
