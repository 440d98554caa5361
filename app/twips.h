// The one place where the window's twips become pixels.
#pragma once

#include <QRect>
#include <QSize>

#include <vector>

namespace app {

// What one control needs across: its caption's width in pixels, in the font and style in use,
// against its box's width in twips.
struct WidthNeed {
    int pixels;
    int boxTwips;
};

// The layout counts 15 twips a pixel. Across, every distance grows by the ratio of the control
// that needs the most of its box, so that caption just fits and all others fit too; down, by the
// font's line height against 13 pixels. Neither ratio falls below 1.
class Twips {
  public:
    static constexpr double kTwipsPerPixel = 15.0;
    static constexpr double kReferenceLineHeight = 13.0;

    Twips(double scaleX, double scaleY);
    static Twips fitting(const std::vector<WidthNeed> &needs, double lineHeight);

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
