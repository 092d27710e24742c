// The lab schedule's rows as the plain sides of the benchmarks build them from an item and
// its patient, whichever way they read the two; and the comparison both sides pass before
// anything is timed.
#pragma once

#include <QString>
#include <string>

#include "lab/labcore.h"
#include "suite/dbcall/materialdb.h"
#include "suite/dbcall/patientdb.h"

// What a row needs of a patient.
struct PlainLabPerson {
    bool found = false, inactive = false;
    std::string chartNo;
    QString name, kana, doctor;
};

// The patient of a row, from the patient's first record; not found when record is null.
PlainLabPerson PlainLabPersonOf(const tagPATIENT1DB* record, const LabNames& names);

// The row of item r, as the suite's refresh builds it.
LabRow PlainLabRow(const tagMATERIALDB& r, const PlainLabPerson& p, const LabNames& names);

// Whether two rows agree in everything the schedule shows.
bool SameLabRow(const LabRow& a, const LabRow& b);
