#include "Thresholds.h"

#include "CommandTable.h"

#include <RavenlinkTools.h>

#include <algorithm>
#include <limits>

namespace ctl {

namespace {

const char* const rangeSyntax = "a range is END, START:, START:END or ~:END, with @ in front to alert inside it";

bool readBound(const std::string& text, double& value)
{
    return !text.empty() && ravenlink::tools::parseNumber(text, value);
}

} // namespace

bool AlertRange::alerts(double value) const
{
    const bool inside = value >= start && value <= end;
    return inverted ? inside : !inside;
}

AlertRange parseRange(const std::string& text)
{
    const auto refuse = [&text]() { return UsageError("'" + text + "' is no range: " + rangeSyntax); };
    AlertRange range;
    range.text = text;
    std::string rest = text;
    if (!rest.empty() && rest.front() == '@') {
        range.inverted = true;
        rest.erase(0, 1);
    }
    const double infinity = std::numeric_limits<double>::infinity();
    const std::size_t colon = rest.find(':');
    if (colon == std::string::npos) {
        // END alone: the start is 0.
        if (!readBound(rest, range.end)) {
            throw refuse();
        }
    } else {
        const std::string start = rest.substr(0, colon);
        const std::string end = rest.substr(colon + 1);
        if (start == "~") {
            range.start = -infinity;
        } else if (!readBound(start, range.start)) {
            throw refuse();
        }
        if (end.empty()) {
            range.end = infinity;
        } else if (!readBound(end, range.end)) {
            throw refuse();
        }
    }
    if (range.start > range.end) {
        throw UsageError("'" + text + "' is no range: its start lies above its end");
    }
    return range;
}

std::vector<Threshold> parseThresholds(const std::vector<std::string>& texts, const std::string& option,
                                       const std::vector<std::string>& labels)
{
    std::vector<Threshold> thresholds;
    for (const std::string& text : texts) {
        const std::size_t eq = text.find('=');
        if (eq == std::string::npos) {
            throw UsageError("check: " + option + ": '" + text + "' is not LABEL=RANGE");
        }
        Threshold threshold;
        threshold.label = text.substr(0, eq);
        if (std::find(labels.begin(), labels.end(), threshold.label) == labels.end()) {
            throw UsageError("check: " + option + ": '" + threshold.label +
                             "' is no reading; the readings are the perfdata labels, such as cab.length or env.temp1");
        }
        if (thresholdOf(thresholds, threshold.label) != nullptr) {
            throw UsageError("check: " + option + ": " + threshold.label + " is given twice");
        }
        try {
            threshold.range = parseRange(text.substr(eq + 1));
        } catch (const UsageError& e) {
            throw UsageError("check: " + option + ": " + threshold.label + ": " + e.what());
        }
        thresholds.push_back(threshold);
    }
    return thresholds;
}

const Threshold* thresholdOf(const std::vector<Threshold>& thresholds, const std::string& label)
{
    for (const Threshold& threshold : thresholds) {
        if (threshold.label == label) {
            return &threshold;
        }
    }
    return nullptr;
}

CheckStatus worseState(CheckStatus a, CheckStatus b)
{
    const auto rank = [](CheckStatus state) {
        return state == checkCritical ? 3 : state == checkWarning ? 2 : state == checkUnknown ? 1 : 0;
    };
    return rank(a) >= rank(b) ? a : b;
}

} // namespace ctl
