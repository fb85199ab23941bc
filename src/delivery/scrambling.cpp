#include "delivery/scrambling.h"

#include <array>
#include <memory>

#include "core/trace_log.h"
#include "platform/platform.h"

namespace qm::delivery {

using namespace qm::platform;

namespace {

constexpr std::size_t kFillerBytes = 8;  // on each side of the payload

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// -1 for every byte outside the alphabet, the pad character included.
constexpr std::array<int, 256> MakeDecodeTable() {
    std::array<int, 256> table{};
    for (int& v : table) v = -1;
    for (int i = 0; i < 64; ++i) table[static_cast<unsigned char>(kAlphabet[i])] = i;
    return table;
}
constexpr std::array<int, 256> kDecode = MakeDecodeTable();

int Sextet(char c) { return kDecode[static_cast<unsigned char>(c)]; }

char HighByte(std::uint16_t key) { return static_cast<char>(key >> 8); }

}  // namespace

namespace {

// Large enough that each read and write is worth its call, small enough to stay in the cache.
constexpr DWORD kScrambleChunk = 512 * 1024;

void Scramble(char* bytes, std::size_t size, char mask) {
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(bytes[i] ^ mask);
}

}  // namespace

void LogUnreadable(std::string_view source) {
    core::WriteLog("read EncryptFile ERROR:Cannot read " + std::string(source) + " (error " +
                   std::to_string(GetLastError()) + ")");
}

std::unique_ptr<File> OpenToScramble(std::string_view source) {
    auto in = Files().CreateFile(source, GENERIC_READ, CreationDisposition::OpenExisting);
    if (!in) LogUnreadable(source);
    return in;
}

FileWriter ScrambledCopyOf(File& source, std::uint16_t key, bool& unreadable) {
    return [&source, &unreadable, mask = HighByte(key)](File& out) {
        std::unique_ptr<char[]> chunk(new char[kScrambleChunk]);
        for (;;) {
            DWORD read = 0;
            if (!source.ReadFile(chunk.get(), kScrambleChunk, read)) {
                unreadable = true;
                return false;
            }
            if (read == 0) return true;
            Scramble(chunk.get(), read, mask);
            // A write that took only part of the piece must not leave a shorter copy that
            // counts as written.
            if (!WriteAll(out, std::string_view(chunk.get(), read))) return false;
        }
    };
}

bool EncryptFile(std::string_view source, std::string_view target, std::uint16_t key) {
    auto in = OpenToScramble(source);
    if (!in) return false;
    core::WriteLog("save EncryptFile:" + std::string(target));
    bool unreadable = false;
    bool written = ReplaceFileSafely(Files(), target, ScrambledCopyOf(*in, key, unreadable));
    if (unreadable) {
        LogUnreadable(source);
        return false;
    }
    if (!written) {
        core::WriteLog("save EncryptFile ERROR:Cannot write " + std::string(target) + " (error " +
                       std::to_string(GetLastError()) + ")");
        return false;
    }
    return true;
}

std::string ScrambleString(std::string_view text, std::uint16_t key) {
    std::string out(text);
    const char mask = HighByte(key);
    for (char& c : out) c = static_cast<char>(c ^ mask);
    return out;
}

std::string DecodeSetting(std::string_view text, std::uint16_t key) {
    const std::string b = Base64Decode(text);
    if (b.size() <= 2 * kFillerBytes) return std::string();
    const unsigned low = key & 0xFFu;
    std::string plain(b.size() - 2 * kFillerBytes, '\0');
    for (std::size_t k = 0; k < plain.size(); ++k) {
        unsigned stored = static_cast<unsigned char>(b[k + kFillerBytes]);
        unsigned shift = static_cast<unsigned>((k * key) % 256);
        plain[k] = static_cast<char>(((stored - shift) & 0xFFu) ^ low);
    }
    return plain;
}

std::string Base64Decode(std::string_view text) {
    const std::size_t m = text.size();
    if (m == 0 || m % 4 != 0) return std::string();
    std::string out;
    out.reserve(3 * m / 4);
    for (std::size_t g = 0; g < m; g += 4) {
        const bool last = g + 4 == m;
        const int a = Sextet(text[g]), b = Sextet(text[g + 1]);
        if (a < 0 || b < 0) return std::string();
        out += static_cast<char>((a << 2) | (b >> 4));
        if (last && text[g + 2] == '=') break;
        const int c = Sextet(text[g + 2]);
        if (c < 0) return std::string();
        out += static_cast<char>(((b & 0xF) << 4) | (c >> 2));
        if (last && text[g + 3] == '=') break;
        const int d = Sextet(text[g + 3]);
        if (d < 0) return std::string();
        out += static_cast<char>(((c & 0x3) << 6) | d);
    }
    return out;
}

std::string Base64Encode(std::string_view bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = bytes.size() - i < 3 ? bytes.size() - i : 3;
        unsigned v = static_cast<unsigned>(static_cast<unsigned char>(bytes[i])) << 16;
        if (n > 1) v |= static_cast<unsigned>(static_cast<unsigned char>(bytes[i + 1])) << 8;
        if (n > 2) v |= static_cast<unsigned char>(bytes[i + 2]);
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += n > 1 ? kAlphabet[(v >> 6) & 63] : '=';
        out += n > 2 ? kAlphabet[v & 63] : '=';
    }
    return out;
}

std::string EncodeSetting(std::string_view plain, std::uint16_t key, std::string_view filler) {
    std::string fill(2 * kFillerBytes, '\0');
    for (std::size_t i = 0; i < fill.size() && i < filler.size(); ++i) fill[i] = filler[i];
    const unsigned low = key & 0xFFu;
    std::string b = fill.substr(0, kFillerBytes);
    for (std::size_t k = 0; k < plain.size(); ++k) {
        unsigned x = static_cast<unsigned char>(plain[k]) ^ low;
        b += static_cast<char>((x + (k * key) % 256) & 0xFFu);
    }
    b += fill.substr(kFillerBytes);
    return Base64Encode(b);
}

}  // namespace qm::delivery
