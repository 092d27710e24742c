// The check the entry dialogs make before they store what was typed into their line edits:
// every text must be storable in code page 932, or the user is asked to replace the
// characters that are not, with every text left as typed.
#pragma once

#include <QList>

class QLineEdit;
class QString;
class QWidget;

// True when the text of every edit (trimmed, as the dialogs store it) can be stored.
// Otherwise shows one message (a warning with `title`) naming the characters of all the
// edits that cannot be stored, gives the first such edit the focus with its text selected,
// and returns false.
bool CheckStorableEdits(QWidget* parent, const QString& title, const QList<QLineEdit*>& edits);
