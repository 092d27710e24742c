// The operations of the velodb tool, as a library so that tests and benchmarks call them
// directly: create an empty database folder, fill one with a demo clinic (and, on request,
// a second database of the cephalometric product), dump a table as text, and check every
// table file of a folder. Every operation reports failure by its result and a message in
// plain words; nothing throws.
#pragma once

#include <QDate>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace velodb {

// Creates every table of the catalogue, empty, in folder (made when missing), and a default
// GlobalSetting.ini. Refuses a folder that already holds table files unless force is set,
// in which case the tables are created afresh and the settings rewritten.
bool CreateDatabase(const std::string& folder, bool force, std::string* error);

struct SDemoOptions {
    std::string m_folder;
    int m_patients = 300;
    int m_units = 4;  // visible chairs, 1 to 30
    int m_daysBack = 30;
    int m_daysAhead = 60;
    uint64_t m_seed = 1;
    // Number of reservation records to make; -1 fills the day range by the clinic's
    // ordinary rhythm. A larger number reaches further into the past.
    long long m_reservations = -1;
    // When not empty, also build the cephalometric product's database there.
    std::string m_xyloFolder;
    // The day the demo counts from; a null date means today.
    QDate m_today;
    bool m_force = false;
};

struct SDemoSummary {
    int m_patients = 0;
    long long m_reservations = 0;  // every reservation record, changed and cancelled included
    long long m_blocked = 0;       // blocked-time entries among them
    long long m_changed = 0;       // status 5 records
    long long m_cancelled = 0;     // status 2, 3 and 4 records
    int m_materials = 0;
    int m_standby = 0;
    int m_xyloPatients = 0;
};

// Creates the folder and fills it with a demo clinic. Progress lines go to *progress and
// the counts to *summary, each when not null.
bool BuildDemoDatabase(const SDemoOptions& options, SDemoSummary* summary, std::ostream* progress,
                       std::string* error);

// Writes the records of one table in the order of the key as readable text: a block of
// "name: value" lines per record, a blank line after each, and a final count line.
// table is the file name with or without ".BTR", in any case.
bool DumpTable(const std::string& folder, const std::string& table, int keyNumber,
               std::ostream& out, std::string* error);

// Checks every table file of the folder and reports each missing catalogue table, and each
// file or folder in it that accounts outside the clinic can read, with the command that
// closes them. Writes one line per file; returns true only when everything is sound.
bool CheckDatabase(const std::string& folder, std::ostream& out);

// The warning velodb gives, once per run, when a folder it works on keeps its tables in the
// embedded engine on the network file system `share` ("NFS", "SMB/CIFS", ...).
std::string NetworkShareWarning(const std::string& folder, const std::string& share);

// Copies every table of the folder database `folder` onto the server that `conninfo` (a
// libpq connection string) names, all in one transaction, then writes the connection file
// into the folder, so that every program opening it uses the server from then on. Refuses a
// server database that already holds the suite's tables unless force is set.
bool PushDatabase(const std::string& folder, const std::string& conninfo, bool force,
                  std::ostream& out, std::string* error);

// Copies the tables of `folder` (a server's, usually) into table files in outFolder, all
// as they stood at one moment while others keep working: the server's backup, and the way
// to a folder database for the merger. Refuses an outFolder holding table files unless force.
bool PullDatabase(const std::string& folder, const std::string& outFolder, bool force,
                  std::ostream& out, std::string* error);

// The command line: args without the program name. Returns the exit code: 0 success,
// 1 failure (a message on err), 2 bad arguments (usage on err).
int RunVelodb(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace velodb
