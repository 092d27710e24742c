// Copying whole tables between database folders, whichever engine holds each side: every
// table is read within one transaction into a spool file, then written. See recman.h.
#include <cstdio>
#include <filesystem>
#include <memory>

#include "recman/engines.h"
#include "recman/recman.h"

namespace recman {
namespace {

constexpr uint32_t kRowsPerFetch = 1000;

struct SpoolCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using Spool = std::unique_ptr<std::FILE, SpoolCloser>;

// One table on its way: its layout and its rows, in the order they were inserted.
struct Copied {
    std::string name;
    Schema schema;
    Spool rows;
    uint64_t count = 0;
};

std::string PathIn(const std::string& folder, const std::string& name) {
    return (std::filesystem::path(folder) / name).string();
}

// Holds a table from Acquire to Release.
class Held {
public:
    int Acquire(const std::string& path) {
        if (int st = engines::ForPath(path, &m_engine); st != kOk) return st;
        return m_engine->Acquire(path, &m_table);
    }
    ~Held() {
        if (m_table) m_engine->Release(m_table);
    }
    Engine* engine() const { return m_engine; }
    Table* table() const { return m_table; }

private:
    Engine* m_engine = nullptr;
    Table* m_table = nullptr;
};

int ReadTable(const std::string& folder, Copied* copied) {
    Held source;
    if (int st = source.Acquire(PathIn(folder, copied->name)); st != kOk) return st;
    copied->schema = source.table()->schema;
    copied->rows.reset(std::tmpfile());
    if (!copied->rows) return kIoError;
    Batch rows;
    int64_t after = INT64_MIN;
    for (;;) {
        if (int st = source.engine()->FetchAfterId(source.table(), after, kRowsPerFetch, &rows);
            st != kOk)
            return st;
        if (rows.empty()) break;
        if (std::fwrite(rows.data.data(), 1, rows.data.size(), copied->rows.get()) !=
            rows.data.size())
            return kIoError;
        copied->count += rows.size();
        after = rows.ids.back();
    }
    return std::fflush(copied->rows.get()) == 0 ? kOk : kIoError;
}

int WriteRows(const std::string& folder, Copied* copied) {
    Held target;
    if (int st = target.Acquire(PathIn(folder, copied->name)); st != kOk) return st;
    std::rewind(copied->rows.get());
    std::vector<uint8_t> record(copied->schema.recordLength);
    for (uint64_t i = 0; i < copied->count; ++i) {
        if (std::fread(record.data(), 1, record.size(), copied->rows.get()) != record.size())
            return kIoError;
        int64_t id = 0;
        if (int st = target.engine()->Insert(target.table(), record.data(), &id); st != kOk)
            return st;
    }
    return kOk;
}

}  // namespace

int CopyTables(const std::string& fromFolder, const std::string& toFolder,
               const std::vector<std::string>& names, ECopyWrites writes, bool overwrite,
               std::string* failedTable) {
    if (engines::InTransaction()) return kTransactionActive;
    std::vector<Copied> copied(names.size());
    // A server's tables are read as they stood at one moment, while others may go on
    // writing. Table files are read one by one: one transaction holds only a few of them,
    // and a folder is copied to a server before the clinic works on it.
    PgEngine* server = nullptr;
    const bool snapshot = engines::ServerOf(fromFolder, &server) == kOk;
    if (snapshot)
        if (int st = engines::Begin(); st != kOk) return st;
    for (size_t i = 0; i < names.size(); ++i) {
        copied[i].name = names[i];
        if (int st = ReadTable(fromFolder, &copied[i]); st != kOk) {
            if (snapshot) engines::Abort();
            if (failedTable) *failedTable = names[i];
            return st;
        }
    }
    if (snapshot)
        if (int st = engines::Commit(); st != kOk) return st;

    // In one transaction the tables are made too, so that a copy that fails midway leaves
    // none of them behind, not even empty.
    const bool together = writes == ECopyWrites::OneTransaction;
    if (together)
        if (int st = engines::Begin(); st != kOk) return st;
    for (Copied& table : copied) {
        Engine* engine = nullptr;
        const std::string path = PathIn(toFolder, table.name);
        int st = engines::ForPath(path, &engine);
        if (st == kOk) st = engine->Create(path, table.schema, overwrite);
        if (st != kOk) {
            if (together) engines::Abort();
            if (failedTable) *failedTable = table.name;
            return st;
        }
    }
    for (Copied& table : copied) {
        if (!together)
            if (int st = engines::Begin(); st != kOk) return st;
        int st = WriteRows(toFolder, &table);
        if (st == kOk && !together) st = engines::Commit();
        if (st != kOk) {
            engines::Abort();
            if (failedTable) *failedTable = table.name;
            return st;
        }
    }
    if (!together) return kOk;
    const int st = engines::Commit();
    // A commit that failed may leave a transaction open on the table files.
    if (st != kOk) engines::Abort();
    return st;
}

}  // namespace recman
