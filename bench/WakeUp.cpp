// What one wake-up of a reader costs on this machine, apart from the library:
// a writer process sends a piece to a pseudo-terminal at a fixed pace (by
// default 16 bytes every 1.4 ms, as the simulator's paced line does) and a
// bare reader takes each piece with ppoll, FIONREAD and one read. The CPU of
// the reader per wake-up is the floor under the paced CPU of any receive rule
// that sees every piece as it comes.
//   ravenlink_bench_wakeup [COUNT [PIECE_BYTES [GAP_US]]]
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

double processCpuUs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

// The writer keeps the master side open until the reader is done: a closed
// master hangs the line up, and the last piece would be lost with it.
[[noreturn]] void writePaced(int master, int done, int count, int piece, long gapUs) {
    std::vector<char> bytes(static_cast<size_t>(piece), 'a');
    timespec start{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (int i = 1; i <= count; ++i) {
        // Each piece's time counts from the start, so a late wake-up does not
        // push every later piece back.
        const long long due = static_cast<long long>(start.tv_nsec) + i * gapUs * 1000LL;
        const timespec next{start.tv_sec + static_cast<time_t>(due / 1000000000), static_cast<long>(due % 1000000000)};
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
        if (write(master, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) _exit(1);
    }
    char ignored = 0;
    while (read(done, &ignored, 1) > 0) {
    }
    _exit(0);
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int piece = argc > 2 ? std::atoi(argv[2]) : 16;
    const long gapUs = argc > 3 ? std::atol(argv[3]) : 1400;
    if (count <= 0 || piece <= 0 || piece > 4096 || gapUs <= 0) {
        std::fprintf(stderr, "usage: %s [COUNT [PIECE_BYTES (1-4096) [GAP_US]]]\n", argv[0]);
        return 2;
    }
    int master = -1;
    int slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return 1;
    }
    termios raw{};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);

    int done[2] = {-1, -1};
    if (pipe(done) != 0) {
        std::perror("pipe");
        return 1;
    }
    const pid_t writer = fork();
    if (writer < 0) {
        std::perror("fork");
        return 1;
    }
    if (writer == 0) {
        close(slave);
        close(done[1]);
        writePaced(master, done[0], count, piece, gapUs);
    }
    close(master);
    close(done[0]);

    const long expected = static_cast<long>(count) * piece;
    long received = 0;
    long wakeUps = 0;
    std::vector<char> buffer(8192);
    const double start = processCpuUs();
    while (received < expected) {
        pollfd watch{slave, POLLIN, 0};
        // Silence longer than a gap and a second means the writer is gone.
        const timespec patience{1 + static_cast<time_t>(gapUs / 1000000), (gapUs % 1000000) * 1000};
        if (ppoll(&watch, 1, &patience, nullptr) <= 0) break;
        int waiting = 0;
        ioctl(slave, FIONREAD, &waiting);
        const size_t want = waiting > 0 ? static_cast<size_t>(waiting) : 1;
        const ssize_t got = read(slave, buffer.data(), want < buffer.size() ? want : buffer.size());
        if (got <= 0) break;
        received += got;
        ++wakeUps;
    }
    const double spent = processCpuUs() - start;
    close(done[1]);
    waitpid(writer, nullptr, 0);
    if (received < expected || wakeUps == 0) {
        std::fprintf(stderr, "received %ld of %ld bytes\n", received, expected);
        return 1;
    }
    std::printf("%ld wake-ups, %.1f us reader CPU per wake-up\n", wakeUps, spent / static_cast<double>(wakeUps));
    return 0;
}
