// The content of the demo clinic: its masters (units, doctors, staff, reservation ways and
// types, fees, cancel reasons, treatments, lab items, treatment conditions, outside doctors,
// kinds of school and workplace, patient traits, free tables and their names), its closed
// days and memo notes, and the functions that turn a planned reservation or a made-up person
// into a record.
#pragma once

#include <QDate>
#include <string>
#include <utility>
#include <vector>

#include "demoplan.h"
#include "demorandom.h"
#include "suite/dbcall/materialdb.h"
#include "suite/dbcall/patientdb.h"
#include "suite/dbcall/reservationdb.h"
#include "suite/text/officehour.h"

namespace velodb {

// Visible units and doctors; one more of each is hidden (its name begins with "__"). The
// unit count can be raised to show a larger clinic (the benchmarks use a 12-chair day).
constexpr int kDemoUnitCount = 4;
constexpr int kDemoMaxUnitCount = 30;
constexpr int kDemoDoctorCount = 3;

extern const char kDemoClinicName[];
extern const char kDemoClinicAddress[];
extern const char kDemoClinicTel[];

// A kind of visit: its reservation type (CATEGORY type "0") and treatment text, and the
// lab item it needs, if any.
struct SDemoKind {
    const char* m_typeCode;
    const char* m_typeName;
    int32_t m_colour;  // 0x00BBGGRR
    const char* m_treatment;
    const char* m_labCategory;  // MATERIALITEMCATE code, nullptr when no lab item is made
    const char* m_labItem;
};

// Kinds are drawn by slot so that the common visits (adjustments) come up most often.
int DemoKindSlotCount();
const SDemoKind& DemoKind(int slot);

struct SDemoTemplate {
    const char* m_title;
    const char* m_subject;
    const char* m_body;
};
const SDemoTemplate& DemoReminderTemplate();

// The clinic's own closed days: the New Year (29 December to 3 January) and the summer
// break (13 to 16 August).
std::vector<QDate> ClinicHolidays(int year);
bool IsClinicHoliday(const QDate& day);

VELOOFFICEHOUR DemoOfficeHours();

std::string Ymd(const QDate& day);
// "%010d" of index + 1: the PatientID of the demo's patient number index.
std::string DemoPatientId(int index);
// The ID staff see: five digits; the second patient's and every 50th after it carry a
// letter ("A0002").
std::string DemoChartNo(int index);
// Two-digit unit and doctor codes; index -1 gives "". Units past the fourth are numbered
// on from "05", passing over the hidden spare chair's "09".
std::string DemoUnitCode(int index);
std::string DemoDoctorCode(int index);

// Writes every master table of the demo into folder (each table in its own transaction).
// Returns a record-manager status; on failure *failedTable names the table.
// unitCount visible units are written (1 to kDemoMaxUnitCount).
int WriteDemoMasters(const std::string& folder, int unitCount, std::string* failedTable);

void FillDemoPatient(CDemoRandom& random, int index, const QDate& today,
                     const QDate& firstReservation, const QDate& lastCame, bool mayBeInactive,
                     tagPATIENTDB* record);

void FillDemoMaterial(CDemoRandom& random, const char* materialNo, const QDate& ordered,
                      const QDate& due, bool finished, int patient, const SDemoKind& kind,
                      tagMATERIALDB* record);

// number is the ReservationNo; replacement the new booking of a changed reservation;
// patientHasMail whether a reminder could have gone by mail.
void FillDemoReservation(CDemoRandom& random, long long number, const SPlannedReservation& r,
                         const SPlannedReservation* replacement, const QDate& today,
                         const std::string& materialNo, bool patientHasMail,
                         tagRESERVATIONDB* record);

// booked/reservationNo: the reservation the entry was booked as, or nullptr/0.
void FillDemoStandby(CDemoRandom& random, int number, int patient, const QDate& today,
                     const SPlannedReservation* booked, long long reservationNo,
                     tagRESERVATIONSTANDBYDB* record);

// Notes for the calendar memo around today (line breaks as "\n").
std::vector<std::pair<QDate, std::string>> DemoCalendarNotes(const QDate& today);

}  // namespace velodb
