#pragma once
// Result records and the one result list through which every collector writes. A record is
// one line of quoted fields, the section, the key, then the value fields; files end their
// lines with CR LF and hold ANSI bytes.

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace qm::core {

// The field quoting rule: double quotes, single quotes, commas and line breaks become
// blanks, blanks and control characters go from both ends, and the text is put in double
// quotes. A line break would split the record over two lines.
std::string QuoteField(std::string_view text);
// The value fields of a record: each text through QuoteField, joined by commas.
std::string QuoteFields(std::initializer_list<std::string> fields);

void CreateResultList();
// A new list, filled with the file's lines when the file exists; raises (and leaves no list)
// when it exists but cannot be read.
void LoadResultList(std::string_view path);
// Writes the list over the file (nothing without a list); raises when the file cannot be
// written.
void SaveResultList(std::string_view path);
// The last line of the list that contains the text; empty when none does.
std::string FindResultLine(std::string_view text);
// The same readers over lines of a result file held elsewhere (the front-end keeps its own):
// the last line that contains the text, and the value of the last line that holds the prefix
// (the quoted section and key with the value's opening quote): what follows the prefix,
// without the closing quote; empty when no line holds it.
std::string FindLine(const std::vector<std::string>& lines, std::string_view text);
std::string FindValue(const std::vector<std::string>& lines, std::string_view prefix);
// The last count lines of the list (fewer when it is shorter; none without a list).
std::vector<std::string> LastResultLines(std::size_t count);
// Saves the list to the file and forgets it; forgotten also when the save raises, and the
// error goes on to the caller.
void CloseResultList(std::string_view path);
// Appends the record: the quoted section, the quoted key, and the value as given (one or more
// fields already quoted and joined by commas); the trace log mirrors it.
void AddResultLine(std::string_view section, std::string_view key, std::string_view value);
// Appends the record of one value field: the text through QuoteField.
void AddQuotedResultLine(std::string_view section, std::string_view key, std::string_view text);
// Appends the header line "F1","F2",... up to Fn.
void AddFieldHeader(int count);
// Whether Windows takes the character in a file name: no control character and none of
// < > : " / \ | ? *.
bool IsFileNameCharacter(char c);
// A text as it may stand in a file name: the characters Windows refuses there become "_", so
// that a name from a machine or a settings file never reaches another folder, and a reserved
// device name (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, with or without an extension) gets a
// "_" in front, so that it names a file and not a device.
std::string FileNamePart(std::string_view text);
// Sets the local and server result file names (the asset and machine identifiers through
// FileNamePart); makes Results\ when it is missing.
void SetResultFileNames(bool resultsByIdentifier);

// The value of the last record with the section and key: what follows the quoted prefix,
// without the closing quote; empty when there is none.
std::string ReadResultValue(std::string_view section, std::string_view key);
// The prefix of a record's first value: "Section","Key"," .
std::string RecordPrefix(std::string_view section, std::string_view key);

// The fields of a record, without their quotes: section, key, then the values. None when the
// line is not one quoted field or several joined by ",".
std::vector<std::string> ResultFields(std::string_view line);

}  // namespace qm::core
