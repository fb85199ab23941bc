#include "collectors/wmi_query.h"

#include <stdexcept>

#include "core/trace_log.h"
#include "platform/platform.h"

namespace qm::collectors {

using namespace qm::platform;

namespace {

const std::string kStars(65, '*');

// A failed scripting call as the exception a late-bound caller sees.
HRESULT Check(HRESULT hr) {
    if (FAILED(hr)) throw std::runtime_error(WmiErrorText(hr));
    return hr;
}

// The item of one property; the caller adds an empty one when this raises before adding.
void AddPropertyValue(WmiProperty& property, std::vector<std::string>& items, bool& added) {
    std::string name;
    Check(property.get_Name(name));
    VARIANT value;
    Check(property.get_Value(value));
    bool isArray = false;
    Check(property.get_IsArray(isArray));
    if (value.vt == VT_NULL || isArray) {
        items.emplace_back();
        added = true;
        core::WriteLog(name + "=NULL");
        return;
    }
    std::string text;
    Check(VariantToText(value, text));
    items.push_back(text);
    added = true;
    core::WriteLog(name + "=" + text);
}

}  // namespace

void MyWmi::Connect(const std::string& nameSpace) {
    Check(platform::Wmi().CreateLocator(locator_));
    try {
        std::unique_ptr<WmiServices> services;
        if (SUCCEEDED(locator_->ConnectServer("", nameSpace, "", "", "", "", 0, services))) services_ = std::move(services);
    } catch (...) {
        // A connection that raises is told by the missing services, as one that fails.
    }
    if (!services_) throw std::runtime_error(std::to_string(GetLastError()));
    connected_ = true;
}

std::vector<std::string> MyWmi::Query(const std::string& wql) {
    std::vector<std::string> items;
    try {
        if (!services_) throw std::runtime_error("Not connected");
        std::unique_ptr<WmiObjectSet> objects;
        Check(services_->ExecQuery(wql, "WQL", 0, objects));
        for (;;) {
            std::unique_ptr<WmiObject> object;
            if (Check(objects->Next(object)) == S_FALSE) break;
            std::string path;
            Check(object->get_Path(path));
            core::WriteLog(kStars);
            core::WriteLog(path);
            core::WriteLog(kStars);
            std::unique_ptr<WmiPropertySet> properties;
            Check(object->get_Properties(properties));
            for (;;) {
                std::unique_ptr<WmiProperty> property;
                if (Check(properties->Next(property)) == S_FALSE) break;
                // Exactly one item per property, so that the later ones keep their positions.
                bool added = false;
                try {
                    AddPropertyValue(*property, items, added);
                } catch (const std::exception& e) {
                    core::WriteLog(e.what());
                    if (!added) items.emplace_back();
                }
            }
        }
        core::WriteLog(kStars);
    } catch (const std::exception& e) {
        core::WriteLog(e.what());
    }
    return items;
}

void MyWmi::Disconnect() { connected_ = false; }

std::string WqlString(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out;
}

}  // namespace qm::collectors
