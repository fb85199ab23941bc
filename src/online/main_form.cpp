#include "online/main_form.h"

#include <charconv>
#include <stdexcept>

#include "core/jpeg_picture.h"
#include "core/process_state.h"
#include "core/profile_files.h"
#include "online/report_data.h"
#include "platform/platform.h"

namespace qm::online {

using namespace qm::platform;

namespace {

ControlSpec Control(const char* name, const char* kind, const char* parent, int left, int top, int width, int height,
                    const char* align = "") {
    ControlSpec c;
    c.name = name;
    c.kind = kind;
    c.parent = parent;
    c.left = left;
    c.top = top;
    c.width = width;
    c.height = height;
    c.align = align;
    return c;
}

ControlSpec Label(const char* name, const char* parent, int left, int top, int width, int height, bool centred,
                  bool bold, bool visible, const char* font = "") {
    ControlSpec c = Control(name, "label", parent, left, top, width, height);
    c.centred = centred;
    c.visible = visible;
    c.font.bold = bold;
    c.font.name = font;
    c.font.oemCharset = std::string_view(font) == "Terminal";
    return c;
}

}  // namespace

SplashFormLayout SplashForm() {
    SplashFormLayout form;
    form.clientWidth = 530;
    form.clientHeight = 152;
    form.border = false;
    form.centred = true;
    form.colour = kButtonFaceColour;
    form.font = {"MS Sans Serif", 11, false, false};
    ControlSpec panel4 = Control("Panel4", "panel", "", 0, 0, 530, 152, "client");
    panel4.border = true;
    ControlSpec panel2 = Control("Panel2", "panel", "Panel4", 1, 1, 528, 126, "client");
    panel2.bevel = false;
    ControlSpec panel1 = Control("Panel1", "panel", "Panel4", 243, 2, 256, 78);
    panel1.bevel = false;
    ControlSpec panel3 = Control("Panel3", "panel", "Panel4", 1, 127, 528, 24, "bottom");
    panel3.bevel = false;
    form.controls = {
        panel4,
        panel2,
        Control("Image1", "picture", "Panel2", 0, 0, 528, 126, "client"),
        panel1,
        Label("lblCaption", "Panel1", 8, 32, 249, 25, true, true, true),
        panel3,
        Label("lblProgress", "Panel3", 0, 8, 500, 24, true, true, true, "Terminal"),
        Label("lblInventaire", "Panel3", 16, 24, 0, 0, false, false, false),
        Label("Lblrapport", "Panel3", 16, 40, 0, 0, false, false, false),
        Label("lblProgress2", "Panel3", 72, 40, 337, 13, true, true, true, "Terminal"),
    };
    form.pictureControl = "Image1";
    return form;
}

COLORREF ParseColour(std::string_view text) {
    std::string_view digits = text;
    int base = 10;
    bool negative = false;
    if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    if (!digits.empty() && digits.front() == '$') {
        base = 16;
        digits.remove_prefix(1);
    } else if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        digits.remove_prefix(2);
    }
    std::uint64_t value = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
    bool fits = base == 16 ? value <= 0xFFFFFFFFu : value <= (negative ? 0x80000000u : 0x7FFFFFFFu);
    if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size() || !fits)
        throw std::invalid_argument("'" + std::string(text) + "' is not a valid integer value");
    auto colour = static_cast<COLORREF>(value);
    return negative ? static_cast<COLORREF>(0u - colour) : colour;
}

Tform1::Tform1() {
    window_ = Dialogs().CreateSplashForm(SplashForm());
    FormCreate();
}

Tform1::~Tform1() {
    Dialogs().KillTimer(timer_);
    if (worker_) worker_->Join();
}

void Tform1::FormCreate() {
    timer_ = Dialogs().SetTimer(kTimerIntervalMs, [this] { Timer1Timer(); });
    window_->SetText("lblCaption", kDefaultCaption);
    tickCounter_ = 0;
    std::string settings = core::AgentFolder() + kSettingsFileName;
    // The run starts before the look is applied.
    worker_ = std::make_unique<myTThread>();
    try {
        ApplySettings(settings);
    } catch (const std::exception& e) {
        Dialogs().MessageBox(e.what(), "qnlOnline", MB_OK | MB_ICONERROR);
    }
}

void Tform1::ApplySettings(const std::string& settings) {
    auto read = [&](const char* key, const char* def) {
        return core::ReadProfileString(settings, "SPLASHSCREEN", key, def);
    };
    window_->SetText("lblCaption", read("DES", ""));
    window_->SetText("lblInventaire", read("INV", ""));
    window_->SetText("Lblrapport", read("RAP", ""));
    COLORREF colour = ParseColour(read("COLOR", "$00000000"));
    for (const char* control : {"", "Panel1", "Panel2", "Panel3"}) window_->SetColour(control, colour);
    COLORREF fontColour = ParseColour(read("FCOLOR", "$00000000"));
    for (const char* control : {"lblCaption", "lblInventaire", "Lblrapport", "lblProgress", "lblProgress2"})
        window_->SetFontColour(control, fontColour);
    std::string font = read("FONT", "").substr(0, 31);
    if (!font.empty())
        for (const char* control : {"lblCaption", "lblInventaire", "Lblrapport", "lblProgress2"})
            window_->SetFontName(control, font);
    window_->SetFontSize("lblCaption", core::ReadProfileInteger(settings, "SPLASHSCREEN", "FSIZE", 10));
    std::string bytes;
    core::Picture picture;
    if (!ReadWholeFile(Files(), kSplashPicture, bytes) || !core::DecodeJpeg(bytes, picture))
        throw std::runtime_error(std::string("Cannot load the picture ") + kSplashPicture);
    window_->SetPicture("Image1", picture.width, picture.height, std::move(picture.rgb));
}

void Tform1::Timer1Timer() {
    AdvanceProgress();
    if (worker_ && worker_->Done()) window_->Close();
}

void Tform1::AdvanceProgress() {
    if (tickCounter_ == 175) {
        window_->SetText("lblProgress", "");
        tickCounter_ = 0;
    } else if (tickCounter_ % 3 == 0) {
        window_->SetText("lblProgress", window_->Text("lblProgress") + kProgressBlock);
    }
    ++tickCounter_;
}

int QnlOnlineMain(const std::string& programPath) {
    // No switches: the front-end never forces a new identifier and keeps no trace log.
    core::ResetState({programPath});
    {
        Tform1 form;
        form.Window()->Show();
        Dialogs().RunMessageLoop();
    }
    return 0;
}

}  // namespace qm::online
