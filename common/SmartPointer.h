// A reference-counted pointer: the object and a count shared on the heap by
// every holder. Besides the usual sharing, destroy() deletes the object at
// once for every holder: the count then turns negative (minus the holders
// that still point at it), each of them reads as null, and the last one to
// let go frees the count.
//
// The count is atomic, so holders of one object may be copied and released
// on different threads (a connection passes from the listener to the
// handler). The object itself is not guarded: callers that share it across
// threads use their own locks, and must not destroy() it while another
// thread works with it.
#pragma once

#include <atomic>
#include <new>

namespace Vemora {

template <typename T>
class SmartPointer {
 public:
  // Takes ownership; a null object gives an empty holder. When the count
  // cannot be allocated the object is deleted and the holder left empty.
  SmartPointer(T* object = nullptr) {  // NOLINT: implicit by design
    if (object == nullptr) return;
    count_ = new (std::nothrow) std::atomic<int>(1);
    if (count_ == nullptr) {
      deleteObject(object);
      return;
    }
    pointee_ = object;
  }

  SmartPointer(const SmartPointer& other) { share(other.pointee_, other.count_); }

  // A holder of a derived object may be shared as a holder of its base.
  template <typename U>
  SmartPointer(const SmartPointer<U>& other) {  // NOLINT: implicit by design
    share(other.pointee_, other.count_);
  }

  SmartPointer& operator=(const SmartPointer& other) {
    if (this == &other || (pointee_ == other.pointee_ && count_ == other.count_)) return *this;
    release();
    share(other.pointee_, other.count_);
    return *this;
  }

  virtual ~SmartPointer() { release(); }

  // True when nothing is held or the object was destroyed.
  virtual bool isNull() const {
    if (count_ != nullptr && count_->load(std::memory_order_acquire) < 1) return true;
    return pointee_ == nullptr;
  }

  // Lets go; the holder then holds nothing.
  virtual void reset() { release(); }

  // Deletes the object now for every holder; this holder then holds nothing.
  // On an empty holder or a destroyed object it only empties this holder.
  virtual void destroy() {
    if (pointee_ == nullptr || count_ == nullptr) return;
    int n = count_->load(std::memory_order_acquire);
    while (n > 1 && !count_->compare_exchange_weak(n, 1 - n, std::memory_order_acq_rel)) {
    }
    if (n == 1) {
      release();
      return;
    }
    if (n > 1) deleteObject(pointee_);
    // n <= 0: already destroyed by another holder; our share stays counted
    // until release below drops it.
    if (n <= 0) {
      release();
      return;
    }
    pointee_ = nullptr;
    count_ = nullptr;
  }

  // True when both hold the same object address.
  virtual bool equals(const SmartPointer& other) const { return pointee_ == other.pointee_; }

  // Lets go of the object: the last holder deletes it and frees the count.
  void release() {
    if (pointee_ == nullptr || count_ == nullptr) return;
    std::atomic<int>* count = count_;
    T* object = pointee_;
    pointee_ = nullptr;
    count_ = nullptr;
    int n = count->load(std::memory_order_acquire);
    for (;;) {
      const int next = n >= 0 ? n - 1 : n + 1;
      if (count->compare_exchange_weak(n, next, std::memory_order_acq_rel)) {
        if (next != 0) return;
        if (n > 0) deleteObject(object);
        delete count;
        return;
      }
    }
  }

  // The object, or null when isNull() (never a destroyed object).
  T* get() const { return isNull() ? nullptr : pointee_; }
  T* operator->() const { return get(); }
  T& operator*() const { return *get(); }

  // The shared count: n holders, minus the remaining holders after destroy,
  // 0 for an empty holder. For diagnostics and tests.
  int count() const { return count_ == nullptr ? 0 : count_->load(std::memory_order_acquire); }

 private:
  template <typename U>
  friend class SmartPointer;

  void share(T* pointee, std::atomic<int>* count) {
    if (pointee == nullptr || count == nullptr) return;
    int n = count->load(std::memory_order_acquire);
    while (!count->compare_exchange_weak(n, n >= 0 ? n + 1 : n - 1, std::memory_order_acq_rel)) {
    }
    pointee_ = pointee;
    count_ = count;
  }

  static void deleteObject(T* object) {
    try {
      delete object;
    } catch (...) {
      // A throwing destructor must not escape a release.
    }
  }

  T* pointee_ = nullptr;
  std::atomic<int>* count_ = nullptr;
};

}  // namespace Vemora
