// The program's Blowfish against published test vectors (big-endian words,
// converted to the program's little-endian byte order) and against OpenSSL.

#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/blowfish.h>

#include <QByteArray>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include "model/Blowfish.h"
#include "model/MailboxKey.h"

using namespace vm;

namespace {

// Swaps the bytes of each 32-bit word: the usual presentation <-> ours.
QByteArray SwapWords(QByteArray b)
{
    for (qsizetype i = 0; i + 4 <= b.size(); i += 4) {
        std::swap(b[i], b[i + 3]);
        std::swap(b[i + 1], b[i + 2]);
    }
    return b;
}

struct Vector
{
    const char* key;
    const char* plain;
    const char* cipher;
};

// Eric Young's Blowfish ECB test set (subset, key lengths 8 and 24 bytes).
const Vector kVectors[] = {
    {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
    {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
    {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
    {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
    {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
    {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
    {"7CA110454A1A6E57", "01A1D6D039776742", "59C68245EB05282B"},
    {"F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677", "FEDCBA9876543210", "05044B62FA52D080"},
};

TEST(Blowfish, PublishedVectorsWithByteOrderConverted)
{
    for (const Vector& v : kVectors) {
        const Blowfish bf(QByteArray::fromHex(v.key));
        QByteArray data = SwapWords(QByteArray::fromHex(v.plain));
        bf.Encrypt(data);
        EXPECT_EQ(SwapWords(data).toHex().toUpper(), QByteArray(v.cipher)) << v.key;
        bf.Decrypt(data);
        EXPECT_EQ(SwapWords(data).toHex().toUpper(), QByteArray(v.plain)) << v.key;
    }
}

TEST(Blowfish, WordsAreLittleEndian)
{
    // The same block given as words gives the bytes in little-endian order.
    const Blowfish bf(QByteArray::fromHex("0123456789ABCDEF"));
    std::uint32_t l = 0x11111111, r = 0x11111111;
    bf.EncryptBlock(l, r);
    EXPECT_EQ(l, 0x61F9C380u);
    EXPECT_EQ(r, 0x2281B096u);
    QByteArray bytes = QByteArray::fromHex("1111111111111111");
    bf.Encrypt(bytes);
    EXPECT_EQ(bytes.toHex(), QByteArray("80c3f96196b08122"));
}

TEST(Blowfish, AgreesWithOpenSsl)
{
    QRandomGenerator rng(20240611);
    for (int round = 0; round < 200; ++round) {
        const int keyLength = 1 + int(rng.bounded(56));
        QByteArray key(keyLength, Qt::Uninitialized);
        for (auto& c : key)
            c = char(rng.bounded(256));
        const int blocks = 1 + int(rng.bounded(8));
        QByteArray plain(blocks * 8, Qt::Uninitialized);
        for (auto& c : plain)
            c = char(rng.bounded(256));

        BF_KEY ossl;
        BF_set_key(&ossl, keyLength, reinterpret_cast<const unsigned char*>(key.constData()));
        QByteArray expected = SwapWords(plain);
        for (int b = 0; b < blocks; ++b) {
            auto* p = reinterpret_cast<unsigned char*>(expected.data()) + 8 * b;
            BF_ecb_encrypt(p, p, &ossl, BF_ENCRYPT);
        }
        expected = SwapWords(expected);

        const Blowfish bf(key);
        QByteArray data = plain;
        bf.Encrypt(data);
        ASSERT_EQ(data.toHex(), expected.toHex()) << "key " << key.toHex().constData();
        bf.Decrypt(data);
        ASSERT_EQ(data, plain);
    }
}

TEST(Blowfish, PartialTrailingBlockIsLeftAlone)
{
    const Blowfish bf(QByteArray("key"));
    QByteArray data("0123456789abc"); // one block and five bytes
    bf.Encrypt(data);
    EXPECT_EQ(data.mid(8), QByteArray("89abc"));
    EXPECT_NE(data.left(8), QByteArray("01234567"));
}

TEST(MailboxKey, RearrangesAndExpandsTheKeyText)
{
    // Identity positions: working text = key text. Products of character codes.
    const QByteArray text("ABCDEFGHIJ");
    const QByteArray key = vm::MakeMailboxKey(text, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    ASSERT_EQ(key.size(), 32);
    auto prod = [&](int k, int i) { return char((text[k] * text[i]) & 0xff); };
    // i = 1: k = 2..10; i = 2: k = 1, 3..10; ...
    EXPECT_EQ(key[0], prod(1, 0));
    EXPECT_EQ(key[8], prod(9, 0));
    EXPECT_EQ(key[9], prod(0, 1));
    EXPECT_EQ(key[10], prod(2, 1));
    EXPECT_EQ(key[27], prod(0, 3));
    EXPECT_EQ(key[31], prod(5, 3)); // i = 4 emits k = 1, 2, 3, 5, 6
    // A position table changes the key.
    const QByteArray other = vm::MakeMailboxKey(text, {2, 1, 3, 4, 5, 6, 7, 8, 9, 10});
    EXPECT_NE(key, other);
    EXPECT_EQ(other[0], prod(0, 1)); // working text starts "BA"
}

TEST(MailboxKey, ProgramKeyIsBuiltOnceAndStable)
{
    vm::BuildMailboxKey();
    const QByteArray first = vm::MailboxKey();
    EXPECT_EQ(first.size(), 32);
    vm::BuildMailboxKey();
    EXPECT_EQ(vm::MailboxKey(), first);
}

} // namespace
