// The patient screen: a read-only sheet of one patient's main fields, opened from the
// appointment sheet through CVeloCore::OnStart.
#pragma once

#include <QDialog>
#include <vector>

#include "suite/core/patientsummary.h"

class QLineEdit;

class CPatientInfoDlg final : public QDialog {
    Q_OBJECT

public:
    // Control ids, also the widgets' object names: field i's text box is kIdFirstField + i
    // in the order of LoadPatientFields; 閉じる is IDCANCEL (2).
    enum : int { kIdFirstField = 1100, kIdClose = 2 };

    explicit CPatientInfoDlg(const std::vector<CPatientField>& fields, QWidget* parent = nullptr);
    CPatientInfoDlg(const CPatientInfoDlg&) = delete;
    CPatientInfoDlg& operator=(const CPatientInfoDlg&) = delete;
};
