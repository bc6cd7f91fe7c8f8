/*!
 * \file Prompts.h
 * \brief The operator's prompts: port name, menu choice and number values.
 *
 * Every prompt returns false once standard input has ended, so that the
 * caller can shut down instead of asking again for ever, and once a stop is
 * requested (exitRequested), even when an answer was read: nothing typed
 * after Ctrl-C is acted on. A prompt that returns false finishes its output
 * line first.
 */
#ifndef RAVENLINKAPP_PROMPTS_H
#define RAVENLINKAPP_PROMPTS_H

#include <iosfwd>
#include <string>

/*!
 * Prints "connect to port: " and reads one whitespace-delimited word; the rest
 * of the line stays in the input.
 * \return false when the input ended before a word was read, or a stop is requested
 */
[[nodiscard]] bool promptPortName(std::istream& in, std::ostream& out, std::string& portName);

/*!
 * Discards the rest of the current input line, shows the menu and reads the
 * option number. Input that is not a number shows the menu again; a
 * well-formed number is returned whatever its value.
 * \return false when the input has ended or a stop is requested
 */
[[nodiscard]] bool promptChoice(std::istream& in, std::ostream& out, int& usrInput);

/*!
 * Discards the rest of the current input line, prints \p prompt and reads a
 * number until one in [minimum, maximum] is typed.
 * \return false when the input has ended or a stop is requested
 */
[[nodiscard]] bool promptValue(std::istream& in, std::ostream& out, const char* prompt, float minimum,
                               float maximum, float& value);
/*! \copydoc promptValue(std::istream&, std::ostream&, const char*, float, float, float&) */
[[nodiscard]] bool promptValue(std::istream& in, std::ostream& out, const char* prompt, int minimum,
                               int maximum, int& value);

#endif // RAVENLINKAPP_PROMPTS_H
