// The two entry points of the billing library: read what the screen needs, report a
// patient that cannot be read, and run the dialog on the active window.
#include "suite/core/velocore.h"

#include <QApplication>

#include "recman/recman.h"
#include "suite/core/billingdlg.h"
#include "suite/core/patientinfodlg.h"
#include "suite/core/patientsummary.h"
#include "suite/dbcall/patientdb.h"
#include "suite/dbcall/velodbsys.h"
#include "suite/text/cp932.h"
#include "suite/tool/date.h"
#include "suite/tool/messageservice.h"

namespace {

void ReportPatientError(int status) {
    const QString text =
        status == recman::kKeyNotFound
            ? QStringLiteral("患者データが見つかりません。")
            : QStringLiteral("患者データの読み込みに失敗しました（状態 %1）。").arg(status);
    CMessageService::MessageBox(QApplication::activeWindow(), text, QStringLiteral("患者詳細情報"),
                                CMessageService::EIcon::Warning);
}

QString PatientName(CVeloDBSys* db, const char* patientId) {
    CPatientDB patients;
    const int status = db != nullptr && !db->GetDatabaseFolder().empty()
                           ? patients.Open(db->GetDatabaseFolder())
                           : patients.Open();
    if (status != 0 || patients.GetPatient1Data(patientId) != 0) return QString();
    return Cp932FieldToQString(patients.m_Data.Name, sizeof patients.m_Data.Name);
}

}  // namespace

QString CVeloCore::OnStart(CVeloDBSys* db, const char* patientId) {
    std::vector<CPatientField> fields;
    const int status = LoadPatientFields(db, patientId, CDate::ToYmd(CDate::Today()), &fields);
    if (status != 0) {
        ReportPatientError(status);
        return QString();
    }
    CPatientInfoDlg dialog(fields, QApplication::activeWindow());
    dialog.exec();
    return QString();
}

QString CVeloCore::OnBilling(CVeloDBSys* db, const char* patientId) {
    if (patientId == nullptr || patientId[0] == '\0') {
        ReportPatientError(recman::kKeyNotFound);
        return QString();
    }
    // A sale outlives a deleted patient, so the screen opens even without a patient record.
    CBillingDlg dialog(db, patientId, PatientName(db, patientId), QApplication::activeWindow());
    dialog.exec();
    return QString();
}
