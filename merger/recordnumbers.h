// Record numbers of the per-patient tables, shared by the merge and the combine. Most of a
// patient's records carry a number within the patient (offset 21, "%010d"); some records
// refer to others by number (an analysis to its photos, a dependent table's records to their
// analysis). When records land under numbers other than their own, because the target
// patient has those numbers taken already, the references must be renumbered alike; the rules
// here say, per table, which fields are numbers and which map renumbers them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace unita {

class CBtrTable;

constexpr size_t kIdentifierWidth = 21;
constexpr size_t kNumberOffset = 21;
constexpr size_t kNumberWidth = 11;
constexpr long long kLargestNumber = 9999999999LL;

// Zero-fills a fixed-width text field and writes text into it (at most width - 1 bytes).
void WriteField(char* field, size_t width, const std::string& text);
// The text of a fixed-width field, up to its terminator.
std::string ReadField(const char* field, size_t width);
// "%010d" of a number.
std::string NumberText(long long value);
// The record number of a record (offset 21).
std::string RecordNumber(const std::string& record);
// The companion number of a photo set: "A%09d" of the number's value.
std::string CompanionNumber(const std::string& number);
bool IsCompanionNumber(const std::string& number);

// Old-to-new record numbers of the records moved so far, in the order they were added.
class CNumberMap {
public:
    void Clear() { m_pairs.clear(); }
    void Add(const std::string& newNumber, const std::string& oldNumber);
    // The new number of oldNumber, or "" when it has none.
    std::string NewNumberOf(const std::string& oldNumber) const;
    bool Contains(const std::string& oldNumber) const;
    bool Empty() const { return m_pairs.empty(); }
    // (new, old) pairs in the order added.
    const std::vector<std::pair<std::string, std::string>>& Pairs() const { return m_pairs; }

private:
    std::vector<std::pair<std::string, std::string>> m_pairs;
};

// How a table's records are numbered.
enum class ENumbering {
    Numbered,   // each record has its own number within the patient
    Dependent,  // the number is that of the analysis the record belongs to
    Keyed,      // no number: the key is the record's own codes (CASEREG.BTR)
};

// The numbering rules of one per-patient table.
struct SNumberingRules {
    const char* m_file = nullptr;
    ENumbering m_kind = ENumbering::Numbered;
    // For a dependent table: the analysis table whose numbers its records carry.
    const char* m_analysisTable = nullptr;
    bool m_analysis = false;          // its records are analyses that other tables depend on
    bool m_photoSet = false;          // XYPHOTOEX.BTR: "A" companions go with their base record
    bool m_photos = false;            // PHOTO.BTR: the photo numbers and the image files
    bool m_reports = false;           // REPORT.BTR files
    bool m_slideshows = false;        // SLIDESHOW.BTR files
    std::vector<size_t> m_photoRefs;  // offsets of photo numbers
    // Offsets of analysis numbers, and the analysis table they name.
    std::vector<size_t> m_analysisRefs;
    const char* m_referencedAnalysis = nullptr;
};

// The tables the combine moves, in order: photos first (their new numbers are needed by the
// analyses), each analysis table before the tables that depend on it.
const std::vector<SNumberingRules>& CombineNumberingRules();
// The rules of a per-patient table (any letter case), or nullptr.
const SNumberingRules* NumberingRulesOf(const std::string& table);

// Replaces the numbers at `offsets` of a record through `map`. A number the map does not hold
// becomes empty with EUnmapped::Clear and stays as it is with EUnmapped::Keep.
enum class EUnmapped { Clear, Keep };
void MapReferences(std::string& record, const std::vector<size_t>& offsets, const CNumberMap& map,
                   EUnmapped unmapped);

// Looks up the record of `patient` numbered `number`: 0 found, kKeyNotFound, or the error.
int FindNumbered(CBtrTable& table, const std::string& patient, const std::string& number);

// The first number, counting up from *next, under which `patient` has no record yet (the
// numbers below *next are taken already). For a photo set the number's companion must be
// free too, or the companion's insert would fail after the set's own. "" when the table
// cannot tell or no number is left.
std::string FirstFreeNumber(CBtrTable& table, const std::string& patient, bool withCompanion,
                            long long* next);

// The highest plain number of `patient`'s records in a numbered table (companions left out),
// 0 when it has none.
long long HighestNumber(CBtrTable& table, const std::string& patient);

}  // namespace unita
