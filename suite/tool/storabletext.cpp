#include "suite/tool/storabletext.h"

#include "suite/text/cp932.h"
#include "suite/tool/messageservice.h"

QString UnstorableCharactersMessage(const QString& lacking) {
    QStringList shown;
    for (qsizetype i = 0; i < lacking.size(); ++i) {
        // Keep a surrogate pair together.
        const qsizetype length = lacking.at(i).isHighSurrogate() && i + 1 < lacking.size() ? 2 : 1;
        shown << QStringLiteral("「%1」").arg(lacking.mid(i, length));
        i += length - 1;
    }
    return QStringLiteral("次の文字は保存できません。別の文字に置き換えてください。\n%1")
        .arg(shown.join(QStringLiteral(" ")));
}

bool CheckStorableText(QWidget* parent, const QString& title, const QString& text) {
    const QString lacking = CharactersCp932Lacks(text);
    if (lacking.isEmpty()) return true;
    CMessageService::MessageBox(parent, UnstorableCharactersMessage(lacking), title,
                                CMessageService::EIcon::Warning);
    return false;
}
