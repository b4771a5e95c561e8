#include "config/ui/FormParts.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include "config/ui/SmtpWindow.h"
#include "core/Messages.h"

namespace vm {

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

QComboBox* SslVersionList(const char* name, QWidget* parent)
{
    auto* c = new QComboBox(parent);
    c->setObjectName(QString::fromLatin1(name));
    c->addItems({QStringLiteral("SSL 2.0"), QStringLiteral("SSL 2.3"), QStringLiteral("SSL 3.0"),
                 QStringLiteral("TLS/SSL 1.0")});
    return c;
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

} // namespace vm
