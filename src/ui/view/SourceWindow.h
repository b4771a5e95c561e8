#pragma once
// The source window: a message's stored raw text, read-only in a monospace
// view, captioned "Message source: SUBJECT" (DETAILSWND, MessageSource).
// Ctrl+F shows a find field (Enter finds the next match, from the top again
// after the last); the text can be selected and copied. Modal.

#include "ui/common/TranslatedWindow.h"

class QLineEdit;
class QPlainTextEdit;

namespace vm {

class SourceWindow : public TranslatedWindow
{
    Q_OBJECT
public:
    SourceWindow(const QByteArray& raw, const QString& subject, QWidget* parent = nullptr);

    // Selects the next match of text after the cursor, wrapping to the top
    // once; false when the text holds none.
    bool FindNext(const QString& text);

    QPlainTextEdit* MSource;
    QLineEdit* EFind;
};

} // namespace vm
