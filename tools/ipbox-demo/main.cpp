// A window to try the IP address box: it shows Address as it changes and writes it on request,
// with the number and description of any error.
#include "controls/IpFieldEditor.h"
#include "controls/dmIp.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include <cstdio>

namespace {

class DemoWindow : public QWidget {
  public:
    DemoWindow() {
        setWindowTitle(QStringLiteral("IP address box"));
        m_box->setMinimumSize(180, 26);
        m_read->setReadOnly(true);
        m_write->setPlaceholderText(QStringLiteral("e.g. 10.0.0.1"));
        m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);

        auto *writeRow = new QHBoxLayout;
        auto *writeButton = new QPushButton(QStringLiteral("Write"), this);
        writeRow->addWidget(m_write, 1);
        writeRow->addWidget(writeButton);

        auto *form = new QFormLayout(this);
        form->addRow(QStringLiteral("IP box:"), m_box);
        form->addRow(QStringLiteral("Address reads:"), m_read);
        form->addRow(QStringLiteral("Write Address:"), writeRow);
        form->addRow(QString(), m_status);

        // The box's newest field tells when the user changes it.
        if (auto *editor = m_box->findChildren<IpFieldEditor *>().value(0))
            connect(editor, &IpFieldEditor::edited, this, &DemoWindow::showAddress);
        connect(writeButton, &QPushButton::clicked, this, &DemoWindow::writeAddress);
        connect(m_write, &QLineEdit::returnPressed, this, &DemoWindow::writeAddress);
        showAddress();
    }

    void write(const QString &text) {
        m_write->setText(text);
        writeAddress();
    }

  private:
    void showAddress() { m_read->setText(m_box->Address()); }

    void writeAddress() {
        try {
            m_box->setAddress(m_write->text());
            m_status->setText(QStringLiteral("Written."));
        } catch (const IpBoxError &e) {
            QString description = e.description();
            description.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
            m_status->setText(QStringLiteral("Error %1: %2").arg(e.number()).arg(description));
        }
        showAddress();
    }

    IpBox *m_box = new IpBox(this);
    QLineEdit *m_read = new QLineEdit(this);
    QLineEdit *m_write = new QLineEdit(this);
    QLabel *m_status = new QLabel(this);
};

} // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    QCommandLineParser options;
    options.setApplicationDescription(QStringLiteral("Try the IP address box."));
    options.addHelpOption();
    const QCommandLineOption write(QStringLiteral("write"),
                                   QStringLiteral("Write <text> to Address at start."),
                                   QStringLiteral("text"));
    const QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                        QStringLiteral("Save the window to <file> and quit."),
                                        QStringLiteral("file"));
    options.addOption(write);
    options.addOption(screenshot);
    options.process(app);

    DemoWindow window;
    if (options.isSet(write))
        window.write(options.value(write));
    window.show();

    if (options.isSet(screenshot)) {
        const QString file = options.value(screenshot);
        if (!window.grab().save(file)) {
            std::fprintf(stderr, "ipbox-demo: cannot write %s\n", qPrintable(file));
            return 1;
        }
        return 0;
    }
    return app.exec();
}
