#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>

#include "core/launcher.h"
#include "online/main_form.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "support/test_machine.h"

namespace fs = std::filesystem;

namespace {

const std::string kFolder = "C:\\Program Files\\Quarmelin\\";

// A name with markup and quotes, and a printer whose name is a script followed by a Cyrillic
// word, on a machine of code page 1251.
const char* const kHostile = R"({
  "computer_name": "<i>QM\"XP'</i>",
  "locale": {"code_page": 1251, "language_id": "0419"},
  "printers": [
    {"name": "LaserPrint 4100", "port": "IP_10.0.0.50", "driver": "LaserPrint 4100 PCL6", "attributes": 8776},
    {"name": "<script>document.body.dataset.pwned=1</script> Принтер", "port": "USB001", "driver": "Label", "attributes": 64}
  ]
})";

// Counts what the browser shows once the page has loaded, into one line of plain words.
const char* const kChecker = R"(<script>
window.addEventListener('load', function () {
  var broken = 0, images = document.images.length;
  for (var i = 0; i < images; ++i) if (!document.images[i].complete || document.images[i].naturalWidth === 0) ++broken;
  function rows(id) { return document.getElementById(id).rows.length - 1; }
  var printers = document.getElementById('printers').innerText;
  var out = document.createElement('pre');
  out.id = 'qm-result';
  out.textContent = 'images=' + images + ' broken=' + broken + ' drives=' + rows('drives') + ' printers=' + rows('printers') +
    ' scripts=' + document.scripts.length + ' pwned=' + (document.body.dataset.pwned ? 1 : 0) +
    ' script-text=' + (printers.indexOf('<script>document.body.dataset.pwned=1<\/script>') >= 0 ? 1 : 0) +
    ' cyrillic=' + (printers.indexOf('\u041f\u0440\u0438\u043d\u0442\u0435\u0440') >= 0 ? 1 : 0) +
    ' name=' + (document.getElementById('computer').textContent === '<i>QM"XP\'</i>' ? 1 : 0) +
    ' wider=' + (document.documentElement.scrollWidth > window.innerWidth ? 1 : 0);
  document.body.appendChild(out);
});
</script>)";

// Whether the page, once loaded, runs past the window's width.
const char* const kWidthChecker = R"(<script>
window.addEventListener('load', function () {
  var out = document.createElement('pre');
  out.id = 'qm-result';
  out.textContent = 'wider=' + (document.documentElement.scrollWidth > window.innerWidth ? 1 : 0);
  document.body.appendChild(out);
});
</script>)";

std::string Chromium() {
    for (const char* candidate : {"/usr/bin/chromium", "/usr/bin/chromium-browser"})
        if (fs::exists(candidate)) return candidate;
    return std::string();
}

// The DOM of the page after it loaded, as headless Chromium serialises it.
std::string DumpDom(const std::string& hostFile) {
    qm::test::TempFolder profile("qm-chromium");
    std::string out = profile.Path() + "/dom.html";
    std::string command = "timeout 120 " + Chromium() +
                          " --headless --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-background-networking"
                          " --disable-component-update --disable-sync --virtual-time-budget=5000 --window-size=1280,1024 --user-data-dir=" +
                          profile.Path() + "/profile --dump-dom 'file://" + hostFile + "' > " + out + " 2>/dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return qm::test::ReadHostFile(out).value_or("");
}

int Count(const std::vector<std::string>& lines, const std::string& prefix) {
    int n = 0;
    for (const std::string& line : lines)
        if (line.rfind(prefix, 0) == 0) ++n;
    return n;
}

}  // namespace

// The report of the sample workstation as a browser shows it: every picture there, a row per
// drive and printer of the result file, hostile values shown as the text they are, and no
// column running past a window 1280 pixels wide.
TEST(ReportInBrowser, TheSampleReportShowsItsPicturesRowsAndValuesAsText) {
    ASSERT_FALSE(Chromium().empty()) << "chromium is missing: tools/packages.sh installs it";
    qm::test::SampleMachine machine("xp-workstation", kHostile);
    qm::test::InstallFrontEnd(machine.Machine(), kFolder);
    qm::platform::Files().SetCurrentDirectory(kFolder);
    ASSERT_EQ(qm::online::QnlOnlineMain(kFolder + "qnlonline.exe"), 0);
    std::string report;
    ASSERT_TRUE(qm::platform::ReadWholeFile(qm::platform::Files(), kFolder + "DONE\\report.htm", report));

    // The run deleted its results; the agent, run again, writes the same records.
    ASSERT_EQ(qm::core::RunHidden("\"" + kFolder + "qmagent.exe\" /N /ONLINE", qm::platform::SW_HIDE, 0, 600), 0);
    std::string results;
    ASSERT_TRUE(qm::platform::ReadWholeFile(qm::platform::Files(), "C:\\WINDOWS\\QM-XP-WS01.hrz", results));
    std::vector<std::string> lines = qm::platform::SplitLines(results);
    int drives = Count(lines, "\"Disk sizes\",\"Drive") + Count(lines, "\"CDROM\",\"Drive");
    int printers = Count(lines, "\"Printers\",\"");
    ASSERT_GE(printers, 2);

    std::string check = report;
    check.insert(check.rfind("</BODY>"), kChecker);
    ASSERT_TRUE(qm::platform::WriteWholeFile(qm::platform::Files(), kFolder + "DONE\\check.htm", check));
    std::string dom = DumpDom(machine.Machine().HostPathOf(kFolder + "DONE\\check.htm"));
    std::smatch found;
    ASSERT_TRUE(std::regex_search(dom, found, std::regex("<pre id=\"qm-result\">([^<]*)</pre>"))) << dom.substr(0, 2000);
    EXPECT_EQ(found[1].str(), "images=" + std::to_string(drives + 2) + " broken=0 drives=" + std::to_string(drives) +
                                  " printers=" + std::to_string(printers) +
                                  " scripts=1 pwned=0 script-text=1 cyrillic=1 name=1 wider=0");

    // The list of every program, whose shortcut paths are the longest values of all.
    std::string software;
    ASSERT_TRUE(qm::platform::ReadWholeFile(qm::platform::Files(), kFolder + "DONE\\software.htm", software));
    software.insert(software.rfind("</BODY>"), kWidthChecker);
    ASSERT_TRUE(qm::platform::WriteWholeFile(qm::platform::Files(), kFolder + "DONE\\check-software.htm", software));
    dom = DumpDom(machine.Machine().HostPathOf(kFolder + "DONE\\check-software.htm"));
    ASSERT_TRUE(std::regex_search(dom, found, std::regex("<pre id=\"qm-result\">([^<]*)</pre>"))) << dom.substr(0, 2000);
    EXPECT_EQ(found[1].str(), "wider=0");
}
