// SPDX-License-Identifier: MIT
/* mapwatch: start a program and report how long it takes until one of its top-level windows
 * is viewable on the X display, without polling.
 *
 *   mapwatch [-t TIMEOUT_SECONDS] [-o REPORT_FILE] PROGRAM [ARGS...]
 *
 * Before starting the program it subscribes to the creation of top-level windows on the
 * root window; each new one is watched for map events, and the first window whose
 * _NET_WM_PID is the program's pid and whose map state is "viewable" (it and its window
 * manager frame are mapped) ends the measurement. The clock (CLOCK_MONOTONIC) starts just
 * before fork+exec.
 *
 * Report, on REPORT_FILE (opened before the clock starts, e.g. a FIFO, and not inherited by
 * the program) or else on stdout, one line each, flushed at once:
 *   pid PID
 *   mapped MILLISECONDS WINDOW_ID WIDTHxHEIGHT CPU_MILLISECONDS
 * where CPU_MILLISECONDS is the CPU time the program's threads had used by then (from
 * /proc/PID/task/x/schedstat), a figure that, unlike the wall time, load elsewhere on the
 * machine hardly changes.
 * After "mapped" it lets go of the display and stays the program's parent until the program
 * ends (SIGTERM, SIGINT and SIGHUP are passed on to it), then exits with its status.
 * If the program ends or the timeout passes before a window shows, it prints
 * "exited STATUS" or "timeout" and exits non-zero (a program still running is sent SIGKILL).
 */
#define _GNU_SOURCE
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <xcb/xcb.h>

static int sigPipe[2] = { -1, -1 };
static volatile pid_t child = -1;

static void onSignal(int sig)
{
    int saved = errno;
    if (sig == SIGCHLD) {
        char c = 'c';
        if (write(sigPipe[1], &c, 1) < 0) { }
    } else if (child > 0) {
        kill(child, sig);
    }
    errno = saved;
}

static double nowMs(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

/* CPU time used so far by the live threads of pid, in ms; -1 if unknown. */
static double cpuMs(pid_t pid)
{
    char path[64];
    snprintf(path, sizeof path, "/proc/%d/task", (int)pid);
    DIR *dir = opendir(path);
    if (!dir)
        return -1;
    unsigned long long total = 0;
    int any = 0;
    struct dirent *entry;
    while ((entry = readdir(dir))) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9')
            continue;
        char file[128];
        snprintf(file, sizeof file, "/proc/%d/task/%s/schedstat", (int)pid, entry->d_name);
        FILE *f = fopen(file, "r");
        unsigned long long ns = 0;
        if (f && fscanf(f, "%llu", &ns) == 1) {
            total += ns;
            any = 1;
        }
        if (f)
            fclose(f);
    }
    closedir(dir);
    return any ? total / 1e6 : -1;
}

struct Candidate
{
    xcb_window_t window;
    int pid; /* 0: not known yet */
};

static struct Candidate *candidates;
static size_t candidateCount, candidateCapacity;

static xcb_atom_t internAtom(xcb_connection_t *c, const char *name)
{
    xcb_intern_atom_reply_t *r
        = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, (uint16_t)strlen(name), name), NULL);
    xcb_atom_t atom = r ? r->atom : XCB_ATOM_NONE;
    free(r);
    return atom;
}

static int windowPid(xcb_connection_t *c, xcb_window_t w, xcb_atom_t pidAtom)
{
    xcb_get_property_reply_t *r = xcb_get_property_reply(
        c, xcb_get_property(c, 0, w, pidAtom, XCB_ATOM_CARDINAL, 0, 1), NULL);
    int pid = 0;
    if (r && r->format == 32 && xcb_get_property_value_length(r) >= 4)
        pid = (int)*(uint32_t *)xcb_get_property_value(r);
    free(r);
    return pid;
}

static int isViewable(xcb_connection_t *c, xcb_window_t w)
{
    xcb_get_window_attributes_reply_t *r
        = xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, w), NULL);
    int viewable = r && r->map_state == XCB_MAP_STATE_VIEWABLE;
    free(r);
    return viewable;
}

static void addCandidate(xcb_connection_t *c, xcb_window_t w)
{
    uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, w, XCB_CW_EVENT_MASK, &mask);
    if (candidateCount == candidateCapacity) {
        candidateCapacity = candidateCapacity ? candidateCapacity * 2 : 64;
        candidates = realloc(candidates, candidateCapacity * sizeof *candidates);
        if (!candidates) {
            perror("mapwatch: realloc");
            exit(2);
        }
    }
    candidates[candidateCount++] = (struct Candidate) { w, 0 };
}

/* A window of the program that is viewable, or XCB_WINDOW_NONE. */
static xcb_window_t findMapped(xcb_connection_t *c, xcb_atom_t pidAtom, pid_t pid)
{
    for (size_t i = 0; i < candidateCount; ++i) {
        struct Candidate *k = &candidates[i];
        if (k->pid == 0)
            k->pid = windowPid(c, k->window, pidAtom);
        if (k->pid == pid && isViewable(c, k->window))
            return k->window;
    }
    return XCB_WINDOW_NONE;
}

static int exitCodeOf(int status)
{
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return 1;
}

int main(int argc, char **argv)
{
    double timeoutS = 30;
    const char *reportPath = NULL;
    int argi = 1;
    while (argi + 1 < argc && argv[argi][0] == '-') {
        if (strcmp(argv[argi], "-t") == 0)
            timeoutS = atof(argv[argi + 1]);
        else if (strcmp(argv[argi], "-o") == 0)
            reportPath = argv[argi + 1];
        else
            break;
        argi += 2;
    }
    if (argi >= argc || timeoutS <= 0) {
        fprintf(stderr,
                "usage: mapwatch [-t TIMEOUT_SECONDS] [-o REPORT_FILE] PROGRAM [ARGS...]\n");
        return 2;
    }
    FILE *report = stdout;
    if (reportPath) {
        int fd = open(reportPath, O_WRONLY | O_CLOEXEC);
        if (fd < 0 || !(report = fdopen(fd, "w"))) {
            fprintf(stderr, "mapwatch: cannot open %s: %s\n", reportPath, strerror(errno));
            return 2;
        }
    }

    if (pipe2(sigPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        perror("mapwatch: pipe2");
        return 2;
    }
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = onSignal;
    sa.sa_flags = SA_RESTART;
    sigaction(SIGCHLD, &sa, NULL);
    sigaction(SIGTERM, &sa, NULL);
    sigaction(SIGINT, &sa, NULL);
    sigaction(SIGHUP, &sa, NULL);

    int screenNumber = 0;
    xcb_connection_t *c = xcb_connect(NULL, &screenNumber);
    if (xcb_connection_has_error(c)) {
        fprintf(stderr, "mapwatch: cannot open display %s\n", getenv("DISPLAY"));
        return 2;
    }
    int xfd = xcb_get_file_descriptor(c);
    fcntl(xfd, F_SETFD, FD_CLOEXEC);
    const xcb_setup_t *setup = xcb_get_setup(c);
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(setup);
    for (int i = 0; i < screenNumber; ++i)
        xcb_screen_next(&it);
    xcb_window_t root = it.data->root;
    xcb_atom_t pidAtom = internAtom(c, "_NET_WM_PID");
    uint32_t rootMask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_void_cookie_t ck
        = xcb_change_window_attributes_checked(c, root, XCB_CW_EVENT_MASK, &rootMask);
    xcb_generic_error_t *err = xcb_request_check(c, ck);
    if (err) {
        fprintf(stderr, "mapwatch: cannot watch the root window (error %d)\n", err->error_code);
        return 2;
    }

    fflush(stdout);
    const double t0 = nowMs();
    pid_t pid = fork();
    if (pid < 0) {
        perror("mapwatch: fork");
        return 2;
    }
    if (pid == 0) {
        signal(SIGCHLD, SIG_DFL);
        signal(SIGTERM, SIG_DFL);
        signal(SIGINT, SIG_DFL);
        signal(SIGHUP, SIG_DFL);
        execvp(argv[argi], argv + argi);
        fprintf(stderr, "mapwatch: cannot run %s: %s\n", argv[argi], strerror(errno));
        _exit(127);
    }
    child = pid;
    fprintf(report, "pid %d\n", (int)pid);
    fflush(report);

    xcb_window_t mapped = XCB_WINDOW_NONE;
    double t1 = 0, cpu = -1;
    int status = 0, exited = 0;
    while (mapped == XCB_WINDOW_NONE && !exited) {
        xcb_generic_event_t *ev;
        int sawMap = 0;
        while ((ev = xcb_poll_for_event(c))) {
            switch (ev->response_type & 0x7f) {
            case XCB_CREATE_NOTIFY: {
                xcb_create_notify_event_t *e = (xcb_create_notify_event_t *)ev;
                if (e->parent == root) {
                    addCandidate(c, e->window);
                    sawMap = 1; /* it may have been mapped before we listened */
                }
                break;
            }
            case XCB_MAP_NOTIFY:
            case XCB_REPARENT_NOTIFY:
                sawMap = 1;
                break;
            default:
                break;
            }
            free(ev);
        }
        if (sawMap) {
            mapped = findMapped(c, pidAtom, pid);
            if (mapped != XCB_WINDOW_NONE) {
                t1 = nowMs();
                cpu = cpuMs(pid);
                break;
            }
            continue; /* the round trips may have queued more events */
        }
        if (xcb_connection_has_error(c)) {
            fprintf(stderr, "mapwatch: lost the display\n");
            break;
        }
        pid_t w = waitpid(pid, &status, WNOHANG);
        if (w == pid) {
            exited = 1;
            break;
        }
        double left = timeoutS * 1e3 - (nowMs() - t0);
        if (left <= 0)
            break;
        struct pollfd fds[2] = { { xfd, POLLIN, 0 }, { sigPipe[0], POLLIN, 0 } };
        if (poll(fds, 2, (int)left + 1) > 0 && (fds[1].revents & POLLIN)) {
            char buf[64];
            while (read(sigPipe[0], buf, sizeof buf) > 0) { }
        }
    }

    if (mapped == XCB_WINDOW_NONE) {
        if (exited) {
            fprintf(report, "exited %d\n", exitCodeOf(status));
        } else {
            fprintf(report, "timeout\n");
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
        }
        fclose(report);
        xcb_disconnect(c);
        return 1;
    }

    unsigned width = 0, height = 0;
    xcb_get_geometry_reply_t *g = xcb_get_geometry_reply(c, xcb_get_geometry(c, mapped), NULL);
    if (g) {
        width = g->width;
        height = g->height;
    }
    free(g);
    fprintf(report, "mapped %.2f 0x%x %ux%u %.2f\n", t1 - t0, (unsigned)mapped, width, height, cpu);
    if (report == stdout)
        fflush(report);
    else
        fclose(report);
    xcb_disconnect(c);

    /* Stay the program's parent, asleep, until it ends. */
    for (;;) {
        pid_t w = waitpid(pid, &status, 0);
        if (w == pid)
            break;
        if (w < 0 && errno != EINTR)
            return 1;
    }
    return exitCodeOf(status);
}
