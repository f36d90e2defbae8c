#pragma once
#include <stdint.h>

#include <new>
#include <utility>

#include "Memory.h"

// Growable array whose capacity doubles (starting at 1) when full. An append that cannot
// grow the array drops the element and returns false.
template <typename T>
class List {
 public:
  List() : items_(nullptr), count_(0), capacity_(0) {}
  List(const List&) = delete;
  List& operator=(const List&) = delete;
  ~List() { Clear(); }

  bool Append(const T& item) {
    if (count_ == capacity_ && !Grow()) return false;
    new (&items_[count_]) T(item);
    ++count_;
    return true;
  }

  void Clear() {
    for (uint32_t i = 0; i < count_; ++i) items_[i].~T();
    MemFree(items_);
    items_ = nullptr;
    count_ = capacity_ = 0;
  }

  uint32_t Count() const { return count_; }
  T& operator[](uint32_t index) { return items_[index]; }
  const T& operator[](uint32_t index) const { return items_[index]; }
  T* begin() { return items_; }
  T* end() { return items_ + count_; }
  const T* begin() const { return items_; }
  const T* end() const { return items_ + count_; }

 private:
  bool Grow() {
    uint32_t capacity = capacity_ ? capacity_ * 2 : 1;
    if (capacity < capacity_ || capacity > 0xFFFFFFFFu / sizeof(T)) return false;
    T* fresh = static_cast<T*>(MemAlloc(size_t(capacity) * sizeof(T)));
    if (!fresh) return false;
    for (uint32_t i = 0; i < count_; ++i) {
      new (&fresh[i]) T(std::move(items_[i]));
      items_[i].~T();
    }
    MemFree(items_);
    items_ = fresh;
    capacity_ = capacity;
    return true;
  }

  T* items_;
  uint32_t count_;
  uint32_t capacity_;
};
