#pragma once
// The front-end's only window: a borderless splash with a picture, a caption and a progress
// line that grows by a block about once a second while the worker runs, and closes at the
// first timer tick after the worker is done.

#include <memory>
#include <string>
#include <string_view>

#include "core/wait_dialog.h"
#include "online/worker.h"
#include "platform/dialogs.h"

namespace qm::online {

inline constexpr const char* kSplashPicture = "qnlonline.jpg";
// The same caption and progress block as the agent's wait dialog.
inline constexpr const char* kDefaultCaption = core::kWaitCaption;
inline constexpr char kProgressBlock = core::kProgressBlock;
inline constexpr unsigned kTimerIntervalMs = 333;

class Tform1 {
public:
    // Makes the form and runs FormCreate; the worker starts with it.
    Tform1();
    ~Tform1();
    Tform1(const Tform1&) = delete;
    Tform1& operator=(const Tform1&) = delete;

    void FormCreate();
    void Timer1Timer();
    void AdvanceProgress();

    platform::SplashFormWindow* Window() const { return window_; }
    int TickCounter() const { return tickCounter_; }
    myTThread* Worker() const { return worker_.get(); }

private:
    // The SPLASHSCREEN settings and the picture; raises at the first that cannot be used.
    void ApplySettings(const std::string& settingsFile);
    platform::SplashFormWindow* window_ = nullptr;
    int timer_ = 0;
    int tickCounter_ = 0;
    std::unique_ptr<myTThread> worker_;
};

// The layout of the splash form, every control with its place, size and look.
platform::SplashFormLayout SplashForm();
// A colour setting: decimal, or hexadecimal after "$" or "0x"; raises for anything else.
platform::COLORREF ParseColour(std::string_view text);

// The whole program on the installed platform: the form, its message loop until it closes,
// and the worker joined. The exit code.
int QnlOnlineMain(const std::string& programPath);

}  // namespace qm::online
