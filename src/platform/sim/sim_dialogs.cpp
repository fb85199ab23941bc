#include "platform/sim/sim_dialogs.h"

namespace qm::sim {

class SimDialogs::SimLogWindow final : public platform::LogWindow {
public:
    SimLogWindow(SimDialogs& owner) : owner_(owner) {}
    void AppendLine(std::string_view line) override {
        std::lock_guard lock(owner_.mutex_);
        lines_.emplace_back(line);
    }
    std::vector<std::string> lines_{""};  // the edit starts with one empty line

private:
    SimDialogs& owner_;
};

SimDialogs::SimDialogs(const DialogConfig& config)
    : assetTagAnswers_(config.assetTagAnswers.begin(), config.assetTagAnswers.end()),
      keepOpen_(config.mainWindowStaysOpen) {}

SimDialogs::~SimDialogs() = default;

void SimDialogs::Record(DialogEvent event) { journal_.push_back(std::move(event)); }

platform::LogWindow* SimDialogs::CreateLogWindow(const platform::LogWindowLayout& layout) {
    std::lock_guard lock(mutex_);
    logWindow_ = std::make_unique<SimLogWindow>(*this);
    mainOpen_ = true;
    Record({"log window", layout.caption,
            std::to_string(layout.width) + "x" + std::to_string(layout.height) + ", " + layout.font.name});
    return logWindow_.get();
}

void SimDialogs::RunMessageLoop() {
    std::unique_lock lock(mutex_);
    Record({"message loop", "", mainOpen_ ? "main form open" : "no main form"});
    if (!mainOpen_) return;
    inLoop_ = true;
    closed_.wait(lock, [&] { return !keepOpen_ || !mainOpen_; });
    mainOpen_ = false;
    inLoop_ = false;
    Record({"main form closed", "", ""});
}

std::optional<std::string> SimDialogs::ShowAssetTagDialog(const platform::AssetTagLayout& layout) {
    std::lock_guard lock(mutex_);
    std::optional<std::string> answer;
    if (!assetTagAnswers_.empty()) {
        answer = assetTagAnswers_.front();
        assetTagAnswers_.pop_front();
    }
    Record({"asset tag", layout.caption, layout.prompt + (answer ? " -> OK: " + *answer : " -> Cancel")});
    return answer;
}

std::vector<DialogEvent> SimDialogs::Journal() const {
    std::lock_guard lock(mutex_);
    return journal_;
}

std::vector<std::string> SimDialogs::LogWindowLines() const {
    std::lock_guard lock(mutex_);
    return logWindow_ ? logWindow_->lines_ : std::vector<std::string>();
}

void SimDialogs::QueueAssetTagAnswer(std::optional<std::string> answer) {
    std::lock_guard lock(mutex_);
    assetTagAnswers_.push_back(std::move(answer));
}

void SimDialogs::KeepMainWindowOpen(bool keep) {
    std::lock_guard lock(mutex_);
    keepOpen_ = keep;
    closed_.notify_all();
}

bool SimDialogs::InMessageLoop() const {
    std::lock_guard lock(mutex_);
    return inLoop_;
}

void SimDialogs::CloseMainWindow() {
    std::lock_guard lock(mutex_);
    mainOpen_ = false;
    closed_.notify_all();
}

}  // namespace qm::sim
