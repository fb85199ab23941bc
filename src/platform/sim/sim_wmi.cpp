#include "platform/sim/sim_wmi.h"

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>

#include "platform/platform.h"
#include "platform/sim/machine_file_reader.h"
#include "platform/sim/machine_state.h"
#include "platform/text.h"

namespace qm::sim {

using namespace qm::platform;
using nlohmann::json;

namespace {

constexpr HRESULT kServerUnavailable = HResult(0x800706BA);  // RPC_S_SERVER_UNAVAILABLE as an HRESULT

// How a CIM type reaches a script: booleans, integers that fit a 32-bit variant, 64-bit
// integers and dates as text, reals, texts.
enum class Kind { Boolean, Integer, IntegerText, Real, Text };

struct CimType {
    const char* name;
    Kind kind;
    VARTYPE vt;
    double min;
    double max;
};

const CimType kCimTypes[] = {
    {"boolean", Kind::Boolean, VT_BOOL, 0, 0},
    {"string", Kind::Text, VT_BSTR, 0, 0},
    {"datetime", Kind::Text, VT_BSTR, 0, 0},
    {"reference", Kind::Text, VT_BSTR, 0, 0},
    {"sint8", Kind::Integer, VT_I2, -128.0, 127.0},
    {"uint8", Kind::Integer, VT_UI1, 0, 255.0},
    {"sint16", Kind::Integer, VT_I2, -32768.0, 32767.0},
    {"char16", Kind::Integer, VT_I2, 0, 65535.0},
    {"uint16", Kind::Integer, VT_I4, 0, 65535.0},
    {"sint32", Kind::Integer, VT_I4, -2147483648.0, 2147483647.0},
    {"uint32", Kind::Integer, VT_UI4, 0, 4294967295.0},
    {"sint64", Kind::IntegerText, VT_BSTR, -9223372036854775808.0, 9223372036854775807.0},
    {"uint64", Kind::IntegerText, VT_BSTR, 0, 18446744073709551615.0},
    {"real32", Kind::Real, VT_R4, 0, 0},
    {"real64", Kind::Real, VT_R8, 0, 0},
};

const CimType* FindCimType(const std::string& name) {
    for (const CimType& t : kCimTypes)
        if (name == t.name) return &t;
    return nullptr;
}

bool LessNoCase(const std::string& a, const std::string& b) { return AsciiUpper(a) < AsciiUpper(b); }

// One element of a property's value, checked against its type.
VARIANT ParseScalar(const MachineFileReader& r, const std::string& key, const json& v, const CimType& type) {
    VARIANT out;
    out.vt = type.vt;
    switch (type.kind) {
        case Kind::Boolean:
            if (!v.is_boolean()) r.Fail(key, "expected true or false (a boolean)");
            out.boolVal = v.get<bool>();
            break;
        case Kind::Text:
            if (!v.is_string()) r.Fail(key, std::string("expected a text (a ") + type.name + ")");
            out.bstrVal = r.Ansi(v.get<std::string>());
            break;
        case Kind::Real:
            if (!v.is_number()) r.Fail(key, std::string("expected a number (a ") + type.name + ")");
            out.dblVal = v.get<double>();
            break;
        case Kind::Integer:
        case Kind::IntegerText: {
            bool fits = v.is_number_unsigned() ? static_cast<double>(v.get<std::uint64_t>()) <= type.max
                        : v.is_number_integer() ? static_cast<double>(v.get<std::int64_t>()) >= type.min &&
                                                      static_cast<double>(v.get<std::int64_t>()) <= type.max
                                                : false;
            if (!fits) r.Fail(key, std::string("expected a whole number that a ") + type.name + " holds");
            std::string text = v.is_number_unsigned() ? std::to_string(v.get<std::uint64_t>()) : std::to_string(v.get<std::int64_t>());
            if (type.kind == Kind::IntegerText) out.bstrVal = text;
            else out.intVal = v.get<std::int64_t>();
            break;
        }
    }
    return out;
}

WmiValueConfig ParseValue(const MachineFileReader& r, const std::string& key, const WmiPropertyConfig& property) {
    WmiValueConfig value;
    value.value.vt = VT_NULL;
    if (!r.Has(key)) return value;
    const json& v = r.Raw(key);
    if (v.is_object()) {
        // A property that cannot be read: {"error": "0x80041004"}.
        MachineFileReader failing = r.Object(key);
        failing.OnlyKeys({"error"});
        if (!failing.Has("error")) failing.Fail("error", "expected the HRESULT that reading the property gives");
        value.error = HResult(ParseWord(failing, "error", failing.Raw("error")));
        if (SUCCEEDED(value.error)) failing.Fail("error", "expected a failing HRESULT such as \"0x80041004\"");
        return value;
    }
    const CimType& type = *FindCimType(property.type);
    if (property.isArray) {
        if (!v.is_array()) r.Fail(key, "expected an array (the property is one)");
        for (const json& element : v) ParseScalar(r, key, element, type);
        value.value.vt = static_cast<VARTYPE>(VT_ARRAY | type.vt);
        return value;
    }
    value.value = ParseScalar(r, key, v, type);
    return value;
}

WmiClassConfig ParseClass(const MachineFileReader& r, const std::string& name) {
    r.OnlyKeys({"properties", "instances", "error"});
    WmiClassConfig c;
    c.name = r.Ansi(name);
    if (r.Has("error")) c.error = HResult(ParseWord(r, "error", r.Raw("error")));
    if (r.Has("properties")) {
        MachineFileReader properties = r.Object("properties");
        for (auto it = properties.Self().begin(); it != properties.Self().end(); ++it) {
            WmiPropertyConfig p;
            p.name = properties.Ansi(it.key());
            if (it.value().is_string()) {
                p.type = it.value().get<std::string>();
            } else {
                MachineFileReader d = properties.Object(it.key());
                d.OnlyKeys({"type", "key", "array"});
                p.type = d.String("type");
                p.key = d.Boolean("key", false);
                p.isArray = d.Boolean("array", false);
            }
            if (FindCimType(p.type) == nullptr)
                properties.Fail(it.key(), "unknown type \"" + p.type + "\" (boolean, string, datetime, uint32, real64, ...)");
            for (const WmiPropertyConfig& other : c.properties)
                if (EqualsNoCase(other.name, p.name)) properties.Fail(it.key(), "the property twice");
            c.properties.push_back(std::move(p));
        }
        std::stable_sort(c.properties.begin(), c.properties.end(),
                         [](const WmiPropertyConfig& a, const WmiPropertyConfig& b) { return LessNoCase(a.name, b.name); });
    }
    if (r.Has("instances")) {
        const json& instances = r.Array("instances");
        for (std::size_t i = 0; i < instances.size(); ++i) {
            MachineFileReader in(instances[i], r.File(), r.Pointer("instances") + "/" + std::to_string(i), r.CodePage());
            for (auto it = in.Self().begin(); it != in.Self().end(); ++it)
                if (std::none_of(c.properties.begin(), c.properties.end(),
                                 [&](const WmiPropertyConfig& p) { return p.name == in.Ansi(it.key()); }))
                    in.Fail(it.key(), "not a property of the class");
            std::vector<WmiValueConfig> values;
            for (const WmiPropertyConfig& p : c.properties) {
                // The key of the JSON object as the machine file spells it (UTF-8).
                std::string key;
                for (auto it = in.Self().begin(); it != in.Self().end(); ++it)
                    if (in.Ansi(it.key()) == p.name) key = it.key();
                if (key.empty()) {
                    values.emplace_back();
                    values.back().value.vt = VT_NULL;
                } else {
                    values.push_back(ParseValue(in, key, p));
                }
            }
            c.instances.push_back(std::move(values));
        }
    }
    return c;
}

// A namespace as WMI compares them: either slash, without regard to case.
std::string NamespaceKey(std::string_view name) {
    std::string key = AsciiUpper(name);
    std::replace(key.begin(), key.end(), '/', '\\');
    return key;
}

WmiConfig ParseWmi(const MachineFileReader& r) {
    r.OnlyKeys({"namespaces"});
    WmiConfig c;
    c.installed = true;
    if (!r.Has("namespaces")) return c;
    MachineFileReader namespaces = r.Object("namespaces");
    for (auto it = namespaces.Self().begin(); it != namespaces.Self().end(); ++it) {
        MachineFileReader n = namespaces.Object(it.key());
        n.OnlyKeys({"classes", "error"});
        WmiNamespaceConfig ns;
        ns.name = n.Ansi(it.key());
        std::replace(ns.name.begin(), ns.name.end(), '/', '\\');
        if (ns.name.empty()) namespaces.Fail(it.key(), "a namespace needs its name, such as \"root\\\\WMI\"");
        for (const WmiNamespaceConfig& other : c.namespaces)
            if (NamespaceKey(other.name) == NamespaceKey(ns.name)) namespaces.Fail(it.key(), "the namespace twice");
        if (n.Has("error")) ns.error = HResult(ParseWord(n, "error", n.Raw("error")));
        if (n.Has("classes")) {
            MachineFileReader classes = n.Object("classes");
            for (auto cl = classes.Self().begin(); cl != classes.Self().end(); ++cl) {
                WmiClassConfig parsed = ParseClass(classes.Object(cl.key()), cl.key());
                for (const WmiClassConfig& other : ns.classes)
                    if (EqualsNoCase(other.name, parsed.name)) classes.Fail(cl.key(), "the class twice");
                ns.classes.push_back(std::move(parsed));
            }
        }
        c.namespaces.push_back(std::move(ns));
    }
    return c;
}

// The HRESULT of a failure asked for on purpose: its Win32 code as an HRESULT, or the HRESULT
// it names.
HRESULT FaultResult() {
    DWORD error = GetLastError();
    if (error == 0) return E_FAIL;
    if (error <= 0xFFFF) return HResult(0x80070000u | error);
    return HResult(error);
}

// ---- The small WQL: SELECT * | p1, p2 FROM class [WHERE p = literal] ----

struct Token {
    enum Type { Word, Number, Text, Symbol, End } type = End;
    std::string text;
};

// Splits a query into tokens; none when it holds something the language does not know (an
// unclosed text, a stray character).
std::optional<std::vector<Token>> Tokens(std::string_view q) {
    std::vector<Token> out;
    std::size_t i = 0;
    auto isWord = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
    while (i < q.size()) {
        char c = q[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            ++i;
        } else if (c == ',' || c == '*' || c == '=') {
            out.push_back({Token::Symbol, std::string(1, c)});
            ++i;
        } else if (c == '"' || c == '\'') {
            // A text literal; a backslash escapes the next character.
            std::string text;
            ++i;
            bool closed = false;
            while (i < q.size()) {
                if (q[i] == '\\' && i + 1 < q.size()) {
                    text += q[i + 1];
                    i += 2;
                } else if (q[i] == c) {
                    closed = true;
                    ++i;
                    break;
                } else {
                    text += q[i++];
                }
            }
            if (!closed) return std::nullopt;
            out.push_back({Token::Text, text});
        } else if (std::isdigit(static_cast<unsigned char>(c)) || ((c == '-' || c == '+') && i + 1 < q.size() &&
                                                                    std::isdigit(static_cast<unsigned char>(q[i + 1])))) {
            std::size_t start = i++;
            while (i < q.size() && (std::isdigit(static_cast<unsigned char>(q[i])) || q[i] == '.')) ++i;
            out.push_back({Token::Number, std::string(q.substr(start, i - start))});
        } else if (isWord(c)) {
            std::size_t start = i;
            while (i < q.size() && isWord(q[i])) ++i;
            out.push_back({Token::Word, std::string(q.substr(start, i - start))});
        } else {
            return std::nullopt;
        }
    }
    out.push_back({Token::End, ""});
    return out;
}

struct ParsedQuery {
    bool all = false;
    std::vector<std::string> properties;
    std::string className;
    bool hasWhere = false;
    std::string whereProperty;
    Token whereValue;
};

std::optional<ParsedQuery> ParseQuery(std::string_view text) {
    std::optional<std::vector<Token>> tokens = Tokens(text);
    if (!tokens) return std::nullopt;
    const std::vector<Token>& t = *tokens;
    std::size_t at = 0;
    auto keyword = [&](const char* word) {
        if (t[at].type != Token::Word || !EqualsNoCase(t[at].text, word)) return false;
        ++at;
        return true;
    };
    auto symbol = [&](const char* s) {
        if (t[at].type != Token::Symbol || t[at].text != s) return false;
        ++at;
        return true;
    };
    ParsedQuery q;
    if (!keyword("SELECT")) return std::nullopt;
    if (symbol("*")) {
        q.all = true;
    } else {
        do {
            if (t[at].type != Token::Word || EqualsNoCase(t[at].text, "FROM")) return std::nullopt;
            q.properties.push_back(t[at++].text);
        } while (symbol(","));
    }
    if (!keyword("FROM") || t[at].type != Token::Word) return std::nullopt;
    q.className = t[at++].text;
    if (keyword("WHERE")) {
        q.hasWhere = true;
        if (t[at].type != Token::Word) return std::nullopt;
        q.whereProperty = t[at++].text;
        if (!symbol("=")) return std::nullopt;
        if (t[at].type == Token::End || t[at].type == Token::Symbol) return std::nullopt;
        q.whereValue = t[at++];
    }
    if (t[at].type != Token::End) return std::nullopt;
    return q;
}

// A value as a WHERE clause compares it, and as an object path writes a number or Boolean.
std::string PlainText(const VARIANT& v) {
    switch (v.vt) {
        case VT_BOOL: return v.boolVal ? "TRUE" : "FALSE";
        case VT_BSTR: return v.bstrVal;
        case VT_R4:
        case VT_R8: {
            char digits[40];
            std::snprintf(digits, sizeof digits, "%.15G", v.dblVal);
            return digits;
        }
        default: return std::to_string(v.intVal);
    }
}

bool Matches(const WmiValueConfig& value, const Token& literal) {
    if (FAILED(value.error) || value.value.vt == VT_NULL || (value.value.vt & VT_ARRAY) != 0) return false;
    return EqualsNoCase(PlainText(value.value), literal.text);
}

// An object path's key value: texts in double quotes with their backslashes and quotes escaped.
std::string PathValue(const WmiValueConfig& value) {
    if (value.value.vt != VT_BSTR) return PlainText(value.value);
    std::string out = "\"";
    for (char c : value.value.bstrVal) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + "\"";
}

// ---- The scripting objects ----

struct PropertyData {
    const WmiPropertyConfig* config;
    WmiValueConfig value;
};

struct ObjectData {
    std::string path;
    std::string className;
    std::vector<PropertyData> properties;
};

class SimProperty final : public WmiProperty {
public:
    SimProperty(MachineState& state, const std::string& className, PropertyData data)
        : state_(state), className_(className), data_(std::move(data)) {}
    HRESULT get_Name(std::string& name) override {
        name = data_.config->name;
        return S_OK;
    }
    HRESULT get_IsArray(bool& isArray) override {
        isArray = data_.config->isArray;
        return S_OK;
    }
    HRESULT get_Value(VARIANT& value) override {
        if (state_.Fails("get_Value", className_ + "." + data_.config->name, false)) return FaultResult();
        if (FAILED(data_.value.error)) return data_.value.error;
        value = data_.value.value;
        return S_OK;
    }

private:
    MachineState& state_;
    std::string className_;
    PropertyData data_;
};

class SimPropertySet final : public WmiPropertySet {
public:
    SimPropertySet(MachineState& state, std::shared_ptr<const ObjectData> object) : state_(state), object_(std::move(object)) {}
    HRESULT Next(std::unique_ptr<WmiProperty>& property) override {
        if (next_ >= object_->properties.size()) return S_FALSE;
        property = std::make_unique<SimProperty>(state_, object_->className, object_->properties[next_++]);
        return S_OK;
    }

private:
    MachineState& state_;
    std::shared_ptr<const ObjectData> object_;
    std::size_t next_ = 0;
};

class SimObject final : public WmiObject {
public:
    SimObject(MachineState& state, std::shared_ptr<const ObjectData> data) : state_(state), data_(std::move(data)) {}
    HRESULT get_Path(std::string& path) override {
        path = data_->path;
        return S_OK;
    }
    HRESULT get_Properties(std::unique_ptr<WmiPropertySet>& properties) override {
        properties = std::make_unique<SimPropertySet>(state_, data_);
        return S_OK;
    }

private:
    MachineState& state_;
    std::shared_ptr<const ObjectData> data_;
};

class SimObjectSet final : public WmiObjectSet {
public:
    SimObjectSet(MachineState& state, std::vector<std::shared_ptr<const ObjectData>> objects)
        : state_(state), objects_(std::move(objects)) {}
    HRESULT Next(std::unique_ptr<WmiObject>& object) override {
        if (next_ >= objects_.size()) return S_FALSE;
        object = std::make_unique<SimObject>(state_, objects_[next_++]);
        return S_OK;
    }

private:
    MachineState& state_;
    std::vector<std::shared_ptr<const ObjectData>> objects_;
    std::size_t next_ = 0;
};

class SimServices final : public WmiServices {
public:
    SimServices(MachineState& state, const WmiNamespaceConfig& ns) : state_(state), ns_(ns) {}

    HRESULT ExecQuery(std::string_view query, std::string_view language, long, std::unique_ptr<WmiObjectSet>& result) override {
        if (!EqualsNoCase(language, "WQL")) return WBEM_E_INVALID_QUERY_TYPE;
        std::optional<ParsedQuery> q = ParseQuery(query);
        if (!q) return WBEM_E_INVALID_QUERY;
        auto cls = std::find_if(ns_.classes.begin(), ns_.classes.end(),
                                [&](const WmiClassConfig& c) { return EqualsNoCase(c.name, q->className); });
        if (cls == ns_.classes.end()) return WBEM_E_INVALID_CLASS;
        if (state_.Fails("ExecQuery", cls->name, false)) return FaultResult();
        if (FAILED(cls->error)) return cls->error;
        auto indexOf = [&](const std::string& name) -> std::optional<std::size_t> {
            for (std::size_t i = 0; i < cls->properties.size(); ++i)
                if (EqualsNoCase(cls->properties[i].name, name)) return i;
            return std::nullopt;
        };
        // The properties each object carries: those selected and the keys, in the class's order.
        std::vector<bool> carried(cls->properties.size(), q->all);
        for (const std::string& name : q->properties) {
            std::optional<std::size_t> i = indexOf(name);
            if (!i) return WBEM_E_INVALID_QUERY;
            carried[*i] = true;
        }
        for (std::size_t i = 0; i < carried.size(); ++i) carried[i] = carried[i] || cls->properties[i].key;
        std::optional<std::size_t> where;
        if (q->hasWhere && !(where = indexOf(q->whereProperty))) return WBEM_E_INVALID_QUERY;

        std::vector<std::shared_ptr<const ObjectData>> objects;
        for (const std::vector<WmiValueConfig>& instance : cls->instances) {
            if (where && !Matches(instance[*where], q->whereValue)) continue;
            auto object = std::make_shared<ObjectData>();
            object->className = cls->name;
            std::string keys;
            for (std::size_t i = 0; i < cls->properties.size(); ++i) {
                if (carried[i]) object->properties.push_back({&cls->properties[i], instance[i]});
                if (cls->properties[i].key)
                    keys += (keys.empty() ? "." : ",") + cls->properties[i].name + "=" + PathValue(instance[i]);
            }
            object->path = "\\\\" + state_.Config().computerName + "\\" + ns_.name + ":" + cls->name + (keys.empty() ? "=@" : keys);
            objects.push_back(std::move(object));
        }
        result = std::make_unique<SimObjectSet>(state_, std::move(objects));
        return S_OK;
    }

private:
    MachineState& state_;
    const WmiNamespaceConfig& ns_;
};

class SimLocator final : public WmiLocator {
public:
    explicit SimLocator(MachineState& state) : state_(state) {}

    HRESULT ConnectServer(std::string_view server, std::string_view nameSpace, std::string_view, std::string_view,
                          std::string_view, std::string_view, long, std::unique_ptr<WmiServices>& services) override {
        if (state_.Fails("ConnectServer", nameSpace, false)) return FaultResult();
        if (!server.empty() && server != "." && !EqualsNoCase(server, state_.Config().computerName)) return kServerUnavailable;
        std::string wanted = NamespaceKey(nameSpace.empty() ? std::string_view("root\\cimv2") : nameSpace);
        for (const WmiNamespaceConfig& ns : state_.Config().wmi.namespaces) {
            if (NamespaceKey(ns.name) != wanted) continue;
            if (FAILED(ns.error)) return ns.error;
            services = std::make_unique<SimServices>(state_, ns);
            return S_OK;
        }
        return WBEM_E_INVALID_NAMESPACE;
    }

private:
    MachineState& state_;
};

}  // namespace

WmiConfig ParseWmiConfig(const json& node, const std::string& fileName, const std::string& pointer,
                         const std::string& machineFolder, const CodePageTable& cp) {
    if (!node.is_string()) return ParseWmi(MachineFileReader(node, fileName, pointer, &cp));
    // The namespaces in a file of their own beside machine.json.
    std::string path = FileBesideMachine(node.get<std::string>(), machineFolder);
    if (path.empty()) throw MachineError(fileName + ": " + pointer + ": expected the namespaces, or the name of a file beside the machine file");
    std::optional<json> wmi = ReadJsonFile(path);
    if (!wmi) throw MachineError(fileName + ": " + pointer + ": cannot read " + path);
    return ParseWmi(MachineFileReader(*wmi, path, "", &cp));
}

HRESULT SimWmi::CreateLocator(std::unique_ptr<WmiLocator>& locator) {
    if (state_.Fails("CoCreateInstance", "WbemScripting.SWbemLocator", false)) return FaultResult();
    if (!state_.Config().wmi.installed) return REGDB_E_CLASSNOTREG;
    locator = std::make_unique<SimLocator>(state_);
    return S_OK;
}

}  // namespace qm::sim
