// The JSON form of the records: numbers that read back exactly, texts that
// are valid JSON whatever the station sent, members nested as the records.
#include <StationJson.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

using ordered = nlohmann::ordered_json;

std::vector<std::string> keys(const ordered& object)
{
    std::vector<std::string> all;
    for (const auto& item : object.items()) {
        all.push_back(item.key());
    }
    return all;
}

} // namespace

TEST(StationJson, FloatsReadBackToTheSameFloat)
{
    const float values[] = {0.0F, 0.1F, 1.15F, 12.5F, -3.75F, 49.999F, 1e-45F, FLT_MIN, FLT_MAX, 16777216.0F, 1234.5677F};
    for (const float value : values) {
        const std::string text = toJsonNumber(value);
        SCOPED_TRACE(text);
        const float back = std::strtof(text.c_str(), nullptr);
        EXPECT_EQ(0, std::memcmp(&back, &value, sizeof value));
        EXPECT_EQ(text.find_first_not_of("0123456789.e+-"), std::string::npos);
    }
    EXPECT_EQ(toJsonNumber(0.1F), "0.1");
    EXPECT_EQ(toJsonNumber(-0.0F), "-0");
    EXPECT_EQ(toJsonNumber(std::numeric_limits<float>::quiet_NaN()), "null");
    EXPECT_EQ(toJsonNumber(-std::numeric_limits<float>::infinity()), "null");
}

TEST(StationJson, TextsAreValidJsonWhateverTheBytes)
{
    const struct {
        std::string bytes;
        std::string json;
    } cases[] = {
        {"LW-GS 200", R"("LW-GS 200")"},
        {"a\"b\\c/", R"("a\"b\\c/")"},
        {std::string("\n\t\r\b\f\x01\x1f\x7f", 8), R"("\n\t\r\b\f\u0001\u001f\u007f")"},
        {std::string("\0x", 2), R"("\u0000x")"},
        {"Gr\xC3\xBC\xC3\x9F" "e \xF0\x9F\x98\x80", "\"Gr\xC3\xBC\xC3\x9F" "e \xF0\x9F\x98\x80\""},
        {"\xC3", R"("\ufffd")"},                           // cut at the end
        {"\xC3(", R"("\ufffd(")"},                         // cut by an ASCII byte
        {"\xE2\x82x", R"("\ufffdx")"},                     // one mark for the whole maximal part
        {"\xC0\xAF", R"("\ufffd\ufffd")"},                 // overlong
        {"\xED\xA0\x80", R"("\ufffd\ufffd\ufffd")"},       // surrogate
        {"\xF4\x90\x80\x80", R"("\ufffd\ufffd\ufffd\ufffd")"},  // beyond U+10FFFF
        {"\xFF\xFE", R"("\ufffd\ufffd")"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        const std::string text = toJsonString(c.bytes);
        EXPECT_EQ(text, c.json);
        // The JSON library rejects invalid UTF-8, so parsing proves validity.
        EXPECT_TRUE(nlohmann::json::accept(text));
    }
}

TEST(StationJson, StatusNestsAsTheRecordsWithEveryFieldInOrder)
{
    SystemStatus status;
    status.cab.length = 12.5F;
    status.sysState.systemTime = 4294967295U;
    status.env.temp2 = -3.5F;
    const ordered json = ordered::parse(toJson(status));
    EXPECT_EQ(keys(json), (std::vector<std::string>{"configStatus", "cab", "env", "energyGS", "energyUAV", "sysState"}));
    EXPECT_EQ(keys(json["cab"]), (std::vector<std::string>{"length", "speed", "retStatus", "retTorque", "retStart",
                                                            "tetherStatus", "guideStatus", "reelStatus"}));
    EXPECT_EQ(json["cab"]["length"], 12.5);
    EXPECT_EQ(json["env"]["temp2"], -3.5);
    EXPECT_EQ(json["sysState"]["systemTime"], 4294967295U);
    EXPECT_EQ(json["energyUAV"]["extSuplStatus"], 8);

    // The flat fields name every leaf of the same object, in the same order.
    std::vector<std::string> flat;
    for (const auto& group : json.items()) {
        for (const auto& leaf : group.value().items()) {
            flat.push_back(group.key() + "." + leaf.key() + "=" + leaf.value().dump());
        }
    }
    std::vector<std::string> fields;
    for (const JsonField& field : toJsonFields(status)) {
        fields.push_back(field.name + "=" + field.value);
    }
    EXPECT_EQ(fields, flat);
}

TEST(StationJson, DetailsAndConfig)
{
    SystemDetails details;
    details.sn = "LW2\x01";
    details.swVersion.bbatCtrl = "1.1.2";
    details.ttm = 90061;
    const ordered json = ordered::parse(toJson(details));
    EXPECT_EQ(keys(json).front(), "productType");
    EXPECT_EQ(json["sn"], "LW2\x01");
    EXPECT_EQ(keys(json["swVersion"]), (std::vector<std::string>{"mainCtrl", "reelCtrl", "lpwrCtrl", "hpwrCtrl",
                                                                  "envCtrl", "netCtrl", "bbatCtrl"}));
    EXPECT_EQ(json["swVersion"]["bbatCtrl"], "1.1.2");
    EXPECT_EQ(json["ttm"], 90061);
    EXPECT_EQ(json.size(), 20U);

    const SystemConfig config{true, 33.0F, 2.5F, 16};
    EXPECT_EQ(toJson(config), R"({"activation":true,"retTorque":33,"retStart":2.5,"retStatus":16})");
    EXPECT_EQ(toJson(ConfigStatus{1, 0, 255, 1, 1}), R"({"cab":1,"env":0,"energyGS":255,"energyUAV":1,"sysState":1})");
}

TEST(StationJson, TimesAreUtcWithMilliseconds)
{
    using std::chrono::milliseconds;
    const auto at = [](long long ms) { return std::chrono::system_clock::time_point(milliseconds(ms)); };
    EXPECT_EQ(toIsoTime(at(0)), "1970-01-01T00:00:00.000Z");
    EXPECT_EQ(toIsoTime(at(1700000000123)), "2023-11-14T22:13:20.123Z");
    EXPECT_EQ(toIsoTime(at(-1)), "1969-12-31T23:59:59.999Z");

    const ordered record = ordered::parse(toTimedJson(at(1700000000123), SystemStatus{}));
    EXPECT_EQ(keys(record), (std::vector<std::string>{"time", "status"}));
    EXPECT_EQ(record["time"], "2023-11-14T22:13:20.123Z");
    EXPECT_EQ(ordered::parse(toTimedJson(at(5), SystemDetails{}))["details"]["networkType"], 255);
}

// Programs build their own lines (results, findings, ports) with these, so
// a name or a text with quotes or control bytes must never break the line.
TEST(StationJson, ObjectsAndArraysEscapeEveryTextAndKeepTheOrder)
{
    using ravenlink::JsonArray;
    using ravenlink::JsonObject;
    EXPECT_EQ(JsonObject().str(), "{}");
    EXPECT_EQ(JsonArray().str(), "[]");
    EXPECT_EQ(JsonObject().add("ok", true).add("sent", 50).str(), R"({"ok":true,"sent":50})");
    const std::string line = JsonObject()
                                 .add("na\"me", std::string("a\nb\x01"))
                                 .add("n", -7LL)
                                 .add("u", 18446744073709551615ULL)
                                 .add("f", 0.1F)
                                 .add("d", 0.1)
                                 .add("inf", std::numeric_limits<double>::infinity())
                                 .addNull("none")
                                 .addJson("list", JsonArray().add("x").add(false).addNull().str())
                                 .str();
    EXPECT_EQ(line, R"({"na\"me":"a\nb\u0001","n":-7,"u":18446744073709551615,"f":0.1,"d":0.1,"inf":null,)"
                    R"("none":null,"list":["x",false,null]})");
    EXPECT_EQ(ordered::parse(line).size(), 8U);
}

TEST(StationJson, FindingsAndPortsAsArrays)
{
    const std::vector<SystemFinding> findings = {{FindingSeverity::error, "temperature 71\xF8" "C"},
                                                 {FindingSeverity::warning, "low \"mains\""}};
    EXPECT_EQ(ravenlink::toJson(findings),
              "[{\"severity\":\"error\",\"text\":\"temperature 71\xC2\xB0" "C\"},"
              "{\"severity\":\"warning\",\"text\":\"low \\\"mains\\\"\"}]");
    EXPECT_EQ(ravenlink::toJson(std::vector<SystemFinding>{}), "[]");
    const std::vector<ravenlink::PortInfo> ports = {{"/dev/ttyUSB0", "USB Serial", "USB VID:PID=0403:6001"}};
    EXPECT_EQ(ravenlink::toJson(ports),
              R"([{"port":"/dev/ttyUSB0","description":"USB Serial","hardwareId":"USB VID:PID=0403:6001"}])");
}
