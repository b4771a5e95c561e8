#pragma once
// Small builders shared by the account, settings and address book windows:
// named controls, the version
// list of the secure connection, the login rows, the OK/Cancel row and the
// check of a typed port.

#include <QString>

#include <functional>
#include <initializer_list>

class QBoxLayout;
class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QWidget;

namespace vm {

// A label with the given objectName; wrapped unless wordWrap is false.
QLabel* NamedLabel(const char* name, const QString& text, QWidget* parent, bool wordWrap = true);

// An empty line edit with the given objectName.
QLineEdit* NamedEdit(const char* name, QWidget* parent);

// A push button with the given objectName and text that is never the
// window's default button (Return stays with the field that has the focus).
QPushButton* NamedButton(const char* name, const char* text, QWidget* parent);

// The list of secure connection versions ("SSL 2.0" .. "TLS/SSL 1.0").
QComboBox* SslVersionList(const char* name, QWidget* parent);

// Every encrypted connection negotiates TLS 1.2 or later, whichever version
// the list names (its positions stay stored as they are). The line under a
// secure-connection choice says what the connection really uses:
// TlsNoteLabel makes it (wrapped, named), the texts come from COMMONS.
QLabel* TlsNoteLabel(const char* name, QWidget* parent);
// POP3: TLS from the first byte, or no encryption.
QString Pop3TlsNote(bool tls);
// SMTP by its mode (0 never, 1 STARTTLS when offered, 2 STARTTLS always) and
// port: port 465 is TLS from the first byte whatever the mode.
QString SmtpTlsNote(int mode, int port);
// Port numbers that mean TLS from the first byte.
constexpr int kPop3TlsPort = 995;
constexpr int kSmtpTlsPort = 465;
// Calls changed whenever the port is chosen from its list or typing ends
// (Return, or the focus leaves), with the port now shown (-1 when it is
// not a port number).
void OnPortChosen(QComboBox* port, const std::function<void(int port)>& changed);

// Creates ELogin and EPassword (masked) in box and adds them to form as the
// "Login:" and "Password:" rows (labels LLogin and LPassword).
void AddLoginRows(QFormLayout* form, QWidget* box, QLineEdit*& login, QLineEdit*& password,
                  bool wordWrapLabels);

// Adds the right-aligned BOK (default) and BCancel buttons of window to top.
void AddOkCancelRow(QBoxLayout* top, QWidget* window, QPushButton*& ok, QPushButton*& cancel);

// Reads the port typed in field. When it is valid the field shows it
// normalized and the result is true; otherwise error is shown, the field is
// reset to fallback, page (when given) is brought to front in tabs and the
// field takes the focus.
// Reads a port typed by the user: trimmed, decimal, 0..65535. False for
// anything else.
bool ParsePort(const QString& text, int& port);

bool CheckPortField(QComboBox* field, const QString& error, const QString& fallback, int& port,
                    QTabWidget* tabs = nullptr, QWidget* page = nullptr);

// Logins and passwords holding CR, LF or NUL are refused where they are
// typed: the error is shown, page (when given) is brought to front in tabs
// and the first such field takes the focus. True when every field is fine.
bool CheckCredentialFields(std::initializer_list<QLineEdit*> fields, QTabWidget* tabs = nullptr,
                           QWidget* page = nullptr);

} // namespace vm
