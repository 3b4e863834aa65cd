#pragma once
// Intrusive reference counting shared by every host object and by the objects a plug-in
// implements for the host.
#include <atomic>
#include <cstdint>

#include <boost/intrusive_ptr.hpp>

namespace Orvane {

class IRefCountable {
 public:
  virtual ~IRefCountable() = default;
  virtual uint32_t AddRef() = 0;
  virtual uint32_t GetRefCount() const = 0;
  // Destroys the object when the count drops to zero.
  virtual uint32_t Release() = 0;
};

// The counter that implementations embed; safe to change from any thread.
class RefCountImpl {
 public:
  uint32_t AddRefImpl() { return count_.fetch_add(1, std::memory_order_relaxed) + 1; }
  uint32_t ReleaseImpl() { return count_.fetch_sub(1, std::memory_order_acq_rel) - 1; }
  uint32_t GetRefCountImpl() const { return count_.load(std::memory_order_acquire); }

 private:
  std::atomic<uint32_t> count_{0};
};

// Const handles count too: holding a read-only view still keeps the object alive.
inline void intrusive_ptr_add_ref(const IRefCountable* p) { const_cast<IRefCountable*>(p)->AddRef(); }
inline void intrusive_ptr_release(const IRefCountable* p) { const_cast<IRefCountable*>(p)->Release(); }

// The usual implementation of the three counting operations for a class with a RefCountImpl
// member named refCount_.
#define ORVANE_IMPLEMENT_REFCOUNT                                                 \
  uint32_t AddRef() override { return refCount_.AddRefImpl(); }                   \
  uint32_t GetRefCount() const override { return refCount_.GetRefCountImpl(); }   \
  uint32_t Release() override {                                                   \
    const uint32_t left = refCount_.ReleaseImpl();                                \
    if (left == 0) delete this;                                                   \
    return left;                                                                  \
  }

}  // namespace Orvane
