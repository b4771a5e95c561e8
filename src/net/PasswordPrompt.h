#pragma once
// How a protocol client asks the user for a password. The GUI installs a
// prompt that shows the password window (PasswordWindow); without one, the
// console prompt below is used (a command-line run asks on the terminal,
// a run without a terminal gets "cancelled"). Tests install their own.

#include <QString>

#include <utility>

namespace vm {

struct PasswordRequest
{
    QString displayName;    // the account's display name
    bool allowEmpty = true; // POP3 accepts an empty password, SMTP does not
    // Why the stored password could not be used (the desktop keyring
    // failed); empty when none is stored.
    QString note;
};

struct PasswordAnswer
{
    bool accepted = false; // false: the user cancelled
    QString password;
    bool memorize = false; // "Remember until shutdown" was ticked
};

class PasswordPrompt
{
public:
    virtual ~PasswordPrompt() = default;
    // Called on the interface thread only.
    virtual PasswordAnswer Ask(const PasswordRequest& request) = 0;
};

// Reads the password from the controlling terminal without echo; cancels
// when there is no terminal or input ends.
class ConsolePasswordPrompt : public PasswordPrompt
{
public:
    PasswordAnswer Ask(const PasswordRequest& request) override;
};

// Hands out an answer given earlier: a command that must not change anything
// before the user answered asks first and passes the answer on with this.
class AnsweredPrompt : public PasswordPrompt
{
public:
    explicit AnsweredPrompt(PasswordAnswer answer) : answer_(std::move(answer)) {}
    PasswordAnswer Ask(const PasswordRequest&) override { return answer_; }

private:
    PasswordAnswer answer_;
};

// The installed prompt (the console prompt when none was installed).
PasswordPrompt& PasswordPrompter();
// Installs a prompt (not owned); nullptr restores the console prompt.
void SetPasswordPrompter(PasswordPrompt* prompt);

} // namespace vm
