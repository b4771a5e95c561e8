// The bytes a connection has received and not yet handed on. Readers take
// from the front, the socket adds at the end. Taking only moves a start
// index; before the next read the few bytes left (a line in the making) are
// moved down, so one block of memory serves a whole session. (A QByteArray
// with remove(0, n) would keep the taken room at its front and allocate a
// fresh block each time it ran out of room at the end: for blocks of this
// size fresh pages from the kernel, faulted in one by one on every refill.)

#pragma once

#include <QByteArray>

#include <algorithm>
#include <cstring>

namespace vm {

class ReadBuffer
{
public:
    const char* Data() const { return bytes_.constData() + head_; }
    qsizetype Size() const { return bytes_.size() - head_; }
    bool IsEmpty() const { return Size() == 0; }

    qsizetype IndexOf(char c) const
    {
        const void* found = std::memchr(Data(), c, size_t(Size()));
        return found ? static_cast<const char*>(found) - Data() : -1;
    }

    // Hands on the first n bytes (n <= Size()).
    QByteArray Take(qsizetype n)
    {
        QByteArray taken(Data(), n);
        Drop(n);
        return taken;
    }

    void Drop(qsizetype n)
    {
        head_ += n;
        if (head_ == bytes_.size()) {
            bytes_.resize(0);
            head_ = 0;
        }
    }

    void Append(const QByteArray& more) { bytes_ += more; }

    // Lets read(char* at, qsizetype room) write up to room bytes at the end
    // and keeps as many as it returns (nothing when it returns 0 or less).
    template <typename Read>
    auto ReadInto(qsizetype room, Read read)
    {
        if (head_ > 0) {
            const qsizetype left = Size();
            std::memmove(bytes_.data(), Data(), size_t(left));
            bytes_.resize(left);
            head_ = 0;
        }
        const qsizetype old = bytes_.size();
        bytes_.resize(old + room);
        const auto got = read(bytes_.data() + old, room);
        bytes_.resize(old + qsizetype(std::max<decltype(got)>(got, 0)));
        return got;
    }

    // Empties the buffer and gives its memory back.
    void Clear()
    {
        bytes_.clear();
        head_ = 0;
    }

private:
    QByteArray bytes_;
    qsizetype head_ = 0;
};

} // namespace vm
