#include "model/AccountSecrets.h"

#include "lang/Lang.h"

namespace vm {

namespace {

// Stands in until a keyring is installed: nothing can be kept or read.
class NoVault : public SecretVault
{
public:
    std::optional<QByteArray> Read(const QString&, const QByteArray&) override { Fail(); }
    void Write(const QString&, const QByteArray&, const QString&, const QByteArray&) override
    {
        Fail();
    }
    void Remove(const QString&, const QByteArray&) override { Fail(); }

private:
    [[noreturn]] static void Fail()
    {
        throw KeyringError(TextOr("COMMONS", "KeyringUnavailable",
                                  "The desktop keyring (Secret Service) cannot be reached.",
                                  {QStringLiteral("-")}));
    }
};

NoVault g_noVault;
SecretVault* g_vault = &g_noVault;

} // namespace

KeyringError::KeyringError(const QString& message)
    : std::runtime_error(message.toStdString()), message_(message)
{
}

SecretVault& InstalledSecretVault()
{
    return *g_vault;
}

void InstallSecretVault(SecretVault* vault)
{
    g_vault = vault ? vault : &g_noVault;
}

} // namespace vm
