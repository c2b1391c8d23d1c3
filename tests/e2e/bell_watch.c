/* Runs a command while it counts the X server's bells: Wine's MessageBeep rings the bell of
 * the program's display (XBell), which the server tells to every client that asked for XKB
 * bell events. Each bell adds one line to a fresh file, named to the command in
 * TUNEGRIN_BELL_LOG, so that a test reads how many rang and when. The bells are watched
 * before the command starts; the command's exit status is this program's.
 *   bell_watch COMMAND [ARGUMENTS...]
 * Linux only, built by the host's C compiler; test-only, it never ships. */
#define _GNU_SOURCE
#include <X11/XKBlib.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: bell_watch COMMAND [ARGUMENTS...]\n");
        return 2;
    }
    int event, error, major, minor, reason = 0;
    Display* display = 0;
    /* A server whose last client has just left resets and refuses connections meanwhile. */
    for (int tries = 0; !display && tries < 100; tries++) {
        major = XkbMajorVersion, minor = XkbMinorVersion;
        display = XkbOpenDisplay(0, &event, &error, &major, &minor, &reason);
        if (!display && reason != XkbOD_ConnectionRefused) break;
        if (!display) usleep(50000);
    }
    if (!display) {
        fprintf(stderr, "bell_watch: no X display with the keyboard extension (DISPLAY=%s)\n",
                getenv("DISPLAY") ? getenv("DISPLAY") : "");
        return 2;
    }
    XkbSelectEvents(display, XkbUseCoreKbd, XkbBellNotifyMask, XkbBellNotifyMask);
    XSync(display, False);          /* asked before the command can ring */

    char logName[] = "/tmp/tunegrin-bells-XXXXXX";
    int log = mkstemp(logName);
    if (log < 0 || setenv("TUNEGRIN_BELL_LOG", logName, 1) != 0) {
        perror("bell_watch: the bell log");
        return 2;
    }
    pid_t child = fork();
    if (child < 0) {
        perror("bell_watch: fork");
        return 2;
    }
    if (child == 0) {
        close(ConnectionNumber(display));
        close(log);
        execvp(argv[1], argv + 1);
        fprintf(stderr, "bell_watch: cannot run %s\n", argv[1]);
        _exit(127);
    }
    /* The command's end and the display, in one wait: no polling on a clock. */
    int childEnd = (int)syscall(SYS_pidfd_open, child, 0);
    if (childEnd < 0) {
        perror("bell_watch: pidfd_open");
        return 2;
    }
    struct pollfd waits[2] = { { childEnd, POLLIN, 0 }, { ConnectionNumber(display), POLLIN, 0 } };
    for (;;) {
        while (XPending(display)) {
            XkbEvent seen;
            XNextEvent(display, &seen.core);
            if (seen.type == event && seen.any.xkb_type == XkbBellNotify
                && write(log, "bell\n", 5) != 5) {
                perror("bell_watch: the bell log");
                return 2;
            }
        }
        if (waits[0].revents & POLLIN) break;
        if (poll(waits, 2, -1) < 0 && errno != EINTR) {
            perror("bell_watch: poll");
            return 2;
        }
        if (waits[1].revents & (POLLHUP | POLLERR)) {
            fprintf(stderr, "bell_watch: the X display went away\n");
            return 2;
        }
    }
    int status = 0;
    waitpid(child, &status, 0);
    unlink(logName);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
