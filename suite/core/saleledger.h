// The payment screen's content: the sales of one patient, and the received flag that staff
// set when the fee has been paid (or clear again, which the reservation list asks for before
// a received fee's visit can be set back to not-came). Kept apart from the dialog so that it
// can be checked without a window.
#pragma once

#include <QString>
#include <string>
#include <vector>

class CVeloDBSys;

// One sale as the payment screen lists it.
struct CSaleRow {
    std::string saleNo;     // key of the sale
    std::string saleDate;   // YYYYMMDD
    int amount = 0;         // yen without tax
    int amountWithTax = 0;  // yen with tax
    int tax = 0;
    bool received = false;
    std::string receivedDate;  // YYYYMMDD, "" while not received
};

// The patient's sales in the order of sale day, then number (the patient key of the sale
// file). Returns 0 (also when there are none) or the record manager's status; rows read
// before a failure are kept.
int LoadPatientSales(CVeloDBSys* db, const char* patientId, std::vector<CSaleRow>* rows);

// Sets (received true, dated `today`) or clears the sale's received flag, in one
// transaction of its own (inside the caller's open transaction, a failure is returned and
// the caller aborts). A sale already in the wanted state is left as it is and 0 returned.
// Returns 0, recman::kKeyNotFound (4) when the sale does not exist, or the failing
// status; on failure nothing is written.
int SetSaleReceived(CVeloDBSys* db, const char* saleNo, bool received, const std::string& today);
