// The reserved-patient search: the reservations of a date range, or a patient's future
// reservations found by name or reading, each with the patient's telephones, mail address
// and the state of the last contact; and the contact record the staff keeps per
// reservation. Reads and writes go through the table classes, so the rules can be tested
// without a window; the search dialog and the contact dialog gather input and show rows.
#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <string>
#include <vector>

class CVeloDBSys;

namespace velo::sheet {

// The contact states' names: "ContactStatusCount" of section "Reservation" states (default
// 3), state i named by "ContactStatusName<i>" ("未", "不通", "済み", then empty).
// State 0 means not contacted yet.
QStringList ContactStatusNames();
// The name of one state by the same rule, whatever the configured count; "" when none.
QString ContactStatusName(int state);

enum EContactMethod { kContactByTelephone = 0, kContactByMail = 1 };
// "電話" or "Email".
QString ContactMethodName(int method);

struct ReservedSearchRequest {
    bool byName = false;
    // Date mode: the days searched (YYYYMMDD) and whether only reservations not yet
    // contacted are listed.
    std::string from, to;
    bool uncontactedOnly = false;
    // Name mode: every reservation from today on whose patient's reading (byKana) or name
    // begins with the text.
    QString text;
    bool byKana = true;
};

// One row of the result list.
struct ReservedSearchRow {
    std::string patientId, reservationNo;
    int status = 0;  // the reservation's Status, chooses the row's image
    QString chartNo, name;
    QString date;  // "%Y/%m/%d"
    QString time;  // "%02d:%02d" of the start
    QString homeTel, mobileTel;
    QString contactState;  // the state's name, empty past the configured states
    QString contactComment;
    QString contactMethod;  // empty while not contacted
    QString contactDate;    // the suite's date display, empty when none
    QString mail;
};

// Runs the search: reservations in date order on the date key; blocked times, cancelled or
// changed reservations (status above 1) and reservations of missing or inactive patients
// are left out. today bounds the name mode. Returns 0 or the failing read's status; then
// *failedTable (when given) names the table file that could not be read ("RESERVATION.BTR",
// "PATIENT1.BTR"), and *out holds only the rows read before the failure. A patient that is
// not in the file is left out; a patient record that cannot be read fails the search, so a
// damaged file is never taken for an empty result.
int SearchReservedPatients(CVeloDBSys* db, const ReservedSearchRequest& request,
                           const QDate& today, std::vector<ReservedSearchRow>* out,
                           std::string* failedTable = nullptr);

// The contact kept on a reservation.
struct ContactRecord {
    QDate date;  // invalid when none is stored
    int state = 0;
    QString comment;
    int method = kContactByTelephone;
};

// Reads the reservation's contact; 4 when the reservation is gone.
int ReadContact(CVeloDBSys* db, const std::string& reservationNo, ContactRecord* out);

// Stores a contact on the reservation: state 0 ("未") erases the date and comment and sets
// the method to telephone; any other state writes the date, comment and method. The record
// is read again inside the write, so other fields changed meanwhile are kept.
int SaveContact(CVeloDBSys* db, const std::string& reservationNo, const ContactRecord& contact);

// Fills the row's contact columns again from the stored reservation, as after a contact
// was recorded. Returns 0 or the read's status (the row is left as it was then).
int RefreshContactColumns(CVeloDBSys* db, ReservedSearchRow* row);

// The day a reservation is on; invalid when it cannot be read.
QDate ReservationDay(CVeloDBSys* db, const std::string& reservationNo);

// Texts of the search window's refusals.
constexpr int kIdsCameNoChange = 19200;  // a came reservation cannot be changed from here
constexpr int kIdsCameNoCancel = 19201;  // a came reservation cannot be cancelled from here

enum class EFoundCommand { kChange, kCancel };

// Why the search window does not hand the reservation to the sheet for a change or a
// cancel, or "" when it may. A came reservation is refused as the sheet's own menu refuses
// it: changed or cancelled it would leave the sheet with its collected fee still billed, and
// nobody could untick it there any more. The stored state counts, not the listed one, since
// another workstation may have ticked it since the search. A reservation that cannot be read
// is not refused here; the sheet's own command reports it.
QString RefusalOfFoundCommand(CVeloDBSys* db, const std::string& reservationNo,
                              EFoundCommand command);

}  // namespace velo::sheet
