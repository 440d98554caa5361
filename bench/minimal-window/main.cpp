// The yardstick for the start-up benchmark: the smallest Qt Widgets window with a title. With
// --caption it shows one caption too: what any window with text pays for its fonts.
#include <QApplication>
#include <QLabel>
#include <QWidget>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    QWidget w;
    w.setWindowTitle("MinimalWindow");
    w.resize(598, 264);
    if (argc > 1 && QByteArray(argv[1]) == "--caption")
        new QLabel(QStringLiteral("Select Port:"), &w);
    w.show();
    return app.exec();
}
