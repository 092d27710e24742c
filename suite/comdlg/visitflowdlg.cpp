// Reads the day's reservations in time order, resolves patients, units and doctors, and
// shows them in the visit-flow dialog opened by CVeloComDlg::OpenVisitFlowDialog.
#include "suite/comdlg/visitflowdlg.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstring>
#include <map>

#include "recman/recman.h"
#include "suite/comdlg/velocomdlg.h"
#include "suite/dbcall/masterdb.h"
#include "suite/dbcall/patientdb.h"
#include "suite/dbcall/reservationdb.h"
#include "suite/dbcall/velodbsys.h"
#include "suite/text/cp932.h"
#include "suite/tool/date.h"
#include "suite/tool/tools.h"
#include "suite/tool/xlistctrl.h"

namespace {

constexpr uint8_t kStatusBooked = 0;
constexpr uint8_t kStatusCame = 1;
// Category kind of units in the category master.
constexpr const char kUnitKind[] = "1";

constexpr const char* kHeaders[CVisitFlowDlg::kColumnCount] = {"時間",     "患者ID", "氏名",
                                                               "ユニット", "担当医", "来院"};
constexpr int kWidths[CVisitFlowDlg::kColumnCount] = {100, 80, 150, 110, 110, 60};

int OpenTable(CBaseDBCall& table, CVeloDBSys* db) {
    if (db != nullptr && !db->GetDatabaseFolder().empty())
        return table.Open(db->GetDatabaseFolder());
    return table.Open();
}

// Names of codes read once per code; a code the master lacks (or a master that cannot be
// opened) shows as the code itself.
class CNameLookup {
public:
    explicit CNameLookup(CVeloDBSys* db) {
        m_unitsOpen = OpenTable(m_units, db) == 0;
        m_doctorsOpen = OpenTable(m_doctors, db) == 0;
    }

    QString Unit(const std::string& code) {
        if (code.empty()) return QString();
        auto [it, added] = m_unitNames.try_emplace(code);
        if (added) {
            it->second = m_unitsOpen && m_units.GetCategoryData(kUnitKind, code.c_str()) == 0
                             ? Cp932FieldToQString(m_units.m_Data.Name)
                             : QString::fromStdString(code);
        }
        return it->second;
    }

    QString Doctor(const std::string& code) {
        if (code.empty()) return QString();
        auto [it, added] = m_doctorNames.try_emplace(code);
        if (added) {
            it->second = m_doctorsOpen && m_doctors.GetDoctorData(code.c_str()) == 0
                             ? Cp932FieldToQString(m_doctors.m_Data.Name)
                             : QString::fromStdString(code);
        }
        return it->second;
    }

private:
    CCategoryDB m_units;
    CDoctorDB m_doctors;
    bool m_unitsOpen = false;
    bool m_doctorsOpen = false;
    std::map<std::string, QString> m_unitNames;
    std::map<std::string, QString> m_doctorNames;
};

QString TimeText(const std::string& hhmm) {
    if (hhmm.size() != 4) return QString::fromStdString(hhmm);
    return QString::fromStdString(hhmm.substr(0, 2) + ":" + hhmm.substr(2, 2));
}

}  // namespace

int LoadVisitFlow(CVeloDBSys* db, const char* yyyymmdd, std::vector<CVisitFlowRow>* rows) {
    if (rows == nullptr) return recman::kInvalidOperation;
    rows->clear();
    if (!CDate::IsValid(yyyymmdd)) return recman::kInvalidOperation;
    CReservationDB reservations;
    int status = OpenTable(reservations, db);
    if (status != 0) return status;
    CPatientDB patients;
    status = OpenTable(patients, db);
    if (status != 0) return status;
    CNameLookup names(db);

    // Key 6 is ResDate (9) then StartTime (5): start at the day's earliest time.
    char key[sizeof(tagRESERVATIONDB::ResDate) + sizeof(tagRESERVATIONDB::StartTime)] = {};
    SetField(key, sizeof(tagRESERVATIONDB::ResDate), yyyymmdd);
    reservations.SetKey(CReservationDB::kKeyTime);
    reservations.SetKeyBuffer(key, sizeof key);
    const tagRESERVATIONDB& r = reservations.m_Data;
    for (status = reservations.GetGREQ(); status == 0; status = reservations.GetNEXT()) {
        if (std::strncmp(r.ResDate, key, sizeof r.ResDate) != 0) break;
        if (r.Status != kStatusBooked && r.Status != kStatusCame) continue;
        if (r.PatientID[0] == '\0') continue;
        const std::string patientId = FieldText(r.PatientID);
        const int patientStatus = patients.GetPatient1Data(patientId.c_str());
        if (patientStatus == recman::kKeyNotFound) continue;
        if (patientStatus != 0) {
            status = patientStatus;
            break;
        }
        if (patients.m_Data.InactiveFlag != 0) continue;
        CVisitFlowRow row;
        row.reservationNo = FieldText(r.ReservationNo);
        row.patientId = patientId;
        row.startTime = FieldText(r.StartTime);
        row.endTime = FieldText(r.EndTime);
        row.chartNo = Cp932FieldToQString(patients.m_Data.ChartNo);
        row.patientName = Cp932FieldToQString(patients.m_Data.Name);
        row.unitName = names.Unit(FieldText(r.UnitCode));
        row.doctorName = names.Doctor(FieldText(r.DoctorCode));
        row.came = r.Status == kStatusCame;
        rows->push_back(std::move(row));
    }
    if (status == recman::kEndOfFile || status == recman::kKeyNotFound) status = 0;
    return status;
}

CVisitFlowDlg::CVisitFlowDlg(CVeloDBSys* db, const std::string& yyyymmdd, QWidget* parent)
    : QDialog(parent), m_db(db), m_date(yyyymmdd) {
    setWindowTitle(QStringLiteral("来院の流れ - %1").arg(CTools::MakeDate(m_date.c_str())));
    resize(660, 460);
    m_list = new CXListCtrl(this);
    m_list->setObjectName(QString::number(kIdList));
    for (int c = 0; c < kColumnCount; ++c)
        m_list->InsertColumn(c, QString::fromUtf8(kHeaders[c]), kWidths[c]);
    m_summary = new QLabel(this);
    m_summary->setObjectName(QString::number(kIdSummary));
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* close = buttons->addButton(QStringLiteral("閉じる"), QDialogButtonBox::RejectRole);
    close->setObjectName(QString::number(kIdClose));
    connect(close, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_summary);
    layout->addWidget(buttons);
    Refresh();
}

void CVisitFlowDlg::Refresh() {
    std::vector<CVisitFlowRow> rows;
    const int status = LoadVisitFlow(m_db, m_date.c_str(), &rows);
    m_list->DeleteAllItems();
    int came = 0;
    for (const CVisitFlowRow& visit : rows) {
        const int r = m_list->InsertItem(
            m_list->GetItemCount(),
            TimeText(visit.startTime) + QStringLiteral("～") + TimeText(visit.endTime));
        m_list->SetItemText(r, kColChartNo, visit.chartNo);
        m_list->SetItemText(r, kColName, visit.patientName);
        m_list->SetItemText(r, kColUnit, visit.unitName);
        m_list->SetItemText(r, kColDoctor, visit.doctorName);
        m_list->SetItemText(r, kColCame, visit.came ? QStringLiteral("来院") : QString());
        if (visit.came) ++came;
    }
    QString text = QStringLiteral("予約：%1 件　来院：%2 件　未来院：%3 件")
                       .arg(rows.size())
                       .arg(came)
                       .arg(static_cast<int>(rows.size()) - came);
    if (status != 0)
        text += QStringLiteral("　予約データの読み込みに失敗しました（状態 %1）").arg(status);
    m_summary->setText(text);
}

void CVeloComDlg::OpenVisitFlowDialog(CVeloDBSys* db, const char* yyyymmdd, QWidget* parent) {
    const std::string date = yyyymmdd != nullptr && CDate::IsValid(yyyymmdd)
                                 ? std::string(yyyymmdd, 8)
                                 : CDate::ToYmd(CDate::Today());
    CVisitFlowDlg dialog(db, date, parent != nullptr ? parent : QApplication::activeWindow());
    dialog.exec();
}
