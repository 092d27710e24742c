#include "sheet/reservedsearch.h"

#include <cstring>
#include <map>
#include <optional>
#include <string_view>

#include "recman/recman.h"
#include "sheet/reservation.h"
#include "suite/comdlg/tablehelpers.h"
#include "suite/comdlg/velosubtools.h"
#include "suite/dbcall/basedbcall.h"
#include "suite/dbcall/patientdb.h"
#include "suite/dbcall/reservationdb.h"
#include "suite/dbcall/tabledb.h"
#include "suite/text/cp932.h"
#include "suite/tool/date.h"
#include "suite/tool/strings.h"
#include "suite/tool/tools.h"

namespace velo::sheet {
namespace {

using comdlg::FieldText;

constexpr int kDefaultContactStates = 3;
constexpr const char* kDefaultContactNames[kDefaultContactStates] = {"未", "不通", "済み"};
// Name mode reaches every reservation from today on.
constexpr char kLastDay[] = "99999999";

bool StartsWith(std::string_view field, const std::string& prefix) {
    return field.substr(0, prefix.size()) == prefix;
}

QString DateText(const std::string& ymd) {
    const QDate day = CDate::FromYmd(ymd.c_str());
    return day.isValid() ? day.toString(QStringLiteral("yyyy/MM/dd")) : QString();
}

QString StartText(const char* startTime) {
    const int hhmm = ParseTimeField(startTime);
    return QString::asprintf("%02d:%02d", hhmm / 100, hhmm % 100);
}

void FillContactColumns(const tagRESERVATIONDB& r, const QStringList& states,
                        ReservedSearchRow* row) {
    const int state = r.ContactStatus;
    row->contactState = state < states.size() ? states[state] : QString();
    row->contactComment = Cp932FieldToQString(r.ContactComment);
    row->contactMethod = state != 0 ? ContactMethodName(r.ContactMethod) : QString();
    row->contactDate = CTools::MakeDate(FieldText(r.ContactDate).c_str());
}

// Patients of one search, each read once.
class CPatientCache {
public:
    explicit CPatientCache(CPatient1DB& table) : m_table(table) {}

    // Finds the patient: *patient is null when the patient is not in the file. Returns 0 or
    // the status of a read that failed otherwise.
    int Find(const std::string& id, const tagPATIENT1DB** patient) {
        auto it = m_found.find(id);
        if (it == m_found.end()) {
            const int status = m_table.GetPatient1Data(id.c_str());
            if (status != recman::kOk && status != recman::kKeyNotFound) return status;
            const bool exists = status == recman::kOk;
            it = m_found.emplace(id, exists ? std::optional(m_table.m_Data) : std::nullopt).first;
        }
        *patient = it->second ? &*it->second : nullptr;
        return recman::kOk;
    }

private:
    CPatient1DB& m_table;
    std::map<std::string, std::optional<tagPATIENT1DB>> m_found;
};

bool PatientMatches(const ReservedSearchRequest& request, const std::string& typed,
                    const tagPATIENT1DB& patient) {
    if (!request.byName) return true;
    const std::string field = request.byKana ? FieldText(patient.Kana) : FieldText(patient.Name);
    return StartsWith(field, typed);
}

int Search(CVeloDBSys* db, const ReservedSearchRequest& request, const std::string& from,
           const std::string& to, std::vector<ReservedSearchRow>* out, std::string* failedTable) {
    CReservationDB reservations;
    CPatient1DB patientTable;
    *failedTable = reservations.GetFileName();
    int status = reservations.SetAssociatedDB(db);
    if (status != recman::kOk) return status;
    *failedTable = patientTable.GetFileName();
    status = patientTable.SetAssociatedDB(db);
    if (status != recman::kOk) return status;
    CPatientCache patients(patientTable);
    const QStringList states = ContactStatusNames();
    const std::string typed = QStringToCp932(request.text);

    reservations.SetKey(CReservationDB::kKeyTime);
    const ReservationDateKey key = ReservationDateKey::Make(from.c_str(), "");
    reservations.SetKeyBuffer(&key, sizeof key);
    *failedTable = reservations.GetFileName();
    for (status = reservations.GetGREQ(); status == recman::kOk; status = reservations.GetNEXT()) {
        const tagRESERVATIONDB& r = reservations.m_Data;
        const std::string day = FieldText(r.ResDate);
        if (day > to) break;
        const std::string patientId = FieldText(r.PatientID);
        if (patientId.empty()) continue;  // blocked time
        if (!request.byName && request.uncontactedOnly && r.ContactStatus != 0) continue;
        if (r.Status > static_cast<uint8_t>(ResStatus::Came)) continue;
        const tagPATIENT1DB* patient = nullptr;
        if (const int read = patients.Find(patientId, &patient); read != recman::kOk) {
            *failedTable = patientTable.GetFileName();
            return read;
        }
        if (patient == nullptr || patient->InactiveFlag == 1) continue;
        if (!PatientMatches(request, typed, *patient)) continue;

        ReservedSearchRow row;
        row.patientId = patientId;
        row.reservationNo = FieldText(r.ReservationNo);
        row.status = r.Status;
        row.chartNo = Cp932FieldToQString(patient->ChartNo);
        row.name = Cp932FieldToQString(patient->Name);
        row.date = DateText(day);
        row.time = StartText(r.StartTime);
        row.homeTel = Cp932FieldToQString(patient->HomeTel);
        row.mobileTel = Cp932FieldToQString(patient->MobileTel);
        row.mail = Cp932FieldToQString(patient->Email);
        FillContactColumns(r, states, &row);
        out->push_back(std::move(row));
    }
    if (status == recman::kEndOfFile || status == recman::kKeyNotFound) status = recman::kOk;
    if (status == recman::kOk) failedTable->clear();
    return status;
}

}  // namespace

QString ContactStatusName(int state) {
    const QString fallback = state >= 0 && state < kDefaultContactStates
                                 ? QString::fromUtf8(kDefaultContactNames[state])
                                 : QString();
    const std::string key = "ContactStatusName" + std::to_string(state);
    return CVeloSubTools::GetGlobalSettingString("Reservation", key.c_str(), fallback);
}

QStringList ContactStatusNames() {
    const int count = CVeloSubTools::GetGlobalSettingInt("Reservation", "ContactStatusCount",
                                                         kDefaultContactStates);
    QStringList names;
    for (int i = 0; i < count; ++i) names << ContactStatusName(i);
    return names;
}

QString ContactMethodName(int method) {
    return method == kContactByMail ? QStringLiteral("Email") : QStringLiteral("電話");
}

int SearchReservedPatients(CVeloDBSys* db, const ReservedSearchRequest& request,
                           const QDate& today, std::vector<ReservedSearchRow>* out,
                           std::string* failedTable) {
    out->clear();
    const std::string from = request.byName ? CDate::ToYmd(today) : request.from;
    const std::string to = request.byName ? std::string(kLastDay) : request.to;
    std::string failed;
    const int status = CBaseDBCall::ReadConsistently([&] {
        out->clear();
        return Search(db, request, from, to, out, &failed);
    });
    if (failedTable != nullptr) *failedTable = failed;
    return status;
}

int ReadContact(CVeloDBSys* db, const std::string& reservationNo, ContactRecord* out) {
    CReservationDB reservations;
    int status = reservations.SetAssociatedDB(db);
    if (status != recman::kOk) return status;
    status = reservations.GetReservationData(reservationNo.c_str());
    if (status != recman::kOk) return status;
    const tagRESERVATIONDB& r = reservations.m_Data;
    *out = ContactRecord();
    out->date = CDate::FromYmd(FieldText(r.ContactDate).c_str());
    out->state = r.ContactStatus;
    out->comment = Cp932FieldToQString(r.ContactComment);
    out->method = r.ContactMethod == kContactByMail ? kContactByMail : kContactByTelephone;
    return recman::kOk;
}

int SaveContact(CVeloDBSys* db, const std::string& reservationNo, const ContactRecord& contact) {
    return CBaseDBCall::RunInTransaction([&] {
        CReservationDB reservations;
        int status = reservations.SetAssociatedDB(db);
        if (status != recman::kOk) return status;
        status = reservations.GetReservationData(reservationNo.c_str());
        if (status != recman::kOk) return status;
        tagRESERVATIONDB& r = reservations.m_Data;
        std::memset(r.ContactDate, 0, sizeof r.ContactDate);
        std::memset(r.ContactComment, 0, sizeof r.ContactComment);
        r.ContactStatus = static_cast<uint8_t>(contact.state);
        if (contact.state != 0) {
            SetField(r.ContactDate, CDate::ToYmd(contact.date).c_str());
            SetCp932Field(r.ContactComment, sizeof r.ContactComment, contact.comment);
            r.ContactMethod = static_cast<uint8_t>(contact.method);
        } else {
            r.ContactMethod = kContactByTelephone;
        }
        return reservations.Update();
    });
}

int RefreshContactColumns(CVeloDBSys* db, ReservedSearchRow* row) {
    CReservationDB reservations;
    int status = reservations.SetAssociatedDB(db);
    if (status != recman::kOk) return status;
    status = reservations.GetReservationData(row->reservationNo.c_str());
    if (status != recman::kOk) return status;
    FillContactColumns(reservations.m_Data, ContactStatusNames(), row);
    return recman::kOk;
}

QString RefusalOfFoundCommand(CVeloDBSys* db, const std::string& reservationNo,
                              EFoundCommand command) {
    RegisterStrings({
        {kIdsCameNoChange,
         "来院済みの予約は変更できません。\n"
         "予約表で来院済みのチェックを外してから変更してください。"},
        {kIdsCameNoCancel,
         "来院済みの予約は取り消せません。\n"
         "予約表で来院済みのチェックを外してから取り消してください。"},
    });
    CReservationDB reservations;
    if (reservations.SetAssociatedDB(db) != recman::kOk ||
        reservations.GetReservationData(reservationNo.c_str()) != recman::kOk ||
        reservations.m_Data.Status != static_cast<uint8_t>(ResStatus::Came))
        return QString();
    return LoadString(command == EFoundCommand::kChange ? kIdsCameNoChange : kIdsCameNoCancel);
}

QDate ReservationDay(CVeloDBSys* db, const std::string& reservationNo) {
    CReservationDB reservations;
    if (reservations.SetAssociatedDB(db) != recman::kOk ||
        reservations.GetReservationData(reservationNo.c_str()) != recman::kOk)
        return QDate();
    return CDate::FromYmd(FieldText(reservations.m_Data.ResDate).c_str());
}

}  // namespace velo::sheet
