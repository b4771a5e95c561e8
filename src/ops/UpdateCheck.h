#pragma once
// The update check without its windows: where the query goes, the reply and
// its digest, the decisions of the start-up steps (ask the opt-in question,
// send the query), what the user's choice in the update window changes, and
// the query itself on a thread of its own.
//
// The update server's address is configuration: the build option
// VELMORA_UPDATE_URL, replaced by the environment variable of the same name
// when that is set (also when set to an empty text). Only an https address
// with a host counts; without one no request is ever made and the opt-in
// question is never asked.
//
// The reply is exactly three lines (split at CR LF, LF or CR; a final line
// break ends the last line, it does not start a fourth):
//   1. the version identifier of the newest release (compared without regard
//      to letter case, otherwise opaque);
//   2. the address of the update page;
//   3. the MD5 digest of the bytes of line 2, 32 hexadecimal digits in either
//      case.
// Anything else, a digest that does not match, or an address the program
// would not open (see MayOpenUpdateAddress) makes no offer. Errors are never
// reported.

#include <QObject>
#include <QString>
#include <QUrl>

#include <atomic>
#include <memory>
#include <optional>
#include <thread>

#include "core/DateTime.h"

namespace vm {

class Settings;
class Transport;

// The longest reply body read; a longer one makes no offer.
constexpr qint64 kMaxUpdateReplyBytes = 64 * 1024;

struct UpdateOffer
{
    QString version; // line 1
    QString address; // line 2
};

// --- Where the query goes -----------------------------------------------------

// The configured update address as text: the environment variable
// VELMORA_UPDATE_URL when it is set, else the address built in.
QString ConfiguredUpdateAddress();
// The update service address in text, checked: an https address with a host
// (surrounding blanks ignored); anything else gives an empty QUrl.
QUrl UpdateServiceUrl(const QString& text);
// UpdateServiceUrl(ConfiguredUpdateAddress()).
QUrl UpdateServiceUrl();
// The address asked: the service address with "signature=" + the product
// signature + "&lang=" + the built-in language symbol added to its query.
QUrl UpdateQueryUrl(const QUrl& service);

// --- The reply ----------------------------------------------------------------

// The lines of a reply body (CR LF, LF and CR end a line; a final line break
// does not start another line).
QList<QByteArray> SplitReplyLines(const QByteArray& body);
// The offer of a reply body: exactly three lines, line 3 the MD5 of line 2.
// No offer for anything else. Does not judge the address.
std::optional<UpdateOffer> ParseUpdateReply(const QByteArray& body);
// True when address may be opened for the user: an https address with a
// host, or an http address on the update service's own host. Never file:,
// javascript: or anything else.
bool MayOpenUpdateAddress(const QString& address, const QUrl& service);

// --- Decisions of the start-up steps ------------------------------------------

// The opt-in question is due: an update address is configured, the question
// was not asked yet and checking is not already allowed.
bool UpdateOptInDue(const Settings& settings, const QUrl& service);
// The answer to the opt-in question: checking allowed or not; it is not asked
// again.
void ApplyUpdateOptIn(Settings& settings, bool allowChecks);
// The query is due: an update address is configured, checking is allowed and
// now is later than the reminder date.
bool UpdateQueryDue(const Settings& settings, const QUrl& service, TDateTime now);
// True when version differs (letter case aside) from the version the user
// last acted on.
bool IsNewUpdate(const QString& version, const QString& lastNotified);

// Days until the reminder for the positions of the reminder list (tomorrow,
// after 1 week, after 2 weeks, after 1 month); 1 for an unknown position.
int UpdateReminderDays(int position);
// The user chose to open the update page: no reminder, the version is not
// offered again.
void ApplyUpdateOpened(Settings& settings, const UpdateOffer& offer);
// The user chose to be reminded: no query before now + the position's days;
// the version is offered again after that.
void ApplyUpdateReminder(Settings& settings, int position, TDateTime now);

// --- The query ----------------------------------------------------------------

// Connects to the service with verified TLS, sends the query and returns the
// offer of a valid reply whose version is new and whose address may be
// opened. Throws the transport's and HTTP errors; returns nothing for a
// reply that makes no offer.
std::optional<UpdateOffer> FetchUpdateOffer(Transport& transport, const QUrl& service,
                                            const QString& lastNotified);

// Runs FetchUpdateOffer on a thread of its own; the interface thread does not
// wait for it. offerFound is emitted (and received on the thread that owns
// this object) when there is something to offer, finished in every case.
// Every error ends the query silently. Destroying the object ends a query
// still running at once (its connection is aborted) and waits for its thread.
class UpdateQuery : public QObject
{
    Q_OBJECT
public:
    // Limits of one query: the connection (name lookup, TCP and TLS), silence
    // while reading, and the whole query.
    static constexpr int kConnectTimeoutMs = 20000;
    static constexpr int kReadTimeoutMs = 30000;
    static constexpr int kTotalTimeoutMs = 60000;

    explicit UpdateQuery(QObject* parent = nullptr);
    ~UpdateQuery() override;

    // Starts the query; at most one per object (later calls do nothing).
    void Start(const QUrl& service, const QString& lastNotified);
    bool Started() const { return started_; }
    bool Running() const { return running_.load(); }

signals:
    void offerFound(const vm::UpdateOffer& offer);
    void finished();

private:
    void Abort();

    std::shared_ptr<Transport> transport_;
    std::thread thread_;
    std::atomic<bool> running_{false};
    bool started_ = false;
};

} // namespace vm

Q_DECLARE_METATYPE(vm::UpdateOffer)
