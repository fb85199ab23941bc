#pragma once
// The simulated machine's windows on the terminal a program runs on: a window prints what it
// shows, a dialog asks for each of its fields and then for the button that closes it, and a
// progress display keeps to one line, redrawn in place.

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/code_page_table.h"

namespace qm::sim {

// Text of the machine (ANSI bytes of its code page) as the host shows it: UTF-8, CR LF and a
// lone CR as line ends, every other control character a "?", C1 controls included.
std::string HostText(const CodePageTable& codePage, std::string_view ansi);

struct TerminalField {
    std::string label;
    std::string value;     // what the field holds when the dialog opens: Enter keeps it
    bool enabled = true;   // a disabled field is shown, not asked for
    bool secret = false;   // typed without echo, shown as stars
};

struct TerminalButton {
    std::string caption;  // "&" marks the access key
    int result = 0;
};

// A dialog as the terminal shows it. Texts of the machine are ANSI bytes of its code page.
struct TerminalForm {
    std::string caption;
    std::vector<std::string> texts;  // what the dialog says above its fields
    std::vector<TerminalField> fields;
    std::vector<TerminalButton> buttons;  // the visible ones, in their order
    int defaultResult = 0;  // Enter at the button question
    int closeResult = 0;    // the end of the input, as the window's close box
};

struct TerminalAnswer {
    int result = 0;
    std::vector<std::string> values;  // one per field, as it stood when the dialog closed
    bool closed = false;              // the input ended before a button was chosen
};

class Terminal {
public:
    // The terminal on the program's standard input and output; none when either is no terminal.
    static std::unique_ptr<Terminal> OfStandardStreams(const CodePageTable& codePage);
    // A terminal reading from and writing to the given descriptors (neither is closed here).
    Terminal(int input, int output, const CodePageTable& codePage);

    // Shows the dialog and asks until one of its buttons closes it.
    TerminalAnswer Ask(const TerminalForm& form);
    // Prints the lines of a window's text.
    void Print(std::string_view ansi);
    // The one line of a progress display (its text in the given code page), drawn again at
    // once and after anything else printed, until EndProgress takes it away. Once a dialog or
    // message box has asked, the line is no longer drawn until the display ends.
    void ShowProgress(std::string_view text, const CodePageTable& codePage);
    void EndProgress();
    // Prints the prompt and waits for Enter or the end of the input.
    void WaitForEnter(std::string_view prompt);

private:
    void Write(std::string_view utf8);
    std::optional<std::string> ReadLine(bool secret);
    // With the lock held: takes the progress line away, or draws it again.
    void ClearProgressLocked();
    void DrawProgressLocked();
    // Around a dialog's questions: the progress line is taken away and paused.
    void BeginAsking();
    void EndAsking();

    const int input_;
    const int output_;
    const CodePageTable& codePage_;
    std::mutex mutex_;
    bool asking_ = false;
    bool progressOn_ = false;
    bool progressDrawn_ = false;
    bool progressPaused_ = false;
    std::string progress_;  // UTF-8
};

}  // namespace qm::sim
