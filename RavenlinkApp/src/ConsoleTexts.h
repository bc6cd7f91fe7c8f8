/*!
 * \file ConsoleTexts.h
 * \brief The console's fixed texts: program banner, library information
 * block, usage and option menu.
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

#endif // RAVENLINKAPP_CONSOLE_TEXTS_H
