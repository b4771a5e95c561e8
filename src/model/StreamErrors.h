#pragma once
// Errors raised by the storage code.
//
// File-format errors come in three kinds under EIncorrectStreamFormat; the
// loader answers each differently:
//   EIncorrectStreamFormatHeaderError  - the file's header or account block is
//                                        invalid: the account is dropped;
//   EIncorrectStreamFormatMailboxError - a message record is damaged: the
//                                        account is kept with the records read
//                                        before it;
//   EIncorrectStreamFormat             - a text runs past the end of its stream:
//                                        reported like an unreadable file.
// Their messages are empty. File access failures are EFOpenError (cannot open
// for reading), EFCreateError (cannot create for writing) and EWriteError.

#include <QString>

#include <stdexcept>
#include <string>

#include "core/Errors.h"

class EStreamError : public std::runtime_error, public vm::ReportableError
{
public:
    explicit EStreamError(const std::string& message = {}) : std::runtime_error(message) {}
    // The class name shown in error reports.
    virtual const char* ClassName() const { return "EStreamError"; }
    QString ReportClassName() const override { return QString::fromLatin1(ClassName()); }
    QString ReportMessage() const override { return QString::fromLocal8Bit(what()); }
};

class EFOpenError : public EStreamError
{
public:
    using EStreamError::EStreamError;
    const char* ClassName() const override { return "EFOpenError"; }
};

class EFCreateError : public EStreamError
{
public:
    using EStreamError::EStreamError;
    const char* ClassName() const override { return "EFCreateError"; }
};

class EWriteError : public EStreamError
{
public:
    using EStreamError::EStreamError;
    const char* ClassName() const override { return "EWriteError"; }
};

class EIncorrectStreamFormat : public EStreamError
{
public:
    EIncorrectStreamFormat() = default;
    const char* ClassName() const override { return "EIncorrectStreamFormat"; }
};

class EIncorrectStreamFormatHeaderError : public EIncorrectStreamFormat
{
public:
    const char* ClassName() const override { return "EIncorrectStreamFormatHeaderError"; }
};

class EIncorrectStreamFormatMailboxError : public EIncorrectStreamFormat
{
public:
    const char* ClassName() const override { return "EIncorrectStreamFormatMailboxError"; }
};
