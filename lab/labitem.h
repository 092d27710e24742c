// Saving a lab-work item from the edit dialog's input: the completeness rule, the next
// item number of a day and the insert or update inside one transaction.
#pragma once

#include <QString>
#include <string>

class CVeloDBSys;

struct LabItemInput {
    std::string materialNo;  // empty: a new item
    QString itemName;
    QString memo;
    std::string patientId;
    std::string orderDate, dueDate;  // YYYYMMDD
    std::string finishedDate;        // empty when not finished
    std::string staffCode, categoryCode;
    int dueKind = 0;  // 0 morning, 1 afternoon, 2 hour:minute
    int hour = 8, minute = 0;
};

// True when the item name, patient, staff and category are all given.
bool LabItemInputComplete(const LabItemInput& in);

// The number a new item entered on `today` (YYYYMMDD) gets: today followed by the serial
// "%05d", one more than the day's highest, or 00001 for the day's first. A read failure
// other than "none found" also gives the day's first number.
std::string NextMaterialNo(CVeloDBSys* db, const std::string& today);

// Saves the item inside a transaction: a new item gets NextMaterialNo and its OrderDate;
// an existing one is read again by its key and keeps its stored OrderDate. Returns 0 with
// the key in *savedNo, or the failing status with the transaction aborted and nothing
// changed (the caller shows string 14007). Incomplete input returns -1 and does nothing.
int SaveLabItem(CVeloDBSys* db, const LabItemInput& in, const std::string& today,
                std::string* savedNo);
