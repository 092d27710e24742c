// velodb create: an empty database folder with every catalogue table and default settings.
#include <filesystem>

#include "defaultsettings.h"
#include "suite/dbcall/catalogue.h"
#include "suite/text/privatefiles.h"
#include "tablefile.h"
#include "velodb.h"

namespace velodb {

bool CreateDatabase(const std::string& folder, bool force, std::string* error) {
    if (folder.empty()) {
        *error = "no database folder given";
        return false;
    }
    // The clinic's folder is closed to others from the start.
    if (!privatefiles::MakePrivateFolder(folder, error)) return false;
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) {
        *error = "cannot make the folder " + folder + (ec ? ": " + ec.message() : "");
        return false;
    }
    if (!force && !ListTables(folder).empty()) {
        *error = folder + " already holds tables; use --force to replace them";
        return false;
    }
    for (const TableInfo& table : AllTables()) {
        const int status = CreateTableFile(folder, table);
        if (status != 0) {
            *error = "cannot create " + std::string(table.fileName) + " in " + folder +
                     " (record manager status " + std::to_string(status) + ")";
            return false;
        }
    }
    return WriteDefaultSettings(folder, error);
}

}  // namespace velodb
