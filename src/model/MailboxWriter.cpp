#include "model/MailboxWriter.h"

#include "core/Errors.h"

namespace vm {

MailboxWriter::MailboxWriter() = default;

MailboxWriter::~MailboxWriter()
{
    Stop();
}

void MailboxWriter::Queue(MailboxFileImage image)
{
    std::lock_guard<std::mutex> lock(mutex_);
    bool replaced = false;
    for (MailboxFileImage& waiting : queue_)
        if (waiting.path == image.path) {
            waiting = std::move(image);
            replaced = true;
            break;
        }
    if (!replaced)
        queue_.push_back(std::move(image));
    if (!thread_.joinable()) {
        stop_ = false;
        thread_ = std::thread([this] { Run(); });
    }
    wake_.notify_one();
}

void MailboxWriter::WaitIdle()
{
    std::unique_lock<std::mutex> lock(mutex_);
    idle_.wait(lock, [this] { return queue_.empty() && !writing_; });
}

void MailboxWriter::Stop()
{
    {
        std::unique_lock<std::mutex> lock(mutex_);
        idle_.wait(lock, [this] { return queue_.empty() && !writing_; });
        stop_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable())
        thread_.join();
}

void MailboxWriter::Run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
        if (queue_.empty())
            return; // stopped
        MailboxFileImage image = std::move(queue_.front());
        queue_.pop_front();
        writing_ = true;
        lock.unlock();

        MailboxWriteResult result;
        result.path = image.path;
        try {
            WriteMailboxFile(image);
        } catch (const std::exception& e) {
            result.errorClass = ErrorClassName(e);
            result.errorMessage = ErrorMessage(e);
        }
        image = MailboxFileImage(); // the shared texts go before the lock is taken
        QMetaObject::invokeMethod(
            this, [this, result] { emit finished(result); }, Qt::QueuedConnection);

        lock.lock();
        writing_ = false;
        if (queue_.empty())
            idle_.notify_all();
    }
}

MailboxWriter& BackgroundMailboxWriter()
{
    static MailboxWriter writer;
    return writer;
}

void WaitForMailboxWrites()
{
    BackgroundMailboxWriter().WaitIdle();
}

} // namespace vm
