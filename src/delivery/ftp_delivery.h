#pragma once
// Delivery by FTP upload: the archives go to the server of the settings' section "F", reached
// directly or through an FTP proxy that takes the user and the site together, each archive
// marked sent as soon as it is stored.

#include <memory>
#include <string>

#include "delivery/delivery_controller.h"

namespace Poco::Net {
class FTPClientSession;
}

namespace qm::delivery {

// The agent's FTP client: one for a delivery call, connecting as often as the attempts need.
class TKBNMFTP {
public:
    // The proxy of the user-and-site type: the connection goes to the proxy, which takes
    // "user@site" as the login.
    struct UserSiteProxy {
        bool on = false;
        std::string host;
        int port = 0;
        std::string user;
        std::string password;
    };

    TKBNMFTP();
    ~TKBNMFTP();
    TKBNMFTP(const TKBNMFTP&) = delete;
    TKBNMFTP& operator=(const TKBNMFTP&) = delete;

    void SetProxy(UserSiteProxy proxy) { proxy_ = std::move(proxy); }
    // Connects and logs in (binary type, system type asked); throws when any step fails, the
    // connection then closed again.
    void Connect(const std::string& host, int port, const std::string& user, const std::string& password);
    void ChangeDir(const std::string& folder);
    // What the server says of a file name (SIZE): it stands there, it does not, or the server
    // does not know the command. Throws on any other answer.
    enum class Presence { Stands, Absent, Unknown };
    Presence Stands(const std::string& remoteName);
    // Deletes a file of the server's folder, whatever the server answers; never throws.
    void Delete(const std::string& remoteName);
    // Stores the bytes under the bare file name over an active data connection.
    void Put(const std::string& bytes, const std::string& remoteName);
    // Leaves the server (QUIT when connected); never throws.
    void Disconnect();

    bool FConnected = false;

private:
    void FtpConnected() { FConnected = true; }
    void FtpDisconnected() { FConnected = false; }
    void FtpStatus(const std::string&) {}

    class Session;
    std::unique_ptr<Session> session_;
    UserSiteProxy proxy_;
};

// Uploads the context's archives; true when one pass stored every archive without an error.
bool SendFTPFile(DeliveryContext& context);

}  // namespace qm::delivery
