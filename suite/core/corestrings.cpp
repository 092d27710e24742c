// The shared texts of the billing screens.
#include "suite/core/corestrings.h"

#include "suite/tool/strings.h"

QString UpdateErrorText() {
    const QString text = LoadString(1514);
    return text.isEmpty() ? QStringLiteral("データの更新を行なう際、エラーが発生します。") : text;
}
