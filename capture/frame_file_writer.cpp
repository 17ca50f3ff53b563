#include "capture/frame_file_writer.h"

#include "capture/frame_capture.h"

namespace capture {

CFrameFileWriter::CFrameFileWriter(bool background) : background_(background) {
    if (background_) worker_ = std::thread([this] { Work(); });
}

CFrameFileWriter::~CFrameFileWriter() {
    if (!background_) return;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    worker_.join();
}

void CFrameFileWriter::Save(CSurface surface, std::string path) {
    if (!background_) {
        SaveSurface(surface, path);
        return;
    }
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return queue_.size() < kMaxQueued; });
    queue_.push_back({std::move(surface), std::move(path)});
    changed_.notify_all();
}

bool CFrameFileWriter::Pending(const std::string& path) const {
    if (running_ == path) return true;
    for (const Job& job : queue_) {
        if (job.path == path) return true;
    }
    return false;
}

void CFrameFileWriter::WaitFor(const std::string& path) {
    if (!background_) return;
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return !Pending(path); });
}

void CFrameFileWriter::WaitForAll() {
    if (!background_) return;
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return queue_.empty() && running_.empty(); });
}

void CFrameFileWriter::Work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) return;
        Job job = std::move(queue_.front());
        queue_.pop_front();
        running_ = job.path;
        changed_.notify_all();
        lock.unlock();
        SaveSurface(job.surface, job.path);
        lock.lock();
        running_.clear();
        changed_.notify_all();
    }
}

}  // namespace capture
