// The JSON form of the records. Each record is described once, by its
// RecordFields, which name its members in declaration order; the same
// description drives the nested text and the flat list of dotted fields, so
// a CSV header and a JSON object can never disagree about names or order. The UTF-8 form
// of the reports reads UTF-8 by the same rule as the JSON strings.
#include "StationJson.h"
#include "StationFields.h"
#include "ReportText.h"
#include "StationVocabulary.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <type_traits>

namespace {

using namespace ravenlink::vocab;

// ---- record descriptions ----
//
// Each record's members and their names are StationFields.h's.

template <typename V, typename Record>
auto visit(V& v, const Record& record) -> std::enable_if_t<ravenlink::RecordFields<Record>::described>
{
    ravenlink::RecordFields<Record>::each([&](const char* name, auto member) { v(name, record.*member); });
}

// A sub-record that may not have been delivered: written as null, and each
// of its leaves as null in the flat list.
template <typename Record>
struct Maybe {
    const Record& record;
    bool present;
};

// A status with the groups that came in its reply.
struct DeliveredStatus {
    const SystemStatus& status;
    const StatusGroups& delivered;
};

template <typename V>
void visit(V& v, const DeliveredStatus& d)
{
    v("configStatus", d.status.configStatus);
    v(cabGroup.jsonKey.data(), Maybe<CableStatus>{d.status.cab, d.delivered.cab});
    v(envGroup.jsonKey.data(), Maybe<EnvStatus>{d.status.env, d.delivered.env});
    v(energyGSGroup.jsonKey.data(), Maybe<EnergyGSStatus>{d.status.energyGS, d.delivered.energyGS});
    v(energyUAVGroup.jsonKey.data(), Maybe<EnergyUAVStatus>{d.status.energyUAV, d.delivered.energyUAV});
    v(sysStateGroup.jsonKey.data(), Maybe<SysState>{d.status.sysState, d.delivered.sysState});
}

// ---- leaf values ----

std::string valueText(int value) { return std::to_string(value); }
std::string valueText(uint32_t value) { return std::to_string(value); }
std::string valueText(bool value) { return value ? "true" : "false"; }
std::string valueText(float value) { return toJsonNumber(value); }
std::string valueText(const std::string& value) { return toJsonString(value); }

// Writes one object; a sub-record becomes a nested object.
class ObjectWriter {
public:
    template <typename Record>
    static std::string write(const Record& record)
    {
        ObjectWriter writer;
        writer.text = "{";
        visit(writer, record);
        writer.text += "}";
        return writer.text;
    }

    template <typename T>
    auto operator()(const char* name, const T& value) -> decltype(valueText(value), void())
    {
        open(name);
        text += valueText(value);
    }

    template <typename Record>
    auto operator()(const char* name, const Record& record) -> decltype(visit(std::declval<ObjectWriter&>(), record))
    {
        open(name);
        text += write(record);
    }

    template <typename Record>
    void operator()(const char* name, const Maybe<Record>& maybe)
    {
        if (maybe.present) {
            (*this)(name, maybe.record);
        } else {
            open(name);
            text += "null";
        }
    }

private:
    void open(const char* name)
    {
        if (text.size() > 1) {
            text += ',';
        }
        text += '"';
        text += name;
        text += "\":";
    }

    std::string text;
};

// Collects the leaves with their dotted paths.
class FieldCollector {
public:
    std::vector<JsonField> fields;

    template <typename T>
    auto operator()(const char* name, const T& value) -> decltype(valueText(value), void())
    {
        fields.push_back({prefix + name, absent ? std::string("null") : valueText(value)});
    }

    template <typename Record>
    void operator()(const char* name, const Maybe<Record>& maybe)
    {
        absent = !maybe.present;
        (*this)(name, maybe.record);
        absent = false;
    }

    template <typename Record>
    auto operator()(const char* name, const Record& record) -> decltype(visit(std::declval<FieldCollector&>(), record))
    {
        const std::string outer = prefix;
        prefix += std::string(name) + ".";
        visit(*this, record);
        prefix = outer;
    }

private:
    std::string prefix;
    bool absent = false;
};

// ---- text escaping ----

bool continuation(unsigned char byte, unsigned char low = 0x80, unsigned char high = 0xBF)
{
    return byte >= low && byte <= high;
}

// Length of the well-formed UTF-8 sequence at \p at, or 0 for an ill-formed
// one; \p consumed is then how many bytes its maximal part spans (at least 1).
std::size_t utf8Sequence(const std::string& text, std::size_t at, std::size_t& consumed)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;   // no overlong forms
        high = lead == 0xED ? 0x9F : 0xBF;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;   // no overlong forms
        high = lead == 0xF4 ? 0x8F : 0xBF;  // nothing beyond U+10FFFF
    } else {
        consumed = 1;
        return 0;
    }
    consumed = 1;
    for (std::size_t i = 1; i < length; ++i) {
        const bool ok = at + i < text.size() && (i == 1 ? continuation(byte(at + i), low, high) : continuation(byte(at + i)));
        if (!ok) {
            return 0;
        }
        ++consumed;
    }
    return length;
}

// The one walk over UTF-8 that both the JSON strings and the UTF-8 form of
// the reports make, so that they can never disagree about what is well
// formed: an ASCII byte goes to \p ascii, a well-formed sequence is copied,
// and each ill-formed sequence (its maximal part) goes to \p illFormed with
// its first byte.
template <typename Ascii, typename IllFormed>
void walkUtf8(const std::string& text, std::string& out, Ascii ascii, IllFormed illFormed)
{
    for (std::size_t at = 0; at < text.size();) {
        const auto c = static_cast<unsigned char>(text[at]);
        if (c < 0x80) {
            ascii(out, c);
            ++at;
            continue;
        }
        std::size_t consumed = 0;
        const std::size_t length = utf8Sequence(text, at, consumed);
        if (length > 0) {
            out.append(text, at, length);
        } else {
            illFormed(out, c);
        }
        at += consumed;
    }
}

void appendEscaped(std::string& out, unsigned char c)
{
    switch (c) {
    case '"': out += "\\\""; return;
    case '\\': out += "\\\\"; return;
    case '\b': out += "\\b"; return;
    case '\f': out += "\\f"; return;
    case '\n': out += "\\n"; return;
    case '\r': out += "\\r"; return;
    case '\t': out += "\\t"; return;
    default: break;
    }
    if (c < 0x20 || c == 0x7F) {
        char code[8];
        std::snprintf(code, sizeof code, "\\u%04x", c);
        out += code;
    } else {
        out += static_cast<char>(c);
    }
}

} // namespace

bool JsonField::operator==(const JsonField& o) const { return name == o.name && value == o.value; }

std::string toJson(const ConfigStatus& config) { return ObjectWriter::write(config); }
std::string toJson(const SystemStatus& status) { return ObjectWriter::write(status); }
std::string toJson(const SwVersions& versions) { return ObjectWriter::write(versions); }
std::string toJson(const SystemDetails& details) { return ObjectWriter::write(details); }
std::string toJson(const SystemConfig& config) { return ObjectWriter::write(config); }

std::string toJson(const SystemStatus& status, const StatusGroups& delivered)
{
    return ObjectWriter::write(DeliveredStatus{status, delivered});
}

std::vector<JsonField> toJsonFields(const SystemStatus& status)
{
    FieldCollector collector;
    visit(collector, status);
    return collector.fields;
}

std::vector<JsonField> toJsonFields(const SystemStatus& status, const StatusGroups& delivered)
{
    FieldCollector collector;
    visit(collector, DeliveredStatus{status, delivered});
    return collector.fields;
}

std::string toJsonNumber(float value)
{
    if (!std::isfinite(value)) {
        return "null";
    }
    // Without a precision to_chars gives the shortest text that reads back
    // to the same float, independent of the locale.
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string toJsonString(const std::string& text)
{
    std::string out = "\"";
    out.reserve(text.size() + 2);
    walkUtf8(text, out, appendEscaped, [](std::string& to, unsigned char) { to += "\\ufffd"; });
    out += '"';
    return out;
}

std::string toIsoTime(std::chrono::system_clock::time_point time)
{
    using namespace std::chrono;
    const auto ms = time_point_cast<milliseconds>(time).time_since_epoch().count();
    // Floor division, so that times before 1970 still get a field of 0..999.
    std::int64_t seconds = ms / 1000;
    std::int64_t fraction = ms % 1000;
    if (fraction < 0) {
        fraction += 1000;
        --seconds;
    }
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm utc{};
    gmtime_r(&t, &utc);
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(fraction));
    return buffer;
}

std::string toTimedJson(std::chrono::system_clock::time_point time, const SystemStatus& status)
{
    return "{\"time\":\"" + toIsoTime(time) + "\",\"status\":" + toJson(status) + "}";
}

std::string toTimedJson(std::chrono::system_clock::time_point time, const SystemStatus& status,
                        const StatusGroups& delivered)
{
    return "{\"time\":\"" + toIsoTime(time) + "\",\"status\":" + toJson(status, delivered) + "}";
}

std::string toTimedJson(std::chrono::system_clock::time_point time, const SystemDetails& details)
{
    return "{\"time\":\"" + toIsoTime(time) + "\",\"details\":" + toJson(details) + "}";
}

std::string reportToUtf8(const std::string& report)
{
    // The reports' only byte of their own beyond ASCII is the degree sign
    // 0xF8, which can never begin a UTF-8 sequence; every other byte that is
    // not well-formed UTF-8 came from the station and is not guessed at.
    std::string out;
    out.reserve(report.size() + 8);
    walkUtf8(
        report, out, [](std::string& to, unsigned char c) { to += static_cast<char>(c); },
        [](std::string& to, unsigned char first) { to += first == 0xF8 ? "\xC2\xB0" : "\xEF\xBF\xBD"; });
    return out;
}

std::string ravenlink::toJson(const std::vector<SystemFinding>& findings)
{
    JsonArray list;
    for (const SystemFinding& finding : findings) {
        list.addJson(JsonObject()
                         .add("severity", finding.severity == FindingSeverity::error ? "error" : "warning")
                         .add("text", reportToUtf8(finding.text))
                         .str());
    }
    return list.str();
}

std::string ravenlink::toJson(const std::vector<PortInfo>& ports)
{
    JsonArray list;
    for (const PortInfo& port : ports) {
        list.addJson(
            JsonObject().add("port", port.port).add("description", port.description).add("hardwareId", port.hardwareId).str());
    }
    return list.str();
}
