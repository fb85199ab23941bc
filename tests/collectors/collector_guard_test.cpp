#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <stdexcept>

#include "collectors/collector_guard.h"
#include "core/trace_log.h"
#include "support/agent_state.h"
#include "support/test_machine.h"

using namespace qm::collectors;
using qm::test::kTraceLog;
using qm::test::LogTexts;
using qm::test::TestMachine;

namespace {

// The trace-log texts that a guarded body leaves between two lines of the test's own.
std::vector<std::string> LinesOf(TestMachine& m, const std::function<bool()>& guard, bool& finished) {
    qm::test::StartAgentWithLog();
    qm::core::WriteLog("before");
    finished = guard();
    qm::core::WriteLog("after");
    std::vector<std::string> texts = LogTexts(m.ReadFile(kTraceLog));
    auto before = std::find(texts.begin(), texts.end(), "before");
    auto after = std::find(texts.begin(), texts.end(), "after");
    EXPECT_TRUE(before != texts.end() && after != texts.end());
    return before < after ? std::vector<std::string>(before + 1, after) : std::vector<std::string>{};
}

}  // namespace

TEST(CollectorGuard, EachPolicyEndsTheBodyAndTellsOrNot) {
    struct Case {
        const char* name;
        bool (*run)(int& reached);
        bool finished;
        std::vector<std::string> log;
        int reached;
    };
    const Case cases[] = {
        {"log and go on, no failure",
         [](int& reached) { return LogAndGoOn([&] { reached = 2; }); }, true, {}, 2},
        {"log and go on, a failure with its message",
         [](int& reached) {
             return LogAndGoOn([&] {
                 reached = 1;
                 throw std::runtime_error("the key is gone");
             });
         },
         false, {"the key is gone"}, 1},
        {"log and go on, a failure without a message",
         [](int& reached) {
             return LogAndGoOn([&] {
                 reached = 1;
                 throw 42;
             });
         },
         false, {}, 1},
        {"stop silently, no failure", [](int& reached) { return StopSilently([&] { reached = 2; }); }, true, {}, 2},
        {"stop silently, a failure",
         [](int& reached) {
             return StopSilently([&] {
                 reached = 1;
                 throw std::runtime_error("not told");
             });
         },
         false, {}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestMachine m;
        int reached = 0;
        bool finished = false;
        EXPECT_EQ(LinesOf(m, [&] { return c.run(reached); }, finished), c.log);
        EXPECT_EQ(finished, c.finished);
        EXPECT_EQ(reached, c.reached);
    }
}
