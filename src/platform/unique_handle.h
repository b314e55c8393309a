// One move-only owner for every kind of platform handle: closed in the destructor.
#pragma once

#include <type_traits>
#include <utility>

#include "platform/last_error.h"
#include "platform/types.h"

namespace orvo::platform {

// Traits: `static constexpr Value kInvalid` and `static void Close(Value) noexcept;`. Value
// is the handle's type: Handle for the seam's handles, a native type in a backend.
template <class Traits>
class UniqueHandle {
 public:
  using Value = std::remove_cv_t<decltype(Traits::kInvalid)>;

  UniqueHandle() noexcept = default;
  explicit UniqueHandle(Value h) noexcept : h_(h) {}
  ~UniqueHandle() { reset(); }

  UniqueHandle(UniqueHandle&& other) noexcept : h_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  [[nodiscard]] Value get() const noexcept { return h_; }
  [[nodiscard]] explicit operator bool() const noexcept { return h_ != Traits::kInvalid; }

  // For out-parameters: closes what is held and hands out the slot.
  Value* put() noexcept {
    reset();
    return &h_;
  }
  [[nodiscard]] Value release() noexcept { return std::exchange(h_, Traits::kInvalid); }

  // Closing keeps the last error of the call that came before it.
  void reset(Value h = Traits::kInvalid) noexcept {
    if (h_ != Traits::kInvalid) {
      PreserveLastError keep;
      Traits::Close(h_);
    }
    h_ = h;
  }

 private:
  Value h_ = Traits::kInvalid;
};

}  // namespace orvo::platform
