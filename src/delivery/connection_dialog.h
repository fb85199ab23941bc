#pragma once
// The connection dialog: asked when no mail server accepts the connection (and in
// connection-settings mode), it shows the SMTP values in force and the FTP proxy, stores what
// the user enters in the settings file and hands it back.

#include <string>
#include <string_view>

#include "platform/dialogs.h"

namespace qm::delivery {

inline constexpr int kDefaultSmtpPort = 25;
inline constexpr int kDefaultProxyPort = 2121;

// The form of the dialog, with the texts of the program; FormCreate sets them and the enabled
// and visible states that the run's flags call for.
class TConnectForm {
public:
    // The form as stored: every control at its place and size, without its texts.
    TConnectForm();
    void FormCreate();
    // Closes the dialog with OK, as its button's modal result says; nothing more to do.
    void btMailtoClick() {}

    platform::ControlSpec& Control(std::string_view name);
    const platform::ConnectionDialogLayout& Layout() const { return layout_; }
    platform::ConnectionDialogAnswer ShowModal() const;

private:
    platform::ConnectionDialogLayout layout_;
};

// The proxy the user entered in the dialog, when the proxy host was not empty.
struct EnteredProxy {
    bool entered = false;
    std::string host;
    int port = kDefaultProxyPort;
};

// Shows the dialog filled with the values in force and the stored proxy, return address and
// password; after OK, or in connection-settings mode however it was closed, takes the entered
// values back and writes "SMTP Connection" (when a host was entered) and "PROXY" (when a proxy
// host was entered). True when it was closed with OK.
bool AskConnectionSettings(const std::string& settingsFile, std::string& host, std::string& userName,
                           std::string& password, std::string& returnAddress, int& port, EnteredProxy& proxy);

}  // namespace qm::delivery
