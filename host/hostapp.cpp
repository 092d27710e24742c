// Start-up of the host program.
#include "hostapp.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>

#include "hostwindow.h"
#include "navigation.h"
#include "networkwarning.h"
#include "privatewarning.h"
#include "sheetmodule.h"
#include "suite/dbcall/velodbsys.h"
#include "suite/text/atomicfile.h"
#include "suite/text/hostprofile.h"
#include "suite/text/networkfolder.h"
#include "suite/text/suitefolders.h"
#include "suite/tool/messageservice.h"

namespace {

// Reports a failure on the terminal and in a message box.
void ReportError(const QString& text) {
    std::fprintf(stderr, "velo: %s\n", qPrintable(text));
    CMessageService::MessageBox(nullptr, text, QStringLiteral("Velo"),
                                CMessageService::EIcon::Critical, CMessageService::EButtons::Ok);
}

// Saves a PNG of the window; false with a message on stderr when that fails.
bool SaveScreenshot(QWidget* window, const QString& path) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!window->grab().save(&buffer, "PNG")) {
        std::fprintf(stderr, "velo: cannot render the window\n");
        return false;
    }
    std::string error;
    if (!WriteFileAtomically(QFile::encodeName(path).toStdString(),
                             std::string_view(png.constData(), size_t(png.size())), &error)) {
        std::fprintf(stderr, "velo: cannot write %s: %s\n", qPrintable(path), error.c_str());
        return false;
    }
    return true;
}

// Tells, once, that the folder's tables are not safe where they are: on the terminal, and
// in a message box unless velo only takes a picture of its window.
void WarnIfOnNetworkShare(const QString& folder, bool interactive) {
    const QString warning = NetworkShareWarning(
        folder, EmbeddedEngineNetworkShare(QFile::encodeName(folder).toStdString()));
    if (warning.isEmpty()) return;
    std::fprintf(stderr, "velo: %s\n", qPrintable(warning));
    if (interactive) {
        CMessageService::MessageBox(nullptr, warning, QStringLiteral("Velo"),
                                    CMessageService::EIcon::Warning, CMessageService::EButtons::Ok);
    }
}

}  // namespace

int RunHost(const CHostOptions& options) {
    CHostProfile::SetProgramName(QStringLiteral("velo"));
    const QString section = QStringLiteral("GLOBAL");
    const QString key = QStringLiteral("DATABASE");

    QString folder =
        ChooseDatabaseFolder(options, CHostProfile::GetProfileString(section, key, QString()));
    if (folder.isEmpty() && options.screenshot.isEmpty()) {
        folder = CMessageService::GetExistingDirectory(
            nullptr, QStringLiteral("データベースのフォルダーを選んでください"), QDir::homePath());
    }
    if (folder.isEmpty()) {
        ReportError(
            QStringLiteral("データベースのフォルダーが指定されていません。"
                           "--database DIR で指定してください。"));
        return 1;
    }
    folder = QFileInfo(folder).absoluteFilePath();

    CVeloDBSys db;
    if (!db.Open(QFile::encodeName(folder).toStdString())) {
        ReportError(QStringLiteral("データベースのフォルダー %1 を開けません。").arg(folder));
        return 1;
    }
    WarnIfOnNetworkShare(folder, options.screenshot.isEmpty());
    WarnIfOpenToOthers(folder, options.screenshot.isEmpty());
    // The modules and the next start read the open database's folder from here.
    if (!CHostProfile::WriteProfileString(section, key, folder)) {
        std::fprintf(stderr, "velo: cannot write the profile %s\n", CHostProfile::Path().c_str());
    }

    const QString programFolder = QCoreApplication::applicationDirPath();
    CModuleEntry sheet;
    sheet.Load(QStringLiteral("VeloSheet"), "DoStart", ModuleSearchFolders(programFolder));
    CModuleEntry lab;
    lab.Load(QStringLiteral("VeloLab"), "VeloLabOnStart", ModuleSearchFolders(programFolder));

    const QString images =
        QString::fromStdString(suitefolders::DataFolder()) + QStringLiteral("images");
    CHostWindow window(&db, &sheet, images);
    window.SetLabModule(&lab);
    window.setWindowTitle(QStringLiteral("Velo - %1").arg(folder));
    window.resize(900, 560);
    window.show();

    if (!options.screenshot.isEmpty()) {
        // The picture shows the reservation screen's place as a person first sees it,
        // without starting the sheet's own modal window.
        window.ShowScreen(sheet.IsAvailable() ? kScreenNone : kScreenReservation);
        int result = 1;
        QTimer::singleShot(0, &window, [&] {
            result = SaveScreenshot(&window, options.screenshot) ? 0 : 1;
            QCoreApplication::quit();
        });
        QApplication::exec();
        return result;
    }

    if (sheet.IsAvailable()) {
        QTimer::singleShot(0, &window, [&] { window.ShowScreen(kScreenReservation); });
    } else {
        window.ShowScreen(kScreenReservation);
    }
    return QApplication::exec();
}
