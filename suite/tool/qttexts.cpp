#include "suite/tool/qttexts.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <cstdio>

bool UseJapaneseQtTexts() {
    // Owned by the application, which uses it until it ends.
    auto* translator = new QTranslator(QCoreApplication::instance());
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator->load(QStringLiteral("qtbase_ja"), folder) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        std::fprintf(stderr,
                     "Qt の日本語訳 (qtbase_ja.qm) が %s にありません。"
                     "qt6-translations-l10n を入れてください。\n",
                     qPrintable(folder));
        return false;
    }
    return true;
}
