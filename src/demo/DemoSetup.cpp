#include "demo/DemoSetup.h"

#include <memory>

#include "config/Settings.h"
#include "demo/DemoSamples.h"
#include "model/AccountsDirectory.h"
#include "net/TlsTrust.h"

namespace vm {

const QList<DemoAccountSpec>& DemoAccountSpecs()
{
    static const QList<DemoAccountSpec> specs = {
        {"Demo mailbox", "demo", "demo", "you@demo.invalid", "Demo User", false},
        {"Demo over TLS", "secure", "secure-demo", "secure@demo.invalid", "Demo User", true},
    };
    return specs;
}

namespace {

DemoRecipient RecipientOf(const DemoAccountSpec& spec)
{
    return {spec.senderName, spec.address};
}

} // namespace

DemoServers::Options DemoServerOptions(int arrivalIntervalMs)
{
    DemoServers::Options options;
    for (const DemoAccountSpec& spec : DemoAccountSpecs())
        options.users.append({spec.login, spec.password, spec.address});
    options.arrivalIntervalMs = arrivalIntervalMs;
    const DemoRecipient to = RecipientOf(DemoAccountSpecs().first());
    options.arrival = [to](int n) { return DemoArrival(n, to, QDateTime::currentDateTime()); };
    return options;
}

void FillDemoMailboxes(DemoServers& servers, const QDateTime& now)
{
    const DemoAccountSpec& main = DemoAccountSpecs().at(0);
    const DemoAccountSpec& second = DemoAccountSpecs().at(1);
    for (const DemoSample& s : DemoMainSamples(RecipientOf(main), now, servers.WebBase()))
        servers.Store().DeliverWithUid(main.login, s.uid, s.text);
    for (const DemoSample& s : DemoSecondSamples(RecipientOf(second), now))
        servers.Store().DeliverWithUid(second.login, s.uid, s.text);
}

bool SetUpDemoAccounts(AccountsDirectory& accounts, const DemoServers& servers,
                       const MailboxSaveOptions& saveOptions)
{
    const QByteArray host = DemoServers::Host().toLatin1();
    for (const DemoAccountSpec& spec : DemoAccountSpecs()) {
        MailAccount* account = nullptr;
        for (int i = 0; i < accounts.Count() && !account; ++i) {
            MailAccount* a = accounts.At(i);
            if (a && a->Login() == spec.login && a->Server() == host &&
                a->FriendlyName() == spec.name)
                account = a;
        }
        if (!account) {
            account = new MailAccount(&accounts);
            accounts.Add(account);
            account->Login() = spec.login;
            account->Password() = spec.password;
            account->Server() = host;
            account->FriendlyName() = spec.name;
            account->AutoCheck() = true;
            account->APOP() = spec.tls;
            account->Pop3TLS() = spec.tls;
            account->SmtpLogin() = spec.login;
            account->SmtpPassword() = spec.password;
            account->SmtpServer() = host;
            account->SmtpAuthentication() = true;
            account->SmtpTLSMode() = spec.tls ? 2 : 1;
            account->FromAddress() = spec.address;
            account->SenderName() = spec.senderName;
            account->SendViaThisProgram() = true;
        }
        account->Pop3Port() = spec.tls ? servers.Pop3TlsPort() : servers.Pop3Port();
        account->SmtpPort() = servers.SmtpPort();
        account->SaveToFile(saveOptions);
    }
    const QString fingerprint = CertificateFingerprint(servers.Certificate());
    return AddTrustedCertificate(DemoServers::Host(), servers.Pop3TlsPort(), fingerprint) &&
           AddTrustedCertificate(DemoServers::Host(), servers.SmtpPort(), fingerprint);
}

void ApplyDemoSettings(Settings& settings)
{
    settings.AutoMailCheck = true;
    settings.CheckMailOnStartup = true;
    settings.CheckMailOnTimer = true;
    settings.AutoMailCheckInterval = 60;
    settings.RunOnStartup = false;
    settings.SleepOnStartup = false;
    settings.AutoUpdateQuery = false;
    settings.AutoUpdateCheck = false;
    settings.MessagesDownloadRange = 2;
    settings.MaximumDownloadSize = 300;
    // The window opens on the first demo account's list.
    settings.LastAccount = QString::fromUtf8(DemoAccountSpecs().first().name);
}

} // namespace vm
