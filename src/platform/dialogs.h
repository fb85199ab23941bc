#pragma once
// The programs' windows and dialogs. Each is described by what it shows; the platform draws
// it (the simulated machine records it and answers as its machine file or a test says).

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qm::platform {

struct FontSpec {
    std::string name;
    int height = 0;           // pixels
    bool oemCharset = false;  // OEM instead of the ANSI character set
    bool bold = false;
};

// Colours as Windows keeps them: 0x00BBGGRR, or a system colour with the high bit set.
using COLORREF = std::uint32_t;
inline constexpr COLORREF kButtonFaceColour = 0x8000000F;

// One control of a form: its position within its parent (left, top) and its size, in pixels.
struct ControlSpec {
    std::string name;
    std::string kind;    // "label", "edit", "button", "panel", "picture"
    std::string parent;  // empty: the form itself
    int left = 0, top = 0, width = 0, height = 0;
    std::string caption;  // "&" marks the access key
    // How the control lies in its parent: "" at its place, "client" filling what is left,
    // "bottom" a strip along the lower edge; a panel's border and bevel.
    std::string align = "";
    bool border = false;
    bool bevel = true;
    bool visible = true;
    bool centred = false;  // a label's text centred
    FontSpec font = {};    // an empty name: the form's font
    bool enabled = true;   // a disabled control takes no input
    bool wordWrap = false;  // a label's text wrapped within its width
    char passwordChar = 0;  // an edit showing this character for each one typed
};

// The "/LOG2" log window: a form with one multi-line rich-text edit filling its client area.
struct LogWindowLayout {
    std::string caption;
    int width = 0;  // outer size
    int height = 0;
    int borderWidth = 0;
    FontSpec font;
};

class LogWindow {
public:
    virtual ~LogWindow() = default;
    // Adds a line at the end of the edit's text.
    virtual void AppendLine(std::string_view line) = 0;
};

// The asset-tag dialog: a prompt label, one edit whose text is the answer, and its buttons.
struct AssetTagLayout {
    std::string caption;
    int clientWidth = 0;
    int clientHeight = 0;
    FontSpec font;
    std::vector<ControlSpec> controls;  // in tab order
    std::string promptLabel;            // the label that shows the prompt
    std::string prompt;
    std::string editControl;            // the edit whose text the dialog answers
    std::string defaultButton;          // closes with OK, also on Enter
    std::string cancelButton;           // closes with Cancel, also on Escape
};

// The connection dialog: a modal form of labels, edits and buttons, some in group boxes
// ("group box" controls), centred on the screen. An edit's caption is its text when shown.
struct ConnectionDialogLayout {
    std::string caption;
    int clientWidth = 0;
    int clientHeight = 0;
    FontSpec font;
    std::vector<ControlSpec> controls;   // top to bottom
    std::vector<std::string> okButtons;  // buttons that close the form with OK
    std::string defaultButton;           // also pressed by Enter
    std::string cancelButton;            // closes with Cancel, also on Escape
};

// How the connection dialog was closed and the text of every edit at that moment. The close
// box closes with Cancel.
struct ConnectionDialogAnswer {
    bool ok = false;
    std::vector<std::pair<std::string, std::string>> edits;  // name, text, in the layout's order

    // The text of the edit; empty when there is none of that name.
    std::string Text(std::string_view edit) const {
        for (const auto& [name, text] : edits)
            if (name == edit) return text;
        return std::string();
    }
};

// The borderless wait dialog: a picture above a progress line.
struct WaitDialogLayout {
    int clientWidth = 0;
    int clientHeight = 0;
    FontSpec font;
    std::vector<ControlSpec> controls;
    std::string pictureControl;
    std::string captionLabel;
    std::string progressLabel;
    FontSpec progressFont;
};

class WaitDialogWindow {
public:
    virtual ~WaitDialogWindow() = default;
    virtual void ShowModeless() = 0;
    // The picture (rows of RGB bytes); without one the upper part stays white.
    virtual void SetPicture(int width, int height, std::vector<std::uint8_t> rgb) = 0;
    virtual void SetCaptionText(std::string_view text) = 0;
    virtual void SetProgressFont(std::string_view fontName) = 0;
    virtual void SetProgressText(std::string_view text) = 0;
    virtual std::string ProgressText() const = 0;
};

// A borderless splash form, the program's main form: panels, labels and a picture. The
// program changes its controls by name (an empty name is the form itself) and closes it.
struct SplashFormLayout {
    int clientWidth = 0;
    int clientHeight = 0;
    bool border = false;
    bool centred = true;  // on the screen
    COLORREF colour = kButtonFaceColour;
    FontSpec font;
    std::vector<ControlSpec> controls;
    std::string pictureControl;
};

class SplashFormWindow {
public:
    virtual ~SplashFormWindow() = default;
    virtual void Show() = 0;
    virtual void SetText(std::string_view control, std::string_view text) = 0;
    virtual std::string Text(std::string_view control) const = 0;
    virtual void SetColour(std::string_view control, COLORREF colour) = 0;
    virtual void SetFontColour(std::string_view control, COLORREF colour) = 0;
    virtual void SetFontName(std::string_view control, std::string_view fontName) = 0;
    virtual void SetFontSize(std::string_view control, int points) = 0;
    // The picture (rows of RGB bytes), drawn centred in its control.
    virtual void SetPicture(std::string_view control, int width, int height, std::vector<std::uint8_t> rgb) = 0;
    // Closes the form; the message loop that serves it then returns.
    virtual void Close() = 0;
};

// Message box types and answers.
inline constexpr unsigned MB_OK = 0x0;
inline constexpr unsigned MB_ICONERROR = 0x10;
inline constexpr unsigned MB_ICONINFORMATION = 0x40;
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

class DialogsService {
public:
    virtual ~DialogsService() = default;
    // Creates the log window as the application's main form and shows it; its text starts
    // with one empty line. The window lives as long as the process.
    virtual LogWindow* CreateLogWindow(const LogWindowLayout& layout) = 0;
    // Runs the application's message loop until its main form is closed, serving the calling
    // thread's timers; returns at once when there is none.
    virtual void RunMessageLoop() = 0;
    // Creates the splash form as the application's main form, on the calling thread, whose
    // messages it then serves; the service keeps it for the life of the process. Only the
    // program closes it: it has no border and no buttons.
    virtual SplashFormWindow* CreateSplashForm(const SplashFormLayout& layout) = 0;
    // Shows the asset-tag dialog modally with an empty edit: the text typed when it closes
    // with OK, nothing when it closes any other way (Cancel, Escape, the close box).
    virtual std::optional<std::string> ShowAssetTagDialog(const AssetTagLayout& layout) = 0;
    // Shows the connection dialog modally until the user closes it. Only a visible, enabled
    // edit takes what the user types, and only a visible, enabled button can be pressed.
    virtual ConnectionDialogAnswer ShowConnectionDialog(const ConnectionDialogLayout& layout) = 0;

    // The wait dialog, made on the calling thread, whose messages it then serves; the service
    // keeps it until ReleaseWaitDialog.
    virtual WaitDialogWindow* CreateWaitDialog(const WaitDialogLayout& layout) = 0;
    virtual void ReleaseWaitDialog(WaitDialogWindow* window) = 0;
    // SetTimer for the calling thread: the callback runs from ProcessMessages on that thread
    // once the interval has passed.
    virtual int SetTimer(unsigned intervalMs, std::function<void()> onTick) = 0;
    virtual void KillTimer(int timer) = 0;
    // Processes the pending window messages of the calling thread: painting and timer ticks.
    virtual void ProcessMessages() = 0;
    virtual void SetApplicationTitle(std::string_view title) = 0;
    virtual void BringApplicationToFront() = 0;
    // Loads the icon file and makes it the application's icon; false when it cannot be loaded.
    virtual bool SetApplicationIcon(std::string_view iconFile) = 0;
    // A system message box without owner window; its answer.
    virtual int MessageBox(std::string_view text, std::string_view caption, unsigned type) = 0;
};

}  // namespace qm::platform
