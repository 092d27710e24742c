// The network file system warning of velo.
#include "networkwarning.h"

QString NetworkShareWarning(const QString& folder, const std::string& share) {
    if (share.empty()) return QString();
    return QStringLiteral(
               "データベースのフォルダー %1 はネットワーク上のファイルシステム（%2）にあります。\n"
               "フォルダーに置いた表ファイルは、複数の端末から同時に使うとロックが確実に働かず、"
               "データベースが壊れるおそれがあります。\n"
               "複数の端末で使うときは、データベースをサーバー（PostgreSQL）に移してください。"
               "velodb push で移すと、フォルダーに velodb.conninfo が作られ、"
               "各端末はそのままサーバーを使います。")
        .arg(folder, QString::fromStdString(share));
}
