#include "delivery/connection_dialog.h"

#include <stdexcept>

#include "core/error_list.h"
#include "core/process_state.h"
#include "core/profile_files.h"
#include "core/trace_log.h"
#include "delivery/net_session.h"
#include "delivery/scrambling.h"
#include "platform/ini_image.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace qm::delivery {

using namespace qm::platform;
using core::LogError;
using core::ReadProfileInteger;
using core::ReadProfileString;
using core::State;
using core::WriteLog;

namespace {

const FontSpec kFormFont{"Arial", 11, false, false};
const FontSpec kBoldFont{"Arial", 11, false, true};

ControlSpec Label(const char* name, const char* parent, int left, int top, int width, int height, bool bold = false,
                  bool wordWrap = false) {
    ControlSpec c{name, "label", parent, left, top, width, height, ""};
    if (bold) c.font = kBoldFont;
    c.wordWrap = wordWrap;
    return c;
}

ControlSpec Edit(const char* name, const char* parent, int left, int top, int width, const char* text = "") {
    return ControlSpec{name, "edit", parent, left, top, width, 21, text};
}

ControlSpec Box(const char* name, const char* kind, const char* parent, int left, int top, int width, int height) {
    return ControlSpec{name, kind, parent, left, top, width, height, ""};
}

int FieldAsInteger(std::string_view text, int fallback) {
    int value = 0;
    return ParseWholeInteger(text, value) ? value : fallback;
}

// A value written to the settings file must stay on its line: a line break would add keys
// of its own making.
bool Storable(std::initializer_list<std::string_view> values, std::string_view section) {
    for (std::string_view v : values) {
        if (!HasControlCharacter(v)) continue;
        ReportUnusable("Connection settings not saved in " + std::string(section) + " : a value holds a control character");
        return false;
    }
    return true;
}

}  // namespace

TConnectForm::TConnectForm() {
    layout_.clientWidth = 421;
    layout_.clientHeight = 617;
    layout_.font = kFormFont;
    layout_.controls = {
        Label("lblConnectionFailed", "", 8, 8, 405, 70, true, true),
        Label("Label9", "", 8, 84, 405, 14, true),
        Box("gbMail", "group box", "", 8, 106, 320, 128),
        Label("Label6", "gbMail", 8, 16, 304, 42, true, true),
        Label("lblProxyHost", "gbMail", 8, 68, 130, 14),
        Edit("eProxyHost", "gbMail", 140, 64, 172),
        Label("lblProxyPort", "gbMail", 8, 98, 130, 14),
        Edit("eProxyPort", "gbMail", 140, 94, 64),
        Box("btMailto", "button", "", 336, 209, 77, 25),
        Box("gbSMTP", "group box", "", 8, 244, 405, 318),
        Label("Label5", "gbSMTP", 8, 16, 389, 28, true, true),
        Label("Label3", "gbSMTP", 8, 50, 389, 28, true, true),
        Label("Label1", "gbSMTP", 8, 92, 100, 14),
        Edit("HostEdit", "gbSMTP", 112, 88, 285),
        Label("Label2", "gbSMTP", 8, 126, 100, 14),
        Edit("PortEdit", "gbSMTP", 112, 122, 64, "25"),
        Label("Label4", "gbSMTP", 8, 160, 100, 14),
        Edit("UserIDEdit", "gbSMTP", 112, 156, 285),
        Label("lblSMTPPAssword", "gbSMTP", 8, 194, 100, 14),
        Edit("edSMTPPassword", "gbSMTP", 112, 190, 285),
        Label("lblReturnAddress", "gbSMTP", 8, 228, 100, 14),
        Edit("edReturnAdress", "gbSMTP", 112, 224, 285),
        Label("Label7", "gbSMTP", 8, 262, 100, 14),
        Label("Label8", "gbSMTP", 112, 262, 285, 14),
        Box("btConnect", "button", "", 256, 578, 75, 25),
        Box("btClose", "button", "", 338, 578, 75, 25),
    };
    Control("edSMTPPassword").passwordChar = '*';
    layout_.okButtons = {"btMailto", "btConnect"};
    layout_.defaultButton = "btConnect";
    layout_.cancelButton = "btClose";
}

ControlSpec& TConnectForm::Control(std::string_view name) {
    for (ControlSpec& c : layout_.controls)
        if (c.name == name) return c;
    throw std::logic_error("TConnectForm has no control " + std::string(name));
}

void TConnectForm::FormCreate() {
    layout_.caption = "Automatic Connection Failed...";
    Control("lblConnectionFailed").caption =
        "Due your company's security policy, the agent cannot automatically send your inventory data to our "
        "processing center. You can try again, by indicating the following information in order to use either "
        "your company's PROXY server or an authorized SMTP server.";
    Control("Label9").caption = "In case of a problem, please do not hesitate to contact our technical support.";
    Control("gbMail").caption = "By providing your proxy information";
    Control("Label6").caption =
        "If you have a proxy server in your company, please fill out the following information to allow the "
        "agent to send the data. ";
    Control("lblProxyHost").caption = "Proxy name or address";
    Control("lblProxyPort").caption = "Proxy port";
    Control("btMailto").caption = "Connect";
    Control("gbSMTP").caption = "By providing your configuration information";
    Control("Label5").caption = "Please provide the computer name or IP address of your local SMTP E-mail host.";
    Control("Label3").caption = "A change in the default Port or User ID is usually not necessary.";
    Control("Label1").caption = "Host";
    Control("Label2").caption = "Port";
    Control("Label4").caption = "User ID";
    Control("lblSMTPPAssword").caption = "Password";
    Control("lblReturnAddress").caption = "Return address";
    Control("Label7").caption = "Destination Email";
    Control("Label8").caption = State().smtpRecipient;
    Control("btConnect").caption = "Connect";
    Control("btClose").caption = "Close";

    const core::RunFlags& flags = State().flags;
    if (flags.ftpOff)
        for (const char* name : {"eProxyHost", "eProxyPort"}) Control(name).enabled = false;
    if (flags.smtpOff)
        for (const char* name : {"edSMTPPassword", "edReturnAdress", "HostEdit", "PortEdit", "UserIDEdit"})
            Control(name).enabled = false;
    if (flags.smtp)
        for (const char* name : {"btConnect", "btMailto"}) Control(name).visible = false;
}

ConnectionDialogAnswer TConnectForm::ShowModal() const { return Dialogs().ShowConnectionDialog(layout_); }

bool AskConnectionSettings(const std::string& settingsFile, std::string& host, std::string& userName,
                           std::string& password, std::string& returnAddress, int& port, EnteredProxy& proxy) {
    WriteLog("Send by SMTP failed");
    std::string proxyHost = ReadProfileString(settingsFile, "PROXY", "HOST", "");
    int proxyPort = ReadProfileInteger(settingsFile, "PROXY", "PORT", kDefaultProxyPort);
    returnAddress = ReadProfileString(settingsFile, "SMTP Connection", "RETURN", "");
    password = ScrambleString(ReadProfileString(settingsFile, "SMTP Connection", "ICF", ""), kByteXorKey);

    TConnectForm form;
    form.FormCreate();
    form.Control("HostEdit").caption = host;
    form.Control("PortEdit").caption = std::to_string(port);
    form.Control("UserIDEdit").caption = userName;
    form.Control("eProxyHost").caption = proxyHost;
    form.Control("eProxyPort").caption = std::to_string(proxyPort);
    form.Control("edReturnAdress").caption = returnAddress;
    form.Control("edSMTPPassword").caption = password;

    const ConnectionDialogAnswer answer = form.ShowModal();
    if (!answer.ok && !State().flags.smtp) return false;

    host = answer.Text("HostEdit");
    port = FieldAsInteger(answer.Text("PortEdit"), kDefaultSmtpPort);
    userName = answer.Text("UserIDEdit");
    proxyHost = answer.Text("eProxyHost");
    proxyPort = FieldAsInteger(answer.Text("eProxyPort"), kDefaultProxyPort);
    returnAddress = answer.Text("edReturnAdress");
    password = answer.Text("edSMTPPassword");
    // The password is stored scrambled, and the scrambled form of a few characters is one the
    // settings file cannot give back: a line break or a zero cuts the value, a blank at its
    // ends is trimmed, quotes around it removed. Anything else goes in as it is.
    const std::string scrambled = ScrambleString(password, kByteXorKey);
    bool storeSmtp = !host.empty() && Storable({host, userName, returnAddress, password}, "SMTP Connection");
    if (storeSmtp && !ProfileValueReadsBack(scrambled)) {
        ReportUnusable("Connection settings not saved in SMTP Connection : the password would not read back as typed");
        storeSmtp = false;
    }
    const bool storeProxy = !proxyHost.empty() && Storable({proxyHost}, "PROXY");
    if (storeProxy) proxy = EnteredProxy{true, proxyHost, proxyPort};
    auto write = [&](std::string_view section, std::initializer_list<std::pair<const char*, std::string>> values) {
        try {
            for (const auto& [key, value] : values) core::WriteProfileString(settingsFile, section, key, value);
        } catch (const core::ProfileWriteError& e) {
            ReportUnusable(std::string("Connection settings not saved : ") + e.what());
        }
    };
    if (storeSmtp)
        write("SMTP Connection", {{"HOST", host}, {"USERID", userName}, {"PORT", std::to_string(port)},
                                  {"RETURN", returnAddress}, {"ICF", scrambled}});
    if (storeProxy) write("PROXY", {{"HOST", proxyHost}, {"PORT", std::to_string(proxyPort)}});
    return answer.ok;
}

}  // namespace qm::delivery
