#pragma once
// A terminal for tests of what the simulated windows show and ask on one.

#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "platform/sim/code_page_table.h"
#include "platform/sim/terminal.h"

namespace qm::test {

// A terminal whose keyboard is the given text (the input ends after it) and whose screen is
// kept for the test.
class ScriptedTerminal {
public:
    explicit ScriptedTerminal(const std::string& typed) {
        EXPECT_EQ(::pipe(in_), 0);
        EXPECT_EQ(::pipe(out_), 0);
        EXPECT_EQ(::write(in_[1], typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
        ::close(in_[1]);
    }
    ~ScriptedTerminal() {
        ::close(in_[0]);
        if (out_[1] >= 0) ::close(out_[1]);
        ::close(out_[0]);
    }
    std::unique_ptr<sim::Terminal> Make() { return std::make_unique<sim::Terminal>(in_[0], out_[1], codePage_); }
    // What the screen shows; the terminal writes nothing more.
    std::string Screen() {
        ::close(out_[1]);
        out_[1] = -1;
        std::string s;
        char buf[4096];
        for (ssize_t n; (n = ::read(out_[0], buf, sizeof buf)) > 0;) s.append(buf, static_cast<std::size_t>(n));
        return s;
    }

private:
    sim::CodePageTable codePage_{1252};
    int in_[2] = {-1, -1};
    int out_[2] = {-1, -1};
};

}  // namespace qm::test
