// Reading the postcards' addressees from the patient and reservation files, and the sender
// from the suite settings.
#include "suite/postcard/postcarddata.h"

#include <QDate>
#include <algorithm>
#include <cstring>

#include "suite/comdlg/velosubtools.h"
#include "suite/dbcall/patientdb.h"
#include "suite/dbcall/reservationdb.h"
#include "suite/dbcall/velodbsys.h"
#include "suite/text/cp932.h"
#include "suite/tool/date.h"

namespace {

constexpr int kMaxZipDigits = 7;
constexpr uint8_t kStatusBooked = 0;

bool IsEnd(int status) { return status == recman::kEndOfFile || status == recman::kKeyNotFound; }

int OpenIn(CBaseDBCall& table, CVeloDBSys* db) {
    if (db != nullptr && !db->GetDatabaseFolder().empty()) {
        return table.Open(db->GetDatabaseFolder());
    }
    return table.Open();
}

template <size_t N>
QString Text(const char (&field)[N]) {
    return Cp932FieldToQString(field, N).trimmed();
}

QString DateText(const std::string& yyyymmdd) {
    static const char* const kWeekdays[] = {"日", "月", "火", "水", "木", "金", "土"};
    const QDate date = CDate::FromYmd(yyyymmdd.c_str());
    if (!date.isValid()) return QString();
    return QStringLiteral("%1年%2月%3日（%4）")
        .arg(date.year())
        .arg(date.month())
        .arg(date.day())
        .arg(QString::fromUtf8(kWeekdays[date.dayOfWeek() % 7]));
}

// "0930" -> "9時30分"; "" for a time that is not four digits.
QString TimeText(const std::string& hhmm) {
    if (hhmm.size() != 4 ||
        !std::all_of(hhmm.begin(), hhmm.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return QString();
    }
    const int value = std::stoi(hhmm);
    return QStringLiteral("%1時%2分").arg(value / 100).arg(value % 100, 2, 10, QLatin1Char('0'));
}

// The first booked reservation of the patient on or after today, read in date and time
// order (key 2: patient, date, time). Returns 0 also when there is none.
int ReadNextReservation(CReservationDB& reservations, CPostcardAddressee* card) {
    char key[sizeof(tagRESERVATIONDB::PatientID) + sizeof(tagRESERVATIONDB::ResDate) +
             sizeof(tagRESERVATIONDB::StartTime)] = {};
    std::strncpy(key, card->patientId.c_str(), sizeof(tagRESERVATIONDB::PatientID) - 1);
    const std::string today = CDate::ToYmd(CDate::Today());
    std::memcpy(key + sizeof(tagRESERVATIONDB::PatientID), today.data(),
                std::min(today.size(), sizeof(tagRESERVATIONDB::ResDate) - 1));
    reservations.SetKey(CReservationDB::kKeyPatientTime);
    reservations.SetKeyBuffer(key, sizeof key);
    int status = reservations.GetGREQ();
    for (; status == 0; status = reservations.GetNEXT()) {
        const tagRESERVATIONDB& r = reservations.m_Data;
        if (FieldText(r.PatientID) != card->patientId) break;
        if (r.Status != kStatusBooked) continue;
        card->reservationDate = DateText(FieldText(r.ResDate));
        card->reservationTime = TimeText(FieldText(r.StartTime));
        if (card->reservationDate.isEmpty()) card->reservationTime.clear();
        if (card->HasReservation()) break;
    }
    return IsEnd(status) ? 0 : status;
}

}  // namespace

QString ZipDigits(const QString& zipCode) {
    QString digits;
    for (QChar c : zipCode) {
        if (digits.size() == kMaxZipDigits) break;
        if (c >= u'0' && c <= u'9') {
            digits += c;
        } else if (c >= u'０' && c <= u'９') {
            digits += QChar(u'0' + (c.unicode() - u'０'));
        }
    }
    return digits;
}

int ReadPostcardAddressees(CVeloDBSys* db, const std::vector<std::string>& patientIds,
                           std::vector<CPostcardAddressee>* cards) {
    cards->clear();
    CPatientDB patients;
    CReservationDB reservations;
    if (const int status = OpenIn(patients, db); status != 0) return status;
    if (const int status = OpenIn(reservations, db); status != 0) return status;
    std::vector<std::string> seen;
    for (const std::string& id : patientIds) {
        if (std::find(seen.begin(), seen.end(), id) != seen.end()) continue;
        seen.push_back(id);
        const int status = patients.GetPatientData(id.c_str());
        if (status == recman::kKeyNotFound) continue;
        if (status != 0) return status;
        const tagPATIENTDB& p = patients.m_Data;
        if (p.InactiveFlag != 0) continue;
        CPostcardAddressee card;
        card.patientId = id;
        card.zipDigits = ZipDigits(Text(p.ZipCode));
        card.address1 = Text(p.Address1);
        card.address2 = Text(p.Address2);
        card.name = Text(p.Name);
        if (const int read = ReadNextReservation(reservations, &card); read != 0) return read;
        cards->push_back(card);
    }
    return 0;
}

CPostcardSender ReadPostcardSender() {
    CPostcardSender sender;
    sender.name = CVeloSubTools::GetGlobalSettingString("GLOBAL", "ClinicName", QString());
    sender.address = CVeloSubTools::GetGlobalSettingString("GLOBAL", "ClinicAddress", QString());
    sender.tel = CVeloSubTools::GetGlobalSettingString("GLOBAL", "ClinicTel", QString());
    return sender;
}
