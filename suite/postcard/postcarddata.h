// What a reminder postcard carries: the patient's postal code, address and name with the
// next booked reservation, and the clinic as sender. Reading them is kept apart from
// painting so that tests reach it without a printer.
#pragma once

#include <QString>
#include <string>
#include <vector>

class CVeloDBSys;

// One postcard's addressee.
struct CPostcardAddressee {
    std::string patientId;
    QString zipDigits;  // the digits of the postal code, at most seven
    QString address1;
    QString address2;
    QString name;
    // The first booked reservation from today on, for display ("2026年12月7日（月）",
    // "9時30分"); both empty when there is none.
    QString reservationDate;
    QString reservationTime;

    bool HasReservation() const { return !reservationDate.isEmpty(); }
};

// The clinic as sender (settings "ClinicName", "ClinicAddress", "ClinicTel" of "GLOBAL").
struct CPostcardSender {
    QString name;
    QString address;
    QString tel;
};

// Reads the addressees in the order of `patientIds`, one per patient: an ID given twice
// gives one card, and an ID without a patient (or of a patient marked inactive) gives
// none. Returns 0, or the record manager's status when a table could not be read, in
// which case *cards holds the addressees read before the failure.
int ReadPostcardAddressees(CVeloDBSys* db, const std::vector<std::string>& patientIds,
                           std::vector<CPostcardAddressee>* cards);

CPostcardSender ReadPostcardSender();

// The digits of a postal code as stored ("123-4567", "1234567", full-width digits), at most
// seven; other characters are left out.
QString ZipDigits(const QString& zipCode);
