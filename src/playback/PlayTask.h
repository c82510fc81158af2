#pragma once

// A step of the play loop written as a C++20 coroutine, so that its waits
// read in the order they happen while the event loop keeps running: a
// wait suspends the step, and the event loop resumes it from its top level
// (a timer, a posted message), never from inside another handler.
//
// A task starts when it is awaited (or started, at the top) and resumes its
// awaiter when it ends; its value, or the exception it let out, goes to the
// awaiter (at the top: to Result). The task owns its coroutine's frame, and
// with it the frames of the tasks it awaits: destroying a suspended task
// unwinds all of them, running their destructors. UI thread.

#include <coroutine>
#include <exception>
#include <optional>
#include <type_traits>
#include <utility>

namespace tavelune {

template <class T = void>
class [[nodiscard]] TPlayTask;

namespace detail {

// What every task's promise has: its awaiter and its error.
struct TPlayPromiseBase {
  std::coroutine_handle<> Awaiter;  // the task awaiting this one; none at the top
  std::exception_ptr Error;

  std::suspend_always initial_suspend() noexcept { return {}; }
  // At its end a task hands over to its awaiter, without growing the
  // stack; at the top it stays suspended, done, until destroyed.
  struct TEnd {
    std::coroutine_handle<> Awaiter;
    bool await_ready() noexcept { return false; }
    std::coroutine_handle<> await_suspend(std::coroutine_handle<>) noexcept {
      return Awaiter ? Awaiter : std::noop_coroutine();
    }
    void await_resume() noexcept {}
  };
  TEnd final_suspend() noexcept { return {Awaiter}; }
  void unhandled_exception() { Error = std::current_exception(); }
};

template <class T>
struct TPlayPromise : TPlayPromiseBase {
  std::optional<T> Value;
  TPlayTask<T> get_return_object();
  void return_value(T value) { Value.emplace(std::move(value)); }
  T TakeValue() { return std::move(*Value); }
};

template <>
struct TPlayPromise<void> : TPlayPromiseBase {
  TPlayTask<void> get_return_object();
  void return_void() {}
  void TakeValue() {}
};

}  // namespace detail

template <class T>
class [[nodiscard]] TPlayTask {
 public:
  using promise_type = detail::TPlayPromise<T>;
  using THandle = std::coroutine_handle<promise_type>;

  TPlayTask() = default;
  explicit TPlayTask(THandle handle) : FHandle(handle) {}
  TPlayTask(TPlayTask&& other) noexcept : FHandle(std::exchange(other.FHandle, {})) {}
  TPlayTask& operator=(TPlayTask&& other) noexcept {
    if (this != &other) {
      Destroy();
      FHandle = std::exchange(other.FHandle, {});
    }
    return *this;
  }
  TPlayTask(const TPlayTask&) = delete;
  TPlayTask& operator=(const TPlayTask&) = delete;
  ~TPlayTask() { Destroy(); }

  // --- awaited by another task ---
  bool await_ready() const noexcept { return !FHandle; }
  std::coroutine_handle<> await_suspend(std::coroutine_handle<> awaiter) noexcept {
    FHandle.promise().Awaiter = awaiter;
    return FHandle;
  }
  T await_resume() { return Result(); }

  // --- at the top ---
  // Runs the task until its first wait (or its end).
  void Start() {
    if (FHandle && !FHandle.done()) {
      FHandle.resume();
    }
  }
  // Whether it has ended (an empty task has).
  bool Done() const noexcept { return !FHandle || FHandle.done(); }
  // Once it has ended: its value, or what it let out rethrown. An empty
  // task has no value.
  T Result() {
    if constexpr (std::is_void_v<T>) {
      if (!FHandle) {
        return;
      }
    }
    promise_type& promise = FHandle.promise();
    if (promise.Error) {
      std::rethrow_exception(std::exchange(promise.Error, {}));
    }
    return promise.TakeValue();
  }

 private:
  void Destroy() noexcept {
    if (FHandle) {
      FHandle.destroy();
      FHandle = {};
    }
  }

  THandle FHandle;
};

namespace detail {

template <class T>
TPlayTask<T> TPlayPromise<T>::get_return_object() {
  return TPlayTask<T>(std::coroutine_handle<TPlayPromise<T>>::from_promise(*this));
}

inline TPlayTask<void> TPlayPromise<void>::get_return_object() {
  return TPlayTask<void>(std::coroutine_handle<TPlayPromise<void>>::from_promise(*this));
}

}  // namespace detail

}  // namespace tavelune
