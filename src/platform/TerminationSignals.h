#pragma once
// SIGTERM, SIGINT and SIGHUP turned into a call on the interface thread, so
// that a session logout, `kill` or Ctrl+C in a terminal ends the program the
// orderly way (settings, mailboxes and address book written) instead of
// dropping everything gathered since the start.

#include <QObject>

#include <functional>
#include <memory>

class QSocketNotifier;

namespace vm {

class TerminationSignals : public QObject
{
    Q_OBJECT
public:
    // Installs the handlers; each signal that arrives calls onSignal from the
    // event loop of the creating thread. One watcher at a time.
    explicit TerminationSignals(std::function<void()> onSignal, QObject* parent = nullptr);
    // Restores the default handlers.
    ~TerminationSignals() override;

    bool Installed() const { return installed_; }

private:
    void Readable();

    std::function<void()> onSignal_;
    std::unique_ptr<QSocketNotifier> notifier_;
    int fds_[2] = {-1, -1};
    bool installed_ = false;
};

} // namespace vm
