#pragma once
// The byte-XOR scrambler of the result files and the stored SMTP password, and the decoder of
// the encoded server fields of the settings file.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/files.h"

namespace qm::delivery {

// Only the high byte takes effect. The front-end reads its catalogue files with the same key,
// so it must never change.
inline constexpr std::uint16_t kByteXorKey = 38219;
// Only the low byte takes effect. Settings files are delivered already encoded with it.
inline constexpr std::uint16_t kSettingsKey = 9617;

// Writes the scrambled copy of the open source into a file, piece by piece, so that no file is
// ever held whole; `unreadable` is set when the source breaks off.
platform::FileWriter ScrambledCopyOf(platform::File& source, std::uint16_t key, bool& unreadable);
// Opens a file to scramble; null, with the reason in the trace log, when it cannot be read.
std::unique_ptr<platform::File> OpenToScramble(std::string_view source);
// Logs that the source cannot be read, with the last error.
void LogUnreadable(std::string_view source);
// Writes the scrambled copy of the source to the target, through a temporary file renamed into
// place, so that a target is either complete or untouched. False, with the reason in the
// trace log, when the source cannot be read or the target cannot be written.
bool EncryptFile(std::string_view source, std::string_view target, std::uint16_t key);

// Every character XOR the high byte of the key; its own inverse.
std::string ScrambleString(std::string_view text, std::uint16_t key);

// The plain text of an encoded settings field; empty for bad base64 or a value of 16 decoded
// bytes or fewer.
std::string DecodeSetting(std::string_view text, std::uint16_t key);
// Strict base64 without line breaks; empty on any error.
std::string Base64Decode(std::string_view text);

// The inverses, for preparing settings files and for tests. The 16 filler bytes stand eight
// before and eight after the payload; missing ones are zero.
std::string Base64Encode(std::string_view bytes);
std::string EncodeSetting(std::string_view plain, std::uint16_t key, std::string_view filler = {});

}  // namespace qm::delivery
