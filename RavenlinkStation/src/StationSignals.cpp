#include "StationSignals.h"

#include <cerrno>
#include <csignal>
#include <initializer_list>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t stopFlag = 0;
int wakePipe[2] = {-1, -1};

void raiseStop()
{
    stopFlag = 1;
    const char byte = 1;
    // The pipe is non-blocking: a full pipe already wakes every poll. Nobody
    // reads it, so it wakes every station's poll, however many there are.
    [[maybe_unused]] const ssize_t n = write(wakePipe[1], &byte, 1);
}

extern "C" void onStopSignal(int)
{
    const int savedErrno = errno;
    raiseStop();
    errno = savedErrno;
}

} // namespace

bool installStopHandlers()
{
    if (pipe(wakePipe) != 0) {
        return false;
    }
    for (int fd : wakePipe) {
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a blocking call returns with EINTR
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(sig, &action, nullptr);
    }
    return true;
}

bool stopRequested()
{
    return stopFlag != 0;
}

void requestStop()
{
    raiseStop();
}

int stopFd()
{
    return wakePipe[0];
}

bool pauseUnlessStopped(int ms)
{
    if (stopRequested()) {
        return false;
    }
    if (ms > 0) {
        pollfd wake{stopFd(), POLLIN, 0};
        poll(&wake, 1, ms);
    }
    return !stopRequested();
}
