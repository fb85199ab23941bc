#include "apps/agent.h"

#include <exception>
#include <memory>

#include "collectors/hardware_inventory.h"
#include "collectors/palm/palm.h"
#include "collectors/software_inventory.h"
#include "core/error_list.h"
#include "core/identification.h"
#include "core/inventory_date.h"
#include "core/launcher.h"
#include "core/machine_id.h"
#include "core/process_state.h"
#include "core/profile_files.h"
#include "core/result_list.h"
#include "core/settings.h"
#include "core/switches.h"
#include "core/trace_log.h"
#include "core/wait_dialog.h"
#include "delivery/delivery_controller.h"
#include "delivery/result_check.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "platform/winpath.h"

namespace qm::agent {

using namespace qm::core;
using namespace qm::platform;

namespace {

void ReadSwitches() {
    RunFlags& f = State().flags;
    f.s = HasSwitch("/S");
    f.at = IsOptionSet("/AT");
    f.dlg = HasSwitch("/DLG");
    f.mail = HasSwitch("/MAIL");
    f.hmail = HasSwitch("/HMAIL");
    f.remote = HasSwitch("/REMOTE");
    f.resultsByIdentifier = true;
    State().logWindowOn = HasSwitch("/LOG2");
    f.log = IsOptionSet("/LOG");
    f.smtp = HasSwitch("/SMTP");
    f.verbose = HasSwitch("/VERBOSE");
    f.hide = HasSwitch("/HIDE");
    f.gtv = HasSwitch("/GTV");
    // "/FORCE_NEW_GUID" is read where the machine identifier is made.
    f.smtp = HasSwitch("/CONFIG") || f.smtp;
    f.sendDebug = HasSwitch("/SENDDEBUG");
    f.diskUsage = IsOptionSet("/DISK_USAGE");
    f.online = IsOptionSet("/ONLINE");
    f.ftpOff = false;
    f.smtpOff = false;
    State().logOn = f.log;
}

void ApplyForcingRules() {
    RunFlags& f = State().flags;
    if (f.sendDebug) {
        f.s = true;
        f.ftpOff = true;
    }
    if (f.hmail || f.remote) {
        f.mail = false;
        f.dlg = false;
        f.s = true;
        f.hide = true;
    }
}

void ShowEndMessage(bool sent) {
    Dialogs().MessageBox(sent ? kSentText : NotSentText(), "Inventory", MB_OK | MB_ICONINFORMATION);
}

// On every way out: the log is closed and the error list saved; with "/LOG2" the program
// stays open until its log window is closed.
void ExitPath() {
    StopWaitThread();
    try {
        CloseLogFile();
    } catch (...) {
        // Nothing on the way out may keep the error list from being saved.
    }
    SaveErrorLog();
    if (State().logWindowOn && State().logWindow != nullptr) Dialogs().RunMessageLoop();
    JoinWaitThread();
}

void Run() {
    ReadSwitches();
    OpenLogFile();
    for (std::size_t i = 0; i <= ParamCount(); ++i) WriteLog(ParamStr(i));
    ApplyForcingRules();
    WriteLog(std::string("Version:") + kAgentVersion);
    InitAgentGuid();
    InitWorkFolder();
    InitAssetNumber();
    SetResultFileNames(State().flags.resultsByIdentifier);
    LogStartInfo();
    UpdateControlPanelApplet();
    SaveAgentVersion();
    SetApplicationIcon(AgentFolder() + "QMAgent.ico");

    const RunFlags& f = State().flags;
    if (f.smtp) {
        delivery::SendSimpleMail();
        return;
    }
    bool due = IsInventoryDue();
    if (due || f.dlg || f.mail || f.hmail || f.remote) {
        if (f.at) GetAssetTag();
        if (f.dlg || f.mail || f.verbose) {
            StartWaitThread();
            if (!RunInventory()) return;  // the exit path stops the wait thread
            if (f.dlg || f.mail) {
                bool sent = delivery::SendSimpleMail();
                // With "/GTV" nothing is sent, whatever waits.
                if (f.dlg && !f.hide) ShowEndMessage(sent && !f.gtv);
            }
            StopWaitThread();
        } else if (due || f.hmail) {
            if (!RunInventory()) return;
        }
    }
    if (f.s) delivery::SendSimpleMail();
}

}  // namespace

std::string NotSentText() {
    return std::string("Your data was not sent to our process server due to the security level of your company which "
                       "does not allow a direct connection.\r\n\r\nTo send your data:\r\n"
                       "  - Please relaunch the inventory for the PC from the Start menu and provide us with the SMTP "
                       "server name, (consult your Network Administrator);\r\n\r\n"
                       "  - Or send us by E-mail, please write to ") +
           kSupportAddress + ", the files GTV which are saved in the sub-folder TRANS, installation inventory tool folder.";
}

bool CheckPreviousInstance() {
    // In upper case: "qmagent.exe" and "QMAgent.exe" are the same program to Windows.
    std::string name = AsciiUpper(FileNameOf(ParamStr(0)));
    std::unique_ptr<MutexHandle> mutex;
    try {
        mutex = Processes().CreateMutex(name);
    } catch (...) {
        // A mutex that cannot be made at all is no other agent: the run goes on unguarded.
        return true;
    }
    if (mutex && GetLastError() == ERROR_ALREADY_EXISTS) return false;
    State().instanceMutex = std::move(mutex);
    return true;
}

bool RunInventory() {
    collectors::HardwareInventory();
    LaunchBiosHelper();
    collectors::UpdateUuidAndSerial();
    if (!delivery::CheckHardwareResult()) return false;
    collectors::SoftwareInventory();
    collectors::PalmInventory();
    const RunFlags& f = State().flags;
    // Plain files that could not be scrambled stay, and no date is stored, so the next run
    // takes the inventory again.
    bool packed = f.online || delivery::PakResult();
    WriteLog("SaveInventoryDate");
    try {
        if (!f.online && packed) SaveInventoryDate();
    } catch (const std::exception& e) {
        // The results wait in Results\ all the same: without the date the next start takes the
        // inventory again, but this one must still deliver.
        WriteLog(std::string("The inventory date was not stored: ") + e.what());
    }
    return true;
}

void LogStartInfo() {
    std::string line = ParamStr(0);
    for (std::size_t i = 1; i <= ParamCount(); ++i) line += " " + ParamStr(i);
    WriteLog(line);
    WriteLog("Computer Name = " + GetLocalComputerName());
    WriteLog("Server Result = " + GetResultsFolder());
    WriteLog("Local Result = " + State().resultFiles.localHardware);
}

void SaveAgentVersion() {
    try {
        WriteProfileString(State().chkIdPath, "GLOBAL", "PATH", ParamStr(0));
        WriteProfileString(State().chkIdPath, "GLOBAL", "VERSION", kAgentVersion);
    } catch (const std::exception&) {
        // Nothing reads these back; a refused write changes nothing of the run.
    }
}

void SetApplicationIcon(const std::string& iconFile) {
    if (FileExists(Files(), iconFile)) Dialogs().SetApplicationIcon(iconFile);
}

int AgentMain(const std::vector<std::string>& parameters) {
    ResetState(parameters);
    if (!CheckPreviousInstance()) return 0;
    std::string escaped;
    try {
        Run();
    } catch (const std::exception& e) {
        escaped = std::string("The run ended on an error: ") + e.what();
    } catch (...) {
        escaped = "The run ended on an unknown error";
    }
    if (!escaped.empty()) {
        try {
            WriteLog(escaped);
        } catch (...) {
            // The report of an error must not be one more way out past the exit path.
        }
    }
    ExitPath();
    // The process ends here: the mutex goes with it.
    State().instanceMutex.reset();
    return 0;
}

}  // namespace qm::agent
