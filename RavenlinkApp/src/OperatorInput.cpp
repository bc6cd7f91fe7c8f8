#include "OperatorInput.h"

#include "StopSignals.h"

#include <cerrno>
#include <csignal>
#include <initializer_list>

#include <poll.h>
#include <unistd.h>

OperatorInput::int_type OperatorInput::underflow()
{
    if (gptr() < egptr()) {
        return traits_type::to_int_type(*gptr());
    }
    for (;;) {
        if (!waitUntilReadable()) {
            return traits_type::eof();
        }
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            setg(buffer, buffer, buffer + n);
            return traits_type::to_int_type(*gptr());
        }
        // A descriptor someone made non-blocking, or a signal that is no
        // stop signal: wait again. Anything else ends the input.
        if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            return traits_type::eof();
        }
    }
}

bool OperatorInput::waitUntilReadable() const
{
    // A stop signal that came between the look at exitRequested and the
    // start of the wait would leave us asleep until the operator typed a
    // line. So the stop signals are held back while we look, and ppoll lets
    // them in only for the time it sleeps: one that comes ends the sleep.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&stopSignals, signalNumber);
    }
    sigset_t previous;
    sigprocmask(SIG_BLOCK, &stopSignals, &previous);
    bool readable = false;
    while (exitRequested == 0 && !readable) {
        pollfd pfd{fd, POLLIN, 0};
        // Errors other than an interruption are left to read() to report.
        readable = ::ppoll(&pfd, 1, nullptr, &previous) >= 0 || errno != EINTR;
    }
    // A signal held back since ppoll returned is handled here.
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    return readable && exitRequested == 0;
}
