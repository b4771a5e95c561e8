#pragma once
// An environment variable changed for the life of one object: set or removed
// on request, and put back as it was (value, or absence) when the object
// goes, also when the test fails halfway and returns early. A change of TZ
// makes the C library read the time zone again.
//
//   vm::test::ScopedEnv zone("TZ", "Europe/Berlin");
//   vm::test::ScopedEnv path("PATH");  path.Set(bin + ":" + path.Old());

#include <QByteArray>
#include <QtGlobal>

#include <ctime>

namespace vm::test {

class ScopedEnv
{
public:
    explicit ScopedEnv(const char* name)
        : name_(name), wasSet_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name))
    {
    }
    ScopedEnv(const char* name, const QByteArray& value) : ScopedEnv(name) { Set(value); }
    ~ScopedEnv()
    {
        if (wasSet_)
            qputenv(name_.constData(), old_);
        else
            qunsetenv(name_.constData());
        Changed();
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

    void Set(const QByteArray& value)
    {
        qputenv(name_.constData(), value);
        Changed();
    }
    void Unset()
    {
        qunsetenv(name_.constData());
        Changed();
    }
    // The value before this object changed it (empty when it was not set).
    QByteArray Old() const { return old_; }

private:
    void Changed()
    {
        if (name_ == "TZ")
            tzset();
    }

    QByteArray name_;
    bool wasSet_;
    QByteArray old_;
};

} // namespace vm::test
