#include "Prompts.h"

#include "ConsoleTexts.h"
#include "StopSignals.h"

#include <istream>
#include <limits>
#include <ostream>

namespace {
// The count limit is the largest stream size, so a line of any length goes
// in one call and the next read starts on a fresh line.
void discardLine(std::istream& in)
{
    in.clear();
    in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
}

// A failed read at the end of the input cannot be repaired by clearing the
// error state: nothing more will arrive.
bool inputEnded(const std::istream& in) { return in.fail() && (in.eof() || in.bad()); }

// Whatever was read after the operator asked to stop must not reach the
// station.
bool stopRequested() { return exitRequested != 0; }

template <typename Number>
bool promptNumber(std::istream& in, std::ostream& out, const char* prompt, Number minimum, Number maximum,
                  Number& value)
{
    for (;;) {
        discardLine(in);
        out << prompt;
        in >> value;
        if (stopRequested() || inputEnded(in)) {
            out << '\n';
            return false;
        }
        // A failed read leaves 0, which every range accepts, so the stream
        // state has to be checked as well. A number read completely is kept
        // even when the input ends right behind it.
        if (!in.fail() && value >= minimum && value <= maximum) {
            return true;
        }
    }
}
} // namespace

bool promptPortName(std::istream& in, std::ostream& out, std::string& portName)
{
    out << "connect to port: ";
    if (in >> portName && !stopRequested()) {
        return true;
    }
    out << '\n';
    return false;
}

bool promptChoice(std::istream& in, std::ostream& out, int& usrInput)
{
    for (;;) {
        discardLine(in);
        out << '\n';
        printOptions(out);
        out << "Choose one option from list: ";
        in >> usrInput;
        out << '\n';
        if (stopRequested()) {
            return false;
        }
        if (usrInput >= 1 && usrInput <= 11) {
            return true;
        }
        if (inputEnded(in)) {
            return false;
        }
        // A well-formed number outside the menu is handed on; the menu loop
        // performs nothing for it.
        if (in.good()) {
            return true;
        }
    }
}

bool promptValue(std::istream& in, std::ostream& out, const char* prompt, float minimum, float maximum,
                 float& value)
{
    return promptNumber(in, out, prompt, minimum, maximum, value);
}

bool promptValue(std::istream& in, std::ostream& out, const char* prompt, int minimum, int maximum, int& value)
{
    return promptNumber(in, out, prompt, minimum, maximum, value);
}
