#include "core/identification.h"

#include "core/process_state.h"
#include "core/profile_files.h"
#include "core/settings.h"
#include "core/trace_log.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace qm::core {

using namespace qm::platform;

namespace {

// The computer name through a 16-byte buffer: at most 15 characters, as the system keeps it.
std::string ComputerNameUntrimmed() {
    std::string name;
    if (!System().GetComputerName(name, 16)) return std::string();
    return name;
}

// The form of TDLGAssetTag, with its caption and prompt.
AssetTagLayout AssetTagForm(const std::string& caption, const std::string& prompt) {
    AssetTagLayout form;
    form.caption = caption;
    form.clientWidth = 286;
    form.clientHeight = 84;
    form.font = {"Arial", 11, false};
    form.controls = {
        {"lblAssetTag", "label", "", 4, 8, 277, 14, ""},
        {"edAssetTag", "edit", "", 4, 28, 275, 20, ""},
        {"btOK", "button", "", 124, 56, 75, 25, "&OK"},
        {"btCancel", "button", "", 204, 56, 75, 25, "&Cancel"},
    };
    form.promptLabel = "lblAssetTag";
    form.prompt = prompt;
    form.editControl = "edAssetTag";
    form.defaultButton = "btOK";
    form.cancelButton = "btCancel";
    return form;
}

}  // namespace

std::string GetEnvVar(std::string_view name) { return ReadEnvironmentVariable(Environment(), name); }

std::string GetLocalComputerName() { return Trim(ComputerNameUntrimmed()); }

void InitAssetNumber() {
    const std::string& chkId = State().chkIdPath;
    if (FileExists(Files(), chkId)) return;
    std::string number = GetEnvVar("COMPUTERNAME");
    if (number.empty()) {
        number = ComputerNameUntrimmed();
        WriteLog("ComputerName:" + number);
    }
    if (number.empty()) number = State().machineId;
    WriteProfileString(chkId, "Identification", "Asset#", number);
}

std::string GetAssetId() {
    auto& cache = State().assetId;
    if (cache) return *cache;
    std::string id = ReadProfileString(State().chkIdPath, "Identification", "Asset#", "");
    if (id.empty()) {
        std::optional<std::string> variable = FindEnvironmentVariable(Environment(), "COMPUTERNAME");
        id = variable ? *variable : GetLocalComputerName();
    }
    if (id.empty()) id = State().machineId;
    if (id.empty()) id = "UNKNOWN";
    cache = id;
    return id;
}

void GetAssetTag() {
    auto& s = State();
    std::string settings = GetSettingsFileName();
    std::string caption = ReadProfileString(settings, "ASSETTAG", "CAPTION", kAssetTagCaption);
    std::string prompt = ReadProfileString(settings, "ASSETTAG", "PROMPT", kAssetTagPrompt);
    std::string envVar = ReadProfileString(settings, "ASSETTAG", "ENV_VAR", "");
    bool useUuid = false, useSerial = false;
    for (const char* policy : {"UUID", "SN"}) {
        if (ReadProfileString(settings, "ASSETTAG", policy, "0") != "1") continue;
        if (!s.assetTagDeferred) {
            // First pass: the UUID and serial number come with the BIOS program's records.
            s.assetTagDeferred = true;
            s.headerWritten = true;
            return;
        }
        (std::string_view(policy) == "UUID" ? useUuid : useSerial) = true;
        s.headerWritten = false;
        break;
    }
    if (!ReadProfileString(s.chkIdPath, "Identification", "AssetTag#", "").empty()) return;
    if (useUuid) {
        WriteProfileString(s.chkIdPath, "Identification", "AssetTag#", ReadProfileString(s.chkIdPath, "UUID", "UUID"));
    } else if (useSerial) {
        WriteProfileString(s.chkIdPath, "Identification", "AssetTag#", ReadProfileString(s.chkIdPath, "UUID", "SN"));
    } else {
        s.assetTagDeferred = false;
        if (!envVar.empty()) {
            WriteProfileString(s.chkIdPath, "Identification", "AssetTag#", GetEnvVar(envVar));
        } else {
            if (std::optional<std::string> typed = Dialogs().ShowAssetTagDialog(AssetTagForm(caption, prompt)))
                WriteProfileString(s.chkIdPath, "Identification", "AssetTag#", *typed);
        }
    }
}

}  // namespace qm::core
