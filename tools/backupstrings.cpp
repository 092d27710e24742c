// The texts of velodb backup and restore.
#include "backupstrings.h"

#include <mutex>
#include <vector>

#include "suite/tool/strings.h"

namespace velodb {
namespace {

void RegisterBackupStrings() {
    RegisterStrings({
        {kIdsBackupNoTables, "%1 にはバックアップする表がありません。"},
        {kIdsBackupTablesKeptChanging,
         "他のプログラムの保存が続いたため、%1 回コピーし直してもすべての表を同じ時点の状態で"
         "そろえられませんでした。バックアップは作成していません。しばらくしてからもう一度実行して"
         "ください。"},
        {kIdsBackupTableUnreadable, "表 %1 を読み込めません: %2"},
        {kIdsBackupFileUnreadable, "ファイル %1 を読み込めません: %2"},
        {kIdsBackupWriteFailed,
         "バックアップ %1 を書き込めません: %2（書きかけのファイルは残していません）"},
        {kIdsBackupWorkFolderFailed, "作業用のフォルダを作成できません: %1"},
        {kIdsBackupPullFailed, "サーバーの表を取り出せません: %1"},
        {kIdsBackupDone, "バックアップを作成しました: %1（表 %2、ファイル %3）"},
        {kIdsBackupOldRemoved, "古いバックアップを削除しました: %1"},
        {kIdsBackupOldNotRemoved, "古いバックアップ %1 を削除できません: %2"},
        {kIdsBackupSkipped,
         "%1 は通常のファイルでもフォルダでもないため、バックアップに含めません。"},
        {kIdsBackupNameTaken, "%1 は既にあります。"},
        {kIdsBackupNotAFolder, "%1 はフォルダではありません。"},
        {kIdsInUseWorkingFile, "作業ファイル %1 を開いているプログラムがあります"},
        {kIdsInUseTableLocked, "表 %1 を読み書きしているプログラムがあります"},
        {kIdsInUseFilesLocked, "設定またはカレンダーメモを変更しているプログラムがあります"},
        {kIdsRestoreCannotOpen, "バックアップ %1 を開けません: %2"},
        {kIdsRestoreDamagedEntry,
         "バックアップが壊れています（%1 を読み込む途中: %2）。何も書き込んでいません。"},
        {kIdsRestoreDamaged, "バックアップが壊れています（%1）。何も書き込んでいません。"},
        {kIdsRestoreForeign,
         "%1 はこのシステムのバックアップではありません（内容の一覧 %2 がありません）。"
         "何も書き込んでいません。"},
        {kIdsRestoreChecksum,
         "バックアップの %1 が内容の一覧と一致しません（実際は %2、一覧では %3）。"
         "何も書き込んでいません。"},
        {kIdsRestoreMissing,
         "バックアップに %1 がありません（内容の一覧には載っています）。何も書き込んでいません。"},
        {kIdsRestoreExtra,
         "バックアップに内容の一覧にない %1 があります。何も書き込んでいません。"},
        {kIdsRestoreHoldsTables,
         "%1 には既に表ファイルがあります。置き換える場合は --force を付けてください。"},
        {kIdsRestoreInUse,
         "%1 は他のプログラムが使用中です（%2）。このフォルダを使うプログラムをすべて終了してから"
         "復元してください。何も書き込んでいません。"},
        {kIdsRestoreServerFolder,
         "%1 の表はサーバーにあります（velodb.conninfo）。空のフォルダに復元してから、"
         "velodb push でサーバーに戻してください。"},
        {kIdsRestoreWriteFailed, "%1 に復元できません: %2"},
        {kIdsRestoreDone, "%1 を %2 に復元しました（表 %3、ファイル %4）。"},
        {kIdsRestoreCheckFailed, "復元後の確認（velodb check）で問題が見つかりました。"},
        {kIdsRestoreCheckOk, "復元後の確認（velodb check）: 問題ありません。"},
        {kIdsRestoreIncomplete,
         "このフォルダへの復元が途中で止まっています。velodb restore を --force を付けて"
         "もう一度実行してください。"},
        {kIdsRestoreUnsafeEntry,
         "バックアップの項目 %1 は使えない名前です（復元先のフォルダの外を指すか、通常のファイル"
         "でもフォルダでもありません）。何も書き込んでいません。"},
        {kIdsRestoreFromServer,
         "このバックアップはサーバーの表から作成したものです。表はフォルダのデータベースとして"
         "復元しました。サーバーで使う場合は velodb push で戻してください。"},
        {kIdsSizeAndChecksum, "%1 バイト、SHA-256 %2"},
        {kIdsReadError, "読み込みエラー"},
        {kIdsSizeChanged, "読み込み中に大きさが変わりました"},
        {kIdsManifestNote,
         "接続ファイル velodb.conninfo はサーバーのパスワードを含むことがあるため、"
         "バックアップに含めていません。"},
    });
}

}  // namespace

std::string BackupText(int id, std::initializer_list<std::string> args) {
    static std::once_flag registered;
    std::call_once(registered, RegisterBackupStrings);
    // One pass, so that a path holding "%2" stays as it is.
    const std::string text = LoadString(id).toStdString();
    const std::vector<std::string> values(args);
    std::string filled;
    for (size_t i = 0; i < text.size(); ++i) {
        const size_t n = i + 1 < text.size() ? size_t(text[i + 1] - '1') : values.size();
        if (text[i] == '%' && n < values.size() && n < 9) {
            filled += values[n];
            ++i;
        } else {
            filled += text[i];
        }
    }
    return filled;
}

}  // namespace velodb
