#include "delivery/result_check.h"

#include <algorithm>
#include <array>
#include <exception>
#include <string>
#include <string_view>
#include <utility>

#include "core/process_state.h"
#include "core/sections.h"
#include "core/trace_log.h"
#include "delivery/scrambling.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace qm::delivery {

using namespace qm::platform;
using core::State;
using core::WriteLog;

namespace {

// The records the processing centre cannot do without, by section and key.
constexpr std::array<std::pair<const char*, const char*>, 4> kRequiredRecords = {{
    {core::sections::kIdentification, "Asset#"},
    {core::sections::kMemory, "Total"},
    {core::sections::kWindows, "Version"},
    {core::sections::kCpu, "Frequency"},
}};

// A record's line head in upper case: the quoted section and key; each is compared with as
// many leading characters of a line, without regard to case.
std::array<std::string, kRequiredRecords.size()> RequiredHeads() {
    std::array<std::string, kRequiredRecords.size()> heads;
    for (std::size_t r = 0; r < kRequiredRecords.size(); ++r)
        heads[r] = AsciiUpper("\"" + std::string(kRequiredRecords[r].first) + "\",\"" + kRequiredRecords[r].second + "\"");
    return heads;
}

}  // namespace

bool CheckHardwareResult() {
    const std::string path = State().resultFiles.localHardware;
    try {
        std::string bytes;
        if (!ReadWholeFile(Files(), path, bytes)) {
            DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) WriteLog(path + " not found");
            return false;
        }
        const auto heads = RequiredHeads();
        std::size_t longest = 0;
        for (const std::string& head : heads) longest = std::max(longest, head.size());
        std::array<bool, heads.size()> found{};
        for (const std::string& line : SplitLines(bytes)) {
            const std::string start = CodePage().CharUpper(std::string_view(line).substr(0, longest));
            for (std::size_t r = 0; r < heads.size(); ++r)
                if (start.compare(0, heads[r].size(), heads[r]) == 0) found[r] = true;
        }
        for (bool f : found) {
            if (!f) {
                WriteLog(path + " contains errors");
                return false;
            }
        }
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool PakResult() {
    const core::ResultFileNames& files = State().resultFiles;
    bool scrambled = false;
    try {
        WriteLog("Crypt hardware:" + files.localHardware + "," + files.serverHardware);
        if (auto hardware = OpenToScramble(files.localHardware)) {
            WriteLog("save EncryptFile:" + files.serverHardware);
            WriteLog("Crypt Software:" + files.localSoftware + "," + files.serverSoftware);
            if (auto software = OpenToScramble(files.localSoftware)) {
                WriteLog("save EncryptFile:" + files.serverSoftware);
                // A pair from an earlier run may still wait for delivery: it gives way to a
                // whole new pair only, never to half of one. Both are scrambled piece by piece.
                bool hardwareUnreadable = false, softwareUnreadable = false;
                scrambled = ReplaceFilesTogether(
                    Files(), {{files.serverHardware, ScrambledCopyOf(*hardware, kByteXorKey, hardwareUnreadable)},
                              {files.serverSoftware, ScrambledCopyOf(*software, kByteXorKey, softwareUnreadable)}});
                if (scrambled)
                    Clock().Sleep(1000);
                else if (hardwareUnreadable || softwareUnreadable)
                    LogUnreadable(hardwareUnreadable ? files.localHardware : files.localSoftware);
                else
                    WriteLog("save EncryptFile ERROR:Cannot write " + files.serverHardware + " and " +
                             files.serverSoftware + " (error " + std::to_string(GetLastError()) + ")");
            }
        }
    } catch (const std::exception& e) {
        WriteLog(e.what());
    }
    // A local file is the only copy of its inventory until its scrambled copy exists.
    if (!scrambled) return false;
    try {
        WriteLog("Delete Hard Local");
        Files().DeleteFile(files.localHardware);
        WriteLog("Delete Soft Local");
        Files().DeleteFile(files.localSoftware);
    } catch (const std::exception& e) {
        WriteLog(e.what());
    }
    WriteLog("Exit PakResult");
    return true;
}

}  // namespace qm::delivery
