#include "delivery/ftp_delivery.h"

#include <ostream>
#include <stdexcept>

#include "core/error_list.h"
#include "core/process_state.h"
#include "core/profile_files.h"
#include "core/trace_log.h"
#include "delivery/net_session.h"
#include "delivery/scrambling.h"
#include "platform/ini_image.h"
#include "platform/platform.h"
#include "platform/winpath.h"

namespace qm::delivery {

using namespace qm::platform;
using core::LogError;
using core::State;
using core::WriteLog;

namespace {

constexpr int kAttempts = 5;
constexpr int kPasses = 5;
// "n°" in the ANSI code page.
const std::string kNumber = "n\xB0 ";

struct FtpServer {
    std::string host;
    int port = 0;
    std::string user;
    std::string password;
    std::string folder;
};

// The server of section "F"; false, with FTP off for the rest of the run, when it is missing
// or unusable.
bool ReadFtpServer(const std::string& settingsFile, FtpServer& server) {
    if (!core::ProfileValueExists(settingsFile, "F", "F1")) return false;
    auto decoded = [&](const char* key) {
        return DecodeSetting(core::ReadProfileString(settingsFile, "F", key, ""), kSettingsKey);
    };
    server.host = decoded("F1");
    if (!ParseWholeInteger(decoded("F2"), server.port)) return false;
    server.user = decoded("F3");
    server.password = decoded("F4");
    server.folder = decoded("F5");
    // An empty host, like a missing one, says that this agent delivers by other ways.
    if (server.host.empty()) return false;
    if (!IsTcpPort(server.port)) {
        ReportUnusable("FTP server unusable : F2 is not a port from 1 to 65535");
        return false;
    }
    const std::pair<const char*, const std::string*> values[] = {
        {"F1", &server.host}, {"F3", &server.user}, {"F4", &server.password}, {"F5", &server.folder}};
    for (const auto& [key, value] : values) {
        if (std::string why = RefusalOf(*value); !why.empty()) {
            ReportUnusable(std::string("FTP server unusable : ") + key + " " + why);
            return false;
        }
    }
    return true;
}

// Whether the proxy of the context can carry a login; false, with the reason logged, when not.
bool ProxyUsable(const DeliveryContext& c) {
    const std::pair<const char*, const std::string*> values[] = {
        {"HOST", &c.proxyHost}, {"USER", &c.proxyUser}, {"PASSWORD", &c.proxyPassword}};
    for (const auto& [key, value] : values) {
        if (std::string why = RefusalOf(*value); !why.empty()) {
            ReportUnusable(std::string("FTP proxy unusable : PROXY ") + key + " " + why);
            return false;
        }
    }
    if (!c.proxyHost.empty() && !IsTcpPort(c.proxyPort)) {
        ReportUnusable("FTP proxy unusable : PROXY PORT is not a port from 1 to 65535");
        return false;
    }
    return true;
}

std::string FailureLine(const char* what, int n, const std::exception& e) {
    return std::string(what) + " (" + kNumber + std::to_string(n) + ") : Message (" + ErrorMessage(e) + ")";
}

}  // namespace

bool SendFTPFile(DeliveryContext& context) {
    WriteLog("EnterSendFTPFile");
    auto client = std::make_unique<TKBNMFTP>();
    // Every way out, also an error that passes on, leaves the server and says so.
    struct End {
        std::unique_ptr<TKBNMFTP>& client;
        ~End() {
            client->Disconnect();
            client.reset();
            WriteLog("EndSendFtpFile");
        }
    } end{client};
    bool result = false;
    core::RunFlags& flags = State().flags;

    FtpServer server;
    if (!ReadFtpServer(context.settingsFile, server)) flags.ftpOff = true;
    if (flags.smtp) return result;

    if (!context.ftpDirectDisabled && !flags.ftpOff) {
        for (int n = 0; !client->FConnected && n < kAttempts;) {
            WriteLog("try FTP connection(" + kNumber + std::to_string(n) + ")");
            try {
                client->Connect(server.host, server.port, server.user, server.password);
                WriteLog("EnterSendFTPFile");
            } catch (const std::exception& e) {
                ++n;
                LogError(FailureLine("FTP connection failed", n, e));
            }
        }
    }
    if (!context.ftpProxyDisabled && !flags.ftpOff && !client->FConnected && ProxyUsable(context)) {
        for (int n = 0; !client->FConnected && n < kAttempts;) {
            WriteLog("try FTP connection(" + kNumber + std::to_string(n) + ") Proxy : " + context.proxyHost +
                     " Port : " + std::to_string(context.proxyPort));
            client->SetProxy({true, context.proxyHost, context.proxyPort, context.proxyUser, context.proxyPassword});
            WriteLog("try Proxy FTP connection(" + kNumber + std::to_string(n) + ")");
            try {
                client->Connect(server.host, server.port, server.user, server.password);
            } catch (const std::exception& e) {
                ++n;
                const std::string line = FailureLine("FTP connection failed", n, e);
                WriteLog(line);
                LogError(line);
            }
        }
    }
    if (client->FConnected) {
        // The folder change is relative to where the session stands: once in the folder, a
        // later pass stays there instead of looking for the folder inside itself.
        bool inFolder = false;
        for (int r = 0; r < kPasses;) {
            try {
                if (!inFolder) {
                    client->ChangeDir(server.folder);
                    inFolder = true;
                }
                WriteLog("try to send data");
                for (auto it = context.archives.begin(); it != context.archives.end();) {
                    if (!FileExists(Files(), *it)) {
                        ++it;
                        continue;
                    }
                    // Archive names do not name the machine: a name on the server may be another
                    // agent's archive, which is never stored over.
                    const auto stands = [&](const std::string& name) {
                        return client->Stands(name) == TKBNMFTP::Presence::Stands;
                    };
                    const TKBNMFTP::Presence presence = client->Stands(FileNameOf(*it));
                    if (presence == TKBNMFTP::Presence::Stands) {
                        const std::string renamed = RestampArchive(*it, stands);
                        if (renamed.empty()) throw std::runtime_error(FileNameOf(*it) + " stands on the server already");
                        *it = renamed;
                    }
                    const std::string& archive = *it;
                    std::string bytes;
                    if (!ReadWholeFile(Files(), archive, bytes))
                        throw std::runtime_error("Cannot read " + archive + " (error " + std::to_string(GetLastError()) + ")");
                    try {
                        client->Put(bytes, FileNameOf(archive));
                    } catch (...) {
                        // What a broken store left under a name the server called free is a cut
                        // copy of this archive: it must not keep the whole one from its name.
                        if (presence != TKBNMFTP::Presence::Unknown) client->Delete(FileNameOf(archive));
                        throw;
                    }
                    WriteLog(archive + " was sent");
                    MarkFileSent(archive);
                    it = context.archives.erase(it);
                }
                result = true;
                break;
            } catch (const std::exception& e) {
                ++r;
                const std::string line = FailureLine("Upload failed", r, e);
                WriteLog(line);
                LogError(line);
            }
        }
    }
    return result;
}

}  // namespace qm::delivery
