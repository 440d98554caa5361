// The one place where the window's twips become pixels.
#pragma once

#include <QRect>
#include <QSize>

class QFont;

namespace app {

// The layout counts 15 twips a pixel for a dialog font whose letters average 6 pixels wide and
// whose lines are 13 pixels high. A wider or taller font stretches each axis by the same ratio,
// so every caption still fits its box; a smaller font keeps 15 twips a pixel.
class Twips {
  public:
    static constexpr double kTwipsPerPixel = 15.0;
    static constexpr double kReferenceLetterWidth = 6.0;
    static constexpr double kReferenceLineHeight = 13.0;

    Twips(double scaleX, double scaleY);
    static Twips forFont(const QFont &font);

    // Edges are converted, not sizes, so controls that share an edge in twips share it in
    // pixels too.
    QRect rect(int left, int top, int width, int height) const;
    QSize size(int width, int height) const;

    double scaleX() const { return m_scaleX; }
    double scaleY() const { return m_scaleY; }

  private:
    int x(int twips) const;
    int y(int twips) const;

    double m_scaleX;
    double m_scaleY;
};

} // namespace app
