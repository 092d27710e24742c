// velodb push and pull: a folder database moved onto a database server, and a server's
// tables copied back into table files (also the server's backup).
#include <unistd.h>

#include <filesystem>
#include <ostream>

#include "recman/recman.h"
#include "suite/text/privatefiles.h"
#include "tablefile.h"
#include "velodb.h"

namespace velodb {
namespace {

namespace fs = std::filesystem;

// What the record manager said about a failure, or its status when it said nothing more.
// The account names the folder the tables were reached through; `shownAs` replaces
// `reachedAs` in it (the temporary folder of a push stands for the database folder).
std::string RecordManagerAccount(int status, const std::string& reachedAs = {},
                                 const std::string& shownAs = {}) {
    std::string text = recman::LastErrorText();
    if (text.empty()) return "record manager status " + std::to_string(status);
    for (size_t at = reachedAs.empty() ? std::string::npos : text.find(reachedAs);
         at != std::string::npos; at = text.find(reachedAs, at + shownAs.size()))
        text.replace(at, reachedAs.size(), shownAs);
    return text;
}

// A folder of its own whose connection file names the server, so that its tables can be
// reached before the database folder itself is pointed at the server.
class CStagingFolder {
public:
    CStagingFolder() {
        char pattern[] = "/tmp/velodb-push-XXXXXX";
        if (const char* made = ::mkdtemp(pattern)) m_path = made;
    }
    ~CStagingFolder() {
        std::error_code ec;
        if (!m_path.empty()) fs::remove_all(m_path, ec);
    }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

}  // namespace

bool PushDatabase(const std::string& folder, const std::string& conninfo, bool force,
                  std::ostream& out, std::string* error) {
    if (IsServerFolder(folder)) {
        *error = folder + " already keeps its tables on a server (" +
                 std::string(recman::kServerConnInfoFile) + ")";
        return false;
    }
    const std::vector<std::string> tables = ListTableFiles(folder);
    if (tables.empty()) {
        *error = folder + " holds no table files to push";
        return false;
    }
    if (conninfo.empty()) {
        *error = "no server named";
        return false;
    }
    CStagingFolder staging;
    if (staging.Path().empty() ||
        recman::WriteServerConnInfo(staging.Path(), conninfo) != recman::kOk) {
        *error = "cannot make a temporary folder for the server's connection";
        return false;
    }
    // A server that cannot be reached, or refuses the login, is said before anything else.
    uint32_t length = 0;
    const int probe =
        ReadRecordLength((fs::path(staging.Path()) / tables.front()).string(), &length);
    if (probe != recman::kOk && probe != recman::kFileNotFound &&
        !recman::LastErrorText().empty()) {
        *error = RecordManagerAccount(probe, staging.Path(), folder);
        return false;
    }
    // A server database that holds the suite's tables already is another clinic's, or an
    // earlier push: replaced only when asked to.
    const std::vector<std::string> there = ListTables(staging.Path());
    if (!there.empty() && !force) {
        *error = "the server database already holds " + std::to_string(there.size()) +
                 " of the suite's tables (" + there.front() + ", ...); use --force to replace them";
        return false;
    }
    std::string failed;
    const int status = recman::CopyTables(folder, staging.Path(), tables,
                                          recman::ECopyWrites::OneTransaction, true, &failed);
    if (status != recman::kOk) {
        *error = "cannot copy " + failed +
                 " to the server: " + RecordManagerAccount(status, staging.Path(), folder) +
                 "; nothing was stored, and " + folder + " still uses its own files";
        return false;
    }
    if (recman::WriteServerConnInfo(folder, conninfo) != recman::kOk) {
        *error = "the tables are on the server, but " + std::string(recman::kServerConnInfoFile) +
                 " cannot be written into " + folder;
        return false;
    }
    // The connection string may hold the password: the clinic's group reads it, nobody else.
    const std::string connInfoPath = (fs::path(folder) / recman::kServerConnInfoFile).string();
    std::string modeError;
    if (!privatefiles::MakePrivate(connInfoPath, &modeError)) {
        *error = "the tables are on the server, but " + modeError;
        return false;
    }
    out << "pushed " << tables.size() << " tables of " << folder << " to the server; " << folder
        << " now uses it (its table files stay as they were, unused)\n";
    return true;
}

bool PullDatabase(const std::string& folder, const std::string& outFolder, bool force,
                  std::ostream& out, std::string* error) {
    const std::vector<std::string> tables = ListTables(folder);
    if (tables.empty()) {
        const std::string why = recman::LastErrorText();
        *error = why.empty() ? folder + " holds no tables to pull" : why;
        return false;
    }
    if (!privatefiles::MakePrivateFolder(outFolder, error)) return false;
    std::error_code ec;
    if (!fs::is_directory(outFolder, ec)) {
        *error = "cannot make the folder " + outFolder + (ec ? ": " + ec.message() : "");
        return false;
    }
    if (IsServerFolder(outFolder)) {
        *error = outFolder + " keeps its tables on a server; pull into a plain folder";
        return false;
    }
    if (!force && !ListTableFiles(outFolder).empty()) {
        *error = outFolder + " already holds table files; use --force to replace them";
        return false;
    }
    std::string failed;
    const int status = recman::CopyTables(folder, outFolder, tables,
                                          recman::ECopyWrites::TablePerTransaction, true, &failed);
    if (status != recman::kOk) {
        *error = "cannot copy " + failed + ": " + RecordManagerAccount(status);
        return false;
    }
    out << "pulled " << tables.size() << " tables of " << folder << " into " << outFolder
        << ", as they stood at one moment\n";
    return true;
}

}  // namespace velodb
