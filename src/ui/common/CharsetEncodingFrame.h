#pragma once
// The charset chooser several windows share: one drop-down list
// "CBCharsetEncoding" of the 27 charsets of the program's table, in the
// order of the language file's list, selected and read by charset id.

#include <QComboBox>
#include <QWidget>

namespace vm {

class CharsetEncodingFrame : public QWidget
{
    Q_OBJECT
public:
    explicit CharsetEncodingFrame(QWidget* parent = nullptr);

    // Selects the charset with that id; an id not in the list selects the
    // first entry.
    void SelectCharset(int charsetId);
    int SelectedCharset() const;

    // List position <-> charset id.
    static int IdAtPosition(int position);
    static int PositionOfId(int charsetId);

    QComboBox* CBCharsetEncoding = nullptr;

signals:
    void charsetChanged(int charsetId);

protected:
    void focusInEvent(QFocusEvent* event) override;
};

} // namespace vm
