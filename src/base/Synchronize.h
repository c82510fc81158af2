#pragma once

// Hand-over of work from a worker thread to the UI thread. The worker calls
// Synchronize and blocks until the UI thread has run the step; the UI thread
// runs waiting steps when the waker installed by its event loop wakes it,
// inside YieldToMessages, and wherever it waits with
// WaitForSynchronizeRequests: where window messages are handled.

#include <atomic>
#include <chrono>
#include <functional>

namespace tavelune {

// Worker thread: runs `step` on the UI thread and waits until it has run.
// Returns false without running it when `abandon` becomes set first (the
// owner is shutting down and will not process steps any more); the owner
// calls WakeSynchronizeWaiters after setting it. An exception thrown by the
// step is rethrown here.
bool Synchronize(const std::function<void()>& step, const std::atomic<bool>& abandon);

// Any thread: has `step` run on the UI thread at its next hand-over point
// and returns at once, like a posted window message. The step must not
// throw (what it throws is dropped) and must not rely on anything that can
// be gone by then unless it holds it.
void Queue(std::function<void()> step);

// Installs a function that any thread may call right after it has queued a
// step, so that a UI thread that is idle in its event loop (rather than in
// a yield) wakes up and runs RunSynchronizeRequests. nullptr removes it.
void SetMainThreadWaker(std::function<void()> waker);

// Wakes workers waiting in Synchronize so they test their abandon flag.
void WakeSynchronizeWaiters();

// UI thread: runs every step that is waiting now; returns how many ran.
int RunSynchronizeRequests();

// UI thread: true while a step runs (also in the message passes it makes).
// Whatever waits for a worker's next step must not start there: the
// worker waits for this step to end first.
bool InSynchronizeStep();

// UI thread: sleeps up to `timeout`, returning early when a step is waiting.
void WaitForSynchronizeRequests(std::chrono::milliseconds timeout);

}  // namespace tavelune
