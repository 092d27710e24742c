// velodb check: every table file of a folder opened and checked by the record manager,
// its record length compared with the catalogue, missing catalogue tables named, and every
// file of the folder that accounts outside the clinic can read.
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <ostream>
#include <set>

#include "backup.h"
#include "backupstrings.h"
#include "recman/recman.h"
#include "suite/dbcall/catalogue.h"
#include "suite/text/privatefiles.h"
#include "tablefile.h"
#include "velodb.h"

namespace velodb {
namespace {

// "0644": the permission bits of the file or folder.
std::string ModeText(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return "?";
    char text[8];
    std::snprintf(text, sizeof text, "%04o", unsigned(st.st_mode & 07777));
    return text;
}

// Names every file and folder of `folder` that others can read, with the command that
// closes them; false when there is one.
bool ReportOpenToOthers(const std::string& folder, std::ostream& out) {
    const std::vector<std::string> open = privatefiles::OpenToOthers(folder);
    if (open.empty()) return true;
    const std::string prefix = (std::filesystem::path(folder) / "").string();
    for (const std::string& path : open) {
        const bool isFolder = std::filesystem::is_directory(path);
        const std::string name =
            path.compare(0, prefix.size(), prefix) == 0 ? path.substr(prefix.size()) : path;
        out << name << ": "
            << (isFolder ? "医院のユーザー以外もフォルダーの中を見られます"
                         : "医院のユーザー以外も読めます")
            << " (" << ModeText(path) << ")\n";
    }
    out << "患者の氏名・住所・電話番号などを含むファイルを、医院のユーザー以外も読める状態です ("
        << open.size() << " 件)。次のコマンドで閉じてください:\n  "
        << privatefiles::CommandToClose(folder) << "\n";
    return false;
}

}  // namespace

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
    if (!ReportOpenToOthers(folder, out)) sound = false;
    return sound;
}

}  // namespace velodb
