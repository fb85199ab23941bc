#include <ostream>

#include <Poco/Net/FTPClientSession.h>
#include <Poco/Net/NetException.h>

#include "delivery/ftp_delivery.h"
#include "delivery/net_socket.h"

namespace qm::delivery {

// One control connection: the greeting read within the reply time-out, data connections
// active and opened with "PORT".
class TKBNMFTP::Session : public Poco::Net::FTPClientSession {
public:
    explicit Session(const Poco::Net::StreamSocket& socket) : FTPClientSession(socket, false) {
        setTimeout(ReplyTimeout());
        setPassive(false, false);
        std::string response;
        const int status = _pControlSocket->receiveStatusMessage(response);
        if (status != 220) throw Poco::Net::FTPException("Cannot receive status message", response, status);
    }

    // Ends an upload whose bytes are all written: the server answers once it has them, so the
    // reply is timed from here, however long the transfer took.
    void EndUpload() {
        StartReplyTime(*_pControlSocket);
        endUpload();
    }

protected:
    // A data connection that stops moving must not hold the agent either: every write must
    // move a byte within the reply time, while the transfer as a whole may take as long as it
    // needs. The send buffer is kept small, so that the last write returns when the bytes have
    // nearly left, not megabytes before: the reply is timed from there.
    Poco::Net::StreamSocket establishDataConnection(const std::string& command, const std::string& arg) override {
        Poco::Net::StreamSocket socket = FTPClientSession::establishDataConnection(command, arg);
        socket.setSendBufferSize(kDataSendBufferBytes);
        socket.setSendTimeout(ReplyTimeout());
        socket.setReceiveTimeout(ReplyTimeout());
        return socket;
    }

private:
    static constexpr int kDataSendBufferBytes = 64 * 1024;
};

TKBNMFTP::TKBNMFTP() = default;

TKBNMFTP::~TKBNMFTP() { Disconnect(); }

void TKBNMFTP::Connect(const std::string& host, int port, const std::string& user, const std::string& password) {
    Disconnect();
    const bool throughProxy = proxy_.on;
    const bool toProxy = throughProxy && !proxy_.host.empty();
    session_ = std::make_unique<Session>(ConnectTo(toProxy ? proxy_.host : host, toProxy ? proxy_.port : port));
    FtpConnected();
    FtpStatus("Connected");
    try {
        std::string response;
        if (throughProxy && !proxy_.user.empty()) {
            int status = session_->sendCommand("USER", proxy_.user, response);
            if (status == 331) status = session_->sendCommand("PASS", proxy_.password, response);
            if (status != 230) throw Poco::Net::FTPException("Proxy login denied", response, status);
        }
        // Logs in and sets the binary type ("TYPE I").
        session_->login(throughProxy ? user + "@" + host : user, password);
        const int status = session_->sendCommand("SYST", response);
        if (status != 200 && status != 215 && status != 500)
            throw Poco::Net::FTPException("Cannot get remote system type", response, status);
    } catch (...) {
        Disconnect();
        throw;
    }
}

void TKBNMFTP::ChangeDir(const std::string& folder) {
    if (!session_) throw Poco::Net::FTPException("Not connected");
    // A command without its folder would take the server's home folder instead.
    if (folder.empty()) throw Poco::Net::FTPException("No folder to change into");
    session_->setWorkingDirectory(folder);
}

void TKBNMFTP::Put(const std::string& bytes, const std::string& remoteName) {
    if (!session_) throw Poco::Net::FTPException("Not connected");
    std::ostream& out = session_->beginUpload(remoteName);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    const bool written = static_cast<bool>(out);
    session_->EndUpload();
    if (!written) throw Poco::Net::FTPException("The data connection was lost while storing " + remoteName);
}

TKBNMFTP::Presence TKBNMFTP::Stands(const std::string& remoteName) {
    if (!session_) throw Poco::Net::FTPException("Not connected");
    std::string response;
    const int status = session_->sendCommand("SIZE", remoteName, response);
    switch (status) {
        case 213: return Presence::Stands;
        case 550: return Presence::Absent;
        // The command, or the command for a file name, is not implemented.
        case 500:
        case 502:
        case 504: return Presence::Unknown;
        // Anything else says neither: storing could replace another agent's archive.
        default: throw Poco::Net::FTPException("Cannot tell whether " + remoteName + " stands on the server", response, status);
    }
}

void TKBNMFTP::Delete(const std::string& remoteName) {
    if (!session_) return;
    try {
        std::string response;
        session_->sendCommand("DELE", remoteName, response);
    } catch (...) {
        // A server that is gone has nothing left to delete.
    }
}

void TKBNMFTP::Disconnect() {
    if (!session_) return;
    try {
        std::string response;
        if (session_->isOpen() && !session_->isLoggedIn()) session_->sendCommand("QUIT", response);
        session_->close();
    } catch (...) {
        // Leaving a server that is gone already is no failure.
    }
    session_.reset();
    FtpDisconnected();
    FtpStatus("Disconnected");
}

}  // namespace qm::delivery
