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
        std::string bytes;
        bool read = ReadWholeFile(Files(), ErrorListFileName(), bytes);
        DWORD error = read ? ERROR_SUCCESS : GetLastError();
        list->lines = SplitLines(bytes);
        list->loadedLines = list->lines.size();
        list->loadedWhole = read || error == ERROR_FILE_NOT_FOUND;
    }
    return list->lines;
}

void LogError(std::string_view message) {
    std::string line = DateTimeToStr(Now()) + " - " + GetAssetId() + " - " + std::string(message);
    GetErrorList().push_back(std::move(line));
}

void SaveErrorLog() {
    auto& list = State().errorList;
    if (!list) return;
    const std::string name = ErrorListFileName();
    std::string text;
    std::size_t first = list->loadedWhole ? 0 : list->loadedLines;
    for (std::size_t i = first; i < list->lines.size(); ++i) text += list->lines[i] + "\r\n";
    if (list->loadedWhole) {
        ReplaceFileSafely(Files(), name, text);
    } else if (!text.empty()) {
        if (auto file = Files().CreateFile(name, GENERIC_WRITE, CreationDisposition::OpenAlways)) {
            DWORD written = 0;
            if (file->SetFilePointerEx(0, MoveMethod::End, nullptr))
                file->WriteFile(text.data(), static_cast<DWORD>(text.size()), written);
        }
    }
    list.reset();
}

}  // namespace qm::core
