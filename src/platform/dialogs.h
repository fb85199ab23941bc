#pragma once
// The programs' windows and dialogs. Each is described by what it shows; the platform draws
// it (the simulated machine records it and answers as its machine file or a test says).

#include <optional>
#include <string>
#include <string_view>

namespace qm::platform {

struct FontSpec {
    std::string name = "Arial";
    int height = 11;        // pixels
    bool oemCharset = false;  // OEM instead of the ANSI character set
};

// The "/LOG2" log window: a form with one multi-line rich-text edit filling its client area.
struct LogWindowLayout {
    std::string caption = "Log";
    int width = 696;   // outer size
    int height = 480;
    int borderWidth = 4;
    FontSpec font;
};

class LogWindow {
public:
    virtual ~LogWindow() = default;
    // Adds a line at the end of the edit's text.
    virtual void AppendLine(std::string_view line) = 0;
};

// The asset-tag dialog: a prompt, one edit, OK (default, Enter) and Cancel (Escape).
struct AssetTagLayout {
    std::string caption;
    std::string prompt;
    int clientWidth = 286;
    int clientHeight = 84;
    FontSpec font;
};

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Creates the log window as the application's main form and shows it; its text starts
    // with one empty line. The window lives as long as the process.
    virtual LogWindow* CreateLogWindow(const LogWindowLayout& layout) = 0;
    // Runs the application's message loop until its main form is closed; returns at once
    // when there is none.
    virtual void RunMessageLoop() = 0;
    // Shows the asset-tag dialog modally with an empty edit: the text typed when it closes
    // with OK, nothing when it closes any other way (Cancel, Escape, the close box).
    virtual std::optional<std::string> ShowAssetTagDialog(const AssetTagLayout& layout) = 0;
};

}  // namespace qm::platform
