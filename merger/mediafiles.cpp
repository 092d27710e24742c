// Media file paths and copies of the merger; see mediafiles.h.
#include "merger/mediafiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <system_error>
#include <vector>

#include "merger/filecopy.h"
#include "suite/text/privatefiles.h"

namespace fs = std::filesystem;

namespace unita {

namespace {

// A plain stat: asked for every media record of a merge, where a path object per call
// would cost more than the look itself.
bool FileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Identifiers and numbers come from records and become parts of a file name. One holding a
// separator, or naming "." or "..", would reach outside the patient's folder (a damaged or
// foreign record), so it names no file.
bool IsPlainNamePart(const std::string& part) {
    return part.find('/') == std::string::npos && part != "." && part != "..";
}

// Creates folder with its parents, closed to others; true when it exists afterwards.
bool MakeFolder(const std::string& folder) {
    std::string ignored;  // the caller names the folder in its own message
    privatefiles::MakePrivateFolder(folder, &ignored);
    std::error_code ec;
    return fs::is_directory(folder, ec);
}

// The patient's subfolder of a media folder ("folder/patient/"), created for a destination.
// "" when it is needed and cannot be made.
std::string PatientFolder(const std::string& mediaFolder, const std::string& patientId,
                          EPathFor which) {
    std::string folder = WithSeparator(WithSeparator(mediaFolder) + patientId);
    if (which == EPathFor::Destination && !MakeFolder(folder)) return {};
    return folder;
}

std::string NumberedFilePath(const std::string& folder, const std::string& patientId,
                             const std::string& number, const char* extension, EPathFor which) {
    if (folder.empty() || patientId.empty()) return {};
    if (!IsPlainNamePart(patientId) || !IsPlainNamePart(number)) return {};
    std::string patientFolder = PatientFolder(folder, patientId, which);
    if (patientFolder.empty()) return {};
    return patientFolder + number + extension;
}

class CFd {
public:
    explicit CFd(int fd) : m_fd(fd) {}
    ~CFd() {
        if (m_fd >= 0) ::close(m_fd);
    }
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;
    int Get() const { return m_fd; }
    bool Close() {
        int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

// Moves the finished temporary file to its place. With Keep an existing target wins and the
// temporary file is dropped.
bool PlaceTemporary(const std::string& temp, const std::string& to, EOverwrite overwrite) {
    if (overwrite == EOverwrite::Replace) return ::rename(temp.c_str(), to.c_str()) == 0;
    if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // File systems without the no-replace rename: the process is the only writer of the
    // destination folders during a run, so a check before the rename is enough.
    if (::access(to.c_str(), F_OK) == 0) return false;
    return ::rename(temp.c_str(), to.c_str()) == 0;
}

bool SamePlace(const std::string& a, const std::string& b) {
    std::error_code ec;
    return fs::equivalent(a, b, ec) && !ec;
}

// Copies one of a record's files, whose source exists, counting the outcome. When the move
// removes its sources, the source is remembered for removal once all of the record's files
// are copied.
void CopyOneOfRecord(const SMediaMove& move, const std::string& from, const std::string& to,
                     SMediaCopy* result, std::vector<std::string>* copiedSources) {
    if (move.m_overwrite == EOverwrite::Keep && ::access(to.c_str(), F_OK) == 0) return;
    if (CopyMediaFile(from, to, move.m_overwrite)) {
        ++result->m_copied;
        if (move.m_removeSource) copiedSources->push_back(from);
    } else {
        if (result->m_failed++ == 0) result->m_firstFailed = from;
    }
}

SMediaCopy FinishRecordCopy(const SMediaMove& move, SMediaCopy result,
                            const std::vector<std::string>& copiedSources) {
    if (move.m_removeSource && result.AllCopied())
        for (const std::string& source : copiedSources) ::unlink(source.c_str());
    return result;
}

bool Fail(std::string* error, const std::string& what) {
    if (error) *error = what;
    return false;
}

bool CopyTreeInto(const fs::path& source, const fs::path& destination, std::set<fs::path>& visiting,
                  const fs::path& destinationRoot, std::string* error) {
    std::error_code ec;
    if (!MakeFolder(destination.string()))
        return Fail(error, "フォルダ「" + destination.string() + "」を作成できませんでした。");
    fs::path here = fs::canonical(source, ec);
    if (ec)
        return Fail(error, "フォルダ「" + source.string() + "」を読めませんでした（" +
                               ec.message() + "）。");
    if (!visiting.insert(here).second) return true;  // reached again through a link

    fs::directory_iterator it(source, ec);
    if (ec)
        return Fail(error, "フォルダ「" + source.string() + "」を読めませんでした（" +
                               ec.message() + "）。");
    bool ok = true;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        const fs::path& entry = it->path();
        const fs::path target = destination / entry.filename();
        if (it->is_directory(ec)) {
            // The destination may lie inside the source; it is not copied into itself.
            if (SamePlace(entry.string(), destinationRoot.string())) continue;
            if (!CopyTreeInto(entry, target, visiting, destinationRoot, error)) {
                ok = false;
                break;
            }
        } else if (!CopyMediaFile(entry.string(), target.string(), EOverwrite::Replace)) {
            ok = Fail(error, "「" + entry.string() + "」を「" + target.string() +
                                 "」にコピーできませんでした。");
            break;
        }
    }
    if (ok && ec)
        ok = Fail(error, "フォルダ「" + source.string() + "」を読めませんでした（" + ec.message() +
                             "）。");
    visiting.erase(here);
    return ok;
}

}  // namespace

const char* MediaExtension(int mediaType) {
    switch (mediaType) {
        case kMediaAvi:
            return ".avi";
        case kMediaMpg:
            return ".mpg";
        case kMediaMpeg:
            return ".mpeg";
        case kMediaMov:
            return ".mov";
        default:
            return ".jpg";
    }
}

std::string WithSeparator(const std::string& folder) {
    if (folder.empty() || folder.back() == '/') return folder;
    return folder + '/';
}

std::string ImageFilePath(const std::string& imageFolder, const std::string& patientId,
                          const std::string& number, EPathFor which, int mediaType) {
    if (imageFolder.empty() || !IsPlainNamePart(patientId) || !IsPlainNamePart(number)) return {};
    const char* extension = MediaExtension(mediaType);
    std::string patientFolder = PatientFolder(imageFolder, patientId, which);
    if (patientFolder.empty()) return {};
    std::string path = patientFolder + number + extension;
    if (which == EPathFor::Destination || FileExists(path)) return path;
    std::string flat = WithSeparator(imageFolder) + patientId + number + extension;
    return FileExists(flat) ? flat : std::string();
}

std::string ReportFilePath(const std::string& reportFolder, const std::string& patientId,
                           const std::string& number, EPathFor which) {
    return NumberedFilePath(reportFolder, patientId, number, ".xyr", which);
}

std::string SlideshowFilePath(const std::string& slideshowFolder, const std::string& patientId,
                              const std::string& number, EPathFor which) {
    return NumberedFilePath(slideshowFolder, patientId, number, ".sld", which);
}

bool CopyMediaFile(const std::string& from, const std::string& to, EOverwrite overwrite) {
    if (to.empty() || !FileExists(from)) return false;
    if (SamePlace(from, to)) return false;
    if (overwrite == EOverwrite::Keep && ::access(to.c_str(), F_OK) == 0) return false;

    CFd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (in.Get() < 0 || ::fstat(in.Get(), &st) != 0) return false;

    std::string pattern = to + ".tmpXXXXXX";
    std::vector<char> temp(pattern.begin(), pattern.end());
    temp.push_back('\0');
    CFd out(::mkostemp(temp.data(), O_CLOEXEC));
    if (out.Get() < 0) return false;
    const std::string tempPath(temp.data());

    // The copy keeps the source's modification time, as a copy by the file manager would, so
    // later "is the source newer" checks compare the real ages; its mode is the clinic's,
    // closed to others whatever the source's was.
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    bool ok = CopyFileContents(in.Get(), out.Get()) &&
              ::fchmod(out.Get(), privatefiles::FileMode()) == 0 &&
              ::futimens(out.Get(), times) == 0;
    ok = out.Close() && ok;
    ok = ok && PlaceTemporary(tempPath, to, overwrite);
    if (!ok) ::unlink(tempPath.c_str());
    return ok;
}

SMediaCopy CopyPhotoFiles(const SMediaMove& move, int mediaType) {
    SMediaCopy result;
    std::vector<std::string> copiedSources;
    auto copyType = [&](int type) {
        std::string from = ImageFilePath(move.m_fromFolder, move.m_fromPatient, move.m_fromNumber,
                                         EPathFor::Source, type);
        if (from.empty()) return;
        std::string to = ImageFilePath(move.m_toFolder, move.m_toPatient, move.m_toNumber,
                                       EPathFor::Destination, type);
        CopyOneOfRecord(move, from, to, &result, &copiedSources);
    };
    // A type without a movie extension of its own (an unknown one) is the still image alone.
    if (std::strcmp(MediaExtension(mediaType), MediaExtension(kMediaStill)) != 0)
        copyType(mediaType);
    copyType(kMediaStill);
    return FinishRecordCopy(move, result, copiedSources);
}

SMediaCopy CopyReportFile(const SMediaMove& move) {
    SMediaCopy result;
    std::vector<std::string> copiedSources;
    const std::string from =
        ReportFilePath(move.m_fromFolder, move.m_fromPatient, move.m_fromNumber, EPathFor::Source);
    if (FileExists(from))
        CopyOneOfRecord(move, from,
                        ReportFilePath(move.m_toFolder, move.m_toPatient, move.m_toNumber), &result,
                        &copiedSources);
    return FinishRecordCopy(move, result, copiedSources);
}

SMediaCopy CopySlideshowFile(const SMediaMove& move) {
    SMediaCopy result;
    std::vector<std::string> copiedSources;
    const std::string from = SlideshowFilePath(move.m_fromFolder, move.m_fromPatient,
                                               move.m_fromNumber, EPathFor::Source);
    if (FileExists(from))
        CopyOneOfRecord(move, from,
                        SlideshowFilePath(move.m_toFolder, move.m_toPatient, move.m_toNumber),
                        &result, &copiedSources);
    return FinishRecordCopy(move, result, copiedSources);
}

SMediaCopy CopyMainImage(const std::string& fromImageFolder, const std::string& fromPatient,
                         const std::string& toImageFolder, const std::string& toPatient) {
    SMediaMove move{fromImageFolder,  toImageFolder,    fromPatient, toPatient,
                    kMainImageNumber, kMainImageNumber, false,       EOverwrite::Keep};
    return CopyPhotoFiles(move, kMediaStill);
}

bool CopyTree(const std::string& source, const std::string& destination, std::string* error) {
    if (source.empty() || destination.empty()) return Fail(error, "フォルダが指定されていません。");
    std::error_code ec;
    if (!fs::is_directory(source, ec))
        return Fail(error, "フォルダ「" + source + "」が見つかりません。");
    if (!MakeFolder(destination))
        return Fail(error, "フォルダ「" + destination + "」を作成できませんでした。");
    std::set<fs::path> visiting;
    return CopyTreeInto(fs::path(source), fs::path(destination), visiting, fs::path(destination),
                        error);
}

}  // namespace unita
