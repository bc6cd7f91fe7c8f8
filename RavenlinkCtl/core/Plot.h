// plot: a picture of a logged run, drawn by gnuplot.
#ifndef RAVENLINKCTL_PLOT_H
#define RAVENLINKCTL_PLOT_H

#include "RecordLog.h"

#include <string>

namespace ctl {

// The gnuplot script that draws \p log into \p output (SVG or PNG by its
// name's ending), data included.
std::string plotScript(const RunLog& log, const std::string& output, bool png);

} // namespace ctl

#endif // RAVENLINKCTL_PLOT_H
