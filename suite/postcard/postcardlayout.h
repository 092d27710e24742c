// The layout of a reminder postcard (a Japanese postcard, 100 x 148 mm, portrait): the
// seven postal-code boxes at the top right, the address and the name with "様" written
// vertically (or horizontally), a short reminder of the next reservation, and the clinic as
// sender at the lower left. It paints on any paged device, so the print preview, a printer
// and a PDF file get the same cards.
#pragma once

#include <QPageLayout>
#include <string>
#include <vector>

#include "suite/postcard/postcarddata.h"

class QPagedPaintDevice;
class QPainter;

inline constexpr double kPostcardWidthMm = 100.0;
inline constexpr double kPostcardHeightMm = 148.0;

// How the address side is written.
enum EPostcardMode : int {
    kPostcardVertical = 0,    // 縦書き, right to left; also any mode other than 1
    kPostcardHorizontal = 1,  // 横書き
};

// A portrait postcard page without margins.
QPageLayout PostcardPageLayout();

// Paints one card per addressee, each on its own page, on a device that `painter` has begun
// on with its origin at the paper's corner (a printer in full-page mode, or a PDF writer
// without margins). Returns false when a new page could not be started.
bool PaintPostcards(QPainter& painter, QPagedPaintDevice& device,
                    const std::vector<CPostcardAddressee>& cards, const CPostcardSender& sender,
                    int mode);

// Writes the cards as a PDF file at `path`, replacing it atomically. Returns false, with
// the reason in *error, when nothing could be painted or written.
bool PrintPostcardsToPdf(const std::string& path, const std::vector<CPostcardAddressee>& cards,
                         const CPostcardSender& sender, int mode, std::string* error = nullptr);

// The reminder lines of a card: "ご予約のお知らせ", then the reservation's day and time
// when there is one.
std::vector<QString> PostcardReminderLines(const CPostcardAddressee& card);
