#include "app/twips.h"

#include <algorithm>
#include <cmath>

namespace app {

Twips::Twips(double scaleX, double scaleY)
    : m_scaleX(std::max(1.0, scaleX)), m_scaleY(std::max(1.0, scaleY)) {}

Twips Twips::fitting(const std::vector<WidthNeed> &needs, double lineHeight) {
    double scaleX = 1.0;
    for (const WidthNeed &n : needs) {
        // One pixel more than the caption needs: rounding both edges of a box may cost one.
        scaleX = std::max(scaleX, (n.pixels + 1) * kTwipsPerPixel / n.boxTwips);
    }
    return Twips(scaleX, lineHeight / kReferenceLineHeight);
}

int Twips::x(int twips) const {
    return static_cast<int>(std::lround(twips * m_scaleX / kTwipsPerPixel));
}

int Twips::y(int twips) const {
    return static_cast<int>(std::lround(twips * m_scaleY / kTwipsPerPixel));
}

QRect Twips::rect(int left, int top, int width, int height) const {
    const int l = x(left);
    const int t = y(top);
    return QRect(l, t, x(left + width) - l, y(top + height) - t);
}

QSize Twips::size(int width, int height) const {
    return QSize(x(width), y(height));
}

} // namespace app
