#include "support/pe_writer.h"

#include <algorithm>
#include <map>
#include <stdexcept>
#include <tuple>

#include "support/le_bytes.h"
#include "support/utf16_text.h"

namespace qm::test {

namespace {

constexpr std::uint32_t kFileAlignment = 0x200;
constexpr std::uint32_t kSectionAlignment = 0x1000;
constexpr std::uint32_t kPeHeaderOffset = 0x80;
constexpr std::uint32_t kOptionalHeaderSize = 224;  // PE32 with 16 data directories
constexpr std::uint32_t kResourceRva = kSectionAlignment;
constexpr std::uint16_t kRtMessageTable = 11;
constexpr std::uint16_t kRtVersion = 16;
constexpr std::uint32_t kSubdirectoryBit = 0x80000000u;

void PadTo(std::string& out, std::size_t alignment) {
    while (out.size() % alignment != 0) out += '\0';
}

std::uint32_t AlignUp(std::uint32_t v, std::uint32_t alignment) { return (v + alignment - 1) / alignment * alignment; }

// One block of the version tree: wLength, wValueLength, wType, the key, padding to 32 bits,
// the value, then each child on a 32-bit boundary. wLength covers everything but the
// padding after the last byte.
std::string Block(const std::string& key, std::uint16_t valueLength, std::uint16_t type, const std::string& value,
                  const std::vector<std::string>& children) {
    std::string out;
    Put16(out, 0);
    Put16(out, valueLength);
    Put16(out, type);
    out += Utf16Bytes(key, true);
    PadTo(out, 4);
    out += value;
    for (const std::string& child : children) {
        PadTo(out, 4);
        out += child;
    }
    if (out.size() > 0xFFFF) throw std::length_error("version block too large");
    Set16(out, 0, static_cast<std::uint16_t>(out.size()));
    return out;
}

std::string FixedFileInfoBytes(const FixedVersion& v) {
    std::string out;
    Put32(out, 0xFEEF04BDu);  // dwSignature
    Put32(out, 0x00010000u);  // dwStrucVersion 1.0
    Put32(out, (std::uint32_t{v.file[0]} << 16) | v.file[1]);
    Put32(out, (std::uint32_t{v.file[2]} << 16) | v.file[3]);
    Put32(out, (std::uint32_t{v.product[0]} << 16) | v.product[1]);
    Put32(out, (std::uint32_t{v.product[2]} << 16) | v.product[3]);
    Put32(out, 0x3F);         // dwFileFlagsMask
    Put32(out, 0);            // dwFileFlags
    Put32(out, 0x00040004u);  // VOS_NT_WINDOWS32
    Put32(out, 1);            // VFT_APP
    Put32(out, 0);            // dwFileSubtype
    Put32(out, 0);            // dwFileDateMS
    Put32(out, 0);            // dwFileDateLS
    return out;
}

std::string StringBlock(const std::string& name, const std::string& value) {
    std::string text = Utf16Bytes(value, true);
    // wValueLength of a text value counts its characters with the terminating zero.
    return Block(name, static_cast<std::uint16_t>(text.size() / 2), 1, text, {});
}

// The resource section: the root directory (types), one directory of ids per type, one of
// languages per id, the data entries, then the data itself, each on an 8-byte boundary. The
// entries of each directory are sorted by id, as the format asks. Offsets in the tree are from
// the section start; a data entry gives its data's RVA.
std::string ResourceSection(std::vector<PeResourceData> resources) {
    std::sort(resources.begin(), resources.end(), [](const PeResourceData& a, const PeResourceData& b) {
        return std::tie(a.type, a.id, a.language) < std::tie(b.type, b.id, b.language);
    });
    // The directories in the order they are laid out: the root, the types' and the ids'.
    std::map<std::uint16_t, std::map<std::uint16_t, std::vector<std::size_t>>> tree;
    for (std::size_t i = 0; i < resources.size(); ++i) tree[resources[i].type][resources[i].id].push_back(i);
    auto size = [](std::size_t entries) { return static_cast<std::uint32_t>(16 + 8 * entries); };
    std::uint32_t at = size(tree.size());
    std::map<std::uint16_t, std::uint32_t> typeDirectory;
    for (const auto& [type, ids] : tree) {
        typeDirectory[type] = at;
        at += size(ids.size());
    }
    std::map<std::pair<std::uint16_t, std::uint16_t>, std::uint32_t> idDirectory;
    for (const auto& [type, ids] : tree)
        for (const auto& [id, languages] : ids) {
            idDirectory[{type, id}] = at;
            at += size(languages.size());
        }
    std::uint32_t entries = at;
    std::uint32_t data = AlignUp(entries + 16 * static_cast<std::uint32_t>(resources.size()), 8);

    std::string out;
    auto directory = [&](const std::vector<std::pair<std::uint32_t, std::uint32_t>>& rows) {
        Put32(out, 0);  // Characteristics
        Put32(out, 0);  // TimeDateStamp
        Put16(out, 0);  // MajorVersion
        Put16(out, 0);  // MinorVersion
        Put16(out, 0);  // NumberOfNamedEntries
        Put16(out, static_cast<std::uint16_t>(rows.size()));  // NumberOfIdEntries
        for (const auto& [id, target] : rows) {
            Put32(out, id);
            Put32(out, target);
        }
    };
    std::vector<std::pair<std::uint32_t, std::uint32_t>> rows;
    for (const auto& [type, ids] : tree) rows.emplace_back(type, kSubdirectoryBit | typeDirectory[type]);
    directory(rows);
    for (const auto& [type, ids] : tree) {
        rows.clear();
        for (const auto& [id, languages] : ids) rows.emplace_back(id, kSubdirectoryBit | idDirectory[{type, id}]);
        directory(rows);
    }
    for (const auto& [type, ids] : tree)
        for (const auto& [id, languages] : ids) {
            rows.clear();
            for (std::size_t i : languages)
                rows.emplace_back(resources[i].language, entries + 16 * static_cast<std::uint32_t>(i));
            directory(rows);
        }
    std::uint32_t next = data;
    for (const PeResourceData& r : resources) {
        Put32(out, kResourceRva + next);
        Put32(out, static_cast<std::uint32_t>(r.bytes.size()));
        Put32(out, 0);  // CodePage
        Put32(out, 0);  // Reserved
        next = AlignUp(next + static_cast<std::uint32_t>(r.bytes.size()), 8);
    }
    for (const PeResourceData& r : resources) {
        PadTo(out, 8);
        out += r.bytes;
    }
    return out;
}

// A message's text as its entry holds it: UTF-16 or code page 1252, with its terminator.
std::string EntryText(const Message& m) {
    if (m.unicode) return Utf16Bytes(m.text, true);
    std::string ansi;
    for (char16_t c : Utf8ToUtf16(m.text)) {
        if (c > 0xFF) throw std::invalid_argument("not in code page 1252 as the test writes it: " + m.text);
        ansi += static_cast<char>(c);
    }
    return ansi + '\0';
}

std::string Image(const std::string& section) {
    std::uint32_t rawSize = AlignUp(static_cast<std::uint32_t>(section.size()), kFileAlignment);
    std::uint32_t virtualSize = static_cast<std::uint32_t>(section.size());
    std::uint32_t imageSize = kResourceRva + AlignUp(virtualSize == 0 ? 1 : virtualSize, kSectionAlignment);
    std::uint32_t headersSize = kFileAlignment;

    std::string out;
    // DOS header: only e_magic and e_lfanew matter to a loader.
    out += "MZ";
    out.resize(0x3C, '\0');
    Put32(out, kPeHeaderOffset);
    out.resize(kPeHeaderOffset, '\0');

    out += std::string("PE\0\0", 4);
    // COFF file header.
    Put16(out, 0x014C);  // Machine: i386
    Put16(out, 1);       // NumberOfSections
    Put32(out, 0);       // TimeDateStamp
    Put32(out, 0);       // PointerToSymbolTable
    Put32(out, 0);       // NumberOfSymbols
    Put16(out, static_cast<std::uint16_t>(kOptionalHeaderSize));
    Put16(out, 0x0102);  // EXECUTABLE_IMAGE | 32BIT_MACHINE

    // Optional header, PE32.
    std::size_t optionalStart = out.size();
    Put16(out, 0x010B);  // Magic
    out += '\x06';       // MajorLinkerVersion
    out += '\0';         // MinorLinkerVersion
    Put32(out, 0);       // SizeOfCode
    Put32(out, rawSize);  // SizeOfInitializedData
    Put32(out, 0);       // SizeOfUninitializedData
    Put32(out, 0);       // AddressOfEntryPoint
    Put32(out, 0);       // BaseOfCode
    Put32(out, kResourceRva);  // BaseOfData
    Put32(out, 0x00400000u);   // ImageBase
    Put32(out, kSectionAlignment);
    Put32(out, kFileAlignment);
    Put16(out, 4);  // MajorOperatingSystemVersion
    Put16(out, 0);
    Put16(out, 0);  // MajorImageVersion
    Put16(out, 0);
    Put16(out, 4);  // MajorSubsystemVersion
    Put16(out, 0);
    Put32(out, 0);  // Win32VersionValue
    Put32(out, imageSize);
    Put32(out, headersSize);
    Put32(out, 0);  // CheckSum
    Put16(out, 2);  // Subsystem: Windows GUI
    Put16(out, 0);  // DllCharacteristics
    Put32(out, 0x00100000u);  // SizeOfStackReserve
    Put32(out, 0x00001000u);  // SizeOfStackCommit
    Put32(out, 0x00100000u);  // SizeOfHeapReserve
    Put32(out, 0x00001000u);  // SizeOfHeapCommit
    Put32(out, 0);            // LoaderFlags
    Put32(out, 16);           // NumberOfRvaAndSizes
    for (int i = 0; i < 16; ++i) {
        bool resources = i == 2 && !section.empty();
        Put32(out, resources ? kResourceRva : 0);
        Put32(out, resources ? virtualSize : 0);
    }
    if (out.size() - optionalStart != kOptionalHeaderSize) throw std::logic_error("optional header size");

    // The one section header.
    out += std::string(".rsrc\0\0\0", 8);
    Put32(out, virtualSize);
    Put32(out, kResourceRva);
    Put32(out, rawSize);
    Put32(out, rawSize == 0 ? 0 : headersSize);
    Put32(out, 0);  // PointerToRelocations
    Put32(out, 0);  // PointerToLinenumbers
    Put16(out, 0);
    Put16(out, 0);
    Put32(out, 0x40000040u);  // INITIALIZED_DATA | MEM_READ

    out.resize(headersSize, '\0');
    out += section;
    out.resize(headersSize + rawSize, '\0');
    return out;
}

}  // namespace

VersionResource StringVersion(VersionStrings strings, std::string key, std::optional<VersionTranslations> translations) {
    VersionResource r;
    r.tables.push_back({std::move(key), std::move(strings)});
    r.translations = std::move(translations);
    return r;
}

std::string BuildVersionInfoBlock(const VersionResource& resource) {
    std::vector<std::string> children;
    if (!resource.tables.empty()) {
        std::vector<std::string> tables;
        for (const VersionStringTable& table : resource.tables) {
            std::vector<std::string> strings;
            for (const auto& [name, value] : table.strings) strings.push_back(StringBlock(name, value));
            tables.push_back(Block(table.key, 0, 1, std::string(), strings));
        }
        children.push_back(Block("StringFileInfo", 0, 1, std::string(), tables));
    }
    if (resource.translations) {
        std::string pairs;
        for (const auto& [language, codePage] : *resource.translations) {
            Put16(pairs, language);
            Put16(pairs, codePage);
        }
        std::string var = Block("Translation", static_cast<std::uint16_t>(pairs.size()), 0, pairs, {});
        children.push_back(Block("VarFileInfo", 0, 1, std::string(), {var}));
    }
    std::string fixed = resource.fixed ? FixedFileInfoBytes(*resource.fixed) : std::string();
    return Block("VS_VERSION_INFO", static_cast<std::uint16_t>(fixed.size()), 0, fixed, children);
}

std::string BuildPeFile(const VersionResource& resource) {
    return BuildPeFileWithResources({{kRtVersion, 1, resource.resourceLanguage, BuildVersionInfoBlock(resource)}});
}

std::string BuildMessageTable(std::vector<Message> messages) {
    std::sort(messages.begin(), messages.end(), [](const Message& a, const Message& b) { return a.id < b.id; });
    std::vector<std::pair<std::size_t, std::size_t>> blocks;  // first and end index of each run
    for (std::size_t i = 0; i < messages.size(); ++i) {
        if (i > 0 && messages[i].id == messages[i - 1].id) throw std::invalid_argument("a message id twice");
        if (blocks.empty() || messages[i].id != messages[i - 1].id + 1) blocks.emplace_back(i, i);
        blocks.back().second = i + 1;
    }
    std::string entries;
    std::vector<std::uint32_t> offsets;
    std::uint32_t start = 4 + 12 * static_cast<std::uint32_t>(blocks.size());
    for (const auto& [first, end] : blocks) {
        offsets.push_back(start + static_cast<std::uint32_t>(entries.size()));
        for (std::size_t i = first; i < end; ++i) {
            std::string text = EntryText(messages[i]);
            PadTo(text, 4);
            if (text.size() + 4 > 0xFFFF) throw std::length_error("message too long");
            Put16(entries, static_cast<std::uint16_t>(text.size() + 4));
            Put16(entries, messages[i].unicode ? 1 : 0);
            entries += text;
        }
    }
    std::string out;
    Put32(out, static_cast<std::uint32_t>(blocks.size()));
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        Put32(out, messages[blocks[b].first].id);
        Put32(out, messages[blocks[b].second - 1].id);
        Put32(out, offsets[b]);
    }
    return out + entries;
}

std::string BuildPeFileWithResources(const std::vector<PeResourceData>& resources) {
    return Image(ResourceSection(resources));
}

std::string BuildMessageFile(const std::vector<std::pair<std::uint16_t, std::vector<Message>>>& tables) {
    std::vector<PeResourceData> resources;
    for (const auto& [language, messages] : tables) resources.push_back({kRtMessageTable, 1, language, BuildMessageTable(messages)});
    return BuildPeFileWithResources(resources);
}

std::string BuildDescribedProgram(const std::string& description, const std::string& version) {
    return BuildPeFile(StringVersion({{"FileDescription", description}, {"ProductVersion", version}}));
}

std::string BuildPeFileWithoutResources() { return Image(std::string()); }

}  // namespace qm::test
