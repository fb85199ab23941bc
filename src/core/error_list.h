#pragma once
// The error list: delivery failures kept across runs in the program's file name with the
// extension ".LOG", in the current folder. Each line is the date and time, the asset
// identifier and the text joined by " - ".

#include <string>
#include <string_view>
#include <vector>

namespace qm::core {

// The list, loaded from its file at first use.
std::vector<std::string>& GetErrorList();
void LogError(std::string_view message);
// Writes the list back and forgets it; nothing when it was never used. A list whose file
// could not be read whole only appends this run's lines, so no earlier line is lost.
void SaveErrorLog();
// The file's name, relative to the current folder.
std::string ErrorListFileName();

}  // namespace qm::core
