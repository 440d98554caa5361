#include "app/caption_fit.h"

#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>

#include <algorithm>

namespace app {

namespace {

// The narrowest width at which the text breaks into at most two lines at a blank.
int twoLineWidth(const QFontMetrics &m, const QString &text) {
    int best = m.horizontalAdvance(text);
    for (qsizetype at = text.indexOf(' '); at >= 0; at = text.indexOf(' ', at + 1))
        best = std::min(best, std::max(m.horizontalAdvance(text.left(at)),
                                       m.horizontalAdvance(text.mid(at + 1))));
    return best;
}

int labelChrome(const QLabel &label) {
    const QMargins c = label.contentsMargins();
    return c.left() + c.right() + 2 * label.margin();
}

} // namespace

int neededWidth(const QWidget &control) {
    if (const auto *label = qobject_cast<const QLabel *>(&control)) {
        if (label->wordWrap())
            return twoLineWidth(label->fontMetrics(), label->text()) + labelChrome(*label);
        return label->sizeHint().width();
    }
    if (const auto *edit = qobject_cast<const QLineEdit *>(&control)) {
        // Its size hint is room for 17 letters x plus the frame; the frame is what is kept.
        const QFontMetrics m = edit->fontMetrics();
        const int chrome = edit->sizeHint().width() - 17 * m.horizontalAdvance(QLatin1Char('x'));
        return m.horizontalAdvance(edit->text()) + chrome;
    }
    return control.sizeHint().width();
}

int neededHeight(const QWidget &control) {
    if (const auto *label = qobject_cast<const QLabel *>(&control))
        return label->wordWrap() ? label->heightForWidth(label->width())
                                 : label->sizeHint().height();
    const int mark =
        control.style()->pixelMetric(QStyle::PM_ExclusiveIndicatorHeight, nullptr, &control);
    return std::max(control.fontMetrics().height(), mark);
}

} // namespace app
