#pragma once
// The trace log, Gantrovelminds.log in the work folder: one line per event, the local time
// as hours, minutes, seconds and milliseconds without leading zeros joined by ":", a "|",
// then the text. With "/LOG2" the log window shows the same lines. An input/output error
// never ends the run: logging switches itself off after its first failure.

#include <string>
#include <string_view>

namespace qm::core {

// Opens (empties) the trace log and writes its header lines when logging is on; with the log
// window flag, makes and shows the log window too.
void OpenLogFile();
// One line, on disk at once; nothing when logging is off.
void WriteLog(std::string_view message);
// A line that may come before the trace log is opened (the switches are read first): it is
// kept until OpenLogFile, which writes it after its header lines when logging is on.
void WriteEarlyLog(std::string_view message);
// The closing lines; the log window then tells whether the file exists.
void CloseLogFile();

// The time prefix of a line: "7:3:5:42|".
std::string TraceLinePrefix(int hour, int minute, int second, int ms);

}  // namespace qm::core
