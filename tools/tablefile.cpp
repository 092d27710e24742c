// Table files seen as files: their declared record length and their presence in a folder.
#include "tablefile.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>

#include "recman/recman.h"
#include "suite/dbcall/catalogue.h"

namespace velodb {
namespace {

bool EndsWithBtr(const std::string& name) {
    if (name.size() <= 4) return false;
    std::string ext = name.substr(name.size() - 4);
    for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return ext == ".BTR";
}

}  // namespace

bool HasTableExtension(const std::string& name) { return EndsWithBtr(name); }

int ReadRecordLength(const std::string& path, uint32_t* recordLength) {
    if (path.size() >= recman::kMaxKeyLength) return recman::kFileNotFound;
    alignas(8) unsigned char position[recman::kPositionBlockSize] = {};
    char key[recman::kMaxKeyLength + 1] = {};
    std::memcpy(key, path.data(), path.size());
    uint32_t length = 0;
    int status = BTRCALL(recman::kOpOpen, position, nullptr, &length, key, recman::kMaxKeyLength,
                         recman::kModeReadOnly);
    if (status != recman::kOk) return status;
    // The file specification is followed by one key specification per segment.
    alignas(8) unsigned char
        spec[sizeof(recman::FileSpec) + sizeof(recman::KeySpec) * recman::kMaxKeys * 8] = {};
    length = sizeof spec;
    status = BTRCALL(recman::kOpStat, position, spec, &length, key, recman::kMaxKeyLength, 0);
    if (status == recman::kOk) {
        recman::FileSpec fileSpec;
        std::memcpy(&fileSpec, spec, sizeof fileSpec);
        *recordLength = fileSpec.recordLength;
    }
    uint32_t closeLength = 0;
    BTRCALL(recman::kOpClose, position, nullptr, &closeLength, nullptr, 0, 0);
    return status;
}

bool IsServerFolder(const std::string& folder) {
    std::string conninfo;
    return recman::ServerConnInfo(folder, &conninfo) != recman::kFileNotFound;
}

std::vector<std::string> ListTables(const std::string& folder) {
    if (!IsServerFolder(folder)) return ListTableFiles(folder);
    std::vector<std::string> names;
    for (const TableInfo& table : AllTables()) {
        const std::string path = (std::filesystem::path(folder) / table.fileName).string();
        uint32_t length = 0;
        if (ReadRecordLength(path, &length) == recman::kOk) names.push_back(table.fileName);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> ListTableFiles(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (EndsWithBtr(name) && entry.is_regular_file(ec)) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string TableFileName(const std::string& table) {
    std::string name = table;
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (!EndsWithBtr(name)) name += ".BTR";
    return name;
}

}  // namespace velodb
