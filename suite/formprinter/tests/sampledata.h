// Test helper: writes form data files the way the lab schedule does (fifty lines a page,
// seven fields a line, running numbers over all pages), as code page 932 bytes.
#pragma once

#include <QString>
#include <QStringList>
#include <string>
#include <vector>

#include "suite/text/cp932.h"

struct SSampleRow {
    QString item, staff, due, finished, patient, memo;
};

inline std::vector<SSampleRow> SampleRows(int count) {
    std::vector<SSampleRow> rows;
    for (int i = 1; i <= count; ++i) {
        rows.push_back({QStringLiteral("上顎床装置 %1").arg(i), QStringLiteral("山田技工所"),
                        QStringLiteral("2026/12/07(月) 午前"),
                        i % 2 ? QString() : QStringLiteral("2026/12/05(土)"),
                        QStringLiteral("[%1]歯科 花子").arg(i, 10, 10, QLatin1Char('0')),
                        QStringLiteral("備考%1").arg(i)});
    }
    return rows;
}

inline std::string SampleDataFile(const std::vector<SSampleRow>& rows) {
    constexpr int kPerPage = 50;
    const int count = static_cast<int>(rows.size());
    const int pages = count == 0 ? 1 : (count + kPerPage - 1) / kPerPage;
    QStringList out;
    out << QStringLiteral("[page]") << QStringLiteral("pagecount=%1").arg(pages) << QString();
    for (int p = 1; p <= pages; ++p) {
        out << QStringLiteral("[startpage%1]").arg(p) << QStringLiteral("[SimpleData]")
            << QStringLiteral("Count=5")
            << QStringLiteral("Data1=2026/12/01現在  %1/%2").arg(p).arg(pages)
            << QStringLiteral("Data2=さくら矯正歯科")
            << QStringLiteral("Data3=東京都千代田区丸の内1-1-1")
            << QStringLiteral("Data4=電話：03-1234-5678")
            << QStringLiteral("Data5=(2026年12月1日～2026年12月8日)") << QString()
            << QStringLiteral("[ListData]") << QStringLiteral("ListCount=1") << QString()
            << QStringLiteral("[ListData1]") << QStringLiteral("RowCount=7")
            << QStringLiteral("ColumnCount=50") << QString();
        for (int j = 1; j <= kPerPage; ++j) {
            const int n = (p - 1) * kPerPage + j;
            out << QStringLiteral("Data%1%2=%3")
                       .arg(j, 2, 10, QLatin1Char('0'))
                       .arg(QStringLiteral("01"))
                       .arg(n);
            const SSampleRow* row = n <= count ? &rows[n - 1] : nullptr;
            const QString texts[6] = {
                row ? row->item : QString(),    row ? row->staff : QString(),
                row ? row->due : QString(),     row ? row->finished : QString(),
                row ? row->patient : QString(), row ? row->memo : QString()};
            for (int f = 0; f < 6; ++f) {
                out << QStringLiteral("Data%1%2=%3")
                           .arg(j, 2, 10, QLatin1Char('0'))
                           .arg(f + 2, 2, 10, QLatin1Char('0'))
                           .arg(texts[f]);
            }
        }
        out << QStringLiteral("[endpage%1]").arg(p) << QString();
    }
    return QStringToCp932(out.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"));
}
