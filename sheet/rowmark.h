// The small round marks that tell list rows apart at a glance (booked or came, open entry
// or booked one, cancelled or not kept), drawn at list-icon size.
#pragma once

#include <QColor>
#include <QIcon>

namespace velo::sheet {

constexpr int kRowMarkSize = 16;

// A filled circle with a dark outline.
QIcon RowMark(const QColor& fill);

}  // namespace velo::sheet
