#include "platform/sim/sim_versions.h"

#include <algorithm>
#include <vector>

#include "platform/platform.h"
#include "platform/sim/pe_resources.h"
#include "platform/text.h"

namespace qm::sim {

using namespace qm::platform;

namespace {

// One node of a VS_VERSIONINFO tree.
struct Node {
    std::size_t start = 0, end = 0;  // the node's bytes
    std::u16string key;
    std::size_t valueStart = 0, valueLength = 0;  // in bytes
    bool text = false;
    bool cut = false;  // the node ends before its value would start
    std::size_t childrenStart = 0;
};

std::size_t Align4(std::size_t n) { return (n + 3) & ~static_cast<std::size_t>(3); }

bool ParseNode(std::string_view b, std::size_t at, std::size_t limit, Node& node) {
    if (at + 6 > limit) return false;
    auto word = [&](std::size_t p) {
        return static_cast<std::uint16_t>(static_cast<unsigned char>(b[p]) | static_cast<unsigned char>(b[p + 1]) << 8);
    };
    std::size_t length = word(at);
    if (length < 6 || at + length > limit) return false;
    std::size_t valueLength = word(at + 2);
    node.text = word(at + 4) == 1;
    node.start = at;
    node.end = at + length;
    std::size_t p = at + 6;
    node.key.clear();
    while (p + 1 < node.end) {
        char16_t c = static_cast<char16_t>(word(p));
        p += 2;
        if (c == 0) break;
        node.key += c;
    }
    // A block cut short may end inside the padding before the value: such a node has none.
    node.cut = Align4(p) > node.end;
    p = std::min(Align4(p), node.end);
    node.valueStart = p;
    // A text value's length counts characters, a binary one's bytes.
    node.valueLength = std::min(node.text ? valueLength * 2 : valueLength, node.end > p ? node.end - p : 0);
    node.childrenStart = std::min(Align4(p + node.valueLength), node.end);
    return true;
}

bool SameKey(const std::u16string& key, std::string_view name) {
    if (key.size() != name.size()) return false;
    for (std::size_t i = 0; i < key.size(); ++i) {
        char16_t a = key[i], c = static_cast<unsigned char>(name[i]);
        if (a < 128) a = static_cast<char16_t>(AsciiUpper(static_cast<char>(a)));
        if (c < 128) c = static_cast<char16_t>(AsciiUpper(static_cast<char>(c)));
        if (a != c) return false;
    }
    return true;
}

}  // namespace

bool FindVersionResource(File& file, WORD userLanguage, std::string& block) {
    PeResources resources;
    if (!resources.Load(file)) return false;
    std::vector<PeResource> found = resources.OfType(kResourceVersion);
    if (found.empty()) return false;
    // The first name, in the language the resource loader prefers: the user's, then United
    // States English, then the first one the file holds.
    const PeResource& first = found.front();
    auto sameName = [&](const PeResource& r) { return r.named == first.named && r.id == first.id; };
    const PeResource* chosen = &first;
    for (WORD wanted : {userLanguage, WORD{0x0409}}) {
        auto it = std::find_if(found.begin(), found.end(), [&](const PeResource& r) { return sameName(r) && r.language == wanted; });
        if (it != found.end()) {
            chosen = &*it;
            break;
        }
    }
    return PeResources::Read(file, *chosen, block);
}

bool SimVersions::Resource(std::string_view path, std::string& block) {
    FileAttributeData attributes;
    if (state_.Fails("GetFileVersionInfo", state_.FullPath(path), false) || !files_.GetFileAttributesEx(path, attributes) ||
        (attributes.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return false;
    }
    std::string full = state_.FullPath(path);
    std::lock_guard lock(mutex_);
    if (full == cachedPath_ && attributes.ftLastWriteTime == cachedTime_ && attributes.nFileSize == cachedSize_) {
        block = cachedBlock_;
        return cachedFound_;
    }
    auto file = files_.CreateFile(path, GENERIC_READ, CreationDisposition::OpenExisting);
    std::string found;
    bool ok = file && FindVersionResource(*file, LanguageOfLocale(state_.Config().locale), found);
    cachedPath_ = full;
    cachedTime_ = attributes.ftLastWriteTime;
    cachedSize_ = attributes.nFileSize;
    cachedBlock_ = ok ? found : std::string();
    cachedFound_ = ok;
    block = cachedBlock_;
    return ok;
}

DWORD SimVersions::GetFileVersionInfoSize(std::string_view path) {
    std::string block;
    if (path.empty() || !Resource(path, block)) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return 0;
    }
    return static_cast<DWORD>(block.size());
}

bool SimVersions::GetFileVersionInfo(std::string_view path, DWORD size, std::string& block) {
    std::string found;
    if (!Resource(path, found)) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return false;
    }
    block = found.substr(0, std::min<std::size_t>(size, found.size()));
    return true;
}

bool SimVersions::VerQueryValue(std::string_view block, std::string_view subBlock, std::string& value) {
    value.clear();
    Node node;
    if (!ParseNode(block, 0, block.size(), node)) return false;
    std::vector<std::string> path;
    std::string_view rest = subBlock;
    while (!rest.empty()) {
        while (!rest.empty() && rest.front() == '\\') rest.remove_prefix(1);
        std::size_t sep = rest.find('\\');
        std::string_view part = rest.substr(0, sep);
        if (!part.empty()) path.emplace_back(part);
        rest = sep == std::string_view::npos ? std::string_view() : rest.substr(sep);
    }
    for (const std::string& part : path) {
        bool found = false;
        for (std::size_t at = node.childrenStart; at + 6 <= node.end;) {
            Node child;
            if (!ParseNode(block, at, node.end, child)) break;
            if (SameKey(child.key, part)) {
                node = child;
                found = true;
                break;
            }
            at = Align4(child.end);
        }
        if (!found) return false;
    }
    if (node.cut || (node.valueLength == 0 && path.empty())) return false;
    std::string raw(block.substr(node.valueStart, node.valueLength));
    if (!node.text) {
        value = raw;
        return true;
    }
    // The text ends at its first zero character.
    value = state_.CodePage().FromUtf16LeBytes(raw);
    value.resize(std::min(value.find('\0'), value.size()));
    value += '\0';
    return true;
}

std::string SimVersions::VerLanguageName(DWORD language) {
    static const std::pair<DWORD, const char*> kNames[] = {
        {0x0000, "Language Neutral"},        {0x0401, "Arabic (Saudi Arabia)"}, {0x0404, "Chinese (Taiwan)"},
        {0x0405, "Czech"},                   {0x0406, "Danish"},                {0x0407, "German (Germany)"},
        {0x0408, "Greek"},                   {0x0409, "English (United States)"}, {0x040A, "Spanish (Traditional Sort)"},
        {0x040B, "Finnish"},                 {0x040C, "French (France)"},       {0x040D, "Hebrew"},
        {0x040E, "Hungarian"},               {0x0410, "Italian (Italy)"},       {0x0411, "Japanese"},
        {0x0412, "Korean"},                  {0x0413, "Dutch (Netherlands)"},   {0x0414, "Norwegian (Bokmal)"},
        {0x0415, "Polish"},                  {0x0416, "Portuguese (Brazil)"},   {0x0419, "Russian"},
        {0x041D, "Swedish"},                 {0x041F, "Turkish"},               {0x0804, "Chinese (PRC)"},
        {0x0807, "German (Switzerland)"},    {0x0809, "English (United Kingdom)"}, {0x080C, "French (Belgium)"},
        {0x0816, "Portuguese (Portugal)"},   {0x0C0A, "Spanish (International Sort)"}, {0x0C0C, "French (Canada)"},
        {0x1009, "English (Canada)"},        {0x100C, "French (Switzerland)"}};
    for (const auto& [id, name] : kNames)
        if (id == (language & 0xFFFF)) return name;
    return std::string();
}

}  // namespace qm::sim
