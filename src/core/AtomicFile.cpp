#include "core/AtomicFile.h"

#include <QSaveFile>

namespace vm {

bool CommitSaveFile(QSaveFile& file, QString* error)
{
    if (!file.flush() || file.error() != QFileDevice::NoError) {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

bool WriteFileAtomically(const QString& path, const QByteArray& data, QString* error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    if (file.write(data) != data.size()) {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    return CommitSaveFile(file, error);
}

} // namespace vm
