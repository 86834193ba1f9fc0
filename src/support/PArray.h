// PArray: the program's list container, a growable array of element pointers that always ends in a
// null slot, so that a list can be walked by count or up to the first null.
//
// The array owns its slot storage, never the elements: an owner that wants them deleted deletes each
// one itself (typically: delete Last(), RemoveLast(), until IsEmpty()). Capacity starts at 2 slots and
// grows by 5 (2, 7, 12, ...) while the array is small; from kLinearGrowthLimit slots on it grows by half
// its size, so that the file list of a tree of 100 000 files is not copied 20 000 times while it is
// built. Not synchronised; one thread uses an array at a time.
#pragma once

#include <cassert>
#include <cstdint>
#include <memory>
#include <utility>

namespace quillon {

template <class T>
class PArray {
  public:
    PArray() : slots_(std::make_unique<T*[]>(2)), capacity_(2), count_(0) { slots_[0] = nullptr; }
    PArray(const PArray&) = delete;
    PArray& operator=(const PArray&) = delete;
    // A moved-from array is a valid empty array again (the defaulted moves would leave it with no
    // storage but its old count, so a later Get or Append on it would touch freed or missing slots).
    // The move constructor allocates the moved-from array's two new slots and may therefore throw.
    PArray(PArray&& other) : PArray() { Swap(other); }
    PArray& operator=(PArray&& other) noexcept {
        if (this != &other) {
            Swap(other);
            other.count_ = 0;
            other.slots_[0] = nullptr;
        }
        return *this;
    }

    // Appends a non-null element and answers it.
    T* Append(T* element) {
        assert(element != nullptr);
        if (capacity_ < count_ + 2) {
            int32_t step = capacity_ < kLinearGrowthLimit ? 5 : capacity_ / 2;
            auto grown = std::make_unique<T*[]>(capacity_ + step);
            for (int32_t i = 0; i <= count_; ++i) {
                grown[i] = slots_[i];
            }
            slots_ = std::move(grown);
            capacity_ += step;
        }
        slots_[count_++] = element;
        slots_[count_] = nullptr;
        return element;
    }

    // Element i for 0 <= i < Count(); Get(Count()) is null.
    T* Get(int32_t i) const {
        assert(i >= 0 && i <= count_);
        return slots_[i];
    }
    int32_t Count() const { return count_; }
    bool IsEmpty() const { return count_ == 0; }
    T* Last() const { return count_ > 0 ? slots_[count_ - 1] : nullptr; }

    // Drops the last element from the list without deleting it. The array must not be empty.
    void RemoveLast() {
        assert(count_ > 0);
        if (count_ == 0) {
            return;  // a caller error; writing slot -1 would corrupt the heap
        }
        slots_[--count_] = nullptr;
    }

    int32_t Capacity() const { return capacity_; }

    // Capacity up to which the array grows by 5 slots at a time.
    static constexpr int32_t kLinearGrowthLimit = 1002;

    // Range-for support over the elements.
    T* const* begin() const { return slots_.get(); }
    T* const* end() const { return slots_.get() + count_; }

  private:
    void Swap(PArray& other) noexcept {
        std::swap(slots_, other.slots_);
        std::swap(capacity_, other.capacity_);
        std::swap(count_, other.count_);
    }

    std::unique_ptr<T*[]> slots_;
    int32_t capacity_;
    int32_t count_;
};

// Deletes every element, last first, and leaves the array empty.
template <class T>
void DeleteAll(PArray<T>& array) {
    while (!array.IsEmpty()) {
        delete array.Last();
        array.RemoveLast();
    }
}

}  // namespace quillon
