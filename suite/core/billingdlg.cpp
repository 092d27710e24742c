// Fills the payment screen's list from the sale file and writes the received flag of the
// chosen sale.
#include "suite/core/billingdlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "suite/core/corestrings.h"
#include "suite/tool/date.h"
#include "suite/tool/messageservice.h"
#include "suite/tool/tools.h"
#include "suite/tool/xlistctrl.h"

namespace {

constexpr const char* kHeaders[CBillingDlg::kColumnCount] = {"売上日", "売上番号", "金額（税抜）",
                                                             "金額（税込）", "入金"};
constexpr int kWidths[CBillingDlg::kColumnCount] = {130, 130, 110, 110, 130};

QString ReceivedText(const CSaleRow& row) {
    if (!row.received) return QStringLiteral("未入金");
    if (!CDate::IsValid(row.receivedDate.c_str())) return QStringLiteral("入金済");
    return QStringLiteral("入金済 ") +
           CDate::FromYmd(row.receivedDate.c_str()).toString(QStringLiteral("yyyy/MM/dd"));
}

}  // namespace

CBillingDlg::CBillingDlg(CVeloDBSys* db, const std::string& patientId, const QString& patientName,
                         QWidget* parent)
    : QDialog(parent), m_db(db), m_patientId(patientId) {
    setWindowTitle(patientName.isEmpty() ? QStringLiteral("入金処理")
                                         : QStringLiteral("入金処理 - %1").arg(patientName));
    resize(660, 380);
    m_list = new CXListCtrl(this);
    m_list->setObjectName(QString::number(kIdList));
    for (int c = 0; c < kColumnCount; ++c)
        m_list->InsertColumn(c, QString::fromUtf8(kHeaders[c]), kWidths[c]);
    m_status = new QLabel(this);
    m_status->setObjectName(QString::number(kIdStatus));

    m_mark = new QPushButton(QStringLiteral("入金済みにする"), this);
    m_mark->setObjectName(QString::number(kIdMarkReceived));
    m_mark->setAutoDefault(false);
    m_clear = new QPushButton(QStringLiteral("入金を取り消す"), this);
    m_clear->setObjectName(QString::number(kIdClearReceived));
    m_clear->setAutoDefault(false);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* close = buttons->addButton(QStringLiteral("閉じる"), QDialogButtonBox::RejectRole);
    close->setObjectName(QString::number(kIdClose));

    auto* row = new QHBoxLayout;
    row->addWidget(m_mark);
    row->addWidget(m_clear);
    row->addStretch(1);
    row->addWidget(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_status);
    layout->addLayout(row);

    connect(m_mark, &QPushButton::clicked, this, &CBillingDlg::OnMarkReceived);
    connect(m_clear, &QPushButton::clicked, this, &CBillingDlg::OnClearReceived);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_list, &CXListCtrl::itemSelectionChanged, this, &CBillingDlg::UpdateButtons);
    Refresh();
}

void CBillingDlg::Refresh() {
    const int selected = m_list->GetSelIndex();
    const std::string selectedNo = selected >= 0 && selected < static_cast<int>(m_rows.size())
                                       ? m_rows[selected].saleNo
                                       : std::string();
    const int status = LoadPatientSales(m_db, m_patientId.c_str(), &m_rows);
    m_list->DeleteAllItems();
    int reselect = m_rows.empty() ? -1 : 0;
    long long unpaid = 0;
    for (size_t i = 0; i < m_rows.size(); ++i) {
        const CSaleRow& sale = m_rows[i];
        const int r =
            m_list->InsertItem(static_cast<int>(i), CTools::MakeDate(sale.saleDate.c_str()));
        m_list->SetItemText(r, kColSaleNo, QString::fromStdString(sale.saleNo));
        m_list->SetItemText(r, kColAmount, CTools::NumericFormat(sale.amount));
        m_list->SetItemText(r, kColWithTax, CTools::NumericFormat(sale.amountWithTax));
        m_list->SetItemText(r, kColReceived, ReceivedText(sale));
        for (int c : {kColAmount, kColWithTax})
            m_list->topLevelItem(r)->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
        if (!sale.received) unpaid += sale.amountWithTax;
        if (!selectedNo.empty() && sale.saleNo == selectedNo) reselect = r;
    }
    m_list->SetSelIndex(reselect);
    QString text = QStringLiteral("件数：%1　未入金合計：%2円")
                       .arg(m_rows.size())
                       .arg(CTools::NumericFormat(unpaid));
    if (status != 0)
        text += QStringLiteral("　売上データの読み込みに失敗しました（状態 %1）").arg(status);
    m_status->setText(text);
    UpdateButtons();
}

int CBillingDlg::OnMarkReceived() { return SetSelectedReceived(true); }

int CBillingDlg::OnClearReceived() { return SetSelectedReceived(false); }

int CBillingDlg::SetSelectedReceived(bool received) {
    const int selected = m_list->GetSelIndex();
    if (selected < 0 || selected >= static_cast<int>(m_rows.size())) return 0;
    const int status = SetSaleReceived(m_db, m_rows[selected].saleNo.c_str(), received,
                                       CDate::ToYmd(CDate::Today()));
    if (status != 0) {
        CMessageService::MessageBox(this, UpdateErrorText(), windowTitle(),
                                    CMessageService::EIcon::Warning);
    }
    Refresh();
    return status;
}

void CBillingDlg::UpdateButtons() {
    const int selected = m_list->GetSelIndex();
    const bool valid = selected >= 0 && selected < static_cast<int>(m_rows.size());
    m_mark->setEnabled(valid && !m_rows[selected].received);
    m_clear->setEnabled(valid && m_rows[selected].received);
}
