// The warning of velo about clinic files that others can read.
#include "privatewarning.h"

#include <QFile>
#include <QStringList>
#include <cstdio>

#include "suite/text/privatefiles.h"
#include "suite/tool/messageservice.h"

namespace {

// Names beyond this many are counted rather than listed, so the box fits on the screen.
constexpr size_t kListedNames = 8;

// The path as the folder's staff know it: relative to the folder, the folder itself whole.
QString ShownName(const std::string& folder, const std::string& path) {
    const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    const bool inside = path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0;
    return QFile::decodeName(QByteArray::fromStdString(inside ? path.substr(prefix.size()) : path));
}

}  // namespace

QString OpenToOthersWarning(const QString& folder, const std::vector<std::string>& open) {
    if (open.empty()) return QString();
    const std::string folderBytes = QFile::encodeName(folder).toStdString();
    QStringList names;
    for (size_t i = 0; i < open.size() && i < kListedNames; ++i)
        names << QStringLiteral("・") + ShownName(folderBytes, open[i]);
    if (open.size() > kListedNames)
        names << QStringLiteral("ほか %1 件").arg(open.size() - kListedNames);
    return QStringLiteral(
               "データベースのフォルダー %1 で、医院のユーザー以外も読めるファイルまたは"
               "フォルダーが %2 件あります。\n"
               "患者の氏名・住所・電話番号やメールのパスワードを、このコンピューターの"
               "他のユーザーが読めるおそれがあります。\n\n%3\n\n"
               "管理者が次のコマンドで閉じてください。\n%4\n"
               "残っているものは velodb check で確かめられます。")
        .arg(folder)
        .arg(open.size())
        .arg(names.join(QLatin1Char('\n')),
             QString::fromStdString(privatefiles::CommandToClose(folderBytes)));
}

void WarnIfOpenToOthers(const QString& folder, bool interactive) {
    const QString warning = OpenToOthersWarning(
        folder, privatefiles::OpenToOthers(QFile::encodeName(folder).toStdString()));
    if (warning.isEmpty()) return;
    std::fprintf(stderr, "velo: %s\n", qPrintable(warning));
    if (interactive) {
        CMessageService::MessageBox(nullptr, warning, QStringLiteral("Velo"),
                                    CMessageService::EIcon::Warning, CMessageService::EButtons::Ok);
    }
}
