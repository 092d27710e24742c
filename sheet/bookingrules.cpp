// The read-only booking rules: time strip, overlap, band texts, duplicate window, system
// messages and the planned next visit.
#include "sheet/bookingrules.h"

#include <cstdio>
#include <cstring>

#include "sheet/bookingstrings.h"
#include "sheet/reservation.h"
#include "sheet/timegrid.h"
#include "suite/dbcall/accountdb.h"
#include "suite/dbcall/masterdb.h"
#include "suite/dbcall/patientdb.h"
#include "suite/dbcall/reservationdb.h"
#include "suite/text/cp932.h"
#include "suite/tool/date.h"
#include "suite/tool/strings.h"
#include "suite/tool/tools.h"

namespace velo::sheet {
namespace {

constexpr size_t kMaxDuplicatePatientKey = 10;
constexpr const char* kWeekdays[] = {"日", "月", "火", "水", "木", "金", "土"};

QString MinutesLongWord() {
    RegisterBookingStrings();
    return LoadString(kIdsMinutesLong);
}

QString TwoDigits(int value) { return QString::asprintf("%02d", value); }

QString ClockText(int hhmm, bool clock24) {
    return TwoDigits(DisplayHour(hhmm / 100, clock24)) + ":" + TwoDigits(hhmm % 100);
}

bool ParseYmd(const std::string& ymd, int* y, int* m, int* d) {
    if (ymd.size() < 8 || !CDate::IsValid(ymd.substr(0, 8).c_str())) return false;
    *y = std::stoi(ymd.substr(0, 4));
    *m = std::stoi(ymd.substr(4, 2));
    *d = std::stoi(ymd.substr(6, 2));
    return true;
}

QString WeekdayName(int y, int m, int d) {
    const int weekday = CDate::DayWeek(y, m, d);
    if (weekday < 0 || weekday > 6) return QString();
    return QString::fromUtf8(kWeekdays[weekday]);
}

// Reads the patient's name and inactive mark for the strip; an unreadable patient counts as
// active and nameless.
struct StripPatient {
    QString name;
    bool inactive = false;
};

StripPatient ReadStripPatient(CPatient1DB& patients, const char* patientId) {
    StripPatient result;
    if (patientId[0] == '\0' || !patients.IsOpen()) return result;
    if (patients.GetPatient1Data(patientId) != recman::kOk) return result;
    result.inactive = patients.m_Data.InactiveFlag == 1;
    result.name = Cp932FieldToQString(patients.m_Data.Name, sizeof patients.m_Data.Name);
    return result;
}

}  // namespace

int BandMinutes(int start, int end) {
    return (end / 100 - start / 100) * 60 - start % 100 + end % 100;
}

QString StripTipText(int start, int end, const QString& patientName, bool clock24) {
    const QString name = patientName.isEmpty() ? QStringLiteral("予約不可設定") : patientName;
    return QStringLiteral(" %1-%2 (%3%4)\n %5")
        .arg(ClockText(start, clock24), ClockText(end, clock24))
        .arg(BandMinutes(start, end))
        .arg(MinutesLongWord(), name);
}

namespace {

int LoadStripOnce(CVeloDBSys* db, const StripRequest& request, std::vector<StripItem>* items) {
    items->clear();
    CReservationDB reservations;
    int status = reservations.SetAssociatedDB(db);
    if (status != recman::kOk) return status;
    CPatient1DB patients;  // the name and the inactive mark are in the first part
    patients.SetAssociatedDB(db);  // without it every patient shows nameless and active
    std::string day;
    for (char c : request.day)
        if (c != '/') day += c;
    day = day.substr(0, 8);
    // The column's reservations first, so that their patients are read together.
    std::vector<tagRESERVATIONDB> records;
    status = ForEachReservationOfColumn(
        reservations, request.doctorMode, request.columnCode.c_str(), day.c_str(),
        [&](const tagRESERVATIONDB& record) {
            if (!IsLiveStatus(record.Status)) return true;
            if (!request.editingNo.empty() &&
                FieldText(record.ReservationNo, sizeof record.ReservationNo) == request.editingNo)
                return true;
            records.push_back(record);
            return true;
        });
    if (status != recman::kOk) return status;
    if (patients.IsOpen()) {
        std::vector<std::string> ids;
        for (const tagRESERVATIONDB& record : records)
            ids.push_back(FieldText(record.PatientID, sizeof record.PatientID));
        patients.PrefetchEqual(CPatient1DB::kKeyPatientID, sizeof(tagPATIENT1DB::PatientID), ids);
    }
    for (const tagRESERVATIONDB& record : records) {
        const StripPatient patient = ReadStripPatient(patients, record.PatientID);
        if (patient.inactive) continue;
        StripItem item;
        item.reservationNo = FieldText(record.ReservationNo, sizeof record.ReservationNo);
        item.start = ParseTimeField(record.StartTime);
        item.end = ParseTimeField(record.EndTime);
        item.status = record.Status;
        item.tip = StripTipText(item.start, item.end, patient.name, request.clock24);
        items->push_back(std::move(item));
    }
    return recman::kOk;
}

}  // namespace

int LoadStrip(CVeloDBSys* db, const StripRequest& request, std::vector<StripItem>* items) {
    // One patient read per reservation of the column: one read transaction for them all.
    return CBaseDBCall::ReadConsistently([&] { return LoadStripOnce(db, request, items); });
}

bool BandsOverlap(int start1, int end1, int start2, int end2) {
    const int laterStart = start1 > start2 ? start1 : start2;
    const int earlierEnd = end1 < end2 ? end1 : end2;
    return laterStart < earlierEnd;
}

const StripItem* FindOverlap(const std::vector<StripItem>& items, int start, int end) {
    for (const StripItem& item : items) {
        if (BandsOverlap(start, end, item.start, item.end)) return &item;
    }
    return nullptr;
}

QString BandText(int start, int end, bool clock24) {
    return QStringLiteral("%1 - %2 (%3%4)")
        .arg(ClockText(start, clock24), ClockText(end, clock24))
        .arg(BandMinutes(start, end))
        .arg(MinutesLongWord());
}

QString NoBandText() { return BandText(0, 0, true); }

QString DuplicateDateText(const std::string& yyyymmdd) {
    int y = 0, m = 0, d = 0;
    if (!ParseYmd(yyyymmdd, &y, &m, &d)) return QString();
    return QStringLiteral("%1/%2/%3日 (%4)").arg(y).arg(m).arg(d).arg(WeekdayName(y, m, d));
}

int LoadDuplicateWindow(CVeloDBSys* db, const std::string& patientId, const std::string& day,
                        int days, const std::string& editingNo, bool clock24,
                        std::vector<DuplicateEntry>* entries) {
    entries->clear();
    if (patientId.empty() || patientId.size() > kMaxDuplicatePatientKey) return recman::kOk;
    if (days < 0) days = 0;
    const std::string ymd = day.substr(0, 8);
    const std::string from = CDate::AddDays(ymd.c_str(), -days);
    const std::string to = CDate::AddDays(ymd.c_str(), days);
    if (from.empty() || to.empty()) return recman::kOk;

    CReservationDB reservations;
    int status = reservations.SetAssociatedDB(db);
    if (status != recman::kOk) return status;
    const ReservationPatientKey key = ReservationPatientKey::Make(patientId.c_str(), from.c_str(), "");
    reservations.SetKey(kReservationKeyPatient);
    reservations.SetKeyBuffer(&key, sizeof key);
    status = reservations.GetGREQ();
    while (status == recman::kOk && reservations.IsEOF() == 0) {
        const tagRESERVATIONDB& record = reservations.m_Data;
        if (FieldText(record.PatientID, sizeof record.PatientID) != patientId) break;
        const std::string resDate = FieldText(record.ResDate, sizeof record.ResDate);
        if (resDate > to) break;
        const std::string number = FieldText(record.ReservationNo, sizeof record.ReservationNo);
        if (IsLiveStatus(record.Status) && (editingNo.empty() || number != editingNo)) {
            const int start = ParseTimeField(record.StartTime);
            const int end = ParseTimeField(record.EndTime);
            DuplicateEntry entry;
            entry.reservationNo = number;
            entry.date = DuplicateDateText(resDate);
            entry.time = ClockText(start, clock24) + QStringLiteral(" ～ ") + ClockText(end, clock24);
            entry.length = QStringLiteral("%1分間").arg(BandMinutes(start, end));
            entry.treatment = Cp932FieldToQString(record.Treatment, sizeof record.Treatment);
            entries->push_back(std::move(entry));
        }
        status = reservations.GetNEXT();
    }
    if (status == recman::kEndOfFile || status == recman::kKeyNotFound) return recman::kOk;
    return status;
}

QString DuplicateWarningText(const std::string& resDate, int days,
                             const std::vector<DuplicateEntry>& entries) {
    if (days < 0) days = 0;
    const QString rule(104, QLatin1Char('_'));
    QString table = QStringLiteral("\n") + rule +
                    QStringLiteral("\n\n予約日\t\t時間\t\t所要時間\t\t備考（処置）\n");
    for (const DuplicateEntry& entry : entries) {
        table += entry.date + "\t" + entry.time + "\t" + entry.length + "\t\t" + entry.treatment +
                 "\n";
    }
    table += rule + "\n";

    QString dateText;
    int y = 0, m = 0, d = 0;
    if (ParseYmd(resDate, &y, &m, &d)) {
        dateText = QStringLiteral("%1年%2月%3日 (%4)").arg(y).arg(m).arg(d).arg(WeekdayName(y, m, d));
    }
    return QStringLiteral("指定された予約日[%1]の%2日前後に同じ患者の予約が%3件入っています。")
               .arg(dateText)
               .arg(days)
               .arg(static_cast<int>(entries.size())) +
           table + QStringLiteral("\nこの予約を登録してもよろしいですか。");
}

int LoadPendingPayments(CVeloDBSys* db, const std::string& patientId, const std::string& day,
                        std::vector<PendingPayment>* payments) {
    payments->clear();
    if (patientId.empty() || day.size() < 6) return recman::kOk;
    CContractItemDB items;
    int status = items.SetAssociatedDB(db);
    if (status != recman::kOk) return status;

    // Every due day of the month sorts below day "32", so reading backwards from there
    // starts at the month's last payment whatever its item number.
    char key[sizeof items.m_Data.PatientID + sizeof items.m_Data.DueDate +
             sizeof items.m_Data.ItemNo] = {};
    SetField(key, sizeof items.m_Data.PatientID, patientId.c_str());
    SetField(key + sizeof items.m_Data.PatientID, sizeof items.m_Data.DueDate,
             (day.substr(0, 6) + "32").c_str());
    items.SetKey(CContractItemDB::kKeyPatientDue);
    items.SetKeyBuffer(key, sizeof key);
    status = items.GetLESS();
    while (status == recman::kOk && items.IsEOF() == 0) {
        const tagCONTRACTITEMDB& item = items.m_Data;
        if (FieldText(item.PatientID, sizeof item.PatientID) != patientId) break;
        if (item.BillingFlag == 1 && item.PaidFlag == 0 && item.Amount != 0) {
            payments->push_back({FieldText(item.DueDate, sizeof item.DueDate), item.Amount});
        }
        status = items.GetPREV();
    }
    if (status == recman::kEndOfFile || status == recman::kKeyNotFound) return recman::kOk;
    return status;
}

QStringList SystemMessageLines(bool hasPatient, const std::vector<DuplicateEntry>& entries,
                               const std::vector<PendingPayment>& payments) {
    QStringList lines;
    if (!hasPatient) return lines;
    lines << QStringLiteral("―――　近日の予約履歴　―――");
    for (const DuplicateEntry& entry : entries) {
        lines << QStringLiteral("%1 時間: %2  %3 %4")
                     .arg(entry.date, entry.time, entry.length, entry.treatment);
    }
    if (!payments.empty()) {
        lines << QStringLiteral("―――　 入金予定 　―――");
        for (const PendingPayment& payment : payments) {
            lines << QStringLiteral("%1　金額：%2")
                         .arg(CTools::MakeDate(payment.dueDate.c_str()))
                         .arg(CTools::NumericFormat(payment.amount), 13);
        }
    }
    return lines;
}

std::vector<NextVisitRow> NextVisitRows(CVeloDBSys* db, const tagPATIENTDB& patient) {
    std::vector<NextVisitRow> rows = {{QStringLiteral("時期"), {}},
                                      {QStringLiteral("予定時間"), {}},
                                      {QStringLiteral("内容"), {}},
                                      {QStringLiteral("回収"), {}}};
    if (::strnlen(patient.NextVisitDate, sizeof patient.NextVisitDate) != 8) return rows;

    static const char* const kUnits[] = {"日", "週", "ｶ月", "年"};
    const QString unit = patient.NextIntervalUnit < 4
                             ? QString::fromUtf8(kUnits[patient.NextIntervalUnit])
                             : QString();
    rows[0].value = QStringLiteral("%1 %2").arg(patient.NextInterval).arg(unit);
    rows[1].value = QStringLiteral("%1分").arg(patient.NextDuration);
    rows[2].value =
        Cp932FieldToQString(patient.NextVisitContent, sizeof patient.NextVisitContent);

    CCreditItemDB credit;
    if (credit.SetAssociatedDB(db) == recman::kOk) {
        const std::string category =
            FieldText(patient.NextFeeCateCode, sizeof patient.NextFeeCateCode);
        const std::string item = FieldText(patient.NextFeeItemCode, sizeof patient.NextFeeItemCode);
        if (credit.GetCreditItemData(category.c_str(), item.c_str()) == recman::kOk) {
            rows[3].value = QStringLiteral("%1 %2").arg(
                Cp932FieldToQString(credit.m_Data.ItemName, sizeof credit.m_Data.ItemName),
                CTools::NumericFormat(patient.NextFee));
        }
    }
    return rows;
}

bool IsBeforeLabCompletion(const std::string& resDate, const std::string& completionDate) {
    if (resDate.size() < 8 || completionDate.size() < 8) return false;
    return resDate.substr(0, 8) < completionDate.substr(0, 8);
}

}  // namespace velo::sheet
