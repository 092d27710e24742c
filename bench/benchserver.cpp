// The server-backed clinic of the benchmarks and its working copies.
#include "benchserver.h"

#include <libpq-fe.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "recman/recman.h"

namespace fs = std::filesystem;

namespace {

std::string Quoted(const std::string& value) {
    std::string out = "'";
    for (char c : value) {
        if (c == '\'' || c == '\\') out += '\\';
        out += c;
    }
    return out + "'";
}

// Runs one statement on a connection of its own; "" or why it failed.
std::string RunOnce(const std::string& conninfo, const std::string& sql, std::string* value) {
    PGconn* conn = PQconnectdb(conninfo.c_str());
    std::string error;
    if (PQstatus(conn) != CONNECTION_OK) {
        error = PQerrorMessage(conn);
    } else {
        PGresult* result = PQexec(conn, sql.c_str());
        const ExecStatusType status = PQresultStatus(result);
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
            error = PQresultErrorMessage(result);
        else if (value != nullptr && PQntuples(result) > 0)
            *value = PQgetvalue(result, 0, 0);
        PQclear(result);
    }
    PQfinish(conn);
    while (!error.empty() && error.back() == '\n') error.pop_back();
    return error;
}

}  // namespace

const char* BenchServerClinic(const char* program) {
    const char* folder = std::getenv("VELO_BENCH_SERVER_DB");
    if (folder != nullptr && *folder != '\0' && fs::is_directory(folder)) return folder;
    std::printf(
        "%s: VELO_BENCH_SERVER_DB names no server-backed clinic, so the server cases are left "
        "out; scripts/bench starts a server and provides one\n",
        program);
    return nullptr;
}

std::string WithDatabase(const std::string& conninfo, const std::string& database) {
    std::string out;
    PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), nullptr);
    for (PQconninfoOption* o = options; o != nullptr && o->keyword != nullptr; ++o) {
        if (o->val == nullptr || std::strcmp(o->keyword, "dbname") == 0) continue;
        out += std::string(o->keyword) + "=" + Quoted(o->val) + " ";
    }
    PQconninfoFree(options);
    return out + "dbname=" + Quoted(database);
}

CServerClinicCopy::CServerClinicCopy(const std::string& clinic, const std::string& work) {
    std::string conninfo;
    if (recman::ServerConnInfo(clinic, &conninfo) != recman::kOk) {
        m_error = clinic + " holds no readable connection file";
        return;
    }
    std::string source;
    m_error = RunOnce(conninfo, "SELECT current_database()", &source);
    if (!m_error.empty()) return;
    m_admin = WithDatabase(conninfo, "postgres");
    const std::string copy = source + "_run_" + std::to_string(::getpid());
    PGconn* conn = PQconnectdb(m_admin.c_str());
    char* sourceName = PQescapeIdentifier(conn, source.c_str(), source.size());
    char* copyName = PQescapeIdentifier(conn, copy.c_str(), copy.size());
    const std::string sql = std::string("CREATE DATABASE ") + (copyName ? copyName : "") +
                            " TEMPLATE " + (sourceName ? sourceName : "") + " STRATEGY FILE_COPY";
    PQfreemem(sourceName);
    PQfreemem(copyName);
    PQfinish(conn);
    m_error = RunOnce(m_admin, sql, nullptr);
    if (!m_error.empty()) {
        m_error = "the server cannot copy the clinic's database: " + m_error;
        return;
    }
    m_database = copy;
    m_conninfo = WithDatabase(conninfo, copy);
    m_folder = work + "/server-db";
    std::error_code error;
    fs::copy(clinic, m_folder, fs::copy_options::recursive, error);
    if (error) {
        m_error = "cannot copy the clinic's folder: " + error.message();
        return;
    }
    if (recman::WriteServerConnInfo(m_folder, m_conninfo) != recman::kOk)
        m_error = "cannot write the copy's connection file";
}

CServerClinicCopy::~CServerClinicCopy() {
    if (m_database.empty()) return;
    PGconn* conn = PQconnectdb(m_admin.c_str());
    char* name = PQescapeIdentifier(conn, m_database.c_str(), m_database.size());
    const std::string sql =
        std::string("DROP DATABASE IF EXISTS ") + (name ? name : "") + " WITH (FORCE)";
    PQfreemem(name);
    PQfinish(conn);
    const std::string error = RunOnce(m_admin, sql, nullptr);
    if (!error.empty())
        std::fprintf(stderr, "could not drop the working copy %s: %s\n", m_database.c_str(),
                     error.c_str());
}
