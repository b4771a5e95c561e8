#include "ui/view/SourceWindow.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QStringDecoder>
#include <QVBoxLayout>

#include "lang/Lang.h"
#include "ui/common/FixedPitchFont.h"

namespace vm {

namespace {

// Raw text as UTF-8 when it is valid UTF-8, else byte for byte as Latin-1,
// so every byte shows as one character.
QString RawText(const QByteArray& raw)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(raw);
    return utf8.hasError() ? QString::fromLatin1(raw) : text;
}

} // namespace

SourceWindow::SourceWindow(const QByteArray& raw, const QString& subject, QWidget* parent)
    : TranslatedWindow(parent)
{
    setObjectName(QStringLiteral("SourceWnd"));
    setWindowTitle(
        LangFormat(QStringLiteral("DETAILSWND"), QStringLiteral("MessageSource"), {subject}));
    setSizeGripEnabled(true);
    resize(700, 550);
    auto* layout = new QVBoxLayout(this);
    MSource = new QPlainTextEdit(this);
    MSource->setObjectName(QStringLiteral("MSource"));
    MSource->setReadOnly(true);
    MSource->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    MSource->setLineWrapMode(QPlainTextEdit::NoWrap);
    MSource->setFont(FixedPitchFont(10));
    MSource->setPlainText(RawText(raw));
    layout->addWidget(MSource);
    EFind = new QLineEdit(this);
    EFind->setObjectName(QStringLiteral("EFind"));
    EFind->setClearButtonEnabled(true);
    EFind->hide();
    layout->addWidget(EFind);
    connect(EFind, &QLineEdit::returnPressed, this, [this] { FindNext(EFind->text()); });
    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, [this] {
        EFind->show();
        EFind->setFocus();
        EFind->selectAll();
    });
}

bool SourceWindow::FindNext(const QString& text)
{
    if (text.isEmpty())
        return false;
    if (MSource->find(text))
        return true;
    QTextCursor top = MSource->textCursor();
    top.movePosition(QTextCursor::Start);
    MSource->setTextCursor(top);
    return MSource->find(text);
}

} // namespace vm
