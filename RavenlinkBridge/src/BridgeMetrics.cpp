// The exposition follows the Prometheus text format 0.0.4: one HELP and one
// TYPE line per family, then its samples; base units (metres, seconds,
// volts, ratios), counters ending in _total, and no label but the station,
// a sensor's number and the closed sets of reasons and outcomes. Readings
// are written from the float the library holds with the fewest digits that
// give it back, so that 23.1 m is exported as 23.1 and not 23.100000381.
#include "BridgeMetrics.h"

#include <StationJson.h>
#include <StationReadings.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace bridge {

namespace {

using SystemClock = std::chrono::system_clock;

const char* const reasonNames[failureReasonCount] = {"timeout", "malformed", "refused", "port", "other"};
const char* const outcomeNames[commandOutcomeCount] = {"done", "failed", "not_run", "refused"};

std::string number(double value)
{
    if (std::isnan(value)) {
        return "NaN";
    }
    if (std::isinf(value)) {
        return value > 0 ? "+Inf" : "-Inf";
    }
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, end);
}

// A reading as the station gave it: the float's shortest form, as the
// library's JSON writer gives it; the exposition's own words where JSON
// has none.
std::string reading(float value) { return std::isfinite(value) ? toJsonNumber(value) : number(value); }

double secondsSinceEpoch(SystemClock::time_point at)
{
    return static_cast<double>(std::chrono::duration_cast<std::chrono::milliseconds>(at.time_since_epoch()).count()) /
           1000.0;
}

// Label values are escaped as the format asks; station ids never need it,
// a version might.
std::string labelValue(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        if (c == '\\' || c == '"') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    return out;
}

// One family: its header and every sample, or nothing without a sample.
class Family {
public:
    Family(std::string& out, const char* name, const char* type, const char* help)
        : out(out), name(name), type(type), help(help)
    {
    }

    void sample(const std::string& labels, const std::string& value, const char* suffix = "")
    {
        if (!headed) {
            out += "# HELP ";
            out += name;
            out += ' ';
            out += help;
            out += "\n# TYPE ";
            out += name;
            out += ' ';
            out += type;
            out += '\n';
            headed = true;
        }
        out += name;
        out += suffix;
        if (!labels.empty()) {
            out += '{';
            out += labels;
            out += '}';
        }
        out += ' ';
        out += value;
        out += '\n';
    }

private:
    std::string& out;
    const char* name;
    const char* type;
    const char* help;
    bool headed = false;
};

using Stations = std::vector<std::pair<std::string, StationFigures>>;

std::string stationLabel(const std::string& id) { return "station=\"" + labelValue(id) + "\""; }

// A counter per station and value of \p label (\p names, in the order of
// the station's \p counts).
template <std::size_t N>
void countersBy(std::string& out, const char* name, const char* help, const Stations& stations, const char* label,
                const char* const (&names)[N], std::array<std::uint64_t, N> StationFigures::*counts)
{
    Family family(out, name, "counter", help);
    for (const auto& [id, figures] : stations) {
        for (std::size_t i = 0; i < N; ++i) {
            family.sample(stationLabel(id) + "," + label + "=\"" + names[i] + "\"", std::to_string((figures.*counts)[i]));
        }
    }
}

// A gauge of one reading per station, where the station's latest reading
// has it.
template <typename Pick>
void readingFamily(std::string& out, const Stations& stations, const char* name, const char* help, Pick pick)
{
    Family family(out, name, "gauge", help);
    for (const auto& [id, figures] : stations) {
        if (figures.status) {
            if (const std::optional<std::string> value = pick(*figures.status, figures.delivered)) {
                family.sample(stationLabel(id), *value);
            }
        }
    }
}

// A metric has a sample only while the station measured it: a failed part
// is as absent as a missing one, for Prometheus has no "unknown" value.
bool measured(ravenlink::Presence presence) { return presence == ravenlink::Presence::value; }

// Percent as a ratio, from the percent's shortest form, so that 55 % is
// 0.55 and not 0.55000001.
std::string ratio(float percent) { return reading(percent / 100.0F); }

void renderReadings(std::string& out, const Stations& stations)
{
    using Value = std::optional<std::string>;
    readingFamily(out, stations, "ravenlink_cable_length_metres", "Cable unwound from the reel.",
                  [](const SystemStatus& s, const StatusGroups& d) -> Value {
                      return d.cab ? Value(reading(s.cab.length)) : std::nullopt;
                  });
    readingFamily(out, stations, "ravenlink_cable_speed_metres_per_second", "Speed of the cable on the reel.",
                  [](const SystemStatus& s, const StatusGroups& d) -> Value {
                      return d.cab ? Value(reading(s.cab.speed)) : std::nullopt;
                  });
    readingFamily(out, stations, "ravenlink_cable_retraction_torque_ratio",
                  "Torque of the cable retraction, as a ratio of its maximum (the station's percent / 100).",
                  [](const SystemStatus& s, const StatusGroups& d) -> Value {
                      return d.cab ? Value(ratio(s.cab.retTorque)) : std::nullopt;
                  });
    {
        Family family(out, "ravenlink_temperature_celsius", "gauge",
                      "Temperature at sensor 1 (system board) to 4, where the sensor reports a value.");
        for (const auto& [id, figures] : stations) {
            if (!figures.status || !figures.delivered.env) {
                continue;
            }
            const EnvStatus& env = figures.status->env;
            const float temperatures[] = {env.temp1, env.temp2, env.temp3, env.temp4};
            for (int k = 1; k <= 4; ++k) {
                if (measured(ravenlink::temperaturePresence(env, k))) {
                    family.sample(stationLabel(id) + ",sensor=\"" + std::to_string(k) + "\"",
                                  reading(temperatures[k - 1]));
                }
            }
        }
    }
    readingFamily(out, stations, "ravenlink_humidity_ratio", "Relative humidity at sensor 1, as a ratio.",
                  [](const SystemStatus& s, const StatusGroups& d) -> Value {
                      const bool has = d.env && measured(ravenlink::climatePresence(s.env));
                      return has ? Value(ratio(s.env.hum1)) : std::nullopt;
                  });
    readingFamily(out, stations, "ravenlink_pressure_pascals", "Air pressure at sensor 1.",
                  [](const SystemStatus& s, const StatusGroups& d) -> Value {
                      const bool has = d.env && measured(ravenlink::climatePresence(s.env));
                      return has ? Value(reading(s.env.press1 * 100.0F)) : std::nullopt;
                  });
    const auto mains = [](float EnergyGSStatus::*field) {
        return [field](const SystemStatus& s, const StatusGroups& d) -> Value {
            const bool has = d.energyGS && measured(ravenlink::mainsPresence(s.energyGS));
            return has ? Value(reading(s.energyGS.*field)) : std::nullopt;
        };
    };
    readingFamily(out, stations, "ravenlink_mains_voltage_volts", "Mains input voltage.", mains(&EnergyGSStatus::mainsU));
    readingFamily(out, stations, "ravenlink_mains_current_amperes", "Mains input current.",
                  mains(&EnergyGSStatus::mainsI));
    readingFamily(out, stations, "ravenlink_mains_frequency_hertz", "Mains input frequency.",
                  mains(&EnergyGSStatus::mainsF));
    const auto uav = [](float EnergyUAVStatus::*field) {
        return [field](const SystemStatus& s, const StatusGroups& d) -> Value {
            return d.energyUAV ? Value(reading(s.energyUAV.*field)) : std::nullopt;
        };
    };
    readingFamily(out, stations, "ravenlink_uav_supply_voltage_volts", "Voltage of the UAV's supply through the tether.",
                  uav(&EnergyUAVStatus::uavSuplU));
    readingFamily(out, stations, "ravenlink_uav_supply_current_amperes", "Current of the UAV's supply through the tether.",
                  uav(&EnergyUAVStatus::uavSuplI));
    readingFamily(out, stations, "ravenlink_uav_power_watts", "Power drawn by the UAV through the tether.",
                  uav(&EnergyUAVStatus::uavPower));
    readingFamily(out, stations, "ravenlink_system_error", "1 while the station reports a system error, else 0.",
                  [](const SystemStatus& s, const StatusGroups& d) -> Value {
                      return d.sysState ? Value(s.sysState.error != 0 ? "1" : "0") : std::nullopt;
                  });
}

} // namespace

const char* reasonName(FailureReason reason) { return reasonNames[static_cast<std::size_t>(reason)]; }

const char* outcomeName(CommandOutcome outcome) { return outcomeNames[static_cast<std::size_t>(outcome)]; }

FailureReason failureReason(const std::exception& failure)
{
    const char* const text = failure.what();
    const auto has = [text](const char* part) { return std::strstr(text, part) != nullptr; };
    if (dynamic_cast<const HALVERN::IOException*>(&failure) != nullptr) {
        if (has("imeout") || has("did not end in time")) {
            return FailureReason::timeout;
        }
        // A reply too long for any record is a line that carries no reply.
        if (has("reply exceeds")) {
            return FailureReason::malformed;
        }
        return FailureReason::port;
    }
    if (dynamic_cast<const HALVERN::DataException*>(&failure) != nullptr) {
        // A failure status in a reply that is otherwise sound is the
        // station's answer; everything else is a reply that cannot be used.
        if (has("checkReply: ") && !has("malformed") && !has("another request")) {
            return FailureReason::refused;
        }
        return FailureReason::malformed;
    }
    return FailureReason::other;
}

std::uint64_t StationFigures::failureTotal() const
{
    std::uint64_t total = 0;
    for (const std::uint64_t each : failures) {
        total += each;
    }
    return total;
}

std::uint64_t StationFigures::commandTotal() const
{
    std::uint64_t total = 0;
    for (const std::uint64_t each : commands) {
        total += each;
    }
    return total;
}

// ---- one station ----

void StationMetrics::setUp(bool up)
{
    const std::lock_guard<std::mutex> lock(mutex);
    current.up = up;
    if (!up) {
        current.status.reset();
    }
}

void StationMetrics::observe(std::chrono::duration<double> took)
{
    const double seconds = took.count();
    std::size_t bucket = 0;
    while (bucket < exchangeBuckets.size() && seconds > exchangeBuckets[bucket]) {
        ++bucket;
    }
    ++current.durations[bucket];
    current.durationSum += seconds;
    ++current.exchanges;
}

void StationMetrics::exchangeDone(std::chrono::duration<double> took)
{
    const std::lock_guard<std::mutex> lock(mutex);
    observe(took);
}

void StationMetrics::reading(const SystemStatus& status, const StatusGroups& delivered, SystemClock::time_point at)
{
    const std::lock_guard<std::mutex> lock(mutex);
    current.status = status;
    current.delivered = delivered;
    current.lastReading = at;
}

void StationMetrics::exchangeFailed(FailureReason reason, std::chrono::duration<double> took)
{
    const std::lock_guard<std::mutex> lock(mutex);
    observe(took);
    ++current.failures[static_cast<std::size_t>(reason)];
}

void StationMetrics::command(CommandOutcome outcome)
{
    const std::lock_guard<std::mutex> lock(mutex);
    ++current.commands[static_cast<std::size_t>(outcome)];
}

StationFigures StationMetrics::figures() const
{
    const std::lock_guard<std::mutex> lock(mutex);
    return current;
}

// ---- the registry ----

BridgeMetrics::BridgeMetrics(std::string version, SystemClock::time_point started)
    : bridgeVersion(std::move(version)), startTime(started)
{
}

std::shared_ptr<StationMetrics> BridgeMetrics::station(const std::string& id)
{
    const std::lock_guard<std::mutex> lock(mutex);
    for (const auto& each : stations) {
        if (each->id() == id) {
            return each;
        }
    }
    stations.push_back(std::make_shared<StationMetrics>(id));
    return stations.back();
}

void BridgeMetrics::forget(const std::string& id)
{
    const std::lock_guard<std::mutex> lock(mutex);
    stations.erase(std::remove_if(stations.begin(), stations.end(),
                                  [&](const std::shared_ptr<StationMetrics>& each) { return each->id() == id; }),
                   stations.end());
}

std::vector<std::pair<std::string, StationFigures>> BridgeMetrics::snapshot() const
{
    const std::lock_guard<std::mutex> lock(mutex);
    std::vector<std::pair<std::string, StationFigures>> figures;
    figures.reserve(stations.size());
    for (const auto& each : stations) {
        figures.emplace_back(each->id(), each->figures());
    }
    return figures;
}

std::string BridgeMetrics::render() const { return renderMetrics(bridgeVersion, startTime, snapshot()); }

std::string BridgeMetrics::health(SystemClock::time_point now, const char* state) const
{
    return healthJson(bridgeVersion, startTime, now, state, snapshot());
}

// ---- the texts ----

std::string renderMetrics(const std::string& version, SystemClock::time_point started, const Stations& stations)
{
    std::string out;
    // About 2.5 kB per station with every reading.
    out.reserve(1024 + 2560 * stations.size());
    Family(out, "ravenlink_bridge_build_info", "gauge", "The bridge's version; always 1.")
        .sample("version=\"" + labelValue(version) + "\"", "1");
    Family(out, "ravenlink_bridge_start_time_seconds", "gauge", "When the bridge started, in seconds since the epoch.")
        .sample("", number(secondsSinceEpoch(started)));
    {
        Family family(out, "ravenlink_station_up", "gauge", "1 while the station answers the bridge, else 0.");
        for (const auto& [id, figures] : stations) {
            family.sample(stationLabel(id), figures.up ? "1" : "0");
        }
    }
    {
        Family family(out, "ravenlink_exchanges_total", "counter",
                      "Exchanges with the station: connects with their details reading, and status readings.");
        for (const auto& [id, figures] : stations) {
            family.sample(stationLabel(id), std::to_string(figures.exchanges));
        }
    }
    countersBy(out, "ravenlink_exchange_failures_total", "Exchanges with the station that failed, by reason.", stations,
               "reason", reasonNames, &StationFigures::failures);
    {
        Family family(out, "ravenlink_exchange_duration_seconds", "histogram",
                      "Time of each exchange with the station, failed ones included.");
        for (const auto& [id, figures] : stations) {
            const std::string label = stationLabel(id);
            std::uint64_t cumulative = 0;
            for (std::size_t b = 0; b < exchangeBuckets.size(); ++b) {
                cumulative += figures.durations[b];
                family.sample(label + ",le=\"" + number(exchangeBuckets[b]) + "\"", std::to_string(cumulative), "_bucket");
            }
            cumulative += figures.durations.back();
            family.sample(label + ",le=\"+Inf\"", std::to_string(cumulative), "_bucket");
            family.sample(label, number(figures.durationSum), "_sum");
            family.sample(label, std::to_string(cumulative), "_count");
        }
    }
    countersBy(out, "ravenlink_commands_total", "Commands from the cmd topic, by how they ended.", stations, "outcome",
               outcomeNames, &StationFigures::commands);
    {
        Family family(out, "ravenlink_last_reading_timestamp_seconds", "gauge",
                      "When the last status reading came, in seconds since the epoch.");
        for (const auto& [id, figures] : stations) {
            if (figures.lastReading) {
                family.sample(stationLabel(id), number(secondsSinceEpoch(*figures.lastReading)));
            }
        }
    }
    renderReadings(out, stations);
    return out;
}

std::string healthJson(const std::string& version, SystemClock::time_point started, SystemClock::time_point now,
                       const char* state, const Stations& stations)
{
    std::uint64_t exchanges = 0;
    std::uint64_t failures = 0;
    std::uint64_t commands = 0;
    std::size_t online = 0;
    ravenlink::JsonArray served;
    for (const auto& [id, figures] : stations) {
        exchanges += figures.exchanges;
        failures += figures.failureTotal();
        commands += figures.commandTotal();
        online += figures.up ? 1 : 0;
        served.addJson(ravenlink::JsonObject()
                           .add("id", id)
                           .add("up", figures.up)
                           .add("exchanges", figures.exchanges)
                           .add("failures", figures.failureTotal())
                           .add("commands", figures.commandTotal())
                           .str());
    }
    const auto uptime = std::chrono::duration_cast<std::chrono::seconds>(now - started).count();
    return ravenlink::JsonObject()
        .add("time", toIsoTime(now))
        .add("state", state)
        .add("version", version)
        .add("uptime", uptime < 0 ? 0 : uptime)
        .add("stations", stations.size())
        .add("online", online)
        .add("exchanges", exchanges)
        .add("failures", failures)
        .add("commands", commands)
        .addJson("served", served.str())
        .str();
}

std::vector<std::string> exportedMetricNames()
{
    // Every family once, from the exposition of a station with every
    // reading: the list cannot drift from what is rendered.
    StationFigures full;
    full.status = SystemStatus{};
    full.status->env.envSensor1Status = 0;
    full.status->env.envSensor2Status = 0;
    full.status->env.envSensor3Status = 0;
    full.status->env.envSensor4Status = 0;
    full.status->energyGS.mainsStatus = 0;
    full.delivered = StatusGroups::all();
    full.lastReading = SystemClock::time_point{};
    const std::string text = renderMetrics("", SystemClock::time_point{}, {{"a", full}});
    std::vector<std::string> names;
    std::size_t at = 0;
    while ((at = text.find("# TYPE ", at)) != std::string::npos) {
        at += 7;
        const std::size_t space = text.find(' ', at);
        const std::string name = text.substr(at, space - at);
        if (text.compare(space + 1, 9, "histogram") == 0) {
            for (const char* suffix : {"_bucket", "_sum", "_count"}) {
                names.push_back(name + suffix);
            }
        } else {
            names.push_back(name);
        }
    }
    return names;
}

} // namespace bridge
