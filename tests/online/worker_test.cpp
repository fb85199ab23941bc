#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>

#include "core/process_state.h"
#include "online/html_text.h"
#include "online/main_form.h"
#include "online/worker.h"
#include "platform/platform.h"
#include "platform/sim/sim_dialogs.h"
#include "platform/sim/sim_processes.h"
#include "platform/sim/sim_shell.h"
#include "platform/text.h"
#include "support/test_machine.h"
#include "support/zip_reader.h"

using namespace qm::online;
using qm::test::SampleMachine;

namespace {

struct Sample {
    const char* name;
    const char* folder;  // the agent's, where the front-end lies beside it
    const char* asset;
};
const Sample kSamples[] = {{"xp-workstation", "C:\\Program Files\\Quarmelin\\", "QM-XP-WS01"},
                           {"win98-desktop", "C:\\QMAGENT\\", "QM-98-DESK"}};

std::string Read(const std::string& path) {
    std::string bytes;
    if (!qm::platform::ReadWholeFile(qm::platform::Files(), path, bytes)) return std::string();
    return bytes;
}

bool Exists(const std::string& path) { return qm::platform::FileExists(qm::platform::Files(), path); }

// The front-end installed beside the agent and started from its shortcut, whose working
// folder is the program's.
void Install(SampleMachine& machine, const std::string& folder) {
    qm::test::InstallFrontEnd(machine.Machine(), folder);
    qm::platform::Files().SetCurrentDirectory(folder);
}

std::vector<std::string> ErrorLog(const std::string& folder) { return qm::platform::SplitLines(Read(folder + kErrorLogName)); }

}  // namespace

// The whole program on a copy of each sample machine: the agent started in online mode, every
// template rendered, the report zipped and opened maximised, the results deleted, the splash
// closed.
TEST(FrontEnd, ARunOnEachSampleMachineMakesTheReport) {
    for (const Sample& s : kSamples) {
        SCOPED_TRACE(s.name);
        SampleMachine machine(s.name);
        const std::string folder = s.folder;
        Install(machine, folder);
        EXPECT_EQ(QnlOnlineMain(folder + "qnlonline.exe"), 0);

        std::vector<qm::sim::StartedProcess> started = machine.Machine().ProcessesOfMachine().Started();
        ASSERT_FALSE(started.empty());
        EXPECT_EQ(started.front().commandLine, "\"" + folder + "qmagent.exe\" /N /ONLINE");
        EXPECT_EQ(started.front().showWindow, qm::platform::SW_HIDE);

        std::string report = Read(folder + "DONE\\report.htm");
        EXPECT_NE(report.find(std::string("<B id=\"computer\">") + s.asset + "</B>"), std::string::npos);
        EXPECT_NE(report.find("src=\"drive.gif\""), std::string::npos);
        // The BIOS program's records, which the agent had appended.
        std::string manufacturer;
        WriteHtmlText(manufacturer, EscapeHtml(machine.Machine().Config().biosProgram.manufacturer));
        EXPECT_NE(report.find("<TD>Manufacturer</TD><TD>" + manufacturer + "</TD>"), std::string::npos);
        EXPECT_NE(Read(folder + "DONE\\software.htm").find("<TD"), std::string::npos);
        std::vector<std::string> zipped;
        for (const auto& entry : qm::test::ReadZip(Read(folder + "DONE\\report.zip"))) zipped.push_back(entry.name);
        for (const char* file : {"report.htm", "software.htm", "drive.gif", "pourcon.gif"})
            EXPECT_NE(std::find(zipped.begin(), zipped.end(), file), zipped.end()) << file;

        std::vector<qm::sim::ShellRequest> opened = machine.Machine().ShellOfMachine().Requests();
        ASSERT_EQ(opened.size(), 1u);
        EXPECT_EQ(opened[0].verb, "open");
        EXPECT_EQ(opened[0].file, folder + "DONE\\report.htm");
        EXPECT_EQ(opened[0].showCommand, qm::platform::SW_SHOWMAXIMIZED);
        EXPECT_GT(opened[0].result, 32u);

        EXPECT_FALSE(Exists(std::string("C:\\WINDOWS\\") + s.asset + ".hrz"));
        EXPECT_FALSE(Exists(std::string("C:\\WINDOWS\\") + s.asset + ".sfz"));
        auto splash = machine.Machine().DialogsOfMachine().SplashForm();
        EXPECT_TRUE(splash.closed);
        EXPECT_TRUE(splash.controls["Image1"].picture);
        EXPECT_EQ(splash.controls["lblCaption"].text, "Inventory currently executing. Please wait...");
        EXPECT_FALSE(Exists(folder + kErrorLogName)) << Read(folder + kErrorLogName);
    }
}

// Without an agent, and with results that the agent did not write in this run, nothing is
// rendered or deleted: the run ends with one line in the error log, and the splash closes.
TEST(FrontEnd, NoReportWithoutFreshResultsOfTheAgent) {
    SampleMachine machine("xp-workstation");
    const std::string folder = kSamples[0].folder;
    Install(machine, folder);
    ASSERT_TRUE(qm::platform::Files().DeleteFile(folder + "qmagent.exe"));
    // Results of an earlier run wait in the work folder.
    ASSERT_TRUE(qm::platform::WriteWholeFile(qm::platform::Files(), "C:\\WINDOWS\\QM-XP-WS01.hrz", "\"F1\"\r\n"));
    ASSERT_TRUE(qm::platform::WriteWholeFile(qm::platform::Files(), "C:\\WINDOWS\\QM-XP-WS01.sfz", "\"F1\"\r\n"));
    EXPECT_EQ(QnlOnlineMain(folder + "qnlonline.exe"), 0);
    EXPECT_EQ(ErrorLog(folder), (std::vector<std::string>{"ERROR : The agent could not be started: \"" + folder +
                                                          "qmagent.exe\" /N /ONLINE (error 2)"}));
    EXPECT_FALSE(Exists(folder + "DONE\\report.htm"));
    EXPECT_TRUE(Exists("C:\\WINDOWS\\QM-XP-WS01.hrz"));
    EXPECT_TRUE(machine.Machine().ShellOfMachine().Requests().empty());
    EXPECT_TRUE(machine.Machine().DialogsOfMachine().SplashForm().closed);

    // An agent that runs but writes nothing (a stand-in that only ends): the old results do
    // not pass for new ones. A second failed run adds its line to the first.
    machine.InstallProgram("qmcmd.exe", folder);
    ASSERT_TRUE(qm::platform::Files().MoveFile(folder + "qmcmd.exe", folder + "qmagent.exe"));
    EXPECT_EQ(QnlOnlineMain(folder + "qnlonline.exe"), 0);
    std::vector<std::string> log = ErrorLog(folder);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1], "ERROR : The agent did not write C:\\WINDOWS\\QM-XP-WS01.hrz");
    EXPECT_FALSE(Exists(folder + "DONE\\report.htm"));
    EXPECT_TRUE(Exists("C:\\WINDOWS\\QM-XP-WS01.sfz"));
}

// An error log that cannot be written costs nothing more: the worker still says it is done,
// and the splash closes.
TEST(FrontEnd, TheSplashClosesWhenTheErrorLogCannotBeWritten) {
    SampleMachine machine("xp-workstation");
    const std::string folder = kSamples[0].folder;
    Install(machine, folder);
    ASSERT_TRUE(qm::platform::Files().DeleteFile(folder + "qmagent.exe"));
    qm::sim::FaultConfig fault;
    fault.op = "write";
    fault.path = folder + kErrorLogName;
    machine.Machine().AddFault(fault);
    EXPECT_FALSE(LogRunError("x"));
    EXPECT_EQ(QnlOnlineMain(folder + "qnlonline.exe"), 0);
    EXPECT_TRUE(machine.Machine().DialogsOfMachine().SplashForm().closed);
    EXPECT_FALSE(Exists(folder + kErrorLogName));
}

// A report file or an archive name that reaches out of DONE\ is refused.
TEST(FrontEnd, ResultFileAndZipNameNameFilesOfDoneOnly) {
    EXPECT_TRUE(IsBareFileName("report.htm"));
    EXPECT_TRUE(IsBareFileName("a b.zip"));
    for (const char* name : {"..\\x.htm", "C:\\x.htm", "sub\\x.htm", "sub/x.htm", "C:x.htm", ".."}) EXPECT_FALSE(IsBareFileName(name)) << name;

    SampleMachine machine("xp-workstation");
    const std::string folder = kSamples[0].folder;
    Install(machine, folder);
    std::string ini = Read(folder + "qnlonline.ini");
    std::string changed = ini;
    changed.replace(changed.find("RESULT_FILE=report.htm"), 22, "RESULT_FILE=..\\..\\WINDOWS\\win.ini");
    ASSERT_TRUE(qm::platform::WriteWholeFile(qm::platform::Files(), folder + "qnlonline.ini", changed));
    EXPECT_EQ(QnlOnlineMain(folder + "qnlonline.exe"), 0);
    EXPECT_TRUE(machine.Machine().ShellOfMachine().Requests().empty());
    EXPECT_EQ(ErrorLog(folder),
              (std::vector<std::string>{"ERROR : RESULT_FILE must name a file of DONE\\ alone, not ..\\..\\WINDOWS\\win.ini"}));
    // The report itself was made.
    EXPECT_TRUE(Exists(folder + "DONE\\report.htm"));

    changed = ini;
    changed.replace(changed.find("ZIPNAME=report.zip"), 18, "ZIPNAME=C:\\report.zip");
    ASSERT_TRUE(qm::platform::WriteWholeFile(qm::platform::Files(), folder + "qnlonline.ini", changed));
    EXPECT_EQ(QnlOnlineMain(folder + "qnlonline.exe"), 0);
    EXPECT_FALSE(Exists("C:\\report.zip"));
    EXPECT_EQ(ErrorLog(folder).back(), "ERROR : ZIPNAME must name a file of DONE\\ alone, not C:\\report.zip");
}

// The splash: its settings, the progress bar and what happens when a setting cannot be used.
TEST(FrontEnd, TheSplashTakesItsSettingsAndShowsProgress) {
    SampleMachine machine("xp-workstation");
    const std::string folder = kSamples[0].folder;
    Install(machine, folder);
    qm::core::ResetState({folder + "qnlonline.exe"});
    {
        // The worker is let fail at once: only the form is looked at.
        ASSERT_TRUE(qm::platform::Files().DeleteFile(folder + "qmagent.exe"));
        Tform1 form;
        form.Worker()->Join();
        auto state = machine.Machine().DialogsOfMachine().SplashForm();
        EXPECT_EQ(state.controls["lblCaption"].text, "Inventory currently executing. Please wait...");
        EXPECT_EQ(state.controls["lblInventaire"].text, "Inventory");
        EXPECT_EQ(state.controls[""].colour, 0x00F7EEE6u);
        EXPECT_EQ(state.controls["Panel3"].colour, 0x00F7EEE6u);
        EXPECT_EQ(state.controls["lblProgress"].fontColour, 0x00602000u);
        EXPECT_EQ(state.controls["lblCaption"].fontName, "Arial");
        EXPECT_EQ(state.controls["lblProgress"].fontName, "");  // the progress keeps its Terminal font
        EXPECT_EQ(state.controls["lblCaption"].fontPoints, 10);
        // A block on every third tick, 59 of them before the bar starts again.
        for (int i = 0; i < 175; ++i) form.AdvanceProgress();
        EXPECT_EQ(form.Window()->Text("lblProgress"), std::string(59, kProgressBlock));
        form.AdvanceProgress();
        EXPECT_EQ(form.Window()->Text("lblProgress"), "");
        form.AdvanceProgress();
        EXPECT_EQ(form.Window()->Text("lblProgress"), "");
        EXPECT_EQ(form.TickCounter(), 2);
    }
    // Without settings the caption is blank and everything black; a colour that is no number
    // shows an error box and leaves the rest as laid out.
    for (const char* settings : {"", "[SPLASHSCREEN]\nDES=Hello\nCOLOR=blue\nFONT=Courier\n"}) {
        SampleMachine fresh("xp-workstation");
        Install(fresh, folder);
        ASSERT_TRUE(qm::platform::WriteWholeFile(qm::platform::Files(), folder + "qnlonline.ini", settings));
        ASSERT_TRUE(qm::platform::Files().DeleteFile(folder + "qmagent.exe"));
        qm::core::ResetState({folder + "qnlonline.exe"});
        Tform1 form;
        form.Worker()->Join();
        auto state = fresh.Machine().DialogsOfMachine().SplashForm();
        bool bad = std::string(settings).find("blue") != std::string::npos;
        EXPECT_EQ(state.controls["lblCaption"].text, bad ? "Hello" : "");
        EXPECT_EQ(state.controls[""].colour, bad ? std::nullopt : std::optional<qm::platform::COLORREF>(0));
        EXPECT_EQ(state.controls["lblCaption"].fontName, "");
        EXPECT_EQ(state.controls["Image1"].picture, !bad);
        int boxes = 0;
        for (const auto& e : fresh.Machine().DialogsOfMachine().Journal())
            if (e.kind == "message box") {
                ++boxes;
                EXPECT_NE(e.detail.find("'blue' is not a valid integer value"), std::string::npos);
            }
        EXPECT_EQ(boxes, bad ? 1 : 0);
    }
}

TEST(FrontEnd, ColoursAreDecimalOrHexadecimal) {
    const std::pair<const char*, qm::platform::COLORREF> cases[] = {
        {"$00FF8000", 0x00FF8000}, {"0x10", 16}, {"255", 255}, {"-1", 0xFFFFFFFF}, {"$8000000F", 0x8000000F}};
    for (const auto& [text, colour] : cases) EXPECT_EQ(ParseColour(text), colour) << text;
    for (const char* text : {"", "$", "blue", "12 ", "$1FFFFFFFF", "4294967296"}) EXPECT_THROW(ParseColour(text), std::invalid_argument) << text;
}

namespace {

// The settings file of the installation with one key's value changed.
void SetSetting(const std::string& folder, const std::string& key, const std::string& value) {
    std::string ini = Read(folder + "qnlonline.ini");
    std::size_t at = ini.find(key + "=");
    ASSERT_NE(at, std::string::npos) << key;
    std::size_t end = ini.find_first_of("\r\n", at);
    ini.replace(at, end - at, key + "=" + value);
    ASSERT_TRUE(qm::platform::WriteWholeFile(qm::platform::Files(), folder + "qnlonline.ini", ini));
}

bool IsZip(const std::string& bytes) { return bytes.rfind("PK", 0) == 0; }

}  // namespace

// An archive name that is also the name of a page of the report, or of the file to open, would
// put the archive in that file's place: it is refused, and the pages stay as rendered.
TEST(FrontEnd, AZipNameOfAPageOrOfTheResultFileIsRefused) {
    struct Case {
        const char* zipName;
        const char* resultFile;
        const char* longTemplate;  // one more template, or null
    };
    const Case cases[] = {{"report.htm", "report.htm", nullptr},          {"REPORT.HTM", "report.htm", nullptr},
                          {"report.htm.", "software.htm", nullptr},       {"Software.htm", "report.htm", nullptr},
                          {"FULLRE~1.HTM", "report.htm", "Full report.htm"}, {"NOTES.txt", "notes.txt", nullptr}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.zipName);
        SampleMachine machine("xp-workstation");
        const std::string folder = kSamples[0].folder;
        Install(machine, folder);
        if (c.longTemplate != nullptr) {
            ASSERT_TRUE(qm::platform::WriteWholeFile(qm::platform::Files(), folder + "HTML\\" + c.longTemplate, "<TD><MEMORY></TD>"));
        }
        SetSetting(folder, "ZIPNAME", c.zipName);
        SetSetting(folder, "RESULT_FILE", c.resultFile);
        EXPECT_EQ(QnlOnlineMain(folder + "qnlonline.exe"), 0);
        EXPECT_EQ(ErrorLog(folder), (std::vector<std::string>{std::string("ERROR : ZIPNAME must not name a page of the report or the RESULT_FILE: ") + c.zipName}));
        for (const char* page : {"report.htm", "software.htm", c.longTemplate}) {
            if (page == nullptr) continue;
            std::string bytes = Read(folder + "DONE\\" + page);
            EXPECT_NE(bytes.find("<TD"), std::string::npos) << page;
            EXPECT_FALSE(IsZip(bytes)) << page;
        }
        EXPECT_TRUE(machine.Machine().ShellOfMachine().Requests().empty());
    }
}

// Only a report of this run is zipped and opened: without a template, with a report file that
// the run did not render, or with an archive that cannot be written, the run ends with its
// error and opens nothing.
TEST(FrontEnd, NothingOfAnEarlierRunIsZippedOrOpenedAsNew) {
    struct Case {
        const char* what;
        std::function<void(SampleMachine&, const std::string&)> prepare;
        std::string error;  // after the folder
        bool zipped;
    };
    auto removeTemplates = [](SampleMachine&, const std::string& folder) {
        for (const char* page : {"report.htm", "software.htm"}) ASSERT_TRUE(qm::platform::Files().DeleteFile(folder + "HTML\\" + page));
    };
    const Case cases[] = {
        {"an empty HTML folder", removeTemplates, "ERROR : No report was made: @HTML\\ holds no template", false},
        {"no HTML folder",
         [&](SampleMachine& m, const std::string& folder) {
             removeTemplates(m, folder);
             ASSERT_TRUE(qm::platform::Files().RemoveDirectory(folder + "HTML"));
         },
         "ERROR : No report was made: @HTML\\ holds no template", false},
        {"a report file that no template renders",
         [](SampleMachine&, const std::string& folder) { SetSetting(folder, "RESULT_FILE", "old.htm"); },
         "ERROR : RESULT_FILE names no page of this run's report: old.htm", true},
        {"an archive that cannot be written",
         [](SampleMachine& m, const std::string& folder) {
             qm::sim::FaultConfig fault;
             fault.op = "write";
             fault.path = folder + "DONE\\report.zip";
             m.Machine().AddFault(fault);
         },
         "ERROR : The report could not be zipped into @DONE\\report.zip", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SampleMachine machine("xp-workstation");
        const std::string folder = kSamples[0].folder;
        Install(machine, folder);
        // The report of an earlier run waits in DONE\.
        for (const char* page : {"report.htm", "old.htm"})
            ASSERT_TRUE(qm::platform::WriteWholeFile(qm::platform::Files(), folder + "DONE\\" + page, "<P>earlier</P>"));
        c.prepare(machine, folder);
        EXPECT_EQ(QnlOnlineMain(folder + "qnlonline.exe"), 0);
        std::string error = c.error;
        if (std::size_t at = error.find('@'); at != std::string::npos) error.replace(at, 1, folder);
        EXPECT_EQ(ErrorLog(folder), std::vector<std::string>{error});
        EXPECT_EQ(Exists(folder + "DONE\\report.zip"), c.zipped);
        EXPECT_TRUE(machine.Machine().ShellOfMachine().Requests().empty());
        // The agent's results were read all the same: they go.
        EXPECT_FALSE(Exists("C:\\WINDOWS\\QM-XP-WS01.hrz"));
    }
}

// The results are deleted only once the report is made: a template that cannot be written
// keeps both for the next try.
TEST(FrontEnd, AFailedRenderingKeepsTheResults) {
    SampleMachine machine("xp-workstation");
    const std::string folder = kSamples[0].folder;
    Install(machine, folder);
    qm::sim::FaultConfig fault;
    fault.op = "write";
    fault.path = folder + "DONE\\software.htm";
    machine.Machine().AddFault(fault);
    EXPECT_EQ(QnlOnlineMain(folder + "qnlonline.exe"), 0);
    std::vector<std::string> log = ErrorLog(folder);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].rfind("ERROR : Cannot write " + folder + "DONE\\software.htm", 0), 0u) << log[0];
    EXPECT_TRUE(Exists("C:\\WINDOWS\\QM-XP-WS01.hrz"));
    EXPECT_TRUE(Exists("C:\\WINDOWS\\QM-XP-WS01.sfz"));
    EXPECT_TRUE(machine.Machine().ShellOfMachine().Requests().empty());
}

// An agent that leaves the software results of an earlier run untouched makes no report of
// them: the error names the file that was not written.
TEST(FrontEnd, ResultsMustBothBeWrittenByThisRun) {
    SampleMachine machine("xp-workstation");
    const std::string folder = kSamples[0].folder;
    Install(machine, folder);
    const std::string hard = "C:\\WINDOWS\\QM-XP-WS01.hrz";
    const std::string soft = "C:\\WINDOWS\\QM-XP-WS01.sfz";
    for (const std::string& path : {hard, soft}) {
        ASSERT_TRUE(qm::platform::WriteWholeFile(qm::platform::Files(), path, "\"F1\"\r\n"));
        // Written long before the run.
        std::filesystem::last_write_time(machine.Machine().HostPathOf(path), std::filesystem::file_time_type::clock::now() - std::chrono::hours(48));
    }
    // The stand-in rewrites the hardware results only.
    const std::string agent = machine.Machine().HostPathOf(folder + "qmagent.exe");
    ASSERT_FALSE(agent.empty());
    std::filesystem::remove(agent);
    std::ofstream(agent) << "#!/bin/sh\nprintf '\"F1\"\\r\\n' > '" << machine.Machine().HostPathOf(hard) << "'\n";
    std::filesystem::permissions(agent, std::filesystem::perms::owner_all);
    EXPECT_EQ(QnlOnlineMain(folder + "qnlonline.exe"), 0);
    EXPECT_EQ(ErrorLog(folder), std::vector<std::string>{"ERROR : The agent did not write " + soft});
    EXPECT_TRUE(Exists(hard));
    EXPECT_TRUE(Exists(soft));
    EXPECT_FALSE(Exists(folder + "DONE\\report.htm"));
}
