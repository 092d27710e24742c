// Records and the suite's text files hold code page 932, which lacks some characters that
// a keyboard or a paste can produce (emoji, some rare kanji, "€"). Stored as they are, they
// would silently turn into "〓"; dialogs check their texts before saving and ask the user
// to replace such characters instead.
#pragma once

#include <QString>

class QWidget;

// The message naming the characters that cannot be stored.
QString UnstorableCharactersMessage(const QString& lacking);

// True when every character of `text` can be stored. Otherwise shows the message (a
// warning with `title`) and returns false, so the dialog stays open with the text.
bool CheckStorableText(QWidget* parent, const QString& title, const QString& text);
