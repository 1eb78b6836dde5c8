// SPDX-License-Identifier: MIT
// The lifetime rule: a window, timer or socket is released only from a posted task, never inside
// its own callback. Two helpers keep that rule the same everywhere.
#pragma once

#include <functional>
#include <memory>
#include <utility>

namespace velmora {

// Raises a flag for as long as a scope runs (a handler on the stack, a modal box open) and gives
// back the value it found, so nested scopes leave it raised until the outermost one ends.
class ScopedFlag {
  public:
    explicit ScopedFlag(bool& flag) : flag_(flag), was_(flag) { flag_ = true; }
    ~ScopedFlag() { flag_ = was_; }
    ScopedFlag(const ScopedFlag&) = delete;
    ScopedFlag& operator=(const ScopedFlag&) = delete;

  private:
    bool& flag_;
    bool was_;
};

// Tells a task posted by an object whether that object still lives when the task runs.
class Liveness {
  public:
    Liveness() = default;
    Liveness(const Liveness&) = delete;
    Liveness& operator=(const Liveness&) = delete;

    // Asked by code that goes on after calling out, when the call may have destroyed the owner.
    class Watch {
      public:
        bool alive() const { return !token_.expired(); }

      private:
        friend class Liveness;
        explicit Watch(std::weak_ptr<const char> token) : token_(std::move(token)) {}
        std::weak_ptr<const char> token_;
    };

    Watch watch() const { return Watch(token_); }

    // The task, run only while the owner of this Liveness has not been destroyed.
    std::function<void()> guard(std::function<void()> task) const {
        return [alive = watch(), task = std::move(task)] {
            if (alive.alive()) task();
        };
    }

  private:
    std::shared_ptr<const char> token_ = std::make_shared<const char>();
};

}  // namespace velmora
