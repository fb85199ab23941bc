#include "online/worker.h"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <vector>

#include "core/identification.h"
#include "core/launcher.h"
#include "core/machine_id.h"
#include "core/process_state.h"
#include "core/profile_files.h"
#include "core/result_list.h"
#include "core/settings.h"
#include "delivery/archives.h"
#include "online/report_data.h"
#include "online/template_engine.h"
#include "platform/platform.h"
#include "platform/winpath.h"

namespace qm::online {

using namespace qm::platform;

namespace {

std::optional<FILETIME> LastWriteTime(const std::string& path) {
    FileAttributeData data;
    if (!Files().GetFileAttributesEx(path, data) || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return std::nullopt;
    return data.ftLastWriteTime;
}

// The agent wrote the file in this run: it is there, and it was not, or it changed.
bool WrittenSince(const std::string& path, const std::optional<FILETIME>& before) {
    std::optional<FILETIME> after = LastWriteTime(path);
    return after && (!before || !(*after == *before));
}

std::vector<std::string> TemplateNames(const std::string& folder) {
    std::vector<std::string> names;
    FindData found;
    if (auto find = Files().FindFirstFile(folder + "*.htm", found)) {
        do {
            // A folder is no template, whatever its name.
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) names.push_back(found.cFileName);
        } while (find->FindNextFile(found));
    }
    return names;
}

void RequireBareName(std::string_view setting, const std::string& value) {
    if (!IsBareFileName(value))
        throw std::runtime_error(std::string(setting) + " must name a file of DONE\\ alone, not " + value);
}

// A name of a file of the folder as Windows compares it: the long name of the file it finds
// (so that a short name finds it too), without the dots and blanks Windows ignores at the end,
// in the code page's capitals.
std::string NameKey(const std::string& folder, const std::string& name) {
    std::string found;
    std::string longName = Files().GetLongPathName(folder + name, found) != 0 ? FileNameOf(found) : name;
    return CodePage().CharUpper(WithoutTrailingDotsAndBlanks(longName));
}

bool NamesOneOf(const std::string& folder, const std::string& name, const std::vector<std::string>& names) {
    const std::string key = NameKey(folder, name);
    return std::any_of(names.begin(), names.end(), [&](const std::string& n) { return NameKey(folder, n) == key; });
}

}  // namespace

bool IsBareFileName(std::string_view name) {
    return name.find_first_of("\\/:") == std::string_view::npos && name.find("..") == std::string_view::npos;
}

bool ZipFolder(std::string_view archiveName, std::string_view folder) {
    return delivery::CreateOneZipFile(std::string(folder) + std::string(archiveName), folder, {".*"}, false);
}

bool LogRunError(std::string_view message) {
    try {
        return AppendToFile(Files(), core::AgentFolder() + kErrorLogName, "ERROR : " + std::string(message) + "\r\n");
    } catch (...) {
        return false;
    }
}

void RunReport() {
    core::InitAgentGuid();
    core::InitWorkFolder();
    core::InitAssetNumber();
    core::SetResultFileNames(false);
    const std::string exeFolder = core::AgentFolder();
    const core::ResultFileNames names = core::State().resultFiles;

    // Results of an earlier run must not pass for this one's.
    std::optional<FILETIME> hardBefore = LastWriteTime(names.localHardware);
    std::optional<FILETIME> softBefore = LastWriteTime(names.localSoftware);
    std::string command = "\"" + exeFolder + "qmagent.exe\" /N /ONLINE";
    int code = core::RunHidden(command, SW_HIDE, NORMAL_PRIORITY_CLASS, kAgentTimeoutSeconds);
    if (code == -1)
        throw std::runtime_error("The agent could not be started: " + command + " (error " + std::to_string(GetLastError()) + ")");
    if (code == static_cast<int>(STILL_ACTIVE))
        throw std::runtime_error("The agent was still running after " + std::to_string(kAgentTimeoutSeconds) + " seconds");
    for (const auto& [path, before] : {std::pair{names.localHardware, hardBefore}, std::pair{names.localSoftware, softBefore}})
        if (!WrittenSince(path, before)) throw std::runtime_error("The agent did not write " + path);

    ReportData data;
    LoadReportData(data);
    const std::string done = exeFolder + "DONE\\";
    std::vector<std::string> templates = TemplateNames(exeFolder + "HTML\\");
    if (!templates.empty()) {
        core::ForceFolders(done);
        for (const std::string& name : templates) ProcessTemplate(data, exeFolder + "HTML\\" + name, done + name);
    }
    for (const std::string& path : {names.localHardware, names.localSoftware})
        if (FileExists(Files(), path)) Files().DeleteFile(path);
    // Whatever DONE\ holds from an earlier run is no report of this one: not to be zipped or
    // opened as if it were.
    if (templates.empty()) throw std::runtime_error("No report was made: " + exeFolder + "HTML\\ holds no template");

    std::string resultFile = core::ReadProfileString(exeFolder + kSettingsFileName, "GLOBAL", "RESULT_FILE");
    if (!data.ZipName.empty()) {
        RequireBareName("ZIPNAME", data.ZipName);
        // The archive replaces the file of its name.
        if (NamesOneOf(done, data.ZipName, templates) || (!resultFile.empty() && NamesOneOf(done, data.ZipName, {resultFile})))
            throw std::runtime_error("ZIPNAME must not name a page of the report or the RESULT_FILE: " + data.ZipName);
        if (!ZipFolder(data.ZipName, done))
            throw std::runtime_error("The report could not be zipped into " + done + data.ZipName);
    }
    if (!resultFile.empty()) {
        RequireBareName("RESULT_FILE", resultFile);
        if (!NamesOneOf(done, resultFile, templates))
            throw std::runtime_error("RESULT_FILE names no page of this run's report: " + resultFile);
        Shell().ShellExecute("open", done + resultFile, "", "", SW_SHOWMAXIMIZED);
    }
}

void ExecuteRun() {
    try {
        RunReport();
    } catch (const std::exception& e) {
        LogRunError(e.what());
    } catch (...) {
        LogRunError("The run ended on an unknown error");
    }
}

myTThread::myTThread() : thread_([this] { Execute(); }) {}

myTThread::~myTThread() { Join(); }

void myTThread::Join() {
    if (thread_.joinable()) thread_.join();
}

void myTThread::Execute() {
    done_ = false;
    try {
        ExecuteRun();
    } catch (...) {
        // Nothing may leave the thread: the splash waits for the flag below.
    }
    done_ = true;
}

}  // namespace qm::online
