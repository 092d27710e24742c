// velodb dump: the records of one table in the order of a key, field by field, as UTF-8.
#include <QDate>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <vector>

#include "recman/recman.h"
#include "suite/dbcall/catalogue.h"
#include "suite/text/cp932.h"
#include "tablefile.h"
#include "velodb.h"

namespace velodb {
namespace {

std::string FieldText(const char* field, uint32_t width) {
    return Cp932FieldToQString(field, width).toStdString();
}

std::string FormatField(const char* record, const FieldDesc& desc) {
    const char* field = record + desc.offset;
    switch (desc.kind) {
        case FieldKind::kText:
            return FieldText(field, desc.width);
        case FieldKind::kDate: {
            const std::string text = FieldText(field, desc.width);
            const QDate date = QDate::fromString(QString::fromStdString(text), "yyyyMMdd");
            if (text.size() == 8 && date.isValid()) {
                return date.toString("yyyy/MM/dd").toStdString();
            }
            return text;
        }
        case FieldKind::kTime: {
            const std::string text = FieldText(field, desc.width);
            const bool digits =
                text.size() == 4 && text.find_first_not_of("0123456789") == std::string::npos;
            if (digits && std::stoi(text.substr(0, 2)) < 24 && std::stoi(text.substr(2)) < 60) {
                return text.substr(0, 2) + ":" + text.substr(2);
            }
            return text;
        }
        case FieldKind::kInt32: {
            int32_t value = 0;
            std::memcpy(&value, field, sizeof value);
            return std::to_string(value);
        }
        case FieldKind::kInt16: {
            int16_t value = 0;
            std::memcpy(&value, field, sizeof value);
            return std::to_string(value);
        }
        case FieldKind::kByte:
            return std::to_string(static_cast<unsigned char>(*field));
        case FieldKind::kBytes: {
            // Hexadecimal up to the last non-zero byte; all zeros print as nothing.
            uint32_t used = desc.width;
            while (used > 0 && field[used - 1] == 0) --used;
            static constexpr char kHex[] = "0123456789abcdef";
            std::string text;
            for (uint32_t i = 0; i < used; ++i) {
                const auto byte = static_cast<unsigned char>(field[i]);
                text += kHex[byte >> 4];
                text += kHex[byte & 15];
            }
            return text;
        }
    }
    return {};
}

// The folder's table (a table file, or a server's table) whose name matches the table's file
// name without regard to case.
std::string FindTableFile(const std::string& folder, const std::string& fileName) {
    for (const std::string& name : ListTables(folder)) {
        if (TableFileName(name) == fileName) return name;
    }
    return {};
}

}  // namespace

bool DumpTable(const std::string& folder, const std::string& table, int keyNumber,
               std::ostream& out, std::string* error) {
    const std::string wanted = TableFileName(table);
    const TableInfo* info = FindTable(wanted);
    if (info == nullptr) {
        *error = wanted + " is not a table of the database";
        return false;
    }
    if (keyNumber < 0 || keyNumber >= info->KeyCount()) {
        *error = wanted + " has no key " + std::to_string(keyNumber) + " (keys 0 to " +
                 std::to_string(info->KeyCount() - 1) + ")";
        return false;
    }
    const std::string name = FindTableFile(folder, wanted);
    if (name.empty()) {
        *error = "there is no " + wanted + " in " + folder;
        return false;
    }
    const std::string path = (std::filesystem::path(folder) / name).string();
    if (path.size() >= recman::kMaxKeyLength) {
        *error = "the path " + path + " is too long for the record manager";
        return false;
    }

    alignas(8) unsigned char position[recman::kPositionBlockSize] = {};
    char key[recman::kMaxKeyLength + 1] = {};
    std::memcpy(key, path.data(), path.size());
    uint32_t length = 0;
    int status = BTRCALL(recman::kOpOpen, position, nullptr, &length, key, recman::kMaxKeyLength,
                         recman::kModeReadOnly);
    if (status != recman::kOk) {
        *error = "cannot open " + path + " (record manager status " + std::to_string(status) + ")";
        return false;
    }
    std::vector<char> record(info->recordLength);
    long long count = 0;
    uint16_t op = recman::kOpGetFirst;
    for (;;) {
        std::memset(key, 0, sizeof key);
        length = static_cast<uint32_t>(record.size());
        status = BTRCALL(op, position, record.data(), &length, key, recman::kMaxKeyLength,
                         static_cast<int8_t>(keyNumber));
        if (status != recman::kOk) break;
        for (const FieldDesc& field : info->fields) {
            out << field.name << ": " << FormatField(record.data(), field) << "\n";
        }
        out << "\n";
        ++count;
        op = recman::kOpGetNext;
    }
    uint32_t closeLength = 0;
    BTRCALL(recman::kOpClose, position, nullptr, &closeLength, nullptr, 0, 0);
    if (status != recman::kEndOfFile) {
        *error = "reading " + path + " failed after " + std::to_string(count) +
                 " records (record manager status " + std::to_string(status) + ")";
        return false;
    }
    out << count << (count == 1 ? " record" : " records") << "\n";
    return true;
}

}  // namespace velodb
