// The readings of a status as check's performance data: each labelled with
// its path in the status JSON ("cab.length", "env.temp1"), in the units the
// monitoring-plugin guidelines allow (s, %, c or none) and, as operators read
// them, m and C. Pure: tested directly.
#ifndef RAVENLINKCTL_PERFDATA_H
#define RAVENLINKCTL_PERFDATA_H

#include "Thresholds.h"

#include <StationLink.h>

#include <string>
#include <vector>

namespace ctl {

struct Reading {
    std::string label;  // the path in status --json
    std::string unit;   // "" for none
    bool known = false; // false: the station sent the group but no usable value ("U")
    double value = 0.0;
    std::string text;   // the value as status --json writes it
    std::string min;
    std::string max;
};

// \return every label a reading can have, in the order of the perfdata
const std::vector<std::string>& readingLabels();

// \return the readings of \p status. A group that \p delivered does not
// mark as sent gives none, and neither does a component the station says it
// does not have (code 255); a sensor or fan that reports a failure gives an
// unknown reading, as the status report shows "failure" for it.
std::vector<Reading> readingsOf(const SystemStatus& status, const StatusGroups& delivered);

// \return the performance data of \p readings: "'LABEL'=VALUE[UNIT];WARN;CRIT;MIN;MAX"
// each, blank separated, the empty fields at the end left out
std::string perfdata(const std::vector<Reading>& readings, const std::vector<Threshold>& warning,
                     const std::vector<Threshold>& critical);

// One reading judged against its thresholds.
struct ThresholdFinding {
    CheckStatus state = checkOk;
    std::string text;  // "env.temp1 is 75C, outside the critical range 70"
};

// \return a finding for each reading outside its warning or critical range
// (the critical one where both alert), and an UNKNOWN one for each threshold
// whose reading \p readings lack or do not know
std::vector<ThresholdFinding> judge(const std::vector<Reading>& readings, const std::vector<Threshold>& warning,
                                    const std::vector<Threshold>& critical);

} // namespace ctl

#endif // RAVENLINKCTL_PERFDATA_H
