#include "app/Shutdown.h"

#include "core/Errors.h"
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

// A failure in the unattended exit: reported, and the exit goes on.
void Report(const ShutdownHooks& h, const QString& path, const QString& reason)
{
    if (h.reportFailure)
        h.reportFailure(WithReason(
            LangFormat(QStringLiteral("COMMONS"), QStringLiteral("ErrorSavingMessage"), {path}),
            reason));
}

} // namespace

bool RunShutdown(const ShutdownHooks& h)
{
    Call(h.closeFindAndExpireNewMarks);

    const bool busy = h.pop3Busy && h.pop3Busy();
    if (!h.unattended) {
        if (h.closeExits && !h.closeExits()) {
            Call(h.hideToTray);
            return false;
        }
        if (busy) {
            ShowError(Main("CloseWhenConnected"));
            return false;
        }
        if (h.composeWindowsRemain && h.composeWindowsRemain()) {
            ShowError(Main("CloseWhenConnectedSMTP"));
            return false;
        }
    }

    Call(h.setStatus, Main("SavingSettings"));
    Call(h.setBusyCursor, true);
    Call(h.copyWindowState);
    Call(h.setClosingMark, true);

    QString reason;
    if (h.saveSettings && !h.saveSettings(reason)) {
        const QString path = h.settingsPath ? h.settingsPath() : QString();
        if (h.unattended) {
            Report(h, path, reason);
        } else if (!AskGoOn(WithReason(LangFormat(QStringLiteral("MAINWND"),
                                                  QStringLiteral("ErrorSavingSettings"), {path}),
                                       reason))) {
            BackToIdle(h);
            return false;
        }
    }

    Call(h.setStatus, Main("SavingMailBoxes"));
    const int count = h.accountCount && !(h.unattended && busy) ? h.accountCount() : 0;
    for (int i = 0; i < count; ++i) {
        SaveFailure failure;
        if (!h.saveMailbox || h.saveMailbox(i, failure))
            continue;
        if (h.unattended) {
            if (h.reportFailure)
                h.reportFailure(LangFormat(QStringLiteral("ERROR"), QStringLiteral("ExceptionReport"),
                                           {failure.accountName, failure.errorClass,
                                            failure.errorMessage}));
            continue;
        }
        const SaveErrorChoice choice =
            h.askSaveError ? h.askSaveError(failure) : SaveErrorChoice::AbortExit;
        if (choice == SaveErrorChoice::AbortExit) {
            BackToIdle(h);
            return false;
        }
    }

    Call(h.setStatus, Main("SavingAddressBook"));
    reason.clear();
    if (h.saveAddressBook && !h.saveAddressBook(reason)) {
        const QString path = h.addressBookPath ? h.addressBookPath() : QString();
        if (h.unattended) {
            Report(h, path, reason);
        } else if (!AskGoOn(WithReason(LangFormat(QStringLiteral("MAINWND"),
                                                  QStringLiteral("ErrorSavingAddressBook"), {path}),
                                       reason))) {
            BackToIdle(h);
            return false;
        }
    }

    Call(h.deleteTemporaryFiles);
    Call(h.setStatus, Main("Closing"));
    return true;
}

} // namespace vm
