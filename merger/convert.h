// Building a destination database: the conversion of the practice product's old patient
// file (PATIENT.BTR, 600-byte records) into the current one (PATIENT1.BTR, 3600 bytes),
// in place by the convert button or into the destination during a merge run; the empty
// database unpacked from "basedb.lzh" in the program folder; and the copy of a database or
// image folder with its skip rules, its newer-file rule and the run's stop mark.
#pragma once

#include <string>
#include <vector>

#include "suite/dbcall/patientdb.h"

class QWidget;

namespace unita {

class IMergeProgress;

// Fills newRecord (zeroed first) from an old record: every field at its current offset,
// the old date at both 114 and 123, and the two telephones again without "-" and blanks.
// A text is copied whole where the current field is as wide as the old one (also when it
// fills the field without a terminator); the narrower OldExtra keeps its first 26 bytes,
// cut before a double-byte character that would not fit whole.
void ConvertPatientRecord(const tagOLDPATIENTDB& oldRecord, tagPATIENT1DB* newRecord);

// The text with every "-" and every blank removed ("03-1234 5678" gives "0312345678").
std::string TelephoneDigits(const char* telephone, size_t width);

struct SConvertResult {
    bool m_opened = false;  // both patient files opened
    // Every listed patient visited (or the list is empty) and the version written.
    bool m_complete = false;
    int m_converted = 0;  // records inserted into PATIENT1.BTR
    int m_missing = 0;    // listed patients not found in PATIENT.BTR (skipped silently)
    int m_failed = 0;     // inserts refused (reported by the table wrapper)
};

// The convert button: PATIENT.BTR of the Calyx database folder into its PATIENT1.BTR.
// patientNumbers are the item data of the Calyx list's rows in list order. Shows
// "コンバート先のDBを削除しています..." while emptying PATIENT1.BTR and "処理中... %3d/%3d" per
// converted row with the progress bar; on completion shows "コンバート成功" and writes
// [GLOBAL] VERSION "1.1.0.0" into the folder's "GlobalSetting.ini" (a failed write is
// shown and leaves the conversion incomplete). Nothing is written to the settings file
// when a patient file cannot be opened.
SConvertResult ConvertPatientsInPlace(const std::string& calyxDatabaseFolder,
                                      const std::vector<long>& patientNumbers,
                                      IMergeProgress& progress);

// The conversion inside a merge run: PATIENT.BTR of the Calyx database into PATIENT1.BTR of
// the destination database (emptied first, so a second run leaves one record per patient),
// with the status "Calyxのデータベースをコンバートしています..." once; on completion the
// destination's "GlobalSetting.ini" gets VERSION "1.1.0.0". The Calyx folder is only read.
SConvertResult ConvertPatientsInRun(const std::string& calyxDatabaseFolder,
                                    const std::string& destinationDatabaseFolder,
                                    const std::vector<long>& patientNumbers,
                                    IMergeProgress& progress);

// The folder of the running program, ending with "/": "basedb.lzh" lies there in the build
// tree and in ../share/velo/ beside it in an installed suite. Set once by the program at
// start (tests point it at the build's program folder); until then the folder of the
// executable.
std::string ProgramFolder();
void SetProgramFolder(const std::string& folder);

// Name of the empty database archive in the suite's data folder.
constexpr const char* kEmptyDatabaseArchive = "basedb.lzh";

// Unpacks the empty database archive of the program folder into the destination database
// folder (which must exist), overwriting files already there. Returns the archiver's result
// (0 = success); the merge run does not depend on it, as a missing archive only leaves
// the destination without its empty tables.
int UnpackEmptyDatabase(const std::string& destinationDatabaseFolder);

// What a folder copy is: the Calyx database, images, or the Calyx database of a run that
// does not convert the Calyx data (which keeps the patient and master files out).
enum class ECopyMode { CalyxDatabase = 0, Images = 1, CalyxUnconverted = 3 };

struct SCopyCounts {
    int m_copied = 0;   // files written (new, or replacing an older target)
    int m_kept = 0;     // targets kept because they were not older than the source
    int m_skipped = 0;  // entries left out by name
    int m_failed = 0;   // files that could not be copied
};

// Copies every entry of source into destination, recursively, with the skip rules of the
// mode (names compared without regard to case): mode 3 leaves out "Photo", "Patient.btr",
// "Patient1.btr", "Patient2.btr", "CASE.BTR", "CASEPA.BTR", "Condition.btr", "Doctor.btr",
// "CUSTOMTBL.BTR"; mode 0 leaves out "Photo" and the three patient files only when the
// Calyx data need conversion. Lock files ("~PVSW~.LOC", names ending ".LCK"), the record
// manager's working files (".recman-*") and "thumbs.db" are never copied. A file is copied without
// overwriting; an existing target is replaced only when the source is newer. Each copy is atomic
// and keeps the source's modification time. A failed copy shows the system's text for the error and
// sets the run's stop mark (progress.StopMark()); while it is set the user is asked before each
// further entry whether to stop copying (Yes ends this folder, No clears the mark), and a copy
// started with the mark set returns at once. The caller clears the mark at the start of
// each run. Symbolic links are followed to files and folders below the source folder (the
// destination gets their files, not links); a link that leads outside it, nowhere, or back to
// a folder being copied is reported like a failed copy, naming the link. Both folders end
// with "/".
SCopyCounts CopyFolder(const std::string& source, const std::string& destination, ECopyMode mode,
                       bool calyxNeedsConversion, IMergeProgress& progress,
                       QWidget* parent = nullptr);

// The question asked while the stop mark is set; Yes stops.
const char* StopCopyQuestion();

}  // namespace unita
