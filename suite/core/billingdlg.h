// The payment screen: the patient's sales with their amounts and received state, where
// staff mark the selected sale received (or take the mark back), opened from the
// appointment sheet through CVeloCore::OnBilling.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "suite/core/saleledger.h"

class CVeloDBSys;
class CXListCtrl;
class QLabel;
class QPushButton;

class CBillingDlg final : public QDialog {
    Q_OBJECT

public:
    // Control ids, also the widgets' object names.
    enum : int {
        kIdList = 1001,
        kIdMarkReceived = 1002,
        kIdClearReceived = 1003,
        kIdStatus = 1004,
        kIdClose = 2,
    };
    // Columns of the list.
    enum EColumn { kColDate, kColSaleNo, kColAmount, kColWithTax, kColReceived, kColumnCount };

    CBillingDlg(CVeloDBSys* db, const std::string& patientId, const QString& patientName,
                QWidget* parent = nullptr);
    CBillingDlg(const CBillingDlg&) = delete;
    CBillingDlg& operator=(const CBillingDlg&) = delete;

    // Re-reads the sales and fills the list, keeping the selected sale selected.
    void Refresh();
    // Sets or clears the received flag of the selected sale and refreshes the list. A
    // failed write shows the update error and leaves the dialog open. Returns the status
    // (0 also when no sale is selected).
    int OnMarkReceived();
    int OnClearReceived();

    const std::vector<CSaleRow>& Rows() const { return m_rows; }

private:
    int SetSelectedReceived(bool received);
    void UpdateButtons();

    CVeloDBSys* m_db;
    std::string m_patientId;
    std::vector<CSaleRow> m_rows;
    CXListCtrl* m_list = nullptr;
    QPushButton* m_mark = nullptr;
    QPushButton* m_clear = nullptr;
    QLabel* m_status = nullptr;
};
