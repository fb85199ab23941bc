#pragma once
// The agent's one delivery operation: it packs what waits in Results\, lists the archives of
// the four archive folders and delivers them by folder copy, then FTP upload, then SMTP mail,
// marking what was delivered with the extension ".Old".

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "delivery/archives.h"

namespace qm::delivery {

// The state of one delivery, read by every way of delivery.
struct DeliveryContext {
    // What still waits to be delivered, in listing order. A way of delivery takes out what it
    // delivered, so that no later pass or way sends it again, even when it kept its name.
    std::vector<std::string> archives;
    std::string settingsFile;
    std::string customerCode;
    std::string siteCode;
    int maxFiles = -1;
    std::string proxyHost;
    int proxyPort = 2121;
    std::string proxyUser;
    std::string proxyPassword;
    std::string copyFolder;
    bool ftpDirectDisabled = false;
    bool ftpProxyDisabled = false;
    bool smtpPublicDisabled = false;
    bool smtpPrivateDisabled = false;
};

// Stand-ins for the ways that follow the folder copy, each sending the context's archives and
// answering true when it delivered them; where none is set, the agent's own way is taken
// (SendFTPFile, SendBySmtp).
struct LaterDeliveryWays {
    bool (*sendFtp)(DeliveryContext&) = nullptr;   // SendFTPFile
    bool (*sendSmtp)(DeliveryContext&) = nullptr;  // SendBySmtp
};
LaterDeliveryWays& DeliveryWays();

// The delivery settings of the settings file; turns FTP off or SMTP off for the rest of the run
// when the settings say so. An integer that does not parse counts as its default.
DeliveryContext ReadDeliverySettings();
// Results\, Trans\, Usage\, SNMP\ and Pda\ in that order; a failure goes to the error list and
// leaves the folder and those after it empty.
DeliveryFolders DetermineDeliveryFolders();
// The waiting archives: GTV in Trans\, NTV in Usage\, DTV in SNMP\, BTV in Pda\.
std::vector<std::string> ListArchives(const DeliveryFolders& folders);

// True when the archives were delivered; with "/GTV", when any archive waits. In
// connection-settings mode nothing is packed, listed or sent.
bool SendSimpleMail();

// Copies every archive into the copy folder and marks each one copied as sent; the context
// keeps the archives that were not copied. True only when every archive was copied.
bool SendByRep(DeliveryContext& context);

// Renames a delivered archive to the extension ".Old", replacing an older one of that name.
// A rename that fails is reported in the trace log and the error list; false then.
bool MarkFileSent(std::string_view path);

// Gives an archive named "#CODE#SITE#stamp..." a fresh time stamp, for a name that another
// agent's archive holds at the destination already: renamed in its own folder first, so that
// the file delivered is the file marked sent afterwards and nothing is lost when a step fails.
// `taken` says whether a name (without folder) is held at the destination. The new path; empty,
// with the reason logged, when the name has no time stamp, no free name is found or the rename
// fails.
std::string RestampArchive(const std::string& archive, const std::function<bool(const std::string&)>& taken);

}  // namespace qm::delivery
