// The configuration file of ravenlink-bridge, which is also ravenlinkctl's
// file of named stations: "key = value" lines (a colon may stand for the
// equals sign) in [broker], [bridge], [defaults] and [station ID] sections; blank
// lines and lines that begin with # or ; are nothing. Both programs read it
// with these functions, so that a file one of them takes reads the same in
// the other; ravenlink-web reads its own file ([broker] and [web]) with
// readConfigLine and readConfigText too. What the keys mean is each program's own. Every result carries
// its error text rather than throwing, so that each program reports it in
// its own exception with the file and line in front.
#ifndef RAVENLINK_TOOLS_CONFIG_READER_H
#define RAVENLINK_TOOLS_CONFIG_READER_H

#include <functional>
#include <map>
#include <optional>
#include <string>

namespace ravenlink::tools {

/// One line of a configuration file.
struct ConfigLine {
    enum class Kind { nothing, section, setting };
    Kind kind = Kind::nothing;
    std::string name;   ///< the section's name or the setting's key, trimmed
    std::string value;  ///< the setting's value, trimmed
    std::string error;  ///< why the line is no section and no setting ("" for none)
};

/// \return what \p line is: nothing (blank, a comment), a "[name]" section
/// header or a "key = value" setting; otherwise its error ("a section header
/// ends with ]", "expected 'key = value'")
ConfigLine readConfigLine(const std::string& line);

/// The section a header names.
struct ConfigSection {
    bool station = false;  ///< a [station ID] section; else [broker], [bridge] or [defaults]
    std::string id;        ///< the station's id
    std::string error;     ///< an unknown section, or an id that is no station id
};

/// \return the section that the header's \p name (as readConfigLine gives
/// it) opens
ConfigSection readConfigSection(const std::string& name);

/// True when \p id can name a station: 1 to 64 letters, digits, '-', '_' or
/// '.'. Topic levels and client ids are built from it, so it must be one
/// plain topic level: no separator, no wildcard, nothing invisible.
bool isStationId(const std::string& id);

/// The text of a configuration file, or why there is none.
struct ConfigText {
    std::string text;
    std::string error;  ///< "PATH: cannot read the configuration: REASON" or "PATH: the configuration file is empty"
    int reason = 0;     ///< the errno of the call that failed; 0 for an empty file
};

/// \return the whole text of the file \p path
ConfigText readConfigText(const std::string& path);

/// What a key of a section does with its value; \p key names it in errors.
using ConfigSetter = std::function<void(const std::string& value, const std::string& key)>;
using ConfigKeys = std::map<std::string, ConfigSetter>;

/// \return the whole number from \p low to \p high that \p text writes in
/// decimal digits alone, or nothing
std::optional<long> readWholeNumber(const std::string& text, long low, long high);

/// "WHAT: 'TEXT' is not a whole number from LOW to HIGH"
std::string wholeNumberError(const std::string& text, long low, long high, const std::string& what);

/// readWholeNumber's number. \throw Error with wholeNumberError's text
template <class Error>
long wholeNumber(const std::string& text, long low, long high, const std::string& what)
{
    const std::optional<long> number = readWholeNumber(text, low, high);
    if (!number) {
        throw Error(wholeNumberError(text, low, high, what));
    }
    return *number;
}

/// The [broker] keys that ravenlink-bridge and ravenlink-web read alike,
/// into \p broker (a struct with their fields): host, port, the TLS files (a
/// CA file switches TLS on), topic-prefix and keepalive. A value that
/// cannot be used throws \p Error with "KEY: reason".
template <class Error, class Broker>
ConfigKeys commonBrokerKeys(Broker& broker)
{
    const auto whole = [](const std::string& value, const std::string& key, long low, long high) {
        return static_cast<int>(wholeNumber<Error>(value, low, high, key));
    };
    return {
        {"host", [&broker](const std::string& v, const std::string& k) {
             if (v.empty()) {
                 throw Error(k + ": empty");
             }
             broker.host = v;
         }},
        {"port", [&broker, whole](const std::string& v, const std::string& k) { broker.port = whole(v, k, 1, 65535); }},
        {"ca-file", [&broker](const std::string& v, const std::string&) {
             broker.caFile = v;
             broker.tls = broker.tls || !v.empty();
         }},
        {"cert-file", [&broker](const std::string& v, const std::string&) { broker.certFile = v; }},
        {"key-file", [&broker](const std::string& v, const std::string&) { broker.keyFile = v; }},
        {"topic-prefix", [&broker](const std::string& v, const std::string&) { broker.topicPrefix = v; }},
        {"keepalive", [&broker, whole](const std::string& v, const std::string& k) {
             broker.keepaliveSeconds = whole(v, k, 5, 3600);
         }},
    };
}

} // namespace ravenlink::tools

#endif // RAVENLINK_TOOLS_CONFIG_READER_H
