// The server engine: the connection and its round trips, the catalogue, the statements of
// each table, transactions and the notifications of other sessions' commits.
#include "recman/pgengine.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <limits>

#include "recman/conninfo.h"
#include "recman/engines.h"
#include "recman/recman.h"

namespace recman {
namespace {

constexpr Oid kByteaOid = 17;
constexpr Oid kInt8Oid = 20;
constexpr Oid kInt4Oid = 23;
constexpr Oid kTextOid = 25;
constexpr char kChannel[] = "recman_changes";
constexpr char kCatalogueTable[] = "recman_table";
// The class of the advisory locks that make the writers of one table take turns; the
// second number is the table's oid.
constexpr int32_t kLockClass = 0x52434d4c;
// A read-ahead stamp: inside a transaction this bit and the transaction's serial; outside,
// when the rows were read (microseconds, above kStampChangeBits) and the table's count of
// other sessions' commits then (its low bits).
constexpr uint64_t kInTransactionStamp = uint64_t(1) << 63;
constexpr int kStampChangeBits = 20;
constexpr uint64_t kStampChangeMask = (uint64_t(1) << kStampChangeBits) - 1;
// Outside a transaction, how long rows read from the server are served again without
// asking it, unless a notification says the table changed. A notification may still be on
// its way when a commit returns; this bound makes every commit acknowledged longer ago than
// this seen by the next read, without costing a tight loop of reads a round trip each.
constexpr int64_t kFreshMicros = 2000;
// Tables kept whole that served a read this recently are checked in every transaction's
// first round trip; others when a transaction first reads them.
constexpr int64_t kWarmMicros = 10 * 1000 * 1000;
// How often a cursor serving its read-ahead looks for notifications that have arrived.
constexpr int64_t kPollIntervalMicros = 1000;
constexpr uint32_t kCheckBatch = 1000;
constexpr int kConnectTimeoutSeconds = 10;
constexpr Oid kInt8ArrayOid = 1016;
constexpr Oid kByteaArrayOid = 1001;
constexpr Oid kTextArrayOid = 1009;
constexpr Oid kInt4ArrayOid = 1007;
// A table of at most this many rows (and bytes) is kept whole in the process: the masters.
constexpr int kDefaultCacheRows = 256;
int g_cacheRows = kDefaultCacheRows;
constexpr size_t kCacheBytes = 256 * 1024;

uint64_t g_roundTrips = 0;
bool g_notificationsHeldBack = false;  // for tests: as if none had arrived yet

// Tickets, the provisional ids of inserts not sent yet, lie far below every row id and above
// the lowest id, which positions before the first row.
constexpr int64_t kTicketBase = int64_t(1) << 62;
// Writes of one transaction to a table kept in the process beyond which what is kept is
// read again rather than changed in place.
constexpr size_t kMaxOwnWrites = 1000;
// What a write that waited returns when its row was gone (a division by zero, the one
// error plain SQL raises on demand).
constexpr char kRowGoneState[] = "22012";

const std::string kLockName = "recman_lock";
const std::string kLockSql = "SELECT pg_advisory_xact_lock($1, $2)";
const std::string kLocksName = "recman_locks";
const std::string kLocksSql =
    "SELECT pg_advisory_xact_lock($1, t) FROM unnest($2::int4[]) WITH ORDINALITY AS u(t, n)"
    " ORDER BY n";
const std::string kLayoutName = "recman_layout";
const std::string kLayoutSql =
    "SELECT t.record_length, t.page_size, to_regclass(t.name)::oid, k.key_no, k.seg_no,"
    " k.seg_offset, k.seg_length, k.seg_type, k.duplicates,"
    " (SELECT reltuples FROM pg_class WHERE oid = to_regclass(t.name))"
    " FROM recman_table t JOIN recman_key k ON k.table_name = t.name"
    " WHERE t.name = $1 ORDER BY k.key_no, k.seg_no";
// The layouts of every table at once, in the same columns, with the table's name last.
const char kCatalogueLayoutSql[] =
    "SELECT t.record_length, t.page_size, to_regclass(t.name)::oid, k.key_no, k.seg_no,"
    " k.seg_offset, k.seg_length, k.seg_type, k.duplicates,"
    " (SELECT reltuples FROM pg_class WHERE oid = to_regclass(t.name)), t.name,"
    " pg_relation_size(to_regclass(t.name))"
    " FROM recman_table t JOIN recman_key k ON k.table_name = t.name"
    " ORDER BY t.name, k.key_no, k.seg_no";
// A table this small on disk is read whole, with the first table read whole, before it is
// asked for: the masters a program reads as it starts, in one round trip.
constexpr long long kPrefillBytes = 64 * 1024;

const int kBinaryFormats[PgStatement::kMaxParams] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
                                                     1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
static_assert(sizeof kBinaryFormats / sizeof kBinaryFormats[0] == PgStatement::kMaxParams);

std::string BigEndian64(int64_t value) {
    std::string out(8, '\0');
    for (int i = 7; i >= 0; --i) {
        out[size_t(i)] = char(uint64_t(value) & 0xff);
        value = int64_t(uint64_t(value) >> 8);
    }
    return out;
}

std::string BigEndian32(int32_t value) {
    std::string out(4, '\0');
    for (int i = 3; i >= 0; --i) {
        out[size_t(i)] = char(uint32_t(value) & 0xff);
        value = int32_t(uint32_t(value) >> 8);
    }
    return out;
}

// The start of an array in the server's binary form: its dimensions (none when empty, as
// the server writes an empty array), no nulls, the element type, then its length.
std::string ArrayHeader(Oid element, size_t count) {
    std::string out =
        BigEndian32(count == 0 ? 0 : 1) + BigEndian32(0) + BigEndian32(int32_t(element));
    if (count != 0) out += BigEndian32(int32_t(count)) + BigEndian32(1);
    return out;
}

// An int8[] in the server's binary form: each element with its length.
std::string Int8Array(const std::vector<int64_t>& values) {
    std::string out = ArrayHeader(kInt8Oid, values.size());
    for (int64_t v : values) out += BigEndian32(8) + BigEndian64(v);
    return out;
}

// An int4[] in the server's binary form.
std::string Int4Array(const std::vector<int64_t>& values) {
    std::string out = ArrayHeader(kInt4Oid, values.size());
    for (int64_t v : values) out += BigEndian32(4) + BigEndian32(int32_t(v));
    return out;
}

// A bytea[] (or text[]) in the server's binary form.
std::string ByteaArray(const std::vector<const std::string*>& values, Oid element = kByteaOid) {
    std::string out = ArrayHeader(element, values.size());
    for (const std::string* v : values) out += BigEndian32(int32_t(v->size())) + *v;
    return out;
}

int64_t FromBigEndian64(const char* p) {
    uint64_t value = 0;
    for (int i = 0; i < 8; ++i) value = (value << 8) | uint8_t(p[i]);
    return int64_t(value);
}

// The rows (id, record) a read gave, into `rows`; kNotATableFile when a record is not of
// the table's length.
int TakeRows(PGresult* result, uint32_t recordLength, Batch* rows) {
    rows->Clear();
    rows->recordLength = recordLength;
    const int n = PQntuples(result);
    rows->ids.reserve(size_t(n));
    rows->data.reserve(size_t(n) * recordLength);
    for (int i = 0; i < n; ++i) {
        if (uint32_t(PQgetlength(result, i, 1)) != recordLength) return kNotATableFile;
        rows->Add(FromBigEndian64(PQgetvalue(result, i, 0)), PQgetvalue(result, i, 1));
    }
    return kOk;
}

// Microseconds since this process first asked.
int64_t NowMicros() {
    static const auto start = std::chrono::steady_clock::now();
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
}

std::string Trimmed(const char* text) {
    std::string s = text ? text : "";
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
    return s;
}

std::string Quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        out += c;
        if (c == '\'') out += '\'';
    }
    return out + "'";
}

std::string KeyColumn(size_t k) { return "k" + std::to_string(k); }

// The catalogue and the notification trigger, made once per server database.
const char* const kCatalogueSql[] = {
    "CREATE TABLE IF NOT EXISTS recman_table(name text PRIMARY KEY, file_name text NOT NULL,"
    " record_length integer NOT NULL, page_size integer NOT NULL)",
    "CREATE TABLE IF NOT EXISTS recman_key(table_name text NOT NULL REFERENCES recman_table(name)"
    " ON DELETE CASCADE, key_no integer NOT NULL, seg_no integer NOT NULL, seg_offset integer NOT "
    "NULL,"
    " seg_length integer NOT NULL, seg_type integer NOT NULL, duplicates boolean NOT NULL,"
    " PRIMARY KEY(table_name, key_no, seg_no))",
    "CREATE OR REPLACE FUNCTION recman_notify() RETURNS trigger LANGUAGE plpgsql AS"
    " $$BEGIN PERFORM pg_notify('recman_changes', TG_TABLE_NAME); RETURN NULL; END$$",
    "CREATE OR REPLACE TRIGGER recman_table_changed AFTER INSERT OR UPDATE OR DELETE ON "
    "recman_table"
    " FOR EACH STATEMENT EXECUTE FUNCTION recman_notify()",
};

std::vector<std::string> CreateTableSql(const std::string& name, const std::string& fileName,
                                        const Schema& schema, bool overwrite) {
    std::vector<std::string> sql;
    if (overwrite) {
        sql.push_back("DROP TABLE IF EXISTS " + name);
        sql.push_back("DELETE FROM recman_table WHERE name = " + Quoted(name));
    }
    std::string columns = "id bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY";
    for (size_t k = 0; k < schema.keys.size(); ++k)
        columns += ", " + KeyColumn(k) + " bytea NOT NULL";
    sql.push_back("CREATE TABLE " + name + "(" + columns + ", data bytea NOT NULL)");
    for (size_t k = 0; k < schema.keys.size(); ++k) {
        // A duplicate key orders by (key, id): insertion order among equal keys.
        const std::string k_ = KeyColumn(k);
        if (schema.keys[k].duplicates)
            sql.push_back("CREATE INDEX " + name + "_" + k_ + " ON " + name + "(" + k_ + ", id)");
        else
            sql.push_back("CREATE UNIQUE INDEX " + name + "_" + k_ + " ON " + name + "(" + k_ +
                          ")");
    }
    sql.push_back("CREATE TRIGGER " + name +
                  "_changed AFTER INSERT OR UPDATE OR DELETE OR TRUNCATE ON " + name +
                  " FOR EACH STATEMENT EXECUTE FUNCTION recman_notify()");
    sql.push_back("INSERT INTO recman_table VALUES(" + Quoted(name) + ", " + Quoted(fileName) +
                  ", " + std::to_string(schema.recordLength) + ", " +
                  std::to_string(PageSizeFor(schema)) + ")");
    for (size_t k = 0; k < schema.keys.size(); ++k) {
        const KeyDef& key = schema.keys[k];
        for (size_t s = 0; s < key.segments.size(); ++s) {
            const Segment& seg = key.segments[s];
            sql.push_back("INSERT INTO recman_key VALUES(" + Quoted(name) + ", " +
                          std::to_string(k) + ", " + std::to_string(s) + ", " +
                          std::to_string(seg.offset) + ", " + std::to_string(seg.length) + ", " +
                          std::to_string(seg.type) + ", " + (key.duplicates ? "true" : "false") +
                          ")");
        }
    }
    return sql;
}

int StatusOfSqlState(const char* state) {
    if (!state) return kIoError;
    const std::string s = state;
    if (s == "40001" || s == "40P01" || s == "55P03") return kFileLocked;
    if (s == "23505") return kDuplicateKey;
    if (s == "42P01") return kFileNotFound;
    if (s == "25006") return kAccessDenied;  // a read-only transaction or standby server
    if (s.compare(0, 2, "53") == 0) return kDiskFull;
    if (s.compare(0, 2, "08") == 0 || s == "57P01" || s == "57P02" || s == "57P03")
        return kServerUnreachable;
    return kIoError;
}

bool LooksLikeLoginFailure(const std::string& message) {
    for (const char* word : {"password", "authentication", "パスワード", "認証"})
        if (message.find(word) != std::string::npos) return true;
    return false;
}

// Frees the results of one round trip when it goes out of scope.
template <size_t N>
struct Results {
    PGresult* r[N] = {};
    ~Results() {
        for (PGresult* result : r) PQclear(result);
    }
};

// The parameters of an insert or update: the record's ordered key for each key (kept in
// `keys`, which the statement points into), then the record itself.
void AddKeysAndRecord(const PgTable& t, const uint8_t* record,
                      std::array<std::string, kMaxKeys>* keys, PgStatement* s) {
    for (size_t k = 0; k < t.schema.keys.size(); ++k) {
        (*keys)[k] = OrderedKeyOfRecord(t.schema.keys[k], record);
        s->Add(kByteaOid, (*keys)[k]);
    }
    s->Add(kByteaOid, reinterpret_cast<const char*>(record), int(t.schema.recordLength));
}

}  // namespace

uint64_t ServerRoundTrips() { return g_roundTrips; }

namespace testing {
void SetServerCacheRows(int rows) { g_cacheRows = rows < 0 ? kDefaultCacheRows : rows; }
void SetServerNotificationsHeldBack(bool held) { g_notificationsHeldBack = held; }
}  // namespace testing

PgEngine::PgEngine(std::string conninfo) : m_conninfo(std::move(conninfo)) {}

PgEngine::~PgEngine() { Disconnect(); }

std::string PgEngine::TableNameFor(const std::string& path) {
    std::string file = std::filesystem::path(path).filename().string();
    const size_t dot = file.rfind('.');
    if (dot != std::string::npos && dot > 0) file.resize(dot);
    std::string name = "t_";
    for (char c : file) {
        const char lower = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
        name += ((lower >= 'a' && lower <= 'z') || (lower >= '0' && lower <= '9') || lower == '_')
                    ? lower
                    : '_';
    }
    // Index names add "_kNN" to it within the server's 63 characters.
    if (name.size() > 56) name.resize(56);
    return name;
}

std::string PgEngine::Where(const std::string& folder) const {
    return "サーバー: " + DescribeServer(m_conninfo) + "\nデータベースフォルダ: " + folder;
}

int PgEngine::Connect(const std::string& folder) {
    if (m_conn) return kOk;
    // A transaction whose connection was lost stays failed until its abort: a new
    // connection would carry on without what the transaction had written.
    if (m_inTransaction && m_transactionFailure) return m_transactionFailure;
    const std::string timeout = std::to_string(kConnectTimeoutSeconds);
    // The folder's own settings come later and win over these defaults.
    const char* keywords[] = {"connect_timeout", "application_name", "dbname", nullptr};
    const char* values[] = {timeout.c_str(), "velo", m_conninfo.c_str(), nullptr};
    PGconn* conn = PQconnectdbParams(keywords, values, 1);
    if (PQstatus(conn) != CONNECTION_OK) {
        const std::string detail = Trimmed(PQerrorMessage(conn));
        const bool login = PQconnectionNeedsPassword(conn) ||
                           (PQconnectionUsedPassword(conn) && LooksLikeLoginFailure(detail));
        PQfinish(conn);
        if (login) {
            engines::SetLastErrorText(
                "データベースサーバーにログインできません。ユーザー名かパスワードが違います。\n" +
                Where(folder) + "\n" + detail);
            return kPermissionError;
        }
        engines::SetLastErrorText("データベースサーバーに接続できません。\n" + Where(folder) +
                                  "\n" + detail);
        return kServerUnreachable;
    }
    // The server's notices ("table does not exist, skipping") are for people at a console.
    PQsetNoticeProcessor(
        conn, [](void*, const char*) {}, nullptr);
    if (PQenterPipelineMode(conn) != 1) {
        engines::SetLastErrorText("データベースサーバーに接続できません。\n" + Where(folder) +
                                  "\n" + Trimmed(PQerrorMessage(conn)));
        PQfinish(conn);
        return kServerUnreachable;
    }
    m_conn = conn;
    m_backendPid = PQbackendPID(conn);
    m_prepared.clear();
    ++m_connections;
    // Notifications sent while there was no connection are lost: every read-ahead is stale.
    for (auto& [name, table] : m_tables) ++table->changes;
    m_timeoutPending = true;
    const std::string listen = std::string("LISTEN ") + kChannel;
    PgStatement setup[3];
    setup[0].text = listen.c_str();
    // A session waiting for a lock notices within a second that its client was killed, and
    // lets go of what it holds instead of waiting for the lock first (servers from 14 on).
    setup[1].text =
        "SELECT set_config('client_connection_check_interval', '1000', false)"
        " WHERE current_setting('server_version_num')::int >= 140000";
    // Every statement is prepared once and runs many times with a small LIMIT, which its
    // generic plan (an index scan in key order) serves best; without this the server plans
    // the reads afresh on every run, which costs more than running them.
    setup[2].text = "SET plan_cache_mode = force_generic_plan";
    PGresult* results[3] = {};
    // Outside any transaction of the caller's: a LISTEN inside one would wait for its commit.
    const int status = RoundTrip(setup, 3, results, false);
    for (PGresult* result : results) PQclear(result);
    if (status != kOk) {
        engines::SetLastErrorText("データベースサーバーに接続できません。\n" + Where(folder));
        Disconnect();
    }
    return status;
}

void PgEngine::Disconnect() {
    // Notifications of layouts made elsewhere may be missed until the next connection.
    ForgetCatalogue();
    m_quietNext.clear();
    if (m_conn) PQfinish(m_conn);
    m_conn = nullptr;
    m_backendPid = 0;
    m_prepared.clear();
}

void PgEngine::ConnectionLost() {
    Disconnect();
    m_begun = false;
    if (m_inTransaction) m_transactionFailure = kServerUnreachable;
    for (auto& [name, table] : m_tables) ++table->readAheadEpoch;
    engines::SetLastErrorText("データベースサーバーとの接続が切れました。\n" + Where(m_folder));
}

int PgEngine::StatusOf(PGresult* result) {
    switch (PQresultStatus(result)) {
        case PGRES_COMMAND_OK:
        case PGRES_TUPLES_OK:
            return kOk;
        default:
            break;
    }
    if (!m_conn || PQstatus(m_conn) != CONNECTION_OK) return kServerUnreachable;
    return StatusOfSqlState(PQresultErrorField(result, PG_DIAG_SQLSTATE));
}

int PgEngine::RoundTrip(PgStatement* statements, size_t count, PGresult** results,
                        bool joinTransaction) {
    for (size_t i = 0; i < count; ++i) results[i] = nullptr;
    if (joinTransaction && m_inTransaction && m_transactionFailure) return m_transactionFailure;
    if (!m_conn)
        if (int st = Connect(m_folder); st != kOk) return st;

    // What goes out, in order: the lock_timeout, BEGIN, the check of each kept table, the
    // caller's statements; a statement's preparation goes just before it.
    enum class Kind {
        kTimeout,
        kBegin,
        kSnapshot,
        kCheck,
        kLookupCheck,
        kLock,
        kWaiting,
        kPrefetch,
        kAsked,
        kCaller
    };
    struct Sent {
        Kind kind;
        size_t index;
        const std::string* prepared;  // set for a statement's preparation
    };
    std::vector<Sent> sent;
    sent.reserve(count * 2 + 2);
    bool ok = true;
    std::set<std::string> preparing;
    const auto send = [&](PgStatement& s, Kind kind, size_t index) {
        const int resultFormat = s.textResult ? 0 : 1;
        if (s.name) {
            if (!m_prepared.count(*s.name) && preparing.insert(*s.name).second) {
                ok = ok && PQsendPrepare(m_conn, s.name->c_str(), s.sql->c_str(), s.paramCount,
                                         s.types.data()) == 1;
                sent.push_back({kind, index, s.name});
            }
            ok = ok && PQsendQueryPrepared(m_conn, s.name->c_str(), s.paramCount, s.values.data(),
                                           s.lengths.data(), kBinaryFormats, resultFormat) == 1;
        } else {
            const char* sql = s.sql ? s.sql->c_str() : s.text;
            ok = ok && PQsendQueryParams(m_conn, sql, s.paramCount, s.types.data(), s.values.data(),
                                         s.lengths.data(), kBinaryFormats, resultFormat) == 1;
        }
        sent.push_back({kind, index, nullptr});
    };

    const bool beginning = joinTransaction && m_inTransaction && !m_begun;
    // Statements before a BEGIN in one pipeline become part of its transaction, and its
    // rollback would undo the setting: the timeout is set outside transactions only (the
    // round trip that sets up a new connection is one, even while the caller has a
    // transaction open that has not reached the server yet).
    const std::string timeoutSql =
        "SET lock_timeout = " + std::to_string(std::max(1, m_busyTimeout));
    PgStatement timeout;
    timeout.text = timeoutSql.c_str();
    timeout.textResult = true;
    if (m_timeoutPending && !(m_inTransaction && (m_begun || joinTransaction)))
        send(timeout, Kind::kTimeout, 0);
    PgStatement begin;
    begin.text = "BEGIN ISOLATION LEVEL SERIALIZABLE";
    begin.textResult = true;
    // The tables kept whole are checked against the transaction's snapshot before anything
    // else reads (the first statement takes the snapshot): reads from them inside the
    // transaction are then that snapshot's, and the server knows the transaction read them.
    std::vector<PgTable*> checked, lookedUp;
    std::vector<std::array<std::string, 3>> checkParams;
    std::vector<std::array<std::string, 3>> lookupParams;
    std::vector<std::vector<int64_t>> lookupIds;
    std::vector<PgStatement> checks, lookupChecks;
    PgStatement snapshot;
    snapshot.text = "SELECT pg_current_snapshot()::text";
    snapshot.textResult = true;
    // When nothing but this process has run since its last commit, as far as the notifications
    // tell, what stood then is presumed to stand: the transaction's snapshot alone confirms it,
    // and the kept rows are checked only when it does not.
    std::string presumed;
    std::vector<PgTable*> presumedTables;
    std::vector<std::pair<PgTable*, std::vector<int64_t>>> presumedRows;
    if (beginning) {
        if (PQconsumeInput(m_conn) == 1) DrainNotifications();
        presumed = m_quietNext;
        send(begin, Kind::kBegin, 0);
        // The transaction's snapshot, taken by its first statement.
        send(snapshot, Kind::kSnapshot, 0);
        const int64_t now = NowMicros();
        for (auto& [name, table] : m_tables) {
            const TableCache& cache = table->cache;
            // In use lately, or read ahead and not yet looked at by a transaction.
            const bool inUse =
                (cache.usedAt > 0 && now - cache.usedAt < kWarmMicros) || table->readAhead;
            table->readAhead = false;
            if (!cache.Filled() || cache.changes != table->changes || !inUse) continue;
            if (!presumed.empty() && cache.quietSnapshot == presumed)
                presumedTables.push_back(table.get());
            else
                checked.push_back(table.get());
        }
        checkParams.resize(checked.size());
        checks.resize(checked.size());
        for (size_t i = 0; i < checked.size(); ++i) {
            const TableCache& cache = checked[i]->cache;
            checkParams[i] = {Int8Array(cache.Ids()), Int8Array(cache.Xmins()),
                              BigEndian64(int64_t(cache.Ids().size()))};
            PgStatement& check = checks[i];
            check.name = &checked[i]->validateName;
            check.sql = &checked[i]->validateSql;
            check.Add(kInt8ArrayOid, checkParams[i][0]);
            check.Add(kInt8ArrayOid, checkParams[i][1]);
            check.Add(kInt8Oid, checkParams[i][2]);
            check.Add(kTextOid, cache.quietSnapshot);
            send(check, Kind::kCheck, i);
        }
        // And the rows kept of large tables, the same way.
        for (auto& [name, table] : m_tables)
            if (!table->lookups.Empty() && table->lookups.usedAt > 0 &&
                now - table->lookups.usedAt < kWarmMicros)
                lookedUp.push_back(table.get());
        lookupParams.resize(lookedUp.size());
        lookupChecks.resize(lookedUp.size());
        lookupIds.resize(lookedUp.size());
        for (size_t i = 0; i < lookedUp.size(); ++i) {
            std::vector<int64_t>& ids = lookupIds[i];
            std::vector<int64_t> xmins;
            std::vector<std::string> quiet;
            lookedUp[i]->lookups.IdsAndVersions(&ids, &xmins, &quiet);
            std::vector<int64_t> asked, askedXmins;
            std::vector<std::string> askedQuiet;
            presumedRows.emplace_back(lookedUp[i], std::vector<int64_t>());
            for (size_t r = 0; r < ids.size(); ++r) {
                if (!presumed.empty() && quiet[r] == presumed) {
                    presumedRows.back().second.push_back(ids[r]);
                } else {
                    asked.push_back(ids[r]);
                    askedXmins.push_back(xmins[r]);
                    askedQuiet.push_back(quiet[r]);
                }
            }
            if (presumedRows.back().second.empty()) presumedRows.pop_back();
            ids = std::move(asked);
            xmins = std::move(askedXmins);
            quiet = std::move(askedQuiet);
            if (ids.empty()) continue;
            std::vector<const std::string*> quietOnes;
            for (const std::string& q : quiet) quietOnes.push_back(&q);
            lookupParams[i] = {Int8Array(ids), Int8Array(xmins), ByteaArray(quietOnes, kTextOid)};
            PgStatement& check = lookupChecks[i];
            check.name = &lookedUp[i]->lookupCheckName;
            check.sql = &lookedUp[i]->lookupCheckSql;
            check.Add(kInt8ArrayOid, lookupParams[i][0]);
            check.Add(kInt8ArrayOid, lookupParams[i][1]);
            check.Add(kTextArrayOid, lookupParams[i][2]);
            send(check, Kind::kLookupCheck, i);
        }
    }
    // The transaction's writes that waited go before the statement that needs an answer, each
    // table's write lock before its first write.
    const bool sendingWaiting = joinTransaction && m_inTransaction && !m_waiting.empty();
    std::set<PgTable*> locking;
    const std::string lockClass = BigEndian32(kLockClass);
    std::string lockTables;
    PgStatement locks;
    if (sendingWaiting) {
        // The write locks of every table first written here, in one statement, in the order
        // of their oids.
        std::vector<int64_t> oids;
        for (const Waiting& w : m_waiting)
            if (w.table->lockedInTransaction != m_transactionSerial &&
                locking.insert(w.table).second)
                oids.push_back(w.table->oid);
        if (!oids.empty()) {
            std::sort(oids.begin(), oids.end());
            lockTables = Int4Array(oids);
            locks.name = &kLocksName;
            locks.sql = &kLocksSql;
            locks.textResult = true;
            locks.Add(kInt4Oid, lockClass);
            locks.Add(kInt4ArrayOid, lockTables);
            send(locks, Kind::kLock, 0);
        }
        for (size_t i = 0; i < m_waiting.size(); ++i) {
            PgTable* t = m_waiting[i].table;
            const PgWrite& w = m_waiting[i].write;
            PgStatement write;
            std::array<std::string, kMaxKeys> keys;
            const std::string id = BigEndian64(w.id);
            const auto* record = reinterpret_cast<const uint8_t*>(w.record.data());
            switch (w.kind) {
                case PgWrite::Kind::kInsert:
                    write.name = &t->insertLoudName;
                    write.sql = &t->insertLoudSql;
                    AddKeysAndRecord(*t, record, &keys, &write);
                    break;
                case PgWrite::Kind::kUpdate:
                    write.name = &t->updateLoudName;
                    write.sql = &t->updateLoudSql;
                    AddKeysAndRecord(*t, record, &keys, &write);
                    write.Add(kInt8Oid, id);
                    break;
                case PgWrite::Kind::kDelete:
                    write.name = &t->deleteName;
                    write.sql = &t->deleteSql;
                    write.Add(kInt8Oid, id);
                    break;
            }
            send(write, Kind::kWaiting, i);
        }
    }
    // Rows asked for ahead go with it too.
    std::vector<QueuedPrefetch> prefetches;
    prefetches.swap(m_prefetches);
    for (size_t i = 0; i < prefetches.size(); ++i) {
        const auto it = m_tables.find(prefetches[i].table);
        if (it == m_tables.end()) continue;
        PgTable* t = it->second.get();
        PgStatement s;
        s.name = &t->prefetchName[size_t(prefetches[i].key)];
        s.sql = &t->prefetchSql[size_t(prefetches[i].key)];
        s.Add(kByteaArrayOid, prefetches[i].values);
        send(s, Kind::kPrefetch, i);
    }
    // And the positionings asked for ahead, after the writes that they are to see.
    const std::vector<size_t> asked =
        joinTransaction && m_inTransaction ? m_asked.Send() : std::vector<size_t>();
    std::vector<PgTable*> askedTables(asked.size());
    std::vector<std::array<std::string, 2>> askedParams(asked.size());
    std::vector<PgStatement> askedReads(asked.size());
    for (size_t i = 0; i < asked.size(); ++i) {
        const AskedReads::Read& read = m_asked.ReadAt(asked[i]);
        const auto it = m_tables.find(read.table);
        if (it == m_tables.end() || it->second->oid == 0) {
            m_asked.Failed(asked[i]);
            continue;
        }
        PgTable* t = askedTables[i] = it->second.get();
        PgStatement& s = askedReads[i];
        const size_t key = size_t(read.key);
        s.name = read.dir > 0 ? &t->forwardName[key] : &t->backwardName[key];
        s.sql = read.dir > 0 ? &t->forwardSql[key] : &t->backwardSql[key];
        askedParams[i] = {BigEndian64(read.id), BigEndian32(int32_t(read.limit))};
        s.Add(kByteaOid, read.ordered);
        s.Add(kInt8Oid, askedParams[i][0]);
        s.Add(kInt4Oid, askedParams[i][1]);
        send(s, Kind::kAsked, i);
    }
    for (size_t i = 0; i < count; ++i) send(statements[i], Kind::kCaller, i);
    ok = ok && PQpipelineSync(m_conn) == 1;
    ++g_roundTrips;
    if (!ok) {
        ConnectionLost();
        return kServerUnreachable;
    }

    int status = kOk;
    bool lost = false;
    for (const Sent& s : sent) {
        PGresult* result = PQgetResult(m_conn);
        if (!result) {
            lost = true;
            break;
        }
        // Each command's results end with a null.
        while (PGresult* extra = PQgetResult(m_conn)) PQclear(extra);
        const ExecStatusType type = PQresultStatus(result);
        const bool done = type != PGRES_PIPELINE_ABORTED;
        int st = done ? StatusOf(result) : kOk;
        if (st == kIoError && s.kind == Kind::kWaiting && !s.prepared &&
            std::strcmp(PQresultErrorField(result, PG_DIAG_SQLSTATE), kRowGoneState) == 0)
            st = kInvalidPositioning;  // the row the update was for is gone
        if (status == kOk && st != kOk) status = st;
        if (st == kServerUnreachable) lost = true;
        if (s.prepared) {
            if (done && st == kOk) m_prepared.insert(*s.prepared);
            PQclear(result);
            continue;
        }
        switch (s.kind) {
            case Kind::kTimeout:
                if (done && st == kOk) m_timeoutPending = false;
                break;
            case Kind::kBegin:
                if (done && st == kOk) m_begun = true;
                break;
            case Kind::kSnapshot:
                if (done && st == kOk && PQntuples(result) == 1)
                    m_snapshot = PQgetvalue(result, 0, 0);
                break;
            case Kind::kCheck: {
                TableCache& cache = checked[s.index]->cache;
                const bool same = done && st == kOk && PQntuples(result) == 1 &&
                                  PQgetlength(result, 0, 0) == 1 &&
                                  PQgetvalue(result, 0, 0)[0] != 0;
                if (same)
                    cache.validIn = m_transactionSerial;
                else
                    cache.Drop();
                break;
            }
            case Kind::kLookupCheck: {
                LookupCache& lookups = lookedUp[s.index]->lookups;
                if (done && st == kOk) {
                    std::vector<int64_t> changed;
                    for (int i = 0; i < PQntuples(result); ++i)
                        changed.push_back(FromBigEndian64(PQgetvalue(result, i, 0)));
                    lookups.Checked(lookupIds[s.index], changed, lookedUp[s.index]->changes,
                                    NowMicros(), m_transactionSerial);
                } else {
                    lookups.Clear();
                }
                break;
            }
            case Kind::kLock:
                break;
            case Kind::kWaiting: {
                const PgWrite& w = m_waiting[s.index].write;
                if (done && st == kOk && w.kind == PgWrite::Kind::kInsert && PQntuples(result) == 1)
                    m_ticketIds[w.id] = FromBigEndian64(PQgetvalue(result, 0, 0));
                break;
            }
            case Kind::kPrefetch:
                if (done && st == kOk) KeepPrefetched(prefetches[s.index], result);
                break;
            case Kind::kAsked: {
                Batch rows;
                if (done && st == kOk &&
                    TakeRows(result, askedTables[s.index]->schema.recordLength, &rows) == kOk)
                    m_asked.Answered(asked[s.index], std::move(rows));
                else
                    m_asked.Failed(asked[s.index]);
                break;
            }
            case Kind::kCaller:
                results[s.index] = result;
                result = nullptr;
                break;
        }
        PQclear(result);
        if (lost) break;
    }
    if (!lost) {
        PGresult* sync = PQgetResult(m_conn);
        lost = !sync || PQresultStatus(sync) != PGRES_PIPELINE_SYNC;
        PQclear(sync);
    }
    if (lost || PQstatus(m_conn) != CONNECTION_OK) {
        ConnectionLost();
        return kServerUnreachable;
    }
    DrainNotifications();
    if (beginning && m_begun && !presumed.empty()) {
        if (m_snapshot == presumed) {
            for (PgTable* t : presumedTables) t->cache.validIn = m_transactionSerial;
            for (auto& [name, t] : m_tables)
                t->lookups.QuietSnapshotStands(m_transactionSerial, presumed);
        } else if (status == kOk && (!presumedTables.empty() || !presumedRows.empty())) {
            status = CheckKept(presumedTables, presumedRows);
        }
    }
    if (sendingWaiting) {
        m_waiting.clear();
        if (status == kOk)
            for (PgTable* t : locking) t->lockedInTransaction = m_transactionSerial;
    }
    // A failed statement ends the transaction on the server.
    if (status != kOk && joinTransaction && m_inTransaction && m_begun)
        m_transactionFailure = status;
    if (status != kOk && beginning && !m_begun) m_transactionFailure = status;
    return status;
}

int PgEngine::CheckKept(const std::vector<PgTable*>& tables,
                        const std::vector<std::pair<PgTable*, std::vector<int64_t>>>& rows) {
    std::vector<PgStatement> statements;
    std::vector<std::array<std::string, 3>> params;
    statements.reserve(tables.size() + rows.size());
    params.reserve(tables.size() + rows.size());
    const std::string none;
    for (PgTable* t : tables) {
        const TableCache& cache = t->cache;
        params.push_back({Int8Array(cache.Ids()), Int8Array(cache.Xmins()),
                          BigEndian64(int64_t(cache.Ids().size()))});
        PgStatement& check = statements.emplace_back();
        check.name = &t->validateName;
        check.sql = &t->validateSql;
        check.Add(kInt8ArrayOid, params.back()[0]);
        check.Add(kInt8ArrayOid, params.back()[1]);
        check.Add(kInt8Oid, params.back()[2]);
        check.Add(kTextOid, none);
    }
    for (const auto& [t, ids] : rows) {
        std::vector<int64_t> xmins;
        std::vector<const std::string*> quiet;
        for (int64_t id : ids) {
            xmins.push_back(t->lookups.VersionOf(id));
            quiet.push_back(&none);
        }
        params.push_back({Int8Array(ids), Int8Array(xmins), ByteaArray(quiet, kTextOid)});
        PgStatement& check = statements.emplace_back();
        check.name = &t->lookupCheckName;
        check.sql = &t->lookupCheckSql;
        check.Add(kInt8ArrayOid, params.back()[0]);
        check.Add(kInt8ArrayOid, params.back()[1]);
        check.Add(kTextArrayOid, params.back()[2]);
    }
    std::vector<PGresult*> results(statements.size());
    const int status = RoundTrip(statements.data(), statements.size(), results.data());
    const int64_t now = NowMicros();
    for (size_t i = 0; i < tables.size(); ++i) {
        PGresult* r = results[i];
        const bool same = status == kOk && PQntuples(r) == 1 && PQgetlength(r, 0, 0) == 1 &&
                          PQgetvalue(r, 0, 0)[0] != 0;
        if (same)
            tables[i]->cache.validIn = m_transactionSerial;
        else
            tables[i]->cache.Drop();
    }
    for (size_t i = 0; i < rows.size(); ++i) {
        PgTable* t = rows[i].first;
        PGresult* r = results[tables.size() + i];
        if (status != kOk) {
            t->lookups.Clear();
            continue;
        }
        std::vector<int64_t> changed;
        for (int n = 0; n < PQntuples(r); ++n)
            changed.push_back(FromBigEndian64(PQgetvalue(r, n, 0)));
        t->lookups.Checked(rows[i].second, changed, t->changes, now, m_transactionSerial);
    }
    for (PGresult* r : results) PQclear(r);
    return status;
}

bool PgEngine::CacheCurrent(const PgTable* t) const {
    if (!t->cache.Filled() || !m_conn) return false;
    // Inside a transaction, the rows its snapshot holds; outside, the rows as the server
    // last gave them, while they are fresh and no other session has committed to the table.
    if (m_inTransaction) return m_begun && t->cache.validIn == m_transactionSerial;
    return t->cache.changes == t->changes && NowMicros() - t->cache.checkedAt < kFreshMicros;
}

int PgEngine::CheckCache(PgTable* t, bool* same) {
    const uint64_t changes = t->changes;
    TableCache& cache = t->cache;
    const std::string ids = Int8Array(cache.Ids()), xmins = Int8Array(cache.Xmins());
    const std::string count = BigEndian64(int64_t(cache.Ids().size()));
    PgStatement check;
    check.name = &t->validateName;
    check.sql = &t->validateSql;
    check.Add(kInt8ArrayOid, ids);
    check.Add(kInt8ArrayOid, xmins);
    check.Add(kInt8Oid, count);
    check.Add(kTextOid, cache.quietSnapshot);
    Results<1> r;
    if (int st = RoundTrip(&check, 1, r.r); st != kOk) return st;
    *same = PQntuples(r.r[0]) == 1 && PQgetlength(r.r[0], 0, 0) == 1 &&
            PQgetvalue(r.r[0], 0, 0)[0] != 0;
    if (*same) {
        cache.changes = changes;
        cache.checkedAt = NowMicros();
    }
    return kOk;
}

PgTable* PgEngine::TableNamed(const std::string& name) {
    auto& slot = m_tables[name];
    if (!slot) {
        slot = std::make_unique<PgTable>();
        slot->engine = this;
        slot->name = name;
        slot->changes = m_changes[name];
    }
    return slot.get();
}

std::vector<PgTable*> PgEngine::SmallTablesToFill(const PgTable* asked) {
    std::vector<PgTable*> tables;
    if (m_prefilled || !m_catalogue) return tables;
    m_prefilled = true;
    for (const auto& [name, rows] : m_catalogueRows) {
        if (name == asked->name || PQgetisnull(m_catalogue, rows.first, 11) ||
            std::atoll(PQgetvalue(m_catalogue, rows.first, 11)) > kPrefillBytes)
            continue;
        PgTable* t = TableNamed(name);
        if (t->oid == 0 && TakeLayout(t, m_catalogue, rows.first, rows.second) != kOk) {
            if (t->openCount == 0) m_tables.erase(name);
            continue;
        }
        if (!t->cache.Filled() && !t->large && !t->layoutStale &&
            !(m_inTransaction && t->writtenInTransaction == m_transactionSerial))
            tables.push_back(t);
    }
    return tables;
}

int PgEngine::FillCache(PgTable* t) {
    // The small tables not read yet come along the first time.
    std::vector<PgTable*> tables = SmallTablesToFill(t);
    tables.insert(tables.begin(), t);
    std::vector<uint64_t> changes;
    std::vector<PgStatement> fills(tables.size());
    const std::string limit = BigEndian32(int32_t(g_cacheRows + 1));
    for (size_t i = 0; i < tables.size(); ++i) {
        changes.push_back(tables[i]->changes);
        fills[i].name = &tables[i]->fillName;
        fills[i].sql = &tables[i]->fillSql;
        fills[i].Add(kInt4Oid, limit);
    }
    std::vector<PGresult*> results(tables.size());
    t->cache.Drop();
    const int status = RoundTrip(fills.data(), fills.size(), results.data());
    for (size_t i = 1; i < tables.size() && status == kOk; ++i)
        tables[i]->readAhead = TakeFill(tables[i], results[i], changes[i]) == kOk;
    const int taken = status == kOk ? TakeFill(t, results[0], changes[0]) : status;
    for (PGresult* r : results) PQclear(r);
    return taken;
}

int PgEngine::TakeFill(PgTable* t, PGresult* result, uint64_t changes) {
    const int n = PQntuples(result);
    if (n > g_cacheRows || size_t(n) * t->schema.recordLength > kCacheBytes) {
        t->large = true;
        return kOk;
    }
    std::vector<int64_t> ids(static_cast<size_t>(n)), xmins(static_cast<size_t>(n));
    std::string records;
    records.reserve(size_t(n) * t->schema.recordLength);
    for (int i = 0; i < n; ++i) {
        if (uint32_t(PQgetlength(result, i, 1)) != t->schema.recordLength) return kNotATableFile;
        ids[size_t(i)] = FromBigEndian64(PQgetvalue(result, i, 0));
        xmins[size_t(i)] = FromBigEndian64(PQgetvalue(result, i, 2));
        records.append(PQgetvalue(result, i, 1), t->schema.recordLength);
    }
    t->cache.Fill(t->schema, std::move(ids), std::move(xmins), std::move(records));
    t->cache.changes = changes;
    t->cache.validIn = m_inTransaction ? m_transactionSerial : 0;
    t->cache.checkedAt = NowMicros();
    return kOk;
}

int PgEngine::UseCache(PgTable* t, bool* usable) {
    *usable = false;
    if (t->large || g_cacheRows <= 0) return kOk;
    // What is kept lacks this transaction's own writes until its commit.
    if (m_inTransaction && t->writtenInTransaction == m_transactionSerial) return kOk;
    if (m_inTransaction && !m_begun) {
        // The transaction's first round trip: its BEGIN and the check of the kept tables.
        if (int st = RoundTrip(nullptr, 0, nullptr); st != kOk) return st;
    }
    if (!CacheCurrent(t)) {
        bool same = false;
        if (!m_inTransaction && t->cache.Filled() && t->cache.changes == t->changes)
            if (int st = CheckCache(t, &same); st != kOk) return st;
        if (!same)
            if (int st = FillCache(t); st != kOk) return st;
        if (!t->cache.Filled()) return kOk;
    }
    t->cache.usedAt = NowMicros();
    *usable = true;
    return kOk;
}

bool PgEngine::LookupCurrent(const PgTable* t, const LookupCache::Row& row) const {
    if (!m_conn) return false;
    if (m_inTransaction) return m_begun && t->lookups.StandsIn(row, m_transactionSerial);
    return row.changes == t->changes && NowMicros() - row.checkedAt < kFreshMicros;
}

int PgEngine::CheckLookups(PgTable* t) {
    const uint64_t changes = t->changes;
    std::vector<int64_t> ids, xmins;
    std::vector<std::string> quiet;
    t->lookups.IdsAndVersions(&ids, &xmins, &quiet);
    std::vector<const std::string*> quietOnes;
    for (const std::string& q : quiet) quietOnes.push_back(&q);
    const std::string idArray = Int8Array(ids), xminArray = Int8Array(xmins),
                      quietArray = ByteaArray(quietOnes, kTextOid);
    PgStatement check;
    check.name = &t->lookupCheckName;
    check.sql = &t->lookupCheckSql;
    check.Add(kInt8ArrayOid, idArray);
    check.Add(kInt8ArrayOid, xminArray);
    check.Add(kTextArrayOid, quietArray);
    Results<1> r;
    if (int st = RoundTrip(&check, 1, r.r); st != kOk) return st;
    std::vector<int64_t> changed;
    for (int i = 0; i < PQntuples(r.r[0]); ++i)
        changed.push_back(FromBigEndian64(PQgetvalue(r.r[0], i, 0)));
    t->lookups.Checked(ids, changed, changes, NowMicros(),
                       m_inTransaction ? m_transactionSerial : 0);
    return kOk;
}

int PgEngine::LookUpKept(PgTable* t, int key, const std::string& ordered, Batch* rows,
                         bool* found) {
    *found = false;
    if (m_inTransaction && t->writtenInTransaction == m_transactionSerial) return kOk;
    LookupCache::Row* row = t->lookups.Find(key, ordered);
    if (!row) return kOk;
    if (m_inTransaction && !m_begun) {
        // The transaction's first round trip: its BEGIN and the check of what is kept.
        if (int st = RoundTrip(nullptr, 0, nullptr); st != kOk) return st;
        row = t->lookups.Find(key, ordered);
    } else if (!m_inTransaction && !LookupCurrent(t, *row)) {
        if (int st = CheckLookups(t); st != kOk) return st;
        row = t->lookups.Find(key, ordered);
    }
    if (!row || !LookupCurrent(t, *row)) return kOk;
    rows->Clear();
    rows->recordLength = t->schema.recordLength;
    rows->Add(row->id, row->record.data());
    const int64_t now = NowMicros();
    t->lookups.Used(key, ordered, now);
    t->lookups.usedAt = now;
    *found = true;
    return kOk;
}

void PgEngine::KeepLookup(PgTable* t, int key, const std::string& ordered, PGresult* result,
                          uint64_t changes, int at) {
    if (PQntuples(result) <= at ||
        (m_inTransaction && t->writtenInTransaction == m_transactionSerial))
        return;
    const auto* record = reinterpret_cast<const uint8_t*>(PQgetvalue(result, at, 1));
    if (OrderedKeyOfRecord(t->schema.keys[size_t(key)], record) != ordered) return;
    LookupCache::Row row;
    row.id = FromBigEndian64(PQgetvalue(result, at, 0));
    row.xmin = FromBigEndian64(PQgetvalue(result, at, 2));
    row.record.assign(PQgetvalue(result, at, 1), t->schema.recordLength);
    row.changes = changes;
    row.checkedAt = row.usedAt = NowMicros();
    row.validIn = m_inTransaction ? m_transactionSerial : 0;
    t->lookups.Keep(key, ordered, std::move(row));
    t->lookups.usedAt = NowMicros();
}

void PgEngine::NoteOwnWrite(PgTable* t, PgWrite::Kind kind, int64_t id, const uint8_t* record) {
    if (kind == PgWrite::Kind::kDelete) record = nullptr;
    if (m_inTransaction) m_asked.NoteWrite(t->name, id, record, t->schema.recordLength);
    if (!m_inTransaction) {
        // A write of its own, committed before anyone could say which version it made.
        t->cache.Drop();
        t->lookups.Clear();
        return;
    }
    t->writtenInTransaction = m_transactionSerial;
    if (t->ownWritesLost || (!t->cache.Filled() && t->lookups.Empty())) return;
    if (t->ownWrites.size() >= kMaxOwnWrites) {
        t->ownWritesLost = true;
        t->ownWrites.clear();
        return;
    }
    PgWrite w;
    w.kind = kind;
    w.id = id;
    if (record) w.record.assign(reinterpret_cast<const char*>(record), t->schema.recordLength);
    t->ownWrites.push_back(std::move(w));
}

bool PgEngine::HasOwnWritesToTakeIn() const {
    for (const auto& [name, t] : m_tables)
        if (!t->ownWrites.empty()) return true;
    return false;
}

void PgEngine::ForgetOwnWrites() {
    for (auto& [name, t] : m_tables) {
        t->ownWrites.clear();
        t->ownWritesLost = false;
    }
}

void PgEngine::TakeInOwnWrites(int64_t xmin) {
    const int64_t now = NowMicros();
    for (auto& [name, tp] : m_tables) {
        PgTable* t = tp.get();
        if (t->writtenInTransaction != m_transactionSerial) continue;
        if (t->ownWritesLost || xmin < 0) {
            t->cache.Drop();
            t->lookups.Clear();
            continue;
        }
        std::vector<std::pair<int64_t, const std::string*>> writes;  // id, record or none
        for (const PgWrite& w : t->ownWrites) {
            int64_t id = w.id;
            if (IsTicket(id)) {
                const auto it = m_ticketIds.find(id);
                if (it == m_ticketIds.end() || it->second == 0) continue;  // never sent
                id = it->second;
            }
            writes.emplace_back(id, w.kind == PgWrite::Kind::kDelete ? nullptr : &w.record);
        }
        // The kept table is this transaction's snapshot of it; with the writes it is the
        // table as committed, unless others committed meanwhile, which their notifications
        // will tell.
        TableCache& cache = t->cache;
        if (cache.Filled() && cache.validIn == m_transactionSerial) {
            const uint32_t length = t->schema.recordLength;
            std::map<int64_t, std::pair<int64_t, std::string>> rows;
            for (size_t i = 0; i < cache.Ids().size(); ++i)
                rows[cache.Ids()[i]] = {cache.Xmins()[i],
                                        cache.Records().substr(i * length, length)};
            for (const auto& [id, record] : writes) {
                if (record)
                    rows[id] = {xmin, *record};
                else
                    rows.erase(id);
            }
            if (rows.size() > size_t(g_cacheRows) || rows.size() * length > kCacheBytes) {
                cache.Drop();
            } else {
                std::vector<int64_t> ids, xmins;
                std::string records;
                for (const auto& [id, row] : rows) {
                    ids.push_back(id);
                    xmins.push_back(row.first);
                    records += row.second;
                }
                const uint64_t changes = cache.changes;
                cache.Fill(t->schema, std::move(ids), std::move(xmins), std::move(records));
                cache.changes = changes;
                cache.checkedAt = now;
            }
        } else {
            cache.Drop();
        }
        for (const auto& [id, record] : writes)
            t->lookups.TakeIn(t->schema, id, record, xmin, m_transactionSerial, now);
        t->ownWrites.clear();
    }
}

bool PgEngine::IsTicket(int64_t id) const {
    return id <= -kTicketBase && id != std::numeric_limits<int64_t>::min();
}

int PgEngine::ResolveId(Table* /*table*/, int64_t* id) {
    if (!IsTicket(*id)) return kOk;
    if (!m_ticketIds.count(*id) && m_inTransaction && !m_waiting.empty())
        if (int st = RoundTrip(nullptr, 0, nullptr); st != kOk) return st;
    const auto it = m_ticketIds.find(*id);
    if (it == m_ticketIds.end() || it->second == 0) return kInvalidPositioning;
    *id = it->second;
    return kOk;
}

int PgEngine::Prefetch(Table* table, int key, const std::vector<std::string>& ordered) {
    auto* t = static_cast<PgTable*>(table);
    if (t->schema.keys[size_t(key)].duplicates || g_cacheRows <= 0 || !m_conn) return kOk;
    if (m_inTransaction && t->writtenInTransaction == m_transactionSerial) return kOk;
    bool cached = false;
    if (int st = UseCache(t, &cached); st != kOk || cached) return st;
    // Only what is not kept yet, or no longer known to stand.
    std::vector<const std::string*> wanted;
    std::set<std::string> asked;
    for (const std::string& value : ordered) {
        const LookupCache::Row* row = t->lookups.Find(key, value);
        const bool standing =
            row && (m_inTransaction ? (m_begun && t->lookups.StandsIn(*row, m_transactionSerial))
                                    : LookupCurrent(t, *row));
        if (!standing && asked.insert(value).second) wanted.push_back(&value);
    }
    if (wanted.empty()) return kOk;
    // Read with the next statement that goes out, which is mostly the read the caller
    // makes next anyway.
    m_prefetches.push_back({t->name, key, ByteaArray(wanted), t->changes});
    return kOk;
}

int PgEngine::AskAhead(Table* table, int key, int dir, const std::string& ordered, int64_t id,
                       uint32_t limit) {
    auto* t = static_cast<PgTable*>(table);
    // A table kept whole answers from the process anyway.
    if (!m_inTransaction || m_transactionFailure || !(t->large || g_cacheRows <= 0)) return kOk;
    m_asked.Ask({t->name, key, dir, ordered, id, limit});
    return kOk;
}

void PgEngine::KeepPrefetched(const QueuedPrefetch& asked, PGresult* result) {
    const auto it = m_tables.find(asked.table);
    if (it == m_tables.end()) return;
    PgTable* t = it->second.get();
    const KeyDef& key = t->schema.keys[size_t(asked.key)];
    for (int i = 0; i < PQntuples(result); ++i) {
        if (uint32_t(PQgetlength(result, i, 1)) != t->schema.recordLength) return;
        const auto* record = reinterpret_cast<const uint8_t*>(PQgetvalue(result, i, 1));
        KeepLookup(t, asked.key, OrderedKeyOfRecord(key, record), result, asked.changes, i);
    }
}

void PgEngine::DeferWrites() {
    if (m_inTransaction) m_deferWrites = true;
}

int PgEngine::Deferred(PgTable* t, PgWrite write) {
    if (m_transactionFailure) return m_transactionFailure;
    m_wroteInTransaction = true;
    // A change to a row whose insert still waits changes what will be inserted.
    if (IsTicket(write.id) && write.kind != PgWrite::Kind::kInsert) {
        for (auto it = m_waiting.rbegin(); it != m_waiting.rend(); ++it) {
            if (it->write.kind != PgWrite::Kind::kInsert || it->write.id != write.id) continue;
            NoteOwnWrite(t, write.kind, write.id,
                         reinterpret_cast<const uint8_t*>(write.record.data()));
            if (write.kind == PgWrite::Kind::kUpdate) {
                it->write.record = std::move(write.record);
            } else {
                m_waiting.erase(std::next(it).base());
                m_ticketIds[write.id] = 0;
            }
            ++t->readAheadEpoch;
            return kOk;
        }
        if (int st = ResolveId(t, &write.id); st != kOk) return st;
    }
    NoteOwnWrite(t, write.kind, write.id,
                 write.kind == PgWrite::Kind::kDelete
                     ? nullptr
                     : reinterpret_cast<const uint8_t*>(write.record.data()));
    m_waiting.push_back({t, std::move(write)});
    ++t->readAheadEpoch;
    return kOk;
}

void PgEngine::DrainNotifications() {
    if (g_notificationsHeldBack) return;
    while (PGnotify* notify = PQnotifies(m_conn)) {
        // This session's own writes are not news to it.
        if (notify->be_pid != m_backendPid && notify->extra) {
            m_quietNext.clear();  // another session committed
            const std::string name = notify->extra;
            ++m_changes[name];
            if (auto it = m_tables.find(name); it != m_tables.end()) ++it->second->changes;
            // A table made again elsewhere: its layout is read again at its next open, and
            // what is kept of it would be checked against a table that is gone.
            if (name == kCatalogueTable) ForgetCatalogue();
            if (name == kCatalogueTable)
                for (auto& [n, table] : m_tables) {
                    table->layoutStale = true;
                    table->cache.Drop();
                    table->lookups.Clear();
                }
        }
        PQfreemem(notify);
    }
}

void PgEngine::PollNotifications() {
    if (!m_conn) return;
    m_lastPoll = NowMicros();
    if (PQconsumeInput(m_conn) != 1) {
        ConnectionLost();
        return;
    }
    DrainNotifications();
}

int PgEngine::Listen(const std::string& folder) {
    if (m_conn) return kOk;
    m_folder = folder;
    return Connect(folder);
}

uint64_t PgEngine::ChangesOf(const std::string& name) const {
    const auto it = m_changes.find(name);
    return it == m_changes.end() ? 0 : it->second;
}

void PgEngine::MakeStatements(PgTable* t) {
    const Schema& schema = t->schema;
    const std::string id = std::to_string(t->oid);
    const std::string& name = t->name;
    t->forwardSql.clear();
    t->backwardSql.clear();
    t->forwardName.clear();
    t->backwardName.clear();
    t->prefetchSql.clear();
    t->prefetchName.clear();
    for (size_t k = 0; k < schema.keys.size(); ++k) {
        const std::string c = KeyColumn(k);
        if (schema.keys[k].duplicates) {
            t->forwardSql.push_back("SELECT id, data, xmin::text::bigint FROM " + name +
                                    " WHERE (" + c + ", id) > ($1, $2) ORDER BY " + c +
                                    ", id LIMIT $3");
            t->backwardSql.push_back("SELECT id, data, xmin::text::bigint FROM " + name +
                                     " WHERE (" + c + ", id) < ($1, $2) ORDER BY " + c +
                                     " DESC, id DESC LIMIT $3");
        } else {
            // One row per key value: the key alone orders them, and its unique index serves.
            t->forwardSql.push_back("SELECT id, data, xmin::text::bigint FROM " + name + " WHERE " +
                                    c + " >= $1 AND (" + c + " > $1 OR id > $2) ORDER BY " + c +
                                    " LIMIT $3");
            t->backwardSql.push_back("SELECT id, data, xmin::text::bigint FROM " + name +
                                     " WHERE " + c + " <= $1 AND (" + c +
                                     " < $1 OR id < $2) ORDER BY " + c + " DESC LIMIT $3");
        }
        t->forwardName.push_back("f" + id + "_" + std::to_string(k));
        t->prefetchSql.push_back("SELECT id, data, xmin::text::bigint FROM " + name + " WHERE " +
                                 c + " = ANY($1::bytea[])");
        t->prefetchName.push_back("p" + id + "_" + std::to_string(k));
        t->backwardName.push_back("b" + id + "_" + std::to_string(k));
    }
    std::string columns, values, sets, clash;
    const size_t dataParam = schema.keys.size() + 1, idParam = schema.keys.size() + 2;
    for (size_t k = 0; k < schema.keys.size(); ++k) {
        const std::string c = KeyColumn(k), p = "$" + std::to_string(k + 1);
        columns += c + ", ";
        values += p + ", ";
        sets += c + " = " + p + ", ";
        if (!schema.keys[k].duplicates) {
            if (!clash.empty()) clash += " UNION ALL ";
            clash += "SELECT 1 FROM " + name + " WHERE " + c + " = " + p + " AND id <> $" +
                     std::to_string(idParam);
        }
    }
    // A key that another row holds refuses the insert without an error, which would end
    // the caller's transaction on the server.
    t->insertSql = "INSERT INTO " + name + "(" + columns + "data) VALUES(" + values + "$" +
                   std::to_string(dataParam) + ") ON CONFLICT DO NOTHING RETURNING id";
    const std::string update = "UPDATE " + name + " SET " + sets + "data = $" +
                               std::to_string(dataParam) + " WHERE id = $" +
                               std::to_string(idParam);
    if (clash.empty()) {
        t->updateSql =
            "WITH done AS (" + update + " RETURNING 1) SELECT false, EXISTS (SELECT 1 FROM done)";
    } else {
        t->updateSql = "WITH clash AS (" + clash + " LIMIT 1), done AS (" + update +
                       " AND NOT EXISTS (SELECT 1 FROM clash) RETURNING 1)"
                       " SELECT EXISTS (SELECT 1 FROM clash), EXISTS (SELECT 1 FROM done)";
    }
    // The same writes when they wait to go out with a later statement: a key that another row
    // holds or a row that is gone raises an error, which stops the statements behind them
    // (the commit among them) on the server.
    t->insertLoudSql = "INSERT INTO " + name + "(" + columns + "data) VALUES(" + values + "$" +
                       std::to_string(dataParam) + ") RETURNING id";
    t->updateLoudSql =
        "WITH done AS (" + update + " RETURNING 1) SELECT 1 / count(*)::int FROM done";
    t->deleteSql = "DELETE FROM " + name + " WHERE id = $1";
    t->byIdSql = "SELECT data FROM " + name + " WHERE id = $1";
    t->afterIdSql = "SELECT id, data FROM " + name + " WHERE id > $1 ORDER BY id LIMIT $2";
    t->countSql = "SELECT count(*) FROM " + name;
    t->fillSql = "SELECT id, data, xmin::text::bigint FROM " + name + " ORDER BY id LIMIT $1";
    // True when the table holds exactly the kept rows: as many, each with the id and the
    // version (xmin) kept.
    // Either check is skipped when the transaction's snapshot is the one named: nothing but
    // this process has run since the rows were known to stand.
    t->validateSql =
        "SELECT CASE WHEN pg_current_snapshot()::text = $4 THEN true ELSE"
        " (SELECT count(*) = $3 AND count(*) FILTER (WHERE (id, xmin::text::bigint) IN"
        " (SELECT u.i, u.x FROM unnest($1::bigint[], $2::bigint[]) AS u(i, x))) = $3 FROM " +
        name + ") END";
    t->insertName = "i" + id;
    t->insertLoudName = "j" + id;
    t->updateLoudName = "w" + id;
    t->updateName = "u" + id;
    t->deleteName = "d" + id;
    t->byIdName = "g" + id;
    t->afterIdName = "n" + id;
    t->countName = "c" + id;
    t->fillName = "a" + id;
    t->validateName = "v" + id;
    // The kept rows (ids and versions) that no longer stand as kept.
    t->lookupCheckSql =
        "SELECT u.i FROM unnest($1::bigint[], $2::bigint[], $3::text[]) AS u(i, x, q)"
        " WHERE u.q IS DISTINCT FROM pg_current_snapshot()::text AND NOT EXISTS"
        " (SELECT 1 FROM " +
        name + " t WHERE t.id = u.i AND t.xmin::text::bigint = u.x)";
    t->lookupCheckName = "l" + id;
}

void PgEngine::ReadCatalogue() {
    ForgetCatalogue();
    PgStatement s;
    s.text = kCatalogueLayoutSql;
    s.textResult = true;
    PGresult* result = nullptr;
    if (RoundTrip(&s, 1, &result) != kOk) {
        PQclear(result);
        return;
    }
    const int rows = PQntuples(result);
    for (int row = 0; row < rows;) {
        const std::string name = PQgetvalue(result, row, 10);
        const int first = row;
        while (row < rows && name == PQgetvalue(result, row, 10)) ++row;
        m_catalogueRows[name] = {first, row - first};
    }
    m_catalogue = result;
}

void PgEngine::ForgetCatalogue() {
    m_prefilled = false;
    PQclear(m_catalogue);
    m_catalogue = nullptr;
    m_catalogueRows.clear();
}

int PgEngine::ReadLayout(PgTable* t) {
    // Opening the first table reads every table's layout: a program opens many.
    if (!m_catalogue) ReadCatalogue();
    if (const auto it = m_catalogueRows.find(t->name); it != m_catalogueRows.end())
        return TakeLayout(t, m_catalogue, it->second.first, it->second.second);
    // A table made since, or a database without the catalogue: asked of the server alone.
    PgStatement s;
    s.name = &kLayoutName;
    s.sql = &kLayoutSql;
    s.textResult = true;
    s.Add(kTextOid, t->name);
    Results<1> r;
    const int status = RoundTrip(&s, 1, r.r);
    if (status == kFileNotFound) {
        engines::SetLastErrorText(
            "データベースサーバーのデータベースにこのシステムのテーブルがありません。\n" +
            Where(m_folder) + "\nvelodb でデータベースを作るか移してください。");
        return kFileNotFound;
    }
    if (status != kOk) return status;
    return TakeLayout(t, r.r[0], 0, PQntuples(r.r[0]));
}

int PgEngine::TakeLayout(PgTable* t, PGresult* result, int first, int count) {
    if (count == 0) return kFileNotFound;
    const auto number = [&](int row, int column) {
        return std::atoll(PQgetvalue(result, first + row, column));
    };
    const int rows = count;
    if (PQgetisnull(result, first, 2)) return kNotATableFile;
    Schema schema;
    schema.recordLength = uint32_t(number(0, 0));
    if (schema.recordLength == 0 || schema.recordLength > uint32_t(kMaxRecordLength))
        return kNotATableFile;
    const uint16_t pageSize = uint16_t(std::min<long long>(number(0, 1), 65535));
    const uint32_t oid = uint32_t(number(0, 2));
    for (int row = 0; row < rows; ++row) {
        const long long key = number(row, 3);
        Segment seg{uint32_t(number(row, 5)), uint32_t(number(row, 6)), uint8_t(number(row, 7))};
        if (key < 0 || key >= kMaxKeys || size_t(key) > schema.keys.size() || seg.length == 0 ||
            seg.offset + seg.length > schema.recordLength)
            return kNotATableFile;
        if (size_t(key) == schema.keys.size()) schema.keys.emplace_back();
        KeyDef& def = schema.keys[size_t(key)];
        def.segments.push_back(seg);
        def.length += seg.length;
        def.duplicates = PQgetvalue(result, first + row, 8)[0] == 't';
    }
    for (const KeyDef& key : schema.keys)
        if (key.length > kMaxKeyLength) return kNotATableFile;
    if (t->openCount > 0) {
        // Read again under open cursors, which hold references into the layout.
        return SameSchema(t->schema, schema) && t->oid == oid ? kOk : kNotATableFile;
    }
    t->schema = std::move(schema);
    t->pageSize = pageSize;
    t->oid = oid;
    t->layoutStale = false;
    // The server's estimate of its rows, when it has one (-1: never counted), spares the
    // first read of a large table an attempt to keep it whole.
    t->large =
        !PQgetisnull(result, first, 9) && std::atof(PQgetvalue(result, first, 9)) > g_cacheRows;
    t->cache.Drop();
    t->lookups.Clear();
    MakeStatements(t);
    return kOk;
}

int PgEngine::Acquire(const std::string& path, Table** out) {
    const std::string folder = std::filesystem::path(path).parent_path().string();
    m_folder = folder.empty() ? "." : folder;
    const std::string name = TableNameFor(path);
    PgTable* t = TableNamed(name);
    // A table known here costs nothing to open again: a change of its layout elsewhere is
    // notified, and a table dropped meanwhile shows at its next statement.
    if (t->oid == 0 || (t->layoutStale && t->openCount == 0)) {
        if (!m_conn)
            if (int st = Connect(m_folder); st != kOk) {
                if (t->openCount == 0 && t->oid == 0) m_tables.erase(name);
                return st;
            }
        if (int st = ReadLayout(t); st != kOk) {
            if (t->openCount == 0) m_tables.erase(name);
            return st;
        }
    }
    ++t->openCount;
    *out = t;
    return kOk;
}

void PgEngine::Release(Table* table) {
    auto* t = static_cast<PgTable*>(table);
    if (t->openCount > 0) --t->openCount;
}

int PgEngine::Fetch(Table* table, int key, int dir, const std::string& ordered, int64_t id,
                    uint32_t limit, Batch* rows, uint64_t* stamp) {
    auto* t = static_cast<PgTable*>(table);
    if (m_inTransaction && m_begun && !m_transactionFailure && !m_asked.Empty() &&
        m_asked.Serve(t->name, t->schema, key, dir, ordered, id, rows)) {
        *stamp = kInTransactionStamp | m_transactionSerial;
        return kOk;
    }
    if (int st = ResolveId(t, &id); st != kOk) return st;
    // Notifications already here count before the stamp; those that come with or after
    // the rows count after it, which at worst reads the rows again.
    if (!m_inTransaction) PollNotifications();
    const uint64_t taken = m_inTransaction ? kInTransactionStamp | m_transactionSerial
                                           : (uint64_t(NowMicros()) << kStampChangeBits) |
                                                 (t->changes & kStampChangeMask);
    bool cached = false;
    if (int st = UseCache(t, &cached); st != kOk) return st;
    if (cached) {
        t->cache.Fetch(key, dir, ordered, id, limit, rows);
        *stamp = taken;
        return kOk;
    }
    // A get-equal on a unique key: the one row with that key, when one is kept.
    const bool lookup = dir > 0 && id == std::numeric_limits<int64_t>::min() &&
                        !t->schema.keys[size_t(key)].duplicates && g_cacheRows > 0;
    if (lookup && limit == 1) {
        bool found = false;
        if (int st = LookUpKept(t, key, ordered, rows, &found); st != kOk) return st;
        if (found) {
            *stamp = m_inTransaction ? kInTransactionStamp | m_transactionSerial : taken;
            return kOk;
        }
    }
    const uint64_t changes = t->changes;
    PgStatement s;
    s.name = dir > 0 ? &t->forwardName[size_t(key)] : &t->backwardName[size_t(key)];
    s.sql = dir > 0 ? &t->forwardSql[size_t(key)] : &t->backwardSql[size_t(key)];
    const std::string from = BigEndian64(id), count = BigEndian32(int32_t(limit));
    s.Add(kByteaOid, ordered);
    s.Add(kInt8Oid, from);
    s.Add(kInt4Oid, count);
    Results<1> r;
    if (int st = RoundTrip(&s, 1, r.r); st != kOk) return st;
    if (int st = TakeRows(r.r[0], t->schema.recordLength, rows); st != kOk) return st;
    if (lookup) KeepLookup(t, key, ordered, r.r[0], changes);
    *stamp = taken;
    return kOk;
}

bool PgEngine::Current(const Table* table, uint64_t stamp) {
    // Inside a transaction every statement reads one snapshot: rows read in it stay what
    // it sees until it ends (this process's own writes aside, which the epoch catches).
    // Rows read before it began were not read by it, and must be read again.
    if (m_inTransaction) return m_begun && stamp == (kInTransactionStamp | m_transactionSerial);
    const int64_t now = NowMicros();
    if (stamp & kInTransactionStamp || now - int64_t(stamp >> kStampChangeBits) >= kFreshMicros)
        return false;
    if (now - m_lastPoll >= kPollIntervalMicros) PollNotifications();
    return m_conn && (stamp & kStampChangeMask) ==
                         (static_cast<const PgTable*>(table)->changes & kStampChangeMask);
}

int PgEngine::FetchById(Table* table, int64_t id, Batch* rows) {
    auto* t = static_cast<PgTable*>(table);
    if (int st = ResolveId(t, &id); st != kOk) return st;
    if (!m_inTransaction) PollNotifications();
    bool cached = false;
    if (int st = UseCache(t, &cached); st != kOk) return st;
    if (cached) {
        t->cache.FetchById(id, rows);
        return kOk;
    }
    PgStatement s;
    s.name = &t->byIdName;
    s.sql = &t->byIdSql;
    const std::string value = BigEndian64(id);
    s.Add(kInt8Oid, value);
    Results<1> r;
    if (int st = RoundTrip(&s, 1, r.r); st != kOk) return st;
    rows->Clear();
    rows->recordLength = t->schema.recordLength;
    if (PQntuples(r.r[0]) == 0) return kOk;
    if (uint32_t(PQgetlength(r.r[0], 0, 0)) != rows->recordLength) return kNotATableFile;
    rows->Add(id, PQgetvalue(r.r[0], 0, 0));
    return kOk;
}

int PgEngine::FetchAfterId(Table* table, int64_t afterId, uint32_t limit, Batch* rows) {
    auto* t = static_cast<PgTable*>(table);
    PgStatement s;
    s.name = &t->afterIdName;
    s.sql = &t->afterIdSql;
    const std::string from = BigEndian64(afterId), count = BigEndian32(int32_t(limit));
    s.Add(kInt8Oid, from);
    s.Add(kInt4Oid, count);
    Results<1> r;
    if (int st = RoundTrip(&s, 1, r.r); st != kOk) return st;
    return TakeRows(r.r[0], t->schema.recordLength, rows);
}

int PgEngine::Write(PgTable* t, PgStatement& statement, PGresult** result) {
    if (m_inTransaction) {
        t->writtenInTransaction = m_transactionSerial;
        m_wroteInTransaction = true;
    } else {
        m_quietNext.clear();  // a transaction of its own, not followed here
    }
    PgStatement statements[2];
    size_t n = 0;
    const std::string lockClass = BigEndian32(kLockClass), lockTable = BigEndian32(int32_t(t->oid));
    // Outside a transaction each write is a transaction of its own and locks again.
    const bool locked = m_inTransaction && t->lockedInTransaction == m_transactionSerial;
    if (!locked) {
        PgStatement& lock = statements[n++];
        lock.name = &kLockName;
        lock.sql = &kLockSql;
        lock.textResult = true;
        lock.Add(kInt4Oid, lockClass);
        lock.Add(kInt4Oid, lockTable);
    }
    statements[n++] = statement;
    PGresult* results[2] = {};
    const int status = RoundTrip(statements, n, results);
    if (n == 2) PQclear(results[0]);
    *result = results[n - 1];
    if (status == kOk && m_inTransaction) t->lockedInTransaction = m_transactionSerial;
    return status;
}

bool PgEngine::Deferring() const { return m_deferWrites && m_inTransaction; }

namespace {
// The snapshots of one quiet chain, as the server writes them ("xmin:xmax:in-progress"):
// after a transaction that saw `snapshot` and (when `xid` is not 0) wrote as that
// transaction id, the snapshot the next transaction sees if no other session takes a
// transaction id meanwhile. Empty when there is no such chain: others were at work.
std::string NextQuietSnapshot(const std::string& snapshot, int64_t xid) {
    const size_t colon = snapshot.find(':');
    if (colon == std::string::npos) return std::string();
    const std::string xmin = snapshot.substr(0, colon);
    if (snapshot != xmin + ":" + xmin + ":") return std::string();
    if (xid == 0) return snapshot;
    if (std::to_string(xid) != xmin) return std::string();
    const std::string next = std::to_string(xid + 1);
    return next + ":" + next + ":";
}
}  // namespace

namespace {
PgWrite WriteOf(PgWrite::Kind kind, int64_t id, const uint8_t* record, uint32_t length) {
    PgWrite w;
    w.kind = kind;
    w.id = id;
    if (record) w.record.assign(reinterpret_cast<const char*>(record), length);
    return w;
}
}  // namespace

int PgEngine::Insert(Table* table, const uint8_t* record, int64_t* id) {
    auto* t = static_cast<PgTable*>(table);
    if (Deferring()) {
        *id = -kTicketBase - ++m_tickets;
        return Deferred(t, WriteOf(PgWrite::Kind::kInsert, *id, record, t->schema.recordLength));
    }
    PgStatement s;
    s.name = &t->insertName;
    s.sql = &t->insertSql;
    std::array<std::string, kMaxKeys> keys;
    AddKeysAndRecord(*t, record, &keys, &s);
    Results<1> r;
    if (int st = Write(t, s, &r.r[0]); st != kOk) return st;
    if (PQntuples(r.r[0]) == 0) return kDuplicateKey;
    *id = FromBigEndian64(PQgetvalue(r.r[0], 0, 0));
    NoteOwnWrite(t, PgWrite::Kind::kInsert, *id, record);
    ++t->readAheadEpoch;
    return kOk;
}

int PgEngine::Update(Table* table, int64_t id, const uint8_t* record, bool* found) {
    auto* t = static_cast<PgTable*>(table);
    if (Deferring()) {
        *found = true;
        return Deferred(t, WriteOf(PgWrite::Kind::kUpdate, id, record, t->schema.recordLength));
    }
    if (int st = ResolveId(t, &id); st != kOk) return st;
    PgStatement s;
    s.name = &t->updateName;
    s.sql = &t->updateSql;
    std::array<std::string, kMaxKeys> keys;
    AddKeysAndRecord(*t, record, &keys, &s);
    const std::string value = BigEndian64(id);
    s.Add(kInt8Oid, value);
    Results<1> r;
    if (int st = Write(t, s, &r.r[0]); st != kOk) return st;
    if (PQntuples(r.r[0]) != 1) return kIoError;
    if (PQgetvalue(r.r[0], 0, 0)[0] != 0) return kDuplicateKey;
    *found = PQgetvalue(r.r[0], 0, 1)[0] != 0;
    if (*found) {
        NoteOwnWrite(t, PgWrite::Kind::kUpdate, id, record);
        ++t->readAheadEpoch;
    }
    return kOk;
}

int PgEngine::Delete(Table* table, int64_t id) {
    auto* t = static_cast<PgTable*>(table);
    if (Deferring()) return Deferred(t, WriteOf(PgWrite::Kind::kDelete, id, nullptr, 0));
    if (int st = ResolveId(t, &id); st != kOk) return st;
    PgStatement s;
    s.name = &t->deleteName;
    s.sql = &t->deleteSql;
    const std::string value = BigEndian64(id);
    s.Add(kInt8Oid, value);
    Results<1> r;
    if (int st = Write(t, s, &r.r[0]); st != kOk) return st;
    NoteOwnWrite(t, PgWrite::Kind::kDelete, id, nullptr);
    ++t->readAheadEpoch;
    return kOk;
}

int PgEngine::Stat(Table* table, uint32_t* count) {
    auto* t = static_cast<PgTable*>(table);
    if (!count) return kOk;
    PgStatement s;
    s.name = &t->countName;
    s.sql = &t->countSql;
    Results<1> r;
    if (int st = RoundTrip(&s, 1, r.r); st != kOk) return st;
    *count = uint32_t(FromBigEndian64(PQgetvalue(r.r[0], 0, 0)));
    return kOk;
}

int PgEngine::Run(const std::string& sql) {
    PgStatement s;
    s.text = sql.c_str();
    s.textResult = true;
    Results<1> r;
    return RoundTrip(&s, 1, r.r);
}

int PgEngine::Create(const std::string& path, const Schema& schema, bool overwrite) {
    ForgetCatalogue();  // this table's layout is about to change
    m_asked.Clear();
    // Inside a transaction the table and its catalogue rows go with its commit or its abort:
    // a copy of many tables that fails midway leaves none of them behind.
    const std::string folder = std::filesystem::path(path).parent_path().string();
    m_folder = folder.empty() ? "." : folder;
    const std::string name = TableNameFor(path);
    if (auto it = m_tables.find(name); it != m_tables.end()) {
        if (it->second->openCount > 0) return kFileLocked;
        m_tables.erase(it);
    }
    if (!m_conn)
        if (int st = Connect(m_folder); st != kOk) return st;
    if (m_inTransaction) {
        m_createdInTransaction.insert(name);
        m_wroteInTransaction = true;
    } else {
        m_quietNext.clear();
    }

    // The catalogue first (in a transaction of its own, unless the caller's is open), so that
    // the question below can be asked of a database that has never held a table.
    std::vector<PgStatement> catalogue(std::size(kCatalogueSql));
    for (size_t i = 0; i < catalogue.size(); ++i) {
        catalogue[i].text = kCatalogueSql[i];
        catalogue[i].textResult = true;
    }
    std::vector<PGresult*> results(catalogue.size());
    int status = RoundTrip(catalogue.data(), catalogue.size(), results.data());
    for (PGresult* r : results) PQclear(r);
    if (status != kOk) return status;

    const std::string exists = "SELECT 1 FROM recman_table WHERE name = " + Quoted(name) +
                               " UNION ALL SELECT 1 FROM pg_class"
                               " WHERE relname = " +
                               Quoted(name) + " AND relnamespace = current_schema()::regnamespace";
    PgStatement ask;
    ask.text = exists.c_str();
    ask.textResult = true;
    Results<1> asked;
    if ((status = RoundTrip(&ask, 1, asked.r)) != kOk) return status;
    if (PQntuples(asked.r[0]) > 0 && !overwrite) return kFileExists;

    const std::vector<std::string> sql = CreateTableSql(
        name, std::filesystem::path(path).filename().string(), schema, PQntuples(asked.r[0]) > 0);
    std::vector<PgStatement> statements(sql.size());
    for (size_t i = 0; i < sql.size(); ++i) {
        statements[i].text = sql[i].c_str();
        statements[i].textResult = true;
    }
    // One round trip, in one implicit transaction or the caller's: the table and its
    // catalogue rows or nothing.
    std::vector<PGresult*> made(statements.size());
    status = RoundTrip(statements.data(), statements.size(), made.data());
    for (PGresult* r : made) PQclear(r);
    return status;
}

int PgEngine::Check(const std::string& path, std::string* report) {
    report->clear();
    Table* table = nullptr;
    int st = Acquire(path, &table);
    if (st != kOk) {
        *report = st == kFileNotFound ? "table not found on the server"
                                      : "cannot open (status " + std::to_string(st) + ")";
        return st;
    }
    auto* t = static_cast<PgTable*>(table);
    const Schema& schema = t->schema;
    std::string sql = "SELECT id, data";
    for (size_t k = 0; k < schema.keys.size(); ++k) sql += ", " + KeyColumn(k);
    sql += " FROM " + t->name + " WHERE id > $1 ORDER BY id LIMIT " + std::to_string(kCheckBatch);
    int64_t after = std::numeric_limits<int64_t>::min();
    for (bool more = true; more && st == kOk;) {
        PgStatement s;
        s.sql = &sql;
        const std::string from = BigEndian64(after);
        s.Add(kInt8Oid, from);
        Results<1> r;
        if ((st = RoundTrip(&s, 1, r.r)) != kOk) {
            *report = "cannot read the rows (status " + std::to_string(st) + ")";
            break;
        }
        const int n = PQntuples(r.r[0]);
        more = n == int(kCheckBatch);
        for (int i = 0; i < n; ++i) {
            after = FromBigEndian64(PQgetvalue(r.r[0], i, 0));
            const auto* data = reinterpret_cast<const uint8_t*>(PQgetvalue(r.r[0], i, 1));
            if (uint32_t(PQgetlength(r.r[0], i, 1)) != schema.recordLength) {
                if (report->empty())
                    *report = "record " + std::to_string(after) + " has the wrong length";
                st = kNotATableFile;
                continue;
            }
            for (size_t k = 0; k < schema.keys.size(); ++k) {
                const std::string want = OrderedKeyOfRecord(schema.keys[k], data);
                const int column = int(2 + k);
                if (size_t(PQgetlength(r.r[0], i, column)) != want.size() ||
                    std::memcmp(PQgetvalue(r.r[0], i, column), want.data(), want.size()) != 0) {
                    if (report->empty())
                        *report = "record " + std::to_string(after) + ": key " + std::to_string(k) +
                                  " disagrees with the record";
                    st = kNotATableFile;
                }
            }
        }
    }
    Release(table);
    return st;
}

int PgEngine::Begin() {
    if (m_inTransaction) return kTransactionActive;
    // BEGIN goes to the server with the transaction's first statement.
    m_createdInTransaction.clear();
    m_inTransaction = true;
    m_begun = false;
    m_transactionFailure = 0;
    m_rolledBackByError = false;
    m_snapshot.clear();
    m_wroteInTransaction = false;
    ++m_transactionSerial;
    return kOk;
}

void PgEngine::PassSnapshot(int64_t xid) {
    m_quietNext.clear();
    if (m_snapshot.empty()) return;
    const std::string next = xid < 0 ? std::string() : NextQuietSnapshot(m_snapshot, xid);
    m_quietNext = next;
    for (auto& [name, t] : m_tables) {
        TableCache& cache = t->cache;
        if (cache.Filled() &&
            (cache.validIn == m_transactionSerial || cache.quietSnapshot == m_snapshot))
            cache.quietSnapshot = next;
        t->lookups.SnapshotPassed(m_transactionSerial, m_snapshot, next);
    }
}

void PgEngine::ForgetTablesCreatedInTransaction() {
    if (!m_createdInTransaction.empty()) ForgetCatalogue();
    for (const std::string& name : m_createdInTransaction) {
        const auto it = m_tables.find(name);
        if (it == m_tables.end()) continue;
        PgTable& t = *it->second;
        if (t.openCount == 0) {
            m_tables.erase(it);
            continue;
        }
        // A cursor still open on it fails at its next statement; the layout is read again
        // (or found missing) when the table is opened next.
        t.layoutStale = true;
        t.cache.Drop();
        t.lookups.Clear();
    }
    m_createdInTransaction.clear();
}

void PgEngine::EndTransaction() {
    m_inTransaction = false;
    m_begun = false;
    m_transactionFailure = 0;
    m_deferWrites = false;
    m_waiting.clear();
    m_prefetches.clear();
    m_asked.Clear();
    ForgetOwnWrites();
}

int PgEngine::Commit() {
    if (!m_inTransaction) return m_rolledBackByError ? kIoError : kNoTransaction;
    int status = m_transactionFailure;
    if (status == kOk && (m_begun || !m_waiting.empty())) {
        // The transaction's own version of what it wrote, for the rows kept in the process.
        // Its transaction id too, when it wrote: the version of what it wrote, for the rows kept
        // in the process, and the next link of the quiet snapshots.
        const bool takeIn = HasOwnWritesToTakeIn();
        const bool askId = takeIn || m_wroteInTransaction;
        PgStatement statements[2];
        size_t n = 0;
        if (askId) {
            statements[n].text = "SELECT txid_current()";
            ++n;
        }
        statements[n].text = "COMMIT";
        statements[n].textResult = true;
        ++n;
        Results<2> r;
        status = RoundTrip(statements, n, r.r);
        // A transaction that failed on the server answers its COMMIT with ROLLBACK.
        if (status == kOk && std::strcmp(PQcmdStatus(r.r[n - 1]), "COMMIT") != 0)
            status = kFileLocked;
        // A write that went out with the COMMIT and failed left the transaction open on the
        // server, refusing everything until it is rolled back.
        if (status != kOk && m_conn && m_begun) {
            m_transactionFailure = 0;
            Run("ROLLBACK");
        }
        if (status == kOk) {
            const bool told = askId && PQntuples(r.r[0]) == 1 && PQgetlength(r.r[0], 0, 0) == 8;
            const int64_t xid = told ? FromBigEndian64(PQgetvalue(r.r[0], 0, 0)) : -1;
            // A row's version (xmin) is the transaction id without its epoch.
            TakeInOwnWrites(xid < 0 ? -1 : xid & 0xffffffff);
            PassSnapshot(askId ? xid : 0);
        }
    } else if (status != kOk && m_conn && m_begun) {
        m_transactionFailure = 0;
        m_waiting.clear();
        Run("ROLLBACK");
    }
    EndTransaction();
    if (status != kOk) {
        m_quietNext.clear();
        m_rolledBackByError = true;
        ForgetTablesCreatedInTransaction();
        for (auto& [name, table] : m_tables) ++table->readAheadEpoch;
    }
    m_createdInTransaction.clear();
    return status;
}

int PgEngine::Abort() {
    if (!m_inTransaction) {
        if (m_rolledBackByError) {
            m_rolledBackByError = false;
            return kOk;
        }
        return kNoTransaction;
    }
    m_waiting.clear();                              // never sent
    if (m_wroteInTransaction) m_quietNext.clear();  // its transaction id was taken
    if (m_begun && m_conn) {
        m_transactionFailure = 0;
        Run("ROLLBACK");
    }
    EndTransaction();
    ForgetTablesCreatedInTransaction();
    for (auto& [name, table] : m_tables) ++table->readAheadEpoch;
    return kOk;
}

void PgEngine::SetBusyTimeout(int ms) {
    m_busyTimeout = ms;
    m_timeoutPending = true;
}

void PgEngine::Shutdown() {
    // Closing the connection rolls back on the server whatever is still open.
    Disconnect();
    EndTransaction();
    m_tables.clear();
    m_changes.clear();
    m_createdInTransaction.clear();
    m_ticketIds.clear();
    m_rolledBackByError = false;
}

}  // namespace recman
