#include "platform/sim/sim_shell_links.h"

#include <algorithm>
#include <cstring>

#include "platform/platform.h"
#include "platform/winpath.h"

namespace qm::sim {

using namespace qm::platform;

namespace {

constexpr std::uint32_t kHasLinkTargetIdList = 0x1;
constexpr std::uint32_t kHasLinkInfo = 0x2;
constexpr std::uint32_t kHasName = 0x4;
constexpr std::uint32_t kHasRelativePath = 0x8;
constexpr std::uint32_t kHasWorkingDir = 0x10;
constexpr std::uint32_t kHasArguments = 0x20;
constexpr std::uint32_t kHasIconLocation = 0x40;
constexpr std::uint32_t kIsUnicode = 0x80;
// 00021401-0000-0000-C000-000000000046 as it lies in the file.
constexpr unsigned char kLinkClsid[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                          0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

class Reader {
public:
    explicit Reader(std::string_view b) : b_(b) {}
    bool Has(std::size_t at, std::size_t n) const { return at <= b_.size() && n <= b_.size() - at; }
    std::uint32_t U32(std::size_t at) const {
        std::uint32_t v = 0;
        if (Has(at, 4)) std::memcpy(&v, b_.data() + at, 4);
        return v;
    }
    std::uint16_t U16(std::size_t at) const {
        std::uint16_t v = 0;
        if (Has(at, 2)) std::memcpy(&v, b_.data() + at, 2);
        return v;
    }
    // A zero-terminated ANSI text from at, within limit.
    std::string Text(std::size_t at, std::size_t limit) const {
        std::string s;
        for (std::size_t i = at; i < limit && i < b_.size() && b_[i] != '\0'; ++i) s += b_[i];
        return s;
    }
    std::string_view Bytes() const { return b_; }

private:
    std::string_view b_;
};

}  // namespace

bool ParseShellLink(std::string_view bytes, const CodePageTable& cp, LinkData& link) {
    link = LinkData{};
    Reader r(bytes);
    if (!r.Has(0, 76) || r.U32(0) != 76 || std::memcmp(bytes.data() + 4, kLinkClsid, 16) != 0) return false;
    std::uint32_t flags = r.U32(20);
    std::size_t at = 76;
    if (flags & kHasLinkTargetIdList) {
        if (!r.Has(at, 2)) return false;
        at += 2u + static_cast<std::size_t>(r.U16(at));
    }
    if (flags & kHasLinkInfo) {
        if (!r.Has(at, 28)) return false;
        std::uint32_t size = r.U32(at);
        if (size < 28 || !r.Has(at, size)) return false;
        std::size_t end = at + size;
        std::uint32_t infoFlags = r.U32(at + 8);
        std::uint32_t localOffset = r.U32(at + 16);
        std::uint32_t networkOffset = r.U32(at + 20);
        std::uint32_t suffixOffset = r.U32(at + 24);
        std::string suffix = suffixOffset ? r.Text(at + suffixOffset, end) : std::string();
        if ((infoFlags & 0x1) && localOffset) link.localBasePath = r.Text(at + localOffset, end) + suffix;
        if ((infoFlags & 0x2) && networkOffset) {
            std::size_t net = at + networkOffset;
            std::uint32_t netNameOffset = r.U32(net + 8);
            std::string share = r.Text(net + netNameOffset, end);
            if (!share.empty()) link.networkPath = suffix.empty() ? share : JoinPath(share, suffix);
        }
        at = end;
    }
    // The string data: count-prefixed texts in a fixed order, wide when the link says so.
    auto text = [&](std::string& out) {
        if (!r.Has(at, 2)) return false;
        std::size_t count = r.U16(at);
        at += 2;
        std::size_t bytesPerChar = (flags & kIsUnicode) ? 2 : 1;
        if (!r.Has(at, count * bytesPerChar)) return false;
        std::string_view chars = bytes.substr(at, count * bytesPerChar);
        out = bytesPerChar == 1 ? std::string(chars) : cp.FromUtf16LeBytes(chars);
        // Some writers count the terminating zero; the interface hands back a C string.
        out.resize(std::min(out.find('\0'), out.size()));
        at += count * bytesPerChar;
        return true;
    };
    std::string icon;
    if ((flags & kHasName) && !text(link.description)) return false;
    if ((flags & kHasRelativePath) && !text(link.relativePath)) return false;
    if ((flags & kHasWorkingDir) && !text(link.workingDirectory)) return false;
    if ((flags & kHasArguments) && !text(link.arguments)) return false;
    if ((flags & kHasIconLocation) && !text(icon)) return false;
    return true;
}

namespace {

class SimShellLink final : public ShellLink {
public:
    SimShellLink(MachineState& state, FilesService& files) : state_(state), files_(files) {}

    bool Load(std::u16string_view path) override {
        loaded_ = false;
        linkPath_ = state_.CodePage().FromUtf16(path);
        std::string bytes;
        if (state_.Fails("IPersistFile::Load", state_.FullPath(linkPath_), false) || !ReadWholeFile(files_, linkPath_, bytes))
            return false;
        loaded_ = ParseShellLink(bytes, state_.CodePage(), link_);
        return loaded_;
    }

    bool GetPath(std::string& path, int bufferSize, DWORD flags) override {
        path.clear();
        if (!loaded_) return false;
        std::string target = (flags & SLGP_UNCPRIORITY) && !link_.networkPath.empty() ? link_.networkPath
                             : !link_.localBasePath.empty()                          ? link_.localBasePath
                                                                                     : link_.networkPath;
        // A link without link information names its target relative to itself.
        if (target.empty() && !link_.relativePath.empty()) {
            std::string full;
            if (files_.GetFullPathName(JoinPath(FolderOf(state_.FullPath(linkPath_)), link_.relativePath), full) > 0)
                target = full;
        }
        if (target.empty()) return false;
        if (flags & SLGP_SHORTPATH) {
            std::string shortPath;
            if (files_.GetShortPathName(target, shortPath) > 0) target = shortPath;
        }
        return Fill(path, target, bufferSize);
    }

    bool GetDescription(std::string& text, int bufferSize) override { return Item(text, link_.description, bufferSize); }
    bool GetArguments(std::string& text, int bufferSize) override { return Item(text, link_.arguments, bufferSize); }
    bool GetWorkingDirectory(std::string& text, int bufferSize) override {
        return Item(text, link_.workingDirectory, bufferSize);
    }

private:
    // A text cut to the buffer, its terminator counted, as the interface fills it.
    static bool Fill(std::string& out, const std::string& text, int bufferSize) {
        if (bufferSize <= 0) return false;
        out = text.substr(0, std::min<std::size_t>(text.size(), static_cast<std::size_t>(bufferSize - 1)));
        return true;
    }
    bool Item(std::string& out, const std::string& text, int bufferSize) {
        out.clear();
        return loaded_ && Fill(out, text, bufferSize);
    }

    MachineState& state_;
    FilesService& files_;
    std::string linkPath_;
    LinkData link_;
    bool loaded_ = false;
};

}  // namespace

std::unique_ptr<ShellLink> SimShellLinks::CreateShellLink() {
    if (state_.Fails("CoCreateInstance", "ShellLink", false)) return nullptr;
    return std::make_unique<SimShellLink>(state_, files_);
}

}  // namespace qm::sim
