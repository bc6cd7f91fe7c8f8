/*
 * c-station: a minimal ground station in plain C, built on nothing but the
 * Ravenlink composer (StationComposer.h).
 *
 * It opens a pseudo-terminal, prints "Station ready on PATH", and answers
 * the console's handshake ("GET_PROTOCOL") and status reads
 * ("GET_SYSTEM_STATUS") with replies composed from its store of values.
 * Every reply it sends is also printed on standard output. It ends when the
 * other side closes the port, or after 60 s without one.
 */
#define _XOPEN_SOURCE 600 /* posix_openpt, grantpt, unlockpt, ptsname */
#define _DEFAULT_SOURCE   /* cfmakeraw */

#include <StationComposer.h>

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

/* Readings of a station whose UAV hovers at 42 m of cable. */
static void set_readings(void)
{
    setConfigCab(1);
    setConfigEnv(1);
    setConfigEnergyGS(1);
    setConfigEnergyUAV(1);
    setConfigSysState(1);
    setActivation(16);
    setLength(4200);
    setSpeed(0);
    setTetherStatus(0);
    setTemp1(21);
    setHum1(40);
    setPress1(1013);
    setError(0);
}

static int open_port(void)
{
    struct termios raw;
    int fd = posix_openpt(O_RDWR | O_NOCTTY);
    if (fd < 0 || grantpt(fd) != 0 || unlockpt(fd) != 0 || tcgetattr(fd, &raw) != 0) {
        return -1;
    }
    cfmakeraw(&raw);
    return tcsetattr(fd, TCSANOW, &raw) == 0 ? fd : -1;
}

/* The request's "MSG_ID", found by its key text from the composer's table. */
static unsigned long message_id(const char *request)
{
    char key[40];
    const char *at;
    snprintf(key, sizeof key, "\"%s\":", sc_key_text[SC_KEY_MSG_ID]);
    at = strstr(request, key);
    return at ? strtoul(at + strlen(key), NULL, 10) : 0;
}

static int has_command(const char *request, sc_key command)
{
    char key[40];
    snprintf(key, sizeof key, "\"%s\"", sc_key_text[command]);
    return strstr(request, key) != NULL;
}

/* Composes the reply to one request line; returns 0 when it is none we answer. */
static int compose_reply(const char *request, char *reply)
{
    sc_result (*group)(char *) = NULL;
    if (has_command(request, SC_KEY_GET_PROTOCOL)) {
        group = composeProtocolVersion;
    } else if (has_command(request, SC_KEY_GET_SYSTEM_STATUS)) {
        group = composeSystemStatus;
    } else {
        return 0;
    }
    reply[0] = '\0';
    setMsgId((uint16_t)message_id(request));
    setComStatus(0);
    return composeCom(reply) == SC_OK && appendComma(reply) == SC_OK && group(reply) == SC_OK &&
           wrapMessage(reply) == SC_OK;
}

static void answer(int fd, const char *request)
{
    char reply[SC_MESSAGE_CAPACITY];
    if (!compose_reply(request, reply)) {
        return;
    }
    printf("%s\n", reply);
    fflush(stdout);
    strcat(reply, "\n");
    if (write(fd, reply, strlen(reply)) < 0) {
        perror("c-station: write");
    }
}

int main(void)
{
    char line[4096];
    size_t used = 0;
    int served = 0;
    int fd = open_port();
    if (fd < 0) {
        perror("c-station: pseudo-terminal");
        return 1;
    }
    set_readings();
    printf("Station ready on %s\n", ptsname(fd));
    fflush(stdout);
    alarm(60);
    for (;;) {
        char c;
        ssize_t n = read(fd, &c, 1);
        if (n < 0 && errno == EIO) {
            /* Nobody has the port open: not yet, or no longer. */
            if (served) {
                break;
            }
            usleep(20000);
            continue;
        }
        if (n <= 0) {
            break;
        }
        if (c != '\n' && used < sizeof line - 1) {
            line[used++] = c;
            continue;
        }
        line[used] = '\0';
        used = 0;
        answer(fd, line);
        served = 1;
    }
    close(fd);
    return 0;
}
