// What the booking benchmarks book, and the records a plain side writes for one save.
#include "bookingplan.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "sheet/reservation.h"
#include "suite/dbcall/masterdb.h"
#include "suite/text/cp932.h"

using namespace velo::sheet;

namespace {

constexpr int kBookingMinutes = 30;
constexpr int kFirstBookingStart = 900;
constexpr int kLastBookingEnd = 2330;

int AddMinutes(int hhmm, int minutes) {
    const int total = hhmm / 100 * 60 + hhmm % 100 + minutes;
    return total / 60 * 100 + total % 60;
}

}  // namespace

std::vector<std::string> VisibleUnits(const std::string& folder) {
    std::vector<std::string> units;
    CCategoryDB categories;
    if (categories.Open(folder) != 0) return units;
    categories.SetKey(CCategoryDB::kKeyTypeCode);
    for (int st = categories.GetFIRST(); st == 0; st = categories.GetNEXT()) {
        const tagCATEGORYDB& r = categories.m_Data;
        if (FieldText(r.Type) == "1" && std::strncmp(r.HiddenMark, "__", 2) != 0)
            units.push_back(FieldText(r.Code));
    }
    return units;
}

std::vector<Booking> PlanBookings(const ReservationSurvey& survey,
                                  const std::vector<std::string>& units) {
    std::vector<Booking> plan;
    if (survey.candidates.empty() || units.empty()) return plan;
    std::vector<std::string> days(survey.days.begin(), survey.days.end());
    size_t patient = 0;
    for (size_t d = days.size() / 2; d < days.size() && int(plan.size()) < kPlannedBookings; ++d) {
        for (const std::string& unit : units) {
            const auto last = survey.lastEnd.find({days[d], unit});
            int start =
                std::max(last != survey.lastEnd.end() ? last->second : 0, kFirstBookingStart);
            start = AddMinutes(start / 100 * 100, (start % 100 + 14) / 15 * 15);
            for (; AddMinutes(start, kBookingMinutes) <= kLastBookingEnd;
                 start = AddMinutes(start, kBookingMinutes)) {
                const Candidate& from = survey.candidates[patient++ % survey.candidates.size()];
                plan.push_back({days[d], unit, from.doctor, from.type, from.patient, start,
                                AddMinutes(start, kBookingMinutes)});
            }
        }
    }
    return plan;
}

FeeItem ChooseFeeItem(const std::string& folder) {
    CCreditItemDB items;
    if (items.Open(folder) != 0) return {};
    items.SetKey(CCreditItemDB::kKeyCategoryItem);
    if (items.GetFIRST() != 0) return {};
    return {FieldText(items.m_Data.CategoryCode), FieldText(items.m_Data.ItemCode)};
}

ReservationInput CameBookingInput(const Booking& b, const FeeItem& fee) {
    ReservationInput in;
    in.resDate = b.day;
    in.unitCode = b.unit;
    in.doctorCode = b.doctor;
    in.resTypeCode = b.type;
    in.startTime = b.start;
    in.endTime = b.end;
    in.patientId = b.patient;
    in.treatment = QStringLiteral("定期検診");
    in.collectFee = true;
    in.creditCateCode = fee.category;
    in.creditItemCode = fee.item;
    in.fee = kCollectedFee;
    in.came = true;
    in.entryDate = b.day;
    return in;
}

std::string TakeCounterNumber(tagINDEXCONTROLDB* counter) {
    char text[16];
    std::snprintf(text, sizeof text, "%010d", std::max(counter->NextValue, 1));
    counter->NextValue = std::max(counter->NextValue, 1) + 1;
    return text;
}

tagRESERVATIONDB CameReservation(const Booking& b, const std::string& number, const FeeItem& fee) {
    tagRESERVATIONDB r{};
    SetField(r.ReservationNo, number.c_str());
    SetField(r.PatientID, b.patient.c_str());
    SetField(r.ResDate, b.day.c_str());
    SetTimeField(r.StartTime, b.start);
    SetTimeField(r.EndTime, b.end);
    SetField(r.UnitCode, b.unit.c_str());
    SetField(r.DoctorCode, b.doctor.c_str());
    SetField(r.ResTypeCode, b.type.c_str());
    SetCp932Field(r.Treatment, sizeof r.Treatment, QStringLiteral("定期検診"));
    r.Status = uint8_t(ResStatus::Came);
    SetField(r.CreditCateCode, fee.category.c_str());
    SetField(r.CreditItemCode, fee.item.c_str());
    r.Fee = kCollectedFee;
    SetField(r.StaffCode, "000");
    SetField(r.ResWayCode, "000");
    SetField(r.EntryDate, b.day.c_str());
    return r;
}

void BookFee(tagRESERVATIONDB* r, long long lastSaleNo, const SheetSettings& settings,
             const tagCREDITITEMDB* item, tagSALEDB* sale, tagSALEITEM* line) {
    const FeeAmounts amounts = ComputeFeeAmounts(
        r->Fee, FieldText(r->ResDate), settings.consumptionTax, settings.calculationTax, false);
    char saleNo[32];
    std::snprintf(saleNo, sizeof saleNo, "%013lld", lastSaleNo + 1);
    *sale = tagSALEDB{};
    SetField(sale->SaleNo, saleNo);
    std::memcpy(sale->PatientID, r->PatientID, sizeof sale->PatientID);
    std::memcpy(sale->SaleDate, r->ResDate, sizeof sale->SaleDate);
    SetField(sale->SaleKind, "00");
    sale->Amount = amounts.amount;
    sale->AmountWithTax = amounts.amountWithTax;
    sale->Tax = amounts.tax;
    *line = tagSALEITEM{};
    SetField(line->SaleNo, saleNo);
    SetField(line->LineNo, "001");
    std::memcpy(line->SaleDate, r->ResDate, sizeof line->SaleDate);
    std::memcpy(line->CreditCateCode, r->CreditCateCode, sizeof line->CreditCateCode);
    std::memcpy(line->CreditItemCode, r->CreditItemCode, sizeof line->CreditItemCode);
    if (item != nullptr) std::memcpy(line->ItemName, item->ItemName, sizeof line->ItemName);
    std::memcpy(line->PatientID, r->PatientID, sizeof line->PatientID);
    line->Quantity = 1;
    line->UnitPrice = line->Amount = r->Fee;
    SetField(r->SaleNo, saleNo);
}

void KeepLastVisit(const std::string& came, tagPATIENTDB* patient) {
    if (!came.empty())
        SetField(patient->LastVisitDate, came.c_str());
    else if (patient->LastVisitDate[0] == '\0')
        std::memcpy(patient->LastVisitDate, patient->FirstVisitDate, sizeof patient->LastVisitDate);
}

std::optional<StripItem> PlainStripItem(const tagRESERVATIONDB& r, const tagPATIENT1DB* patient,
                                        const std::string& editingNo, bool clock24) {
    if (!IsLiveStatus(r.Status) || FieldText(r.ReservationNo) == editingNo) return std::nullopt;
    if (patient != nullptr && patient->InactiveFlag == 1) return std::nullopt;
    StripItem item;
    item.reservationNo = FieldText(r.ReservationNo);
    item.start = ParseTimeField(r.StartTime);
    item.end = ParseTimeField(r.EndTime);
    item.status = r.Status;
    item.tip =
        StripTipText(item.start, item.end,
                     patient != nullptr ? Cp932FieldToQString(patient->Name) : QString(), clock24);
    return item;
}
