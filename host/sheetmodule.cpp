// Finding and loading a module of the suite at run time.
#include "sheetmodule.h"

#include <QDir>
#include <QFileInfo>

QStringList ModuleSearchFolders(const QString& programFolder) {
    return {programFolder, QDir::cleanPath(programFolder + QStringLiteral("/../lib")),
            QDir::cleanPath(programFolder + QStringLiteral("/../lib/velo"))};
}

bool CModuleEntry::Load(const QString& baseName, const char* symbol, const QStringList& folders) {
    m_entry = nullptr;
    if (m_library.isLoaded()) m_library.unload();
    const QString fileName = QStringLiteral("lib%1.so").arg(baseName);
    for (const QString& folder : folders) {
        const QString path = QDir(folder).filePath(fileName);
        if (!QFileInfo::exists(path)) continue;
        m_library.setFileName(path);
        if (!m_library.load()) {
            m_problem =
                QStringLiteral("%1 を読み込めません: %2").arg(path, m_library.errorString());
            return false;
        }
        m_entry = reinterpret_cast<DoStartFunction>(m_library.resolve(symbol));
        if (m_entry == nullptr) {
            m_problem =
                QStringLiteral("%1 に %2 がありません").arg(path, QString::fromUtf8(symbol));
            m_library.unload();
            return false;
        }
        m_problem.clear();
        return true;
    }
    m_problem = QStringLiteral("%1 がプログラムのフォルダーにありません").arg(fileName);
    return false;
}
