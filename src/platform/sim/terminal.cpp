#include "platform/sim/terminal.h"

#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "platform/text.h"

namespace qm::sim {

namespace {

// A line longer than this is kept only up to here: no typed answer of a dialog is that long.
constexpr std::size_t kMaxLine = 64 * 1024;

// A caption without its access-key marks: "&OK" is "OK", "&&" an ampersand.
std::string WithoutAccessKey(std::string_view caption) {
    std::string plain;
    for (std::size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&' && i + 1 < caption.size()) ++i;
        plain += caption[i];
    }
    return plain;
}

char AccessKey(std::string_view caption) {
    for (std::size_t i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != '&') continue;
        if (caption[i + 1] != '&') return platform::AsciiUpper(caption[i + 1]);
        ++i;
    }
    std::string plain = WithoutAccessKey(caption);
    return plain.empty() ? '\0' : platform::AsciiUpper(plain.front());
}

}  // namespace

std::string HostText(const CodePageTable& codePage, std::string_view ansi) {
    std::string plain;
    for (std::size_t i = 0; i < ansi.size(); ++i) {
        auto c = static_cast<unsigned char>(ansi[i]);
        if (c == '\r') {
            if (i + 1 < ansi.size() && ansi[i + 1] == '\n') ++i;
            plain += '\n';
        } else if (c == '\n' || c == '\t') {
            plain += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            plain += '?';
        } else {
            plain += static_cast<char>(c);
        }
    }
    // The code page may map bytes to C1 controls, which a terminal acts on as well.
    std::string utf8 = codePage.ToUtf8(plain);
    std::string shown;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        auto c = static_cast<unsigned char>(utf8[i]);
        if (c == 0xC2 && i + 1 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) < 0xA0) {
            shown += '?';
            ++i;
        } else {
            shown += static_cast<char>(c);
        }
    }
    return shown;
}

std::unique_ptr<Terminal> Terminal::OfStandardStreams(const CodePageTable& codePage) {
    if (::isatty(STDIN_FILENO) != 1 || ::isatty(STDOUT_FILENO) != 1) return nullptr;
    return std::make_unique<Terminal>(STDIN_FILENO, STDOUT_FILENO, codePage);
}

Terminal::Terminal(int input, int output, const CodePageTable& codePage)
    : input_(input), output_(output), codePage_(codePage) {}

void Terminal::Write(std::string_view utf8) {
    while (!utf8.empty()) {
        ssize_t n = ::write(output_, utf8.data(), utf8.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // a terminal that went away shows nothing more
        utf8.remove_prefix(static_cast<std::size_t>(n));
    }
}

std::optional<std::string> Terminal::ReadLine(bool secret) {
    termios saved{};
    bool echoOff = secret && ::tcgetattr(input_, &saved) == 0;
    if (echoOff) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        echoOff = ::tcsetattr(input_, TCSANOW, &quiet) == 0;
    }
    std::string line;
    bool any = false;
    for (;;) {
        char c = 0;
        ssize_t n = ::read(input_, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        any = true;
        if (c == '\n') break;
        // What an edit takes from the keyboard: no control characters.
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) continue;
        if (line.size() < kMaxLine) line += c;
    }
    if (echoOff) {
        ::tcsetattr(input_, TCSANOW, &saved);
        Write("\n");
    }
    if (!any) return std::nullopt;
    return line;
}

void Terminal::ClearProgressLocked() {
    if (!progressDrawn_) return;
    Write("\r\x1b[K");
    progressDrawn_ = false;
}

void Terminal::DrawProgressLocked() {
    if (!progressOn_ || asking_ || progressPaused_) return;
    Write("\r\x1b[K" + progress_);
    progressDrawn_ = true;
}

TerminalAnswer Terminal::Ask(const TerminalForm& form) {
    BeginAsking();
    TerminalAnswer answer;
    for (const TerminalField& f : form.fields) answer.values.push_back(f.value);

    std::string head = "\n== " + HostText(codePage_, form.caption) + " ==\n";
    for (const std::string& text : form.texts) head += HostText(codePage_, text) + "\n";
    Write(head);
    auto ended = [&] {
        answer.closed = true;
        answer.result = form.closeResult;
    };
    for (std::size_t i = 0; i < form.fields.size() && !answer.closed; ++i) {
        const TerminalField& f = form.fields[i];
        std::string shown = f.secret ? std::string(f.value.size(), '*') : HostText(codePage_, f.value);
        std::string label = HostText(codePage_, WithoutAccessKey(f.label));
        if (!f.enabled) {
            Write(label + ": " + shown + "  (disabled)\n");
            continue;
        }
        if (!label.empty() && label.back() == ':') label.pop_back();
        Write(label + (shown.empty() ? "" : " [" + shown + "]") + ": ");
        std::optional<std::string> line = ReadLine(f.secret);
        if (!line) {
            Write("\n");
            ended();
        } else if (!line->empty()) {
            answer.values[i] = codePage_.FromUtf8(*line);
        }
    }
    if (!answer.closed && form.buttons.empty()) answer.result = form.closeResult;
    while (!answer.closed && !form.buttons.empty()) {
        std::string question;
        for (const TerminalButton& b : form.buttons) {
            std::string caption = HostText(codePage_, WithoutAccessKey(b.caption));
            if (!question.empty()) question += "  ";
            question += b.result == form.defaultResult || form.buttons.size() == 1 ? "[ " + caption + " ]" : caption;
        }
        Write(question + (form.buttons.size() == 1 ? " " : " ? "));
        std::optional<std::string> line = ReadLine(false);
        if (!line) {
            Write("\n");
            ended();
            break;
        }
        std::string typed = platform::Trim(*line);
        if (form.buttons.size() == 1) {
            answer.result = form.buttons.front().result;
            break;
        }
        if (typed.empty()) {
            answer.result = form.defaultResult;
            break;
        }
        const TerminalButton* chosen = nullptr;
        for (const TerminalButton& b : form.buttons) {
            bool byKey = typed.size() == 1 && platform::AsciiUpper(typed.front()) == AccessKey(b.caption);
            if (byKey || platform::StartsWithNoCase(WithoutAccessKey(b.caption), codePage_.FromUtf8(typed))) {
                chosen = &b;
                break;
            }
        }
        if (chosen != nullptr) {
            answer.result = chosen->result;
            break;
        }
        Write("Enter for the button in brackets, or the first letter of another.\n");
    }

    EndAsking();
    return answer;
}

void Terminal::Print(std::string_view ansi) {
    std::lock_guard lock(mutex_);
    ClearProgressLocked();
    Write(HostText(codePage_, ansi) + "\n");
    DrawProgressLocked();
}

void Terminal::ShowProgress(std::string_view text, const CodePageTable& codePage) {
    std::lock_guard lock(mutex_);
    progress_ = HostText(codePage, text);
    progressOn_ = true;
    DrawProgressLocked();
}

void Terminal::EndProgress() {
    std::lock_guard lock(mutex_);
    // The window is gone: so is its line, which would otherwise stand unlabelled above
    // whatever comes next.
    ClearProgressLocked();
    progressOn_ = false;
    progressPaused_ = false;
    progress_.clear();
}

void Terminal::WaitForEnter(std::string_view prompt) {
    BeginAsking();
    Write(HostText(codePage_, prompt));
    if (!ReadLine(false)) Write("\n");
    EndAsking();
}

void Terminal::BeginAsking() {
    std::lock_guard lock(mutex_);
    ClearProgressLocked();
    asking_ = true;
    // Drawn below what the dialog asked, the line would read as part of its answer, or as the
    // last word of the run after its end message: it stays away until the display ends.
    progressPaused_ = progressOn_;
}

void Terminal::EndAsking() {
    std::lock_guard lock(mutex_);
    asking_ = false;
}

}  // namespace qm::sim
