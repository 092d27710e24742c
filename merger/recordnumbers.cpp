// Record numbers and their references; see recordnumbers.h.
#include "merger/recordnumbers.h"

#include <strings.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "merger/btrtable.h"
#include "suite/dbcall/xylodb.h"

namespace unita {

static_assert(offsetof(tagPHOTODB, RecordNo) == kNumberOffset);
static_assert(sizeof(tagPHOTODB::RecordNo) == kNumberWidth);
static_assert(sizeof(tagPHOTODB::PatientID) == kIdentifierWidth);

void WriteField(char* field, size_t width, const std::string& text) {
    std::memset(field, 0, width);
    std::memcpy(field, text.data(), std::min(text.size(), width - 1));
}

std::string ReadField(const char* field, size_t width) {
    return std::string(field, strnlen(field, width));
}

std::string NumberText(long long value) {
    char text[16];
    std::snprintf(text, sizeof text, "%010lld", value);
    return text;
}

std::string RecordNumber(const std::string& record) {
    if (record.size() < kNumberOffset + kNumberWidth) return {};
    return ReadField(record.data() + kNumberOffset, kNumberWidth);
}

std::string CompanionNumber(const std::string& number) {
    char text[16];
    std::snprintf(text, sizeof text, "A%09lld", std::atoll(number.c_str()));
    return text;
}

bool IsCompanionNumber(const std::string& number) { return !number.empty() && number[0] == 'A'; }

void CNumberMap::Add(const std::string& newNumber, const std::string& oldNumber) {
    m_pairs.emplace_back(newNumber, oldNumber);
}

std::string CNumberMap::NewNumberOf(const std::string& oldNumber) const {
    for (const auto& [newNumber, old] : m_pairs)
        if (old == oldNumber) return newNumber;
    return {};
}

bool CNumberMap::Contains(const std::string& oldNumber) const {
    for (const auto& pair : m_pairs)
        if (pair.second == oldNumber) return true;
    return false;
}

const std::vector<SNumberingRules>& CombineNumberingRules() {
    using K = ENumbering;
    static const std::vector<SNumberingRules> rules = [] {
        std::vector<SNumberingRules> r;
        auto numbered = [&](const char* file) -> SNumberingRules& {
            r.emplace_back();
            r.back().m_file = file;
            r.back().m_kind = K::Numbered;
            return r.back();
        };
        auto dependent = [&](const char* file, const char* analysis) -> SNumberingRules& {
            r.emplace_back();
            r.back().m_file = file;
            r.back().m_kind = K::Dependent;
            r.back().m_analysisTable = analysis;
            return r.back();
        };
        numbered("PHOTO.BTR").m_photos = true;
        {
            SNumberingRules& t = numbered("POINTLAT.BTR");
            t.m_analysis = true;
            t.m_photoRefs = {offsetof(tagPOINTLATDB, PhotoNo), offsetof(tagPOINTLATDB, PhotoNo2),
                             offsetof(tagPOINTLATDB, PhotoNo3)};
        }
        for (const char* file : {"CHEVRON.BTR", "ADDLAT.BTR", "PILELAT.BTR", "SPPOINT.BTR",
                                 "SURGERY.BTR", "SURGERYTREATMENT.BTR"})
            dependent(file, "POINTLAT.BTR");
        {
            SNumberingRules& t = numbered("MVTO.BTR");
            t.m_analysisRefs = {offsetof(tagMVTODB, AnalysisNo)};
            t.m_referencedAnalysis = "POINTLAT.BTR";
        }
        {
            SNumberingRules& t = numbered("POINTPA.BTR");
            t.m_analysis = true;
            t.m_photoRefs = {offsetof(tagPOINTPADB, PhotoNo), offsetof(tagPOINTPADB, PhotoNo2)};
        }
        dependent("PILEPA.BTR", "POINTPA.BTR");
        dependent("SPPOINTP.BTR", "POINTPA.BTR");
        {
            SNumberingRules& t = numbered("POINTMO.BTR");
            t.m_analysis = true;
            t.m_photoRefs = {offsetof(tagPOINTMODB, PhotoNo)};
        }
        dependent("POINTMO2.BTR", "POINTMO.BTR");
        dependent("MOEX.BTR", "POINTMO.BTR");
        numbered("CASMAS.BTR").m_photoRefs = {offsetof(tagCASMASDB, PhotoNo)};
        numbered("CVBA.BTR").m_photoRefs = {offsetof(tagCVBADB, PhotoNo)};
        numbered("LAS.BTR");
        numbered("REPORT.BTR").m_reports = true;
        numbered("SLIDESHOW.BTR").m_slideshows = true;
        {
            SNumberingRules& t = numbered("XYPHOTOEX.BTR");
            t.m_analysis = true;
            t.m_photoSet = true;
        }
        dependent("XYPHOTOEXIMG.BTR", "XYPHOTOEX.BTR").m_photoRefs = {
            offsetof(tagXYPHOTOEXIMGDB, PhotoNo)};
        dependent("XYPHOTOEXTEXT.BTR", "XYPHOTOEX.BTR");
        return r;
    }();
    return rules;
}

const SNumberingRules* NumberingRulesOf(const std::string& table) {
    static const SNumberingRules caseRegistration = [] {
        SNumberingRules r;
        r.m_file = "CASEREG.BTR";
        r.m_kind = ENumbering::Keyed;
        return r;
    }();
    if (strcasecmp(caseRegistration.m_file, table.c_str()) == 0) return &caseRegistration;
    for (const SNumberingRules& rules : CombineNumberingRules())
        if (strcasecmp(rules.m_file, table.c_str()) == 0) return &rules;
    return nullptr;
}

void MapReferences(std::string& record, const std::vector<size_t>& offsets, const CNumberMap& map,
                   EUnmapped unmapped) {
    for (size_t offset : offsets) {
        if (offset + kNumberWidth > record.size()) continue;
        char* field = record.data() + offset;
        const std::string mapped = map.NewNumberOf(ReadField(field, kNumberWidth));
        if (mapped.empty() && unmapped == EUnmapped::Keep) continue;
        WriteField(field, kNumberWidth, mapped);
    }
}

int FindNumbered(CBtrTable& table, const std::string& patient, const std::string& number) {
    std::string key(table.PrimaryKeyLength(), '\0');
    WriteField(key.data(), kIdentifierWidth, patient);
    WriteField(key.data() + kNumberOffset, kNumberWidth, number);
    table.SetKeyNumber(0);
    table.SetKey(key.data(), key.size());
    return table.GetEqual();
}

std::string FirstFreeNumber(CBtrTable& table, const std::string& patient, bool withCompanion,
                            long long* next) {
    auto isFree = [&](const std::string& number, bool* error) {
        int status = FindNumbered(table, patient, number);
        *error = status != 0 && status != recman::kKeyNotFound;
        return status == recman::kKeyNotFound;
    };
    for (; *next <= kLargestNumber; ++*next) {
        const std::string number = NumberText(*next);
        bool error = false;
        bool free = isFree(number, &error);
        if (free && withCompanion) free = isFree(CompanionNumber(number), &error);
        if (error) return {};
        if (free) return number;
    }
    return {};
}

long long HighestNumber(CBtrTable& table, const std::string& patient) {
    std::string key(table.PrimaryKeyLength(), '\0');
    WriteField(key.data(), kIdentifierWidth, patient);
    // Companions ("A...") sort after every plain number and are left out by starting below.
    WriteField(key.data() + kNumberOffset, kNumberWidth, NumberText(kLargestNumber));
    table.SetKeyNumber(0);
    table.SetKey(key.data(), key.size());
    if (table.GetLessOrEqual() != 0 || table.IsEOF() || !table.IsOfPatient(patient.c_str()))
        return 0;
    const std::string number = ReadField(table.Data() + kNumberOffset, kNumberWidth);
    if (number.empty() || !std::isdigit(static_cast<unsigned char>(number[0]))) return 0;
    return std::atoll(number.c_str());
}

}  // namespace unita
