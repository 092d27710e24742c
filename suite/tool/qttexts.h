// Qt's own words — the buttons of the message boxes, the file, folder and print dialogs —
// in Japanese like every other word of the suite, from Debian's translations of Qt
// (qt6-translations-l10n).
#pragma once

// Installs the Japanese translation of Qt's own texts in the running application. False,
// with a line on the error output, when the machine lacks it: Qt's English words stay.
// REQUIRES: a QApplication exists.
bool UseJapaneseQtTexts();
