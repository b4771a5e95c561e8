#pragma once
// One connection of the demo's web server on loopback: reads one HTTP GET
// (or HEAD) request, answers it from DemoWebResource (the newsletter's
// pictures and pages) and closes. A request line or header line past 8 KiB,
// more than 100 header lines, or any method but GET and HEAD is answered
// with an error and the connection closed.

#include "demo/DemoSession.h"

namespace vm {

class DemoWebSession : public DemoSession
{
public:
    static constexpr int kMaxLine = 8 * 1024;
    static constexpr int kMaxHeaderLines = 100;

    DemoWebSession(qintptr descriptor, const DemoServerContext& context, QObject* parent);

protected:
    void Greet() override {}
    void HandleLine(const QByteArray& line) override;
    void HandleOverlongLine() override;

private:
    void Answer(const QByteArray& status, const QByteArray& type, const QByteArray& body);

    QByteArray requestLine_;
    int headerLines_ = 0;
};

} // namespace vm
