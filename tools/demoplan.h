// The demo clinic's appointment book, planned in memory before anything is written: which
// patient sits in which chair with which doctor at what time, and what became of each
// reservation. Planning knows nothing of records, so tests can check the rules (office
// hours, no two reservations in one column at once, changed reservations followed by their
// new booking) on the plan itself.
#pragma once

#include <QDate>
#include <functional>
#include <vector>

#include "demorandom.h"
#include "suite/text/officehour.h"

namespace velodb {

// Reservation status values of the record files.
enum EResStatus : int {
    kResBooked = 0,
    kResCame = 1,
    kResCancelledWithNotice = 2,
    kResCancelledLastMinute = 3,
    kResRevoked = 4,
    kResChanged = 5,
};

struct SPlannedReservation {
    QDate m_date;
    int m_start = 0;     // HHMM
    int m_end = 0;       // HHMM
    int m_unit = -1;     // index of the unit, -1 for a doctor's blocked time
    int m_doctor = -1;   // index of the doctor, -1 for a unit's blocked time
    int m_patient = -1;  // index of the patient, -1 for blocked time
    int m_status = kResBooked;
    int m_kind = 0;               // index into the reservation kinds (type and treatment)
    QDate m_statusDate;           // day a change or cancellation was recorded
    long long m_newBooking = -1;  // status 5: index of the reservation that replaced it
};

struct SPlanInput {
    QDate m_first;  // first day of the book
    QDate m_last;   // last day, included
    QDate m_today;  // days before it are past: mostly came
    int m_units = 4;
    int m_doctors = 3;
    int m_patients = 1;
    int m_kinds = 1;
    VELOOFFICEHOUR m_hours{};
    // True for a day the clinic is closed (holidays, closed days); days without office
    // hours are closed anyway.
    std::function<bool(const QDate&)> m_isClosed;
};

// Plans the reservations of every working day from m_first to m_last, in time order.
// No two records of one unit or of one doctor overlap, whatever their status: a cancelled
// time is left free, and a changed reservation's new booking lies on a later day.
std::vector<SPlannedReservation> PlanReservations(CDemoRandom& random, const SPlanInput& input);

// Plans exactly `count` reservations that end at input.m_last, reaching as far into the
// past as needed (input.m_first is the earliest day used when it holds enough).
std::vector<SPlannedReservation> PlanReservationCount(uint64_t seed, SPlanInput input,
                                                      long long count);

// HHMM and minutes of the day.
inline int HhmmToMinutes(int hhmm) { return hhmm / 100 * 60 + hhmm % 100; }
inline int MinutesToHhmm(int minutes) { return minutes / 60 * 100 + minutes % 60; }

}  // namespace velodb
