#include "core/trace_log.h"

#include <utility>
#include <vector>

#include "core/process_state.h"
#include "core/settings.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace qm::core {

using namespace qm::platform;

namespace {

// TLogWindows: the form of the "/LOG2" window.
LogWindowLayout LogWindowForm() { return {"Log", 696, 480, 4, {"Arial", 11, false}}; }

void SwitchOff() {
    State().logOn = false;
    State().traceLog.reset();
}

void WriteTimedLine(const SYSTEMTIME& t, std::string_view message) {
    auto& s = State();
    if (!s.logOn || !s.traceLog) return;
    // Texts of the machine, its files and servers reach the log: none of them may end the
    // line and forge one of its own. Nothing the agent writes itself needs a control character.
    std::string line = TraceLinePrefix(t.wHour, t.wMinute, t.wSecond, t.wMilliseconds) + BlankControlCharacters(message);
    std::string withEnd = line + "\r\n";
    bool written = false;
    try {
        DWORD count = 0;
        written = s.traceLog->WriteFile(withEnd.data(), static_cast<DWORD>(withEnd.size()), count) &&
                  count == withEnd.size() && s.traceLog->FlushFileBuffers();
    } catch (...) {
        // Raised or returned, an input/output error is the same: the run goes on without a log.
    }
    if (!written) {
        SwitchOff();
        return;
    }
    if (s.logWindowOn && s.logWindow != nullptr) s.logWindow->AppendLine(line);
}

}  // namespace

std::string TraceLinePrefix(int hour, int minute, int second, int ms) {
    return std::to_string(hour) + ":" + std::to_string(minute) + ":" + std::to_string(second) + ":" +
           std::to_string(ms) + "|";
}

void OpenLogFile() {
    auto& s = State();
    const std::vector<std::string> early = std::exchange(s.earlyLogLines, {});
    if (s.logWindowOn) s.logOn = true;
    if (!s.logOn) return;
    InitWorkFolder();
    s.traceLogPath = s.workFolder + "Gantrovelminds.log";
    s.traceLog = Files().CreateFile(s.traceLogPath, GENERIC_WRITE, CreationDisposition::CreateAlways);
    if (!s.traceLog) s.logOn = false;
    if (s.logWindowOn) s.logWindow = Dialogs().CreateLogWindow(LogWindowForm());
    if (!s.logOn) return;
    SYSTEMTIME t = Clock().GetLocalTime();
    WriteLog("BEGIN");
    WriteLog(std::to_string(t.wMonth) + "/" + std::to_string(t.wDay) + "/" + std::to_string(t.wYear));
    WriteLog(std::to_string(t.wHour) + ":" + std::to_string(t.wMinute) + ":" + std::to_string(t.wSecond) + ":" +
             std::to_string(t.wMilliseconds));
    WriteLog("LogFile:" + s.traceLogPath);
    for (const std::string& line : early) WriteLog(line);
}

void WriteLog(std::string_view message) {
    if (!State().logOn) return;
    WriteTimedLine(Clock().GetLocalTime(), message);
}

void WriteEarlyLog(std::string_view message) {
    auto& s = State();
    if (s.traceLog)
        WriteLog(message);
    else
        s.earlyLogLines.emplace_back(message);
}

void CloseLogFile() {
    auto& s = State();
    if (s.logOn) {
        WriteLog("closing logfile");
        WriteLog("END");
        s.traceLog.reset();
    }
    // The window says whether the file is there, also when it could not be written.
    if (s.logWindowOn && s.logWindow != nullptr) {
        bool exists = false;
        try {
            exists = FileExists(Files(), s.traceLogPath);
        } catch (...) {
            // A file that cannot be looked at is reported as missing.
        }
        s.logWindow->AppendLine(BlankControlCharacters(s.traceLogPath) + (exists ? " exists" : " not exists"));
    }
}

}  // namespace qm::core
