#include "platform/sim/terminal.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "platform/dialogs.h"
#include "platform/sim/sim_dialogs.h"
#include "platform/platform.h"
#include "support/scripted_terminal.h"
#include "support/test_machine.h"

using namespace qm::sim;
using qm::platform::IDCANCEL;
using qm::platform::IDOK;
using qm::test::ScriptedTerminal;

namespace {

TerminalForm ConnectionLikeForm() {
    TerminalForm form;
    form.caption = "Settings\x1b]0;title\x07";
    form.texts = {"Give the host.\r\nThe port is optional."};
    form.fields = {{"&Host", "", true, false},
                   {"Port", "25", true, false},
                   {"Password", "old", true, true},
                   {"Destination", "caf\xe9", false, false}};
    form.buttons = {{"&Connect", IDOK}, {"C&lose", IDCANCEL}};
    form.defaultResult = IDOK;
    form.closeResult = IDCANCEL;
    return form;
}

}  // namespace

// Each field is asked with what it holds as the default, a disabled one only shown; the button
// is chosen by Enter (the default), its access key or the start of its caption; an answer that
// names no button is asked again. Typed control characters never reach a field, and the screen
// gets none from the machine's texts.
TEST(Terminal, AsksForEachFieldAndTheButtonThatClosesTheDialog) {
    struct Case {
        const char* typed;
        int result;
        std::vector<std::string> values;
    };
    const Case cases[] = {
        {"mail.example\n\n\n\n", IDOK, {"mail.example", "25", "old", "caf\xe9"}},
        {"m\x1b[Ax\n2525\nsecret\nl\n", IDCANCEL, {"m[Ax", "2525", "secret", "caf\xe9"}},
        {"\n\n\nx\nconn\n", IDOK, {"", "25", "old", "caf\xe9"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        ScriptedTerminal t(c.typed);
        TerminalAnswer answer = t.Make()->Ask(ConnectionLikeForm());
        EXPECT_EQ(answer.result, c.result);
        EXPECT_FALSE(answer.closed);
        EXPECT_EQ(answer.values, c.values);
        std::string screen = t.Screen();
        EXPECT_EQ(screen.find('\x1b'), std::string::npos) << screen;
        EXPECT_NE(screen.find("== Settings?]0;title? ==\nGive the host.\nThe port is optional.\nHost: Port [25]: "
                              "Password [***]: "),
                  std::string::npos)
            << screen;
        EXPECT_NE(screen.find("Destination: caf\xc3\xa9  (disabled)\n[ Connect ]  Close ? "), std::string::npos) << screen;
        EXPECT_EQ(screen.find("old"), std::string::npos) << "a secret field shows stars only";
    }
    ScriptedTerminal again("x\n\n\nnope\n\n");
    ASSERT_EQ(again.Make()->Ask(ConnectionLikeForm()).result, IDOK);
    EXPECT_NE(again.Screen().find("Enter for the button in brackets"), std::string::npos);
}

// The end of the input is the close box: the fields keep what they held, and the close result
// answers.
TEST(Terminal, TheEndOfTheInputClosesTheDialog) {
    for (const char* typed : {"", "typed\n", "a\nb\nc\n"}) {
        SCOPED_TRACE(typed);
        ScriptedTerminal t(typed);
        TerminalAnswer answer = t.Make()->Ask(ConnectionLikeForm());
        EXPECT_TRUE(answer.closed);
        EXPECT_EQ(answer.result, IDCANCEL);
    }
}

// The progress line is redrawn in place and drawn again after a printed line; a dialog takes
// it away, and from then on it is not drawn below what was asked; ending it clears its line.
TEST(Terminal, TheProgressLineStaysOneLine) {
    ScriptedTerminal t("\n");
    CodePageTable oem(437);
    auto terminal = t.Make();
    terminal->ShowProgress("\xdc", oem);
    terminal->ShowProgress("\xdc\xdc", oem);
    terminal->Print("a log line");
    TerminalForm box;
    box.caption = "Inventory";
    box.texts = {"Sent."};
    box.buttons = {{"OK", IDOK}};
    box.defaultResult = box.closeResult = IDOK;
    EXPECT_EQ(terminal->Ask(box).result, IDOK);
    terminal->ShowProgress("\xdc\xdc\xdc", oem);
    terminal->Print("after the box");
    terminal->EndProgress();
    const std::string block = "\xe2\x96\x84";
    EXPECT_EQ(t.Screen(), "\r\x1b[K" + block + "\r\x1b[K" + block + block + "\r\x1b[Ka log line\n\r\x1b[K" + block + block +
                              "\r\x1b[K\n== Inventory ==\nSent.\n[ OK ] after the box\n");
}

// A display that ends while its line is drawn leaves an empty line, and a new display draws
// again after a dialog paused the one before.
TEST(Terminal, EndingTheProgressClearsItsLine) {
    ScriptedTerminal t("");
    CodePageTable oem(437);
    auto terminal = t.Make();
    const std::string block = "\xe2\x96\x84";
    terminal->ShowProgress("\xdc", oem);
    terminal->EndProgress();
    terminal->ShowProgress("\xdc", oem);
    terminal->WaitForEnter("[ Close ] ");
    terminal->EndProgress();
    terminal->ShowProgress("\xdc\xdc", oem);
    terminal->EndProgress();
    EXPECT_EQ(t.Screen(), "\r\x1b[K" + block + "\r\x1b[K" + "\r\x1b[K" + block + "\r\x1b[K[ Close ] \n" + "\r\x1b[K" + block +
                              block + "\r\x1b[K");
}

// On a terminal the machine's windows wait for the user: the asset-tag dialog offers the
// answer the machine file records, the message box waits for OK, the log window stays until
// the user closes it; the journal holds what they showed and were answered.
TEST(Terminal, TheMachinesWindowsWaitForTheUser) {
    qm::test::TestMachine m(R"({"dialogs": {"asset_tag": ["QM-TAG-7", "other"]}})");
    ScriptedTerminal t("\nok\n\nTYPED\ncancel\n\n");
    auto& dialogs = m.Machine().DialogsOfMachine();
    dialogs.UseTerminal(t.Make());
    qm::platform::AssetTagLayout layout;
    layout.caption = "Please enter asset tag #";
    layout.prompt = "Asset Tag #";
    for (auto [name, caption] : {std::pair{"btOK", "&OK"}, std::pair{"btCancel", "&Cancel"}}) {
        qm::platform::ControlSpec button;
        button.name = name;
        button.kind = "button";
        button.caption = caption;
        layout.controls.push_back(button);
    }
    layout.defaultButton = "btOK";
    layout.cancelButton = "btCancel";
    auto& d = qm::platform::Dialogs();
    EXPECT_EQ(d.ShowAssetTagDialog(layout), std::optional<std::string>("QM-TAG-7"));
    EXPECT_EQ(d.MessageBox("Sent.", "Inventory", qm::platform::MB_OK), IDOK);
    EXPECT_EQ(d.ShowAssetTagDialog(layout), std::nullopt);
    qm::platform::LogWindowLayout log;
    log.caption = "Log";
    d.CreateLogWindow(log)->AppendLine("7:3:5:42|BEGIN");
    d.RunMessageLoop();
    std::string screen = t.Screen();
    EXPECT_NE(screen.find("== Please enter asset tag # ==\n" + std::string(kAssetTagCancelText) +
                          "\nAsset Tag # [QM-TAG-7]: [ OK ]  Cancel ? "),
              std::string::npos)
        << screen;
    EXPECT_NE(screen.find("Asset Tag # [other]: "), std::string::npos) << screen;
    EXPECT_NE(screen.find("== Inventory ==\nSent.\n[ OK ] "), std::string::npos) << screen;
    EXPECT_NE(screen.find("== Log ==\n7:3:5:42|BEGIN\n[ Close the log window ] "), std::string::npos) << screen;
    std::vector<std::string> details;
    for (const auto& e : dialogs.Journal())
        if (e.kind == "asset tag" || e.kind == "message box") details.push_back(e.detail);
    EXPECT_EQ(details, (std::vector<std::string>{"Asset Tag # -> OK: QM-TAG-7", "Sent.", "Asset Tag # -> Cancel"}));
}
