// One move-only owner for every kind of platform handle: closed in the destructor.
#pragma once

#include <utility>

#include "platform/last_error.h"
#include "platform/types.h"

namespace orvo::platform {

// Traits: `static void Close(Handle) noexcept;` and `static constexpr Handle kInvalid`.
template <class Traits>
class UniqueHandle {
 public:
  UniqueHandle() noexcept = default;
  explicit UniqueHandle(Handle h) noexcept : h_(h) {}
  ~UniqueHandle() { reset(); }

  UniqueHandle(UniqueHandle&& other) noexcept : h_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  [[nodiscard]] Handle get() const noexcept { return h_; }
  [[nodiscard]] explicit operator bool() const noexcept { return h_ != Traits::kInvalid; }

  // For out-parameters: closes what is held and hands out the slot.
  Handle* put() noexcept {
    reset();
    return &h_;
  }
  [[nodiscard]] Handle release() noexcept { return std::exchange(h_, Traits::kInvalid); }

  // Closing keeps the last error of the call that came before it.
  void reset(Handle h = Traits::kInvalid) noexcept {
    if (h_ != Traits::kInvalid) {
      PreserveLastError keep;
      Traits::Close(h_);
    }
    h_ = h;
  }

 private:
  Handle h_ = Traits::kInvalid;
};

}  // namespace orvo::platform
