// Byte limits of free-text controls.
#include "sheet/textlimit.h"

#include <QLineEdit>

#include "suite/text/cp932.h"

namespace velo::sheet {

QString LimitCp932Bytes(const QString& text, int maxBytes) {
    if (maxBytes <= 0) return QString();
    if (static_cast<int>(QStringToCp932(text).size()) <= maxBytes) return text;
    int bytes = 0;
    int kept = 0;
    while (kept < text.size()) {
        const int step = text.at(kept).isHighSurrogate() && kept + 1 < text.size() ? 2 : 1;
        const int size = static_cast<int>(QStringToCp932(text.mid(kept, step)).size());
        if (bytes + size > maxBytes) break;
        bytes += size;
        kept += step;
    }
    return text.left(kept);
}

void LimitEditToCp932Bytes(QLineEdit* edit, int maxBytes) {
    QObject::connect(edit, &QLineEdit::textChanged, edit, [edit, maxBytes](const QString& text) {
        const QString limited = LimitCp932Bytes(text, maxBytes);
        if (limited.size() != text.size()) edit->setText(limited);
    });
}

}  // namespace velo::sheet
