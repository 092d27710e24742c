// Another workstation for the tests of windows that reload by themselves: a program of its
// own that writes records into a database folder on cue, as the program at another desk
// would. It reads one command a line and answers each with one line:
//
//   insert TABLE FIELD=VALUE ...   inserts a record of TABLE ("RESERVATION.BTR") whose named
//                                  fields hold the values (the rest zero) and commits it
//   update TABLE FIELD=VALUE SET FIELD=VALUE ...
//                                  changes the first record whose field holds the value
//
// Field names are those of the catalogue's field lists (velodb dump shows them); texts are
// UTF-8 and stored in code page 932, numbers in decimal. The answer is "ok" followed by the
// steady clock's nanoseconds at the end of the commit, or "failed" and a record-manager status.
#include <QString>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "recman/recman.h"
#include "suite/dbcall/catalogue.h"
#include "suite/text/cp932.h"

namespace {

struct Assignment {
    const FieldDesc* field;
    std::string value;
};

const FieldDesc* FindField(const TableInfo& table, const std::string& name) {
    for (const FieldDesc& f : table.fields)
        if (name == f.name) return &f;
    return nullptr;
}

// "NAME=VALUE" words into assignments; false for a word that names no field of the table.
bool ParseAssignments(const TableInfo& table, const std::vector<std::string>& words,
                      std::vector<Assignment>* out) {
    for (const std::string& word : words) {
        const size_t eq = word.find('=');
        if (eq == std::string::npos) return false;
        const FieldDesc* field = FindField(table, word.substr(0, eq));
        if (field == nullptr) return false;
        out->push_back({field, word.substr(eq + 1)});
    }
    return true;
}

std::string FieldBytes(const FieldDesc& field, const std::string& value) {
    std::string bytes(field.width, '\0');
    const auto put = [&](int64_t n, size_t width) { std::memcpy(bytes.data(), &n, width); };
    switch (field.kind) {
        case FieldKind::kInt32:
            put(std::strtoll(value.c_str(), nullptr, 10), 4);
            break;
        case FieldKind::kInt16:
            put(std::strtoll(value.c_str(), nullptr, 10), 2);
            break;
        case FieldKind::kByte:
            put(std::strtoll(value.c_str(), nullptr, 10), 1);
            break;
        default:
            SetCp932Field(bytes.data(), bytes.size(), QString::fromStdString(value));
            break;
    }
    return bytes;
}

void Apply(const std::vector<Assignment>& assignments, std::string* record) {
    for (const Assignment& a : assignments) {
        const std::string bytes = FieldBytes(*a.field, a.value);
        std::memcpy(record->data() + a.field->offset, bytes.data(), bytes.size());
    }
}

bool Holds(const std::string& record, const Assignment& a) {
    return record.compare(a.field->offset, a.field->width, FieldBytes(*a.field, a.value)) == 0;
}

int64_t SteadyNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

class OpenTable {
public:
    OpenTable(const std::string& folder, const TableInfo& table) : m_record(table.recordLength, 0) {
        char name[256] = {};
        std::strncpy(name, (folder + "/" + table.fileName).c_str(), sizeof name - 1);
        uint32_t length = 0;
        m_status = BTRCALL(recman::kOpOpen, m_block, nullptr, &length, name, 255, 0);
    }
    ~OpenTable() {
        uint32_t length = 0;
        if (m_status == recman::kOk)
            BTRCALL(recman::kOpClose, m_block, nullptr, &length, m_key, 255, 0);
    }
    int Status() const { return m_status; }
    std::string& Record() { return m_record; }
    int Call(uint16_t op) {
        uint32_t length = uint32_t(m_record.size());
        return BTRCALL(op, m_block, m_record.data(), &length, m_key, 255, 0);
    }

private:
    char m_block[recman::kPositionBlockSize] = {};
    char m_key[256] = {};
    std::string m_record;
    int m_status = 0;
};

int Run(const std::string& folder, const std::string& line) {
    std::istringstream in(line);
    std::string command, tableName, word;
    in >> command >> tableName;
    const TableInfo* table = FindTable(tableName);
    if (table == nullptr) return recman::kFileNotFound;
    std::vector<std::string> match, set;
    bool setting = command != "update";
    while (in >> word) {
        if (word == "SET") {
            setting = true;
            continue;
        }
        (setting ? set : match).push_back(word);
    }
    std::vector<Assignment> wanted, values;
    if (!ParseAssignments(*table, match, &wanted) || !ParseAssignments(*table, set, &values))
        return recman::kInvalidOperation;
    OpenTable t(folder, *table);
    if (t.Status() != recman::kOk) return t.Status();
    if (command == "insert") {
        Apply(values, &t.Record());
        return t.Call(recman::kOpInsert);
    }
    if (command != "update" || wanted.empty()) return recman::kInvalidOperation;
    for (int st = t.Call(recman::kOpGetFirst); st == recman::kOk; st = t.Call(recman::kOpGetNext)) {
        if (!Holds(t.Record(), wanted.front())) continue;
        Apply(values, &t.Record());
        return t.Call(recman::kOpUpdate);
    }
    return recman::kKeyNotFound;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: table_peer DIR, then insert/update lines on standard input\n";
        return 2;
    }
    std::string line;
    while (std::getline(std::cin, line)) {
        if (line.empty()) continue;
        const int status = Run(argv[1], line);
        if (status == recman::kOk)
            std::cout << "ok " << SteadyNanoseconds() << std::endl;
        else
            std::cout << "failed " << status << std::endl;
    }
    return 0;
}
