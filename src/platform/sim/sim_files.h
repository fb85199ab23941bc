#pragma once
// Files and folders of the simulated machine: Windows paths resolved onto the drive folders of
// the host, with the attributes, short names and faults the machine keeps.

#include <memory>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "platform/sim/machine_state.h"

namespace qm::sim {

class SimFiles final : public platform::FilesService {
public:
    explicit SimFiles(MachineState& state) : state_(state) {}
    platform::DWORD GetFileAttributes(std::string_view path) override;
    bool GetFileAttributesEx(std::string_view path, platform::FileAttributeData& data) override;
    bool SetFileAttributes(std::string_view path, platform::DWORD attributes) override;
    bool CreateDirectory(std::string_view path) override;
    bool RemoveDirectory(std::string_view path) override;
    bool DeleteFile(std::string_view path) override;
    bool CopyFile(std::string_view existing, std::string_view newName, bool failIfExists) override;
    bool MoveFileEx(std::string_view existing, std::string_view newName, platform::DWORD flags) override;
    std::unique_ptr<platform::File> CreateFile(std::string_view path, platform::DWORD access,
                                               platform::CreationDisposition disposition) override;
    std::unique_ptr<platform::FindHandle> FindFirstFileEx(std::string_view pattern, platform::FindInfoLevel level,
                                                          platform::FindData& data) override;
    std::string GetCurrentDirectory() override;
    bool SetCurrentDirectory(std::string_view path) override;
    platform::DWORD GetShortPathName(std::string_view longPath, std::string& shortPath) override;
    platform::DWORD GetLongPathName(std::string_view shortPath, std::string& longPath) override;
    platform::DWORD GetFullPathName(std::string_view path, std::string& fullPath) override;

private:
    // Resolves for an operation: false with the last error when the path cannot be used or
    // a fault strikes.
    bool Prepare(std::string_view op, std::string_view path, bool writes, ResolvedPath& p);
    MachineState& state_;
};

}  // namespace qm::sim
