#pragma once

#include <QRect>

namespace korvalt {

// Window designs are measured in twips: 15 twips to a pixel at 96 dpi.
inline constexpr int twips(int value) {
    return value / 15;
}
constexpr QRect twipsRect(int left, int top, int width, int height) {
    return QRect(twips(left), twips(top), twips(width), twips(height));
}

} // namespace korvalt
