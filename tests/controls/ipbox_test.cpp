#include "controls/IpFieldEditor.h"
#include "controls/dmIp.h"

#include <QFontDatabase>
#include <QLineEdit>
#include <QStringList>

#include <gtest/gtest.h>

#include <optional>

namespace {

const QString kBadFormatText =
    QString::fromUtf16(u"Ip \u5730\u5740\u683C\u5F0F\u9519\u8BEF\r\n"
                       u"\u6B63\u786E\u7684\u683C\u5F0F\u5E94\u8BE5\u4E3A: 255.255.255.255");

// Lets the tests choose how the box makes its fields.
class BoxWithFactory : public IpBox {
  public:
    explicit BoxWithFactory(FieldFactory makeField) : IpBox(std::move(makeField), nullptr) {}
};

IpFieldEditor *makeEditor(QWidget *parent) {
    return new IpFieldEditor(parent);
}
IpFieldEditor *makeNothing(QWidget *) {
    return nullptr;
}

QList<IpFieldEditor *> editorsOf(const IpBox &box) {
    return box.findChildren<IpFieldEditor *>(Qt::FindDirectChildrenOnly);
}

QStringList shown(const IpFieldEditor *editor) {
    QStringList texts;
    for (int i = 0; i < 4; ++i)
        texts << editor->findChild<QLineEdit *>(QStringLiteral("field%1").arg(i))->text();
    return texts;
}

template <class F> std::optional<IpBoxError> raisedBy(F &&f) {
    try {
        f();
    } catch (const IpBoxError &e) {
        return e;
    }
    return std::nullopt;
}

} // namespace

TEST(ipbox_address_test, new_box_shows_the_initial_address) {
    IpBox box;
    ASSERT_EQ(editorsOf(box).size(), 1);
    EXPECT_EQ(shown(editorsOf(box)[0]), (QStringList{"192", "168", "123", "100"}));
    EXPECT_EQ(box.Address(), "192.168.123.100");
    EXPECT_EQ(box.property("Address").toString(), "192.168.123.100");
    EXPECT_EQ(box.size(), QSize(132, 19));
    EXPECT_EQ(editorsOf(box)[0]->geometry(), box.rect());
}

TEST(ipbox_address_test, writes_read_back_as_four_plain_numbers) {
    struct Row {
        const char *write;
        const char *read;
    } rows[] = {
        {"010.001.000.255", "10.1.0.255"},
        {"1.2.3.4.5", "1.2.3.4"},
        {"1.2.3.4.x", "1.2.3.4"},
        {"0.0.0.0", "0.0.0.0"},
        {"255.255.255.255", "255.255.255.255"},
    };
    IpBox box;
    for (const Row &r : rows) {
        EXPECT_FALSE(raisedBy([&] { box.setAddress(r.write); })) << r.write;
        EXPECT_EQ(box.Address(), r.read) << r.write;
    }
    EXPECT_TRUE(box.setProperty("Address", QStringLiteral("7.8.9.10")));
    EXPECT_EQ(shown(editorsOf(box)[0]), (QStringList{"7", "8", "9", "10"}));
}

TEST(ipbox_address_test, malformed_writes_raise_and_keep_the_field) {
    struct Row {
        QString write;
        int number;
        QString description;
    } rows[] = {
        {"1.2.3", 102, kBadFormatText},
        {"1.2", 102, kBadFormatText},
        {"abc", 102, kBadFormatText},
        {"", 102, kBadFormatText},
        {QStringLiteral("1.2.3") + QChar(0x042E), 9, "Subscript out of range"},
        {"1..2.3", 13, "Type mismatch"},
        {"256.1.1.1", 6, "Overflow"},
        {"-1.2.3.4", 6, "Overflow"},
        {"300.1.1.x", 13, "Type mismatch"},
        {QString(16384, '.'), 6, "Overflow"},
    };
    IpBox box;
    box.setAddress("10.20.30.40");
    for (const Row &r : rows) {
        const std::optional<IpBoxError> e = raisedBy([&] { box.setAddress(r.write); });
        ASSERT_TRUE(e) << r.write.left(20).toStdString();
        EXPECT_EQ(e->number(), r.number) << r.write.left(20).toStdString();
        EXPECT_EQ(e->description(), r.description) << r.write.left(20).toStdString();
        EXPECT_EQ(box.Address(), "10.20.30.40") << r.write.left(20).toStdString();
    }
}

TEST(ipbox_address_test, blank_fields_read_as_zero) {
    IpBox box;
    IpFieldEditor *editor = editorsOf(box)[0];
    editor->findChild<QLineEdit *>("field2")->clear();
    EXPECT_EQ(box.Address(), "192.168.0.100");
    for (QLineEdit *field : editor->findChildren<QLineEdit *>())
        field->clear();
    EXPECT_EQ(box.Address(), "0.0.0.0");
}

TEST(ipbox_count_test, count_is_a_short_in_a_variant) {
    const QVariant n = IpBox::CountIF("a.b.c", ".");
    EXPECT_EQ(n.metaType(), QMetaType::fromType<qint16>());
    EXPECT_EQ(n.value<qint16>(), 2);
    EXPECT_EQ(IpBox::CountIF(QString(QChar(0x042E)), ".").value<qint16>(), 1);
    EXPECT_EQ(IpBox::CountIF(QString(16383, '.'), ".").value<qint16>(), 16383);
}

TEST(ipbox_count_test, count_errors_carry_number_and_description) {
    const std::optional<IpBoxError> empty = raisedBy([] { IpBox::CountIF("a.b", ""); });
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->number(), 5);
    EXPECT_EQ(empty->description(), "Invalid procedure call or argument");
    EXPECT_STREQ(empty->what(), "5: Invalid procedure call or argument");

    const std::optional<IpBoxError> longText =
        raisedBy([] { IpBox::CountIF(QString(16384, 'x'), "."); });
    ASSERT_TRUE(longText);
    EXPECT_EQ(longText->number(), 6);
    EXPECT_EQ(longText->description(), "Overflow");
}

TEST(ipbox_field_test, field_follows_every_resize) {
    IpBox box;
    box.show();
    for (const QSize size : {QSize(300, 40), QSize(60, 12), QSize(132, 19)}) {
        box.resize(size);
        EXPECT_EQ(editorsOf(box)[0]->geometry(), QRect(QPoint(0, 0), size))
            << size.width() << "x" << size.height();
    }
}

TEST(ipbox_field_test, field_keeps_the_default_gui_font) {
    IpBox box;
    QFont large = box.font();
    large.setPointSize(large.pointSize() + 20);
    box.setFont(large);
    const QFont gui = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    EXPECT_EQ(editorsOf(box)[0]->font(), gui);
    EXPECT_EQ(editorsOf(box)[0]->findChild<QLineEdit *>("field0")->font(), gui);
}

TEST(ipbox_field_test, second_field_becomes_the_one_in_use) {
    IpBox box;
    box.show();
    box.setAddress("1.1.1.1");
    box.CreateTextBox();
    const QList<IpFieldEditor *> editors = editorsOf(box);
    ASSERT_EQ(editors.size(), 2);
    EXPECT_EQ(box.Address(), "0.0.0.0") << "the new field is blank";
    EXPECT_EQ(editors[1]->geometry(), box.rect());
    EXPECT_TRUE(editors[1]->isVisible());

    box.setAddress("2.2.2.2");
    EXPECT_EQ(shown(editors[1]), (QStringList{"2", "2", "2", "2"}));
    EXPECT_EQ(shown(editors[0]), (QStringList{"1", "1", "1", "1"}));

    box.resize(200, 30);
    EXPECT_EQ(editors[1]->geometry(), QRect(0, 0, 200, 30));
    EXPECT_EQ(editors[0]->geometry(), QRect(0, 0, 132, 19)) << "the old field stays put";
}

TEST(ipbox_field_test, box_without_a_field_reads_zero_and_still_validates) {
    BoxWithFactory box(makeNothing);
    EXPECT_TRUE(editorsOf(box).isEmpty());
    EXPECT_EQ(box.Address(), "0.0.0.0");

    const std::optional<IpBoxError> e = raisedBy([&] { box.setAddress("1.2.3"); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->number(), 102);
    EXPECT_FALSE(raisedBy([&] { box.setAddress("5.6.7.8"); }));
    EXPECT_EQ(box.Address(), "0.0.0.0");

    box.show();
    box.resize(200, 30);
    EXPECT_EQ(box.Address(), "0.0.0.0");
}

TEST(ipbox_field_test, failed_later_field_leaves_the_box_without_one) {
    int made = 0;
    BoxWithFactory box([&made](QWidget *parent) {
        return made++ == 0 ? makeEditor(parent) : makeNothing(parent);
    });
    ASSERT_EQ(box.Address(), "192.168.123.100");
    box.CreateTextBox();
    EXPECT_EQ(made, 2);
    EXPECT_EQ(box.Address(), "0.0.0.0");
    box.setAddress("5.6.7.8");
    EXPECT_EQ(shown(editorsOf(box)[0]), (QStringList{"192", "168", "123", "100"}));
}
