// The thresholds of check, in the monitoring-plugin range syntax, and how
// states combine. Pure: no station, no output; tested directly.
#ifndef RAVENLINKCTL_THRESHOLDS_H
#define RAVENLINKCTL_THRESHOLDS_H

#include <string>
#include <vector>

namespace ctl {

// A range as the monitoring-plugin guidelines write it, [@]START:END:
// "10" is 0 to 10, "10:" 10 to infinity, "~:10" minus infinity to 10,
// "10:20" 10 to 20. A value alerts when it lies outside START..END (the
// bounds themselves inside), or with "@" when it lies inside.
struct AlertRange {
    double start = 0.0;
    double end = 0.0;
    bool inverted = false;  // "@": alert inside
    std::string text;       // as written, for the perfdata

    bool alerts(double value) const;
};

// \return the range \p text. \throw UsageError naming \p text and the syntax:
// an empty text, a bound that is no decimal number, a start above its end,
// "~" anywhere but as the start
AlertRange parseRange(const std::string& text);

// "--warning LABEL=RANGE" or "--critical LABEL=RANGE".
struct Threshold {
    std::string label;
    AlertRange range;
};

// \return the thresholds \p texts ("LABEL=RANGE" each) of \p option
// ("--warning"), each label one of \p labels.
// \throw UsageError a text without '=', a label that is no reading, a label
// given twice, a bad range
std::vector<Threshold> parseThresholds(const std::vector<std::string>& texts, const std::string& option,
                                       const std::vector<std::string>& labels);

// \return the threshold of \p label among \p thresholds, or nullptr
const Threshold* thresholdOf(const std::vector<Threshold>& thresholds, const std::string& label);

// The states of a monitoring plugin; their numbers are check's exit status.
enum CheckStatus : int { checkOk = 0, checkWarning = 1, checkCritical = 2, checkUnknown = 3 };

// \return the worse of two states: CRITICAL over WARNING over UNKNOWN over
// OK. A state that could not be read hides no warning or fault of another
// reading, yet is never passed over as OK.
CheckStatus worseState(CheckStatus a, CheckStatus b);

} // namespace ctl

#endif // RAVENLINKCTL_THRESHOLDS_H
