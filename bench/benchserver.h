// The server-backed clinic of the benchmarks' server cases. scripts/bench starts a private
// PostgreSQL server for the run, pushes the demo clinic to it once and names in
// VELO_BENCH_SERVER_DB a folder that holds the clinic's own files (GlobalSetting.ini, the
// memo files) and the connection file naming that server database.
#pragma once

#include <string>

// The folder VELO_BENCH_SERVER_DB names, or nullptr after a line on the console saying that
// `program` leaves out its server cases (scripts/bench always provides one).
const char* BenchServerClinic(const char* program);

// The connection string with the database `database` instead of the one it names.
std::string WithDatabase(const std::string& conninfo, const std::string& database);

// A working copy of the server-backed clinic for a benchmark that writes, so that every run
// starts from the same records: a database the server makes with the clinic's own as its
// template (it copies the files, in about a second), and a folder in `work` with the clinic's
// own files and a connection file naming the copy. The copy is dropped again when the object
// goes. REQUIRES: no session is connected to the clinic's database (recman::Shutdown first).
class CServerClinicCopy final {
public:
    CServerClinicCopy(const std::string& clinic, const std::string& work);
    ~CServerClinicCopy();
    CServerClinicCopy(const CServerClinicCopy&) = delete;
    CServerClinicCopy& operator=(const CServerClinicCopy&) = delete;

    // Empty when the copy is ready.
    const std::string& Error() const { return m_error; }
    // The copy's folder and the connection string of its database.
    const std::string& Folder() const { return m_folder; }
    const std::string& ConnInfo() const { return m_conninfo; }

private:
    std::string m_error, m_folder, m_conninfo;
    std::string m_admin;     // the server's maintenance database
    std::string m_database;  // the copy, once made
};
