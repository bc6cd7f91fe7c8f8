// The named stations of -s NAME and --all: the [station ID] sections of the
// bridge's configuration file, read with the bridge's own line reader
// (ravenlink::tools). Of a station ravenlinkctl takes its port and its
// timeout (its own, else the one of [defaults]); the other keys and the
// [broker] section are the bridge's and are passed over.
#ifndef RAVENLINKCTL_NAMED_STATIONS_H
#define RAVENLINKCTL_NAMED_STATIONS_H

#include <string>
#include <vector>

namespace ctl {

// Where the file is when neither --stations nor RAVENLINK_STATIONS names one.
extern const char* const defaultStationsFile;

struct NamedStation {
    std::string id;
    std::string port;
    int timeoutMs = 0;  // 0: the file sets none
};

// \return the stations of the file's \p text in the order of the file;
// \p source names the file in errors.
// \throw UsageError "SOURCE:LINE: reason" for what the bridge would refuse
// in a line ravenlinkctl reads (a malformed line, an unknown section, a bad
// id, port or timeout, a key given twice); "SOURCE: reason" for a station
// without a port or named twice, or a file without stations
std::vector<NamedStation> parseStations(const std::string& text, const std::string& source);

// \return the stations of the file \p path. \throw UsageError as parseStations,
// or the file cannot be read
std::vector<NamedStation> readStations(const std::string& path);

// \return the station \p id of \p stations, read from \p source.
// \throw UsageError naming the stations there are
const NamedStation& stationNamed(const std::vector<NamedStation>& stations, const std::string& id,
                                 const std::string& source);

} // namespace ctl

#endif // RAVENLINKCTL_NAMED_STATIONS_H
