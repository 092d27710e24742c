// CVeloCore: the suite's billing library as the appointment sheet calls it - the patient
// screen and the payment screen of one patient, each a modal dialog on the active window.
#pragma once

#include <QString>

class CVeloDBSys;

class CVeloCore final {
public:
    CVeloCore() = delete;

    // Shows the patient screen (main fields of the patient record) until it is closed. A
    // patient that cannot be read is reported through CMessageService. Returns "" (the
    // callers do not use the result).
    static QString OnStart(CVeloDBSys* db, const char* patientId);
    // Shows the payment screen (the patient's sales, where staff mark one received) until
    // it is closed. Returns "".
    static QString OnBilling(CVeloDBSys* db, const char* patientId);
};
