// The plain libpq side's connection: batches in pipeline mode, and the loader's COPY.
#include "plainpg.h"

#include <cstring>

namespace {

std::string Trimmed(const char* text) {
    std::string s = text != nullptr ? text : "";
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
    return s;
}

void PutBigEndian(std::string* out, uint64_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out->push_back(char((value >> (8 * i)) & 0xff));
}

bool Succeeded(const PGresult* result) {
    const ExecStatusType status = PQresultStatus(result);
    return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
}

}  // namespace

void CPgResults::Clear() {
    for (PGresult* result : m_results) PQclear(result);
    m_results.clear();
}

std::string PgInt4(int32_t value) {
    std::string out;
    PutBigEndian(&out, uint32_t(value), 4);
    return out;
}

int64_t PgInteger(const PGresult* result, int row, int column) {
    const int length = PQgetlength(result, row, column);
    const auto* bytes = reinterpret_cast<const unsigned char*>(PQgetvalue(result, row, column));
    uint64_t value = 0;
    for (int i = 0; i < length; ++i) value = (value << 8) | bytes[i];
    // Sign-extend an int4.
    if (length == 4) return int64_t(int32_t(uint32_t(value)));
    return int64_t(value);
}

bool PgCopyValue(const PGresult* result, int row, int column, void* out, size_t size) {
    if (PQgetisnull(result, row, column) || size_t(PQgetlength(result, row, column)) != size)
        return false;
    std::memcpy(out, PQgetvalue(result, row, column), size);
    return true;
}

namespace {
bool SetGenericPlans(PGconn* conn) {
    PGresult* result = PQexec(conn, "SET plan_cache_mode = force_generic_plan");
    const bool ok = PQresultStatus(result) == PGRES_COMMAND_OK;
    PQclear(result);
    return ok;
}
}  // namespace

CPlainPg::CPlainPg(const std::string& conninfo, Plans plans) {
    m_conn = PQconnectdb(conninfo.c_str());
    if (PQstatus(m_conn) != CONNECTION_OK) {
        m_error = "cannot connect: " + Trimmed(PQerrorMessage(m_conn));
    } else if (plans == Plans::kOnce && !SetGenericPlans(m_conn)) {
        m_error = "cannot choose generic plans: " + Trimmed(PQerrorMessage(m_conn));
    } else if (PQenterPipelineMode(m_conn) != 1) {
        m_error = "cannot enter pipeline mode: " + Trimmed(PQerrorMessage(m_conn));
    }
}

CPlainPg::~CPlainPg() { PQfinish(m_conn); }

bool CPlainPg::Prepare(const std::vector<std::pair<const char*, const char*>>& statements) {
    if (!Ready()) return false;
    for (const auto& [name, sql] : statements) {
        if (PQsendPrepare(m_conn, name, sql, 0, nullptr) != 1) {
            m_error = std::string("cannot send ") + name + ": " + Trimmed(PQerrorMessage(m_conn));
            return false;
        }
    }
    CPgResults results;
    return Sync(statements.size(), &results);
}

bool CPlainPg::Run(const std::vector<PgStatementCall>& statements, CPgResults* results) {
    results->Clear();
    if (!Ready()) return false;
    std::vector<const char*> values;
    std::vector<int> lengths, formats;
    for (const PgStatementCall& s : statements) {
        values.clear();
        lengths.clear();
        for (const std::string& p : s.params) {
            values.push_back(p.data());
            lengths.push_back(int(p.size()));
        }
        formats.assign(s.params.size(), 1);
        const int n = int(s.params.size());
        const int sent = s.name != nullptr
                             ? PQsendQueryPrepared(m_conn, s.name, n, values.data(), lengths.data(),
                                                   formats.data(), 1)
                             : PQsendQueryParams(m_conn, s.sql, n, nullptr, values.data(),
                                                 lengths.data(), formats.data(), 1);
        if (sent != 1) {
            m_error = "cannot send a statement: " + Trimmed(PQerrorMessage(m_conn));
            return false;
        }
    }
    return Sync(statements.size(), results);
}

// Ends the pipeline's batch and collects one result per statement, then the sync's.
bool CPlainPg::Sync(size_t expected, CPgResults* results) {
    if (PQpipelineSync(m_conn) != 1) {
        m_error = "cannot send the batch: " + Trimmed(PQerrorMessage(m_conn));
        return false;
    }
    ++m_roundTrips;
    bool ok = true;
    for (size_t i = 0; i < expected; ++i) {
        PGresult* result = PQgetResult(m_conn);
        if (result == nullptr) {
            m_error = "the server closed the connection: " + Trimmed(PQerrorMessage(m_conn));
            return false;
        }
        while (PGresult* extra = PQgetResult(m_conn)) PQclear(extra);
        if (ok && !Succeeded(result)) {
            ok = false;
            m_error = Trimmed(PQresultErrorMessage(result));
        }
        results->Add(result);
    }
    PGresult* sync = PQgetResult(m_conn);
    const bool synced = sync != nullptr && PQresultStatus(sync) == PGRES_PIPELINE_SYNC;
    PQclear(sync);
    if (!synced && ok) {
        ok = false;
        m_error = "the batch did not end: " + Trimmed(PQerrorMessage(m_conn));
    }
    return ok;
}

CPgLoader::CPgLoader(const std::string& conninfo) {
    m_conn = PQconnectdb(conninfo.c_str());
    if (PQstatus(m_conn) != CONNECTION_OK) {
        m_error = "cannot connect: " + Trimmed(PQerrorMessage(m_conn));
        PQfinish(m_conn);
        m_conn = nullptr;
        return;
    }
    // The server's notices ("schema does not exist, skipping") are no news here.
    PQsetNoticeProcessor(
        m_conn, [](void*, const char*) {}, nullptr);
}

CPgLoader::~CPgLoader() { PQfinish(m_conn); }

bool CPgLoader::Failed(const std::string& what) {
    m_error = what + ": " + Trimmed(PQerrorMessage(m_conn));
    return false;
}

bool CPgLoader::Exec(const std::string& sql) {
    PGresult* result = PQexec(m_conn, sql.c_str());
    const bool ok = Succeeded(result);
    PQclear(result);
    return ok || Failed(sql.substr(0, 60));
}

std::string CPgLoader::Value(const std::string& sql) {
    PGresult* result = PQexec(m_conn, sql.c_str());
    std::string value;
    if (PQresultStatus(result) == PGRES_TUPLES_OK && PQntuples(result) > 0 &&
        !PQgetisnull(result, 0, 0))
        value = PQgetvalue(result, 0, 0);
    PQclear(result);
    return value;
}

bool CPgLoader::BeginCopy(const std::string& table) {
    PGresult* result = PQexec(m_conn, ("COPY " + table + " FROM STDIN (FORMAT binary)").c_str());
    const bool ok = PQresultStatus(result) == PGRES_COPY_IN;
    PQclear(result);
    if (!ok) return Failed("COPY " + table);
    // The binary form's signature, flags and header extension.
    m_buffer.assign("PGCOPY\n\377\r\n\0", 11);
    PutBigEndian(&m_buffer, 0, 4);
    PutBigEndian(&m_buffer, 0, 4);
    return true;
}

bool CPgLoader::CopyRow(const std::vector<std::string>& fields) {
    PutBigEndian(&m_buffer, fields.size(), 2);
    for (const std::string& field : fields) {
        PutBigEndian(&m_buffer, field.size(), 4);
        m_buffer += field;
    }
    constexpr size_t kChunk = 1 << 20;
    if (m_buffer.size() < kChunk) return true;
    const bool ok = PQputCopyData(m_conn, m_buffer.data(), int(m_buffer.size())) == 1;
    m_buffer.clear();
    return ok || Failed("COPY");
}

bool CPgLoader::EndCopy() {
    PutBigEndian(&m_buffer, 0xffff, 2);
    bool ok = PQputCopyData(m_conn, m_buffer.data(), int(m_buffer.size())) == 1 &&
              PQputCopyEnd(m_conn, nullptr) == 1;
    m_buffer.clear();
    PGresult* result = PQgetResult(m_conn);
    ok = ok && PQresultStatus(result) == PGRES_COMMAND_OK;
    PQclear(result);
    while (PGresult* extra = PQgetResult(m_conn)) PQclear(extra);
    return ok || Failed("COPY");
}
