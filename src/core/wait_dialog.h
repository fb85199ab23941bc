#pragma once
// The wait dialog of interactive runs: a picture and a progress line that grows by a block
// every 300 ms, on a thread of its own that owns the window until the main thread asks it to
// stop.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/dialogs.h"

namespace qm::core {

class TDLGWait {
public:
    TDLGWait();
    ~TDLGWait();
    TDLGWait(const TDLGWait&) = delete;
    TDLGWait& operator=(const TDLGWait&) = delete;

    void FormCreate();
    void Timer1Timer();
    void btSendClick();
    void StepProgress();

    void Show();
    platform::WaitDialogWindow* Window() const { return window_; }
    int TickCounter() const { return tickCounter_; }
    int ModalResult() const { return modalResult_; }

private:
    platform::WaitDialogWindow* window_ = nullptr;
    int timer_ = 0;
    std::int32_t tickCounter_ = 0;
    int modalResult_ = 0;
};

class TDLGThread {
public:
    // Created running.
    TDLGThread();
    ~TDLGThread();
    TDLGThread(const TDLGThread&) = delete;
    TDLGThread& operator=(const TDLGThread&) = delete;

    // Also cuts the thread's pause short, so that it ends at once.
    void Terminate();
    bool Terminated() const { return terminated_; }
    // Waits at most the given time for the thread to end; true when it did.
    bool WaitFor(std::chrono::milliseconds limit);

private:
    void Execute();
    // The pause between two rounds of messages; false when the stop came during it.
    bool Pause(std::chrono::milliseconds length);
    void Finish();

    std::atomic<bool> terminated_{false};
    std::atomic<bool> finished_{false};
    // A timed wait needs a condition: the flags change under the mutex, the condition wakes
    // both the thread's pause and the wait for its end.
    std::mutex mutex_;
    std::condition_variable changed_;
    std::thread thread_;
};

// On the main thread.
void StartWaitThread();
// Sends the terminate request and returns at once.
void StopWaitThread();
// Before the process ends: the thread stops and is joined, waiting a short while at most.
void JoinWaitThread();
// True when JoinWaitThread had to leave the thread running.
bool WaitThreadLeftRunning();
bool WaitThreadRunning();

// On the wait thread.
void ShowWaitDialog();
void CloseWaitDialog();

inline constexpr const char* kWaitCaption = "Inventory currently executing. Please wait...";
inline constexpr char kProgressBlock = static_cast<char>(0xDC);

}  // namespace qm::core
