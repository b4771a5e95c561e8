#include "ui/common/FormParts.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>

#include "core/Messages.h"
#include "ops/ErrorList.h"
#include "net/Credentials.h"

namespace vm {

bool ParsePort(const QString& text, int& port)
{
    const QString t = text.trimmed();
    static const QRegularExpression digits(QStringLiteral("^\\+?[0-9]{1,10}$"));
    if (!digits.match(t).hasMatch())
        return false;
    bool ok = false;
    const qlonglong v = t.toLongLong(&ok);
    if (!ok || v < 0 || v > 65535)
        return false;
    port = static_cast<int>(v);
    return true;
}

QLabel* NamedLabel(const char* name, const QString& text, QWidget* parent, bool wordWrap)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    if (wordWrap)
        l->setWordWrap(true);
    return l;
}

QLineEdit* NamedEdit(const char* name, QWidget* parent)
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    return e;
}

QPushButton* NamedButton(const char* name, const char* text, QWidget* parent)
{
    auto* b = new QPushButton(QString::fromUtf8(text), parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    return b;
}

QComboBox* SslVersionList(const char* name, QWidget* parent)
{
    auto* c = new QComboBox(parent);
    c->setObjectName(QString::fromLatin1(name));
    c->addItems({QStringLiteral("SSL 2.0"), QStringLiteral("SSL 2.3"), QStringLiteral("SSL 3.0"),
                 QStringLiteral("TLS/SSL 1.0")});
    return c;
}

QLabel* TlsNoteLabel(const char* name, QWidget* parent)
{
    QLabel* label = NamedLabel(name, QString(), parent);
    QFont f = label->font();
    f.setItalic(true);
    label->setFont(f);
    return label;
}

QString Pop3TlsNote(bool tls)
{
    return tls ? TextOr("COMMONS", "TLSInUse",
                        "Encrypted: the connection uses TLS 1.2 or later from its first byte, "
                        "whichever version is chosen.")
               : TextOr("COMMONS", "TLSNotInUse",
                        "Not encrypted: the password and the mail travel as plain text.");
}

QString SmtpTlsNote(int mode, int port)
{
    if (port == kSmtpTlsPort || mode < 0)
        return Pop3TlsNote(port == kSmtpTlsPort);
    switch (mode) {
    case 1:
        return TextOr("COMMONS", "STARTTLSIfOffered",
                      "Encrypted with STARTTLS and TLS 1.2 or later when the server offers it; "
                      "otherwise only a message that needs no password is sent, as plain text.");
    case 2:
        return TextOr("COMMONS", "STARTTLSAlways",
                      "Encrypted with STARTTLS and TLS 1.2 or later; without it nothing is sent.");
    default:
        return Pop3TlsNote(false);
    }
}

void OnPortChosen(QComboBox* port, const std::function<void(int port)>& changed)
{
    const auto report = [port, changed] {
        int value = -1;
        if (!ParsePort(port->currentText(), value))
            value = -1;
        changed(value);
    };
    QObject::connect(port, &QComboBox::textActivated, port, report);
    if (QLineEdit* edit = port->lineEdit())
        QObject::connect(edit, &QLineEdit::editingFinished, port, report);
}

void AddLoginRows(QFormLayout* form, QWidget* box, QLineEdit*& login, QLineEdit*& password,
                  bool wordWrapLabels)
{
    login = NamedEdit("ELogin", box);
    password = NamedEdit("EPassword", box);
    password->setEchoMode(QLineEdit::Password);
    form->addRow(NamedLabel("LLogin", QStringLiteral("Login:"), box, wordWrapLabels), login);
    form->addRow(NamedLabel("LPassword", QStringLiteral("Password:"), box, wordWrapLabels),
                 password);
}

void AddOkCancelRow(QBoxLayout* top, QWidget* window, QPushButton*& ok, QPushButton*& cancel)
{
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    ok = new QPushButton(QStringLiteral("OK"), window);
    ok->setObjectName(QStringLiteral("BOK"));
    ok->setDefault(true);
    cancel = new QPushButton(QStringLiteral("Cancel"), window);
    cancel->setObjectName(QStringLiteral("BCancel"));
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    top->addLayout(buttons);
}

bool CheckPortField(QComboBox* field, const QString& error, const QString& fallback, int& port,
                    QTabWidget* tabs, QWidget* page)
{
    if (!ParsePort(field->currentText(), port)) {
        ShowError(error);
        field->setEditText(fallback);
        if (tabs && page)
            tabs->setCurrentWidget(page);
        field->setFocus();
        return false;
    }
    field->setEditText(QString::number(port));
    return true;
}

bool CheckCredentialFields(std::initializer_list<QLineEdit*> fields, QTabWidget* tabs,
                           QWidget* page)
{
    for (QLineEdit* field : fields) {
        if (!IsSendableCredential(field->text())) {
            ShowError(UnsendableCredentialText());
            if (tabs && page)
                tabs->setCurrentWidget(page);
            field->setFocus();
            return false;
        }
    }
    return true;
}

} // namespace vm
