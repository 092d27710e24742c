// The masters behind a patient's coded fields: treatment conditions (CONDITION.BTR),
// introducing and family doctors (INTRODR.BTR), kinds of workplace or school (category kind
// "3"), patient traits and the five free tables (tables of CUSTOMTBL.BTR). The patient entry
// dialog offers their entries in its combos; reading them lives here, outside the widget.
#pragma once

#include <QString>
#include <vector>

class CVeloDBSys;

// One entry a coded field can take: the code as the master stores it and the name shown.
struct CMasterChoice {
    QString code;
    QString name;
};

enum class EPatientMaster {
    Condition,  // CONDITION.BTR
    IntroDr,    // INTRODR.BTR: referring and family doctors alike
    WorkKind,   // CATEGORY.BTR, kind "3"
    Trait,      // CUSTOMTBL.BTR, table "AB"
    FreeTable,  // CUSTOMTBL.BTR, tables "00".."04"
};

// The entries of a master in code order, without those marked hidden ("__"). `freeTable`
// (0..4) chooses the free table and is ignored for the other masters. A master that cannot
// be read gives the entries read so far and its status in *status (0 otherwise).
std::vector<CMasterChoice> ReadPatientMasterChoices(CVeloDBSys* db, EPatientMaster master,
                                                    int freeTable = 0, int* status = nullptr);

// An introducing doctor as lists and the sheet show one: the clinic, a blank and the
// doctor's name; either alone when the other is empty.
QString IntroDrDisplayName(const QString& clinic, const QString& name);
