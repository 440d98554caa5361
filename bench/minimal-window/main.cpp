// The yardstick for the start-up benchmark: the smallest Qt Widgets window with a title.
#include <QApplication>
#include <QWidget>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    QWidget w;
    w.setWindowTitle("MinimalWindow");
    w.resize(598, 264);
    w.show();
    return app.exec();
}
