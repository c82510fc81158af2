#include "base/Synchronize.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>

namespace tavelune {

namespace {

struct TRequest {
  std::function<void()> Step;
  bool Queued = false;  // nobody waits for it: posted with Queue
  bool Taken = false;   // the UI thread has it and will run it
  bool Done = false;
  std::exception_ptr Error;
};

// One queue for the process: there is one UI thread.
std::mutex gMutex;
std::condition_variable gChanged;  // a request arrived, or one was done
std::deque<std::shared_ptr<TRequest>> gWaiting;
std::function<void()> gWaker;  // guarded by gMutex; called outside it
int gStepDepth = 0;            // UI thread only: steps running, nested ones counted

void WakeMainThread() {
  std::function<void()> waker;
  {
    std::lock_guard lock(gMutex);
    waker = gWaker;
  }
  if (waker) {
    waker();
  }
}

}  // namespace

bool Synchronize(const std::function<void()>& step, const std::atomic<bool>& abandon) {
  auto request = std::make_shared<TRequest>();
  request->Step = step;
  {
    std::lock_guard lock(gMutex);
    gWaiting.push_back(request);
    gChanged.notify_all();
  }
  WakeMainThread();
  std::unique_lock lock(gMutex);
  // A step the UI thread has taken is waited for even when abandoned: it
  // may use what the caller owns.
  gChanged.wait(lock, [&] { return request->Done || (abandon && !request->Taken); });
  if (!request->Done) {
    std::erase(gWaiting, request);
    return false;
  }
  if (request->Error) {
    std::rethrow_exception(request->Error);
  }
  return true;
}

void Queue(std::function<void()> step) {
  auto request = std::make_shared<TRequest>();
  request->Step = std::move(step);
  request->Queued = true;
  {
    std::lock_guard lock(gMutex);
    gWaiting.push_back(std::move(request));
    gChanged.notify_all();
  }
  WakeMainThread();
}

void SetMainThreadWaker(std::function<void()> waker) {
  std::lock_guard lock(gMutex);
  gWaker = std::move(waker);
}

void WakeSynchronizeWaiters() {
  std::lock_guard lock(gMutex);
  gChanged.notify_all();
}

int RunSynchronizeRequests() {
  // Only the steps waiting now: a worker that queues its next step at once
  // must not keep the UI thread from its own work.
  std::deque<std::shared_ptr<TRequest>> now;
  {
    std::lock_guard lock(gMutex);
    now.swap(gWaiting);
    for (const std::shared_ptr<TRequest>& request : now) {
      request->Taken = true;
    }
  }
  for (const std::shared_ptr<TRequest>& request : now) {
    ++gStepDepth;
    try {
      request->Step();
    } catch (...) {
      if (!request->Queued) {
        request->Error = std::current_exception();
      }
    }
    --gStepDepth;
    std::lock_guard lock(gMutex);
    request->Done = true;
    gChanged.notify_all();
  }
  return static_cast<int>(now.size());
}

bool InSynchronizeStep() {
  return gStepDepth > 0;
}

void WaitForSynchronizeRequests(std::chrono::milliseconds timeout) {
  std::unique_lock lock(gMutex);
  gChanged.wait_for(lock, timeout, [] { return !gWaiting.empty(); });
}

}  // namespace tavelune
