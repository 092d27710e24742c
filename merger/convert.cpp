// Conversion of the old patient file, the empty database and the folder copy.
#include "merger/convert.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QString>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "merger/btrtables.h"
#include "merger/filecopy.h"
#include "merger/lhaarchive.h"
#include "merger/mergeprogress.h"
#include "merger/mergertext.h"
#include "merger/mergesettings.h"
#include "suite/text/cp932.h"
#include "suite/text/privatefiles.h"
#include "suite/text/suitefolders.h"
#include "suite/tool/messageservice.h"

namespace unita {
namespace {

namespace fs = std::filesystem;

// Inserts between two commits while a patient file is rebuilt: one commit per record
// would make the rebuild of a large practice take minutes.
constexpr int kInsertsPerCommit = 500;

// How many of the first `length` bytes of a code page 932 text fit into `room` bytes
// without splitting a double-byte character.
size_t FittingLength(const char* text, size_t length, size_t room) {
    if (length <= room) return length;
    size_t fits = 0;
    while (fits < room) {
        const size_t step = IsCp932LeadByte(static_cast<unsigned char>(text[fits])) ? 2 : 1;
        if (fits + step > room) break;
        fits += step;
    }
    return fits;
}

// Copies a text field (up to its terminator, or the whole field when it has none) into a
// zeroed field of toWidth bytes. A field as wide as the old one keeps the whole text, even
// one that fills it to the last byte (a 21-character ID in a 21-byte field); a narrower
// field keeps as much as it holds.
void CopyText(char* to, size_t toWidth, const char* from, size_t fromWidth) {
    std::memcpy(to, from, FittingLength(from, strnlen(from, fromWidth), toWidth));
}

#define UNITA_COPY_TEXT(to, from) CopyText(to, sizeof(to), from, sizeof(from))

void CopyDigits(char* to, size_t toWidth, const char* telephone, size_t width) {
    const std::string digits = TelephoneDigits(telephone, width);
    std::memcpy(to, digits.data(), std::min(digits.size(), toWidth));
}

std::string PatientKey(long number) {
    char key[32];
    std::snprintf(key, sizeof key, "%010ld", number);
    return key;
}

// Groups the writes of a rebuild into transactions of kInsertsPerCommit operations, unless
// the caller already holds a transaction (then its commit decides). Commit() is false when
// a commit failed, in which case the writes since the previous commit are lost.
class CBatchCommit {
public:
    CBatchCommit() : m_own(!recman::InTransaction()) {
        if (m_own) m_own = Call(recman::kOpBeginTransaction) == recman::kOk;
    }
    ~CBatchCommit() { Commit(); }
    CBatchCommit(const CBatchCommit&) = delete;
    CBatchCommit& operator=(const CBatchCommit&) = delete;

    void Count() {
        if (!m_own || ++m_count < kInsertsPerCommit) return;
        m_count = 0;
        if (Call(recman::kOpEndTransaction) != recman::kOk) m_failed = true;
        m_own = Call(recman::kOpBeginTransaction) == recman::kOk;
    }
    bool Commit() {
        if (m_own && Call(recman::kOpEndTransaction) != recman::kOk) m_failed = true;
        m_own = false;
        return !m_failed;
    }

private:
    static int Call(uint16_t operation) {
        unsigned char block[recman::kPositionBlockSize] = {};
        char key[recman::kMaxKeyLength] = {};
        uint32_t length = 0;
        return BTRCALL(operation, block, nullptr, &length, key, recman::kMaxKeyLength, 0);
    }

    bool m_own;
    bool m_failed = false;
    int m_count = 0;
};

// Empties the target patient file; false when a deletion or its commit failed.
bool DeleteEveryRecord(CBtrTable& table, IMergeProgress* announce) {
    int status = table.FirstRecord();
    if (status != 0 || table.IsEOF()) return status == 0 || status == recman::kEndOfFile;
    if (announce) announce->SetStatus(QStringLiteral("コンバート先のDBを削除しています..."));
    CBatchCommit batch;
    bool ok = true;
    while (status == 0 && !table.IsEOF()) {
        if (table.Delete() != 0) ok = false;
        batch.Count();
        status = table.GetNext();
    }
    if (status != 0 && status != recman::kEndOfFile) ok = false;
    return batch.Commit() && ok;
}

// The shared part of both conversions: empty the target, then convert every listed patient
// found in the old file. perRow receives the row number (from 1) of each converted row.
template <typename FRow>
SConvertResult Convert(const std::string& oldFolder, const std::string& targetFolder,
                       const std::vector<long>& patientNumbers, IMergeProgress* announceDelete,
                       FRow perRow) {
    SConvertResult result;
    CPatient1Table target(targetFolder);
    COldPatientTable old(oldFolder);
    if (target.Open() != 0 || old.Open() != 0) return result;
    result.m_opened = true;

    if (!DeleteEveryRecord(target, announceDelete)) return result;
    CBatchCommit batch;
    for (size_t i = 0; i < patientNumbers.size(); ++i) {
        const std::string id = PatientKey(patientNumbers[i]);
        if (old.GetPatientData(id.c_str()) != 0) {
            ++result.m_missing;
            continue;
        }
        perRow(int(i + 1));
        ConvertPatientRecord(old.Rec(), &target.Rec());
        if (target.Insert() == 0) {
            ++result.m_converted;
        } else {
            ++result.m_failed;
        }
        batch.Count();
    }
    const bool committed = batch.Commit();
    old.Close();
    target.Close();
    result.m_complete = committed;
    return result;
}

// Marks a completely converted database as the current format. Without the mark the
// database would still be read as the old format, so a failed write is shown and the
// conversion does not count as complete.
bool RecordConversion(const std::string& databaseFolder, SConvertResult* result) {
    if (!result->m_complete) return false;
    QString why;
    if (WriteCurrentDatabaseVersion(QString::fromStdString(databaseFolder), &why)) return true;
    result->m_complete = false;
    ShowMergerMessage(nullptr, QStringLiteral("設定ファイルを書き込めませんでした。\n") + why,
                      EMergerIcon::Warning);
    return false;
}

std::string& ProgramFolderSetting() {
    static std::string folder;
    return folder;
}

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::toupper(c)); });
    return text;
}

bool SkippedByMode(const std::string& upperName, ECopyMode mode, bool calyxNeedsConversion) {
    static const char* const kPatientFiles[] = {"PHOTO", "PATIENT.BTR", "PATIENT1.BTR",
                                                "PATIENT2.BTR"};
    static const char* const kMasterFiles[] = {"CASE.BTR", "CASEPA.BTR", "CONDITION.BTR",
                                               "DOCTOR.BTR", "CUSTOMTBL.BTR"};
    const auto in = [&](const auto& names) {
        return std::any_of(std::begin(names), std::end(names),
                           [&](const char* name) { return upperName == name; });
    };
    switch (mode) {
        case ECopyMode::CalyxUnconverted:
            return in(kPatientFiles) || in(kMasterFiles);
        case ECopyMode::CalyxDatabase:
            return calyxNeedsConversion && in(kPatientFiles);
        case ECopyMode::Images:
            return false;
    }
    return false;
}

// Lock files of the record manager of the products, the working files (and their
// journals) that the record manager keeps beside the tables of a process using the
// folder, and the shell's thumbnail cache.
bool SkippedFile(const std::string& upperName) {
    if (upperName == "~PVSW~.LOC" || upperName == "THUMBS.DB") return true;
    if (upperName.starts_with(".RECMAN-")) return true;
    return upperName.size() >= 5 && upperName.compare(upperName.size() - 4, 4, ".LCK") == 0;
}

enum class ECopyResult { Copied, Kept, Failed };

// A copy is written to ".NAME.copy" and six random characters beside its target, then
// renamed over it.
std::string TempPrefix(const std::string& name) { return "." + name + ".copy"; }

// The entries of a folder. A folder that is not there has nothing to copy; one that cannot
// be read is a failed copy (its files would be missing from the destination unnoticed), so
// false with *error set.
bool ListFolder(const std::string& folder, std::vector<fs::directory_entry>* entries, int* error) {
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) entries->push_back(*it);
    if (!ec || (entries->empty() && ec == std::errc::no_such_file_or_directory)) return true;
    *error = ec.value();
    return false;
}

// Removes what a copy killed before its rename left in destination: the temporary files of
// the source's file names, and nothing else.
void RemoveStaleCopies(const std::vector<fs::directory_entry>& sourceEntries,
                       const std::string& destination) {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : sourceEntries)
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    std::vector<fs::directory_entry> found;
    int error = 0;
    ListFolder(destination, &found, &error);
    for (const fs::directory_entry& item : found) {
        const std::string name = item.path().filename().string();
        const size_t suffix = std::strlen(".copy") + 6;
        if (name.size() < suffix + 2 || name[0] != '.') continue;
        const std::string original = name.substr(1, name.size() - suffix - 1);
        if (TempPrefix(original) + name.substr(name.size() - 6) != name) continue;
        if (!std::binary_search(names.begin(), names.end(), original)) continue;
        std::error_code removeError;
        if (item.is_regular_file(removeError)) fs::remove(item.path(), removeError);
    }
}

bool SourceIsNewer(const struct stat& source, const struct stat& target) {
    if (source.st_mtim.tv_sec != target.st_mtim.tv_sec)
        return source.st_mtim.tv_sec > target.st_mtim.tv_sec;
    return source.st_mtim.tv_nsec > target.st_mtim.tv_nsec;
}

// Copies one file through a temporary file in the target's folder, renamed into place, with
// the source's modification time and permission bits. An existing target is replaced only
// when the source is newer. *error gets errno on failure.
ECopyResult CopyOneFile(const std::string& source, const std::string& target, int* error) {
    struct stat from;
    if (::stat(source.c_str(), &from) != 0) {
        *error = errno;
        return ECopyResult::Failed;
    }
    struct stat existing;
    if (::stat(target.c_str(), &existing) == 0 && !SourceIsNewer(from, existing)) {
        return ECopyResult::Kept;
    }
    const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        *error = errno;
        return ECopyResult::Failed;
    }
    const fs::path targetPath(target);
    std::string temp =
        (targetPath.parent_path() / (TempPrefix(targetPath.filename().string()) + "XXXXXX"))
            .string();
    const int out = ::mkostemp(temp.data(), O_CLOEXEC);
    if (out < 0) {
        *error = errno;
        ::close(in);
        return ECopyResult::Failed;
    }
    bool ok = CopyFileContents(in, out);
    if (ok) {
        const struct timespec times[2] = {from.st_atim, from.st_mtim};
        // The copy is the clinic's file, closed to others whatever the source's mode was.
        ok = ::fchmod(out, privatefiles::FileMode()) == 0 && ::futimens(out, times) == 0 &&
             ::fsync(out) == 0;
    }
    if (!ok) *error = errno ? errno : EIO;
    ::close(in);
    if (::close(out) != 0 && ok) {
        ok = false;
        *error = errno;
    }
    if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
        ok = false;
        *error = errno;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return ECopyResult::Failed;
    }
    return ECopyResult::Copied;
}

void ShowCopyMessage(QWidget* parent, const std::string& path, const QString& why) {
    CMessageService::MessageBox(parent, QString::fromStdString(path) + QStringLiteral("\n\n") + why,
                                ProgramTitle(), CMessageService::EIcon::Critical);
}

void ShowCopyError(QWidget* parent, const std::string& path, int error) {
    ShowCopyMessage(parent, path, QString::fromLocal8Bit(std::strerror(error)));
}

// The system's path-not-found: the destination folder itself is not there, so no further
// file of this folder can be copied either.
bool DestinationFolderMissing(const std::string& destination, int error) {
    std::error_code ec;
    return (error == ENOENT || error == ENOTDIR) && !fs::is_directory(destination, ec);
}

// Whether `inner` is `outer` or lies below it, both as the file system names them.
bool WithinFolder(const fs::path& inner, const fs::path& outer) {
    return std::mismatch(outer.begin(), outer.end(), inner.begin(), inner.end()).first ==
           outer.end();
}

// What stays the same through the folders of one copy.
struct SCopyRun {
    ECopyMode m_mode;
    bool m_calyxNeedsConversion;
    IMergeProgress& m_progress;
    QWidget* m_parent;
    // The destination as the file system names it: a source folder that holds the
    // destination never copies the destination into itself again.
    fs::path m_destinationRoot;
    // The source as the file system names it: symbolic links are followed only to files
    // and folders below it.
    fs::path m_sourceRoot;
    // The folders being copied, from the source root down to the current one, as the file
    // system names them: a link back to one of them would copy it into itself without end.
    std::vector<fs::path> m_copying;
    SCopyCounts m_counts;
};

// What a symbolic link of the source leads to.
enum class ELinkTarget { Folder, File, Outside, Loop, Missing };

ELinkTarget FollowLink(const fs::path& link, const SCopyRun& run, fs::path* real) {
    std::error_code ec;
    *real = fs::canonical(link, ec);
    if (ec) return ELinkTarget::Missing;
    if (!WithinFolder(*real, run.m_sourceRoot)) return ELinkTarget::Outside;
    if (!fs::is_directory(*real, ec)) return ELinkTarget::File;
    for (const fs::path& folder : run.m_copying) {
        if (WithinFolder(folder, *real)) return ELinkTarget::Loop;
    }
    return ELinkTarget::Folder;
}

// A link that is not followed leaves its files out of the destination, so it is reported
// like a file that could not be copied.
void ReportLink(const std::string& link, ELinkTarget target, const fs::path& real, SCopyRun& run) {
    QString why;
    const QString leadsTo = QString::fromStdString(real.string());
    if (target == ELinkTarget::Outside) {
        why = QStringLiteral(
                  "このリンクはコピー元のフォルダの外（%1）を指しているため、"
                  "コピーしませんでした。")
                  .arg(leadsTo);
    } else if (target == ELinkTarget::Loop) {
        why = QStringLiteral(
                  "このリンクはコピー中のフォルダ（%1）に戻るため、"
                  "コピーしませんでした。")
                  .arg(leadsTo);
    } else {
        why = QStringLiteral("このリンクの指す先が見つからないため、コピーしませんでした。");
    }
    ++run.m_counts.m_failed;
    ShowCopyMessage(run.m_parent, link, why);
    run.m_progress.SetStopMark(true);
}

void CopyEntries(const std::string& source, const std::string& destination, SCopyRun& run);

// Copies a folder of the source (`real` is where it lies) into destination + name; the
// destination itself, when it lies in the source, is left out.
void CopySubfolder(const std::string& source, const std::string& destination,
                   const std::string& name, const fs::path& real, SCopyRun& run) {
    if (real == run.m_destinationRoot) return;
    const std::string folder = destination + name;
    std::string ignored;  // a folder that cannot be made fails each of its files' copies
    privatefiles::MakePrivateFolder(folder, &ignored);
    run.m_copying.push_back(real);
    CopyEntries(source + name + "/", folder + "/", run);
    run.m_copying.pop_back();
}

// Copies a file of the source (through a link, the file it leads to); false when the
// destination folder is missing, which ends the folder.
bool CopyFileEntry(const std::string& source, const std::string& destination,
                   const std::string& name, SCopyRun& run) {
    int error = 0;
    switch (CopyOneFile(source + name, destination + name, &error)) {
        case ECopyResult::Copied:
            ++run.m_counts.m_copied;
            break;
        case ECopyResult::Kept:
            ++run.m_counts.m_kept;
            break;
        case ECopyResult::Failed:
            ++run.m_counts.m_failed;
            ShowCopyError(run.m_parent, destination + name, error);
            run.m_progress.SetStopMark(true);
            return !DestinationFolderMissing(destination, error);
    }
    return true;
}

void CopyEntries(const std::string& source, const std::string& destination, SCopyRun& run) {
    IMergeProgress& progress = run.m_progress;
    SCopyCounts* counts = &run.m_counts;
    if (progress.StopMark()) return;
    std::vector<fs::directory_entry> entries;
    if (int error = 0; !ListFolder(source, &entries, &error)) {
        ++counts->m_failed;
        ShowCopyError(run.m_parent, source, error);
        progress.SetStopMark(true);
        return;
    }
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return a.path().filename() < b.path().filename();
    });
    RemoveStaleCopies(entries, destination);

    for (const fs::directory_entry& entry : entries) {
        if (progress.StopMark()) {
            if (AskMerger(run.m_parent, QString::fromUtf8(StopCopyQuestion()))) return;
            progress.SetStopMark(false);
        }
        const std::string name = entry.path().filename().string();
        const std::string upperName = Upper(name);
        if (SkippedByMode(upperName, run.m_mode, run.m_calyxNeedsConversion)) {
            ++counts->m_skipped;
            continue;
        }
        std::error_code typeError;
        fs::path real;
        if (entry.is_symlink(typeError)) {
            const ELinkTarget target = FollowLink(entry.path(), run, &real);
            if (real == run.m_destinationRoot) continue;
            if (target == ELinkTarget::Folder) {
                CopySubfolder(source, destination, name, real, run);
                continue;
            }
            if (target != ELinkTarget::File) {
                ReportLink(source + name, target, real, run);
                continue;
            }
        } else if (entry.is_directory(typeError)) {
            CopySubfolder(source, destination, name, fs::weakly_canonical(entry.path(), typeError),
                          run);
            continue;
        }
        if (!entry.is_regular_file(typeError)) continue;
        if (SkippedFile(upperName)) {
            ++counts->m_skipped;
            continue;
        }
        if (!CopyFileEntry(source, destination, name, run)) return;
    }
}

}  // namespace

std::string TelephoneDigits(const char* telephone, size_t width) {
    std::string digits;
    for (size_t i = 0; i < width && telephone[i] != '\0'; ++i) {
        if (telephone[i] != '-' && telephone[i] != ' ') digits += telephone[i];
    }
    return digits;
}

void ConvertPatientRecord(const tagOLDPATIENTDB& o, tagPATIENT1DB* n) {
    std::memset(n, 0, sizeof *n);
    UNITA_COPY_TEXT(n->PatientID, o.PatientID);
    UNITA_COPY_TEXT(n->Name, o.Name);
    UNITA_COPY_TEXT(n->Kana, o.Kana);
    UNITA_COPY_TEXT(n->Sex, o.Sex);
    UNITA_COPY_TEXT(n->BirthDate, o.BirthDate);
    UNITA_COPY_TEXT(n->FirstVisitDate, o.FirstVisitDate);
    UNITA_COPY_TEXT(n->EntryDate, o.FirstVisitDate);
    UNITA_COPY_TEXT(n->LastVisitDate, o.LastVisitDate);
    UNITA_COPY_TEXT(n->ChargeCode, o.ChargeCode);
    UNITA_COPY_TEXT(n->DoctorCode, o.DoctorCode);
    n->InactiveFlag = o.DeletedMark;
    UNITA_COPY_TEXT(n->OldExtra, o.OldExtra);
    UNITA_COPY_TEXT(n->ChartNo, o.ChartNo);
    UNITA_COPY_TEXT(n->HomeTel, o.Tel1);
    UNITA_COPY_TEXT(n->MobileTel, o.Tel2);
    UNITA_COPY_TEXT(n->GuardianName, o.GuardianName);
    UNITA_COPY_TEXT(n->GuardianKana, o.GuardianKana);
    UNITA_COPY_TEXT(n->ZipCode, o.ZipCode);
    UNITA_COPY_TEXT(n->Address1, o.Address1);
    UNITA_COPY_TEXT(n->Address2, o.Address2);
    UNITA_COPY_TEXT(n->Comment, o.Comment);
    CopyDigits(n->HomeTelDigits, sizeof n->HomeTelDigits, o.Tel1, sizeof o.Tel1);
    CopyDigits(n->MobileTelDigits, sizeof n->MobileTelDigits, o.Tel2, sizeof o.Tel2);
}

SConvertResult ConvertPatientsInPlace(const std::string& calyxDatabaseFolder,
                                      const std::vector<long>& patientNumbers,
                                      IMergeProgress& progress) {
    const int count = int(patientNumbers.size());
    progress.SetPosition(0);
    SConvertResult result =
        Convert(calyxDatabaseFolder, calyxDatabaseFolder, patientNumbers, &progress, [&](int row) {
            progress.SetPosition(row * 100 / count);
            progress.SetStatus(QString::asprintf("処理中... %3d/%3d", row, count));
        });
    if (RecordConversion(calyxDatabaseFolder, &result)) {
        progress.SetStatus(QStringLiteral("コンバート成功"));
    }
    return result;
}

SConvertResult ConvertPatientsInRun(const std::string& calyxDatabaseFolder,
                                    const std::string& destinationDatabaseFolder,
                                    const std::vector<long>& patientNumbers,
                                    IMergeProgress& progress) {
    progress.SetStatus(QStringLiteral("Calyxのデータベースをコンバートしています..."));
    SConvertResult result = Convert(calyxDatabaseFolder, destinationDatabaseFolder, patientNumbers,
                                    nullptr, [](int) {});
    RecordConversion(destinationDatabaseFolder, &result);
    return result;
}

std::string ProgramFolder() {
    if (!ProgramFolderSetting().empty()) return ProgramFolderSetting();
    return suitefolders::ProgramFolder();
}

void SetProgramFolder(const std::string& folder) {
    ProgramFolderSetting() = folder.empty() || folder.back() == '/' ? folder : folder + "/";
}

int UnpackEmptyDatabase(const std::string& destinationDatabaseFolder) {
    const std::string archive =
        suitefolders::DataFolderFor(ProgramFolder()) + kEmptyDatabaseArchive;
    // The command line cannot quote a double quote: a folder holding one would be read as
    // another folder, and the empty tables would land there.
    if (archive.find('"') != std::string::npos ||
        destinationDatabaseFolder.find('"') != std::string::npos) {
        return kLhaBadCommand;
    }
    const char quote = 34;
    const std::string command = std::string("x -x1m1c1n1 ") + quote + archive + quote + ' ' +
                                quote + destinationDatabaseFolder + quote;
    char output[300] = {};
    return Unlha(nullptr, command.c_str(), output, sizeof output);
}

SCopyCounts CopyFolder(const std::string& source, const std::string& destination, ECopyMode mode,
                       bool calyxNeedsConversion, IMergeProgress& progress, QWidget* parent) {
    std::error_code ec;
    fs::path root = fs::weakly_canonical(destination, ec);
    if (!root.has_filename()) root = root.parent_path();
    const fs::path sourceRoot = fs::canonical(source, ec);
    SCopyRun run{mode, calyxNeedsConversion, progress, parent, root, sourceRoot, {sourceRoot}, {}};
    CopyEntries(source, destination, run);
    return run.m_counts;
}

const char* StopCopyQuestion() { return "ファイルのコピーを中止しますか？"; }

}  // namespace unita
