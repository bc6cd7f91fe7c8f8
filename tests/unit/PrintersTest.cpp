// Every printing operation of the library on a caller's stream: one
// insertion, and the stream given back as it came, exceptions mask included.
#include "StationLink.h"

#include <gtest/gtest.h>

#include <functional>
#include <iomanip>
#include <sstream>
#include <string>

namespace {

struct Printer {
    const char* name;
    std::function<void(StationLink&, std::ostream&)> print;
};

const Printer printers[] = {
    {"printLibraryInfo", [](StationLink& link, std::ostream& os) { link.printLibraryInfo(os); }},
    {"printPorts", [](StationLink& link, std::ostream& os) { link.printPorts(os); }},
    {"printSystemStatus", [](StationLink& link, std::ostream& os) { link.printSystemStatus(SystemStatus(), os); }},
    {"printSystemDetails",
     [](StationLink& link, std::ostream& os) { link.printSystemDetails(SystemDetails(), os); }},
};

} // namespace

TEST(Printers, EveryPrinterToleratesAnExceptionsMaskAndRestoresTheFormat)
{
    StationLink link;
    for (const Printer& printer : printers) {
        SCOPED_TRACE(printer.name);
        std::ostringstream plain;
        printer.print(link, plain);

        // Every setting a number could be printed by: the output must not
        // change, and the caller gets each setting back.
        std::ostringstream guarded;
        guarded.exceptions(std::ios::badbit | std::ios::failbit);
        guarded << std::setw(17) << std::setfill('~') << std::hex << std::showpos << std::showbase
                << std::uppercase << std::scientific << std::left << std::setprecision(2);
        const std::ios::fmtflags flags = guarded.flags();
        EXPECT_NO_THROW(printer.print(link, guarded));

        EXPECT_EQ(guarded.str(), plain.str());
        EXPECT_EQ(guarded.exceptions(), std::ios::badbit | std::ios::failbit);
        EXPECT_EQ(guarded.width(), 17);
        EXPECT_EQ(guarded.fill(), '~');
        EXPECT_EQ(guarded.flags(), flags);
        EXPECT_EQ(guarded.precision(), 2);
    }
}
