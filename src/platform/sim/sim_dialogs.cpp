#include "platform/sim/sim_dialogs.h"

#include <algorithm>
#include <chrono>
#include <fstream>

namespace qm::sim {

class SimDialogs::SimLogWindow final : public platform::LogWindow {
public:
    SimLogWindow(SimDialogs& owner) : owner_(owner) {}
    void AppendLine(std::string_view line) override {
        std::lock_guard lock(owner_.mutex_);
        lines_.emplace_back(line);
        if (owner_.terminal_) owner_.terminal_->Print(line);
    }
    std::vector<std::string> lines_{""};  // the edit starts with one empty line

private:
    SimDialogs& owner_;
};

class SimDialogs::SimWaitDialog final : public platform::WaitDialogWindow {
public:
    SimWaitDialog(SimDialogs& owner) : owner_(owner) {}
    void ShowModeless() override {
        std::lock_guard lock(owner_.mutex_);
        shown_ = true;
        owner_.Record({"wait dialog shown", "", picture_ ? "with picture" : "without picture"});
        if (owner_.terminal_) {
            if (!caption_.empty()) owner_.terminal_->Print(caption_);
            ShowProgressLocked();
        }
    }
    void SetPicture(int width, int height, std::vector<std::uint8_t>) override {
        std::lock_guard lock(owner_.mutex_);
        picture_ = true;
        owner_.Record({"wait dialog picture", "", std::to_string(width) + "x" + std::to_string(height)});
    }
    void SetCaptionText(std::string_view text) override {
        std::lock_guard lock(owner_.mutex_);
        caption_ = std::string(text);
    }
    void SetProgressFont(std::string_view fontName) override {
        std::lock_guard lock(owner_.mutex_);
        font_ = std::string(fontName);
    }
    void SetProgressText(std::string_view text) override {
        std::lock_guard lock(owner_.mutex_);
        progress_ = std::string(text);
        if (shown_ && owner_.terminal_) ShowProgressLocked();
    }
    std::string ProgressText() const override {
        std::lock_guard lock(owner_.mutex_);
        return progress_;
    }

    void ShowProgressLocked() {
        bool oem = owner_.waitDialogLayout_.progressFont.oemCharset;
        owner_.terminal_->ShowProgress(progress_, oem ? owner_.oemCodePage_ : owner_.codePage_);
    }

    SimDialogs& owner_;
    bool shown_ = false;
    bool picture_ = false;
    std::string caption_, font_, progress_;
};

class SimDialogs::SimSplashForm final : public platform::SplashFormWindow {
public:
    explicit SimSplashForm(SimDialogs& owner) : owner_(owner) {}
    void Show() override {
        std::lock_guard lock(owner_.mutex_);
        state_.shown = true;
        bool picture = false;
        for (const auto& [name, control] : state_.controls) picture = picture || control.picture;
        owner_.Record({"splash form shown", "", picture ? "with picture" : "without picture"});
    }
    void SetText(std::string_view control, std::string_view text) override {
        std::lock_guard lock(owner_.mutex_);
        state_.controls[std::string(control)].text = std::string(text);
    }
    std::string Text(std::string_view control) const override {
        std::lock_guard lock(owner_.mutex_);
        auto it = state_.controls.find(std::string(control));
        return it == state_.controls.end() ? std::string() : it->second.text;
    }
    void SetColour(std::string_view control, platform::COLORREF colour) override {
        std::lock_guard lock(owner_.mutex_);
        state_.controls[std::string(control)].colour = colour;
    }
    void SetFontColour(std::string_view control, platform::COLORREF colour) override {
        std::lock_guard lock(owner_.mutex_);
        state_.controls[std::string(control)].fontColour = colour;
    }
    void SetFontName(std::string_view control, std::string_view fontName) override {
        std::lock_guard lock(owner_.mutex_);
        state_.controls[std::string(control)].fontName = std::string(fontName);
    }
    void SetFontSize(std::string_view control, int points) override {
        std::lock_guard lock(owner_.mutex_);
        state_.controls[std::string(control)].fontPoints = points;
    }
    void SetPicture(std::string_view control, int width, int height, std::vector<std::uint8_t>) override {
        std::lock_guard lock(owner_.mutex_);
        ControlState& c = state_.controls[std::string(control)];
        c.picture = true;
        c.pictureWidth = width;
        c.pictureHeight = height;
        owner_.Record({"splash form picture", std::string(control), std::to_string(width) + "x" + std::to_string(height)});
    }
    void Close() override {
        std::lock_guard lock(owner_.mutex_);
        if (state_.closed) return;
        state_.closed = true;
        owner_.mainOpen_ = false;
        owner_.Record({"splash form closed", "", ""});
        owner_.closed_.notify_all();
    }

    SimDialogs& owner_;
    SplashFormState state_;
};

SimDialogs::SimDialogs(const DialogConfig& config, const CodePageTable& codePage)
    : codePage_(codePage),
      assetTagAnswers_(config.assetTagAnswers.begin(), config.assetTagAnswers.end()),
      connectionAnswers_(config.connectionAnswers.begin(), config.connectionAnswers.end()),
      keepOpen_(config.mainWindowStaysOpen) {}

SimDialogs::~SimDialogs() = default;

void SimDialogs::KeepJournal(const std::string& hostFile, const std::string& program) {
    std::lock_guard lock(mutex_);
    journalFile_ = hostFile;
    program_ = program;
}

void SimDialogs::UseTerminal(std::unique_ptr<Terminal> terminal) {
    std::lock_guard lock(mutex_);
    terminal_ = std::move(terminal);
}

void SimDialogs::Record(DialogEvent event) {
    if (!journalFile_.empty()) {
        std::string block = program_ + ": " + event.kind;
        if (!event.title.empty()) block += " \"" + HostText(codePage_, event.title) + "\"";
        block += "\n";
        std::string detail = HostText(codePage_, event.detail);
        if (!detail.empty()) {
            std::size_t start = 0;
            for (;;) {
                std::size_t end = detail.find('\n', start);
                block += "    " + detail.substr(start, end == std::string::npos ? std::string::npos : end - start) + "\n";
                if (end == std::string::npos) break;
                start = end + 1;
            }
        }
        std::ofstream out(journalFile_, std::ios::binary | std::ios::app);
        out << block;
    }
    journal_.push_back(std::move(event));
}

platform::LogWindow* SimDialogs::CreateLogWindow(const platform::LogWindowLayout& layout) {
    std::lock_guard lock(mutex_);
    logWindow_ = std::make_unique<SimLogWindow>(*this);
    mainOpen_ = true;
    Record({"log window", layout.caption,
            std::to_string(layout.width) + "x" + std::to_string(layout.height) + ", " + layout.font.name});
    if (terminal_) terminal_->Print("\n== " + layout.caption + " ==");
    return logWindow_.get();
}

void SimDialogs::RunMessageLoop() {
    std::unique_lock lock(mutex_);
    Record({"message loop", "", mainOpen_ ? "main form open" : "no main form"});
    if (!mainOpen_) return;
    inLoop_ = true;
    if (programClosesMain_) {
        // The loop serves this thread's timers until one of them closes the form.
        while (mainOpen_) {
            lock.unlock();
            ProcessMessages();
            lock.lock();
            if (mainOpen_) closed_.wait_for(lock, std::chrono::milliseconds(10));
        }
    }
    if (terminal_ && !programClosesMain_) {
        // The user closes the window when done reading it.
        lock.unlock();
        terminal_->WaitForEnter("[ Close the " + (logWindow_ ? std::string("log window") : std::string("window")) + " ] ");
        lock.lock();
    } else {
        closed_.wait(lock, [&] { return !keepOpen_ || !mainOpen_; });
    }
    mainOpen_ = false;
    inLoop_ = false;
    Record({"main form closed", "", ""});
}

std::optional<std::string> SimDialogs::ShowAssetTagDialog(const platform::AssetTagLayout& layout) {
    std::unique_lock lock(mutex_);
    std::optional<std::string> answer;
    if (!assetTagAnswers_.empty()) {
        answer = assetTagAnswers_.front();
        assetTagAnswers_.pop_front();
    }
    assetTagLayout_ = layout;
    if (terminal_) {
        TerminalForm form;
        form.caption = layout.caption;
        // A window shows what its buttons do; a terminal's question has to say it.
        form.texts = {kAssetTagCancelText};
        form.fields.push_back({layout.prompt, answer.value_or(""), true, false});
        for (const platform::ControlSpec& c : layout.controls) {
            if (c.kind != "button" || !c.visible) continue;
            form.buttons.push_back({c.caption, c.name == layout.cancelButton ? platform::IDCANCEL : platform::IDOK});
        }
        form.defaultResult = platform::IDOK;
        form.closeResult = platform::IDCANCEL;
        lock.unlock();
        TerminalAnswer typed = terminal_->Ask(form);
        lock.lock();
        answer = typed.result == platform::IDOK ? std::optional<std::string>(typed.values.front()) : std::nullopt;
    }
    Record({"asset tag", layout.caption, layout.prompt + (answer ? " -> OK: " + *answer : " -> Cancel")});
    return answer;
}

platform::ConnectionDialogAnswer SimDialogs::ShowConnectionDialog(const platform::ConnectionDialogLayout& layout) {
    std::unique_lock lock(mutex_);
    ConnectionDialogAnswerConfig user;
    if (!connectionAnswers_.empty()) {
        user = connectionAnswers_.front();
        connectionAnswers_.pop_front();
    }
    connectionLayout_ = layout;
    ++connectionShown_;
    auto find = [&](const std::string& name) -> const platform::ControlSpec* {
        for (const platform::ControlSpec& c : layout.controls)
            if (c.name == name) return &c;
        return nullptr;
    };
    // A control takes input only when it and every group box it lies in are visible and enabled.
    auto usable = [&](const platform::ControlSpec& control) {
        const platform::ControlSpec* c = &control;
        for (std::size_t depth = 0; c != nullptr && depth <= layout.controls.size(); ++depth) {
            if (!c->visible || !c->enabled) return false;
            if (c->parent.empty()) return true;
            c = find(c->parent);
        }
        return c == nullptr;
    };
    auto isOkButton = [&](const std::string& name) {
        return std::find(layout.okButtons.begin(), layout.okButtons.end(), name) != layout.okButtons.end();
    };
    platform::ConnectionDialogAnswer answer;
    std::string detail;
    for (const platform::ControlSpec& control : layout.controls) {
        if (control.kind != "edit") continue;
        std::string text = control.caption;
        for (const auto& [edit, typed] : user.typed) {
            if (edit != control.name) continue;
            if (usable(control)) text = typed;
            else detail += edit + " takes no input; ";
        }
        answer.edits.emplace_back(control.name, text);
    }
    const platform::ControlSpec* pressed = find(user.press);
    if (!user.press.empty() && (pressed == nullptr || pressed->kind != "button" || !usable(*pressed))) {
        detail += user.press + " cannot be pressed; ";
        pressed = nullptr;
    }
    std::string how = pressed != nullptr ? pressed->name : std::string("close box");
    answer.ok = pressed != nullptr && isOkButton(pressed->name);

    if (terminal_) {
        // The recorded answer stands in the fields as their defaults.
        TerminalForm form;
        form.caption = layout.caption;
        std::vector<std::size_t> asked;  // the edits, by their place in the answer
        for (std::size_t i = 0; i < layout.controls.size(); ++i) {
            const platform::ControlSpec& c = layout.controls[i];
            if (!c.visible) continue;
            const platform::ControlSpec* next = i + 1 < layout.controls.size() ? &layout.controls[i + 1] : nullptr;
            if (c.kind == "group box") {
                form.texts.push_back("[ " + c.caption + " ]");
            } else if (c.kind == "label" && next != nullptr && next->kind == "edit") {
                continue;  // the edit's own label
            } else if (c.kind == "label" && next != nullptr && next->kind == "label" && next->top == c.top &&
                       next->parent == c.parent) {
                form.texts.push_back(c.caption + ": " + next->caption);
                ++i;
            } else if (c.kind == "label") {
                form.texts.push_back(c.caption);
            } else if (c.kind == "edit") {
                const platform::ControlSpec* label = i > 0 && layout.controls[i - 1].kind == "label" ? &layout.controls[i - 1] : nullptr;
                for (std::size_t e = 0; e < answer.edits.size(); ++e) {
                    if (answer.edits[e].first != c.name) continue;
                    form.fields.push_back({label != nullptr ? label->caption : c.name, answer.edits[e].second, usable(c),
                                           c.passwordChar != 0});
                    asked.push_back(e);
                }
            } else if (c.kind == "button" && usable(c)) {
                const int result = isOkButton(c.name) ? platform::IDOK : platform::IDCANCEL;
                // Two buttons that read and do the same are one choice.
                bool same = false;
                for (const TerminalButton& b : form.buttons) same = same || (b.caption == c.caption && b.result == result);
                if (!same) form.buttons.push_back({c.caption, result});
            }
        }
        const platform::ControlSpec* byEnter = find(layout.defaultButton);
        form.defaultResult = byEnter != nullptr && usable(*byEnter) ? platform::IDOK : platform::IDCANCEL;
        form.closeResult = platform::IDCANCEL;
        lock.unlock();
        TerminalAnswer typed = terminal_->Ask(form);
        lock.lock();
        for (std::size_t f = 0; f < asked.size() && f < typed.values.size(); ++f)
            if (form.fields[f].enabled) answer.edits[asked[f]].second = typed.values[f];
        answer.ok = typed.result == platform::IDOK;
        how = typed.closed ? std::string("close box on the terminal") : std::string("terminal");
    }
    Record({"connection", layout.caption, detail + how + (answer.ok ? " -> OK" : " -> Cancel")});
    return answer;
}

platform::ConnectionDialogLayout SimDialogs::LastConnectionDialogLayout() const {
    std::lock_guard lock(mutex_);
    return connectionLayout_;
}

int SimDialogs::ConnectionDialogShown() const {
    std::lock_guard lock(mutex_);
    return connectionShown_;
}

void SimDialogs::AddConnectionAnswer(ConnectionDialogAnswerConfig answer) {
    std::lock_guard lock(mutex_);
    connectionAnswers_.push_back(std::move(answer));
}

std::vector<DialogEvent> SimDialogs::Journal() const {
    std::lock_guard lock(mutex_);
    return journal_;
}

std::vector<std::string> SimDialogs::LogWindowLines() const {
    std::lock_guard lock(mutex_);
    return logWindow_ ? logWindow_->lines_ : std::vector<std::string>();
}

platform::AssetTagLayout SimDialogs::LastAssetTagLayout() const {
    std::lock_guard lock(mutex_);
    return assetTagLayout_;
}

platform::WaitDialogLayout SimDialogs::LastWaitDialogLayout() const {
    std::lock_guard lock(mutex_);
    return waitDialogLayout_;
}

bool SimDialogs::InMessageLoop() const {
    std::lock_guard lock(mutex_);
    return inLoop_;
}

platform::SplashFormWindow* SimDialogs::CreateSplashForm(const platform::SplashFormLayout& layout) {
    std::lock_guard lock(mutex_);
    splashForm_ = std::make_unique<SimSplashForm>(*this);
    splashFormLayout_ = layout;
    mainOpen_ = true;
    programClosesMain_ = true;
    Record({"splash form", "", std::to_string(layout.clientWidth) + "x" + std::to_string(layout.clientHeight)});
    return splashForm_.get();
}

SimDialogs::SplashFormState SimDialogs::SplashForm() const {
    std::lock_guard lock(mutex_);
    if (!splashForm_) return SplashFormState{};
    SplashFormState st = splashForm_->state_;
    st.exists = true;
    return st;
}

platform::SplashFormLayout SimDialogs::LastSplashFormLayout() const {
    std::lock_guard lock(mutex_);
    return splashFormLayout_;
}

platform::WaitDialogWindow* SimDialogs::CreateWaitDialog(const platform::WaitDialogLayout& layout) {
    std::lock_guard lock(mutex_);
    waitDialog_ = std::make_unique<SimWaitDialog>(*this);
    waitDialogLayout_ = layout;
    Record({"wait dialog", "", std::to_string(layout.clientWidth) + "x" + std::to_string(layout.clientHeight)});
    return waitDialog_.get();
}

void SimDialogs::ReleaseWaitDialog(platform::WaitDialogWindow* window) {
    std::lock_guard lock(mutex_);
    if (window != nullptr && window == waitDialog_.get()) {
        if (terminal_ && waitDialog_->shown_) terminal_->EndProgress();
        waitDialog_.reset();
        Record({"wait dialog released", "", ""});
    }
}

namespace {

// Window timers tick in real time, as the user sees the window: a virtual clock moves only
// with the program's own thread.
std::uint64_t TimerNow() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

}  // namespace

int SimDialogs::SetTimer(unsigned intervalMs, std::function<void()> onTick) {
    std::uint64_t now = TimerNow();
    std::lock_guard lock(mutex_);
    int id = nextTimer_++;
    timers_.push_back({id, std::this_thread::get_id(), intervalMs, now + intervalMs, std::move(onTick)});
    return id;
}

void SimDialogs::KillTimer(int timer) {
    std::lock_guard lock(mutex_);
    std::erase_if(timers_, [&](const Timer& t) { return t.id == timer; });
}

// Timer ticks that are due run here, one per timer however many intervals passed, as
// Windows folds pending timer messages into one.
void SimDialogs::ProcessMessages() {
    std::uint64_t now = TimerNow();
    std::vector<std::function<void()>> due;
    {
        std::lock_guard lock(mutex_);
        for (Timer& t : timers_) {
            if (t.thread != std::this_thread::get_id() || t.due > now) continue;
            t.due = now + t.intervalMs;
            due.push_back(t.onTick);
        }
    }
    for (auto& tick : due) tick();
}

void SimDialogs::SetApplicationTitle(std::string_view title) {
    std::lock_guard lock(mutex_);
    title_ = std::string(title);
}

void SimDialogs::BringApplicationToFront() {}

bool SimDialogs::SetApplicationIcon(std::string_view iconFile) {
    std::lock_guard lock(mutex_);
    Record({"application icon", "", std::string(iconFile)});
    return true;
}

int SimDialogs::MessageBox(std::string_view text, std::string_view caption, unsigned type) {
    std::unique_lock lock(mutex_);
    Record({"message box", std::string(caption), std::string(text) + ((type & platform::MB_ICONINFORMATION) ? " [information]" : "")});
    if (terminal_) {
        TerminalForm form;
        form.caption = std::string(caption);
        form.texts = {std::string(text)};
        // A box with only OK answers OK however it is closed.
        form.buttons = {{"OK", platform::IDOK}};
        form.defaultResult = form.closeResult = platform::IDOK;
        lock.unlock();
        return terminal_->Ask(form).result;
    }
    return platform::IDOK;
}

SimDialogs::WaitDialogState SimDialogs::WaitDialog() const {
    std::lock_guard lock(mutex_);
    WaitDialogState st;
    if (!waitDialog_) return st;
    st.exists = true;
    st.shown = waitDialog_->shown_;
    st.picture = waitDialog_->picture_;
    st.caption = waitDialog_->caption_;
    st.progress = waitDialog_->progress_;
    st.progressFont = waitDialog_->font_;
    return st;
}

std::string SimDialogs::ApplicationTitle() const {
    std::lock_guard lock(mutex_);
    return title_;
}

void SimDialogs::CloseMainWindow() {
    std::lock_guard lock(mutex_);
    mainOpen_ = false;
    closed_.notify_all();
}

}  // namespace qm::sim
