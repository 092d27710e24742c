// The patient merge: matching, the patient records, the per-patient tables and the
// selected-patient command.
#include "merger/patientmerge.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <unordered_set>

#include "merger/btrtables.h"
#include "merger/mediafiles.h"
#include "merger/mergeprogress.h"
#include "merger/mergertext.h"
#include "merger/rmtransaction.h"
#include "recman/recman.h"

namespace unita {
namespace {

constexpr size_t kIdentifierWidth = sizeof(tagPATIENT1DB::PatientID);
static_assert(kIdentifierWidth == 21);

constexpr char kPatient1File[] = "PATIENT1.BTR";
constexpr char kPatient2File[] = "PATIENT2.BTR";
constexpr char kPhotoFile[] = "PHOTO.BTR";
constexpr char kReportFile[] = "REPORT.BTR";
constexpr char kSlideshowFile[] = "SLIDESHOW.BTR";

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
    std::memset(record, 0, kIdentifierWidth);
    std::memcpy(record, identifier.data(), std::min(identifier.size(), kIdentifierWidth - 1));
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

enum class EMediaKind { None, Photo, Report, Slideshow };

EMediaKind MediaKindOf(const std::string& table) {
    if (table == kPhotoFile) return EMediaKind::Photo;
    if (table == kReportFile) return EMediaKind::Report;
    if (table == kSlideshowFile) return EMediaKind::Slideshow;
    return EMediaKind::None;
}

// Copies the files of one inserted media record. `overwrite` is Replace for a record this
// copy inserted; Keep for a record an earlier, interrupted run had already inserted, so its
// files are completed without touching what is there.
void CopyRecordFiles(EMediaKind kind, const char* record, const SMediaFolders& media,
                     const std::string& destId, const std::string& sourceId, EOverwrite overwrite) {
    const std::string number(record + kIdentifierWidth,
                             strnlen(record + kIdentifierWidth, sizeof(tagPHOTODB::RecordNo)));
    if (kind == EMediaKind::Photo) {
        const auto& photo = *reinterpret_cast<const tagPHOTODB*>(record);
        if (overwrite == EOverwrite::Replace) {
            CopyPhotoFiles(
                {media.m_xyloImage, media.m_destImage, sourceId, destId, number, number, false},
                photo.MediaType);
            return;
        }
        const auto keepCopy = [&](int type) {
            CopyMediaFile(
                ImageFilePath(media.m_xyloImage, sourceId, number, EPathFor::Source, type),
                ImageFilePath(media.m_destImage, destId, number, EPathFor::Destination, type),
                EOverwrite::Keep);
        };
        if (photo.MediaType != kMediaStill) keepCopy(photo.MediaType);
        keepCopy(kMediaStill);
        return;
    }
    const bool report = kind == EMediaKind::Report;
    const std::string& fromFolder = report ? media.m_xyloReport : media.m_xyloSlideshow;
    const std::string& toFolder = report ? media.m_destReport : media.m_destSlideshow;
    if (overwrite == EOverwrite::Replace) {
        const SMediaMove move{fromFolder, toFolder, sourceId, destId, number, number, false};
        report ? CopyReportFile(move) : CopySlideshowFile(move);
        return;
    }
    const auto path = report ? ReportFilePath : SlideshowFilePath;
    CopyMediaFile(path(fromFolder, sourceId, number, EPathFor::Source),
                  path(toFolder, destId, number, EPathFor::Destination), EOverwrite::Keep);
}

// True when the destination already holds exactly `record` under its primary key: a record
// an earlier run inserted (the media tables' keys are the first 32 bytes of the record).
bool StoredRecordIs(CBtrTable& dest, const std::vector<char>& record) {
    dest.SetKeyNumber(0);
    dest.SetKey(record.data(), offsetof(tagPHOTODB, PhotoDate));
    if (dest.GetEqual() != recman::kOk) return false;
    return std::memcmp(dest.Data(), record.data(), record.size()) == 0;
}

// Where the source table's reading of a patient's records starts.
enum class ESourceStart {
    Seek,         // look the patient's first record up
    MayContinue,  // the source stands where the patient before (in key order) ended
};

// Copies one patient's records of a table between two open table objects of the same
// class. False when a record could not be read or written (duplicates are skipped).
// With MayContinue, a source already standing on one of the patient's records is read
// from there: patients taken in identifier order then need no lookup, since the record
// that ended one patient's records is the first of the next.
bool CopyPatientRecords(CBtrTable& source, CBtrTable& dest, const std::string& table,
                        const std::string& destId, const std::string& sourceId,
                        const SMediaFolders* media, ESourceStart start = ESourceStart::Seek) {
    const EMediaKind kind = media ? MediaKindOf(table) : EMediaKind::None;
    std::vector<char> record(source.DataLength());
    int status = recman::kOk;
    if (start == ESourceStart::MayContinue && source.IsEOF()) {
        // Nothing follows the patient before, so this one has no records either (a table
        // no patient uses is then looked into once, not once per patient).
        status = recman::kEndOfFile;
    } else if (start == ESourceStart::Seek || source.LastStatus() != recman::kOk ||
               !source.IsOfPatient(sourceId.c_str())) {
        status = source.FirstOfPatient(sourceId.c_str());
    }
    while (status == recman::kOk && !source.IsEOF() && source.IsOfPatient(sourceId.c_str())) {
        std::memcpy(record.data(), source.Data(), record.size());
        WriteIdentifier(record.data(), destId);
        std::memcpy(dest.Data(), record.data(), record.size());
        const int inserted = dest.Insert();
        if (inserted == recman::kOk) {
            if (kind != EMediaKind::None)
                CopyRecordFiles(kind, record.data(), *media, destId, sourceId, EOverwrite::Replace);
        } else if (inserted == recman::kDuplicateKey) {
            if (kind != EMediaKind::None && StoredRecordIs(dest, record))
                CopyRecordFiles(kind, record.data(), *media, destId, sourceId, EOverwrite::Keep);
        } else {
            return false;  // reported by the wrapper
        }
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

enum class ECopyResult { Copied, OpenFailed, CopyFailed };

// Opens `table` in both databases and copies the patient's records; the files are closed
// again at the end, as every step leaves them (the record manager keeps them at hand).
ECopyResult CopyTableOfPatient(const std::string& table, const std::string& xyloDatabase,
                               const std::string& destDatabase, const std::string& destId,
                               const std::string& sourceId, const SMediaFolders* media) {
    auto source = OpenTable(table, xyloDatabase);
    if (!source) return ECopyResult::OpenFailed;
    auto dest = OpenTable(table, destDatabase);
    if (!dest) return ECopyResult::OpenFailed;
    CRecordTransaction transaction;
    const bool copied = CopyPatientRecords(*source, *dest, table, destId, sourceId, media);
    return transaction.CommitOrReport(*dest) && copied ? ECopyResult::Copied
                                                       : ECopyResult::CopyFailed;
}

}  // namespace

CPatientMatcher::CPatientMatcher(EMatchMode mode, const std::vector<SPatientRow>& destinationRows)
    : m_mode(mode) {
    m_first.reserve(static_cast<qsizetype>(destinationRows.size()));
    for (const SPatientRow& row : destinationRows) Add(row, row.m_identifier);
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

void CPatientMatcher::Add(const SPatientRow& row, long long identifier) {
    const QString key = MatchKey(row);
    if (!key.isEmpty() && !m_first.contains(key)) m_first.insert(key, identifier);
}

QString SMergeFailure::Describe() const {
    return QStringLiteral(
               "[%1] %2 のデータをマージできませんでした（%3）。\n"
               "それまでのデータはマージ先に書き込まれています。"
               "原因を取り除いてからもう一度マージすると、残りのデータが取り込まれます"
               "（取り込み済みのデータは重複しません）。")
        .arg(m_patientId, m_name, QString::fromStdString(m_table));
}

const std::vector<std::string>& PatientTableOrder() {
    static const std::vector<std::string> order = {
        "CASMAS.BTR",
        "CHEVRON.BTR",
        "CVBA.BTR",
        "LAS.BTR",
        "MOEX.BTR",
        "MVTO.BTR",
        "CASEREG.BTR",
        "PILELAT.BTR",
        "PILEPA.BTR",
        "POINTLAT.BTR",
        "POINTPA.BTR",
        "POINTMO2.BTR",
        "POINTMO.BTR",
        "SPPOINT.BTR",
        "SPPOINTP.BTR",
        "SURGERY.BTR",
        "SURGERYTREATMENT.BTR",
        "XYPHOTOEX.BTR",
        "XYPHOTOEXIMG.BTR",
        "XYPHOTOEXTEXT.BTR",
        kPhotoFile,
        kReportFile,
        kSlideshowFile,
    };
    return order;
}

bool CopyPatientTable(const std::string& table, const SMergeFolders& folders,
                      const std::string& destId, const std::string& sourceId) {
    const SMediaFolders media = MediaFoldersOf(folders);
    return CopyTableOfPatient(table, FolderText(folders.m_xyloDatabase),
                              FolderText(folders.m_destDatabase), destId, sourceId,
                              &media) != ECopyResult::OpenFailed;
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

    bool MergePatientRecords(const std::string& sourceId, long long match, std::string* destId,
                             std::string* failedTable);
    bool AddNewPatient(const std::string& sourceId, std::string* destId, std::string* failedTable);
    bool FindEarlierCopy(const tagPATIENT1DB& xylo, std::string* destId);
    bool ApplyPriorities(const std::string& sourceId, const std::string& destId);

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
};

// A patient of a batch: its Xylo list row and both identifiers once known.
struct CPatientMerger::SBatchEntry {
    int m_row = 0;
    const SPatientRow* m_xylo = nullptr;
    std::string m_sourceId;
    std::string m_destId;
};

bool CPatientMerger::SState::AddNewPatient(const std::string& sourceId, std::string* destId,
                                           std::string* failedTable) {
    *failedTable = kPatient1File;
    if (m_xyloPatient1->GetPatientData(sourceId.c_str()) != recman::kOk) return false;
    tagPATIENT1DB patient1 = m_xyloPatient1->Rec();
    if (FindEarlierCopy(patient1, destId)) return true;
    // A patient without a second record gets an empty one, so the pair stays whole.
    m_xyloPatient2->GetPatientData(sourceId.c_str());
    tagPATIENT2DB patient2 = m_xyloPatient2->Rec();

    *destId = m_destPatient1->NextPatientID();
    WriteIdentifier(patient1.PatientID, *destId);
    WriteIdentifier(patient2.PatientID, *destId);
    m_destPatient1->Rec() = patient1;
    if (m_destPatient1->Insert() != recman::kOk) return false;
    *failedTable = kPatient2File;
    m_destPatient2->Rec() = patient2;
    if (m_destPatient2->Insert() != recman::kOk) return false;
    m_claimedByThisRun.insert(*destId);
    return true;
}

// A patient that nothing in the merge-data list matches (no patient ID, say) may have been
// added by an earlier run that stopped before its end: its record is then the Xylo record
// itself under another identifier. Finding it keeps a second run from adding the patient
// twice. Patients this run added or found already are not candidates, so two Xylo
// patients with the same data stay two.
bool CPatientMerger::SState::FindEarlierCopy(const tagPATIENT1DB& xylo, std::string* destId) {
    constexpr size_t kAfterIdentifier = sizeof xylo.PatientID;
    // Without a name there is nothing to look it up by (and a scan of every nameless
    // patient for each one would grow with the square of the lists).
    if (xylo.Name[0] == '\0') return false;
    CPatient1Table& dest = *m_destPatient1;
    dest.SetKeyNumber(1);  // by name
    dest.SetKey(xylo.Name, sizeof xylo.Name);
    bool found = false;
    for (int status = dest.GetEqual();
         status == recman::kOk && !dest.IsEOF() &&
         std::strncmp(dest.Rec().Name, xylo.Name, sizeof xylo.Name) == 0;
         status = dest.GetNext()) {
        const tagPATIENT1DB& candidate = dest.Rec();
        const std::string id(candidate.PatientID, strnlen(candidate.PatientID, kAfterIdentifier));
        if (std::memcmp(reinterpret_cast<const char*>(&candidate) + kAfterIdentifier,
                        reinterpret_cast<const char*>(&xylo) + kAfterIdentifier,
                        sizeof xylo - kAfterIdentifier) == 0 &&
            !m_claimedByThisRun.contains(id)) {
            *destId = id;
            m_claimedByThisRun.insert(id);
            found = true;
            break;
        }
    }
    dest.SetKeyNumber(0);
    return found;
}

bool CPatientMerger::SState::ApplyPriorities(const std::string& sourceId,
                                             const std::string& destId) {
    // A Xylo patient that cannot be read leaves the destination patient as it is.
    if (m_xyloPatient1->GetPatientData(sourceId.c_str()) != recman::kOk) return true;
    const tagPATIENT1DB xylo = m_xyloPatient1->Rec();
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

bool CPatientMerger::SState::MergePatientRecords(const std::string& sourceId, long long match,
                                                 std::string* destId, std::string* failedTable) {
    if (match < 0) return AddNewPatient(sourceId, destId, failedTable);
    *destId = Id10(match);
    *failedTable = kPatient1File;
    const bool anyPriority = m_options.m_birthDateFromXylo || m_options.m_commentFromXylo ||
                             m_options.m_guardianFromXylo;
    return !anyPriority || ApplyPriorities(sourceId, *destId);
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
    std::vector<SBatchEntry> batch{{row, &xyloRow, {}, {}}};
    return MergeBatch(batch);
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
            if (row >= 0 && size_t(row) < xyloRows.size())
                batch.push_back({row, &xyloRows[size_t(row)], {}, {}});
        }
        if (!batch.empty() && !MergeBatch(batch)) return false;
    }
    return true;
}

bool CPatientMerger::MergeBatch(std::vector<SBatchEntry>& batch) {
    SState& s = *m_state;
    m_failure = {};
    size_t marked = 0;
    // The patient that failed gets the failure mark; the others of the batch, whose merge
    // is not complete, lose their importing mark.
    const auto fail = [&](size_t failed, const std::string& table) {
        for (size_t i = 0; i < marked; ++i)
            if (i != failed) s.m_progress.MarkXyloRow(batch[i].m_row, ERowMark::None);
        s.m_progress.MarkXyloRow(batch[failed].m_row, ERowMark::Failure);
        m_failure = {batch[failed].m_xylo->m_patientId, batch[failed].m_xylo->m_name, table};
        return false;
    };

    // The patient records of the whole batch go in together or not at all.
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
            const long long match = s.m_matcher.Find(*entry.m_xylo);
            std::string failedTable;
            if (!s.MergePatientRecords(entry.m_sourceId, match, &entry.m_destId, &failedTable))
                return fail(i, failedTable);
            if (match < 0)
                s.m_matcher.Add(*entry.m_xylo,
                                FieldNumber(entry.m_destId.c_str(), entry.m_destId.size()));
        }
        if (!transaction.Commit()) return fail(0, kPatient1File);
    }
    for (const SBatchEntry& entry : batch)
        CopyMainImage(s.m_media.m_xyloImage, entry.m_sourceId, s.m_media.m_destImage,
                      entry.m_destId);

    // Then table by table, each table's records of the batch in one transaction, the
    // patients in identifier order so that the source is read straight through.
    std::vector<size_t> byIdentifier(batch.size());
    std::iota(byIdentifier.begin(), byIdentifier.end(), size_t{0});
    std::sort(byIdentifier.begin(), byIdentifier.end(),
              [&](size_t a, size_t b) { return batch[a].m_sourceId < batch[b].m_sourceId; });
    for (const std::string& table : PatientTableOrder()) {
        auto source = OpenTable(table, s.m_xyloDatabase);
        auto dest = source ? OpenTable(table, s.m_destDatabase) : nullptr;
        if (!dest) {
            s.m_progress.AdvanceStep();
            return fail(0, table);
        }
        CRecordTransaction transaction;
        ESourceStart start = ESourceStart::Seek;
        for (const size_t i : byIdentifier) {
            s.m_progress.AdvanceStep();
            const bool copied = CopyPatientRecords(*source, *dest, table, batch[i].m_destId,
                                                   batch[i].m_sourceId, &s.m_media, start);
            start = ESourceStart::MayContinue;
            if (!copied) {
                transaction.Commit();  // what was copied is whole and stays
                return fail(i, table);
            }
        }
        if (!transaction.Commit()) return fail(0, table);
    }
    for (const SBatchEntry& entry : batch) s.m_progress.MarkXyloRow(entry.m_row, ERowMark::Success);
    s.m_progress.ProcessPendingEvents();
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
    ShowMergerMessage(parent, done,
                      result.m_failed ? EMergerIcon::Warning : EMergerIcon::Information);
    return result;
}

}  // namespace unita
