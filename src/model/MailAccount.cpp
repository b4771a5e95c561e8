#include "model/MailAccount.h"

#include "core/AtomicFile.h"

#include <QFile>
#include <QThread>

#include "lang/Lang.h"
#include "model/AccountBlockExtension.h"
#include "model/BinaryStream.h"
#include "model/Blowfish.h"
#include "model/MailboxKey.h"
#include "model/FileErrors.h"
#include "model/MailboxWriter.h"

namespace vm {

namespace {

// Starts the keyring marker after the account block's checksum. Eight bytes,
// so the padding (at most seven bytes of any value) is never taken for it.
constexpr char kKeyringMarker[] = "VLKEYRNG";
constexpr int kKeyringMarkerLength = 8;

const SecretKind kSecretKinds[] = {
    {"pop3", "POP3", [](MailAccount& a) -> QByteArray& { return a.Password(); }},
    {"smtp", "SMTP", [](MailAccount& a) -> QByteArray& { return a.SmtpPassword(); }},
    {"oauth", "OAuth", [](MailAccount& a) -> QByteArray& { return a.RefreshToken(); }},
};

} // namespace

std::span<const SecretKind> SecretKinds()
{
    return kSecretKinds;
}

MailAccount::MailAccount(AccountOwner* owner)
    : owner_(owner), keyring_(SecretKinds().size()), mailbox_(this)
{
}

MailAccount::MailAccount(const MailAccount& o)
    : owner_(o.owner_), login_(o.login_), password_(o.password_), server_(o.server_),
      friendlyName_(o.friendlyName_), webmailAddress_(o.webmailAddress_),
      clientKind_(o.clientKind_), autoCheck_(o.autoCheck_), apop_(o.apop_), pop3Tls_(o.pop3Tls_),
      pop3SslVersion_(o.pop3SslVersion_), pop3Port_(o.pop3Port_),
      sessionPassword_(o.sessionPassword_), sessionPasswordValid_(o.sessionPasswordValid_),
      mailboxFileName_(o.mailboxFileName_), smtpLogin_(o.smtpLogin_),
      smtpPassword_(o.smtpPassword_), smtpServer_(o.smtpServer_), fromAddress_(o.fromAddress_),
      replyToAddress_(o.replyToAddress_), senderName_(o.senderName_),
      smtpSessionPassword_(o.smtpSessionPassword_),
      smtpSessionPasswordValid_(o.smtpSessionPasswordValid_), smtpAuth_(o.smtpAuth_),
      smtpTlsMode_(o.smtpTlsMode_), smtpSslVersion_(o.smtpSslVersion_), smtpPort_(o.smtpPort_),
      sendViaThis_(o.sendViaThis_), attention_(o.attention_), attentionText_(o.attentionText_),
      keyringId_(o.keyringId_), keyring_(o.keyring_),
      foreignKeyringKinds_(o.foreignKeyringKinds_), signIn_(o.signIn_), oauth_(o.oauth_),
      refreshToken_(o.refreshToken_), accessToken_(o.accessToken_),
      accessTokenExpiresMs_(o.accessTokenExpiresMs_), signInRefused_(o.signInRefused_),
      otherExtensionFields_(o.otherExtensionFields_), mailbox_(this)
{
    mailbox_.AppendCopies(o.mailbox_);
    mailbox_.SetLastCheck(o.mailbox_.LastCheck());
    mailbox_.SetStale(o.mailbox_.Stale());
    mailbox_.SetConfirmed(o.mailbox_.Confirmed());
    mailbox_.SetCheckFailed(o.mailbox_.CheckFailed());
}

MailAccount::~MailAccount() = default;

bool MailAccount::HasSmtpSettings() const
{
    return !smtpLogin_.isEmpty() && !smtpServer_.isEmpty() && !fromAddress_.isEmpty();
}

bool MailAccount::CanBeCheckedUnattended() const
{
    if (UsesOAuth())
        return autoCheck_ && SecretStored(kOAuthSecret) && !signInRefused_;
    return autoCheck_ && (SecretStored(kPop3Secret) ||
                          (!sessionPassword_.isEmpty() && sessionPasswordValid_));
}

QByteArray MailAccount::DisplayName() const
{
    return friendlyName_.isEmpty() ? login_ : friendlyName_;
}

// --- passwords --------------------------------------------------------------

std::optional<QByteArray> MailAccount::Pop3PasswordWithoutPrompt(QString* keyringProblem)
{
    ReadSecretForUse(kPop3Secret, sessionPasswordValid_, keyringProblem);
    if (!password_.isEmpty())
        return password_;
    if (sessionPasswordValid_)
        return sessionPassword_;
    return std::nullopt;
}

void MailAccount::RememberPop3Password(const QByteArray& typed)
{
    if (!password_.isEmpty())
        return;
    sessionPassword_ = typed;
    sessionPasswordValid_ = true;
}

std::optional<QByteArray> MailAccount::SmtpPasswordWithoutPrompt(QString* keyringProblem)
{
    if (!smtpAuth_)
        return QByteArray();
    ReadSecretForUse(kSmtpSecret, smtpSessionPasswordValid_, keyringProblem);
    if (!smtpPassword_.isEmpty())
        return smtpPassword_;
    if (smtpSessionPasswordValid_)
        return smtpSessionPassword_;
    return std::nullopt;
}

void MailAccount::SmtpPasswordTyped(const QByteArray& typed, bool remember)
{
    smtpSessionPassword_ = remember ? typed : QByteArray();
}

void MailAccount::SmtpSendSucceeded()
{
    if (smtpAuth_ && smtpPassword_.isEmpty() && !smtpSessionPassword_.isEmpty())
        smtpSessionPasswordValid_ = true;
}

void MailAccount::PasswordsSaved(bool smtpWritten)
{
    if (!password_.isEmpty()) {
        sessionPassword_.clear();
        sessionPasswordValid_ = false;
    }
    if (smtpWritten && !smtpPassword_.isEmpty()) {
        smtpSessionPassword_.clear();
        smtpSessionPasswordValid_ = false;
    }
}

// --- keyring ----------------------------------------------------------------

const QByteArray& MailAccount::SecretValue(int kind) const
{
    // The kinds' accessors hand out the modifiable field; it is only read here.
    return SecretKinds()[kind].value(const_cast<MailAccount&>(*this));
}

bool MailAccount::SecretStored(int kind) const
{
    return !SecretValue(kind).isEmpty() ||
           keyring_[kind].copy == KeyringCopy::Unread;
}

bool MailAccount::KeyringUnread(int kind) const
{
    return keyring_[kind].copy == KeyringCopy::Unread &&
           SecretValue(kind).isEmpty();
}

bool MailAccount::KeyringHolds(int kind) const
{
    return keyring_[kind].copy != KeyringCopy::None;
}

QString MailAccount::KeyringLabel(int kind) const
{
    return QStringLiteral("Velmora: %1 (%2)")
        .arg(QString::fromUtf8(DisplayName()), QLatin1String(SecretKinds()[kind].tag));
}

bool MailAccount::ReadKeyringSecrets(SecretVault& vault, std::initializer_list<int> kinds)
{
    std::vector<int> which(kinds);
    if (which.empty())
        for (int i = 0; i < int(SecretKinds().size()); ++i)
            which.push_back(i);
    bool allFound = true;
    for (int i : which) {
        if (!KeyringUnread(i))
            continue;
        const SecretKind& kind = SecretKinds()[i];
        const std::optional<QByteArray> secret =
            keyringId_.isEmpty() ? std::nullopt : vault.Read(keyringId_, kind.id);
        if (!secret || secret->isEmpty()) {
            keyring_[i] = KeyringState();
            allFound = false;
            continue;
        }
        kind.value(*this) = *secret;
        keyring_[i] = {KeyringCopy::Kept, *secret, KeyringLabel(i)};
    }
    return allFound;
}

void MailAccount::KeepSecretsInKeyring(SecretVault& vault, const QString& fileName)
{
    for (int i = 0; i < int(SecretKinds().size()); ++i) {
        const SecretKind& kind = SecretKinds()[i];
        const QByteArray& value = kind.value(*this);
        if (value.isEmpty())
            continue;
        if (keyringId_.isEmpty()) {
            QString base = fileName;
            if (base.endsWith(QLatin1String(".mbx"), Qt::CaseInsensitive))
                base.chop(4);
            if (base.isEmpty())
                base = QStringLiteral("account");
            keyringId_ = owner_ ? owner_->FreeKeyringId(base, *this) : base;
        }
        const QString label = KeyringLabel(i);
        KeyringState& state = keyring_[i];
        if (state.copy == KeyringCopy::Kept && state.value == value && state.label == label)
            continue;
        vault.Write(keyringId_, kind.id, label, value);
        state = {KeyringCopy::Kept, value, label};
    }
}

void MailAccount::DropClearedKeyringSecrets(SecretVault& vault)
{
    for (int i = 0; i < int(SecretKinds().size()); ++i) {
        if (keyring_[i].copy != KeyringCopy::Kept || !SecretKinds()[i].value(*this).isEmpty())
            continue;
        try {
            vault.Remove(keyringId_, SecretKinds()[i].id);
            keyring_[i] = KeyringState();
        } catch (const KeyringError&) {
            // Tried again at the next save; the file no longer names it.
        }
    }
}

void MailAccount::RemoveKeyringSecrets(SecretVault& vault)
{
    if (!keyringId_.isEmpty())
        for (const SecretKind& kind : SecretKinds())
            vault.Remove(keyringId_, kind.id);
    for (KeyringState& state : keyring_)
        state = KeyringState();
    if (foreignKeyringKinds_.isEmpty())
        keyringId_.clear();
}

QByteArray MailAccount::BlockSecret(int kind, const MailboxSaveOptions& options) const
{
    if (options.keyring)
        return QByteArray();
    return SecretValue(kind);
}

void MailAccount::ReadSecretForUse(int kind, bool sessionValid, QString* keyringProblem)
{
    if (!KeyringUnread(kind) || sessionValid)
        return;
    try {
        if (ReadKeyringSecrets(InstalledSecretVault(), {kind}) || !keyringProblem)
            return;
        const QStringList args{QLatin1String(SecretKinds()[kind].tag),
                               QString::fromUtf8(DisplayName())};
        *keyringProblem = TextOr("COMMONS", "KeyringMissing",
                                 "The desktop keyring holds no %s password for account %s any "
                                 "more.",
                                 args);
    } catch (const KeyringError& e) {
        if (keyringProblem)
            *keyringProblem = e.ReportMessage();
    }
}

// The marker lists the secrets the keyring holds instead of the block:
// "VLKEYRNG", the keyring id (text), a count (uint8), the kind ids (texts)
// and the sum of the marker's bytes before it, modulo 256 (uint8).
void MailAccount::WriteKeyringMarker(ByteWriter& block, const MailboxSaveOptions& options) const
{
    QList<QByteArray> kinds;
    for (int i = 0; i < int(SecretKinds().size()); ++i) {
        if ((options.keyring && !SecretValue(i).isEmpty()) || KeyringUnread(i))
            kinds.append(SecretKinds()[i].id);
    }
    kinds += foreignKeyringKinds_;
    if (kinds.isEmpty())
        return;
    ByteWriter marker;
    marker.Raw(QByteArray(kKeyringMarker, kKeyringMarkerLength));
    marker.Text(keyringId_.toUtf8());
    marker.U8(static_cast<std::uint8_t>(kinds.size()));
    for (const QByteArray& kind : kinds)
        marker.Text(kind);
    unsigned sum = 0;
    for (char c : marker.Buffer())
        sum += static_cast<unsigned char>(c);
    marker.U8(static_cast<std::uint8_t>(sum & 0xff));
    block.Raw(marker.Buffer());
}

void MailAccount::ReadKeyringMarker(ByteReader& in, const QByteArray& plain)
{
    const qsizetype start = in.Position();
    if (plain.size() - start < kKeyringMarkerLength ||
        plain.mid(start, kKeyringMarkerLength) != QByteArray(kKeyringMarker, kKeyringMarkerLength))
        return; // padding
    using E = MailboxHeaderError;
    in.Bytes<E>(kKeyringMarkerLength);
    const QString id = QString::fromUtf8(in.Text<E>());
    const int count = in.U8<E>();
    QList<QByteArray> kinds;
    for (int n = 0; n < count; ++n)
        kinds.append(in.Text<E>());
    unsigned sum = 0;
    for (qsizetype i = start; i < in.Position(); ++i)
        sum += static_cast<unsigned char>(plain[i]);
    if (in.U8<E>() != (sum & 0xff) || id.isEmpty())
        throw MailboxHeaderError();
    keyringId_ = id;
    for (const QByteArray& kind : kinds) {
        int known = -1;
        for (int i = 0; i < int(SecretKinds().size()); ++i)
            if (kind == SecretKinds()[i].id)
                known = i;
        if (known < 0)
            foreignKeyringKinds_.append(kind);
        else
            keyring_[known].copy = KeyringCopy::Unread;
    }
}

// --- OAuth 2.0 ----------------------------------------------------------------

void MailAccount::SignedIn(const QByteArray& refreshToken, const QByteArray& accessToken,
                           qint64 expiresMs)
{
    // A provider may keep the refresh token it gave before and send none.
    if (!refreshToken.isEmpty())
        refreshToken_ = refreshToken;
    accessToken_ = accessToken;
    accessTokenExpiresMs_ = expiresMs;
    signInRefused_ = false;
}

void MailAccount::ForgetTokens()
{
    // A token the keyring holds but that was not read is dropped as well:
    // its item goes at the next save into the keyring, and the mailbox file
    // no longer names it.
    if (keyring_[kOAuthSecret].copy == KeyringCopy::Unread)
        keyring_[kOAuthSecret].copy = KeyringCopy::Kept;
    refreshToken_.clear();
    accessToken_.clear();
    accessTokenExpiresMs_ = 0;
    signInRefused_ = false;
}

namespace {

// Names of the account block's extension fields.
constexpr char kSignInField[] = "SignIn";
constexpr char kOAuth2Value[] = "OAuth2";
constexpr char kProviderField[] = "OAuth2Provider";
constexpr char kClientIdField[] = "OAuth2ClientId";
constexpr char kClientSecretField[] = "OAuth2ClientSecret";
constexpr char kAuthorizeUrlField[] = "OAuth2AuthorizeUrl";
constexpr char kTokenUrlField[] = "OAuth2TokenUrl";
constexpr char kScopeField[] = "OAuth2Scope";
constexpr char kRefreshTokenField[] = "OAuth2RefreshToken";

} // namespace

bool MailAccount::RefreshTokenWithoutPrompt(QString* keyringProblem)
{
    ReadSecretForUse(kOAuthSecret, false, keyringProblem);
    return !refreshToken_.isEmpty();
}

QList<QPair<QByteArray, QByteArray>>
MailAccount::ExtensionFields(const MailboxSaveOptions& options) const
{
    // The refresh token is a secret: with the keyring it stays out of the
    // block like the passwords.
    const QByteArray refreshToken = BlockSecret(kOAuthSecret, options);
    QList<QPair<QByteArray, QByteArray>> fields;
    if (UsesOAuth()) {
        fields.append(qMakePair(QByteArray(kSignInField), QByteArray(kOAuth2Value)));
        const std::pair<const char*, const QByteArray*> texts[] = {
            {kProviderField, &oauth_.provider},         {kClientIdField, &oauth_.clientId},
            {kClientSecretField, &oauth_.clientSecret}, {kAuthorizeUrlField, &oauth_.authorizeUrl},
            {kTokenUrlField, &oauth_.tokenUrl},         {kScopeField, &oauth_.scope},
            {kRefreshTokenField, &refreshToken}};
        for (const auto& [name, value] : texts)
            if (!value->isEmpty())
                fields.append(qMakePair(QByteArray(name), *value));
    }
    fields.append(otherExtensionFields_);
    return fields;
}

void MailAccount::TakeExtensionFields(const QList<QPair<QByteArray, QByteArray>>& fields)
{
    signIn_ = SignInMethod::Password;
    oauth_ = OAuthSettings();
    refreshToken_.clear();
    otherExtensionFields_.clear();
    for (const auto& [name, value] : fields) {
        if (name == kSignInField)
            signIn_ = value == kOAuth2Value ? SignInMethod::OAuth2 : SignInMethod::Password;
        else if (name == kProviderField)
            oauth_.provider = value;
        else if (name == kClientIdField)
            oauth_.clientId = value;
        else if (name == kClientSecretField)
            oauth_.clientSecret = value;
        else if (name == kAuthorizeUrlField)
            oauth_.authorizeUrl = value;
        else if (name == kTokenUrlField)
            oauth_.tokenUrl = value;
        else if (name == kScopeField)
            oauth_.scope = value;
        else if (name == kRefreshTokenField)
            refreshToken_ = value;
        else
            otherExtensionFields_.append({name, value});
    }
}

// --- account block ----------------------------------------------------------

void MailAccount::WriteAccountBlock(ByteWriter& out, const MailboxSaveOptions& options) const
{
    ByteWriter block;
    block.Text(login_);
    block.Text(BlockSecret(kPop3Secret, options));
    block.Text(server_);
    block.Text(friendlyName_);
    block.Text(webmailAddress_);
    block.U8(clientKind_);
    block.Bool(autoCheck_);
    block.Bool(apop_);
    block.Bool(pop3Tls_);
    block.U8(pop3SslVersion_);
    block.U16(pop3Port_);
    block.Text(smtpLogin_);
    block.Text(BlockSecret(kSmtpSecret, options));
    block.Text(fromAddress_);
    block.Text(replyToAddress_);
    block.Text(senderName_);
    block.Text(smtpServer_);
    block.Bool(smtpAuth_);
    block.U8(smtpTlsMode_);
    block.U8(smtpSslVersion_);
    block.U16(smtpPort_);
    block.Bool(sendViaThis_);
    QByteArray& bytes = block.Buffer();
    unsigned sum = 0;
    for (char c : bytes)
        sum += static_cast<unsigned char>(c);
    bytes.append(char(sum & 0xff));
    // After the checksum, where a reader that does not know them sees
    // padding: the keyring marker, then the named extension fields.
    WriteKeyringMarker(block, options);
    AppendBlockExtension(bytes, ExtensionFields(options));
    if (bytes.size() % 8 != 0)
        bytes.append(8 - bytes.size() % 8, '\0');
    Blowfish(vm::MailboxKey()).Encrypt(bytes);
    out.I32(static_cast<std::int32_t>(bytes.size()));
    out.Raw(bytes);
}

void MailAccount::ReadAccountBlock(const QByteArray& plain, int version)
{
    // A block too short for its fields is a damaged block: reported as an
    // invalid file, like a checksum mismatch (a changed byte in the enciphered
    // block garbles eight bytes, often a text length before the checksum).
    using E = MailboxHeaderError;
    ByteReader in(plain);
    login_ = in.Text<E>();
    password_ = in.Text<E>();
    server_ = in.Text<E>();
    friendlyName_ = in.Text<E>();
    webmailAddress_ = in.Text<E>();
    const std::uint8_t kind = in.U8<E>();
    if (kind > 2)
        throw MailboxHeaderError();
    clientKind_ = kind == 0 ? 2 : kind;
    autoCheck_ = in.Bool<E>();
    apop_ = in.Bool<E>();
    pop3Tls_ = in.Bool<E>();
    const std::uint8_t popSsl = in.U8<E>();
    pop3SslVersion_ = popSsl <= 2 ? popSsl : 3;
    pop3Port_ = in.U16<E>();
    smtpLogin_ = in.Text<E>();
    smtpPassword_ = in.Text<E>();
    fromAddress_ = in.Text<E>();
    replyToAddress_ = in.Text<E>();
    senderName_ = in.Text<E>();
    smtpServer_ = in.Text<E>();
    smtpAuth_ = in.Bool<E>();
    const std::uint8_t tls = in.U8<E>();
    smtpTlsMode_ = (tls == 1 || tls == 2) ? tls : 0;
    const std::uint8_t smtpSsl = in.U8<E>();
    smtpSslVersion_ = smtpSsl <= 2 ? smtpSsl : 3;
    smtpPort_ = in.U16<E>();
    sendViaThis_ = in.Bool<E>();
    if (version >= 1) {
        unsigned sum = 0;
        for (qsizetype i = 0; i < in.Position(); ++i)
            sum += static_cast<unsigned char>(plain[i]);
        if (in.U8<E>() != (sum & 0xff))
            throw MailboxHeaderError();
        ReadKeyringMarker(in, plain);
        TakeExtensionFields(ReadBlockExtension(in));
    } else {
        TakeExtensionFields({});
    }
}

// --- whole file image -------------------------------------------------------

void MailAccount::WriteToStream(ByteWriter& out, const vm::MailboxSaveOptions& options) const
{
    out.Text(QByteArray(kSignatureV1));
    WriteAccountBlock(out, options);
    mailbox_.WriteToStream(out, options);
}

void MailAccount::ReadFromStream(ByteReader& in, const vm::MailboxLoadOptions& options)
{
    const QByteArray signature = in.Text<MailboxFormatError>();
    int version;
    if (signature == kSignatureV1)
        version = 1;
    else if (signature == kSignatureV0)
        version = 0;
    else
        throw MailboxHeaderError();

    // The block must be whole 8-byte cipher blocks lying inside the file;
    // nothing beyond it is ever deciphered.
    using EHeader = MailboxHeaderError;
    const std::int32_t length = in.I32<EHeader>();
    if (length < 0 || length % 8 != 0)
        throw EHeader();
    QByteArray block = in.Bytes<EHeader>(length);
    Blowfish(vm::MailboxKey()).Decrypt(block);
    keyringId_.clear();
    keyring_.assign(SecretKinds().size(), KeyringState());
    foreignKeyringKinds_.clear();
    ReadAccountBlock(block, version);

    mailbox_.Clear();
    try {
        mailbox_.ReadFromStream(in, version);
    } catch (...) {
        mailbox_.ApplyStartupRule(SecretStored(kPop3Secret), options.ShowMessagesOnStartup);
        throw;
    }
    mailbox_.ApplyStartupRule(SecretStored(kPop3Secret), options.ShowMessagesOnStartup);
}

// --- files ------------------------------------------------------------------

QString MailAccount::NewFileName(const QByteArray& login, const QString& dir,
                                  const QString& previousName)
{
    QByteArray clean = login;
    for (char& c : clean)
        if (c == '<' || c == '>' || c == '*' || c == '?' || c == '\\' || c == '/' || c == '\'' ||
            c == ':' || c == ';' || c == '"')
            c = '_';
    const QString base = QString::fromLocal8Bit(clean);
    QString name = base + QStringLiteral(".mbx");
    for (int n = 1; QFile::exists(dir + name) && name != previousName; ++n)
        name = base + QString::number(n) + QStringLiteral(".mbx");
    return name;
}

MailboxFileImage MailAccount::FileImage(const vm::MailboxSaveOptions& options)
{
    const QString dir = owner_ ? owner_->MailboxDirectory() : QString();
    QString name = mailboxFileName_;
    if (name.isEmpty() || !QFile::exists(dir + name)) {
        // The name is chosen by what the folder holds: a file still waiting
        // in the background writer must have arrived first.
        vm::WaitForMailboxWrites();
        name = NewFileName(login_, dir, mailboxFileName_);
    }
    // The keyring holds every secret before a file without them replaces
    // one that may still hold them.
    if (options.keyring)
        KeepSecretsInKeyring(*options.keyring, name);

    MailboxFileImage image;
    image.path = dir + name;
    ByteWriter out(&image.pieces);
    WriteToStream(out, options);
    out.Flush();
    mailboxFileName_ = name;
    return image;
}

quint64 MailAccount::StateFingerprint(const vm::MailboxSaveOptions& options) const
{
    // The block as it is written (with the keyring marker when the keyring
    // keeps the secrets), and the secrets themselves, which that block then
    // leaves out: a changed password needs a write too (it goes to the
    // keyring on the way).
    ByteWriter block;
    WriteAccountBlock(block, options);
    vm::MailboxSaveOptions withSecrets = options;
    withSecrets.keyring = nullptr;
    WriteAccountBlock(block, withSecrets);
    return mailbox_.StateFingerprint(options, qHash(QByteArrayView(block.Buffer())));
}

void MailAccount::SaveToFile(const vm::MailboxSaveOptions& options)
{
    vm::WaitForMailboxWrites();
    const QString previousName = mailboxFileName_;
    try {
        WriteMailboxFile(FileImage(options));
    } catch (...) {
        mailboxFileName_ = previousName;
        throw;
    }
    if (options.keyring)
        DropClearedKeyringSecrets(*options.keyring);
}

void MailAccount::LoadFromFile(const QString& path, const vm::MailboxLoadOptions& options,
                                int attempts, int retryDelayMs)
{
    const int slash = static_cast<int>(path.lastIndexOf(QLatin1Char('/')));
    mailboxFileName_ = path.mid(slash + 1);

    QFile file(path);
    for (int attempt = 1; !file.open(QIODevice::ReadOnly); ++attempt) {
        if (attempt >= attempts)
            throw FileOpenError(QStringLiteral("Cannot open file \"%1\". %2")
                                  .arg(path, file.errorString())
                                  .toStdString());
        QThread::msleep(static_cast<unsigned long>(retryDelayMs));
    }
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw FileOpenError(QStringLiteral("Cannot read file \"%1\". %2")
                              .arg(path, file.errorString())
                              .toStdString());
    file.close();
    ByteReader in(data);
    ReadFromStream(in, options);
}

} // namespace vm
