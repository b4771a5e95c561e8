#pragma once
// Blowfish (16 rounds, the standard initial tables and key schedule) in ECB
// mode, as used for the account block of mailbox files.
//
// Byte order: each 8-byte block is read as two 32-bit words in little-endian
// order (bytes 0..3 the left word, bytes 4..7 the right word) and written back
// the same way. This differs from the usual big-endian presentation of
// Blowfish, so published test vectors match after swapping the bytes of each
// word. The key bytes are taken in the standard way.

#include <QByteArray>

#include <cstddef>
#include <cstdint>

namespace vm {

class Blowfish
{
public:
    // key: 1 to 56 bytes (longer keys use their first 72 bytes as the
    // standard schedule does; an empty key is treated as one zero byte).
    Blowfish(const std::uint8_t* key, std::size_t length);
    explicit Blowfish(const QByteArray& key);

    // One block in words (left, right), in place.
    void EncryptBlock(std::uint32_t& left, std::uint32_t& right) const;
    void DecryptBlock(std::uint32_t& left, std::uint32_t& right) const;

    // ECB over whole 8-byte blocks, in place. length must be a multiple of 8;
    // a trailing partial block is left untouched.
    void Encrypt(std::uint8_t* data, std::size_t length) const;
    void Decrypt(std::uint8_t* data, std::size_t length) const;
    void Encrypt(QByteArray& data) const;
    void Decrypt(QByteArray& data) const;

private:
    std::uint32_t F(std::uint32_t x) const
    {
        return ((s_[0][x >> 24] + s_[1][(x >> 16) & 0xff]) ^ s_[2][(x >> 8) & 0xff]) +
               s_[3][x & 0xff];
    }

    std::uint32_t p_[18];
    std::uint32_t s_[4][256];
};

} // namespace vm
