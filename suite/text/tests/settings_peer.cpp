// A second program changing the suite settings, for the settings tests:
//   write DIR PREFIX N  use DIR as the database folder, print "ready", wait for the line
//                       "go", then store N values in GlobalSetting.ini, each in its own
//                       change: keys PREFIX0 .. PREFIX(N-1) of section "Race" (every fifth
//                       one through SetValues with a companion key PREFIXiCopy, and for
//                       every seventh a day of the prefix's own marked closed through
//                       SetClinicDays),
//                       printing "failed I" for a change that was refused, and "done"
#include <QDate>
#include <cstdlib>
#include <iostream>
#include <string>

#include "suite/text/globalsettings.h"

namespace {

bool StoreOne(const QString& prefix, int i) {
    const QString key = prefix + QString::number(i);
    if (i % 7 == 0) {
        // Days of their own for each prefix letter, fifty days apart.
        const QDate day = QDate(2030, 1, 1).addDays(prefix.at(0).unicode() * 50 + i / 7);
        const std::string ymd = day.toString(QStringLiteral("yyyyMMdd")).toStdString();
        if (!CGlobalSettings::SetClinicDays({{ymd, CGlobalSettings::kClinicDayClosed}}))
            return false;
    }
    if (i % 5 == 0) {
        return CGlobalSettings::SetValues(
            {{"Race", key, QString::number(i)}, {"Race", key + "Copy", QString::number(i)}});
    }
    return CGlobalSettings::SetInt("Race", key, i);
}

int Write(const std::string& dir, const QString& prefix, int count) {
    CGlobalSettings::SetDatabaseFolder(dir);
    std::cout << "ready" << std::endl;
    std::string line;
    if (!std::getline(std::cin, line) || line != "go") return 1;
    for (int i = 0; i < count; ++i) {
        if (!StoreOne(prefix, i)) std::cout << "failed " << i << "\n";
    }
    std::cout << "done" << std::endl;
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "write" && argc == 5)
        return Write(argv[2], QString::fromUtf8(argv[3]), std::atoi(argv[4]));
    std::cerr << "usage: settings_peer write DIR PREFIX N" << std::endl;
    return 2;
}
