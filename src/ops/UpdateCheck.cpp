#include "ops/UpdateCheck.h"

#include "config/Settings.h"
#include "core/StringTable.h"
#include "net/HttpGet.h"
#include "net/Transport.h"

#include <QCryptographicHash>
#include <QTimer>

#include <exception>

#ifndef VELMORA_UPDATE_URL
#define VELMORA_UPDATE_URL ""
#endif

namespace vm {

namespace {

constexpr char kUpdateUrlVariable[] = "VELMORA_UPDATE_URL";

bool HasControlCharacters(const QByteArray& text)
{
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return true;
    return false;
}

} // namespace

QString ConfiguredUpdateAddress()
{
    if (qEnvironmentVariableIsSet(kUpdateUrlVariable))
        return qEnvironmentVariable(kUpdateUrlVariable);
    return QStringLiteral(VELMORA_UPDATE_URL);
}

QUrl UpdateServiceUrl(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return {};
    const QUrl url(trimmed, QUrl::StrictMode);
    if (!url.isValid() || url.scheme() != QLatin1String("https") || url.host().isEmpty() ||
        !url.userInfo().isEmpty() || url.hasFragment())
        return {};
    return url;
}

QUrl UpdateServiceUrl()
{
    return UpdateServiceUrl(ConfiguredUpdateAddress());
}

QUrl UpdateQueryUrl(const QUrl& service)
{
    QUrl url = service;
    const QString keys = QStringLiteral("signature=") + StringTable(kStrMainWindowClass) +
                         QStringLiteral("&lang=") + StringTable(kStrLanguageCode);
    const QString query = service.query(QUrl::FullyEncoded);
    url.setQuery(query.isEmpty() ? keys : query + QLatin1Char('&') + keys, QUrl::StrictMode);
    return url;
}

QList<QByteArray> SplitReplyLines(const QByteArray& body)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < body.size(); ++i) {
        const char c = body.at(i);
        if (c != '\r' && c != '\n')
            continue;
        lines.append(body.mid(start, i - start));
        if (c == '\r' && i + 1 < body.size() && body.at(i + 1) == '\n')
            ++i;
        start = i + 1;
    }
    if (start < body.size())
        lines.append(body.mid(start));
    return lines;
}

std::optional<UpdateOffer> ParseUpdateReply(const QByteArray& body)
{
    const QList<QByteArray> lines = SplitReplyLines(body);
    if (lines.size() != 3)
        return std::nullopt;
    const QByteArray digest = QCryptographicHash::hash(lines[1], QCryptographicHash::Md5).toHex();
    if (lines[2].toLower() != digest)
        return std::nullopt;
    if (HasControlCharacters(lines[0]) || HasControlCharacters(lines[1]))
        return std::nullopt;
    return UpdateOffer{QString::fromUtf8(lines[0]), QString::fromUtf8(lines[1])};
}

bool MayOpenUpdateAddress(const QString& address, const QUrl& service)
{
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return false;
    if (url.scheme() == QLatin1String("https"))
        return true;
    return url.scheme() == QLatin1String("http") && !service.host().isEmpty() &&
           url.host().compare(service.host(), Qt::CaseInsensitive) == 0;
}

bool UpdateOptInDue(const Settings& settings, const QUrl& service)
{
    return service.isValid() && !service.isEmpty() && settings.AutoUpdateQuery &&
           !settings.AutoUpdateCheck;
}

void ApplyUpdateOptIn(Settings& settings, bool allowChecks)
{
    settings.AutoUpdateCheck = allowChecks;
    settings.AutoUpdateQuery = false;
}

bool UpdateQueryDue(const Settings& settings, const QUrl& service, TDateTime now)
{
    return service.isValid() && !service.isEmpty() && settings.AutoUpdateCheck &&
           now > settings.UpdateReminder;
}

bool IsNewUpdate(const QString& version, const QString& lastNotified)
{
    return version.compare(lastNotified, Qt::CaseInsensitive) != 0;
}

int UpdateReminderDays(int position)
{
    static constexpr int kDays[] = {1, 7, 14, 30};
    return position >= 0 && position < 4 ? kDays[position] : 1;
}

void ApplyUpdateOpened(Settings& settings, const UpdateOffer& offer)
{
    settings.UpdateReminder = 0;
    settings.LastNotifiedUpdate = offer.version;
}

void ApplyUpdateReminder(Settings& settings, int position, TDateTime now)
{
    settings.UpdateReminder = now + UpdateReminderDays(position);
}

std::optional<UpdateOffer> FetchUpdateOffer(Transport& transport, const QUrl& service,
                                            const QString& lastNotified)
{
    const QUrl url = UpdateQueryUrl(service);
    transport.SetTlsMode(TlsMode::Implicit);
    transport.Connect(url.host(), quint16(url.port(443)));
    HttpLimits limits;
    limits.maxBody = kMaxUpdateReplyBytes;
    const QByteArray body = HttpGet(transport, url, limits);
    transport.Close();
    std::optional<UpdateOffer> offer = ParseUpdateReply(body);
    if (!offer || !IsNewUpdate(offer->version, lastNotified) ||
        !MayOpenUpdateAddress(offer->address, service))
        return std::nullopt;
    return offer;
}

UpdateQuery::UpdateQuery(QObject* parent) : QObject(parent)
{
    qRegisterMetaType<vm::UpdateOffer>();
}

UpdateQuery::~UpdateQuery()
{
    Abort();
    if (thread_.joinable())
        thread_.join();
}

void UpdateQuery::Abort()
{
    if (!transport_)
        return;
    // The interrupt outlives a Connect that has not started yet; the abort
    // ends a wait on the open connection at once.
    transport_->RequestInterrupt();
    transport_->Abort();
}

void UpdateQuery::Start(const QUrl& service, const QString& lastNotified)
{
    if (started_)
        return;
    started_ = true;
    transport_ = std::make_shared<Transport>();
    transport_->SetConnectTimeoutMs(kConnectTimeoutMs);
    transport_->SetReadTimeoutMs(kReadTimeoutMs);
    running_.store(true);
    // A server that keeps sending a byte now and then is ended by the
    // limit on the whole query.
    QTimer::singleShot(kTotalTimeoutMs, this, [this] { Abort(); });
    thread_ = std::thread([this, transport = transport_, service, lastNotified] {
        std::optional<UpdateOffer> offer;
        try {
            offer = FetchUpdateOffer(*transport, service, lastNotified);
        } catch (const std::exception&) {
            // Errors stay silent: no reply, no offer.
        }
        transport->Close();
        running_.store(false);
        if (offer)
            emit offerFound(*offer);
        emit finished();
    });
}

} // namespace vm
