#include <gtest/gtest.h>

#include <fstream>

#include "platform/platform.h"
#include "support/test_machine.h"

using namespace qm::platform;
using qm::test::MachineErrorOf;
using qm::test::TempFolder;
using qm::test::TestMachine;

namespace {

const char* const kWmi = R"({"wmi": {"namespaces": {
  "root\\WMI": {"classes": {
    "Disk_Status": {
      "properties": {"Reason": "uint32", "Active": "boolean", "InstanceName": {"type": "string", "key": true},
                     "Temperature": "real64", "Vendor": {"type": "uint8", "array": true}, "Serial": "uint64"},
      "instances": [
        {"Active": true, "InstanceName": "IDE\\Disk\"A\"", "Reason": 4294967295, "Temperature": 38.5, "Vendor": [1, 2],
         "Serial": 18446744073709551615},
        {"Active": false, "InstanceName": "ide\\disk b", "Reason": {"error": "0x80041004"}}
      ]},
    "Broken": {"properties": {"Name": "string"}, "error": "0x80041003"}}},
  "root\\Locked": {"error": "0x80041003"}}}})";

std::unique_ptr<WmiServices> Connect(const std::string& nameSpace, HRESULT expected = S_OK, const std::string& server = "") {
    std::unique_ptr<WmiLocator> locator;
    EXPECT_EQ(Wmi().CreateLocator(locator), S_OK);
    std::unique_ptr<WmiServices> services;
    if (locator) {
        EXPECT_EQ(locator->ConnectServer(server, nameSpace, "", "", "", "", 0, services), expected) << nameSpace;
    }
    return services;
}

qm::sim::FaultConfig Fault(const char* op, const char* path, DWORD error, int times = -1) {
    qm::sim::FaultConfig f;
    f.op = op;
    f.path = path;
    f.error = error;
    f.times = times;
    return f;
}

struct Property {
    std::string name;
    HRESULT hr;
    VARTYPE vt;
    std::string text;  // through VariantToText when the value was read
};

struct Object {
    std::string path;
    std::vector<Property> properties;
};

std::vector<Object> Objects(WmiServices& services, const std::string& query) {
    std::unique_ptr<WmiObjectSet> set;
    EXPECT_EQ(services.ExecQuery(query, "WQL", 0, set), S_OK) << query;
    std::vector<Object> objects;
    if (!set) return objects;
    std::unique_ptr<WmiObject> object;
    while (set->Next(object) == S_OK) {
        Object o;
        EXPECT_EQ(object->get_Path(o.path), S_OK);
        std::unique_ptr<WmiPropertySet> properties;
        EXPECT_EQ(object->get_Properties(properties), S_OK);
        std::unique_ptr<WmiProperty> property;
        while (properties->Next(property) == S_OK) {
            Property p;
            property->get_Name(p.name);
            VARIANT value;
            p.hr = property->get_Value(value);
            p.vt = value.vt;
            if (SUCCEEDED(p.hr)) VariantToText(value, p.text);
            o.properties.push_back(p);
        }
        objects.push_back(o);
    }
    return objects;
}

std::vector<std::string> Names(const Object& o) {
    std::vector<std::string> names;
    for (const Property& p : o.properties) names.push_back(p.name);
    return names;
}

}  // namespace

TEST(SimWmi, AMachineWithoutWmiHasNoLocator) {
    TestMachine m;
    std::unique_ptr<WmiLocator> locator;
    EXPECT_EQ(Wmi().CreateLocator(locator), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(locator, nullptr);
}

TEST(SimWmi, ConnectServerFindsNamespacesByEitherSlashAndRefusesWhatTheMachineLacksOrLocks) {
    TestMachine m(kWmi);
    EXPECT_NE(Connect("ROOT/wmi"), nullptr);
    EXPECT_NE(Connect("root\\WMI", S_OK, "QM-TEST-01"), nullptr);
    EXPECT_EQ(Connect("root\\Dellomci", WBEM_E_INVALID_NAMESPACE), nullptr);
    EXPECT_EQ(Connect("root\\Locked", WBEM_E_ACCESS_DENIED), nullptr);
    EXPECT_EQ(Connect("root\\WMI", HResult(0x800706BA), "OTHER-PC"), nullptr);  // no other computer answers
    m.Machine().AddFault(Fault("ConnectServer", "", 0x80041001));
    EXPECT_EQ(Connect("root\\WMI", WBEM_E_FAILED), nullptr);
}

TEST(SimWmi, AQueryCarriesTheSelectedPropertiesAndTheKeysInAlphabeticalOrder) {
    TestMachine m(kWmi);
    auto services = Connect("root\\WMI");
    ASSERT_NE(services, nullptr);
    std::vector<Object> objects = Objects(*services, "select reason,Active ,  temperature from disk_status");
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(Names(objects[0]), (std::vector<std::string>{"Active", "InstanceName", "Reason", "Temperature"}));
    EXPECT_EQ(objects[0].path, R"(\\QM-TEST-01\root\WMI:Disk_Status.InstanceName="IDE\\Disk\"A\"")");
    EXPECT_EQ(objects[0].properties[0].text, "-1");  // a Boolean true
    EXPECT_EQ(objects[0].properties[2].text, "4294967295");
    EXPECT_EQ(objects[0].properties[3].text, "38.5");
    EXPECT_EQ(objects[1].properties[0].text, "0");
    EXPECT_EQ(objects[1].properties[2].hr, WBEM_E_PROVIDER_FAILURE);  // the value that cannot be read
    EXPECT_EQ(objects[1].properties[3].vt, VT_NULL);                  // the value the instance lacks

    std::vector<Object> all = Objects(*services, "SELECT * FROM Disk_Status WHERE InstanceName = 'IDE\\\\DISK B'");
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(Names(all[0]), (std::vector<std::string>{"Active", "InstanceName", "Reason", "Serial", "Temperature", "Vendor"}));
    EXPECT_EQ(all[0].properties[1].text, "ide\\disk b");
    // A quote escaped in the literal, a number and a Boolean compared as WQL compares them.
    EXPECT_EQ(Objects(*services, R"(SELECT Active FROM Disk_Status WHERE InstanceName = "ide\\disk\"a\"")").size(), 1u);
    EXPECT_EQ(Objects(*services, "SELECT Active FROM Disk_Status WHERE Reason = 4294967295").size(), 1u);
    EXPECT_EQ(Objects(*services, "SELECT Active FROM Disk_Status WHERE Active = FALSE").size(), 1u);
    EXPECT_EQ(Objects(*services, "SELECT Active FROM Disk_Status WHERE Reason = 4").size(), 0u);  // not read, never matched
}

TEST(SimWmi, ValuesReachTheScriptAsTheirTypesDo) {
    TestMachine m(kWmi);
    auto services = Connect("root\\WMI");
    ASSERT_NE(services, nullptr);
    std::vector<Object> all = Objects(*services, "SELECT * FROM Disk_Status");
    ASSERT_EQ(all.size(), 2u);
    const std::vector<Property>& p = all[0].properties;
    EXPECT_EQ(p[0].vt, VT_BOOL);
    EXPECT_EQ(p[2].vt, VT_UI4);
    EXPECT_EQ(p[3].vt, VT_BSTR);  // a 64-bit number comes as text
    EXPECT_EQ(p[3].text, "18446744073709551615");
    EXPECT_EQ(p[4].vt, VT_R8);
    EXPECT_EQ(p[5].vt, VT_ARRAY | VT_UI1);
    std::string text = "unchanged";
    VARIANT array;
    array.vt = VT_ARRAY | VT_UI1;
    EXPECT_EQ(VariantToText(array, text), DISP_E_TYPEMISMATCH);
    VARIANT null;
    null.vt = VT_NULL;
    EXPECT_EQ(VariantToText(null, text), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(text, "unchanged");
}

TEST(SimWmi, AFractionTakesTheUsersDecimalSeparator) {
    TestMachine m(R"({"locale": {"decimal": ","}})");
    VARIANT real;
    real.vt = VT_R8;
    real.dblVal = 2.25;
    std::string text;
    ASSERT_EQ(VariantToText(real, text), S_OK);
    EXPECT_EQ(text, "2,25");
    real.vt = VT_R4;
    real.dblVal = static_cast<float>(0.1);
    ASSERT_EQ(VariantToText(real, text), S_OK);
    EXPECT_EQ(text, "0,1");
}

TEST(SimWmi, QueriesThatCannotRunFailAtExecQuery) {
    TestMachine m(kWmi);
    auto services = Connect("root\\WMI");
    ASSERT_NE(services, nullptr);
    const std::pair<const char*, HRESULT> cases[] = {
        {"SELECT * FROM Missing_Class", WBEM_E_INVALID_CLASS},
        {"SELECT Nothing FROM Disk_Status", WBEM_E_INVALID_QUERY},
        {"SELECT * FROM Disk_Status WHERE Nothing = 1", WBEM_E_INVALID_QUERY},
        {"SELECT FROM Disk_Status", WBEM_E_INVALID_QUERY},
        {"SELECT Active, FROM Disk_Status", WBEM_E_INVALID_QUERY},
        {"SELECT * Disk_Status", WBEM_E_INVALID_QUERY},
        {"SELECT * FROM Disk_Status WHERE Active", WBEM_E_INVALID_QUERY},
        {"SELECT * FROM Disk_Status WHERE InstanceName = \"unclosed", WBEM_E_INVALID_QUERY},
        {"SELECT * FROM Disk_Status WHERE Active = TRUE AND Reason = 1", WBEM_E_INVALID_QUERY},
        {"SELECT * FROM Disk_Status; DELETE", WBEM_E_INVALID_QUERY},
        {"", WBEM_E_INVALID_QUERY},
        {"SELECT * FROM Broken", WBEM_E_ACCESS_DENIED},
    };
    for (const auto& [query, expected] : cases) {
        std::unique_ptr<WmiObjectSet> set;
        EXPECT_EQ(services->ExecQuery(query, "WQL", 0, set), expected) << query;
        EXPECT_EQ(set, nullptr) << query;
    }
    std::unique_ptr<WmiObjectSet> set;
    EXPECT_EQ(services->ExecQuery("SELECT * FROM Disk_Status", "SQL", 0, set), WBEM_E_INVALID_QUERY_TYPE);
    m.Machine().AddFault(Fault("ExecQuery", "DISK_STATUS", 5));
    EXPECT_EQ(services->ExecQuery("SELECT * FROM Disk_Status", "WQL", 0, set), HResult(0x80070005));
}

TEST(SimWmi, APropertyFailsOnPurposeByItsClassAndName) {
    TestMachine m(kWmi);
    m.Machine().AddFault(Fault("get_Value", "Disk_Status.Active", 0x80041001, 1));
    auto services = Connect("root\\WMI");
    ASSERT_NE(services, nullptr);
    std::vector<Object> objects = Objects(*services, "SELECT Active FROM Disk_Status");
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(objects[0].properties[0].hr, WBEM_E_FAILED);
    EXPECT_EQ(objects[1].properties[0].hr, S_OK);
}

TEST(SimWmi, NamespacesMayLieInAFileBesideTheMachineFile) {
    TempFolder folder;
    std::ofstream(folder.Path() + "/wmi.json") << R"({"namespaces": {"root\\WMI": {"classes": {"C": {"properties": {"N": "string"},
        "instances": [{"N": "x"}]}}}}})";
    auto machine = qm::sim::SimMachine::FromJson(R"({"wmi": "wmi.json"})", folder.Path());
    InstallPlatform(machine);
    auto services = Connect("root\\WMI");
    ASSERT_NE(services, nullptr);
    std::vector<Object> objects = Objects(*services, "SELECT * FROM C");
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_EQ(objects[0].path, "\\\\WORKSTATION\\root\\WMI:C=@");  // a class without keys: a singleton's path
}

TEST(SimWmi, AMachineFileWithWrongWmiDataIsRefusedWithThePlace) {
    const std::pair<const char*, const char*> cases[] = {
        {R"({"wmi": {"namespaces": {"root": {"classes": {"C": {"properties": {"P": "text"}}}}}}})",
         "machine.json: /wmi/namespaces/root/classes/C/properties/P: unknown type \"text\" (boolean, string, datetime, uint32, real64, ...)"},
        {R"({"wmi": {"namespaces": {"root": {"classes": {"C": {"properties": {"P": "uint8"}, "instances": [{"P": 256}]}}}}}})",
         "machine.json: /wmi/namespaces/root/classes/C/instances/0/P: expected a whole number that a uint8 holds"},
        {R"({"wmi": {"namespaces": {"root": {"classes": {"C": {"properties": {"P": "boolean"}, "instances": [{"P": "yes"}]}}}}}})",
         "machine.json: /wmi/namespaces/root/classes/C/instances/0/P: expected true or false (a boolean)"},
        {R"({"wmi": {"namespaces": {"root": {"classes": {"C": {"properties": {"P": "string"}, "instances": [{"Q": "x"}]}}}}}})",
         "machine.json: /wmi/namespaces/root/classes/C/instances/0/Q: not a property of the class"},
        {R"({"wmi": {"namespaces": {"root": {"classes": {"C": {"properties": {"P": {"type": "string", "array": true}},
            "instances": [{"P": "x"}]}}}}}})",
         "machine.json: /wmi/namespaces/root/classes/C/instances/0/P: expected an array (the property is one)"},
        {R"({"wmi": {"namespaces": {"root": {}, "ROOT": {}}}})", "machine.json: /wmi/namespaces/root: the namespace twice"},
        {R"({"wmi": "../wmi.json"})", "machine.json: /wmi: expected the namespaces, or the name of a file beside the machine file"},
        {R"({"wmi": {"classes": {}}})", "machine.json: /wmi/classes: unknown entry"},
    };
    for (const auto& [json, message] : cases) EXPECT_EQ(MachineErrorOf(json), message) << json;
    EXPECT_EQ(MachineErrorOf(kWmi), "no error");
}
