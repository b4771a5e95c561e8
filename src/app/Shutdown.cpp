#include "app/Shutdown.h"

#include "core/Messages.h"
#include "lang/Lang.h"

namespace vm {

namespace {

template <typename F, typename... A>
void Call(const F& f, A&&... args)
{
    if (f)
        f(std::forward<A>(args)...);
}

QString Main(const char* key)
{
    return LangText(QStringLiteral("MAINWND"), QString::fromLatin1(key));
}

// Returns to the running state after a refused close in the saving steps.
void BackToIdle(const ShutdownHooks& h)
{
    Call(h.setClosingMark, false);
    Call(h.setStatus, Main("Idle"));
    Call(h.setBusyCursor, false);
}

} // namespace

bool RunShutdown(const ShutdownHooks& h)
{
    Call(h.closeFindAndExpireNewMarks);

    if (h.closeExits && !h.closeExits()) {
        Call(h.hideToTray);
        return false;
    }
    if (h.pop3Busy && h.pop3Busy()) {
        ShowError(Main("CloseWhenConnected"));
        return false;
    }
    if (h.composeWindowsRemain && h.composeWindowsRemain()) {
        ShowError(Main("CloseWhenConnectedSMTP"));
        return false;
    }

    Call(h.setStatus, Main("SavingSettings"));
    Call(h.setBusyCursor, true);
    Call(h.copyWindowState);
    Call(h.setClosingMark, true);

    if (h.saveSettings && !h.saveSettings()) {
        const QString path = h.settingsPath ? h.settingsPath() : QString();
        if (!AskGoOn(LangFormat(QStringLiteral("MAINWND"), QStringLiteral("ErrorSavingSettings"),
                                {path}))) {
            BackToIdle(h);
            return false;
        }
    }

    Call(h.setStatus, Main("SavingMailBoxes"));
    const int count = h.accountCount ? h.accountCount() : 0;
    for (int i = 0; i < count; ++i) {
        SaveFailure failure;
        if (!h.saveMailbox || h.saveMailbox(i, failure))
            continue;
        const SaveErrorChoice choice =
            h.askSaveError ? h.askSaveError(failure) : SaveErrorChoice::AbortExit;
        if (choice == SaveErrorChoice::AbortExit) {
            BackToIdle(h);
            return false;
        }
    }

    Call(h.setStatus, Main("SavingAddressBook"));
    if (h.saveAddressBook && !h.saveAddressBook()) {
        const QString path = h.addressBookPath ? h.addressBookPath() : QString();
        if (!AskGoOn(LangFormat(QStringLiteral("MAINWND"),
                                QStringLiteral("ErrorSavingAddressBook"), {path}))) {
            BackToIdle(h);
            return false;
        }
    }

    Call(h.deleteTemporaryFiles);
    Call(h.setStatus, Main("Closing"));
    return true;
}

} // namespace vm
