#include "delivery/delivery_controller.h"

#include <exception>

#include "core/error_list.h"
#include "core/process_state.h"
#include "core/profile_files.h"
#include "core/settings.h"
#include "core/trace_log.h"
#include "delivery/ftp_delivery.h"
#include "delivery/smtp_delivery.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "platform/winpath.h"

namespace qm::delivery {

using namespace qm::platform;
using core::LogError;
using core::State;
using core::WriteLog;

namespace {

bool IsOn(const std::string& file, std::string_view section, std::string_view key) {
    return core::ReadProfileInteger(file, section, key, 0) == 1;
}

// Whether two paths name one file: the full, long forms compared without regard to case.
bool SameFile(std::string_view a, std::string_view b) {
    auto canonical = [](std::string_view path) {
        std::string full, longForm;
        if (Files().GetFullPathName(path, full) == 0) full = path;
        return Files().GetLongPathName(full, longForm) != 0 ? longForm : full;
    };
    return EqualsNoCase(canonical(a), canonical(b));
}

// Whether the two files hold the same bytes; false when either cannot be read.
bool SameBytes(std::string_view a, std::string_view b) {
    std::string first, second;
    return ReadWholeFile(Files(), a, first) && ReadWholeFile(Files(), b, second) && first == second;
}

bool SendByLaterWays(DeliveryContext& context) {
    const LaterDeliveryWays& ways = DeliveryWays();
    bool sent = false;
    if (State().flags.ftpOff)
        WriteLog("FTP connection disabled in configuration file");
    else
        sent = (ways.sendFtp != nullptr ? ways.sendFtp : SendFTPFile)(context);
    if (sent) {
        WriteLog("Sent by FTP");
        return true;
    }
    if (!State().flags.smtpOff) sent = (ways.sendSmtp != nullptr ? ways.sendSmtp : SendBySmtp)(context);
    return sent;
}

}  // namespace

LaterDeliveryWays& DeliveryWays() {
    static LaterDeliveryWays ways;
    return ways;
}

DeliveryContext ReadDeliverySettings() {
    DeliveryContext c;
    c.settingsFile = core::GetSettingsFileName();
    const std::string& f = c.settingsFile;
    c.customerCode = core::ReadProfileString(f, "IDENTIFICATION", "CODE", "");
    c.siteCode = core::ReadProfileString(f, "IDENTIFICATION", "SITE", "");
    c.maxFiles = core::ReadProfileInteger(f, "DATA", "MAXFILES", -1);
    c.proxyHost = core::ReadProfileString(f, "PROXY", "HOST", "");
    c.proxyPort = core::ReadProfileInteger(f, "PROXY", "PORT", 2121);
    c.proxyUser = core::ReadProfileString(f, "PROXY", "USER", "");
    c.proxyPassword = core::ReadProfileString(f, "PROXY", "PASSWORD", "");
    c.copyFolder = core::ReadProfileString(f, "DIRECTORY", "DIRECTORY", "");
    if (IsOn(f, "FTP", "DISABLE")) State().flags.ftpOff = true;
    c.ftpDirectDisabled = IsOn(f, "FTP", "PUBLIC_DISABLE");
    c.ftpProxyDisabled = IsOn(f, "FTP", "PRIVATE_DISABLE");
    if (IsOn(f, "SNMP", "DISABLE")) State().flags.smtpOff = true;
    c.smtpPublicDisabled = IsOn(f, "SMTP", "PUBLIC_DISABLE");
    c.smtpPrivateDisabled = IsOn(f, "SMTP", "PRIVATE_DISABLE");
    return c;
}

DeliveryFolders DetermineDeliveryFolders() {
    DeliveryFolders folders;
    try {
        folders.results = core::GetResultsFolder();
        folders.trans = core::GetTransFolder();
        folders.usage = core::GetUsageFolder();
        folders.snmp = core::GetSnmpFolder();
        folders.pda = core::GetPdaFolder();
    } catch (const std::exception& e) {
        LogError(e.what());
    }
    return folders;
}

std::vector<std::string> ListArchives(const DeliveryFolders& folders) {
    std::vector<std::string> archives;
    if (!folders.trans.empty()) GetDirectoryFiles(folders.trans, ".GTV", archives);
    if (!folders.usage.empty()) GetDirectoryFiles(folders.usage, ".NTV", archives);
    if (!folders.snmp.empty()) GetDirectoryFiles(folders.snmp, ".DTV", archives);
    if (!folders.pda.empty()) GetDirectoryFiles(folders.pda, ".BTV", archives);
    return archives;
}

bool SendSimpleMail() {
    WriteLog("Enter  SendSimpleMail");
    DeliveryContext context = ReadDeliverySettings();
    DeliveryFolders folders = DetermineDeliveryFolders();
    if (!State().flags.smtp) {
        PackResults(folders, context.customerCode, context.siteCode, context.maxFiles, State().flags.gtv);
        context.archives = ListArchives(folders);
        if (context.archives.empty()) return false;
        if (State().flags.gtv) return true;
        if (SendByRep(context)) return true;
    }
    return SendByLaterWays(context);
}

bool SendByRep(DeliveryContext& context) {
    if (context.copyFolder.empty()) return false;
    std::vector<std::string> remaining;
    std::size_t next = 0;
    try {
        if (!core::FolderExists(context.copyFolder)) {
            LogError("Directory not Found : " + context.copyFolder);
            return false;
        }
        context.copyFolder = IncludeTrailingBackslash(context.copyFolder);
        for (; next < context.archives.size(); ++next) {
            std::string archive = context.archives[next];
            std::string target = context.copyFolder + FileNameOf(archive);
            // The archive's own folder is no delivery: a copy there would retire the archive.
            DWORD error = ERROR_ALREADY_EXISTS;
            bool delivered = false;
            std::string how = " succeeded ";
            if (!SameFile(archive, target)) {
                delivered = CopyFileSafely(Files(), archive, target);
                if (!delivered) error = GetLastError();
                if (!delivered && error == ERROR_ALREADY_EXISTS) {
                    // Archive names do not name the machine: a file of that name may be another
                    // agent's archive, never to be replaced. Only the same bytes are this archive,
                    // delivered before; another archive goes under a fresh time stamp.
                    delivered = SameBytes(archive, target);
                    if (delivered) {
                        how = ": the same file is there already";
                    } else {
                        error = ERROR_FILE_EXISTS;
                        const std::string renamed = RestampArchive(archive, [&](const std::string& name) {
                            return FileExists(Files(), context.copyFolder + name);
                        });
                        if (!renamed.empty()) {
                            archive = renamed;
                            target = context.copyFolder + FileNameOf(archive);
                            delivered = CopyFileSafely(Files(), archive, target);
                            if (!delivered) error = GetLastError();
                        }
                    }
                }
            }
            if (delivered) {
                WriteLog("copy " + archive + " to " + target + how);
                MarkFileSent(archive);
            } else {
                LogError("copy " + archive + " to " + target + " failed :" + std::to_string(error));
                remaining.push_back(archive);
            }
        }
    } catch (const std::exception& e) {
        LogError(std::string("Error During SendByRep") + e.what());
        remaining.insert(remaining.end(), context.archives.begin() + static_cast<std::ptrdiff_t>(next),
                         context.archives.end());
        context.archives = std::move(remaining);
        return false;
    }
    const bool all = remaining.empty();
    context.archives = std::move(remaining);
    return all;
}

bool MarkFileSent(std::string_view path) {
    if (!FileExists(Files(), path)) return true;
    const std::string target = ChangeExtension(path, ".Old");
    if (FileExists(Files(), target)) {
        Files().SetFileAttributes(target, FILE_ATTRIBUTE_NORMAL);
        Files().DeleteFile(target);
    }
    Files().SetFileAttributes(path, FILE_ATTRIBUTE_NORMAL);
    if (Files().MoveFile(path, target)) return true;
    // The archive keeps its name and would be listed again by the next delivery.
    const std::string line = "rename " + std::string(path) + " to " + target + " failed :" + std::to_string(GetLastError());
    WriteLog(line);
    LogError(line);
    return false;
}

std::string RestampArchive(const std::string& archive, const std::function<bool(const std::string&)>& taken) {
    constexpr std::size_t kStampLength = 15;
    const std::string folder = FolderOf(archive);
    const std::string name = FileNameOf(archive);
    // The stamp follows the last number sign (a code may hold one); a series index and the
    // extension follow the stamp and stay.
    const std::size_t hash = name.rfind('#');
    const bool stamped = hash != std::string::npos && name.size() >= hash + 1 + kStampLength &&
                         name.find_first_not_of("0123456789", hash + 1) >= hash + 1 + kStampLength;
    if (!stamped) {
        WriteLog(archive + " cannot take a fresh time stamp: its name holds none");
        return std::string();
    }
    const std::string head = name.substr(0, hash + 1);
    const std::string oldStamp = name.substr(hash + 1, kStampLength);
    const std::string tail = name.substr(hash + 1 + kStampLength);
    // The clock moves on by a millisecond per attempt, as when packing; a destination that
    // holds every name it is asked about is not asked for ever.
    constexpr int kAttempts = 1000;
    constexpr int kTakenAnswers = 10;
    for (int attempt = 0, refused = 0; attempt < kAttempts && refused < kTakenAnswers; ++attempt, Clock().Sleep(1)) {
        const std::string stamp = GetFileTimeStamp();
        const std::string fresh = head + stamp + tail;
        const std::string path = folder + fresh;
        if (stamp == oldStamp || FileExists(Files(), path) || FileExists(Files(), ChangeExtension(path, ".Old"))) continue;
        if (taken(fresh)) {
            ++refused;
            continue;
        }
        Files().SetFileAttributes(archive, FILE_ATTRIBUTE_NORMAL);
        if (!Files().MoveFile(archive, path)) {
            const std::string line = "rename " + archive + " to " + path + " failed :" + std::to_string(GetLastError());
            WriteLog(line);
            LogError(line);
            return std::string();
        }
        WriteLog(name + " is taken at the destination: " + archive + " renamed " + path);
        return path;
    }
    WriteLog("no free archive name for " + archive);
    return std::string();
}

}  // namespace qm::delivery
