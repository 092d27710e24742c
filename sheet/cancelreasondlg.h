// CCancelReasonDlg: "キャンセル理由入力" (1007). Asks for the reason of a cancellation (a
// stored reason or free text of at most 100 bytes) and, on OK, marks the reservation with the
// given status, today's date and the reason in one update. A failed write shows string 1514
// and leaves the dialog open; without a reservation number the dialog ends at once with 0.
#pragma once

#include <QDialog>
#include <cstdint>
#include <string>

class CVeloDBSys;
class QComboBox;

namespace velo::sheet {

class CCancelReasonDlg final : public QDialog {
    Q_OBJECT
public:
    enum ControlId : int {
        kIdDialog = 1007,
        kIdReason = 1070,
        kIdAddReason = 1103,
        kIdOk = 1,
        kIdCancel = 2,
    };
    static constexpr int kReasonMaxBytes = 100;

    CCancelReasonDlg(CVeloDBSys* db, const std::string& reservationNo, uint8_t status,
                     QWidget* parent = nullptr);
    ~CCancelReasonDlg() override;
    CCancelReasonDlg(const CCancelReasonDlg&) = delete;
    CCancelReasonDlg& operator=(const CCancelReasonDlg&) = delete;

    // 0 at once for an empty reservation number; otherwise the dialog's result (1 marked,
    // 2 cancelled).
    int exec() override;

private:
    void FillReasons();
    void OnAddReason();
    void OnOK();

    CVeloDBSys* m_db;
    std::string m_reservationNo;
    uint8_t m_status;
    QComboBox* m_reason = nullptr;
};

}  // namespace velo::sheet
