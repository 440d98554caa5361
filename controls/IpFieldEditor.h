// A four-field IPv4 editor: digits only, at most three a field, each field 0 to 255.
#pragma once

#include <QWidget>

#include <array>

class QLineEdit;

class IpFieldEditor : public QWidget {
    Q_OBJECT
  public:
    explicit IpFieldEditor(QWidget *parent = nullptr);

    // The packed address: field 0 (leftmost) in bits 24 to 31 ... field 3 in bits 0 to 7.
    void setPacked(quint32 packed);
    // A blank field reads as 0.
    quint32 packed() const;

  signals:
    // The user changed a field: typing, deleting or pasting. Not sent by setPacked.
    void edited();

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

  private:
    enum class Landing { Start, End, All };

    int indexOf(const QObject *field) const;
    bool handleKey(int index, const QKeyEvent &key);
    void fieldEdited(int index);
    bool takeDottedText(const QString &text);
    void moveTo(int index, Landing landing);

    std::array<QLineEdit *, 4> m_fields{};
};
