#include "model/MailboxFileImage.h"

#include <QSaveFile>

#include "core/AtomicFile.h"
#include "model/FileErrors.h"

namespace vm {

void WriteMailboxFile(const MailboxFileImage& image)
{
    // The file holds the account's passwords: readable by its owner only,
    // from the first byte on.
    QSaveFile file(image.path);
    QString reason;
    if (!vm::OpenSaveFile(file, &reason))
        throw FileCreateError(QStringLiteral("Cannot create file \"%1\". %2")
                                .arg(image.path, reason)
                                .toStdString());
    const auto fail = [&] {
        file.cancelWriting();
        throw FileWriteError(QStringLiteral("Cannot write file \"%1\". %2")
                               .arg(image.path, reason)
                               .toStdString());
    };
    // Small pieces (the fixed parts of the records, most header blocks) are
    // gathered into large writes; large texts go straight to the file.
    constexpr qsizetype kGather = qsizetype(1) << 20;
    QByteArray gathered;
    gathered.reserve(kGather);
    const auto writeGathered = [&] {
        if (!gathered.isEmpty() &&
            !vm::WriteAll(file, gathered.constData(), gathered.size(), &reason))
            fail();
        gathered.clear();
    };
    for (const BytePiece& piece : image.pieces) {
        if (piece.length < kGather / 16) {
            gathered.append(piece.bytes.constData(), piece.length);
            if (gathered.size() >= kGather)
                writeGathered();
            continue;
        }
        writeGathered();
        if (!vm::WriteAll(file, piece.bytes.constData(), piece.length, &reason))
            fail();
    }
    writeGathered();
    if (!vm::CommitSaveFile(file, &reason))
        throw FileWriteError(QStringLiteral("Cannot write file \"%1\". %2")
                               .arg(image.path, reason)
                               .toStdString());
}

} // namespace vm
