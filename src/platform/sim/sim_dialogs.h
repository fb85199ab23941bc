#pragma once
// The simulated machine's windows: it keeps a journal of what was shown and answers dialogs
// from its machine file or from a test. The user closes the main form as soon as the message
// loop runs, unless told to keep it open.

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include <thread>

#include "platform/dialogs.h"
#include "platform/sim/code_page_table.h"
#include "platform/sim/machine_config.h"
#include "platform/sim/terminal.h"

namespace qm::sim {

// What the asset-tag dialog on a terminal says of its Cancel button.
inline constexpr const char* kAssetTagCancelText = "Cancel: no asset tag is stored, and the inventory runs on without one.";

struct DialogEvent {
    std::string kind;   // "log window", "message loop", "asset tag", ...
    std::string title;  // caption of the window
    std::string detail; // what it showed or was answered
};

class SimDialogs final : public platform::DialogsService {
public:
    SimDialogs(const DialogConfig& config, const CodePageTable& codePage);
    ~SimDialogs() override;

    // Appends every event of the journal to a host file as well, in UTF-8, headed by the
    // program's name, so that what a program showed can be read after it ended.
    void KeepJournal(const std::string& hostFile, const std::string& program);
    // Shows the windows on a terminal as well: dialogs and message boxes wait there for the
    // user, the answers recorded for the machine serving as what the fields hold; the log
    // window stays until the user closes it. Without one nothing waits.
    void UseTerminal(std::unique_ptr<Terminal> terminal);

    platform::LogWindow* CreateLogWindow(const platform::LogWindowLayout& layout) override;
    void RunMessageLoop() override;
    std::optional<std::string> ShowAssetTagDialog(const platform::AssetTagLayout& layout) override;
    platform::ConnectionDialogAnswer ShowConnectionDialog(const platform::ConnectionDialogLayout& layout) override;
    platform::SplashFormWindow* CreateSplashForm(const platform::SplashFormLayout& layout) override;
    platform::WaitDialogWindow* CreateWaitDialog(const platform::WaitDialogLayout& layout) override;
    void ReleaseWaitDialog(platform::WaitDialogWindow* window) override;
    int SetTimer(unsigned intervalMs, std::function<void()> onTick) override;
    void KillTimer(int timer) override;
    void ProcessMessages() override;
    void SetApplicationTitle(std::string_view title) override;
    void BringApplicationToFront() override;
    bool SetApplicationIcon(std::string_view iconFile) override;
    int MessageBox(std::string_view text, std::string_view caption, unsigned type) override;

    std::vector<DialogEvent> Journal() const;
    // The text of the log window, line by line; empty when it was never made.
    std::vector<std::string> LogWindowLines() const;
    bool InMessageLoop() const;
    void CloseMainWindow();
    // What the wait dialog shows at the moment, and how often its timer ticked.
    struct WaitDialogState {
        bool exists = false;
        bool shown = false;
        bool picture = false;
        std::string caption;
        std::string progress;
        std::string progressFont;
    };
    WaitDialogState WaitDialog() const;
    // What the splash form shows at the moment: its own look and that of each control.
    struct ControlState {
        std::string text;
        std::optional<platform::COLORREF> colour;
        std::optional<platform::COLORREF> fontColour;
        std::string fontName;  // as set by the program; empty: as laid out
        int fontPoints = 0;    // 0: as laid out
        bool picture = false;
        int pictureWidth = 0;
        int pictureHeight = 0;
    };
    struct SplashFormState {
        bool exists = false;
        bool shown = false;
        bool closed = false;
        std::map<std::string, ControlState> controls;  // "" is the form
    };
    SplashFormState SplashForm() const;
    // The forms as the program last described them.
    platform::AssetTagLayout LastAssetTagLayout() const;
    platform::ConnectionDialogLayout LastConnectionDialogLayout() const;
    // How often the connection dialog was shown.
    int ConnectionDialogShown() const;
    // Answers of the connection dialog given by a test, used after those of the machine file.
    void AddConnectionAnswer(ConnectionDialogAnswerConfig answer);
    platform::WaitDialogLayout LastWaitDialogLayout() const;
    platform::SplashFormLayout LastSplashFormLayout() const;
    std::string ApplicationTitle() const;

private:
    class SimLogWindow;
    class SimWaitDialog;
    class SimSplashForm;
    struct Timer {
        int id;
        std::thread::id thread;
        unsigned intervalMs;
        std::uint64_t due;
        std::function<void()> onTick;
    };
    void Record(DialogEvent event);

    const CodePageTable& codePage_;
    const CodePageTable oemCodePage_{437};  // the glyphs of an OEM character-set font
    std::unique_ptr<Terminal> terminal_;
    std::string journalFile_;
    std::string program_;
    mutable std::mutex mutex_;
    std::condition_variable closed_;
    std::vector<DialogEvent> journal_;
    std::unique_ptr<SimLogWindow> logWindow_;
    std::deque<std::optional<std::string>> assetTagAnswers_;
    std::deque<ConnectionDialogAnswerConfig> connectionAnswers_;
    platform::ConnectionDialogLayout connectionLayout_;
    int connectionShown_ = 0;
    const bool keepOpen_;
    bool mainOpen_ = false;
    bool inLoop_ = false;
    std::unique_ptr<SimWaitDialog> waitDialog_;
    std::unique_ptr<SimSplashForm> splashForm_;
    platform::SplashFormLayout splashFormLayout_;
    bool programClosesMain_ = false;  // the main form has no way for the user to close it
    platform::AssetTagLayout assetTagLayout_;
    platform::WaitDialogLayout waitDialogLayout_;
    std::vector<Timer> timers_;
    int nextTimer_ = 1;
    std::string title_;
};

}  // namespace qm::sim
