// The EDID of a monitor in use, as the registry of an NT machine stores it, decoded by the
// monitor collector.

#include "collectors/video_monitor.h"
#include "fuzz_machine.h"
#include "platform/platform.h"
#include "support/agent_state.h"

using namespace qm::platform;

namespace {

const char* const kRegistry =
    "REGEDIT4\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\DISPLAY\\MON0001\\1]\r\n"
    "\"DeviceDesc\"=\"Plug and Play Monitor\"\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\DISPLAY\\MON0001\\1\\Control]\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\DISPLAY\\MON0001\\1\\Device Parameters]\r\n";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qm::fuzz::Machine("{}", kRegistry);
    static bool started = (qm::test::StartAgent(), true);
    (void)started;
    HKEY key = 0;
    if (Registry().RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Enum\\DISPLAY\\MON0001\\1\\Device Parameters",
                                KEY_ALL_ACCESS, key) != ERROR_SUCCESS)
        std::abort();
    // The first byte chooses the value's type: binary mostly, anything else now and then.
    DWORD type = size > 0 && data[0] < 16 ? data[0] : REG_BINARY;
    Registry().RegSetValueEx(key, "EDID", type, data, static_cast<DWORD>(size));
    Registry().RegCloseKey(key);
    std::vector<std::string> records = qm::test::CollectRecords(qm::collectors::MonitorInfo);
    qm::fuzz::Require(!records.empty());
    return 0;
}
