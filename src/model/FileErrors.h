#pragma once
// Errors raised by the storage code.
//
// File-format errors come in three kinds under MailboxFormatError; the
// loader answers each differently:
//   MailboxHeaderError  - the file's header or account block is
//                                        invalid: the account is dropped;
//   MailboxContentError - a message record is damaged: the
//                                        account is kept with the records read
//                                        before it;
//   MailboxFormatError             - a text runs past the end of its stream:
//                                        reported like an unreadable file.
// Their messages are empty. File access failures are FileOpenError (cannot open
// for reading), FileCreateError (cannot create for writing) and FileWriteError.

#include <QString>

#include <stdexcept>
#include <string>

#include "core/Errors.h"

namespace vm {

class FileError : public std::runtime_error, public vm::ReportableError
{
public:
    explicit FileError(const std::string& message = {}) : std::runtime_error(message) {}
    // The class name shown in error reports.
    virtual const char* ClassName() const { return "FileError"; }
    QString ReportClassName() const override { return QString::fromLatin1(ClassName()); }
    QString ReportMessage() const override { return QString::fromLocal8Bit(what()); }
};

class FileOpenError : public FileError
{
public:
    using FileError::FileError;
    const char* ClassName() const override { return "FileOpenError"; }
};

class FileCreateError : public FileError
{
public:
    using FileError::FileError;
    const char* ClassName() const override { return "FileCreateError"; }
};

class FileWriteError : public FileError
{
public:
    using FileError::FileError;
    const char* ClassName() const override { return "FileWriteError"; }
};

class MailboxFormatError : public FileError
{
public:
    MailboxFormatError() = default;
    const char* ClassName() const override { return "MailboxFormatError"; }
};

class MailboxHeaderError : public MailboxFormatError
{
public:
    const char* ClassName() const override { return "MailboxHeaderError"; }
};

class MailboxContentError : public MailboxFormatError
{
public:
    const char* ClassName() const override { return "MailboxContentError"; }
};

} // namespace vm
