// velodb check: every table file of a folder opened and checked by the record manager,
// its record length compared with the catalogue, and missing catalogue tables named.
#include <filesystem>
#include <ostream>
#include <set>

#include "backup.h"
#include "backupstrings.h"
#include "recman/recman.h"
#include "suite/dbcall/catalogue.h"
#include "tablefile.h"
#include "velodb.h"

namespace velodb {

bool CheckDatabase(const std::string& folder, std::ostream& out) {
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) {
        out << folder << ": not a folder\n";
        return false;
    }
    bool sound = true;
    if (std::filesystem::exists(std::filesystem::path(folder) / kRestoreMarkerName, ec)) {
        out << kRestoreMarkerName << ": " << BackupText(kIdsRestoreIncomplete) << "\n";
        sound = false;
    }
    std::set<std::string> present;
    for (const std::string& name : ListTables(folder)) {
        const std::string path = (std::filesystem::path(folder) / name).string();
        const TableInfo* table = FindTable(name);
        if (table != nullptr) present.insert(table->fileName);

        std::string report;
        int status = recman::CheckFile(path, &report);
        if (status != recman::kOk) {
            out << name << ": " << (report.empty() ? "unsound" : report) << " (status " << status
                << ")\n";
            sound = false;
            continue;
        }
        if (table != nullptr) {
            uint32_t length = 0;
            status = ReadRecordLength(path, &length);
            if (status != recman::kOk) {
                out << name << ": cannot read its record length (status " << status << ")\n";
                sound = false;
                continue;
            }
            if (length != table->recordLength) {
                out << name << ": record length " << length << ", expected " << table->recordLength
                    << "\n";
                sound = false;
                continue;
            }
        }
        out << name << ": ok\n";
    }
    for (const TableInfo& table : AllTables()) {
        if (present.count(table.fileName) == 0) {
            out << table.fileName << ": missing\n";
            sound = false;
        }
    }
    return sound;
}

}  // namespace velodb
