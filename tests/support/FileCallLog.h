#pragma once
// Records the calls that make a written file visible (rename, linkat) and
// the fsync calls of the test program, including those made inside Qt: the
// test program defines these functions itself, so every caller in the
// process reaches them first; they pass each call on to the C library.
// Add FileCallLog.cpp to the SOURCES of a test program that uses this.

#include <QList>
#include <QString>

namespace vm::test {

struct FileCall
{
    enum Kind { Appear, Sync } kind;
    QString path;           // Appear: the name the file got; Sync: what was synced
    unsigned mode = 0;      // Appear: permission bits of the file as it appeared
    bool directory = false; // Sync: the synced object was a folder
};

// Starts recording (clearing what was recorded before) / stops it.
void StartFileCallLog();
void StopFileCallLog();
QList<FileCall> FileCalls();

} // namespace vm::test
