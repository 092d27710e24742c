// The process-wide string table behind LoadString.
#include "suite/tool/strings.h"

#include <QHash>
#include <mutex>

namespace {

std::mutex g_mutex;

QHash<int, QString>& Table() {
    static QHash<int, QString> table;
    return table;
}

}  // namespace

void RegisterStrings(std::initializer_list<std::pair<int, const char*>> strings) {
    std::lock_guard<std::mutex> lock(g_mutex);
    for (const auto& [id, text] : strings) Table().insert(id, QString::fromUtf8(text ? text : ""));
}

QString LoadString(int id) {
    std::lock_guard<std::mutex> lock(g_mutex);
    return Table().value(id);
}
