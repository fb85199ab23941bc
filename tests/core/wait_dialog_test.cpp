#include <gtest/gtest.h>

#include <cstdio>
#include <thread>

#include <jpeglib.h>

#include "core/jpeg_picture.h"
#include "core/wait_dialog.h"
#include "platform/platform.h"
#include "platform/sim/sim_dialogs.h"
#include "support/agent_state.h"
#include "support/test_machine.h"

using namespace qm::core;
using qm::test::StartAgent;
using qm::test::TestMachine;

namespace {

// A small grey JPEG picture, baseline or progressive.
std::string EncodeJpeg(int width, int height, bool progressive = false) {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &out, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    if (progressive) jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    std::vector<unsigned char> row(static_cast<std::size_t>(width) * 3, 128);
    while (info.next_scanline < info.image_height) {
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&info, &r, 1);
    }
    jpeg_finish_compress(&info);
    std::string bytes(reinterpret_cast<char*>(out), size);
    jpeg_destroy_compress(&info);
    std::free(out);
    return bytes;
}

std::size_t Blocks(const std::string& text) { return static_cast<std::size_t>(std::count(text.begin(), text.end(), kProgressBlock)); }

}  // namespace

TEST(WaitDialog, TheProgressLineGainsABlockEveryThirdTickAndRestarts) {
    TestMachine m;
    StartAgent();
    TDLGWait dialog;
    auto& state = m.Machine().DialogsOfMachine();
    EXPECT_EQ(state.WaitDialog().caption, "Inventory currently executing. Please wait...");
    for (int i = 0; i < 148; ++i) dialog.StepProgress();  // counts 0 to 147
    EXPECT_EQ(Blocks(state.WaitDialog().progress), 50u);
    EXPECT_EQ(state.WaitDialog().progressFont, "Terminal");
    dialog.StepProgress();  // 148
    dialog.StepProgress();  // 149
    dialog.StepProgress();  // 150: cleared
    EXPECT_EQ(state.WaitDialog().progress, "");
    EXPECT_EQ(dialog.TickCounter(), 1);
    dialog.StepProgress();  // 1
    dialog.StepProgress();  // 2
    EXPECT_EQ(state.WaitDialog().progress, "");
    dialog.StepProgress();  // 3: the first block, three ticks after the clearing
    EXPECT_EQ(Blocks(state.WaitDialog().progress), 1u);
    dialog.btSendClick();
    EXPECT_EQ(dialog.ModalResult(), qm::platform::IDOK);
}

TEST(WaitDialog, OnlyThePictureAndTheProgressLineLieInsideTheWindow) {
    TestMachine m;
    StartAgent();
    TDLGWait dialog;
    qm::platform::WaitDialogLayout form = m.Machine().DialogsOfMachine().LastWaitDialogLayout();
    auto control = [&](const std::string& name) {
        for (const auto& c : form.controls)
            if (c.name == name) return c;
        ADD_FAILURE() << "no control " << name;
        return qm::platform::ControlSpec{};
    };
    // Controls of Panel1 are placed within it; the window shows its top 33 pixels.
    const qm::platform::ControlSpec panel = control("Panel1");
    auto seen = [&](const std::string& name) { return panel.top + control(name).top < form.clientHeight; };
    EXPECT_TRUE(seen(form.progressLabel));
    EXPECT_FALSE(seen(form.captionLabel));
    EXPECT_FALSE(seen("btSend"));
    EXPECT_EQ(control("btSend").caption, "Send data...");
    EXPECT_EQ(control(form.pictureControl).parent, "Panel3");
    EXPECT_EQ(form.progressFont.name, "Terminal");
    EXPECT_TRUE(form.progressFont.oemCharset);
}

TEST(WaitDialog, ThePictureComesFromTheCurrentFolderWhenItIsAJpeg) {
    TestMachine m(R"({"current_directory": "C:\\TEMP"})");
    StartAgent();
    auto& state = m.Machine().DialogsOfMachine();
    { TDLGWait none; EXPECT_FALSE(state.WaitDialog().picture); }
    m.WriteFile("C:\\TEMP\\qmagent.jpg", "not a picture");
    { TDLGWait broken; EXPECT_FALSE(state.WaitDialog().picture); }
    m.WriteFile("C:\\TEMP\\qmagent.jpg", EncodeJpeg(500, 100));
    { TDLGWait good; EXPECT_TRUE(state.WaitDialog().picture); }
    Picture p;
    ASSERT_TRUE(DecodeJpeg(EncodeJpeg(3, 2), p));
    EXPECT_EQ(p.width, 3);
    EXPECT_EQ(p.rgb.size(), 18u);
    EXPECT_FALSE(DecodeJpeg(EncodeJpeg(3, 2).substr(0, 40), p));
}

TEST(WaitDialog, ItsThreadAnimatesTheDialogUntilAskedToStop) {
    TestMachine m;
    StartAgent({"/VERBOSE"});
    auto& state = m.Machine().DialogsOfMachine();
    EXPECT_FALSE(WaitThreadRunning());
    const qm::platform::SYSTEMTIME before = qm::platform::Clock().GetLocalTime();
    StartWaitThread();
    // The dialog's timer ticks in real time, as the user sees it: wait for seven ticks, however
    // long a busy machine takes to give them.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (Blocks(state.WaitDialog().progress) < 3 && std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    // The thread's sleeps never move the machine's virtual clock.
    EXPECT_EQ(qm::platform::Clock().GetLocalTime(), before);
    EXPECT_TRUE(state.WaitDialog().shown);
    EXPECT_GE(Blocks(state.WaitDialog().progress), 3u);
    EXPECT_EQ(state.ApplicationTitle(), "Inventory");
    StopWaitThread();  // returns at once
    JoinWaitThread();
    EXPECT_FALSE(state.WaitDialog().exists);
    EXPECT_EQ(state.Journal().back().kind, "wait dialog released");
    StopWaitThread();  // without a thread: nothing
}

TEST(WaitDialog, AFreshProcessStateStopsAndJoinsItsThread) {
    TestMachine m;
    StartAgent({"/VERBOSE"});
    auto& state = m.Machine().DialogsOfMachine();
    StartWaitThread();
    EXPECT_TRUE(WaitThreadRunning());
    StartAgent();
    EXPECT_FALSE(WaitThreadRunning());
    EXPECT_FALSE(WaitThreadLeftRunning());
    // Joined: the thread closed its dialog before the state was replaced.
    EXPECT_FALSE(state.WaitDialog().exists);
    EXPECT_EQ(state.Journal().back().kind, "wait dialog released");
}

TEST(WaitDialog, AProgressivePictureThatRepeatsItsLastScanIsNoPicture) {
    std::string progressive = EncodeJpeg(16, 16, true);
    Picture p;
    ASSERT_TRUE(DecodeJpeg(progressive, p));
    EXPECT_EQ(p.width, 16);
    // The last scan, from its marker to the end-of-picture marker, written 5,000 times.
    std::size_t lastScan = progressive.rfind("\xFF\xDA");
    ASSERT_NE(lastScan, std::string::npos);
    std::string scan = progressive.substr(lastScan, progressive.size() - 2 - lastScan);
    std::string repeated = progressive.substr(0, progressive.size() - 2);
    for (int i = 0; i < 5000; ++i) repeated += scan;
    repeated += "\xFF\xD9";
    EXPECT_FALSE(DecodeJpeg(repeated, p));
    EXPECT_EQ(p.width, 0);
    EXPECT_TRUE(p.rgb.empty());
}
