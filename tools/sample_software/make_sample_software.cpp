// Writes the program files and shortcuts of the sample machines' software: real PE files
// with version resources or message tables, real shortcut files and the handheld files, made
// with the test writers. Run it from
// the source folder after changing what it writes; its output is kept in machines/.
//   cmake --build --preset default --target make_sample_software && build/bin/make_sample_software

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/lnk_writer.h"
#include "support/pdb_writer.h"
#include "support/pe_writer.h"

namespace {

namespace fs = std::filesystem;

void Write(const fs::path& file, const std::string& bytes) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
    std::printf("%s\n", file.string().c_str());
}

// A Windows path below a drive folder of the machine.
fs::path On(const fs::path& drive, const std::string& windowsPath) {
    std::string rest = windowsPath.substr(3);
    for (char& c : rest)
        if (c == '\\') c = '/';
    return drive / rest;
}

std::string Program(const std::string& company, const std::string& product, const std::string& version,
                    std::uint16_t language, std::array<std::uint16_t, 4> numbers) {
    char key[9];
    std::snprintf(key, sizeof key, "%04X04E4", language);
    qm::test::VersionResource r = qm::test::StringVersion({{"CompanyName", company}, {"ProductName", product},
                                                           {"ProductVersion", version}, {"FileDescription", product},
                                                           {"InternalName", product}},
                                                          key, qm::test::VersionTranslations{{language, 0x04E4}});
    r.fixed = qm::test::FixedVersion{numbers, numbers};
    return qm::test::BuildPeFile(r);
}

}  // namespace

int main() {
    const fs::path xp = "machines/xp-workstation/drive_c";
    Write(On(xp, "C:\\Program Files\\Ledger Pro\\ledger.exe"), Program("Ledger Software Ltd", "Ledger Pro", "4.2.1", 0x0409, {4, 2, 1, 0}));
    Write(On(xp, "C:\\Program Files\\Paint Shop\\paint.exe"), Program("Brushworks, Inc.", "Paint Shop", "2.0", 0x0409, {2, 0, 0, 17}));
    Write(On(xp, "C:\\Program Files\\Windows NT\\Accessories\\wordpad.exe"), Program("Northwind Tools", "WordPad", "5.1.2600.2180", 0x0409, {5, 1, 2600, 2180}));
    Write(On(xp, "C:\\WINDOWS\\system32\\notepad.exe"), Program("Northwind Tools", "Notepad", "5.1.2600.2180", 0x0409, {5, 1, 2600, 2180}));
    Write(On(xp, "C:\\Program Files\\Ledger Pro\\readme.txt"), "Ledger Pro 4.2.1\r\n");
    // The programs the configuration records name: the browser, the mail program, a browser
    // extension and the screen saver.
    Write(On(xp, "C:\\Program Files\\Web Browser\\browser.exe"), Program("Northwind Tools", "Web Browser", "6.0.2900.2180", 0x0409, {6, 0, 2900, 2180}));
    Write(On(xp, "C:\\Program Files\\Mail Desk\\maildesk.exe"), Program("Northwind Tools", "Mail Desk", "6.0.2900.2180", 0x0409, {6, 0, 2900, 2180}));
    Write(On(xp, "C:\\Program Files\\Ledger Pro\\ledgerbar.dll"), Program("Ledger Software Ltd", "Ledger Lookup Bar", "4.2.1", 0x0409, {4, 2, 1, 0}));
    Write(On(xp, "C:\\WINDOWS\\system32\\logon.scr"), Program("Northwind Tools", "Logon Screen Saver", "5.1.2600.0", 0x0409, {5, 1, 2600, 0}));
    const std::string user = "C:\\Documents and Settings\\jdoe\\";
    const std::string all = "C:\\Documents and Settings\\All Users\\";
    Write(On(xp, user + "Start Menu\\Programs\\Ledger Pro\\Ledger Pro.lnk"), qm::test::ShortcutTo("C:\\Program Files\\Ledger Pro\\ledger.exe"));
    Write(On(xp, user + "Start Menu\\Programs\\Ledger Pro\\Read me.lnk"), qm::test::ShortcutTo("C:\\Program Files\\Ledger Pro\\readme.txt"));
    Write(On(xp, user + "Desktop\\Ledger.lnk"), qm::test::ShortcutTo("C:\\PROGRA~1\\LEDGER~1\\ledger.exe"));
    Write(On(xp, user + "Start Menu\\Programs\\Accessories\\Notepad.lnk"), qm::test::ShortcutTo("C:\\WINDOWS\\system32\\notepad.exe"));
    Write(On(xp, user + "Application Data\\Microsoft\\Internet Explorer\\Quick Launch\\Paint Shop.lnk"),
          qm::test::ShortcutTo("C:\\Program Files\\Paint Shop\\paint.exe"));
    Write(On(xp, all + "Start Menu\\Programs\\Old Tool.lnk"), qm::test::ShortcutTo("C:\\Program Files\\Old Tool\\gone.exe"));
    // The message files of the event logs' sources: one of the application, one of the system.
    Write(On(xp, "C:\\Program Files\\Ledger Pro\\ledgermsg.dll"),
          qm::test::BuildMessageFile({{0x0409,
                                       {{0x40000064, "Ledger Pro %1 started.%n"},
                                        {0xC00003E9, "The ledger file %1 could not be opened (error %2!d!).%n"
                                                     "Close the programs that use it and try again.%n"},
                                        {0x800003EA, "No disc in %1, so the backup of \"%2\" waits.%n"},
                                        {0xC00003F2, "Login refused for user %1 from %2.%n"}}}}));
    Write(On(xp, "C:\\WINDOWS\\system32\\sysevents.dll"),
          qm::test::BuildMessageFile(
              {{0x0409,
                {{0xC00003E8, "Faulting application %1, version %2, faulting module %3, version %4, address 0x%5.%n"},
                 {0xC0040007, "The device, %1, has a bad block.%n", false},
                 {0x8000001D, "The time provider found no source of time (%1), %2!u! attempts.%n"},
                 {0xC0001B58, "The %1 service failed to start due to the following error: %n%2%n"},
                 {0xC000165A, "The session setup from the computer %1 failed to authenticate. The name of the account "
                              "referenced in the security database is %2.%n"},
                 {0x8000177D, "The Event log service was started.%n", false},
                 {0x8000177E, "The Event log service was stopped.%n", false}}}}));

    // The handheld sync manager's two libraries and one user's backup with the inventory
    // database; the handheld application and its notifier beside the agent.
    const std::string palm = "C:\\Program Files\\Palm\\";
    Write(On(xp, palm + "CondMgr.dll"), qm::test::BuildPeFileWithoutResources());
    Write(On(xp, palm + "UserData.DLL"), qm::test::BuildPeFileWithoutResources());
    qm::test::PalmDatabase inventory;
    inventory.records = {qm::test::InventoryRecord('G', "GUID", "PDA-7F3A21C9"),
                         qm::test::InventoryRecord('G', "User", "jdoe"),
                         qm::test::InventoryRecord('G', "OSVer", "5.2.1"),
                         qm::test::InventoryRecord('G', "Model", "Handheld 505"),
                         qm::test::InventoryRecord('M', "Total", "16384"),
                         qm::test::InventoryRecord('M', "Free", "9120"),
                         qm::test::InventoryRecord('B', "Level", "72"),
                         qm::test::InventoryRecord('B', "Kind", "Lithium ion"),
                         qm::test::InventoryRecord('A', "Count", "23"),
                         qm::test::InventoryRecord('A', "Apps", "Notes, Expenses, Clock"),
                         qm::test::InventoryRecord('N', "IP", "10.0.0.77"),
                         qm::test::InventoryRecord('S', "Card", "SD 128 MB")};
    Write(On(xp, palm + "jdoe\\Backup\\PalmInfoDB.PDB"), qm::test::BuildPalmDatabase(inventory));
    // The second user's backup holds other databases only.
    qm::test::PalmDatabase notes;
    notes.name = "NotesDB";
    notes.creator = "note";
    notes.records = {std::string("Call the supplier on Monday.\0", 29)};
    Write(On(xp, palm + "Reception\\Backup\\NotesDB.PDB"), qm::test::BuildPalmDatabase(notes));
    qm::test::PalmDatabase application;
    application.name = "PalmInfo";
    application.type = "appl";
    application.attributes = 0x0001;  // a resource database
    Write(On(xp, "C:\\Program Files\\Quarmelin\\PalmInfo.prc"), qm::test::BuildPalmDatabase(application));
    Write(On(xp, "C:\\Program Files\\Quarmelin\\QuarmelinConduit.dll"), qm::test::BuildPeFileWithoutResources());

    const fs::path nine = "machines/win98-desktop/drive_c";
    const fs::path share = "machines/win98-desktop/net_n";
    Write(On(nine, "C:\\Program Files\\Compta\\compta.exe"), Program("Exemple Logiciels", "Compta Plus", "3.10", 0x040C, {3, 10, 0, 0}));
    Write(On(nine, "C:\\Program Files\\Web Browser\\browser.exe"), Program("Northwind Tools", "Navigateur Web", "5.50.4134.600", 0x040C, {5, 50, 4134, 600}));
    Write(On(share, "N:\\Inventory\\outil.exe"), Program("Exemple Logiciels", "Outil Reseau", "1.0", 0x040C, {1, 0, 0, 0}));
    Write(On(nine, "C:\\WINDOWS\\Start Menu\\Programs\\Compta Plus.lnk"), qm::test::ShortcutTo("C:\\Program Files\\Compta\\compta.exe"));
    Write(On(nine, "C:\\WINDOWS\\Desktop\\Outil.lnk"), qm::test::ShortcutToShare("\\\\SERVEUR\\PUBLIC", "Inventory\\outil.exe", "N:"));
    return 0;
}
