// A hand-over between the thread that draws frames and the one that encodes them: at most a
// few items wait, the drawing side blocks while the queue is full, and an encoding failure
// stops both sides.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <new>
#include <thread>
#include <utility>

namespace cli {

template <typename Item>
class EncodeQueue {
  public:
    // `encode` runs on the queue's own thread for each item, in order; false stops it.
    EncodeQueue(std::size_t depth, std::function<bool(Item&)> encode)
        : depth_(depth), encode_(std::move(encode)), worker_([this] { Work(); }) {}
    ~EncodeQueue() { Stop(); }
    EncodeQueue(const EncodeQueue&) = delete;
    EncodeQueue& operator=(const EncodeQueue&) = delete;

    // False once encoding has failed.
    bool Push(Item item) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return queue_.size() < depth_ || failed_; });
        if (failed_) return false;
        queue_.push_back(std::move(item));
        changed_.notify_all();
        return true;
    }
    // Waits for every item given; false when one failed.
    bool Stop() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
            changed_.notify_all();
        }
        if (worker_.joinable()) worker_.join();
        return !failed_;
    }
    bool OutOfMemory() const { return outOfMemory_; }

  private:
    void Work() {
        for (;;) {
            Item item;
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [this] { return !queue_.empty() || stopping_; });
                if (queue_.empty()) return;
                item = std::move(queue_.front());
                queue_.pop_front();
                changed_.notify_all();
            }
            bool done = false;
            try {
                done = encode_(item);
            } catch (const std::bad_alloc&) {
                outOfMemory_ = true;
            }
            if (!done) {
                std::lock_guard lock(mutex_);
                failed_ = true;
                queue_.clear();
                changed_.notify_all();
                return;
            }
        }
    }

    std::size_t depth_;
    std::function<bool(Item&)> encode_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Item> queue_;
    bool stopping_ = false;
    bool failed_ = false;
    bool outOfMemory_ = false;
    std::thread worker_;
};

}  // namespace cli
