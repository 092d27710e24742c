#include "suite/comdlg/storableedits.h"

#include <QLineEdit>
#include <QString>

#include "suite/text/cp932.h"
#include "suite/tool/storabletext.h"

bool CheckStorableEdits(QWidget* parent, const QString& title, const QList<QLineEdit*>& edits) {
    QString lacking;
    QLineEdit* first = nullptr;
    for (QLineEdit* edit : edits) {
        const QString own = CharactersCp932Lacks(edit->text().trimmed());
        if (own.isEmpty()) continue;
        if (first == nullptr) first = edit;
        lacking += own;
    }
    if (first == nullptr) return true;
    // The characters gathered are all unstorable, so the check shows them, each once.
    CheckStorableText(parent, title, lacking);
    first->setFocus();
    first->selectAll();
    return false;
}
