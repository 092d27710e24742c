// Byte limits of the sheet's free-text controls. Record fields hold code page 932 bytes, so
// a text's length is counted in those bytes (a kanji takes two), not in characters.
#pragma once

#include <QString>

class QLineEdit;

namespace velo::sheet {

// The longest start of `text` whose code page 932 form fits in maxBytes, never cutting a
// character (or a surrogate pair) in two.
QString LimitCp932Bytes(const QString& text, int maxBytes);

// Keeps the edit's text within maxBytes while the user types or pastes, leaving the cursor
// at the end of what was kept.
void LimitEditToCp932Bytes(QLineEdit* edit, int maxBytes);

}  // namespace velo::sheet
