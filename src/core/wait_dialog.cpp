#include "core/wait_dialog.h"

#include "core/jpeg_picture.h"
#include "core/process_state.h"
#include "platform/platform.h"

namespace qm::core {

using namespace qm::platform;

namespace {

// The dialog that lives on the wait thread (touched only there); the thread itself is kept in
// the process state.
thread_local std::unique_ptr<TDLGWait> t_waitDialog;

// The form of TDLGWait. Only the top 33 pixels of Panel1 lie inside the window: of its
// controls only the progress line is seen.
WaitDialogLayout WaitDialogForm() {
    WaitDialogLayout form;
    form.clientWidth = 504;
    form.clientHeight = 137;
    form.font = {"Arial", 11, false};
    form.controls = {
        {"Panel2", "panel", "", 0, 0, 504, 137, ""},
        {"Panel3", "panel", "Panel2", 2, 2, 500, 100, ""},
        {"Image1", "picture", "Panel3", 0, 0, 500, 100, ""},
        {"Panel1", "panel", "Panel2", 2, 102, 500, 33, ""},
        {"lblCaption", "label", "Panel1", 12, 56, 261, 14, ""},
        {"lblProgress", "label", "Panel1", 0, 8, 497, 17, ""},
        {"btSend", "button", "Panel1", 108, 88, 75, 25, "Send data..."},
    };
    form.pictureControl = "Image1";
    form.captionLabel = "lblCaption";
    form.progressLabel = "lblProgress";
    form.progressFont = {"Terminal", 11, true};
    return form;
}

}  // namespace

TDLGWait::TDLGWait() {
    window_ = Dialogs().CreateWaitDialog(WaitDialogForm());
    FormCreate();
    timer_ = Dialogs().SetTimer(100, [this] { Timer1Timer(); });
}

TDLGWait::~TDLGWait() {
    Dialogs().KillTimer(timer_);
    Dialogs().ReleaseWaitDialog(window_);
}

void TDLGWait::FormCreate() {
    std::string bytes;
    Picture picture;
    // From the current folder of the process; without it the picture area stays white, and a
    // file that is no JPEG picture is treated the same.
    if (ReadWholeFile(Files(), "qmagent.jpg", bytes) && DecodeJpeg(bytes, picture))
        window_->SetPicture(picture.width, picture.height, std::move(picture.rgb));
    window_->SetCaptionText(kWaitCaption);
    tickCounter_ = 0;
}

void TDLGWait::Show() { window_->ShowModeless(); }

void TDLGWait::Timer1Timer() {
    Dialogs().ProcessMessages();
    StepProgress();
    Dialogs().ProcessMessages();
}

void TDLGWait::btSendClick() { modalResult_ = IDOK; }

void TDLGWait::StepProgress() {
    window_->SetProgressFont("Terminal");
    if (tickCounter_ == 150) {
        window_->SetProgressText("");
        tickCounter_ = 0;
    } else if (tickCounter_ % 3 == 0) {
        window_->SetProgressText(window_->ProgressText() + kProgressBlock);
    }
    ++tickCounter_;
}

TDLGThread::TDLGThread() : thread_([this] { Execute(); }) {}

TDLGThread::~TDLGThread() {
    Terminate();
    if (thread_.joinable()) thread_.join();
}

void TDLGThread::Terminate() {
    {
        std::lock_guard lock(mutex_);
        terminated_ = true;
    }
    changed_.notify_all();
}

bool TDLGThread::WaitFor(std::chrono::milliseconds limit) {
    {
        std::unique_lock lock(mutex_);
        if (!changed_.wait_for(lock, limit, [this] { return finished_.load(); })) return false;
    }
    if (thread_.joinable()) thread_.join();
    return true;
}

bool TDLGThread::Pause(std::chrono::milliseconds length) {
    std::unique_lock lock(mutex_);
    return !changed_.wait_for(lock, length, [this] { return terminated_.load(); });
}

void TDLGThread::Finish() {
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
    }
    changed_.notify_all();
}

void TDLGThread::Execute() {
    try {
        ShowWaitDialog();
        // The dialog's cadence: a round of its messages every 100 ms, until the stop.
        while (!terminated_ && Pause(std::chrono::milliseconds(100))) Dialogs().ProcessMessages();
    } catch (...) {
        // The dialog is a courtesy: whatever goes wrong with it must not end the run.
    }
    CloseWaitDialog();
    Finish();
}

void StartWaitThread() { State().waitThread = std::make_unique<TDLGThread>(); }

void StopWaitThread() {
    if (State().waitThread) State().waitThread->Terminate();
}

void JoinWaitThread() {
    auto& thread = State().waitThread;
    if (!thread) return;
    thread->Terminate();
    // A thread that does not end in time is left to the end of the process, which must then
    // not take down what the thread still uses.
    if (thread->WaitFor(std::chrono::seconds(2))) {
        thread.reset();
    } else {
        (void)thread.release();
        State().waitThreadLeftRunning = true;
    }
}

bool WaitThreadLeftRunning() { return State().waitThreadLeftRunning; }

bool WaitThreadRunning() { return State().waitThread && !State().waitThread->Terminated(); }

void ShowWaitDialog() {
    t_waitDialog = std::make_unique<TDLGWait>();
    t_waitDialog->Show();
    Dialogs().SetApplicationTitle("Inventory");
    Dialogs().BringApplicationToFront();
    Dialogs().ProcessMessages();
}

void CloseWaitDialog() { t_waitDialog.reset(); }

}  // namespace qm::core
