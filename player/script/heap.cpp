#include "player/script/heap.h"

#include <algorithm>

namespace player::script {

Heap::~Heap() {
    while (head_) {
        Cell* next = head_->next_;
        delete head_;
        head_ = next;
    }
}

void Heap::Link(Cell* cell) {
    cell->next_ = head_;
    head_ = cell;
    ++cells_;
    bytes_ += cell->Size();
}

void Heap::Sweep() {
    std::size_t live = 0;
    std::size_t count = 0;
    Cell** link = &head_;
    while (Cell* cell = *link) {
        if (cell->marked_) {
            cell->marked_ = false;
            live += cell->Size();
            ++count;
            link = &cell->next_;
        } else {
            *link = cell->next_;
            delete cell;
        }
    }
    cells_ = count;
    bytes_ = live;
    nextCollection_ = std::max<std::size_t>(8u << 20, live * 2);
}

}  // namespace player::script
