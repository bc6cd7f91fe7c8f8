#include "Options.h"

#include "ConsoleTexts.h"
#include "Prompts.h"

#include <exception>
#include <istream>
#include <ostream>
#include <string>

namespace {

// One pass of the menu: the chosen option and what it works on. A failed
// library call marks the pass, which then prints neither confirmation nor
// report.
class MenuPass {
public:
    MenuPass(StationControl& station, SystemStatus& tetherStatus, std::istream& in, std::ostream& out)
        : station(station), tetherStatus(tetherStatus), in(in), out(out)
    {
    }

    // Returns false once the input has ended.
    bool perform(int usrInput);

private:
    template <typename Call>
    void guarded(Call&& call);

    template <typename T>
    bool ask(const ConsolePrompt<T>& prompt, T& value)
    {
        return promptValue(in, out, prompt.text, prompt.minimum, prompt.maximum, value);
    }

    // Asks for one value, has \p set send it and, when that worked, has
    // \p confirm print its confirmation; false once the input has ended.
    template <typename T, typename Set, typename Confirm>
    bool setValue(const ConsolePrompt<T>& prompt, Set&& set, Confirm&& confirm);

    void showStatus();
    void showDetails();
    void setActivation(bool activate);
    bool setTorque();
    bool setStartLength();
    bool setConfiguration();
    bool setTimeout();

    StationControl& station;
    SystemStatus& tetherStatus;
    std::istream& in;
    std::ostream& out;
    bool optionFailed = false;
};

bool MenuPass::perform(int usrInput)
{
    try {
        switch (usrInput) {
        case 1: showStatus(); break;
        case 2: showDetails(); break;
        case 3: setActivation(true); break;
        case 4: setActivation(false); break;
        case 5: return setTorque();
        case 6: return setStartLength();
        case 7: return setConfiguration();
        case 9: return setTimeout();
        case 10: printLibraryVersion(out); break;
        case 11: exitRequested = 1; break;
        default: break; // 8 and numbers outside the menu: the menu is shown again
        }
    } catch (const std::exception& e) {
        // Whatever fails outside the guarded call (a report, reading the
        // current timeout) ends the option; the menu follows.
        out << e.what();
    }
    return true;
}

template <typename Call>
void MenuPass::guarded(Call&& call)
{
    try {
        call();
    } catch (const std::exception& e) {
        out << e.what() << '\n';
        optionFailed = true;
    }
}

void MenuPass::showStatus()
{
    // The record keeps what earlier reads filled in; a reply may leave fields out.
    guarded([&] { station.getSystemStatus(tetherStatus); });
    out << '\n';
    if (!optionFailed) {
        station.printSystemStatus(tetherStatus, out);
        out << '\n';
    }
}

void MenuPass::showDetails()
{
    SystemDetails sysDetails;
    guarded([&] { station.getSystemDetails(sysDetails); });
    out << '\n';
    if (!optionFailed) {
        station.printSystemDetails(sysDetails, out);
        out << '\n';
    }
}

void MenuPass::setActivation(bool activate)
{
    guarded([&] { station.setSystemActivation(activate); });
    if (!optionFailed) {
        out << (activate ? "Halvern Loftward system successful activated!"
                         : "Halvern Loftward system successful deactivated!")
            << "\n\n";
    }
}

template <typename T, typename Set, typename Confirm>
bool MenuPass::setValue(const ConsolePrompt<T>& prompt, Set&& set, Confirm&& confirm)
{
    T value{};
    if (!ask(prompt, value)) {
        return false;
    }
    guarded([&] { set(value); });
    if (!optionFailed) {
        confirm(value);
        out << "\n\n";
    }
    return true;
}

bool MenuPass::setTorque()
{
    return setValue(
        prompts::torque, [&](float torque) { station.setCableRetractionTorque(torque); },
        [&](float torque) { out << "Halvern Loftward system successful set cable retraction torque to " << torque << "%!"; });
}

bool MenuPass::setStartLength()
{
    return setValue(
        prompts::startLength, [&](float startLength) { station.setCableRetractionStartLength(startLength); },
        [&](float startLength) {
            out << "Halvern Loftward system successful set cable retraction start length " << startLength << "m!";
        });
}

bool MenuPass::setConfiguration()
{
    std::string sysActStr = "Deactivate";
    float startLength = 0.0F;
    float torque = 0.0F;
    int activation = 0;
    if (!ask(prompts::startLength, startLength) ||
        !ask(prompts::torque, torque) ||
        !ask(prompts::activation, activation)) {
        return false;
    }

    // The retraction status is never sent, so it is left at its initial value.
    SystemConfig sysConf;
    sysConf.activation = activation == 1;
    sysConf.retTorque = torque;
    sysConf.retStart = startLength;
    sysActStr = activation == 1 ? "Activate" : "Deactivate";

    guarded([&] { station.setSystemConfig(sysConf); });
    if (!optionFailed) {
        out << '\n'
            << "Halvern Loftward successful update system configuration" << '\n'
            << "set cable retraction start length: " << startLength << "m" << '\n'
            << "set cable retraction torque: " << torque << "%" << '\n'
            << sysActStr << " Halvern Loftward system" << "\n\n";
    }
    return true;
}

bool MenuPass::setTimeout()
{
    // Read before printing, so that a failing read leaves no half line behind.
    const int currentTimeout = station.getConnectionTimeout();
    out << "Current connection timeout: " << currentTimeout << "ms" << '\n';
    return setValue(
        prompts::timeout, [&](int timeout) { station.setConnectionTimeout(timeout); },
        [&](int timeout) { out << "Connection timeout is set to " << timeout << "ms!"; });
}
} // namespace

void reportStartupStatus(StationControl& station, SystemStatus& tetherStatus, std::ostream& out)
{
    bool optionFailed = false;
    try {
        station.getSystemStatus(tetherStatus);
    } catch (const std::exception& e) {
        out << e.what();
        optionFailed = true;
    }
    if (!optionFailed) {
        // A report that cannot be printed is shown like a failed option: the
        // menu still follows.
        try {
            station.printSystemStatus(tetherStatus, out);
        } catch (const std::exception& e) {
            out << e.what();
        }
    }
}

void runMenuLoop(StationControl& station, SystemStatus& tetherStatus, std::istream& in, std::ostream& out)
{
    while (exitRequested == 0) {
        int usrInput = 0;
        if (!promptChoice(in, out, usrInput)) {
            return;
        }
        MenuPass pass(station, tetherStatus, in, out);
        if (!pass.perform(usrInput)) {
            return;
        }
    }
}

int shutDown(StationControl& station, std::ostream& out)
{
    try {
        station.closeConnection();
    } catch (const std::exception& e) {
        out << e.what() << '\n';
    }
    return 0;
}
