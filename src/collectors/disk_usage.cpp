#include "collectors/disk_usage.h"

#include <exception>
#include <memory>

#include "core/process_state.h"
#include "core/result_list.h"
#include "core/sections.h"
#include "core/settings.h"
#include "core/trace_log.h"
#include "platform/ini_image.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "platform/winpath.h"

namespace qm::collectors {

using namespace qm::platform;
using core::WriteLog;
using core::sections::kDiskUsage;

namespace {

constexpr int kDefaultBucketDepth = 2;

core::DiskUsageState& Usage() { return core::State().diskUsage; }

// The category's place in the table; a name met again in another case is the same category,
// spelt as it was first.
std::size_t CategoryId(const std::string& name) {
    std::vector<std::string>& categories = Usage().categories;
    for (std::size_t i = 0; i < categories.size(); ++i)
        if (EqualsNoCase(categories[i], name)) return i;
    categories.push_back(name);
    return categories.size() - 1;
}

// A pair the settings repeat is counted once: a file is one file, however often its
// extension stands under the same category.
void AddExtension(const std::string& extension, std::size_t category) {
    std::vector<std::size_t>& categories = Usage().categoriesOf[AsciiUpper(extension)];
    for (std::size_t c : categories)
        if (c == category) return;
    categories.push_back(category);
}

// The value is cut from its back: every item after a ";" is trimmed, the first one is taken
// as it stands, so a blank right after the equals sign keeps the first item from matching.
void AddCategory(const std::string& name, std::string value) {
    std::size_t category = CategoryId(name);
    for (std::size_t semicolon = value.rfind(';'); semicolon != std::string::npos; semicolon = value.rfind(';')) {
        std::string extension = Trim(std::string_view(value).substr(semicolon + 1));
        if (!extension.empty()) AddExtension(extension, category);
        value.resize(semicolon);
    }
    if (!value.empty()) AddExtension(value, category);
}

core::DiskUsageBucket& BucketOf(const std::string& folder) {
    core::DiskUsageState& usage = Usage();
    if (usage.hasLast && usage.lastFolder == folder) return usage.buckets[usage.lastBucket];
    auto [place, added] = usage.bucketIndex.try_emplace(CodePage().CharUpper(folder), usage.buckets.size());
    if (added) usage.buckets.push_back({folder, {}});
    usage.lastFolder = folder;
    usage.lastBucket = place->second;
    usage.hasLast = true;
    return usage.buckets[place->second];
}

core::DiskUsageCount& CountOf(core::DiskUsageBucket& bucket, std::size_t category) {
    for (core::DiskUsageCount& count : bucket.counts)
        if (count.category == category) return count;
    bucket.counts.push_back({category, 0, 0});
    return bucket.counts.back();
}

}  // namespace

void ScanDiskUsage() {
    try {
        int bucketDepth = kDefaultBucketDepth;
        LoadDiskUsageSettings(core::GetSettingsFileName(), bucketDepth);
        // A and B are floppy drives, never worth the wait.
        for (char letter = 'C'; letter <= 'Z'; ++letter) {
            std::string root = std::string(1, letter) + ":\\";
            if (Drives().GetDriveType(root) == DRIVE_FIXED) ScanFolder(root, std::string(), 0, bucketDepth);
        }
        WriteDiskUsageRecords();
    } catch (const std::exception& e) {
        WriteLog(std::string("ScanDisk error:") + e.what());
    } catch (...) {
        WriteLog("ScanDisk error:");
    }
    // Also after an error, so that a later scan of the process starts from nothing.
    FreeDiskUsage();
}

void LoadDiskUsageSettings(const std::string& settingsFile, int& bucketDepth) {
    IniImage settings = IniImage::FromFile(Files(), settingsFile);
    bucketDepth = settings.ReadInteger("DiskUsage", "DEEP", kDefaultBucketDepth);
    core::DiskUsageState& usage = Usage();
    if (usage.tableLoaded) return;
    // Line by line rather than key by key: two lines of one category, in whatever case, each
    // bring their own extensions.
    for (const std::string& line : settings.SectionLines("DiskUsageExtensions")) {
        std::size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        AddCategory(Trim(std::string_view(line).substr(0, equals)), line.substr(equals + 1));
    }
    usage.tableLoaded = true;
}

void ScanFolder(const std::string& folder, const std::string& parentBucket, int depth, int bucketDepth) {
    const std::string& bucket = depth <= bucketDepth ? folder : parentBucket;
    FindData data;
    // No 8.3 names: the walk never reads them.
    std::unique_ptr<FindHandle> find = Files().FindFirstFileEx(folder + "*.*", FindInfoLevel::Basic, data);
    // A folder that cannot be listed is left out with everything below it.
    if (!find) return;
    do {
        // The wait dialog stays alive through a walk of whole drives.
        Dialogs().ProcessMessages();
        const std::string& name = data.cFileName;
        if (name == "." || name == "..") continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            // A reparse point may lead back up the tree, or off this drive.
            if (!(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                ScanFolder(folder + name + "\\", bucket, depth + 1, bucketDepth);
        } else {
            AddFileToBucket(bucket, AsciiUpper(ExtensionOf(name)), data.nFileSize);
            Dialogs().ProcessMessages();
        }
    } while (find->FindNextFile(data));
}

void AddFileToBucket(const std::string& bucket, const std::string& extension, std::uint64_t size) {
    core::DiskUsageState& usage = Usage();
    auto entry = usage.categoriesOf.find(extension);
    if (entry == usage.categoriesOf.end()) return;
    core::DiskUsageBucket& counted = BucketOf(bucket);
    // Two lines a file and category: only worth making when the trace log takes them.
    const bool traced = core::State().logOn;
    for (std::size_t category : entry->second) {
        core::DiskUsageCount& count = CountOf(counted, category);
        count.bytes += size;
        ++count.files;
        if (!traced) continue;
        const std::string& name = usage.categories[category];
        WriteLog(bucket + "////" + name + "/******/" + std::to_string(static_cast<std::int64_t>(size)));
        WriteLog(bucket + ":" + name + ":" + std::to_string(count.bytes) + ":" + std::to_string(count.files));
    }
}

void WriteDiskUsageRecords() {
    const core::DiskUsageState& usage = Usage();
    for (const core::DiskUsageBucket& bucket : usage.buckets)
        for (const core::DiskUsageCount& count : bucket.counts)
            core::AddResultLine(kDiskUsage, bucket.folder,
                                core::QuoteFields({usage.categories[count.category], std::to_string(count.bytes),
                                                   std::to_string(count.files)}));
}

void FreeDiskUsage() { Usage() = core::DiskUsageState{}; }

}  // namespace qm::collectors
