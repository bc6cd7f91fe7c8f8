// The console's own texts as the operator sees them, byte for byte: banners,
// the menu and every prompt. Tests compare whole outputs against these, so a
// changed character fails every test that shows it.
#ifndef RAVENLINK_TESTS_GOLDEN_TEXTS_H
#define RAVENLINK_TESTS_GOLDEN_TEXTS_H

#include <StationLink.h>

#include <sstream>
#include <string>

namespace golden {

inline const std::string programBanner =
    "########################\n"
    "# Halvern RavenlinkApp #\n"
    "########################\n"
    "\n";

/// What option 10 prints, and the start of the program after its banner.
inline const std::string libraryInfo =
    "Halvern Loftward Ravenlink Library\n"
    "Library build: 23\n"
    "Communication protocol version: 1.20\n"
    "\n";

inline const std::string portPrompt = "connect to port: ";
inline const std::string choicePrompt = "Choose one option from list: ";
inline const std::string torquePrompt = "Set tether cable retraction torque in % [0 ... 100]: ";
inline const std::string lengthPrompt = "Set tether cable retraction start length in m (Minimum 0.3m): ";
inline const std::string activationPrompt = "Set tether activation [0 => Off / 1 => On]: ";
inline const std::string timeoutPrompt = "Set new connection timeout in ms: ";

/// The menu as shown before each choice, with the line end printed after
/// the answer.
inline const std::string menu = "\n" + programBanner +
                                "Options to control Halvern Loftward ground station.\n"
                                "\n"
                                " 1 ... Get current system status.\n"
                                " 2 ... Get system details.\n"
                                " 3 ... Activate system.\n"
                                " 4 ... Deactivate system.\n"
                                " 5 ... Set tether cable retraction torque.\n"
                                " 6 ... Set tether cable retraction start length.\n"
                                " 7 ... Set system configuration parameters.\n"
                                "\n"
                                " 9 ... Set connection timeouts.\n"
                                "10 ... Print Ravenlink Library version information.\n"
                                "11 ... Exit Halvern RavenlinkApp.\n" +
                                choicePrompt + "\n";

/// Everything the program shows up to the port prompt. The port list is
/// the machine's own; the library prints the same list here.
inline std::string startText()
{
    StationLink ravenlink;
    std::ostringstream ports;
    ravenlink.printPorts(ports);
    return programBanner + libraryInfo + "Selectable serial ports:\n" + ports.str() + portPrompt;
}

} // namespace golden

#endif // RAVENLINK_TESTS_GOLDEN_TEXTS_H
