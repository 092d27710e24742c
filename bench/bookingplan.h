// What the booking benchmarks book, and the records a plain side writes for one save.
//
// A save books a came reservation with a collected fee on a band nobody has booked: the
// bands are planned before the run after the last booking of each unit's day, from the
// middle day of the clinic's reservations on, each for a different patient, so that no save
// of the run overlaps another or a stored reservation. Each side books every band once in its
// own copy of the data. The plain sides write what SaveReservation writes for such a booking:
// the reservation under the counter's next number, a sale and its line for the fee, and the
// patient's last visit.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "sheet/bookingrules.h"
#include "sheet/reservationsave.h"
#include "sheet/sheetsettings.h"
#include "suite/dbcall/indexcontroldb.h"
#include "suite/dbcall/masterdb.h"
#include "suite/dbcall/patientdb.h"
#include "suite/dbcall/reservationdb.h"
#include "suite/dbcall/saledb.h"

constexpr int kPlannedBookings = 5000;  // far more saves than one run makes on either side
constexpr int kCollectedFee = 5000;
constexpr const char* kReservationCounter = "RESERVATION";

// One save of the run.
struct Booking {
    std::string day, unit, doctor, type, patient;
    int start = 0, end = 0;
};

// A booked reservation of a patient, as far as the plan needs it.
struct Candidate {
    std::string no, patient, unit, doctor, type;
};

// What the plan is made from.
struct ReservationSurvey {
    std::set<std::string> patientsWithContracts;  // for choosing a reservation to open
    std::vector<Candidate> candidates;            // booked ones with a patient, by number
    std::map<std::pair<std::string, std::string>, int> lastEnd;  // (day, unit) -> HHMM
    std::set<std::string> days;
};

// The fee item the saves collect.
struct FeeItem {
    std::string category, item;
};

// The unit's columns the sheet shows, in master order.
std::vector<std::string> VisibleUnits(const std::string& folder);

// Free bands for up to kPlannedBookings saves.
std::vector<Booking> PlanBookings(const ReservationSurvey& survey,
                                  const std::vector<std::string>& units);

// The first fee item of the first category; empty when the clinic has none.
FeeItem ChooseFeeItem(const std::string& folder);

// The save through the suite: what the reservation dialog passes on for the booking.
velo::sheet::ReservationInput CameBookingInput(const Booking& b, const FeeItem& fee);

// The reservation number the counter gives next, and the counter advanced past it.
std::string TakeCounterNumber(tagINDEXCONTROLDB* counter);

// The came reservation of `b` under `number`, its fee not yet booked.
tagRESERVATIONDB CameReservation(const Booking& b, const std::string& number, const FeeItem& fee);

// The sale after the one numbered `lastSaleNo` (0 when there is none) and its one line for
// the fee of r, named after the fee item when it was found (item may be null). r gets the
// sale's number.
void BookFee(tagRESERVATIONDB* r, long long lastSaleNo, const velo::sheet::SheetSettings& settings,
             const tagCREDITITEMDB* item, tagSALEDB* sale, tagSALEITEM* line);

// The patient's last visit after a booking: the latest came day on or before the booking
// (`came`, empty when none), else the first visit when no last visit is known.
void KeepLastVisit(const std::string& came, tagPATIENTDB* patient);

// The time strip's item of a reservation in the column the save books into, as LoadStrip
// builds it: nothing for a cancelled one, the one being edited or an inactive patient's.
// patient is the reservation's patient's first record, null when it has none or it is
// missing.
std::optional<velo::sheet::StripItem> PlainStripItem(const tagRESERVATIONDB& r,
                                                     const tagPATIENT1DB* patient,
                                                     const std::string& editingNo, bool clock24);
