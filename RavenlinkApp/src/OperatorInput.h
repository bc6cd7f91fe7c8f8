/*!
 * \file OperatorInput.h
 * \brief The operator's input as a stream buffer that stops waiting when a
 * stop is requested.
 */
#ifndef RAVENLINKAPP_OPERATOR_INPUT_H
#define RAVENLINKAPP_OPERATOR_INPUT_H

#include <streambuf>

/*!
 * Reads a file descriptor (the program's standard input) in pieces. While
 * nothing is waiting to be read it sleeps until input arrives or a stop
 * signal comes; once exitRequested is set it reports the end of the input,
 * so that the prompt reading from it returns without a line being typed.
 */
class OperatorInput final : public std::streambuf {
public:
    /*! \param fd the descriptor to read; it stays open and owned by the caller */
    explicit OperatorInput(int fd) : fd(fd) {}

    OperatorInput(const OperatorInput&) = delete;
    OperatorInput& operator=(const OperatorInput&) = delete;

protected:
    int_type underflow() override;

private:
    // False once a stop is requested; true when a read will not block (or
    // will report the descriptor's failure).
    bool waitUntilReadable() const;

    int fd;
    char buffer[4096] = {};
};

#endif // RAVENLINKAPP_OPERATOR_INPUT_H
