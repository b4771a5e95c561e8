#pragma once
// Mailbox files written away from the interface thread. The interface
// thread takes an image of a file (MailAccount::FileImage: the small parts
// copied, the message texts shared with the records) and queues it; one
// thread of the writer's own writes the images one at a time, in the order
// they came. An image queued for a file whose earlier image still waits
// takes that image's place: only the newest state of a file matters.
//
// Anyone else who writes, moves or removes mailbox files waits for the
// queue first (WaitForMailboxWrites; MailAccount::SaveToFile does), so an
// older image never lands after them.

#include <QObject>
#include <QString>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "model/MailboxFileImage.h"

namespace vm {

struct MailboxWriteResult
{
    QString path;
    QString errorClass;   // empty when the file was written
    QString errorMessage; // names the file and the system's reason
    bool Written() const { return errorClass.isEmpty(); }
};

class MailboxWriter : public QObject
{
    Q_OBJECT
public:
    MailboxWriter();
    // Waits for the queue and ends the thread.
    ~MailboxWriter() override;

    // Queues image; the thread starts on first use.
    void Queue(MailboxFileImage image);
    // Returns once nothing waits and nothing is being written.
    void WaitIdle();
    // WaitIdle, then ends the thread (a later Queue starts it again).
    void Stop();

signals:
    // Delivered on the writer's own thread of creation (the interface
    // thread), after each image was written or failed.
    void finished(const vm::MailboxWriteResult& result);

private:
    void Run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<MailboxFileImage> queue_;
    bool writing_ = false;
    bool stop_ = false;
    std::thread thread_;
};

// The program's one background writer (created on first use).
MailboxWriter& BackgroundMailboxWriter();

// Waits until the background writer has written everything queued.
void WaitForMailboxWrites();

} // namespace vm
