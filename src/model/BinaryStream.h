#pragma once
// Little-endian binary reading and writing for the program's files.
//
// ByteReader walks a byte buffer. Every read checks the remaining length
// first and, when it would run past the end, throws the error type the
// caller chose, so one reader serves parts with different error rules.
// ByteWriter collects bytes and hands them to a device in large pieces, or
// makes an image of a file whose large parts share the caller's buffers.

#include <QByteArray>
#include <QIODevice>
#include <QList>
#include <QString>

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "core/AtomicFile.h"
#include "model/BytePiece.h"
#include "model/FileErrors.h"

namespace vm {

// The longest prefix of an 8-bit text that fits into a text field (65535
// bytes) without cutting a UTF-8 sequence in two.
QByteArray FitTextField(const QByteArray& text);
// The same for a wide text field (65535 UTF-16 code units); a surrogate pair
// is never split.
QString FitWideTextField(const QString& text);

class ByteReader
{
public:
    ByteReader(const char* data, qsizetype size) : p_(data), end_(data + size), begin_(data) {}
    explicit ByteReader(const QByteArray& data) : ByteReader(data.constData(), data.size()) {}

    qsizetype Position() const { return p_ - begin_; }
    qsizetype Remaining() const { return end_ - p_; }
    bool AtEnd() const { return p_ >= end_; }
    const char* Current() const { return p_; }

    template <typename E> void Need(qsizetype n) const
    {
        if (n < 0 || Remaining() < n)
            throw E();
    }

    template <typename E> std::uint8_t U8()
    {
        Need<E>(1);
        return static_cast<std::uint8_t>(*p_++);
    }
    template <typename E> bool Bool() { return U8<E>() != 0; }
    template <typename E> std::uint16_t U16()
    {
        Need<E>(2);
        const auto* u = reinterpret_cast<const std::uint8_t*>(p_);
        p_ += 2;
        return static_cast<std::uint16_t>(u[0] | (u[1] << 8));
    }
    template <typename E> std::int32_t I32()
    {
        Need<E>(4);
        const auto* u = reinterpret_cast<const std::uint8_t*>(p_);
        p_ += 4;
        return static_cast<std::int32_t>(std::uint32_t(u[0]) | (std::uint32_t(u[1]) << 8) |
                                         (std::uint32_t(u[2]) << 16) | (std::uint32_t(u[3]) << 24));
    }
    template <typename E> double F64()
    {
        Need<E>(8);
        std::uint64_t bits = 0;
        const auto* u = reinterpret_cast<const std::uint8_t*>(p_);
        for (int i = 7; i >= 0; --i)
            bits = (bits << 8) | u[i];
        p_ += 8;
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }
    // n bytes as a new array.
    template <typename E> QByteArray Bytes(qsizetype n)
    {
        Need<E>(n);
        QByteArray out(p_, n);
        p_ += n;
        return out;
    }
    template <typename E> void Skip(qsizetype n)
    {
        Need<E>(n);
        p_ += n;
    }
    // A text field: uint16 byte count and that many bytes.
    template <typename E> QByteArray Text()
    {
        const std::uint16_t n = U16<E>();
        return Bytes<E>(n);
    }
    // A wide text field: uint16 count of UTF-16 code units, then UTF-16LE.
    template <typename E> QString WideText()
    {
        const std::uint16_t n = U16<E>();
        Need<E>(qsizetype(n) * 2);
        QString s(n, Qt::Uninitialized);
        const auto* u = reinterpret_cast<const std::uint8_t*>(p_);
        for (int i = 0; i < n; ++i)
            s[i] = QChar(char16_t(u[2 * i] | (u[2 * i + 1] << 8)));
        p_ += qsizetype(n) * 2;
        return s;
    }

private:
    const char* p_;
    const char* end_;
    const char* begin_;
};

class ByteWriter
{
public:
    // Without a device the bytes collect in Buffer(); with one they are
    // written out whenever more than a few megabytes are pending and at
    // Flush(). Write failures throw FileWriteError.
    explicit ByteWriter(QIODevice* device = nullptr) : device_(device) {}
    // Image mode: Shared() adds a reference to the caller's buffer, every
    // other write collects in a copied piece; Flush() ends the last piece.
    explicit ByteWriter(QList<BytePiece>* image) : device_(nullptr), image_(image) {}

    void U8(std::uint8_t v) { buf_.append(char(v)); }
    void Bool(bool v) { U8(v ? 1 : 0); }
    void U16(std::uint16_t v)
    {
        const char b[2] = {char(v & 0xff), char(v >> 8)};
        buf_.append(b, 2);
    }
    void I32(std::int32_t v)
    {
        const auto u = static_cast<std::uint32_t>(v);
        const char b[4] = {char(u & 0xff), char((u >> 8) & 0xff), char((u >> 16) & 0xff),
                           char(u >> 24)};
        buf_.append(b, 4);
    }
    // A length field before n bytes. The field holds at most 2^31 - 1: a
    // longer text cannot be written (its length would wrap around and the
    // file would not read back), so the write fails with FileWriteError.
    void Length(qsizetype n)
    {
        if (n < 0 || n > qsizetype(std::numeric_limits<std::int32_t>::max()))
            throw FileWriteError("a text of " + std::to_string(n) +
                                 " bytes is too long for the mailbox file");
        I32(static_cast<std::int32_t>(n));
    }
    void F64(double d)
    {
        std::uint64_t bits;
        std::memcpy(&bits, &d, sizeof d);
        char b[8];
        for (int i = 0; i < 8; ++i)
            b[i] = char((bits >> (8 * i)) & 0xff);
        buf_.append(b, 8);
    }
    void Raw(const char* data, qsizetype n)
    {
        if (device_ && n >= kChunk) {
            Flush();
            WriteOut(data, n);
            return;
        }
        buf_.append(data, n);
        MaybeFlush();
    }
    void Raw(const QByteArray& a) { Raw(a.constData(), a.size()); }
    // The first n bytes of data: in image mode shared, not copied.
    void Shared(const QByteArray& data, qsizetype n)
    {
        if (!image_) {
            Raw(data.constData(), n);
            return;
        }
        EndPiece();
        if (n > 0)
            image_->append({data, n});
    }
    // Text field; a text too long for the field is cut at a character boundary.
    void Text(const QByteArray& text)
    {
        const QByteArray fit = FitTextField(text);
        U16(static_cast<std::uint16_t>(fit.size()));
        Raw(fit);
    }
    void WideText(const QString& text);

    void MaybeFlush()
    {
        if (device_ && buf_.size() >= kChunk)
            Flush();
    }
    void Flush()
    {
        if (image_) {
            EndPiece();
            return;
        }
        if (device_ && !buf_.isEmpty()) {
            WriteOut(buf_.constData(), buf_.size());
            buf_.clear();
        }
    }
    QByteArray& Buffer() { return buf_; }

private:
    static constexpr qsizetype kChunk = 4 << 20;
    void WriteOut(const char* data, qsizetype n)
    {
        QString reason;
        if (!vm::WriteAll(*device_, data, n, &reason))
            throw FileWriteError(reason.toStdString());
    }
    void EndPiece()
    {
        if (buf_.isEmpty())
            return;
        const qsizetype n = buf_.size();
        image_->append({std::move(buf_), n});
        buf_ = QByteArray();
    }

    QIODevice* device_;
    QList<BytePiece>* image_ = nullptr;
    QByteArray buf_;
};

} // namespace vm
