#include "app/twips.h"

#include <QFontMetricsF>

#include <algorithm>
#include <cmath>

namespace app {

Twips::Twips(double scaleX, double scaleY)
    : m_scaleX(std::max(1.0, scaleX)), m_scaleY(std::max(1.0, scaleY)) {}

Twips Twips::forFont(const QFont &font) {
    // The average letter width is measured the way dialog base units are: over A-Z and a-z.
    static const QString letters =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const QFontMetricsF m(font);
    const double letterWidth = m.horizontalAdvance(letters) / letters.size();
    return Twips(letterWidth / kReferenceLetterWidth, m.height() / kReferenceLineHeight);
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
