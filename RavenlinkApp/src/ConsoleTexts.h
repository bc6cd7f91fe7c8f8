/*!
 * \file ConsoleTexts.h
 * \brief The console's fixed texts: program banner, library information
 * block, usage, option menu, and the prompts with the bounds of their
 * answers.
 */
#ifndef RAVENLINKAPP_CONSOLE_TEXTS_H
#define RAVENLINKAPP_CONSOLE_TEXTS_H

#include <iosfwd>
#include <string>

/*! Library build, copied once from the library at start-up. */
extern std::string libraryBuild;
/*! Communication protocol version the library speaks, copied once at start-up. */
extern std::string protocolVersion;

/*! Writes the framed program banner and an empty line to \p os. */
void printAppBanner(std::ostream& os);
/*! Writes the library information block from libraryBuild and protocolVersion to \p os. */
void printLibraryVersion(std::ostream& os);
/*! Writes the program banner, the library information block and the usage to \p os. */
void printUsage(std::ostream& os);
/*! Writes the program banner and the option menu to \p os. */
void printOptions(std::ostream& os);

/*! One value the console asks for: the prompt and the answers it takes. */
template <typename T>
struct ConsolePrompt {
    const char* text;
    T minimum;
    T maximum;
};

namespace prompts {
/*! The torque, in the bounds every front end takes (StationVocabulary.h). */
extern const ConsolePrompt<float> torque;
/*! The start length, from 0 upwards; the library applies the 0.3 m minimum. */
extern const ConsolePrompt<float> startLength;
/*! The activation, 0 or 1. */
extern const ConsolePrompt<int> activation;
/*! The connection timeout, 0 ms upwards. */
extern const ConsolePrompt<int> timeout;
} // namespace prompts

#endif // RAVENLINKAPP_CONSOLE_TEXTS_H
