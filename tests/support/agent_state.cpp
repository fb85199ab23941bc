#include "support/agent_state.h"

#include "core/error_list.h"
#include "core/process_state.h"
#include "core/result_list.h"
#include "core/settings.h"
#include "core/trace_log.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace qm::test {

void StartAgent(const std::vector<std::string>& switches, const std::string& program) {
    std::vector<std::string> parameters{program};
    parameters.insert(parameters.end(), switches.begin(), switches.end());
    core::ResetState(std::move(parameters));
}

void StartAgentWithLog(const std::vector<std::string>& switches) {
    std::vector<std::string> all = switches;
    all.push_back("/LOG");
    StartAgent(all);
    core::State().logOn = true;
    core::OpenLogFile();
}

void StartWithResultNames(const std::vector<std::string>& switches, bool log, const std::string& machineId) {
    if (log)
        StartAgentWithLog(switches);
    else
        StartAgent(switches);
    core::InitWorkFolder();
    core::State().machineId = machineId;
    core::SetResultFileNames(true);
}

std::vector<std::string> CollectRecords(void (*collector)()) {
    core::CreateResultList();
    collector();
    return *core::State().resultList;
}

std::string RecordLine(const std::string& section, const std::string& key, const std::string& value) {
    return "\"" + section + "\",\"" + key + "\",\"" + value + "\"";
}

std::vector<std::string> FileNamesIn(const std::string& folder) {
    std::vector<std::string> names;
    platform::FindData data;
    if (auto find = platform::Files().FindFirstFile(folder + "*", data)) {
        do {
            if ((data.dwFileAttributes & platform::FILE_ATTRIBUTE_DIRECTORY) == 0) names.push_back(data.cFileName);
        } while (find->FindNextFile(data));
    }
    return names;
}

std::vector<std::string> ErrorTexts() {
    std::vector<std::string> texts;
    for (const std::string& line : core::GetErrorList()) {
        std::size_t at = line.find(" - ", line.find(" - ") + 3);
        texts.push_back(at == std::string::npos ? line : line.substr(at + 3));
    }
    return texts;
}

std::vector<std::string> LogTexts(const std::string& log) {
    std::vector<std::string> texts;
    for (const std::string& line : platform::SplitLines(log)) texts.push_back(line.substr(line.find('|') + 1));
    return texts;
}

std::vector<std::string> LogTextsStartingWith(const std::string& log, const std::string& prefix) {
    std::vector<std::string> found;
    for (const std::string& text : LogTexts(log))
        if (text.rfind(prefix, 0) == 0) found.push_back(text);
    return found;
}

std::vector<std::string> LogTextsBesideRecords(const std::string& log) {
    std::vector<std::string> said;
    for (const std::string& text : LogTexts(log))
        if (text.rfind("RES : ", 0) != 0) said.push_back(text);
    return said;
}

}  // namespace qm::test
