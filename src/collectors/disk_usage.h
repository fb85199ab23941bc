#pragma once
// Disk usage by extension: every fixed drive is walked, and the bytes and the number of the
// files whose extension belongs to a category of the settings file are added up per folder
// bucket and category, one "DiskUsage" record each. Runs only with "/DISK_USAGE".

#include <cstdint>
#include <string>

namespace qm::collectors {

// The entry: the settings, the walk of drives C to Z that are fixed, the records, and the
// buckets freed on every way out. An error ends the collector with a trace-log line.
void ScanDiskUsage();
// Builds the extension table from section "DiskUsageExtensions" when there is none yet, and
// gives the bucket depth of section "DiskUsage" ("DEEP", 2 by default).
void LoadDiskUsageSettings(const std::string& settingsFile, int& bucketDepth);
// Walks the folder (with its trailing backslash) and everything below it. The folder is a
// bucket of its own while depth is at most the bucket depth, else its files count in the
// parent's bucket.
void ScanFolder(const std::string& folder, const std::string& parentBucket, int depth, int bucketDepth);
// Counts one file in every category of its extension (upper case, with its dot).
void AddFileToBucket(const std::string& bucket, const std::string& extension, std::uint64_t size);
// One record per bucket and category, in the order each received its first file.
void WriteDiskUsageRecords();
// Forgets the buckets and the extension table, so that the next call reads the settings again.
void FreeDiskUsage();

}  // namespace qm::collectors
