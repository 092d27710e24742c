// The figures the host's status page shows for an open database: how many patients,
// reservations of a day and lab items it holds. Reads through the table classes; no
// widgets, so a test reaches it with a database folder of its own.
#pragma once

#include <string>

class CVeloDBSys;

// One counted figure: the count, or the record manager's status when counting failed.
struct CHostCount {
    long long count = 0;
    int status = 0;  // 0 = the count is valid
};

struct CHostSummary {
    std::string folder;       // the database folder, with a trailing "/"
    CHostCount patients;      // patients not marked deleted
    CHostCount reservations;  // live reservations (booked or came) of patients on the day
    CHostCount labItems;      // lab-work items
    CHostCount labPending;    // lab-work items not finished yet
};

// Counts the figures of the database behind db for the day `ymd` ("YYYYMMDD").
// REQUIRES: db is open.
CHostSummary SummariseDatabase(CVeloDBSys* db, const std::string& ymd);
