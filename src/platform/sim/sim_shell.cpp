#include "platform/sim/sim_shell.h"

#include <unistd.h>

#include <cstdio>

#include "platform/platform.h"
#include "platform/sim/machine_state.h"
#include "platform/winpath.h"

namespace qm::sim {

using namespace qm::platform;

namespace {

// What a started program's instance handle looks like: anything above 32.
constexpr HINSTANCE kStarted = 42;

bool OnTerminal() { return isatty(STDIN_FILENO) == 1 && isatty(STDOUT_FILENO) == 1; }

}  // namespace

std::string SimShell::DefaultValue(HKEY root, const std::string& path) {
    HKEY key = 0;
    if (registry_.RegOpenKeyEx(root, path, KEY_QUERY_VALUE, key) != ERROR_SUCCESS) return std::string();
    std::string value;
    DWORD type = 0, size = 0;
    if (registry_.RegQueryValueEx(key, "", &type, nullptr, &size) == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ) &&
        size > 0) {
        std::string data(size, '\0');
        if (registry_.RegQueryValueEx(key, "", &type, reinterpret_cast<std::uint8_t*>(data.data()), &size) == ERROR_SUCCESS)
            value = data.substr(0, data.find('\0'));
    }
    registry_.RegCloseKey(key);
    return value;
}

std::string SimShell::AssociatedCommand(std::string_view verb, std::string_view extension) {
    if (extension.empty()) return std::string();
    std::string ext(extension);
    std::string tail = "\\shell\\" + std::string(verb) + "\\command";
    // The extension's key names the file type; a command may also stand under it directly.
    std::string type = DefaultValue(HKEY_CLASSES_ROOT, ext);
    std::string command = type.empty() ? std::string() : DefaultValue(HKEY_CLASSES_ROOT, type + tail);
    if (command.empty()) command = DefaultValue(HKEY_CLASSES_ROOT, ext + tail);
    return command;
}

HINSTANCE SimShell::ShellExecute(std::string_view verb, std::string_view file, std::string_view parameters,
                                 std::string_view directory, int showCommand) {
    ShellRequest request;
    request.verb = verb.empty() ? "open" : std::string(verb);
    std::string full;
    files_.GetFullPathName(file, full);
    request.file = full;
    request.parameters = std::string(parameters);
    request.directory = std::string(directory);
    request.showCommand = showCommand;
    ResolvedPath p = state_.Resolve(full);
    if (state_.Fails("ShellExecute", full, false)) {
        request.result = GetLastError() == ERROR_ACCESS_DENIED ? SE_ERR_ACCESSDENIED : SE_ERR_FNF;
    } else if (p.error != ERROR_SUCCESS || !p.exists) {
        request.result = DirectoryExists(files_, ParentOf(full)) ? SE_ERR_FNF : SE_ERR_PNF;
    } else {
        request.hostPath = p.host;
        request.command = AssociatedCommand(request.verb, ExtensionOf(full));
        if (request.command.empty()) {
            request.result = SE_ERR_NOASSOC;
        } else {
            for (std::size_t at; (at = request.command.find("%1")) != std::string::npos;) request.command.replace(at, 2, full);
            request.result = kStarted;
        }
    }
    if (request.result == kStarted && OnTerminal()) {
        std::printf("%s opens %s\n  on this computer: %s\n", request.command.c_str(), full.c_str(), request.hostPath.c_str());
        std::fflush(stdout);
    }
    SetLastError(request.result > 32 ? ERROR_SUCCESS : static_cast<DWORD>(request.result));
    HINSTANCE result = request.result;
    std::lock_guard lock(mutex_);
    requests_.push_back(std::move(request));
    return result;
}

std::vector<ShellRequest> SimShell::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

}  // namespace qm::sim
