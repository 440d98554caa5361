// The IP address box: a control that hosts a four-field editor and offers the address as
// validated dotted text through its Address property.
#pragma once

#include <QByteArray>
#include <QPointer>
#include <QString>
#include <QVariant>
#include <QWidget>

#include <exception>
#include <functional>

class IpFieldEditor;

// What the box raises: a number (5, 6, 9, 13 or 102) and its description.
class IpBoxError : public std::exception {
  public:
    IpBoxError(int number, QString description);
    int number() const { return m_number; }
    QString description() const { return m_description; }
    const char *what() const noexcept override { return m_what.constData(); }

  private:
    int m_number;
    QString m_description;
    QByteArray m_what; // "102: ..." in UTF-8
};

class IpBox : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString Address READ Address WRITE setAddress)
  public:
    // Creates the field and shows 192.168.123.100.
    explicit IpBox(QWidget *parent = nullptr);

    // Counts the UTF-16 bytes of lzExpr that equal the 8-bit code of nChar's first character;
    // the variant holds a qint16. Raises 5 (empty nChar, non-empty lzExpr) and 6 (lzExpr of
    // 16,384 code units or more).
    static QVariant CountIF(const QString &lzExpr, const QString &nChar);
    // Makes a further field at the box's size; the box works with the newest one from then on.
    // When no field can be made the box reads 0.0.0.0 and writes change nothing.
    void CreateTextBox();

    // "f0.f1.f2.f3" as the field shows it, a blank field as 0.
    QString Address() const;
    // Raises 102 (fewer than three dots), 9, 13 or 6, checking the fourth part first; on an
    // error the field keeps its address. Parts after the fourth are ignored.
    void setAddress(const QString &NewIP);

    QSize sizeHint() const override;

  protected:
    // Makes one field with the given parent; nullptr means the field could not be made.
    using FieldFactory = std::function<IpFieldEditor *(QWidget *parent)>;
    IpBox(FieldFactory makeField, QWidget *parent);

    void resizeEvent(QResizeEvent *event) override;

  private:
    QString readAddress() const;

    FieldFactory m_makeField;
    QPointer<IpFieldEditor> m_field; // the newest field; null when none could be made
};
