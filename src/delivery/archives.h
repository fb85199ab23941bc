#pragma once
// The zip archives that carry the result files from Results\ to the processing centre: the
// folder lister, the single archive, the series of archives of bounded size, the archive names
// and the packing step of a delivery.

#include <string>
#include <string_view>
#include <vector>

namespace qm::delivery {

// The folders a delivery works with, each with its trailing backslash; an empty one could not
// be determined and takes no part.
struct DeliveryFolders {
    std::string results;
    std::string trans;
    std::string usage;
    std::string snmp;
    std::string pda;
};

// Appends the full path of every file (not folder) of the folder that matches "*" followed by
// the extension, hidden, system and read-only files included, in the platform's order.
void GetDirectoryFiles(std::string_view folder, std::string_view extension, std::vector<std::string>& list);

// Packs every file of the source folder with one of the extensions into one archive, stored
// without folder paths. A source that cannot be read is left out (and logged); the sources are
// deleted, when asked, only once the archive is safely on disk. False when no archive was
// written; the sources then stay.
bool CreateOneZipFile(std::string_view archivePath, std::string_view sourceFolder,
                      const std::vector<std::string>& extensions, bool deleteSources);

// Packs the entries (a file of the first extension with the files of the same stem and the
// other extensions) into a series: the first archive takes the entries up to the index
// maximum, every later one the next maximum entries, named with the index of the entry after
// which it was begun. An archive that would hold nothing is not written. False when an archive
// of the series failed; those written before it stay, with their sources deleted when asked.
bool CreateMultipleZipFiles(std::string_view archivePath, std::string_view sourceFolder,
                            const std::vector<std::string>& extensions, int maximum, bool deleteSources);

// The local time now as "yyMMddhhnnsszzz".
std::string GetFileTimeStamp();

// Folder, "#", customer code, "#", site code, "#", time stamp and extension; in the codes every
// character that Windows refuses in a file name becomes "_" (core::FileNamePart).
std::string ArchiveName(std::string_view folder, std::string_view customerCode, std::string_view siteCode,
                        std::string_view stamp, std::string_view extension);
// An archive name with a time stamp that no archive (nor series) in the folder carries yet, so
// that packing never replaces an archive that still waits for delivery; empty when the clock
// gives none.
std::string NewArchiveName(std::string_view folder, std::string_view customerCode, std::string_view siteCode,
                           std::string_view extension);

// The packing step of a delivery: hardware and software results into Trans\ (RTV with "/GTV",
// else GTV), disk usage into Usage\ (NTV), SNMP into SNMP\ (DTV), handheld into Pda\ (BTV);
// a series of archives when maxFiles is 10 or more. Packed result files are deleted.
void PackResults(const DeliveryFolders& folders, std::string_view customerCode, std::string_view siteCode,
                 int maxFiles, bool gtv);

}  // namespace qm::delivery
