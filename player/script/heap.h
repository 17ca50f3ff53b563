// The script engine's garbage-collected heap: every string, object and scope is a cell on it.
// Collection is mark and sweep, run only at points where every live value is reachable from
// the engine's roots, so cycles are freed and native code never sees a cell vanish.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace player::script {

class Marker;

class Cell {
  public:
    virtual ~Cell() = default;
    // Pushes every cell this one refers to.
    virtual void Trace(Marker&) const {}
    // Bytes this cell holds, itself included (an estimate good enough for a cap).
    virtual std::size_t Size() const = 0;

  private:
    friend class Heap;
    friend class Marker;
    Cell* next_ = nullptr;
    bool marked_ = false;
};

// Marks cells reachable from the roots without recursing (a chain a million long is fine).
class Marker {
  public:
    void Mark(const Cell* cell) {
        if (cell && !cell->marked_) {
            const_cast<Cell*>(cell)->marked_ = true;
            pending_.push_back(cell);
        }
    }
    void Drain() {
        while (!pending_.empty()) {
            const Cell* cell = pending_.back();
            pending_.pop_back();
            cell->Trace(*this);
        }
    }

  private:
    std::vector<const Cell*> pending_;
};

// An immutable string.
class String final : public Cell {
  public:
    explicit String(std::string text) : text_(std::move(text)) {}
    const std::string& Text() const { return text_; }
    std::size_t Size() const override { return sizeof(String) + text_.capacity(); }

  private:
    std::string text_;
};

class Heap {
  public:
    Heap() = default;
    Heap(const Heap&) = delete;
    Heap& operator=(const Heap&) = delete;
    ~Heap();

    template <class T, class... Args>
    T* New(Args&&... args) {
        T* cell = new T(std::forward<Args>(args)...);
        Link(cell);
        return cell;
    }
    String* NewString(std::string text) { return New<String>(std::move(text)); }

    // Growth of a cell after it was made (properties added, text appended).
    void Grew(std::size_t bytes) { bytes_ += bytes; }
    std::size_t Bytes() const { return bytes_; }
    std::size_t Cells() const { return cells_; }
    // True when enough was allocated since the last collection to make another worthwhile.
    bool WantsCollection() const { return bytes_ > nextCollection_; }

    // Frees every cell the roots do not reach. markRoots marks the roots through the marker.
    template <class MarkRoots>
    void Collect(MarkRoots&& markRoots) {
        Marker marker;
        markRoots(marker);
        marker.Drain();
        Sweep();
    }

  private:
    void Link(Cell* cell);
    void Sweep();

    Cell* head_ = nullptr;
    std::size_t cells_ = 0;
    std::size_t bytes_ = 0;
    std::size_t nextCollection_ = 8u << 20;
};

}  // namespace player::script
