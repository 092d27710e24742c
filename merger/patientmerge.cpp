// The patient merge: matching, the patient records, the per-patient tables and the
// selected-patient command.
#include "merger/patientmerge.h"

#include <QStringList>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <unordered_map>
#include <unordered_set>

#include "merger/btrtables.h"
#include "merger/mediafiles.h"
#include "merger/mergeprogress.h"
#include "merger/mergertext.h"
#include "merger/recordnumbers.h"
#include "merger/rmtransaction.h"
#include "recman/recman.h"

namespace unita {
namespace {

static_assert(sizeof(tagPATIENT1DB::PatientID) == kIdentifierWidth);

constexpr char kPatient1File[] = "PATIENT1.BTR";
constexpr char kPatient2File[] = "PATIENT2.BTR";

std::string Id10(long long value) {
    char text[32];
    std::snprintf(text, sizeof text, "%010lld", value);
    return text;
}

// The numeric value of a digits field as the products read it: leading blanks, an optional
// sign, then digits up to the first other character.
long long FieldNumber(const char* field, size_t width) {
    size_t i = 0;
    while (i < width && (field[i] == ' ' || field[i] == '\t')) ++i;
    bool negative = false;
    if (i < width && (field[i] == '-' || field[i] == '+')) negative = field[i++] == '-';
    long long value = 0;
    for (; i < width && std::isdigit(static_cast<unsigned char>(field[i])); ++i)
        value = value * 10 + (field[i] - '0');
    return negative ? -value : value;
}

// Replaces a fixed field with the same field of another record, all of its bytes.
template <size_t N>
void ReplaceField(char (&target)[N], const char (&source)[N]) {
    std::memcpy(target, source, N);
}

// Writes an identifier text over the 21-byte identifier field at the start of a record.
void WriteIdentifier(char* record, const std::string& identifier) {
    WriteField(record, kIdentifierWidth, identifier);
}

std::string FolderText(const QString& folder) { return WithSeparator(folder.toStdString()); }

// A name as the matching compares it: blanks (half and full width) removed, letter case
// folded.
QString NameKey(const QString& name) {
    QString key;
    key.reserve(name.size());
    for (QChar c : name)
        if (c != u' ' && c != u'\u3000' && c != u'\t') key.append(c);
    return key.toCaseFolded();
}

// The bytes of a patient record after its identifier: two records with the same bytes are
// one patient copied under two identifiers.
std::string PatientContent(const tagPATIENT1DB& record) {
    const char* bytes = reinterpret_cast<const char*>(&record);
    return std::string(bytes + kIdentifierWidth, sizeof record - kIdentifierWidth);
}

// The media folders a record's files move between.
struct SMediaFolders {
    std::string m_xyloImage, m_destImage;
    std::string m_xyloReport, m_destReport;
    std::string m_xyloSlideshow, m_destSlideshow;
};

SMediaFolders MediaFoldersOf(const SMergeFolders& folders) {
    return {FolderText(folders.m_xyloImage),     FolderText(folders.m_destImage),
            FolderText(folders.m_xyloReport),    FolderText(folders.m_destReport),
            FolderText(folders.m_xyloSlideshow), FolderText(folders.m_destSlideshow)};
}

// Where the source table's reading of a patient's records starts.
enum class ESourceStart {
    Seek,         // look the patient's first record up
    MayContinue,  // the source stands where the patient before (in key order) ended
};

// Reads one patient's records of a table in key order. With MayContinue, a source already
// standing on one of the patient's records is read from there: patients taken in identifier
// order then need no lookup, since the record that ended one patient's records is the first
// of the next. False when the table could not be read to the patient's end.
bool ReadSourceRecords(CBtrTable& source, const std::string& sourceId, ESourceStart start,
                       std::vector<std::string>* records) {
    records->clear();
    int status = recman::kOk;
    if (start == ESourceStart::MayContinue && source.IsEOF()) {
        // Nothing follows the patient before, so this one has no records either (a table
        // no patient uses is then looked into once, not once per patient).
        return true;
    }
    if (start == ESourceStart::Seek || source.LastStatus() != recman::kOk ||
        !source.IsOfPatient(sourceId.c_str())) {
        status = source.FirstOfPatient(sourceId.c_str());
    }
    while (status == recman::kOk && !source.IsEOF() && source.IsOfPatient(sourceId.c_str())) {
        records->emplace_back(source.Data(), source.DataLength());
        status = source.GetNext();
    }
    return status == recman::kOk || status == recman::kEndOfFile;
}

// Opens a table of the catalogue in a folder; nullptr after the wrapper's report.
std::unique_ptr<CBtrTable> OpenTable(const std::string& table, const std::string& folder) {
    auto opened = MakeBtrTable(table, folder);
    if (!opened || opened->Open() != 0) return nullptr;
    return opened;
}

// The numbers one Xylo patient's records took in the destination where they differ from
// their own, so that references between the patient's records follow them. Numbers not
// renumbered map to themselves.
struct SPatientNumbers {
    CNumberMap m_photos;
    std::map<std::string, CNumberMap> m_analyses;  // by analysis table

    static std::string Through(const CNumberMap& map, const std::string& number) {
        std::string mapped = map.NewNumberOf(number);
        return mapped.empty() ? number : mapped;
    }
};

// Record numbers of destination patients that records of this run were stored under or
// recognised as, per table and patient. A destination record equal to a Xylo record counts
// as that record merged by an earlier run only when no record of this run claimed it: two
// Xylo patients merged into one destination patient may hold equal records, each its own.
class CNumberClaims {
public:
    static std::string Key(const std::string& table, const std::string& destId,
                           const std::string& number) {
        return table + '/' + destId + '/' + number;
    }
    bool Claimed(const std::string& key) const { return m_claimed.contains(key); }
    // Claims; the key is also noted in `added` (when given) so a failed batch can take it back.
    void Claim(const std::string& key, std::vector<std::string>* added) {
        if (m_claimed.insert(key).second && added) added->push_back(key);
    }
    void Release(const std::vector<std::string>& keys) {
        for (const std::string& key : keys) m_claimed.erase(key);
    }

private:
    std::unordered_set<std::string> m_claimed;
};

// One patient's records of one table on their way into the destination.
struct SPatientCopy {
    std::string m_sourceId;
    std::string m_destId;
    // The destination patient existed before this patient's merge (matched, or added by an
    // earlier run): its records may collide with the Xylo ones.
    bool m_shared = false;
    SPatientNumbers* m_numbers = nullptr;
    QString m_patientId;  // for the report
    QString m_name;
};

// How one record was stored.
enum class EStore {
    Inserted,      // stored under the number it was offered
    AlreadyThere,  // the destination holds exactly this record, from an earlier run
    Taken,         // the key is the destination's, with other contents
    Error,         // reported by the wrapper
};

// Copies the records of patients, one table at a time, from the Xylo table into the
// destination table: identifiers replaced, numbers taken already replaced by free ones,
// references renumbered, files following their records.
class CTableCopier {
public:
    CTableCopier(CBtrTable& source, CBtrTable& dest, const SNumberingRules& rules,
                 const SMediaFolders* media, CNumberClaims& claims,
                 std::vector<std::string>* claimedHere, SMergeReport& report)
        : m_source(source),
          m_dest(dest),
          m_rules(rules),
          m_media(media),
          m_claims(claims),
          m_claimedHere(claimedHere),
          m_report(report) {}

    // False when a record could not be read or written, or a file that exists could not be
    // copied (FailedFile() names it).
    bool CopyPatient(const SPatientCopy& patient, ESourceStart start);
    const std::string& FailedFile() const { return m_failedFile; }

private:
    bool CopyNumbered(const SPatientCopy& patient, const std::string& record);
    bool CopyCompanion(const SPatientCopy& patient, const std::string& oldNumber,
                       const std::string& newNumber);
    bool CopyAsKeyed(const SPatientCopy& patient, std::string candidate);
    std::string Candidate(const SPatientCopy& patient, const std::string& record) const;
    EStore Store(const SPatientCopy& patient, const std::string& candidate);
    bool StoredEquals(const std::string& candidate);
    std::string FindEarlierCopy(const SPatientCopy& patient, const std::string& candidate);
    std::string NextFreeNumber(const SPatientCopy& patient);
    void SetNumber(std::string& record, const std::string& number) const;
    bool CopyFiles(const SPatientCopy& patient, const std::string& record,
                   const std::string& oldNumber, const std::string& newNumber, EStore how);
    void Claim(const SPatientCopy& patient, const std::string& number);
    bool Claimed(const SPatientCopy& patient, const std::string& number) const;
    void NoteKept(const SPatientCopy& patient);

    CBtrTable& m_source;
    CBtrTable& m_dest;
    const SNumberingRules& m_rules;
    const SMediaFolders* m_media;
    CNumberClaims& m_claims;
    std::vector<std::string>* m_claimedHere;
    SMergeReport& m_report;
    std::vector<std::string> m_records;  // the patient's records in the Xylo table
    long long m_next = 0;                // the patient's next free number, once needed
    std::string m_failedFile;
};

bool CTableCopier::CopyPatient(const SPatientCopy& patient, ESourceStart start) {
    m_failedFile.clear();
    m_next = 0;
    if (!ReadSourceRecords(m_source, patient.m_sourceId, start, &m_records)) return false;
    for (const std::string& record : m_records) {
        const std::string number = RecordNumber(record);
        bool copied = true;
        if (m_rules.m_kind == ENumbering::Numbered && !IsCompanionNumber(number)) {
            copied = CopyNumbered(patient, record);
        } else if (m_rules.m_kind == ENumbering::Numbered && m_rules.m_photoSet) {
            // A companion goes with its base record; one without a base goes alone.
            const auto base =
                std::find_if(m_records.begin(), m_records.end(), [&](const std::string& other) {
                    return CompanionNumber(RecordNumber(other)) == number &&
                           !IsCompanionNumber(RecordNumber(other));
                });
            if (base == m_records.end()) copied = CopyAsKeyed(patient, Candidate(patient, record));
        } else {
            copied = CopyAsKeyed(patient, Candidate(patient, record));
        }
        if (!copied) return false;
    }
    return true;
}

// The record as the destination patient gets it before any renumbering of its own: the
// destination identifier, its analysis number (dependent tables) and its references through
// the patient's maps.
std::string CTableCopier::Candidate(const SPatientCopy& patient, const std::string& record) const {
    std::string candidate = record;
    WriteIdentifier(candidate.data(), patient.m_destId);
    if (!patient.m_numbers) return candidate;
    const SPatientNumbers& numbers = *patient.m_numbers;
    if (m_rules.m_kind == ENumbering::Dependent && m_rules.m_analysisTable) {
        const auto map = numbers.m_analyses.find(m_rules.m_analysisTable);
        if (map != numbers.m_analyses.end())
            WriteField(candidate.data() + kNumberOffset, kNumberWidth,
                       SPatientNumbers::Through(map->second, RecordNumber(record)));
    }
    MapReferences(candidate, m_rules.m_photoRefs, numbers.m_photos, EUnmapped::Keep);
    if (m_rules.m_referencedAnalysis) {
        const auto map = numbers.m_analyses.find(m_rules.m_referencedAnalysis);
        if (map != numbers.m_analyses.end())
            MapReferences(candidate, m_rules.m_analysisRefs, map->second, EUnmapped::Keep);
    }
    return candidate;
}

bool CTableCopier::CopyNumbered(const SPatientCopy& patient, const std::string& record) {
    const std::string oldNumber = RecordNumber(record);
    std::string candidate = Candidate(patient, record);
    std::string number = oldNumber;
    EStore stored = Store(patient, candidate);
    if (stored == EStore::Error) return false;
    if (stored == EStore::Taken) {
        number = patient.m_shared ? FindEarlierCopy(patient, candidate) : std::string();
        if (!number.empty()) {
            stored = EStore::AlreadyThere;
        } else {
            number = NextFreeNumber(patient);
            if (number.empty()) return false;
            SetNumber(candidate, number);
            std::memcpy(m_dest.Data(), candidate.data(), candidate.size());
            if (m_dest.Insert() != recman::kOk) return false;
            Claim(patient, number);
            stored = EStore::Inserted;
            ++m_report.m_renumbered[m_rules.m_file];
        }
    }
    if (number != oldNumber && patient.m_numbers) {
        if (m_rules.m_photos) patient.m_numbers->m_photos.Add(number, oldNumber);
        if (m_rules.m_analysis)
            patient.m_numbers->m_analyses[m_rules.m_file].Add(number, oldNumber);
    }
    if (!CopyFiles(patient, record, oldNumber, number, stored)) return false;
    return !m_rules.m_photoSet || CopyCompanion(patient, oldNumber, number);
}

// The companion of a photo set takes the companion number of its base record's number.
bool CTableCopier::CopyCompanion(const SPatientCopy& patient, const std::string& oldNumber,
                                 const std::string& newNumber) {
    const std::string oldCompanion = CompanionNumber(oldNumber);
    const auto companion = std::find_if(
        m_records.begin(), m_records.end(),
        [&](const std::string& record) { return RecordNumber(record) == oldCompanion; });
    if (companion == m_records.end()) return true;
    std::string candidate = Candidate(patient, *companion);
    const std::string newCompanion = CompanionNumber(newNumber);
    WriteField(candidate.data() + kNumberOffset, kNumberWidth, newCompanion);
    if (newCompanion != oldCompanion && patient.m_numbers)
        patient.m_numbers->m_analyses[m_rules.m_file].Add(newCompanion, oldCompanion);
    return CopyAsKeyed(patient, std::move(candidate));
}

// A record that keeps its key: stored, or already there; one whose key the destination holds
// with other contents cannot be renumbered, and the destination's record stays (reported).
bool CTableCopier::CopyAsKeyed(const SPatientCopy& patient, std::string candidate) {
    const std::string number = RecordNumber(candidate);
    switch (const EStore stored = Store(patient, candidate)) {
        case EStore::Inserted:
        case EStore::AlreadyThere:
            return CopyFiles(patient, candidate, number, number, stored);
        case EStore::Taken:
            NoteKept(patient);
            return true;
        case EStore::Error:
            break;
    }
    return false;
}

EStore CTableCopier::Store(const SPatientCopy& patient, const std::string& candidate) {
    const std::string number = RecordNumber(candidate);
    std::memcpy(m_dest.Data(), candidate.data(), candidate.size());
    const int inserted = m_dest.Insert();
    if (inserted == recman::kOk) {
        Claim(patient, number);
        return EStore::Inserted;
    }
    if (inserted != recman::kDuplicateKey) return EStore::Error;
    if (StoredEquals(candidate) && !Claimed(patient, number)) {
        Claim(patient, number);
        return EStore::AlreadyThere;
    }
    return EStore::Taken;
}

// True when the destination record under the candidate's key is the candidate itself. The
// keys of the per-patient tables are the leading bytes of their records.
bool CTableCopier::StoredEquals(const std::string& candidate) {
    m_dest.SetKeyNumber(0);
    m_dest.SetKey(candidate.data(), std::min<size_t>(m_dest.PrimaryKeyLength(), candidate.size()));
    if (m_dest.GetEqual() != recman::kOk) return false;
    return std::memcmp(m_dest.Data(), candidate.data(), candidate.size()) == 0;
}

// A record an earlier run stored under a new number: the destination patient's record, not
// claimed by this run, that equals the candidate but for its number (and its companion's).
std::string CTableCopier::FindEarlierCopy(const SPatientCopy& patient,
                                          const std::string& candidate) {
    std::string found;
    for (int status = m_dest.FirstOfPatient(patient.m_destId.c_str());
         status == recman::kOk && !m_dest.IsEOF() && m_dest.IsOfPatient(patient.m_destId.c_str());
         status = m_dest.GetNext()) {
        const std::string stored(m_dest.Data(), m_dest.DataLength());
        const std::string number = RecordNumber(stored);
        if (IsCompanionNumber(number) || Claimed(patient, number)) continue;
        std::string renumbered = candidate;
        SetNumber(renumbered, number);
        if (renumbered == stored) {
            found = number;
            break;
        }
    }
    if (!found.empty()) Claim(patient, found);
    return found;
}

// Above every number of the destination patient and of the Xylo patient's records, so that
// the records still to come keep their own numbers where they can.
std::string CTableCopier::NextFreeNumber(const SPatientCopy& patient) {
    long long next = HighestNumber(m_dest, patient.m_destId) + 1;
    for (const std::string& record : m_records) {
        const std::string number = RecordNumber(record);
        if (!IsCompanionNumber(number)) next = std::max(next, std::atoll(number.c_str()) + 1);
    }
    next = std::max(next, m_next);
    std::string number = FirstFreeNumber(m_dest, patient.m_destId, m_rules.m_photoSet, &next);
    m_next = next + 1;
    return number;
}

void CTableCopier::SetNumber(std::string& record, const std::string& number) const {
    WriteField(record.data() + kNumberOffset, kNumberWidth, number);
    if (m_rules.m_photoSet)
        WriteField(record.data() + offsetof(tagXYPHOTOEXDB, CompanionNo),
                   sizeof(tagXYPHOTOEXDB::CompanionNo), CompanionNumber(number));
}

// The files of a stored media record. A record this copy inserted gets its files over
// whatever is there; one an earlier, interrupted run stored gets the files it lacks.
bool CTableCopier::CopyFiles(const SPatientCopy& patient, const std::string& record,
                             const std::string& oldNumber, const std::string& newNumber,
                             EStore how) {
    if (!m_media) return true;
    SMediaMove move{{},
                    {},
                    patient.m_sourceId,
                    patient.m_destId,
                    oldNumber,
                    newNumber,
                    false,
                    how == EStore::Inserted ? EOverwrite::Replace : EOverwrite::Keep};
    SMediaCopy copied;
    if (m_rules.m_photos) {
        move.m_fromFolder = m_media->m_xyloImage;
        move.m_toFolder = m_media->m_destImage;
        copied =
            CopyPhotoFiles(move, static_cast<uint8_t>(record[offsetof(tagPHOTODB, MediaType)]));
    } else if (m_rules.m_reports) {
        move.m_fromFolder = m_media->m_xyloReport;
        move.m_toFolder = m_media->m_destReport;
        copied = CopyReportFile(move);
    } else if (m_rules.m_slideshows) {
        move.m_fromFolder = m_media->m_xyloSlideshow;
        move.m_toFolder = m_media->m_destSlideshow;
        copied = CopySlideshowFile(move);
    }
    if (copied.AllCopied()) return true;
    m_failedFile = copied.m_firstFailed;
    return false;
}

void CTableCopier::Claim(const SPatientCopy& patient, const std::string& number) {
    if (patient.m_shared && m_rules.m_kind == ENumbering::Numbered)
        m_claims.Claim(CNumberClaims::Key(m_rules.m_file, patient.m_destId, number), m_claimedHere);
}

bool CTableCopier::Claimed(const SPatientCopy& patient, const std::string& number) const {
    return patient.m_shared && m_rules.m_kind == ENumbering::Numbered &&
           m_claims.Claimed(CNumberClaims::Key(m_rules.m_file, patient.m_destId, number));
}

void CTableCopier::NoteKept(const SPatientCopy& patient) {
    m_report.m_keptDestination.push_back(
        QStringLiteral("[%1] %2 %3")
            .arg(patient.m_patientId, patient.m_name, QString::fromLatin1(m_rules.m_file)));
}

}  // namespace

CPatientMatcher::CPatientMatcher(EMatchMode mode, const std::vector<SPatientRow>& destinationRows)
    : m_mode(mode) {
    m_first.reserve(static_cast<qsizetype>(destinationRows.size()));
    for (const SPatientRow& row : destinationRows) {
        const QString key = MatchKey(row);
        if (!key.isEmpty() && !m_first.contains(key)) m_first.insert(key, row.m_identifier);
    }
}

QString CPatientMatcher::MatchKey(const SPatientRow& row) const {
    const QString id = row.m_patientId.toCaseFolded();
    const QString name = NameKey(row.m_name);
    switch (m_mode) {
        case EMatchMode::Id:
            return id;
        case EMatchMode::IdAndName:
            if (id.isEmpty() || name.isEmpty()) return {};
            return id + QChar(0x1F) + name;
        case EMatchMode::NameAndBirthDate: {
            const QByteArray birth = row.m_birthDate.trimmed().toLatin1();
            if (name.isEmpty() || FieldNumber(birth.constData(), size_t(birth.size())) == 0)
                return {};
            return name + QChar(0x1F) + row.m_birthDate.trimmed();
        }
    }
    return {};
}

long long CPatientMatcher::Find(const SPatientRow& xylo) const {
    const QString key = MatchKey(xylo);
    if (key.isEmpty()) return -1;
    return m_first.value(key, -1);
}

long long CPatientMatcher::NoteAdded(const SPatientRow& row, long long identifier) {
    const QString key = MatchKey(row);
    if (key.isEmpty()) return -1;
    if (const auto earlier = m_added.constFind(key); earlier != m_added.cend())
        return earlier.value();
    m_added.insert(key, identifier);
    m_addedOrder.push_back(key);
    return -1;
}

void CPatientMatcher::ForgetAddedSince(size_t count) {
    while (m_addedOrder.size() > count) {
        m_added.remove(m_addedOrder.back());
        m_addedOrder.pop_back();
    }
}

QString SMergeFailure::Describe() const {
    QString text = QStringLiteral("[%1] %2 のデータをマージできませんでした（%3）。\n")
                       .arg(m_patientId, m_name, QString::fromStdString(m_table));
    if (!m_file.isEmpty())
        text += QStringLiteral("ファイル「%1」をコピーできませんでした。\n").arg(m_file);
    return text + QStringLiteral(
                      "それまでのデータはマージ先に書き込まれています。"
                      "原因を取り除いてからもう一度マージすると、残りのデータが取り込まれます"
                      "（取り込み済みのデータは重複しません）。");
}

namespace {

// A message box shows a long list cut short: the first lines and how many more there are.
void ShortenList(QStringList* lines) {
    constexpr qsizetype kShownLines = 20;
    if (lines->size() <= kShownLines) return;
    const qsizetype more = lines->size() - kShownLines;
    lines->resize(kShownLines);
    *lines << QStringLiteral("  ほか%1件").arg(more);
}

}  // namespace

int SMergeReport::RenumberedCount() const {
    int count = 0;
    for (const auto& [table, renumbered] : m_renumbered) count += renumbered;
    return count;
}

QString SMergeReport::Describe() const {
    QStringList parts;
    if (const int renumbered = RenumberedCount(); renumbered > 0) {
        QStringList tables;
        for (const auto& [table, count] : m_renumbered)
            tables << QStringLiteral("%1 %2件").arg(QString::fromStdString(table)).arg(count);
        parts << QStringLiteral(
                     "マージ先の患者に同じ番号のデータがあったため、%1件のデータを空いている番号で"
                     "取り込みました（%2）。画像・報告書などのファイルと、データどうしの参照も"
                     "新しい番号に合わせてあります。")
                     .arg(renumbered)
                     .arg(tables.join(QStringLiteral("、")));
    }
    if (!m_keptDestination.empty()) {
        QStringList lines;
        for (const QString& line : m_keptDestination) lines << QStringLiteral("  ") + line;
        ShortenList(&lines);
        parts << QStringLiteral(
                     "次の%1件は、マージ先に同じキーの別のデータがあり番号を付け替えられないため、"
                     "マージ先のデータを残しました。Xyloのデータベースで内容を確かめてください。\n")
                         .arg(m_keptDestination.size()) +
                     lines.join(QChar(u'\n'));
    }
    if (!m_sameId.empty()) {
        QStringList lines;
        for (const SSameIdPair& pair : m_sameId)
            lines << QStringLiteral("  患者ID %1: 登録No. %2 と %3")
                         .arg(pair.m_patientId, QString::fromStdString(pair.m_first),
                              QString::fromStdString(pair.m_second));
        ShortenList(&lines);
        parts << QStringLiteral(
                     "Xyloに同じ患者IDの患者が複数あったため、別々の患者として取り込みました。"
                     "同じ人であれば「患者合成」でひとつにまとめてください。\n") +
                     lines.join(QChar(u'\n'));
    }
    return parts.join(QStringLiteral("\n\n"));
}

void SMergeReport::Add(const SMergeReport& other) {
    for (const auto& [table, count] : other.m_renumbered) m_renumbered[table] += count;
    m_keptDestination.insert(m_keptDestination.end(), other.m_keptDestination.begin(),
                             other.m_keptDestination.end());
    m_sameId.insert(m_sameId.end(), other.m_sameId.begin(), other.m_sameId.end());
}

const std::vector<std::string>& PatientTableOrder() {
    // Photos first and each analysis table before the tables that depend on it, so that a
    // renumbered photo or analysis is known before the records that refer to it are copied.
    static const std::vector<std::string> order = {
        "PHOTO.BTR",     "POINTLAT.BTR",     "CHEVRON.BTR",          "PILELAT.BTR",
        "SPPOINT.BTR",   "SURGERY.BTR",      "SURGERYTREATMENT.BTR", "MVTO.BTR",
        "POINTPA.BTR",   "PILEPA.BTR",       "SPPOINTP.BTR",         "POINTMO.BTR",
        "POINTMO2.BTR",  "MOEX.BTR",         "CASMAS.BTR",           "CVBA.BTR",
        "LAS.BTR",       "CASEREG.BTR",      "REPORT.BTR",           "SLIDESHOW.BTR",
        "XYPHOTOEX.BTR", "XYPHOTOEXIMG.BTR", "XYPHOTOEXTEXT.BTR",
    };
    return order;
}

bool CopyPatientTable(const std::string& table, const SMergeFolders& folders,
                      const std::string& destId, const std::string& sourceId) {
    auto source = OpenTable(table, FolderText(folders.m_xyloDatabase));
    if (!source) return false;
    auto dest = OpenTable(table, FolderText(folders.m_destDatabase));
    if (!dest) return false;
    // Each record keeps its key: records are taken over where the destination has none.
    SNumberingRules keyed;
    keyed.m_file = table.c_str();
    keyed.m_kind = ENumbering::Keyed;
    const SMediaFolders media = MediaFoldersOf(folders);
    if (const SNumberingRules* rules = NumberingRulesOf(table)) {
        keyed.m_photos = rules->m_photos;
        keyed.m_reports = rules->m_reports;
        keyed.m_slideshows = rules->m_slideshows;
    }
    CNumberClaims claims;
    SMergeReport report;
    CTableCopier copier(*source, *dest, keyed, &media, claims, nullptr, report);
    SPatientCopy patient;
    patient.m_sourceId = sourceId;
    patient.m_destId = destId;
    CRecordTransaction transaction;
    copier.CopyPatient(patient, ESourceStart::Seek);
    transaction.CommitOrReport(*dest);
    return true;
}

// The state of a run: folders, options, the matcher and the four patient files, open for
// the whole run.
struct CPatientMerger::SState {
    SState(const SMergeFolders& folders, const SMergeOptions& options,
           const std::vector<SPatientRow>& destinationRows, IMergeProgress& progress)
        : m_xyloDatabase(FolderText(folders.m_xyloDatabase)),
          m_destDatabase(FolderText(folders.m_destDatabase)),
          m_media(MediaFoldersOf(folders)),
          m_options(options),
          m_matcher(options.m_match, destinationRows),
          m_progress(progress) {}

    bool AddNewPatient(const tagPATIENT1DB& xylo, SBatchEntry& entry, std::string* failedTable);
    bool FindEarlierCopy(const tagPATIENT1DB& xylo, SBatchEntry& entry);
    std::vector<std::string> PatientsWithContent(const tagPATIENT1DB& xylo);
    bool ApplyPriorities(const tagPATIENT1DB& xylo, const std::string& destId);
    bool MergePatientRecords(SBatchEntry& entry, std::string* failedTable);

    std::string m_xyloDatabase;
    std::string m_destDatabase;
    SMediaFolders m_media;
    SMergeOptions m_options;
    CPatientMatcher m_matcher;
    IMergeProgress& m_progress;
    std::unique_ptr<CPatient1Table> m_xyloPatient1;
    std::unique_ptr<CPatient1Table> m_destPatient1;
    std::unique_ptr<CPatient2Table> m_xyloPatient2;
    std::unique_ptr<CPatient2Table> m_destPatient2;
    std::unordered_set<std::string> m_claimedByThisRun;  // identifiers added or found
    CNumberClaims m_numberClaims;
    // The destination's patients without a name, by their content: built once when first
    // needed, as nameless patients cannot be looked up by name.
    std::unordered_multimap<std::string, std::string> m_nameless;
    bool m_namelessRead = false;
};

// A patient of a batch: its Xylo list row and both identifiers once known.
struct CPatientMerger::SBatchEntry {
    int m_row = 0;
    const SPatientRow* m_xylo = nullptr;
    std::string m_sourceId;
    std::string m_destId;
    bool m_shared = false;   // the destination patient existed before this merge of it
    bool m_claimed = false;  // m_destId was claimed by this batch
    SPatientNumbers m_numbers;
};

// What a batch added to the run's state, taken back when the batch is merged again.
struct CPatientMerger::SBatchUndo {
    size_t m_addedBefore = 0;
    std::vector<std::string> m_numberClaims;
    SMergeReport m_report;  // of the tables stored so far
    bool m_patientsStored = false;
};

bool CPatientMerger::SState::AddNewPatient(const tagPATIENT1DB& xylo, SBatchEntry& entry,
                                           std::string* failedTable) {
    *failedTable = kPatient1File;
    tagPATIENT1DB patient1 = xylo;
    // A patient without a second record gets an empty one, so the pair stays whole.
    m_xyloPatient2->GetPatientData(entry.m_sourceId.c_str());
    tagPATIENT2DB patient2 = m_xyloPatient2->Rec();

    entry.m_destId = m_destPatient1->NextPatientID();
    WriteIdentifier(patient1.PatientID, entry.m_destId);
    WriteIdentifier(patient2.PatientID, entry.m_destId);
    m_destPatient1->Rec() = patient1;
    if (m_destPatient1->Insert() != recman::kOk) return false;
    *failedTable = kPatient2File;
    m_destPatient2->Rec() = patient2;
    if (m_destPatient2->Insert() != recman::kOk) return false;
    entry.m_claimed = m_claimedByThisRun.insert(entry.m_destId).second;
    // Found again, should its batch be merged once more.
    if (m_namelessRead && patient1.Name[0] == '\0')
        m_nameless.emplace(PatientContent(patient1), entry.m_destId);
    return true;
}

// Destination patients whose record is the Xylo record itself under another identifier,
// in identifier order.
std::vector<std::string> CPatientMerger::SState::PatientsWithContent(const tagPATIENT1DB& xylo) {
    const std::string content = PatientContent(xylo);
    std::vector<std::string> found;
    CPatient1Table& dest = *m_destPatient1;
    if (xylo.Name[0] == '\0') {
        if (!m_namelessRead) {
            m_namelessRead = true;
            dest.SetKeyNumber(1);  // by name: the nameless come first
            dest.SetKey("", 0);
            for (int status = dest.GetGreaterOrEqual();
                 status == recman::kOk && !dest.IsEOF() && dest.Rec().Name[0] == '\0';
                 status = dest.GetNext()) {
                m_nameless.emplace(PatientContent(dest.Rec()),
                                   ReadField(dest.Rec().PatientID, kIdentifierWidth));
            }
            dest.SetKeyNumber(0);
        }
        const auto [first, last] = m_nameless.equal_range(content);
        for (auto it = first; it != last; ++it) found.push_back(it->second);
    } else {
        dest.SetKeyNumber(1);  // by name
        dest.SetKey(xylo.Name, sizeof xylo.Name);
        for (int status = dest.GetEqual();
             status == recman::kOk && !dest.IsEOF() &&
             std::strncmp(dest.Rec().Name, xylo.Name, sizeof xylo.Name) == 0;
             status = dest.GetNext()) {
            if (PatientContent(dest.Rec()) == content)
                found.push_back(ReadField(dest.Rec().PatientID, kIdentifierWidth));
        }
        dest.SetKeyNumber(0);
    }
    std::sort(found.begin(), found.end());
    return found;
}

// A patient may have been added by an earlier run that stopped before its end: its record
// is then the Xylo record itself under another identifier. Finding it keeps a second run from
// adding the patient twice or merging it into another patient with the same ID. Patients this
// run added or found already are not candidates, so two Xylo patients with the same data stay
// two.
bool CPatientMerger::SState::FindEarlierCopy(const tagPATIENT1DB& xylo, SBatchEntry& entry) {
    for (const std::string& id : PatientsWithContent(xylo)) {
        if (m_claimedByThisRun.contains(id)) continue;
        entry.m_destId = id;
        entry.m_claimed = m_claimedByThisRun.insert(id).second;
        return true;
    }
    return false;
}

bool CPatientMerger::SState::ApplyPriorities(const tagPATIENT1DB& xylo, const std::string& destId) {
    if (m_destPatient1->GetPatientData(destId.c_str()) != recman::kOk) return true;
    tagPATIENT1DB& dest = m_destPatient1->Rec();
    bool changed = false;
    if (m_options.m_birthDateFromXylo && FieldNumber(xylo.BirthDate, sizeof xylo.BirthDate) != 0) {
        ReplaceField(dest.BirthDate, xylo.BirthDate);
        changed = true;
    }
    if (m_options.m_commentFromXylo) {
        ReplaceField(dest.Comment, xylo.Comment);
        changed = true;
    }
    if (m_options.m_guardianFromXylo) {
        ReplaceField(dest.GuardianName, xylo.GuardianName);
        ReplaceField(dest.GuardianKana, xylo.GuardianKana);
        changed = true;
    }
    return !changed || m_destPatient1->Update() == recman::kOk;
}

// Finds or makes the destination patient of a batch entry: the copy an earlier run made,
// else the matched patient (with the priority options), else a new patient.
bool CPatientMerger::SState::MergePatientRecords(SBatchEntry& entry, std::string* failedTable) {
    *failedTable = kPatient1File;
    const long long match = m_matcher.Find(*entry.m_xylo);
    if (m_xyloPatient1->GetPatientData(entry.m_sourceId.c_str()) != recman::kOk) {
        // A listed patient the Xylo file lacks: a matched one is left as it is, as before;
        // a new one cannot be added.
        if (match < 0) return false;
        entry.m_destId = Id10(match);
        entry.m_shared = true;
        return true;
    }
    const tagPATIENT1DB xylo = m_xyloPatient1->Rec();
    if (FindEarlierCopy(xylo, entry)) {
        entry.m_shared = true;
        return true;
    }
    if (match >= 0) {
        entry.m_destId = Id10(match);
        entry.m_shared = true;
        const bool anyPriority = m_options.m_birthDateFromXylo || m_options.m_commentFromXylo ||
                                 m_options.m_guardianFromXylo;
        return !anyPriority || ApplyPriorities(xylo, entry.m_destId);
    }
    return AddNewPatient(xylo, entry, failedTable);
}

CPatientMerger::CPatientMerger(const SMergeFolders& folders, const SMergeOptions& options,
                               const std::vector<SPatientRow>& destinationRows,
                               IMergeProgress& progress, QWidget* parent)
    : m_state(std::make_unique<SState>(folders, options, destinationRows, progress)) {
    (void)parent;  // the wrapper reports to the window set with CBtrTable::SetReportParent
}

CPatientMerger::~CPatientMerger() = default;

bool CPatientMerger::Open() {
    SState& s = *m_state;
    m_failure = {};
    const auto failed = [this](const char* table) {
        m_failure.m_table = table;
        return false;
    };
    s.m_xyloPatient1 = std::make_unique<CPatient1Table>(s.m_xyloDatabase);
    if (s.m_xyloPatient1->Open() != 0) return failed(kPatient1File);
    s.m_destPatient1 = std::make_unique<CPatient1Table>(s.m_destDatabase);
    if (s.m_destPatient1->Open() != 0) return failed(kPatient1File);
    s.m_xyloPatient2 = std::make_unique<CPatient2Table>(s.m_xyloDatabase);
    if (s.m_xyloPatient2->Open() != 0) return failed(kPatient2File);
    s.m_destPatient2 = std::make_unique<CPatient2Table>(s.m_destDatabase);
    if (s.m_destPatient2->Open() != 0) return failed(kPatient2File);
    return true;
}

bool CPatientMerger::MergePatient(int row, const SPatientRow& xyloRow) {
    std::vector<SBatchEntry> batch(1);
    batch[0].m_row = row;
    batch[0].m_xylo = &xyloRow;
    return MergeBatch(batch) == EBatchEnd::Merged;
}

bool CPatientMerger::MergePatients(const std::vector<SPatientRow>& xyloRows,
                                   const std::vector<int>& rows) {
    std::vector<SBatchEntry> batch;
    size_t batchSize = kFirstBatchPatients;
    for (size_t next = 0; next < rows.size();
         batchSize = std::min(batchSize * 4, kLargestBatchPatients)) {
        batch.clear();
        for (; next < rows.size() && batch.size() < batchSize; ++next) {
            const int row = rows[next];
            if (row < 0 || size_t(row) >= xyloRows.size()) continue;
            batch.emplace_back();
            batch.back().m_row = row;
            batch.back().m_xylo = &xyloRows[size_t(row)];
        }
        if (batch.empty()) continue;
        const int stepsBefore = m_state->m_progress.StepsDone();
        const EBatchEnd end = MergeBatch(batch);
        if (end == EBatchEnd::Failed) return false;
        if (end == EBatchEnd::CommitFailed) {
            if (batch.size() == 1) return false;
            m_state->m_progress.RewindSteps(stepsBefore);
            // A write that could not be stored names no patient: merged again one by one,
            // the batch stops at the patient whose own write fails.
            for (const SBatchEntry& entry : batch)
                if (!MergePatient(entry.m_row, *entry.m_xylo)) return false;
        }
    }
    return true;
}

// Takes back what a failed batch added to the run's state, so that merging its patients
// again finds them where the failed attempt left them.
void CPatientMerger::ForgetBatch(const std::vector<SBatchEntry>& batch, const SBatchUndo& undo) {
    SState& s = *m_state;
    for (const SBatchEntry& entry : batch)
        if (entry.m_claimed) s.m_claimedByThisRun.erase(entry.m_destId);
    s.m_numberClaims.Release(undo.m_numberClaims);
    // Patients whose addition was stored are found again as what this run added.
    if (!undo.m_patientsStored) s.m_matcher.ForgetAddedSince(undo.m_addedBefore);
}

CPatientMerger::EBatchEnd CPatientMerger::MergeBatch(std::vector<SBatchEntry>& batch) {
    m_failure = {};
    m_commitFailed = false;
    SBatchUndo undo;
    undo.m_addedBefore = m_state->m_matcher.AddedCount();
    const bool merged = MergePatientsOfBatch(batch, undo) && CopyTablesOfBatch(batch, undo);
    // What was stored stays reported, whatever became of the batch.
    m_report.Add(undo.m_report);
    if (merged) {
        for (const SBatchEntry& entry : batch)
            m_state->m_progress.MarkXyloRow(entry.m_row, ERowMark::Success);
        m_state->m_progress.ProcessPendingEvents();
        return EBatchEnd::Merged;
    }
    if (!m_commitFailed) return EBatchEnd::Failed;
    ForgetBatch(batch, undo);
    return EBatchEnd::CommitFailed;
}

// The patient records of the whole batch go in together or not at all.
bool CPatientMerger::MergePatientsOfBatch(std::vector<SBatchEntry>& batch, SBatchUndo& undo) {
    SState& s = *m_state;
    size_t marked = 0;
    // The patient that failed gets the failure mark; the others of the batch, whose merge
    // is not complete, lose their importing mark.
    const auto fail = [&](size_t failed, const std::string& table) {
        for (size_t i = 0; i < marked; ++i)
            if (i != failed) s.m_progress.MarkXyloRow(batch[i].m_row, ERowMark::None);
        s.m_progress.MarkXyloRow(batch[failed].m_row, ERowMark::Failure);
        m_failure = {batch[failed].m_xylo->m_patientId, batch[failed].m_xylo->m_name, table, {}};
        return false;
    };
    std::vector<SMergeReport::SSameIdPair> sameId;
    {
        CRecordTransaction transaction;
        for (size_t i = 0; i < batch.size(); ++i) {
            SBatchEntry& entry = batch[i];
            s.m_progress.MarkXyloRow(entry.m_row, ERowMark::Importing);
            ++marked;
            s.m_progress.SetStatus(QStringLiteral("[%1] %2 のデータをマージしています...")
                                       .arg(entry.m_xylo->m_patientId, entry.m_xylo->m_name));
            s.m_progress.AdvanceStep();
            if (!s.m_destPatient1 || !s.m_destPatient2) return fail(i, kPatient1File);
            entry.m_sourceId = Id10(entry.m_xylo->m_identifier);
            std::string failedTable;
            if (!s.MergePatientRecords(entry, &failedTable)) return fail(i, failedTable);
            if (entry.m_shared) continue;
            const long long earlier = s.m_matcher.NoteAdded(
                *entry.m_xylo, FieldNumber(entry.m_destId.c_str(), entry.m_destId.size()));
            if (earlier >= 0)
                sameId.push_back({entry.m_xylo->m_patientId, Id10(earlier), entry.m_destId});
        }
        if (!transaction.Commit()) {
            m_commitFailed = true;
            return fail(0, kPatient1File);
        }
    }
    undo.m_patientsStored = true;
    m_report.m_sameId.insert(m_report.m_sameId.end(), sameId.begin(), sameId.end());
    for (size_t i = 0; i < batch.size(); ++i) {
        const SMediaCopy main = CopyMainImage(s.m_media.m_xyloImage, batch[i].m_sourceId,
                                              s.m_media.m_destImage, batch[i].m_destId);
        if (!main.AllCopied()) {
            fail(i, kPatient1File);
            m_failure.m_file = QString::fromStdString(main.m_firstFailed);
            return false;
        }
    }
    return true;
}

// Then table by table, each table's records of the batch in one transaction, the patients
// in identifier order so that the source is read straight through.
bool CPatientMerger::CopyTablesOfBatch(std::vector<SBatchEntry>& batch, SBatchUndo& undo) {
    SState& s = *m_state;
    const auto fail = [&](size_t failed, const std::string& table) {
        for (size_t i = 0; i < batch.size(); ++i)
            if (i != failed) s.m_progress.MarkXyloRow(batch[i].m_row, ERowMark::None);
        s.m_progress.MarkXyloRow(batch[failed].m_row, ERowMark::Failure);
        m_failure = {batch[failed].m_xylo->m_patientId, batch[failed].m_xylo->m_name, table, {}};
        return false;
    };
    std::vector<size_t> byIdentifier(batch.size());
    std::iota(byIdentifier.begin(), byIdentifier.end(), size_t{0});
    std::sort(byIdentifier.begin(), byIdentifier.end(),
              [&](size_t a, size_t b) { return batch[a].m_sourceId < batch[b].m_sourceId; });
    for (const std::string& table : PatientTableOrder()) {
        const SNumberingRules* rules = NumberingRulesOf(table);
        auto source = rules ? OpenTable(table, s.m_xyloDatabase) : nullptr;
        auto dest = source ? OpenTable(table, s.m_destDatabase) : nullptr;
        if (!dest) {
            s.m_progress.AdvanceStep();
            return fail(0, table);
        }
        SMergeReport tableReport;
        CTableCopier copier(*source, *dest, *rules, &s.m_media, s.m_numberClaims,
                            &undo.m_numberClaims, tableReport);
        CRecordTransaction transaction;
        ESourceStart start = ESourceStart::Seek;
        for (const size_t i : byIdentifier) {
            s.m_progress.AdvanceStep();
            SBatchEntry& entry = batch[i];
            const SPatientCopy patient{
                entry.m_sourceId,          entry.m_destId,      entry.m_shared, &entry.m_numbers,
                entry.m_xylo->m_patientId, entry.m_xylo->m_name};
            const bool copied = copier.CopyPatient(patient, start);
            start = ESourceStart::MayContinue;
            if (!copied) {
                // What was copied is whole and stays; merging again completes the rest.
                if (transaction.Commit()) undo.m_report.Add(tableReport);
                fail(i, table);
                m_failure.m_file = QString::fromStdString(copier.FailedFile());
                return false;
            }
        }
        if (!transaction.Commit()) {
            m_commitFailed = true;
            return fail(0, table);
        }
        undo.m_report.Add(tableReport);
    }
    return true;
}

SSelectedMergeResult MergeSelectedPatients(const SSelectedMergeRequest& request,
                                           IMergeProgress& progress, QWidget* parent) {
    SSelectedMergeResult result;
    SMergeFolders folders = request.m_folders;
    if (!DestinationFoldersFilled(folders)) return result;
    AddTrailingSeparators(&folders);

    const EFolderClash clash = CheckFolderRules(folders, EFolderRuleSet::SelectedPatients);
    if (clash != EFolderClash::None) {
        ShowMergerMessage(parent, FolderClashMessage(clash, EFolderRuleSet::SelectedPatients),
                          EMergerIcon::Warning);
        result.m_refusedField = FolderClashField(clash);
        return result;
    }
    QString error;
    if (!CreateDestinationFolders(folders, &error)) {
        ShowMergerMessage(parent, error, EMergerIcon::Warning);
        return result;
    }
    if (request.m_xyloRows.empty()) {
        ShowMergerMessage(parent, QStringLiteral("患者が選択されていません！"),
                          EMergerIcon::Warning);
        return result;
    }

    progress.BeginSteps(kStepsPerPatient * static_cast<int>(request.m_selectedRows.size()));
    progress.SetStatus(QStringLiteral("Xyloデータをマージしています..."));
    result.m_ran = true;
    {
        CPatientMerger merger(folders, request.m_options, request.m_destinationRows, progress,
                              parent);
        if (!merger.Open()) {
            result.m_failed = true;
            result.m_failure = merger.LastFailure();
        } else {
            if (!merger.MergePatients(request.m_xyloRows, request.m_selectedRows)) {
                result.m_failed = true;
                result.m_failure = merger.LastFailure();
            }
            result.m_report = merger.Report();
        }
    }
    QString done = QStringLiteral("マージ終了しました。");
    if (result.m_failed) {
        if (result.m_failure.m_patientId.isEmpty() && result.m_failure.m_name.isEmpty())
            done += QStringLiteral("\n\n%1 を開けないため、患者をマージできませんでした。")
                        .arg(QString::fromStdString(result.m_failure.m_table));
        else
            done += QStringLiteral("\n\n") + result.m_failure.Describe();
    }
    if (const QString report = result.m_report.Describe(); !report.isEmpty())
        done += QStringLiteral("\n\n") + report;
    ShowMergerMessage(parent, done,
                      result.m_failed ? EMergerIcon::Warning : EMergerIcon::Information);
    return result;
}

}  // namespace unita
