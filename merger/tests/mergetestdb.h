// Small databases for the merge tests: empty databases made as `velodb create` makes them,
// patients and records written through the merger's own table classes, and readings of
// what a merge left behind (records of a patient, dumps of every table, hashes of folders).
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "merger/btrtables.h"
#include "merger/mediafiles.h"
#include "merger/mergeprogress.h"
#include "merger/patientlist.h"
#include "suite/tool/messageservice.h"
#include "tools/velodb.h"

namespace unita::testdb {

namespace fs = std::filesystem;

// A small demo practice database and its cephalometric database, made once per test suite.
inline void BuildDemoPair(const std::string& calyx, const std::string& xylo, int patients) {
    velodb::SDemoOptions demo;
    demo.m_folder = calyx;
    demo.m_xyloFolder = xylo;
    demo.m_patients = patients;
    demo.m_daysBack = 1;
    demo.m_daysAhead = 1;
    std::string error;
    ASSERT_TRUE(velodb::BuildDemoDatabase(demo, nullptr, nullptr, &error)) << error;
}

inline std::string Id10(long long value) {
    char text[32];
    std::snprintf(text, sizeof text, "%010lld", value);
    return text;
}

template <size_t N>
void Put(char (&field)[N], const std::string& text) {
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), std::min(text.size(), N - 1));
}

inline void WriteFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Every file below folder with its content, by relative path.
inline std::map<std::string, std::string> Snapshot(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        if (e.is_regular_file())
            files[fs::relative(e.path(), folder).string()] = ReadFile(e.path());
    return files;
}

struct SPatient {
    SPatient(long long id, std::string patientId, std::string name, std::string birthDate = "",
             std::string comment = "", std::string guardian = "", std::string guardianKana = "")
        : m_id(id),
          m_patientId(std::move(patientId)),
          m_name(std::move(name)),
          m_birthDate(std::move(birthDate)),
          m_comment(std::move(comment)),
          m_guardian(std::move(guardian)),
          m_guardianKana(std::move(guardianKana)) {}

    long long m_id = 0;
    std::string m_patientId;
    std::string m_name;
    std::string m_birthDate;
    std::string m_comment;
    std::string m_guardian;
    std::string m_guardianKana;
};

inline void AddPatient(const std::string& folder, const SPatient& patient) {
    CPatient1Table p1(folder);
    ASSERT_EQ(p1.Open(), 0);
    p1.ClearData();
    tagPATIENT1DB& r = p1.Rec();
    Put(r.PatientID, Id10(patient.m_id));
    Put(r.ChartNo, patient.m_patientId);
    Put(r.Name, patient.m_name);
    Put(r.BirthDate, patient.m_birthDate);
    Put(r.Comment, patient.m_comment);
    Put(r.GuardianName, patient.m_guardian);
    Put(r.GuardianKana, patient.m_guardianKana);
    Put(r.Sex, "1");
    ASSERT_EQ(p1.Insert(), 0);
    CPatient2Table p2(folder);
    ASSERT_EQ(p2.Open(), 0);
    p2.ClearData();
    Put(p2.Rec().PatientID, Id10(patient.m_id));
    Put(p2.Rec().OtherTel, "tel " + patient.m_patientId);
    ASSERT_EQ(p2.Insert(), 0);
}

// Reads a patient of PATIENT1.BTR; false when missing.
inline bool ReadPatient(const std::string& folder, long long id, tagPATIENT1DB* out) {
    CPatient1Table p1(folder);
    p1.SetShowErrors(false);
    if (p1.Open() != 0) return false;
    if (p1.GetPatientData(Id10(id).c_str()) != 0) return false;
    *out = p1.Rec();
    return true;
}

// The merge-data list of a database as the window fills it: patient ID and name of every
// patient not marked deleted, in key order.
inline std::vector<SPatientRow> ListedPatients(const std::string& folder) {
    std::vector<SPatientRow> rows;
    CPatient1Table p1(folder);
    if (p1.Open() != 0) return rows;
    for (int st = p1.FirstRecord(); st == 0 && !p1.IsEOF(); st = p1.GetNext()) {
        if (p1.Rec().InactiveFlag != 0) continue;
        SPatientRow row;
        row.m_identifier = std::stoll(p1.Rec().PatientID);
        row.m_patientId = QString::fromUtf8(p1.Rec().ChartNo);
        row.m_name = QString::fromUtf8(p1.Rec().Name);
        rows.push_back(row);
    }
    return rows;
}

// Writes a record of a per-patient table: identifier, number (or, for CASEREG.BTR, group and
// case codes) and a marker byte at the end that tells copies apart.
inline void AddRecord(const std::string& folder, const char* table, long long id,
                      const std::string& number, char marker, uint8_t mediaType = 0) {
    auto t = MakeBtrTable(table, folder);
    ASSERT_TRUE(t);
    ASSERT_EQ(t->Open(), 0) << table;
    t->ClearData();
    char* data = t->Data();
    std::memcpy(data, Id10(id).c_str(), 10);
    if (std::strcmp(table, "CASEREG.BTR") == 0) {
        std::memcpy(data + 21, number.c_str(), std::min<size_t>(number.size(), 3));
        std::memcpy(data + 25, "01", 2);
    } else {
        std::memcpy(data + 21, number.c_str(), std::min<size_t>(number.size(), 10));
    }
    if (std::strcmp(table, "PHOTO.BTR") == 0)
        data[offsetof(tagPHOTODB, MediaType)] = char(mediaType);
    data[t->DataLength() - 1] = marker;
    ASSERT_EQ(t->Insert(), 0) << table;
}

// The records of a patient in a table: each one's number (offset 21) and its marker.
inline std::vector<std::pair<std::string, char>> RecordsOf(const std::string& folder,
                                                           const char* table, long long id) {
    std::vector<std::pair<std::string, char>> found;
    auto t = MakeBtrTable(table, folder);
    if (!t || t->Open() != 0) return found;
    const std::string key = Id10(id);
    for (int st = t->FirstOfPatient(key.c_str());
         st == 0 && !t->IsEOF() && t->IsOfPatient(key.c_str()); st = t->GetNext())
        found.emplace_back(std::string(t->Data() + 21, strnlen(t->Data() + 21, 11)),
                           t->Data()[t->DataLength() - 1]);
    return found;
}

// Every table of a database as `velodb dump` writes it, for comparing two databases.
inline std::string DumpAll(const std::string& folder) {
    std::ostringstream out;
    for (const SBtrTableDef& def : AllBtrTables()) {
        std::string error;
        out << "== " << def.m_fileName << "\n";
        if (!velodb::DumpTable(folder, def.m_fileName, 0, out, &error)) out << error << "\n";
    }
    return out.str();
}

inline void CreateEmpty(const std::string& folder) {
    std::string error;
    ASSERT_TRUE(velodb::CreateDatabase(folder, false, &error)) << error;
}

// Records what a merge reports.
class CRecordingProgress final : public IMergeProgress {
public:
    void SetStatus(const QString& text) override { m_statuses.push_back(text); }
    void SetPosition(int percent) override { m_positions.push_back(percent); }
    void MarkXyloRow(int row, ERowMark mark) override { m_marks[row].push_back(mark); }
    ERowMark FinalMark(int row) const {
        const auto found = m_marks.find(row);
        return found == m_marks.end() ? ERowMark::None : found->second.back();
    }

    std::vector<QString> m_statuses;
    std::vector<int> m_positions;
    std::map<int, std::vector<ERowMark>> m_marks;
};

// A progress that ends the process at its n-th report, as a power cut or a kill would.
class CKillingProgress final : public IMergeProgress {
public:
    explicit CKillingProgress(long killAt) : m_killAt(killAt) {}
    void SetStatus(const QString&) override { Tick(); }
    void SetPosition(int) override { Tick(); }
    void MarkXyloRow(int, ERowMark) override { Tick(); }
    long Reports() const { return m_reports; }

private:
    void Tick() {
        if (++m_reports == m_killAt) raise(SIGKILL);
    }
    long m_killAt;
    long m_reports = 0;
};

// Runs `work` in a child process with a progress that kills it at its killAt-th report, and
// expects the child to have died of that kill.
inline void RunKilledAt(long killAt, const std::function<void(IMergeProgress&)>& work) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        CKillingProgress killer(killAt);
        work(killer);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "kill at " << killAt;
}

// The texts shown through the message service since the last clear.
inline std::vector<QString> ShownTexts() {
    std::vector<QString> texts;
    for (const auto& request : CMessageService::History()) texts.push_back(request.text);
    return texts;
}

}  // namespace unita::testdb
