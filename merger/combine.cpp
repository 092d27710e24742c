// The patient combine of the merger; see combine.h.
#include "merger/combine.h"

#include <strings.h>

#include <QStringList>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "merger/btrtables.h"
#include "merger/mediafiles.h"
#include "suite/dbcall/patientdb.h"
#include "suite/dbcall/xylodb.h"
#include "suite/text/cp932.h"

namespace unita {

namespace {

// A field of PATIENT1.BTR that the combine may fill.
struct SFillField {
    size_t m_offset;
    size_t m_width;
    bool m_numeric;  // empty when its numeric value is 0, else when its first byte is 0
};

#define UNITA_TEXT_FIELD(name) \
    { offsetof(tagPATIENT1DB, name), sizeof(tagPATIENT1DB::name), false }
#define UNITA_NUMBER_FIELD(name) \
    { offsetof(tagPATIENT1DB, name), sizeof(tagPATIENT1DB::name), true }
constexpr SFillField kFillFields[] = {
    UNITA_TEXT_FIELD(ChartNo),
    UNITA_TEXT_FIELD(Address1),
    UNITA_TEXT_FIELD(Address2),
    UNITA_TEXT_FIELD(Comment),
    UNITA_TEXT_FIELD(HomeTelDigits),
    UNITA_TEXT_FIELD(MobileTelDigits),
    UNITA_TEXT_FIELD(Name),
    UNITA_TEXT_FIELD(Kana),
    UNITA_TEXT_FIELD(GuardianName),
    UNITA_TEXT_FIELD(GuardianKana),
    UNITA_TEXT_FIELD(ZipCode),
    UNITA_TEXT_FIELD(HomeTel),
    UNITA_TEXT_FIELD(MobileTel),
    UNITA_NUMBER_FIELD(BirthDate),
    UNITA_NUMBER_FIELD(FirstVisitDate),
    UNITA_NUMBER_FIELD(EntryDate),
    UNITA_NUMBER_FIELD(LastVisitDate),
    UNITA_NUMBER_FIELD(EndDate),
};
#undef UNITA_TEXT_FIELD
#undef UNITA_NUMBER_FIELD

bool IsEmptyField(const char* record, const SFillField& field) {
    const char* bytes = record + field.m_offset;
    if (!field.m_numeric) return bytes[0] == 0;
    return std::atoll(ReadField(bytes, field.m_width).c_str()) == 0;
}

// The records of one patient in key order, read before anything is written so that the
// inserts of the move cannot disturb the scan. False when the scan stops on an error.
bool ReadPatientRecords(CBtrTable& table, const std::string& patient, uint32_t recordLength,
                        std::vector<std::string>* records) {
    int status = table.FirstOfPatient(patient.c_str());
    while (status == 0 && !table.IsEOF() && table.IsOfPatient(patient.c_str())) {
        records->emplace_back(table.Data(), recordLength);
        status = table.GetNext();
    }
    return status == 0 || status == recman::kEndOfFile;
}

// Positions the table on the record whose primary key is the leading bytes of `record`.
// The keys of the moved tables are the record's first fields, so the record's own bytes are
// its key.
int FindByRecordKey(CBtrTable& table, const std::string& record) {
    table.SetKeyNumber(0);
    table.SetKey(record.data(), std::min<size_t>(table.PrimaryKeyLength(), record.size()));
    return table.GetEqual();
}

// Deletes the stored record with the key of `record`, when it is still there.
void DeleteIfPresent(CBtrTable& table, const std::string& record) {
    if (FindByRecordKey(table, record) == 0) table.Delete();
}

int InsertRecord(CBtrTable& table, const std::string& record) {
    std::memcpy(table.Data(), record.data(), record.size());
    return table.Insert();
}

}  // namespace

QString PatientDescription(const char* record) {
    const auto& p = *reinterpret_cast<const tagPATIENT1DB*>(record);
    auto text = [](const char* field, size_t width) { return Cp932FieldToQString(field, width); };
#define UNITA_FIELD(name) text(p.name, sizeof p.name)
    QStringList lines;
    lines << QStringLiteral("登録No.  [ ") + UNITA_FIELD(PatientID) + QStringLiteral(" ]");
    lines << QStringLiteral("患者ID   [ ") + UNITA_FIELD(ChartNo) + QStringLiteral(" ]");
    lines << QStringLiteral("患者名   [ ") + UNITA_FIELD(Name) + QStringLiteral(" ( ") +
                 UNITA_FIELD(Kana) + QStringLiteral(" ) ]");
    lines << QStringLiteral("性別     [ ") + (std::strncmp(p.Sex, "1", sizeof p.Sex) == 0
                                                  ? QStringLiteral("M ]")
                                                  : QStringLiteral("F ]"));
    lines << QStringLiteral("生年月日 [ ") + UNITA_FIELD(BirthDate) + QStringLiteral(" ]");
    lines << QStringLiteral("保護者名 [ ") + UNITA_FIELD(GuardianName) + QStringLiteral(" ( ") +
                 UNITA_FIELD(GuardianKana) + QStringLiteral(" ) ]");
    lines << QStringLiteral("〒番号   [ ") + UNITA_FIELD(ZipCode) + QStringLiteral(" ]");
    lines << QStringLiteral("住所     [ ") + UNITA_FIELD(Address1) + QStringLiteral(" ]");
    lines << QStringLiteral("         [ ") + UNITA_FIELD(Address2) + QStringLiteral(" ]");
    lines << QStringLiteral("TEL1     [ ") + UNITA_FIELD(HomeTel) + QStringLiteral(" ]");
    lines << QStringLiteral("TEL2     [ ") + UNITA_FIELD(MobileTel) + QStringLiteral(" ]");
#undef UNITA_FIELD
    return lines.join(QStringLiteral("\r\n"));
}

QString ReadPatientDescription(const std::string& databaseFolder, const std::string& identifier) {
    CPatient1Table patients(databaseFolder);
    if (identifier.empty() || patients.Open() != 0) return {};
    if (patients.GetPatientData(identifier.c_str()) != 0) return {};
    return PatientDescription(patients.Data());
}

int FillEmptyPatientFields(char* kept, const char* absorbed) {
    int filled = 0;
    for (const SFillField& field : kFillFields) {
        if (!IsEmptyField(kept, field) || IsEmptyField(absorbed, field)) continue;
        std::memcpy(kept + field.m_offset, absorbed + field.m_offset, field.m_width);
        ++filled;
    }
    return filled;
}

const std::vector<std::string>& CombineTableOrder() {
    static const std::vector<std::string> order = [] {
        std::vector<std::string> names;
        for (const SNumberingRules& rules : CombineNumberingRules())
            names.emplace_back(rules.m_file);
        return names;
    }();
    return order;
}

CPatientCombiner::CPatientCombiner(const SCombineFolders& folders) : m_folders(folders) {
    for (std::string* folder :
         {&m_folders.m_database, &m_folders.m_image, &m_folders.m_report, &m_folders.m_slideshow})
        *folder = WithSeparator(*folder);
}

bool CPatientCombiner::Fail(const std::string& table) {
    m_failedTable = table;
    return false;
}

bool CPatientCombiner::Combine(const std::string& kept, const std::string& absorbed,
                               bool deleteData) {
    m_failedTable.clear();
    m_photoMap.Clear();
    m_analysisMap.Clear();
    m_deleteData = deleteData;
    // Combining a patient with itself would move its records onto itself for ever.
    if (kept.empty() || absorbed.empty() || kept == absorbed) return Fail("PATIENT1.BTR");
    // Every table must open before anything is written: a missing or damaged file then
    // stops the combine with both patients untouched, instead of halfway through.
    for (const std::string& table : CombineTableOrder()) {
        std::unique_ptr<CBtrTable> probe = MakeBtrTable(table, m_folders.m_database);
        if (!probe || probe->Open() != 0) return Fail(table);
    }
    if (!FillKeptPatient(kept, absorbed)) return false;
    for (const std::string& table : CombineTableOrder())
        if (!MoveRecords(table, kept, absorbed)) return false;
    return true;
}

bool CPatientCombiner::FillKeptPatient(const std::string& kept, const std::string& absorbed) {
    CPatient1Table patients(m_folders.m_database);
    if (patients.Open() != 0) return Fail("PATIENT1.BTR");
    if (patients.GetPatientData(absorbed.c_str()) != 0) return Fail("PATIENT1.BTR");
    const tagPATIENT1DB absorbedRecord = patients.Rec();
    if (patients.GetPatientData(kept.c_str()) != 0) return Fail("PATIENT1.BTR");
    FillEmptyPatientFields(reinterpret_cast<char*>(&patients.Rec()),
                           reinterpret_cast<const char*>(&absorbedRecord));
    if (patients.Update() != 0) return Fail("PATIENT1.BTR");
    return true;
}

bool CPatientCombiner::MoveRecords(const std::string& table, const std::string& kept,
                                   const std::string& absorbed) {
    const STableRules* rules = NumberingRulesOf(table);
    if (!rules || rules->m_kind == ENumbering::Keyed) return Fail(table);
    if (rules->m_kind == ENumbering::Numbered) return MoveNumberedRecords(*rules, kept, absorbed);
    return MoveDependentRecords(*rules, kept, absorbed);
}

bool CPatientCombiner::MoveNumberedRecords(const STableRules& rules, const std::string& kept,
                                           const std::string& absorbed) {
    const SBtrTableDef* def = FindBtrTable(rules.m_file);
    std::unique_ptr<CBtrTable> table = MakeBtrTable(rules.m_file, m_folders.m_database);
    if (!def || !table || table->Open() != 0) return Fail(rules.m_file);
    if (rules.m_analysis) m_analysisMap.Clear();

    std::vector<std::string> records;
    if (!ReadPatientRecords(*table, absorbed, def->m_recordLength, &records))
        return Fail(rules.m_file);

    long long next = 1;
    for (const std::string& record : records) {
        const std::string oldNumber = ReadField(record.data() + kNumberOffset, kNumberWidth);
        if (rules.m_photoSet && IsCompanionNumber(oldNumber)) continue;

        std::string copy = record;
        WriteField(copy.data(), kIdentifierWidth, kept);
        MapReferences(copy, rules.m_photoRefs, m_photoMap, EUnmapped::Clear);
        MapReferences(copy, rules.m_analysisRefs, m_analysisMap, EUnmapped::Clear);
        const std::string newNumber = FirstFreeNumber(*table, kept, rules.m_photoSet, &next);
        if (newNumber.empty()) return Fail(rules.m_file);
        WriteField(copy.data() + kNumberOffset, kNumberWidth, newNumber);
        if (rules.m_photoSet)
            WriteField(copy.data() + offsetof(tagXYPHOTOEXDB, CompanionNo),
                       sizeof(tagXYPHOTOEXDB::CompanionNo), CompanionNumber(newNumber));
        if (InsertRecord(*table, copy) != 0) return Fail(rules.m_file);
        ++next;

        std::string companion;
        if (rules.m_photoSet) {
            // The companion of the old number moves with its base record, renumbered alike.
            std::string key = record;
            WriteField(key.data() + kNumberOffset, kNumberWidth, CompanionNumber(oldNumber));
            if (FindByRecordKey(*table, key) == 0) {
                companion.assign(table->Data(), def->m_recordLength);
                std::string moved = companion;
                WriteField(moved.data(), kIdentifierWidth, kept);
                WriteField(moved.data() + kNumberOffset, kNumberWidth, CompanionNumber(newNumber));
                if (InsertRecord(*table, moved) != 0) {
                    // No set is left at the kept patient without its companion.
                    DeleteIfPresent(*table, copy);
                    return Fail(rules.m_file);
                }
                m_analysisMap.Add(CompanionNumber(newNumber), CompanionNumber(oldNumber));
            }
        }

        if (!MoveRecordFiles(rules, record, absorbed, kept, newNumber)) {
            // A file that exists but could not be copied: the kept patient gets no record
            // without its file, the absorbed patient keeps record and file, and the combine
            // stops so the administrator learns of it.
            DeleteIfPresent(*table, copy);
            return Fail(rules.m_file);
        }
        if (rules.m_photos) m_photoMap.Add(newNumber, oldNumber);
        if (rules.m_analysis) m_analysisMap.Add(newNumber, oldNumber);

        if (m_deleteData) {
            DeleteIfPresent(*table, record);
            if (!companion.empty()) DeleteIfPresent(*table, companion);
        }
    }
    table->Close();
    return true;
}

bool CPatientCombiner::MoveRecordFiles(const STableRules& rules, const std::string& record,
                                       const std::string& absorbed, const std::string& kept,
                                       const std::string& newNumber) {
    const std::string oldNumber = ReadField(record.data() + kNumberOffset, kNumberWidth);
    SMediaMove files{{}, {}, absorbed, kept, oldNumber, newNumber, m_deleteData};
    SMediaCopy copied;
    if (rules.m_photos) {
        files.m_fromFolder = files.m_toFolder = m_folders.m_image;
        copied =
            CopyPhotoFiles(files, static_cast<uint8_t>(record[offsetof(tagPHOTODB, MediaType)]));
    } else if (rules.m_reports) {
        files.m_fromFolder = files.m_toFolder = m_folders.m_report;
        copied = CopyReportFile(files);
    } else if (rules.m_slideshows) {
        files.m_fromFolder = files.m_toFolder = m_folders.m_slideshow;
        copied = CopySlideshowFile(files);
    }
    return copied.AllCopied();
}

bool CPatientCombiner::MoveDependentRecords(const STableRules& rules, const std::string& kept,
                                            const std::string& absorbed) {
    const SBtrTableDef* def = FindBtrTable(rules.m_file);
    std::unique_ptr<CBtrTable> table = MakeBtrTable(rules.m_file, m_folders.m_database);
    if (!def || !table || table->Open() != 0) return Fail(rules.m_file);

    std::vector<std::string> records;
    if (!ReadPatientRecords(*table, absorbed, def->m_recordLength, &records))
        return Fail(rules.m_file);

    for (const std::string& record : records) {
        const std::string analysis =
            m_analysisMap.NewNumberOf(ReadField(record.data() + kNumberOffset, kNumberWidth));
        // A record whose analysis did not move has nothing to belong to at the kept patient;
        // it stays with the absorbed patient rather than being lost.
        if (analysis.empty()) continue;
        std::string copy = record;
        WriteField(copy.data(), kIdentifierWidth, kept);
        WriteField(copy.data() + kNumberOffset, kNumberWidth, analysis);
        MapReferences(copy, rules.m_photoRefs, m_photoMap, EUnmapped::Clear);
        // A copy that cannot be stored is passed over, and its original is then kept.
        if (InsertRecord(*table, copy) != 0) continue;
        if (m_deleteData) DeleteIfPresent(*table, record);
    }
    table->Close();
    return true;
}

QString CombineSucceededText() { return QStringLiteral("合成に成功しました。"); }

QString CombineFailedText() { return QStringLiteral("合成に失敗しました。"); }

}  // namespace unita
