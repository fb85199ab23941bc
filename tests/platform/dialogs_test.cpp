#include <gtest/gtest.h>

#include "platform/platform.h"
#include "platform/sim/sim_dialogs.h"
#include "support/test_machine.h"

using namespace qm::platform;
using qm::test::TestMachine;

// The splash form stays until the program closes it: its message loop serves the thread's
// timers, and the one that closes the form ends the loop.
TEST(Dialogs, TheSplashFormIsRecordedAndItsLoopRunsUntilTheProgramClosesIt) {
    TestMachine m;
    SplashFormLayout layout;
    layout.clientWidth = 530;
    layout.clientHeight = 152;
    ControlSpec label;
    label.name = "lblCaption";
    label.kind = "label";
    label.font.bold = true;
    layout.controls = {label};
    SplashFormWindow* form = Dialogs().CreateSplashForm(layout);
    form->SetText("lblCaption", "Please wait");
    form->SetColour("", 0x00FF0000);
    form->SetFontSize("lblCaption", 12);
    form->SetPicture("Image1", 4, 2, std::vector<std::uint8_t>(24, 0));
    form->Show();
    int ticks = 0;
    Dialogs().SetTimer(1, [&] {
        if (++ticks == 3) form->Close();
    });
    Dialogs().RunMessageLoop();
    EXPECT_EQ(ticks, 3);

    auto& dialogs = m.Machine().DialogsOfMachine();
    auto state = dialogs.SplashForm();
    EXPECT_TRUE(state.shown);
    EXPECT_TRUE(state.closed);
    EXPECT_EQ(state.controls["lblCaption"].text, "Please wait");
    EXPECT_EQ(state.controls["lblCaption"].fontPoints, 12);
    EXPECT_EQ(state.controls[""].colour, 0x00FF0000u);
    EXPECT_TRUE(state.controls["Image1"].picture);
    EXPECT_TRUE(dialogs.LastSplashFormLayout().controls.at(0).font.bold);
    std::vector<std::string> kinds;
    for (const auto& e : dialogs.Journal()) kinds.push_back(e.kind);
    EXPECT_EQ(kinds, (std::vector<std::string>{"splash form", "splash form picture", "splash form shown", "message loop",
                                               "splash form closed", "main form closed"}));
}

// The journal a program's machine keeps on the host: each window headed by the program, its
// text in UTF-8 line by line, and nothing in it that a terminal showing the file would act on.
TEST(Dialogs, TheJournalFileHoldsWhatWasShownWithoutControlCharacters) {
    TestMachine m;
    std::string file = m.Folder() + "/windows.log";
    m.Machine().DialogsOfMachine().KeepJournal(file, "qmagent.exe");
    Dialogs().MessageBox("Sent\r\n\x1b[2Jto caf\xe9\x85\x81", "Inventory\x07", MB_OK);
    EXPECT_EQ(qm::test::ReadHostFile(file).value_or("(none)"),
              "qmagent.exe: message box \"Inventory?\"\n    Sent\n    ?[2Jto caf\xc3\xa9\xe2\x80\xa6?\n");
}
