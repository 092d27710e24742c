// The master table merges, the whole-file copies and the shared photo-set records.
#include "merger/tablemerge.h"

#include <QApplication>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "merger/btrtables.h"
#include "merger/mediafiles.h"
#include "merger/mergeprogress.h"
#include "merger/mergertext.h"
#include "merger/mergesettings.h"
#include "merger/patientmerge.h"
#include "merger/rmtransaction.h"
#include "recman/recman.h"
#include "suite/text/atomicfile.h"

namespace unita {
namespace {

namespace fs = std::filesystem;

// The identifier of the records every patient shares.
constexpr char kSharedIdentifier[] = "0000000000";

std::string FolderText(const QString& folder) { return WithSeparator(folder.toStdString()); }

bool IsCaseTable(EMasterTable table) {
    return table == EMasterTable::CasePa || table == EMasterTable::Case ||
           table == EMasterTable::CaseRef || table == EMasterTable::CaseRReg;
}

// Whether a Xylo record may replace the destination's entry with the same key.
bool MayReplace(EMasterTable table, bool forced, const STableMergeOptions& options) {
    // References and their registrations always keep the destination's entries.
    if (table == EMasterTable::CaseRef || table == EMasterTable::CaseRReg) return false;
    if (forced) return true;
    return IsCaseTable(table) ? options.m_caseFromXylo : options.m_basicFromXylo;
}

// CUSTOMTBL records carry a second copy of their code, kept by the merge.
void CopyCustomCode(char* record) {
    auto& custom = *reinterpret_cast<tagCUSTOMTBLDB*>(record);
    const size_t length = strnlen(custom.Code, sizeof custom.Code);
    std::memset(custom.CodeCopy, 0, sizeof custom.CodeCopy);
    std::memcpy(custom.CodeCopy, custom.Code, std::min(length, sizeof custom.CodeCopy - 1));
}

// The entry of `folder` named `name` without regard to letter case; `name` itself when
// none is there.
std::string EntryIgnoringCase(const std::string& folder, const std::string& name) {
    std::error_code error;
    if (fs::exists(fs::path(folder) / name, error)) return name;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string candidate = it->path().filename().string();
        if (QString::fromStdString(candidate).compare(QString::fromStdString(name),
                                                      Qt::CaseInsensitive) == 0)
            return candidate;
    }
    return name;
}

bool ReadWholeFile(const std::string& path, std::string* bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// Shows the wait cursor while a command runs.
class CWaitCursor {
public:
    CWaitCursor() {
        if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            m_set = true;
        }
    }
    ~CWaitCursor() {
        if (m_set) QApplication::restoreOverrideCursor();
    }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;

private:
    bool m_set = false;
};

}  // namespace

const char* MasterTableFile(EMasterTable table) {
    switch (table) {
        case EMasterTable::CasePa:
            return "CASEPA.BTR";
        case EMasterTable::Case:
            return "CASE.BTR";
        case EMasterTable::CaseRef:
            return "CASEREF.BTR";
        case EMasterTable::CaseRReg:
            return "CASERREG.BTR";
        case EMasterTable::Condition:
            return "CONDITION.BTR";
        case EMasterTable::Doctor:
            return "DOCTOR.BTR";
        case EMasterTable::CustomTbl:
            return "CUSTOMTBL.BTR";
    }
    return "";
}

bool MergeMasterTable(EMasterTable table, const QString& xyloDatabase, const QString& destDatabase,
                      bool forced, const STableMergeOptions& options) {
    const char* file = MasterTableFile(table);
    auto source = MakeBtrTable(file, FolderText(xyloDatabase));
    if (!source || source->Open() != 0) return false;
    auto dest = MakeBtrTable(file, FolderText(destDatabase));
    if (!dest || dest->Open() != 0) return false;

    const bool replace = MayReplace(table, forced, options);
    const uint32_t length = source->DataLength();
    CRecordTransaction transaction;
    int status = source->FirstRecord();
    while (status == recman::kOk && !source->IsEOF()) {
        std::memcpy(dest->Data(), source->Data(), length);
        if (table == EMasterTable::CustomTbl) CopyCustomCode(dest->Data());
        // A failed replacement is reported by the wrapper; the scan goes on.
        if (dest->Insert() != recman::kOk && replace) dest->Update();
        status = source->GetNext();
    }
    return transaction.CommitOrReport(*dest);
}

bool CopyWholeFile(const QString& sourceFolder, const QString& destFolder, const QString& file) {
    const std::string from = FolderText(sourceFolder);
    const std::string to = FolderText(destFolder);
    if (from.empty() || to.empty()) return false;
    std::string bytes;
    if (!ReadWholeFile(from + EntryIgnoringCase(from, file.toStdString()), &bytes)) return false;
    return WriteFileAtomically(to + EntryIgnoringCase(to, file.toStdString()), bytes, nullptr);
}

bool CopySharedRecords(const char* table, const QString& xyloDatabase,
                       const QString& destDatabase) {
    SMergeFolders folders;
    folders.m_xyloDatabase = xyloDatabase;
    folders.m_destDatabase = destDatabase;
    return CopyPatientTable(table, folders, kSharedIdentifier, kSharedIdentifier);
}

void MergeTablesForConvertedRun(const QString& xyloDatabase, const QString& destDatabase,
                                const STableMergeOptions& options) {
    for (EMasterTable table :
         {EMasterTable::CasePa, EMasterTable::Case, EMasterTable::CaseRef, EMasterTable::CaseRReg,
          EMasterTable::Condition, EMasterTable::Doctor, EMasterTable::CustomTbl})
        MergeMasterTable(table, xyloDatabase, destDatabase, false, options);
    for (const char* file : {"TEXTTBL.BTR", "OWNER.BTR", "IMGTYPE.BTR"})
        CopyWholeFile(xyloDatabase, destDatabase, QString::fromLatin1(file));
    if (options.m_basicFromXylo)
        CopyWholeFile(xyloDatabase, destDatabase, QStringLiteral("freetblname.dat"));
    for (const char* table : {"XYPHOTOEX.BTR", "XYPHOTOEXIMG.BTR", "XYPHOTOEXTEXT.BTR"})
        CopySharedRecords(table, xyloDatabase, destDatabase);
}

void MergeTablesForCopiedRun(const QString& xyloDatabase, const QString& destDatabase,
                             const STableMergeOptions& options) {
    MergeMasterTable(EMasterTable::CasePa, xyloDatabase, destDatabase, false, options);
    MergeMasterTable(EMasterTable::Case, xyloDatabase, destDatabase, false, options);
    MergeMasterTable(EMasterTable::Condition, xyloDatabase, destDatabase, true, options);
    MergeMasterTable(EMasterTable::Doctor, xyloDatabase, destDatabase, true, options);
    MergeMasterTable(EMasterTable::CustomTbl, xyloDatabase, destDatabase, true, options);
}

void MergeTablesOnly(const QString& xyloDatabase, const QString& destDatabase,
                     const STableMergeOptions& options) {
    for (EMasterTable table : {EMasterTable::CasePa, EMasterTable::Case, EMasterTable::Condition,
                               EMasterTable::Doctor, EMasterTable::CustomTbl})
        MergeMasterTable(table, xyloDatabase, destDatabase, false, options);
}

STablesOnlyResult MergeMasterTablesOnly(const QString& xyloDatabase, const QString& destDatabase,
                                        const STableMergeOptions& options, IMergeProgress& progress,
                                        QWidget* parent) {
    STablesOnlyResult result;
    if (destDatabase.isEmpty()) return result;
    SMergeFolders folders;
    folders.m_xyloDatabase = xyloDatabase;
    folders.m_destDatabase = WithTrailingSeparator(destDatabase);
    const EFolderClash clash = CheckFolderRules(folders, EFolderRuleSet::TablesOnly);
    if (clash != EFolderClash::None) {
        ShowMergerMessage(parent, FolderClashMessage(clash, EFolderRuleSet::TablesOnly),
                          EMergerIcon::Warning);
        result.m_refusedField = FolderClashField(clash);
        return result;
    }
    {
        CWaitCursor wait;
        progress.SetStatus(QStringLiteral("テーブルデータをマージしています..."));
        MergeTablesOnly(xyloDatabase, folders.m_destDatabase, options);
        result.m_ran = true;
    }
    ShowMergerMessage(parent, QStringLiteral("テーブルのマージが終了しました。"));
    return result;
}

}  // namespace unita
