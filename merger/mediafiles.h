// Where the files behind PHOTO.BTR, REPORT.BTR and SLIDESHOW.BTR records live, and how they
// follow their records when a patient's records are copied under a new identifier (the merge)
// or moved to another patient (the combine); also the plain recursive folder copy used for
// the cephalometric product's image folder.
//
// Layout: one subfolder per patient in each media folder, the file named by the record's
// number ("<image folder>/0000000012/0000000007.jpg"). Older installations kept images flat,
// identifier and number run together in the image folder ("<image
// folder>/00000000120000000007.jpg"); such a source file is still found. Paths are UTF-8 with "/"
// as the separator.
//
// Every file copy here is atomic: the bytes go to a temporary file beside the target that is
// renamed over it, so an interrupted run leaves either the old target or the whole new one.
// Source folders are only read: no folder is created on the source side. An identifier or
// number that would lead out of its folder ("/", ".", "..") names no file.
#pragma once

#include <cstdint>
#include <string>

namespace unita {

// Media type of a PHOTO.BTR record (offset 76). A record with a non-zero type has a movie
// file and a still image under the same number.
enum EMediaType : uint8_t {
    kMediaStill = 0,
    kMediaAvi = 1,
    kMediaMpg = 2,
    kMediaMpeg = 3,
    kMediaMov = 4,
};

// The number that names a patient's main image.
inline constexpr char kMainImageNumber[] = "0000000000";

// Whether a path names a file to read (source) or a file to write (destination).
enum class EPathFor { Source, Destination };

// File-name extension of a media type: ".avi", ".mpg", ".mpeg", ".mov", and ".jpg" for 0 and
// for any value not listed.
const char* MediaExtension(int mediaType);

// Appends "/" to a non-empty folder that does not end with one.
std::string WithSeparator(const std::string& folder);

// The image or movie file of a photo record: imageFolder/patientId/number + extension.
// Returns "" when imageFolder is empty. For a destination the patient subfolder is created
// with its parents (failure: "") and the path is returned whether the file exists or not.
// For a source the path is returned when the file exists there; otherwise the older flat name
// imageFolder/patientId+number+extension when that file exists; otherwise "".
std::string ImageFilePath(const std::string& imageFolder, const std::string& patientId,
                          const std::string& number, EPathFor which, int mediaType);

// The report file of a REPORT.BTR record: reportFolder/patientId/number.xyr. Returns "" when
// the folder or the identifier is empty, or when a destination's patient subfolder cannot
// be created. A source path is returned whether the file exists or not.
std::string ReportFilePath(const std::string& reportFolder, const std::string& patientId,
                           const std::string& number, EPathFor which = EPathFor::Destination);

// The slideshow file of a SLIDESHOW.BTR record: slideshowFolder/patientId/number.sld, with
// the same rules as ReportFilePath.
std::string SlideshowFilePath(const std::string& slideshowFolder, const std::string& patientId,
                              const std::string& number, EPathFor which = EPathFor::Destination);

enum class EOverwrite { Replace, Keep };

// Copies one file atomically, keeping its modification time. Returns false when `from` is
// empty or missing, when `to` is empty, when the target exists and `overwrite` is Keep, or
// when the copy fails (the target is then unchanged).
bool CopyMediaFile(const std::string& from, const std::string& to, EOverwrite overwrite);

// One record's files moving from one patient (and number) to another. In the merge the
// folders differ (source product, destination) and the number stays; in the combine both
// folders are the destination's and the number is the record's new number.
struct SMediaMove {
    std::string m_fromFolder;
    std::string m_toFolder;
    std::string m_fromPatient;
    std::string m_toPatient;
    std::string m_fromNumber;
    std::string m_toNumber;
    // Remove the record's source files once all of them have been copied (the combine's data
    // deletion). When one copy fails, every source file of the record is kept.
    bool m_removeSource = false;
    // Keep: a target that exists already stays, and counts as neither copied nor failed (the
    // files of a record an earlier, interrupted merge stored are completed, not replaced).
    EOverwrite m_overwrite = EOverwrite::Replace;
};

// What the copies of one record's files did. A source file that does not exist is neither
// copied nor failed.
struct SMediaCopy {
    int m_copied = 0;
    int m_failed = 0;           // source files that exist but could not be copied
    std::string m_firstFailed;  // the first of them
    bool AllCopied() const { return m_failed == 0; }
};

// The files of a PHOTO.BTR record: the movie when the type is not 0, then the still image,
// both overwriting. A missing source file is skipped silently.
SMediaCopy CopyPhotoFiles(const SMediaMove& move, int mediaType);

// The file of a REPORT.BTR or SLIDESHOW.BTR record, overwriting; skipped when missing.
SMediaCopy CopyReportFile(const SMediaMove& move);
SMediaCopy CopySlideshowFile(const SMediaMove& move);

// A patient's main image ("0000000000.jpg"), never over an image the destination patient
// already has: copied 1 when a file was copied, failed 1 when the source exists, the target
// does not, and the copy failed.
SMediaCopy CopyMainImage(const std::string& fromImageFolder, const std::string& fromPatient,
                         const std::string& toImageFolder, const std::string& toPatient);

// Copies every file and folder below `source` into `destination` (created with its parents),
// overwriting existing files and keeping modification times. Stops at the first file or
// folder that cannot be copied and returns false; true otherwise. A destination inside the
// source is not copied into itself, and a folder reached again through a symbolic link is
// not copied twice. `error`, when given, names what failed.
bool CopyTree(const std::string& source, const std::string& destination,
              std::string* error = nullptr);

}  // namespace unita
