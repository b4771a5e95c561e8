#pragma once
// The server side of the protocol fuzz targets: plays the input's bytes to a
// Transport through its test peer, so the client reads them with its real
// reply readers, only without a socket. The bytes come in pieces whose sizes
// follow a pattern byte, so a reply meets every way it can be split between
// two reads; after the last piece the peer closes the connection.

#include <QByteArray>

#include <cstdint>

#include "net/Transport.h"

namespace vm::fuzz {

class ReplayPeer : public vm::TransportPeer
{
public:
    // pattern 0: pieces of 64 KiB, as a socket read hands them out when the
    // data is all there; otherwise sizes of 1 to 251 bytes varying with it.
    ReplayPeer(const QByteArray& bytes, std::uint8_t pattern) : bytes_(bytes), pattern_(pattern) {}

    QByteArray Next() override
    {
        if (pos_ >= bytes_.size())
            return {};
        const qsizetype size =
            pattern_ == 0 ? 65536 : 1 + qsizetype((pieces_ + 1) * pattern_ % 251);
        ++pieces_;
        const QByteArray piece = bytes_.mid(pos_, size);
        pos_ += piece.size();
        return piece;
    }
    void Sent(const QByteArray& data) override { sent_ += data.size(); }

    qint64 BytesSent() const { return sent_; }

private:
    QByteArray bytes_;
    std::uint8_t pattern_;
    qsizetype pos_ = 0;
    qint64 pieces_ = 0;
    qint64 sent_ = 0;
};

} // namespace vm::fuzz
