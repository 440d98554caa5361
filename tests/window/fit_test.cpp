// Every caption whole, in several fonts (a monospace one among them) and styles: no label cut
// at the bottom or the side, none running into its input, the baud label on two lines.
#include "window_fixture.h"

#include "support/recording_posdll.h"

#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleFactory>

using namespace window_test;
using testing_support::RecordingPosdll;

namespace {

struct Look {
    const char *family; // nullptr: the toolkit's own font
    int points;
    const char *style;
};

std::ostream &operator<<(std::ostream &os, const Look &l) {
    return os << (l.family ? l.family : "default font") << " " << l.points << " pt, " << l.style;
}

class window_fit_test : public testing::TestWithParam<Look> {
  protected:
    void SetUp() override {
        m_font = QApplication::font();
        m_style = QApplication::style()->name();
        const Look &look = GetParam();
        if (look.family) {
            ASSERT_TRUE(QFontDatabase::hasFamily(QString::fromLatin1(look.family)))
                << look.family << " is missing: scripts/install-deps.sh installs it";
            QFont font(QString::fromLatin1(look.family));
            font.setPointSize(look.points);
            QApplication::setFont(font);
        }
        QApplication::setStyle(QStyleFactory::create(QString::fromLatin1(look.style)));
        window.emplace(lib);
    }
    void TearDown() override {
        window.reset();
        QApplication::setFont(m_font);
        QApplication::setStyle(QStyleFactory::create(m_style));
    }

    RecordingPosdll lib;
    std::optional<RecordingWindow> window;

  private:
    QFont m_font;
    QString m_style;
};

// The controls that stand on the window itself.
std::vector<QWidget *> windowControls(QWidget &window) {
    std::vector<QWidget *> list;
    for (QWidget *w : window.findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        if (!w->objectName().isEmpty())
            list.push_back(w);
    return list;
}

} // namespace

TEST_P(window_fit_test, every_label_shows_its_whole_text) {
    for (QLabel *label : window->findChildren<QLabel *>()) {
        const std::string name = label->objectName().toStdString();
        const QFontMetrics m = label->fontMetrics();
        const QRect room = label->contentsRect();
        if (label->wordWrap()) {
            const QRect text = m.boundingRect(room, Qt::TextWordWrap, label->text());
            EXPECT_GT(text.height(), m.lineSpacing()) << name << ": two lines, not one";
            EXPECT_LT(text.height(), 2 * m.lineSpacing() + m.height() / 2) << name << ": not three";
            EXPECT_LE(text.width(), room.width()) << name;
            EXPECT_LE(text.height(), room.height()) << name << ": the second line is cut off";
        } else {
            EXPECT_LE(m.horizontalAdvance(label->text()), room.width()) << name;
            EXPECT_LE(m.height(), room.height()) << name << ": descenders are cut off";
        }
    }
}

TEST_P(window_fit_test, labels_keep_clear_of_every_other_control) {
    const std::vector<QWidget *> controls = windowControls(*window);
    for (QWidget *label : controls) {
        if (!qobject_cast<QLabel *>(label))
            continue;
        for (QWidget *other : controls) {
            // The column headings ON and OFF stand on the frames' top border, not inside.
            const QRect inside = qobject_cast<QGroupBox *>(other)
                                     ? other->contentsRect().translated(other->pos())
                                     : other->geometry();
            if (other == label)
                continue;
            EXPECT_FALSE(label->geometry().intersects(inside))
                << label->objectName().toStdString() << " runs into "
                << other->objectName().toStdString();
        }
    }
    // Not even touching: a gap between each connection caption and its input.
    for (const auto &[caption, input] : {std::pair{"Label1", "Combo1"},
                                         {"Label2", "Text1"},
                                         {"Label3", "Combo2"},
                                         {"Label4", "Combo3"}})
        EXPECT_LT(control<QWidget>(*window, caption)->geometry().right() + 1,
                  control<QWidget>(*window, input)->x())
            << caption;
}

TEST_P(window_fit_test, buttons_options_and_fixed_lists_fit_their_captions) {
    for (QPushButton *b : window->findChildren<QPushButton *>())
        EXPECT_TRUE(b->size().expandedTo(b->sizeHint()) == b->size())
            << b->objectName().toStdString();
    for (QRadioButton *o : window->findChildren<QRadioButton *>()) {
        const std::string name = o->objectName().toStdString();
        EXPECT_LE(o->sizeHint().width(), o->width()) << name;
        EXPECT_LE(o->fontMetrics().height(), o->height()) << name << ": caption cut off";
        EXPECT_LE(o->style()->pixelMetric(QStyle::PM_ExclusiveIndicatorHeight, nullptr, o),
                  o->height())
            << name << ": mark cut off";
        EXPECT_TRUE(o->parentWidget()->contentsRect().contains(o->geometry()))
            << name << " reaches over its frame's border";
    }
    for (const char *name : {"Combo1", "Combo3"}) {
        auto *list = control<QComboBox>(*window, name);
        EXPECT_LE(list->sizeHint().width(), list->width()) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(
    looks, window_fit_test,
    testing::Values(Look{nullptr, 0, "Fusion"}, Look{"DejaVu Sans", 7, "Fusion"},
                    Look{"DejaVu Sans", 9, "Windows"}, Look{"DejaVu Sans", 11, "Fusion"},
                    Look{"DejaVu Sans Mono", 10, "Fusion"}, Look{"DejaVu Sans Mono", 11, "Windows"},
                    Look{"DejaVu Serif", 12, "Fusion"}));
