#pragma once
// Event logs and the message files that hold their texts, after the event-log functions
// (OpenEventLog, GetOldestEventLogRecord, GetNumberOfEventLogRecords, ReadEventLog and
// CloseEventLog; ANSI forms), LoadLibraryEx of a data file, FormatMessage from a module's
// message table (ANSI form) and FreeLibrary.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace qm::platform {

// ReadEventLog's flags: one way of reading and one direction.
inline constexpr DWORD EVENTLOG_SEQUENTIAL_READ = 0x1;
inline constexpr DWORD EVENTLOG_SEEK_READ = 0x2;
inline constexpr DWORD EVENTLOG_FORWARDS_READ = 0x4;
inline constexpr DWORD EVENTLOG_BACKWARDS_READ = 0x8;

// Event types.
inline constexpr WORD EVENTLOG_ERROR_TYPE = 0x1;
inline constexpr WORD EVENTLOG_WARNING_TYPE = 0x2;
inline constexpr WORD EVENTLOG_INFORMATION_TYPE = 0x4;
inline constexpr WORD EVENTLOG_AUDIT_SUCCESS = 0x8;
inline constexpr WORD EVENTLOG_AUDIT_FAILURE = 0x10;

// The largest buffer ReadEventLog takes.
inline constexpr DWORD kMaxEventLogReadBuffer = 0x7FFFF;

// The ANSI EVENTLOGRECORD as ReadEventLog hands it back: a fixed part of 56 bytes, then the
// source name and the computer name (zero-terminated), the user's SID, the insertion strings
// (zero-terminated, one after the other), the event data, padding to 32 bits and the record's
// length once more. All numbers are little-endian.
namespace event_record {
inline constexpr std::size_t kLength = 0;         // DWORD, the whole record
inline constexpr std::size_t kReserved = 4;       // DWORD, kSignature
inline constexpr std::size_t kRecordNumber = 8;   // DWORD
inline constexpr std::size_t kTimeGenerated = 12;  // DWORD, seconds since 1970-01-01 UTC
inline constexpr std::size_t kTimeWritten = 16;   // DWORD
inline constexpr std::size_t kEventId = 20;       // DWORD, with severity, customer and facility bits
inline constexpr std::size_t kEventType = 24;     // WORD
inline constexpr std::size_t kNumStrings = 26;    // WORD
inline constexpr std::size_t kEventCategory = 28;  // WORD
inline constexpr std::size_t kReservedFlags = 30;  // WORD
inline constexpr std::size_t kClosingRecordNumber = 32;  // DWORD
inline constexpr std::size_t kStringOffset = 36;  // DWORD, from the start of the record
inline constexpr std::size_t kUserSidLength = 40;  // DWORD
inline constexpr std::size_t kUserSidOffset = 44;  // DWORD
inline constexpr std::size_t kDataLength = 48;    // DWORD
inline constexpr std::size_t kDataOffset = 52;    // DWORD
inline constexpr std::size_t kFixedSize = 56;
inline constexpr DWORD kSignature = 0x654C664C;  // "LfLe"
}  // namespace event_record

// LoadLibraryEx's flag for a module whose resources are read and whose code never runs.
inline constexpr DWORD LOAD_LIBRARY_AS_DATAFILE = 0x2;

// FormatMessage's flags.
inline constexpr DWORD FORMAT_MESSAGE_FROM_HMODULE = 0x800;
inline constexpr DWORD FORMAT_MESSAGE_ARGUMENT_ARRAY = 0x2000;

// An open event log; destroying it closes it, as CloseEventLog does, when that was not called.
class EventLogHandle {
public:
    virtual ~EventLogHandle() = default;
    // GetOldestEventLogRecord: the number of the oldest record (0 for an empty log).
    virtual bool GetOldestEventLogRecord(DWORD& oldest) = 0;
    // GetNumberOfEventLogRecords.
    virtual bool GetNumberOfEventLogRecords(DWORD& count) = 0;
    // ReadEventLog: from the record after the last one read (EVENTLOG_SEQUENTIAL_READ; the
    // newest or the oldest at first, by direction) or from the record numbered recordOffset
    // (EVENTLOG_SEEK_READ), as many whole records as fit in the buffer, in the direction
    // asked; bytesRead is what they take. False with the last error: ERROR_INSUFFICIENT_BUFFER
    // with bytesNeeded the size of the first record when it does not fit, ERROR_HANDLE_EOF
    // past the end of the log, ERROR_INVALID_PARAMETER for a number the log does not hold or
    // flags that name no single way and direction.
    virtual bool ReadEventLog(DWORD flags, DWORD recordOffset, void* buffer, DWORD bufferSize, DWORD& bytesRead,
                              DWORD& bytesNeeded) = 0;
    // CloseEventLog.
    virtual bool CloseEventLog() = 0;
};

// A module loaded as a data file; destroying it frees it, as FreeLibrary does, when that was
// not called.
class MessageModule {
public:
    virtual ~MessageModule() = default;
    // FreeLibrary.
    virtual bool FreeLibrary() = 0;
};

class EventLogService {
public:
    virtual ~EventLogService() = default;
    // OpenEventLog on a server (empty: this machine) of the log named sourceName; a name the
    // service does not know opens the application log, as Windows does. Null with the last
    // error when it cannot be opened.
    virtual std::unique_ptr<EventLogHandle> OpenEventLog(std::string_view serverName, std::string_view sourceName) = 0;
    // LoadLibraryEx of a file with LOAD_LIBRARY_AS_DATAFILE: null with the last error (2 or 3
    // when it does not exist, 193 when it is no program file).
    virtual std::unique_ptr<MessageModule> LoadLibraryEx(std::string_view path, DWORD flags) = 0;
    // FormatMessage with FORMAT_MESSAGE_FROM_HMODULE: the message of the id in the module's
    // message table, in the language asked (0: neutral, the user's, the system's, US English,
    // then any), with its inserts filled from the arguments (FORMAT_MESSAGE_ARGUMENT_ARRAY; an
    // argument is a text, which a numeric !format! reads as a whole number). The result goes
    // to buffer; it returns its length, or 0 with the last error: ERROR_INSUFFICIENT_BUFFER
    // when it and its terminator take more than size characters, ERROR_MR_MID_NOT_FOUND for
    // an id the table lacks, ERROR_INVALID_PARAMETER for an insert without an argument or a
    // format it cannot read.
    virtual DWORD FormatMessage(DWORD flags, MessageModule* module, DWORD messageId, DWORD languageId,
                                std::string& buffer, DWORD size, const std::vector<std::string>* arguments) = 0;
};

}  // namespace qm::platform
