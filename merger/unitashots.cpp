// unitashots: saves pictures of the merger's windows for the documentation - the main window
// with both patient lists loaded, the same window after a merge with its row marks, the
// message at the end of the merge, and the patient combine dialog on two merged patients - as
// PNG files in an output folder. The settings files live in a folder of its own and the merge goes
// to a folder of its own, so neither a person's settings nor the two source databases are touched.
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QTemporaryDir>
#include <cstdio>

#include "merger/combinedlg.h"
#include "merger/convert.h"
#include "merger/mergertext.h"
#include "merger/unitadlg.h"
#include "merger/unitaids.h"
#include "recman/recman.h"
#include "suite/text/inifile.h"
#include "suite/text/privatefiles.h"
#include "suite/tool/messageservice.h"
#include "suite/tool/screenshot.h"
#include "suite/tool/xlistctrl.h"
#include "suite/tool/qttexts.h"

namespace {

constexpr QSize kWindowSize(1280, 800);

bool Save(QWidget* window, const QString& folder, const char* name) {
    return SaveWidgetScreenshot(window, folder, name, "unitashots");
}

QString Folder(const char* path) {
    return QDir(QString::fromLocal8Bit(path)).absolutePath() + u'/';
}

// The two products' settings files naming the demo databases, as scripts/run writes them.
bool WriteSettings(const QString& windows, const QString& calyx, const QString& xylo) {
    const std::string velo = QDir(windows).filePath("VeloV1.ini").toStdString();
    const std::string xylo8 = QDir(windows).filePath("Xylo8.ini").toStdString();
    return CIniFile::WriteString(velo, "GLOBAL", "DATABASE", calyx) &&
           CIniFile::WriteString(xylo8, "DB_DIR", "DATABASE", xylo) &&
           CIniFile::WriteString(xylo8, "DB_DIR", "PHOTO", xylo + "Photo/") &&
           CIniFile::WriteString(xylo8, "DB_DIR", "REPORT", xylo + "Report/") &&
           CIniFile::WriteString(xylo8, "DB_DIR", "SLIDESHOW", xylo + "SlideShow/");
}

void Click(QWidget& window, int id) {
    if (auto* button = window.findChild<QAbstractButton*>(QString::number(id))) button->click();
    QApplication::processEvents();
}

}  // namespace

int main(int argc, char** argv) {
    privatefiles::CloseNewFilesToOthers();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Unita"));
    UseJapaneseQtTexts();
    if (argc != 4) {
        std::fprintf(stderr, "usage: unitashots CALYX-FOLDER XYLO-FOLDER OUTPUT-FOLDER\n");
        return 2;
    }
    const QString calyx = Folder(argv[1]);
    const QString xylo = Folder(argv[2]);
    const QString out = QString::fromLocal8Bit(argv[3]);
    QTemporaryDir work;
    if (!work.isValid() || !QDir().mkpath(out)) {
        std::fprintf(stderr, "unitashots: cannot make its folders\n");
        return 1;
    }
    const QString windows = work.filePath("windows");
    QDir().mkpath(windows);
    qputenv("VELO_WINDIR", QFile::encodeName(windows));
    if (!WriteSettings(windows, calyx, xylo)) {
        std::fprintf(stderr, "unitashots: cannot write the settings files\n");
        return 1;
    }
    unita::SetProgramFolder(QApplication::applicationDirPath().toStdString() + "/");
    recman::SetWorkingFolder(work.filePath("recman").toStdString());
    // Message boxes are answered at once (the merge says it is done).
    CMessageService::SetScript(
        [](const CMessageService::Request&) { return int(CMessageService::IDOK); });
    const QString merged = work.filePath("Merged");
    CMessageService::SetPathScript([merged](const CMessageService::Request&) { return merged; });

    unita::CUnitaDlg window;
    window.resize(kWindowSize);
    window.show();
    Click(window, unita::kIdCalyxLoad);
    Click(window, unita::kIdXyloLoad);
    Click(window, unita::kIdDestDatabaseBrowse);
    if (auto* xyloList = window.findChild<CXListCtrl*>(QString::number(unita::kIdXyloList))) {
        xyloList->SetSelIndex(1);
    }
    bool ok = Save(&window, out, "unita_main");

    CMessageService::ClearHistory();
    Click(window, unita::kIdMergeStart);
    ok = Save(&window, out, "unita_merged") && ok;

    // The message at the end of the merge, as the person who ran it reads it.
    if (!CMessageService::History().empty()) {
        const auto end = CMessageService::NewMessageBox(&window, CMessageService::History().back());
        end->show();
        QApplication::processEvents();
        ok = Save(end.get(), out, "unita_merge_end") && ok;
    }

    // The combine dialog on two patients of the merge data.
    auto* mergeData = window.findChild<CXListCtrl*>(QString::number(unita::kIdMergeDataList));
    if (mergeData != nullptr && mergeData->GetItemCount() >= 2) {
        const std::string database = (merged + "/Database/").toStdString();
        const unita::SCombineFolders folders{database, (merged + "/Photo/").toStdString(),
                                             (merged + "/Report/").toStdString(),
                                             (merged + "/SlideShow/").toStdString()};
        const auto id = [mergeData](int row) {
            return QString::asprintf("%010llu",
                                     static_cast<unsigned long long>(mergeData->GetItemData(row)))
                .toStdString();
        };
        unita::CCombineDlg combine(folders, id(0), id(1), &window);
        combine.show();
        ok = Save(&combine, out, "unita_combine") && ok;
    }
    return ok ? 0 : 1;
}
