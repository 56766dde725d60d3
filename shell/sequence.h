// A sequence of steps written top to bottom as a C++20 coroutine.
//
// `Sequence<T>` is a coroutine that starts suspended and ends in a value
// of type T (or none, for void). Awaiting one from another sequence runs it
// to its end and then goes on with the awaiting one. Destroying a sequence
// that waits somewhere ends it there, with the sequences it awaits: that is
// how an operation is cancelled. Nothing here throws; a step that would is
// a fault.
//
// GCC 12 miscompiles a co_await inside an if's condition (the coroutine
// resumes on a wrong frame): await into a variable first.
#pragma once

#include <coroutine>
#include <exception>
#include <utility>

// WebAssembly without tail calls (which Asyncify, the browser build's way to
// wait, can't take) has no symmetric transfer: there a sequence hands over
// to the next by an ordinary call, one stack frame deeper each time. The
// depth stays that of the sequences awaiting each other.
#if defined(__wasm__)
#define SEQUENCE_RESUMES_BY_CALL 1
#endif

// What a sequence ends in.
template <typename T>
struct SequenceResult {
  T value{};
  void return_value(T result) { value = std::move(result); }
  T Take() { return std::move(value); }
};
template <>
struct SequenceResult<void> {
  void return_void() {}
  void Take() {}
};

template <typename T>
class [[nodiscard]] Sequence {
 public:
  struct promise_type : SequenceResult<T> {
    std::coroutine_handle<> continuation;

    Sequence get_return_object() { return Sequence(Handle::from_promise(*this)); }
    std::suspend_always initial_suspend() noexcept { return {}; }
    auto final_suspend() noexcept {
      struct ResumeAwaiting {
        bool await_ready() noexcept { return false; }
#ifdef SEQUENCE_RESUMES_BY_CALL
        void await_suspend(Handle done) noexcept {
          // Nothing of this frame is touched after the resume.
          if (std::coroutine_handle<> next = done.promise().continuation) next.resume();
        }
#else
        std::coroutine_handle<> await_suspend(Handle done) noexcept {
          const std::coroutine_handle<> next = done.promise().continuation;
          return next ? next : std::noop_coroutine();
        }
#endif
        void await_resume() noexcept {}
      };
      return ResumeAwaiting{};
    }
    void unhandled_exception() { std::terminate(); }
  };
  using Handle = std::coroutine_handle<promise_type>;

  Sequence() = default;
  Sequence(Sequence&& other) noexcept : handle_(std::exchange(other.handle_, {})) {}
  Sequence& operator=(Sequence&& other) noexcept {
    if (this != &other) {
      Reset();
      handle_ = std::exchange(other.handle_, {});
    }
    return *this;
  }
  Sequence(const Sequence&) = delete;
  Sequence& operator=(const Sequence&) = delete;
  ~Sequence() { Reset(); }

  // For the owner of an outermost sequence: run it up to its first wait.
  void Start() { handle_.resume(); }
  bool Done() const { return !handle_ || handle_.done(); }
  template <typename U = T>
  const U& Result() const {
    return handle_.promise().value;
  }
  // Ends the sequence wherever it waits.
  void Reset() {
    if (handle_) handle_.destroy();
    handle_ = {};
  }
  explicit operator bool() const { return static_cast<bool>(handle_); }

  // Awaiting a sequence runs it, then resumes the one awaiting it.
  bool await_ready() const noexcept { return false; }
#ifdef SEQUENCE_RESUMES_BY_CALL
  void await_suspend(std::coroutine_handle<> awaiting) noexcept {
    handle_.promise().continuation = awaiting;
    handle_.resume();
  }
#else
  std::coroutine_handle<> await_suspend(std::coroutine_handle<> awaiting) noexcept {
    handle_.promise().continuation = awaiting;
    return handle_;
  }
#endif
  T await_resume() { return handle_.promise().Take(); }

 private:
  explicit Sequence(Handle handle) : handle_(handle) {}
  Handle handle_;
};
