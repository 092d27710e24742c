// How the plain libpq side of the benchmarks talks to the server: as the best client written
// straight against libpq would. One connection in pipeline mode; every statement prepared
// once; the statements of one screen load or one save sent together and answered in one
// round trip; parameters and results in binary form, so that records travel as they are.
// Loading its tables (COPY) goes through a connection of its own outside pipeline mode.
#pragma once

#include <libpq-fe.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// The results of one round trip, one per statement in the order sent; freed together.
class CPgResults final {
public:
    CPgResults() = default;
    ~CPgResults() { Clear(); }
    CPgResults(const CPgResults&) = delete;
    CPgResults& operator=(const CPgResults&) = delete;

    void Clear();
    size_t Size() const { return m_results.size(); }
    PGresult* operator[](size_t i) const { return m_results[i]; }
    void Add(PGresult* result) { m_results.push_back(result); }

private:
    std::vector<PGresult*> m_results;
};

// One statement of a round trip: a prepared one by name, else SQL text; its parameters in
// binary form (PgText, PgInt4 or a record's bytes).
struct PgStatementCall {
    const char* name = nullptr;
    const char* sql = nullptr;
    std::vector<std::string> params;
};

inline std::string PgText(const std::string& text) { return text; }
std::string PgInt4(int32_t value);
// An int4 or int8 value of a binary result.
int64_t PgInteger(const PGresult* result, int row, int column);
// A bytea or text value of a binary result, copied into out when it has out's size.
bool PgCopyValue(const PGresult* result, int row, int column, void* out, size_t size);

class CPlainPg final {
public:
    // How the server plans the prepared statements: afresh for each run's values (its
    // default, best for a range whose size the values decide), or once (best for reads of
    // a few rows by key, whose planning costs more than their run).
    enum class Plans { kPerRun, kOnce };
    explicit CPlainPg(const std::string& conninfo, Plans plans = Plans::kPerRun);
    ~CPlainPg();
    CPlainPg(const CPlainPg&) = delete;
    CPlainPg& operator=(const CPlainPg&) = delete;

    bool Ready() const { return m_conn != nullptr && m_error.empty(); }
    // Why the connection, a preparation or the last round trip failed.
    const std::string& Error() const { return m_error; }

    // Prepares the statements (name, SQL) in one round trip; the parameters' types are the
    // server's to infer. False, with Error(), when one cannot be prepared.
    bool Prepare(const std::vector<std::pair<const char*, const char*>>& statements);

    // Sends the statements together and waits for every result: one round trip. *results
    // gets one result per statement. False, with Error(), when one of them failed (the ones
    // after it were not run).
    bool Run(const std::vector<PgStatementCall>& statements, CPgResults* results);

    // Round trips this connection has made.
    uint64_t RoundTrips() const { return m_roundTrips; }

private:
    bool Sync(size_t expected, CPgResults* results);

    PGconn* m_conn = nullptr;
    std::string m_error;
    uint64_t m_roundTrips = 0;
};

// A connection outside pipeline mode for loading the plain tables: statements one at a
// time, and COPY ... FROM STDIN in binary form.
class CPgLoader final {
public:
    explicit CPgLoader(const std::string& conninfo);
    ~CPgLoader();
    CPgLoader(const CPgLoader&) = delete;
    CPgLoader& operator=(const CPgLoader&) = delete;

    bool Ready() const { return m_conn != nullptr; }
    const std::string& Error() const { return m_error; }

    // Runs SQL (several statements allowed) and returns whether it succeeded.
    bool Exec(const std::string& sql);
    // The first column of the first row of a query, or "" when it returned none or failed.
    std::string Value(const std::string& sql);

    // Starts COPY of `table` (a name with its column list) from binary rows.
    bool BeginCopy(const std::string& table);
    // One row, each field in the binary form of its column's type.
    bool CopyRow(const std::vector<std::string>& fields);
    bool EndCopy();

private:
    bool Failed(const std::string& what);

    PGconn* m_conn = nullptr;
    std::string m_error;
    std::string m_buffer;
};
