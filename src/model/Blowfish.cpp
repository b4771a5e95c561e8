#include "model/Blowfish.h"

#include <cstring>

namespace vm {

namespace {
#include "model/BlowfishTables.inc"

std::uint32_t LoadLE(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}

void StoreLE(std::uint8_t* p, std::uint32_t v)
{
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
    p[2] = std::uint8_t(v >> 16);
    p[3] = std::uint8_t(v >> 24);
}
} // namespace

Blowfish::Blowfish(const std::uint8_t* key, std::size_t length)
{
    std::memcpy(p_, kInitP, sizeof p_);
    std::memcpy(s_, kInitS, sizeof s_);
    static const std::uint8_t zero = 0;
    if (length == 0 || key == nullptr) {
        key = &zero;
        length = 1;
    }
    std::size_t k = 0;
    for (auto& p : p_) {
        std::uint32_t word = 0;
        for (int b = 0; b < 4; ++b) {
            word = (word << 8) | key[k];
            k = (k + 1) % length;
        }
        p ^= word;
    }
    std::uint32_t l = 0, r = 0;
    for (int i = 0; i < 18; i += 2) {
        EncryptBlock(l, r);
        p_[i] = l;
        p_[i + 1] = r;
    }
    for (auto& box : s_)
        for (int i = 0; i < 256; i += 2) {
            EncryptBlock(l, r);
            box[i] = l;
            box[i + 1] = r;
        }
}

Blowfish::Blowfish(const QByteArray& key)
    : Blowfish(reinterpret_cast<const std::uint8_t*>(key.constData()),
                static_cast<std::size_t>(key.size()))
{
}

void Blowfish::EncryptBlock(std::uint32_t& left, std::uint32_t& right) const
{
    std::uint32_t l = left, r = right;
    for (int i = 0; i < 16; i += 2) {
        l ^= p_[i];
        r ^= F(l);
        r ^= p_[i + 1];
        l ^= F(r);
    }
    l ^= p_[16];
    r ^= p_[17];
    left = r;
    right = l;
}

void Blowfish::DecryptBlock(std::uint32_t& left, std::uint32_t& right) const
{
    std::uint32_t l = left, r = right;
    for (int i = 17; i > 1; i -= 2) {
        l ^= p_[i];
        r ^= F(l);
        r ^= p_[i - 1];
        l ^= F(r);
    }
    l ^= p_[1];
    r ^= p_[0];
    left = r;
    right = l;
}

void Blowfish::Encrypt(std::uint8_t* data, std::size_t length) const
{
    for (std::size_t off = 0; off + 8 <= length; off += 8) {
        std::uint32_t l = LoadLE(data + off), r = LoadLE(data + off + 4);
        EncryptBlock(l, r);
        StoreLE(data + off, l);
        StoreLE(data + off + 4, r);
    }
}

void Blowfish::Decrypt(std::uint8_t* data, std::size_t length) const
{
    for (std::size_t off = 0; off + 8 <= length; off += 8) {
        std::uint32_t l = LoadLE(data + off), r = LoadLE(data + off + 4);
        DecryptBlock(l, r);
        StoreLE(data + off, l);
        StoreLE(data + off + 4, r);
    }
}

void Blowfish::Encrypt(QByteArray& data) const
{
    Encrypt(reinterpret_cast<std::uint8_t*>(data.data()), static_cast<std::size_t>(data.size()));
}

void Blowfish::Decrypt(QByteArray& data) const
{
    Decrypt(reinterpret_cast<std::uint8_t*>(data.data()), static_cast<std::size_t>(data.size()));
}

} // namespace vm
