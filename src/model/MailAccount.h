#pragma once
// One POP3 account: how to reach and log into its server, what the Client
// button does for it, optional SMTP settings, passwords remembered for the
// session, and its message list. Each account lives in one mailbox file
// "*.mbx" in the mailbox directory of its accounts directory.
//
// Text fields are 8-bit texts (QByteArray). Each field has a read-only and a
// modifiable accessor.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "model/AccountSecrets.h"
#include "model/MailboxFileImage.h"
#include "model/StorageOptions.h"
#include "model/Mailbox.h"

namespace vm {

class ByteReader;
class ByteWriter;
class MailAccount;

// What an account needs of the list that owns it: the folder its mailbox
// file is written to. The accounts directory is the owner in the program.
class AccountOwner
{
public:
    virtual const QString& MailboxDirectory() const = 0;
    // A keyring id no other account of the list has: base, else base with
    // "-2", "-3", ... appended.
    virtual QString FreeKeyringId(const QString& base, const MailAccount& asking) const = 0;

protected:
    ~AccountOwner() = default;
};

// Every secret an account keeps, in the order of SecretIndex: the one table
// the keyring, the mailbox file's keyring marker and the switches of the
// setting PasswordStorage go through.
std::span<const SecretKind> SecretKinds();

// How an account logs in to its POP3 and SMTP servers.
enum class SignInMethod : std::uint8_t {
    Password, // USER/PASS, APOP or SASL PLAIN; SMTP AUTH LOGIN or PLAIN
    OAuth2,   // a bearer token from the provider (XOAUTH2 or OAUTHBEARER)
};

// Where an OAuth 2.0 account signs in. The provider is "microsoft", "google"
// or "custom"; the two presets know their own addresses and scope, a custom
// provider has them typed in. An empty client id means the one the build or
// the environment names for the provider.
struct OAuthSettings
{
    QByteArray provider;
    QByteArray clientId;
    QByteArray clientSecret;
    QByteArray authorizeUrl;
    QByteArray tokenUrl;
    QByteArray scope;
    bool operator==(const OAuthSettings&) const = default;
};

class MailAccount
{
public:
    // Signatures of the two mailbox file versions.
    static constexpr char kSignatureV1[] = "VL320KEX07"; // written
    static constexpr char kSignatureV0[] = "VL300KEX06"; // read only

    explicit MailAccount(AccountOwner* owner = nullptr);
    // A deep copy (settings, session fields and every message record), used
    // only by the container's copy operations; the program never copies
    // accounts otherwise.
    MailAccount(const MailAccount& other);
    MailAccount& operator=(const MailAccount&) = delete;
    virtual ~MailAccount();

    // Writes the whole file image: signature, enciphered account block, then
    // the mailbox.
    virtual void WriteToStream(vm::ByteWriter& out, const vm::MailboxSaveOptions& options) const;
    // Reads a whole file image. Errors: MailboxHeaderError
    // (signature, account block length, checksum, client kind, fields running
    // past the end of the block), MailboxFormatError (a file too short for
    // its signature), MailboxContentError (a damaged record;
    // the records before it are kept). The mailbox's start-up
    // rule is applied whenever the account block was read.
    virtual void ReadFromStream(vm::ByteReader& in, const vm::MailboxLoadOptions& options);

    // Writes the account's mailbox file in the owner's mailbox directory,
    // choosing a new file name first when it has none or its file is gone.
    // The file is replaced atomically; on failure the old file is untouched.
    // Waits for the background writer first, so no older image of the file
    // lands after this one. Throws FileCreateError / FileWriteError.
    virtual void SaveToFile(const vm::MailboxSaveOptions& options);
    // The image SaveToFile would write, for writing later (the background
    // writer). Chooses the file name as SaveToFile does and keeps it.
    MailboxFileImage FileImage(const vm::MailboxSaveOptions& options);
    // A hash of everything the file would hold (account block and mailbox,
    // see Mailbox::StateFingerprint): equal values need no new write.
    quint64 StateFingerprint(const vm::MailboxSaveOptions& options) const;
    // Loads from path and remembers its file name. Opening is tried
    // `attempts` times, `retryDelayMs` apart, before FileOpenError is thrown.
    virtual void LoadFromFile(const QString& path, const vm::MailboxLoadOptions& options,
                              int attempts = 4, int retryDelayMs = 500);

    // SMTP login, SMTP server and From address are all set.
    virtual bool HasSmtpSettings() const;
    // Takes part in automatic checks and a password is available without
    // asking: a stored one (in the account block or the keyring), or a valid
    // session password. An OAuth 2.0 account needs a refresh token and no
    // refused sign-in instead.
    virtual bool CanBeCheckedUnattended() const;
    // The friendly name, or the login when that is empty.
    virtual QByteArray DisplayName() const;

    // --- passwords -------------------------------------------------------------
    // The one copy of the rules for passwords typed into the password prompt
    // and kept until the program ends (session passwords); the POP3 and SMTP
    // clients, the send worker and the account window all go through them.
    //
    // The password for a POP3 login without asking: the stored password, else
    // the session password when it is valid. None: the user must be asked.
    // A stored password the mailbox file leaves to the keyring is read from
    // the installed vault now, unless a valid session password makes that
    // unnecessary; when the keyring fails or no longer holds it, keyringProblem
    // (if given) says so and the session password is the answer.
    std::optional<QByteArray> Pop3PasswordWithoutPrompt(QString* keyringProblem = nullptr);
    // After a successful POP3 login with a password typed into the prompt
    // whose remember box was ticked: unless a password is stored meanwhile,
    // the typed one becomes the valid session password.
    void RememberPop3Password(const QByteArray& typed);
    // The SMTP password without asking: empty when SMTP authentication is off
    // (no password is sent); else the stored SMTP password (read from the
    // keyring as for POP3), else the SMTP session password when it is valid.
    // None: the user must be asked.
    std::optional<QByteArray> SmtpPasswordWithoutPrompt(QString* keyringProblem = nullptr);
    // The SMTP prompt was answered: ticked keeps the typed password as the
    // SMTP session password, not ticked empties it. Its valid mark is left
    // alone; a successful send sets it.
    void SmtpPasswordTyped(const QByteArray& typed, bool remember);
    // A send succeeded: when authentication is on, no SMTP password is stored
    // and a session password is kept, the session password becomes valid.
    void SmtpSendSucceeded();
    // The account window was saved: a stored POP3 password drops the POP3
    // session password and its valid mark; when the SMTP values were written,
    // a stored SMTP password drops the SMTP session password likewise.
    void PasswordsSaved(bool smtpWritten);

    // --- keyring ----------------------------------------------------------------
    // With MailboxSaveOptions::keyring set, the account block holds none of
    // the secrets of SecretKinds(): each stored one is an item of the keyring,
    // and a marker after the block's checksum names the account's keyring id
    // and the kinds the keyring holds. Reading follows the marker whatever the
    // setting says; writing follows the options.

    // A stored secret of this kind exists: its value is here, or the mailbox
    // file says the keyring holds it and it was not read yet.
    bool SecretStored(int kind) const;
    // The mailbox file says the keyring holds it, and it was not read yet.
    bool KeyringUnread(int kind) const;
    // The keyring holds (or held when last seen) this secret of the account.
    bool KeyringHolds(int kind) const;
    // The account's name for its keyring items; empty until a secret is
    // first kept there.
    const QString& KeyringId() const { return keyringId_; }
    // The label of the item of this kind: "Velmora: <display name> (POP3)".
    QString KeyringLabel(int kind) const;

    // Reads the unread secrets of the given kinds (every kind when none is
    // given) from vault into the account. A kind whose item is gone counts
    // as not stored from now on; the result is false then. Throws
    // KeyringError when the keyring fails (the secrets stay unread).
    bool ReadKeyringSecrets(SecretVault& vault, std::initializer_list<int> kinds = {});
    // Writes every stored secret that the keyring does not hold as it is
    // into vault, under a keyring id (taken from fileName, the mailbox file
    // the account is about to be written to, when it has none). Throws
    // KeyringError; what was written before the failure stays kept.
    void KeepSecretsInKeyring(SecretVault& vault, const QString& fileName);
    // Removes the items of secrets the user emptied since they were kept.
    // A failure leaves the item behind (the file no longer names it).
    void DropClearedKeyringSecrets(SecretVault& vault);
    // Removes the account's items of every kind of SecretKinds() from vault
    // and forgets them (kinds a newer build listed stay, with the keyring
    // id). Unread secrets must have been read first if they are to survive.
    // Throws KeyringError.
    void RemoveKeyringSecrets(SecretVault& vault);
    // What the account block holds for this secret: its value, or nothing
    // when options keep secrets in the keyring.
    QByteArray BlockSecret(int kind, const vm::MailboxSaveOptions& options) const;
    // --- OAuth 2.0 sign-in -----------------------------------------------------
    // An OAuth 2.0 account logs in with an access token instead of a password.
    // The refresh token is a credential stored like the passwords; the access
    // token and its expiry live in memory only (session fields).
    SignInMethod SignIn() const { return signIn_; }
    SignInMethod& SignIn() { return signIn_; }
    bool UsesOAuth() const { return signIn_ == SignInMethod::OAuth2; }
    const OAuthSettings& OAuth() const { return oauth_; }
    OAuthSettings& OAuth() { return oauth_; }
    const QByteArray& RefreshToken() const { return refreshToken_; }
    QByteArray& RefreshToken() { return refreshToken_; }
    const QByteArray& AccessToken() const { return accessToken_; }
    QByteArray& AccessToken() { return accessToken_; }
    // When the access token stops being valid, on the monotonic clock
    // (Transport::MonotonicMs); 0 when none is held.
    qint64 AccessTokenExpiresMs() const { return accessTokenExpiresMs_; }
    qint64& AccessTokenExpiresMs() { return accessTokenExpiresMs_; }
    // The provider refused to renew the access token (the grant was revoked
    // or has expired): the user must sign in again. Cleared by a sign-in.
    bool SignInRefused() const { return signInRefused_; }
    bool& SignInRefused() { return signInRefused_; }
    // A sign-in stored new tokens: the session's access token replaces the
    // old one and the refusal mark goes.
    void SignedIn(const QByteArray& refreshToken, const QByteArray& accessToken,
                  qint64 expiresMs);
    // Drops the tokens (another provider or client was chosen), also one the
    // keyring holds.
    void ForgetTokens();
    // Reads the refresh token from the keyring when the mailbox file says it
    // holds it and it was not read yet; true when the account has one then.
    // A keyring that fails or no longer holds it sets *keyringProblem.
    bool RefreshTokenWithoutPrompt(QString* keyringProblem = nullptr);

    // The mailbox file name chosen for login in directory dir (ending with a
    // path delimiter): the login with < > * ? \ / ' : ; " replaced by "_",
    // then ".mbx"; while that file exists and differs from previousName the
    // numbers 1, 2, ... are appended to the cleaned login.
    static QString NewFileName(const QByteArray& login, const QString& dir,
                               const QString& previousName = QString());

    // --- fields ---------------------------------------------------------------
    AccountOwner* Owner() const { return owner_; }
    void SetOwner(AccountOwner* owner) { owner_ = owner; }

    const QByteArray& Login() const { return login_; }
    QByteArray& Login() { return login_; }
    const QByteArray& Password() const { return password_; }
    QByteArray& Password() { return password_; }
    const QByteArray& SessionPassword() const { return sessionPassword_; }
    QByteArray& SessionPassword() { return sessionPassword_; }
    bool SessionPasswordValid() const { return sessionPasswordValid_; }
    bool& SessionPasswordValid() { return sessionPasswordValid_; }
    const QByteArray& Server() const { return server_; }
    QByteArray& Server() { return server_; }
    const QByteArray& FriendlyName() const { return friendlyName_; }
    QByteArray& FriendlyName() { return friendlyName_; }
    bool Pop3TLS() const { return pop3Tls_; }
    bool& Pop3TLS() { return pop3Tls_; }
    bool APOP() const { return apop_; }
    bool& APOP() { return apop_; }
    std::uint8_t Pop3SSLVersion() const { return pop3SslVersion_; }
    std::uint8_t& Pop3SSLVersion() { return pop3SslVersion_; }
    std::uint16_t Pop3Port() const { return pop3Port_; }
    std::uint16_t& Pop3Port() { return pop3Port_; }
    bool AutoCheck() const { return autoCheck_; }
    bool& AutoCheck() { return autoCheck_; }
    // 1 webmail, 2 the system's default mail application.
    std::uint8_t ClientKind() const { return clientKind_; }
    std::uint8_t& ClientKind() { return clientKind_; }
    const QByteArray& WebmailAddress() const { return webmailAddress_; }
    QByteArray& WebmailAddress() { return webmailAddress_; }
    const QString& MailboxFileName() const { return mailboxFileName_; }
    QString& MailboxFileName() { return mailboxFileName_; }
    const QByteArray& SmtpLogin() const { return smtpLogin_; }
    QByteArray& SmtpLogin() { return smtpLogin_; }
    const QByteArray& SmtpPassword() const { return smtpPassword_; }
    QByteArray& SmtpPassword() { return smtpPassword_; }
    const QByteArray& SmtpSessionPassword() const { return smtpSessionPassword_; }
    QByteArray& SmtpSessionPassword() { return smtpSessionPassword_; }
    bool SmtpSessionPasswordValid() const { return smtpSessionPasswordValid_; }
    bool& SmtpSessionPasswordValid() { return smtpSessionPasswordValid_; }
    const QByteArray& FromAddress() const { return fromAddress_; }
    QByteArray& FromAddress() { return fromAddress_; }
    const QByteArray& ReplyToAddress() const { return replyToAddress_; }
    QByteArray& ReplyToAddress() { return replyToAddress_; }
    const QByteArray& SenderName() const { return senderName_; }
    QByteArray& SenderName() { return senderName_; }
    const QByteArray& SmtpServer() const { return smtpServer_; }
    QByteArray& SmtpServer() { return smtpServer_; }
    std::uint16_t SmtpPort() const { return smtpPort_; }
    std::uint16_t& SmtpPort() { return smtpPort_; }
    bool SmtpAuthentication() const { return smtpAuth_; }
    bool& SmtpAuthentication() { return smtpAuth_; }
    // 0 never, 1 when possible, 2 always (STARTTLS).
    std::uint8_t SmtpTLSMode() const { return smtpTlsMode_; }
    std::uint8_t& SmtpTLSMode() { return smtpTlsMode_; }
    std::uint8_t SmtpSSLVersion() const { return smtpSslVersion_; }
    std::uint8_t& SmtpSSLVersion() { return smtpSslVersion_; }
    bool SendViaThisProgram() const { return sendViaThis_; }
    bool& SendViaThisProgram() { return sendViaThis_; }

    const Mailbox& Box() const { return mailbox_; }
    Mailbox& Box() { return mailbox_; }

    // --- attention --------------------------------------------------------------
    // A problem that the account's last operation met and that the user
    // should see beside the account (the account tree marks it, with the text
    // as its tooltip), until an operation of the same kind succeeds. Kept for
    // the running session only.
    enum class Attention {
        None,
        CheckFailed, // the last mail check failed; the text is its error
    };
    Attention AttentionState() const { return attention_; }
    const QString& AttentionText() const { return attentionText_; }
    void SetAttention(Attention state, const QString& text)
    {
        attention_ = state;
        attentionText_ = state == Attention::None ? QString() : text;
    }
    // Ends the state when it is the given one (another problem stays).
    void ClearAttention(Attention state)
    {
        if (attention_ == state)
            SetAttention(Attention::None, {});
    }

    // Expires when the account is destroyed, so a window that keeps the
    // account (a compose window) can tell that it was removed.
    std::weak_ptr<const void> Lifetime() const { return lifetime_.token; }

private:
    // A copy of an account is another account with a lifetime of its own.
    struct LifetimeToken
    {
        LifetimeToken() = default;
        LifetimeToken(const LifetimeToken&) {}
        LifetimeToken& operator=(const LifetimeToken&) { return *this; }
        std::shared_ptr<const void> token = std::make_shared<char>();
    };
    LifetimeToken lifetime_;

    void WriteAccountBlock(vm::ByteWriter& out, const vm::MailboxSaveOptions& options) const;
    void ReadAccountBlock(const QByteArray& plain, int version);
    void WriteKeyringMarker(vm::ByteWriter& block, const vm::MailboxSaveOptions& options) const;
    void ReadKeyringMarker(vm::ByteReader& in, const QByteArray& plain);
    void ReadSecretForUse(int kind, bool sessionValid, QString* keyringProblem);
    const QByteArray& SecretValue(int kind) const;
    // Where each secret of SecretKinds() stands with the keyring.
    enum class KeyringCopy : std::uint8_t {
        None,   // the keyring holds no item of it (as far as is known)
        Unread, // the mailbox file says it does; not read yet
        Kept,   // the keyring holds value under label
    };
    struct KeyringState
    {
        KeyringCopy copy = KeyringCopy::None;
        QByteArray value;
        QString label;
    };
    // The named fields after the account block's checksum (see
    // AccountBlockExtension.h): the sign-in settings, and fields of later
    // versions kept as they were read.
    // The refresh token is among them unless options keep secrets in the
    // keyring.
    QList<QPair<QByteArray, QByteArray>>
    ExtensionFields(const vm::MailboxSaveOptions& options) const;
    void TakeExtensionFields(const QList<QPair<QByteArray, QByteArray>>& fields);

    AccountOwner* owner_;
    QByteArray login_;
    QByteArray password_;
    QByteArray server_;
    QByteArray friendlyName_;
    QByteArray webmailAddress_;
    std::uint8_t clientKind_ = 2;
    bool autoCheck_ = true;
    bool apop_ = false;
    bool pop3Tls_ = false;
    std::uint8_t pop3SslVersion_ = 0;
    std::uint16_t pop3Port_ = 110;
    QByteArray sessionPassword_;
    bool sessionPasswordValid_ = false;
    QString mailboxFileName_;
    QByteArray smtpLogin_;
    QByteArray smtpPassword_;
    QByteArray smtpServer_;
    QByteArray fromAddress_;
    QByteArray replyToAddress_;
    QByteArray senderName_;
    QByteArray smtpSessionPassword_;
    bool smtpSessionPasswordValid_ = false;
    bool smtpAuth_ = false;
    std::uint8_t smtpTlsMode_ = 0;
    std::uint8_t smtpSslVersion_ = 0;
    std::uint16_t smtpPort_ = 25;
    bool sendViaThis_ = false;
    Attention attention_ = Attention::None;
    QString attentionText_;
    QString keyringId_;
    std::vector<KeyringState> keyring_;
    // Kinds a newer build listed in the marker: kept as they are.
    QList<QByteArray> foreignKeyringKinds_;
    SignInMethod signIn_ = SignInMethod::Password;
    OAuthSettings oauth_;
    QByteArray refreshToken_;
    QByteArray accessToken_;
    qint64 accessTokenExpiresMs_ = 0;
    bool signInRefused_ = false;
    // Extension fields this version does not know, written back unchanged.
    QList<QPair<QByteArray, QByteArray>> otherExtensionFields_;
    Mailbox mailbox_;
};

} // namespace vm
