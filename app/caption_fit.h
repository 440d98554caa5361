// How much room a control needs to show its caption whole, in its own font and style.
#pragma once

class QWidget;

namespace app {

// The width across that shows the whole caption; a word-wrapping label counts as two lines.
int neededWidth(const QWidget &control);

// The height that shows a label's text at its present width, or an option button's caption and
// mark.
int neededHeight(const QWidget &control);

} // namespace app
