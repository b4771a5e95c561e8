#pragma once
// A test suite whose tests share one Dovecot server, started once for the
// suite. When Dovecot is missing or does not start, every test is skipped
// with the reason.
//
//   class MyTest : public vm::test::DovecotSuite
//   {
//       void SetUp() override
//       {
//           DovecotSuite::SetUp();
//           if (IsSkipped())
//               return;
//           ... use server ...
//       }
//   };

#include <gtest/gtest.h>

#include <QString>

#include "support/DovecotFixture.h"
#include "support/TestPki.h"

namespace vm::test {

class DovecotSuite : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        EnsureCoreApp();
        if (!DovecotFixture::Available())
            return;
        server = new DovecotFixture;
        if (!server->Start()) {
            startError = server->LastError();
            delete server;
            server = nullptr;
        }
    }
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
    }
    void SetUp() override
    {
        if (!server)
            GTEST_SKIP() << "Dovecot not available: " << startError.toStdString();
    }

    static inline DovecotFixture* server = nullptr;
    static inline QString startError;
};

} // namespace vm::test
