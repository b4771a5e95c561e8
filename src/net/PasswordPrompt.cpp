#include "net/PasswordPrompt.h"

#include <cstdio>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace vm {

namespace {
PasswordPrompt* g_prompt = nullptr;
}

PasswordAnswer ConsolePasswordPrompt::Ask(const PasswordRequest& request)
{
    PasswordAnswer answer;
    FILE* tty = std::fopen("/dev/tty", "r+");
    if (!tty)
        return answer;
    std::fprintf(tty, "Password for account <%s>: ", request.displayName.toLocal8Bit().constData());
    std::fflush(tty);
    termios old{};
    const int fd = fileno(tty);
    const bool haveTerm = tcgetattr(fd, &old) == 0;
    if (haveTerm) {
        termios quiet = old;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(fd, TCSAFLUSH, &quiet);
    }
    std::string line;
    int c;
    bool ended = false;
    while ((c = std::fgetc(tty)) != EOF && c != '\n')
        line.push_back(char(c));
    ended = (c == EOF);
    if (haveTerm)
        tcsetattr(fd, TCSAFLUSH, &old);
    std::fputc('\n', tty);
    std::fclose(tty);
    if (ended && line.empty())
        return answer;
    answer.password = QString::fromLocal8Bit(line.c_str());
    answer.accepted = request.allowEmpty || !answer.password.isEmpty();
    return answer;
}

PasswordPrompt& PasswordPrompter()
{
    static ConsolePasswordPrompt console;
    return g_prompt ? *g_prompt : console;
}

void SetPasswordPrompter(PasswordPrompt* prompt)
{
    g_prompt = prompt;
}

} // namespace vm
