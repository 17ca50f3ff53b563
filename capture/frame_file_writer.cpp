#include "capture/frame_file_writer.h"

#include "capture/frame_capture.h"

namespace capture {

FrameFileWriter::FrameFileWriter(bool background, std::shared_ptr<CCodecFactory> codecs)
    : background_(background), codecs_(std::move(codecs)) {
    if (!background_) return;
    if (!codecs_) codecs_ = std::make_shared<CAppCodecFactory>();
    worker_ = std::thread([this] { Work(); });
}

FrameFileWriter::~FrameFileWriter() {
    if (!background_) return;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    worker_.join();
}

void FrameFileWriter::Save(CSurface surface, std::string path) {
    if (!background_) {
        if (!firstFailure_.empty()) return;
        std::string reason;
        Record(SaveSurface(surface, path, &reason), reason);
        return;
    }
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return queue_.size() < kMaxQueued; });
    if (!firstFailure_.empty()) return;
    queue_.push_back({std::move(surface), std::move(path)});
    changed_.notify_all();
}

bool FrameFileWriter::Pending(const std::string& path) const {
    if (running_ == path) return true;
    for (const Job& job : queue_) {
        if (job.path == path) return true;
    }
    return false;
}

void FrameFileWriter::WaitFor(const std::string& path) {
    if (!background_) return;
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return !Pending(path); });
}

void FrameFileWriter::WaitForAll() {
    if (!background_) return;
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return queue_.empty() && running_.empty(); });
}

std::string FrameFileWriter::FirstFailure() const {
    std::lock_guard lock(mutex_);
    return firstFailure_;
}

void FrameFileWriter::Record(bool saved, const std::string& reason) {
    if (saved || !firstFailure_.empty()) return;
    firstFailure_ = reason.empty() ? "a frame file could not be saved" : reason;
}

void FrameFileWriter::Work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) return;
        Job job = std::move(queue_.front());
        queue_.pop_front();
        running_ = job.path;
        changed_.notify_all();
        lock.unlock();
        std::string reason;
        const bool saved = SaveSurfaceWith(*codecs_, job.surface, job.path, &reason);
        lock.lock();
        Record(saved, reason);
        // What is still queued after a failure is not written: the run ends on it.
        if (!saved) queue_.clear();
        running_.clear();
        changed_.notify_all();
    }
}

}  // namespace capture
