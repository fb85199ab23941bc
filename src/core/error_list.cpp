#include "core/error_list.h"

#include "core/date_time.h"
#include "core/identification.h"
#include "core/process_state.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "platform/winpath.h"

namespace qm::core {

using namespace qm::platform;

std::string ErrorListFileName() { return ChangeExtension(FileNameOf(ParamStr(0)), ".LOG"); }

std::vector<std::string>& GetErrorList() {
    auto& list = State().errorList;
    if (!list) {
        list.emplace();
        // Until the file is read whole, the list may only be appended to the file.
        list->loadedWhole = false;
        std::string bytes;
        try {
            bool read = ReadWholeFile(Files(), ErrorListFileName(), bytes);
            DWORD error = read ? ERROR_SUCCESS : GetLastError();
            list->loadedWhole = read || error == ERROR_FILE_NOT_FOUND;
        } catch (...) {
            // Any failure to load is ignored: the lines read so far stand.
        }
        list->lines = SplitLines(bytes);
        list->loadedLines = list->lines.size();
    }
    return list->lines;
}

void LogError(std::string_view message) {
    // One entry, one line, whatever a server or the machine put into the message.
    std::string line = DateTimeToStr(Now()) + " - " + GetAssetId() + " - " + std::string(message);
    GetErrorList().push_back(BlankControlCharacters(line));
}

namespace {

// The whole list when its file was read whole, else only this run's lines appended.
void WriteErrorList(const ErrorListState& list) {
    const std::string name = ErrorListFileName();
    std::string text;
    std::size_t first = list.loadedWhole ? 0 : list.loadedLines;
    for (std::size_t i = first; i < list.lines.size(); ++i) text += list.lines[i] + "\r\n";
    if (list.loadedWhole) {
        ReplaceFileSafely(Files(), name, text);
    } else if (!text.empty()) {
        AppendToFile(Files(), name, text);
    }
}

}  // namespace

void SaveErrorLog() {
    auto& list = State().errorList;
    if (!list) return;
    try {
        WriteErrorList(*list);
    } catch (...) {
        // A failed save leaves the file as it was; the run ends as it would anyway.
    }
    list.reset();
}

}  // namespace qm::core
