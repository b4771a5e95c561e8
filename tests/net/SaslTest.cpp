// The SASL messages against the examples their specifications publish, and
// the reading of the OAuth 2.0 error challenge.

#include "net/Sasl.h"

#include <gtest/gtest.h>

using namespace vm;

TEST(Sasl, MessagesMatchThePublishedExamples)
{
    // Google's XOAUTH2 description and RFC 7628, section 4.1.
    EXPECT_EQ(SaslXOAuth2("someuser@example.com", "ya29.vF9dft4qmTc2Nvb3RlckBhdHRhdmlzdGEuY29tCg")
                  .toBase64(),
              "dXNlcj1zb21ldXNlckBleGFtcGxlLmNvbQFhdXRoPUJlYXJlciB5YTI5LnZGOWRmdDRxbVRjMk52YjNSbGNr"
              "QmhkSFJoZG1semRHRXVZMjl0Q2cBAQ==");
    EXPECT_EQ(SaslOAuthBearer("user@example.com", "server.example.com", 143,
                              "vF9dft4qmTc2Nvb3RlckBhbHRhdmlzdGEuY29tCg==")
                  .toBase64(),
              "bixhPXVzZXJAZXhhbXBsZS5jb20sAWhvc3Q9c2VydmVyLmV4YW1wbGUuY29tAXBvcnQ9MTQzAWF1dGg9QmVh"
              "cmVyIHZGOWRmdDRxbVRjMk52YjNSbGNrQmhiSFJoZG1semRHRXVZMjl0Q2c9PQEB");
    EXPECT_EQ(SaslPlain("tim", "tanstaaftanstaaf"), QByteArray("\0tim\0tanstaaftanstaaf", 21));
    EXPECT_EQ(SaslBearerErrorAnswer("OAUTHBEARER"), "\x01");
    EXPECT_EQ(SaslBearerErrorAnswer("XOAUTH2"), "");
}

TEST(Sasl, ErrorChallengesAndMechanismChoice)
{
    struct Case
    {
        QByteArray base64;
        bool valid;
        QByteArray status;
    } cases[] = {
        // RFC 7628, section 4.3, and what Dovecot sends.
        {"eyJzdGF0dXMiOiJpbnZhbGlkX3Rva2VuIiwic2NvcGUiOiJleGFtcGxlX3Njb3BlIiwib3BlbmlkLWNvbmZpZ3VyYXRpb24iOiJodHRwczovL2V4YW1wbGUuY29tLy53ZWxsLWtub3duL29wZW5pZC1jb25maWd1cmF0aW9uIn0=",
         true, "invalid_token"},
        {" eyJzdGF0dXMiOiI0MDEiLCJzY2hlbWVzIjoiYmVhcmVyIiwic2NvcGUiOiJtYWlsIn0=", true, "401"},
        {"", false, ""},
        {"bm90IGpzb24=", false, ""},   // "not json"
        {"WzEsMl0=", false, ""},       // "[1,2]"
        {"not*base64", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.base64.toStdString());
        const BearerChallenge got = ParseBearerChallenge(c.base64);
        EXPECT_EQ(got.valid, c.valid);
        EXPECT_EQ(got.status, c.status);
    }
    EXPECT_EQ(ChooseBearerMechanism({"PLAIN", "XOAUTH2", "OAUTHBEARER"}), "OAUTHBEARER");
    EXPECT_EQ(ChooseBearerMechanism({"PLAIN", "XOAUTH2"}), "XOAUTH2");
    EXPECT_EQ(ChooseBearerMechanism({"PLAIN", "LOGIN"}), "");
    EXPECT_TRUE(IsSendableBearerToken("ya29.a0-_~+/="));
    for (const QByteArray& bad : {QByteArray(), QByteArray("a b"), QByteArray("a\x01" "b"),
                                  QByteArray("a\r\nb"), QByteArray("caf\xc3\xa9")})
        EXPECT_FALSE(IsSendableBearerToken(bad)) << bad.toStdString();
}
