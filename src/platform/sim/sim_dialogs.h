#pragma once
// The simulated machine's windows: it keeps a journal of what was shown and answers dialogs
// from its machine file or from a test. The user closes the main form as soon as the message
// loop runs, unless told to keep it open.

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/dialogs.h"
#include "platform/sim/machine_config.h"

namespace qm::sim {

struct DialogEvent {
    std::string kind;   // "log window", "message loop", "asset tag", ...
    std::string title;  // caption of the window
    std::string detail; // what it showed or was answered
};

class SimDialogs final : public platform::Dialogs {
public:
    explicit SimDialogs(const DialogConfig& config);
    ~SimDialogs() override;

    platform::LogWindow* CreateLogWindow(const platform::LogWindowLayout& layout) override;
    void RunMessageLoop() override;
    std::optional<std::string> ShowAssetTagDialog(const platform::AssetTagLayout& layout) override;

    std::vector<DialogEvent> Journal() const;
    // The text of the log window, line by line; empty when it was never made.
    std::vector<std::string> LogWindowLines() const;
    void QueueAssetTagAnswer(std::optional<std::string> answer);
    void KeepMainWindowOpen(bool keep);
    bool InMessageLoop() const;
    void CloseMainWindow();

private:
    class SimLogWindow;
    void Record(DialogEvent event);

    mutable std::mutex mutex_;
    std::condition_variable closed_;
    std::vector<DialogEvent> journal_;
    std::unique_ptr<SimLogWindow> logWindow_;
    std::deque<std::optional<std::string>> assetTagAnswers_;
    bool keepOpen_;
    bool mainOpen_ = false;
    bool inLoop_ = false;
};

}  // namespace qm::sim
