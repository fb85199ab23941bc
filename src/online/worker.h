#pragma once
// The front-end's run, on a worker thread of its own: it makes sure of the machine identifier
// and the identification file, runs the agent in online mode, renders every template of
// HTML\ into DONE\ from the agent's plain results, deletes them, zips DONE\ when the
// settings ask, and opens the report file the settings name.

#include <atomic>
#include <string>
#include <string_view>
#include <thread>

namespace qm::online {

inline constexpr const char* kErrorLogName = "QnlOnline.log";
inline constexpr unsigned kAgentTimeoutSeconds = 6000;

class myTThread {
public:
    // Created running.
    myTThread();
    ~myTThread();
    myTThread(const myTThread&) = delete;
    myTThread& operator=(const myTThread&) = delete;

    // Set once, when the run is over whichever way it ended.
    bool Done() const { return done_; }
    // Waits for the thread to end.
    void Join();

private:
    void Execute();
    std::atomic<bool> done_{false};
    std::thread thread_;
};

// The run's steps, on the calling thread; raises at the first error, as the run ends there.
void RunReport();
// The run as the worker does it: an error goes to the error log as one "ERROR : " line.
void ExecuteRun();

// Zips every file of the folder into the archive of that name inside it, keeping the files.
bool ZipFolder(std::string_view archiveName, std::string_view folder);
// Appends "ERROR : " and the message to the error log beside the program; false when it
// cannot be written.
bool LogRunError(std::string_view message);
// Whether a setting names a file of DONE\ and nothing else: no folder, drive or parent.
bool IsBareFileName(std::string_view name);

}  // namespace qm::online
