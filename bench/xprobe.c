// SPDX-License-Identifier: MIT
/* Watches a program's window from the X server's side: the damage the server
 * records on it, keys sent through XTest, and the processor time and
 * context switches of the program and of the server read from /proc.
 *
 *   xprobe [-x SERVER_PID] start-up RUNS -- PROGRAM [ARGS...]
 *       exec to the first frame with content, RUNS times
 *   xprobe [-x SERVER_PID] idle SECONDS -- PROGRAM [ARGS...]
 *       start-up, then the first screen left alone
 *   xprobe [-x SERVER_PID] game SECONDS -- PROGRAM [ARGS...]
 *       Zonbeli from start to "GAME OVER": the first screen, a game at level 6
 *       with no input, single moves, a fast drop with the down key held until
 *       the well fills, and the blink that follows; SECONDS for each
 *       measured stretch
 *
 * Prints one "key value" line per figure; what the program itself prints
 * goes to the probe's standard error. Start-up runs from exec to the first
 * damage after which the window shows content, following the program's
 * window if it is destroyed and made again. A frame is the damage that
 * reaches the server in one burst (no gap of FRAME_GAP_MS or more). */
#define _GNU_SOURCE
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xdamage.h>
#include <X11/keysym.h>
#include <dirent.h>
#include <errno.h>
#include <math.h>
#include <poll.h>
#include <signal.h>
#include <stdbool.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "surface_size.h"

#define FRAME_GAP_MS 3.0
#define TICKS_PER_SECOND 64.0
#define FALL_STEP_MS (2000.0 / TICKS_PER_SECOND)

/* The first screen is measured from this long after it appeared, once the
 * start-up's own work and any sound it opened have died down. */
static const double kSettleMs = 5000;

/* The game's surface inside its window, below the menu bar (its size in
 * surface_size.h). Cells are 35 pixels; column c starts at x = 35c + 7
 * and row r at y = 35r - 13. */
#define CELL 35
#define STRIP_X (35 * 6 + 7 + CELL / 2)
#define ROW_TOP(r) (35 * (r)-13)
#define FIRST_ROW 2
#define LAST_ROW 16
#define SLICE 29 /* pixels of a cell's column compared, clear of its edges */

static Display* dpy;
static Window root;
static int damage_event_base;

static double NowMs(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec * 1000.0 + (double)t.tv_nsec / 1e6;
}

static void SleepMs(double ms) {
  if (ms <= 0) return;
  struct timespec t = {(time_t)(ms / 1000.0), (long)(fmod(ms, 1000.0) * 1e6)};
  while (nanosleep(&t, &t) != 0 && errno == EINTR) {
  }
}

static int IgnoreXError(Display* d, XErrorEvent* e) {
  (void)d;
  (void)e;
  return 0;
}

static void Die(const char* what) {
  fprintf(stderr, "xprobe: %s\n", what);
  exit(1);
}

/* ---- /proc ---- */

#define MAX_TASKS 256

/* Runtime and context switches of every thread of a process at one moment,
 * with the process-wide total from stat, which still counts threads that
 * have ended. */
typedef struct {
  int count;
  long tid[MAX_TASKS];
  double run_ns[MAX_TASKS];
  long switches[MAX_TASKS];
  char name[MAX_TASKS][16];
  double stat_seconds;
  double at_ms;
} ProcSample;

static bool ReadFile(const char* path, char* buf, size_t size) {
  FILE* f = fopen(path, "r");
  if (!f) return false;
  size_t n = fread(buf, 1, size - 1, f);
  buf[n] = '\0';
  fclose(f);
  return true;
}

static double StatSeconds(pid_t pid) {
  char path[64], buf[2048];
  snprintf(path, sizeof path, "/proc/%d/stat", (int)pid);
  if (!ReadFile(path, buf, sizeof buf)) return 0;
  /* Fields after the command's closing parenthesis; utime and stime are
   * the 14th and 15th of the whole line. */
  const char* p = strrchr(buf, ')');
  if (!p) return 0;
  unsigned long utime = 0, stime = 0;
  if (sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime) != 2) {
    return 0;
  }
  return (double)(utime + stime) / (double)sysconf(_SC_CLK_TCK);
}

static long StatusField(const char* text, const char* key) {
  const char* p = strstr(text, key);
  return p ? strtol(p + strlen(key), NULL, 10) : 0;
}

static ProcSample Sample(pid_t pid) {
  ProcSample s;
  memset(&s, 0, sizeof s);
  s.at_ms = NowMs();
  s.stat_seconds = StatSeconds(pid);
  char path[64];
  snprintf(path, sizeof path, "/proc/%d/task", (int)pid);
  DIR* dir = opendir(path);
  if (!dir) return s;
  struct dirent* entry;
  while ((entry = readdir(dir)) != NULL && s.count < MAX_TASKS) {
    if (entry->d_name[0] == '.') continue;
    char file[128], buf[4096];
    const long tid = strtol(entry->d_name, NULL, 10);
    snprintf(file, sizeof file, "/proc/%d/task/%ld/schedstat", (int)pid, tid);
    if (!ReadFile(file, buf, sizeof buf)) continue;
    s.run_ns[s.count] = strtod(buf, NULL);
    snprintf(file, sizeof file, "/proc/%d/task/%ld/status", (int)pid, tid);
    if (!ReadFile(file, buf, sizeof buf)) continue;
    s.switches[s.count] = StatusField(buf, "voluntary_ctxt_switches:") +
                          StatusField(buf, "nonvoluntary_ctxt_switches:");
    snprintf(file, sizeof file, "/proc/%d/task/%ld/comm", (int)pid, tid);
    if (ReadFile(file, buf, sizeof buf)) {
      buf[strcspn(buf, "\n")] = '\0';
      for (char* c = buf; *c; ++c) {
        if (*c == ' ') *c = '_';
      }
      memcpy(s.name[s.count], buf, sizeof s.name[s.count] - 1);
    }
    s.tid[s.count] = tid;
    ++s.count;
  }
  closedir(dir);
  return s;
}

typedef struct {
  double cpu_percent; /* of one core */
  double switches_per_second;
  int threads;
} ProcUse;

/* Threads' own runtimes are exact to the nanosecond, but a thread that ends
 * takes its runtime along; stat keeps it, to the clock tick. So the exact
 * sum is used unless a thread ended in between. */
static ProcUse Between(const ProcSample* a, const ProcSample* b) {
  ProcUse use = {0, 0, b->count};
  const double seconds = (b->at_ms - a->at_ms) / 1000.0;
  double run_ns = 0;
  long switches = 0;
  int kept = 0;
  for (int i = 0; i < b->count; ++i) {
    double run0 = 0;
    long switches0 = 0;
    for (int j = 0; j < a->count; ++j) {
      if (a->tid[j] == b->tid[i]) {
        run0 = a->run_ns[j];
        switches0 = a->switches[j];
        ++kept;
      }
    }
    run_ns += b->run_ns[i] - run0;
    switches += b->switches[i] - switches0;
  }
  const double cpu_seconds = kept == a->count ? run_ns / 1e9 : b->stat_seconds - a->stat_seconds;
  use.cpu_percent = seconds > 0 ? cpu_seconds / seconds * 100.0 : 0;
  use.switches_per_second = seconds > 0 ? (double)switches / seconds : 0;
  return use;
}

static long PeakResidentKb(pid_t pid) {
  char path[64], buf[4096];
  snprintf(path, sizeof path, "/proc/%d/status", (int)pid);
  return ReadFile(path, buf, sizeof buf) ? StatusField(buf, "VmHWM:") : 0;
}

/* ---- statistics ---- */

static int CompareDoubles(const void* a, const void* b) {
  const double x = *(const double*)a, y = *(const double*)b;
  return (x > y) - (x < y);
}

/* Nearest-rank percentile of the first n values; sorts them. */
static double Percentile(double* v, int n, double p) {
  if (n <= 0) return NAN;
  qsort(v, (size_t)n, sizeof *v, CompareDoubles);
  int rank = (int)ceil(p / 100.0 * n);
  if (rank < 1) rank = 1;
  return v[rank - 1];
}

typedef struct {
  double* v;
  int n, cap;
} Series;

static void Push(Series* s, double x) {
  if (s->n == s->cap) {
    s->cap = s->cap ? s->cap * 2 : 64;
    s->v = realloc(s->v, (size_t)s->cap * sizeof *s->v);
    if (!s->v) Die("out of memory");
  }
  s->v[s->n++] = x;
}

/* ---- the program under test and its window ---- */

static pid_t child;
static pid_t server_pid;
static Window window;
static int surface_x, surface_y; /* the surface's origin in the window */

#define MAX_WATCHED 64
static Window watched[MAX_WATCHED];
static int watched_count;

static pid_t Launch(char** argv) {
  const pid_t pid = fork();
  if (pid < 0) Die("fork failed");
  if (pid == 0) {
    /* Standard output carries the figures alone. */
    dup2(STDERR_FILENO, STDOUT_FILENO);
    execvp(argv[0], argv);
    fprintf(stderr, "xprobe: cannot run %s: %s\n", argv[0], strerror(errno));
    _exit(127);
  }
  return pid;
}

static void Stop(pid_t pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  for (int i = 0; i < 100; ++i) {
    if (waitpid(pid, NULL, WNOHANG) == pid) return;
    SleepMs(10);
  }
  kill(pid, SIGKILL);
  waitpid(pid, NULL, 0);
}

static long WindowPid(Window w) {
  static Atom net_wm_pid;
  if (!net_wm_pid) net_wm_pid = XInternAtom(dpy, "_NET_WM_PID", False);
  Atom type;
  int format;
  unsigned long items, after;
  unsigned char* data = NULL;
  long pid = 0;
  if (XGetWindowProperty(dpy, w, net_wm_pid, 0, 1, False, XA_CARDINAL, &type, &format, &items,
                         &after, &data) == Success &&
      data && items == 1 && format == 32) {
    pid = (long)*(unsigned long*)data;
  }
  if (data) XFree(data);
  return pid;
}

/* Damage is watched on every top-level window from its creation, so that
 * nothing drawn between the map and our noticing it is missed, and a
 * window made again after the first is destroyed is watched as well. */
static void Watch(Window w) {
  if (watched_count == MAX_WATCHED) return;
  watched[watched_count++] = w;
  XDamageCreate(dpy, w, XDamageReportRawRectangles);
}

static bool Watched(Window w) {
  for (int i = 0; i < watched_count; ++i) {
    if (watched[i] == w) return true;
  }
  return false;
}

static void Unwatch(Window w) {
  for (int i = 0; i < watched_count; ++i) {
    if (watched[i] == w) watched[i] = watched[--watched_count];
  }
}

/* ---- pixels ---- */

/* A window "has content" when lines across it show the many colours of a
 * drawn screen rather than a cleared background. */
static bool HasContent(Window w) {
  XWindowAttributes a;
  if (w == None || !XGetWindowAttributes(dpy, w, &a) || a.map_state != IsViewable) return false;
  unsigned long seen[64];
  int distinct = 0;
  for (int l = 1; l < 8; ++l) {
    const int line = a.height * l / 8;
    XImage* image = XGetImage(dpy, w, 0, line, (unsigned)a.width, 1, AllPlanes, ZPixmap);
    if (!image) return false;
    for (int x = 0; x < a.width && distinct < 64; ++x) {
      const unsigned long p = XGetPixel(image, x, 0);
      int k = 0;
      while (k < distinct && seen[k] != p) ++k;
      if (k == distinct) seen[distinct++] = p;
    }
    XDestroyImage(image);
  }
  return distinct >= 8;
}

/* The middle column of the well, cell by cell. */
typedef struct {
  bool valid;
  unsigned long px[LAST_ROW + 1][SLICE];
} Strip;

static Strip ReadStrip(void) {
  Strip s;
  memset(&s, 0, sizeof s);
  const int y0 = surface_y + ROW_TOP(FIRST_ROW);
  const int h = ROW_TOP(LAST_ROW + 1) - ROW_TOP(FIRST_ROW);
  XImage* image =
      XGetImage(dpy, window, surface_x + STRIP_X, y0, 1, (unsigned)h, AllPlanes, ZPixmap);
  if (!image) return s;
  for (int r = FIRST_ROW; r <= LAST_ROW; ++r) {
    for (int k = 0; k < SLICE; ++k)
      s.px[r][k] = XGetPixel(image, 0, ROW_TOP(r) - ROW_TOP(FIRST_ROW) + 3 + k);
  }
  XDestroyImage(image);
  s.valid = true;
  return s;
}

static bool SameCell(const Strip* a, int ra, const Strip* b, int rb) {
  return memcmp(a->px[ra], b->px[rb], sizeof a->px[ra]) == 0;
}

static Strip empty_cell; /* row LAST_ROW of an empty well */

static bool IsEmpty(const Strip* s, int r) {
  return SameCell(s, r, &empty_cell, LAST_ROW);
}

/* A fresh game: the trio in row 2, nothing below it. */
static bool FreshGame(const Strip* s) {
  if (!s->valid || SameCell(s, FIRST_ROW, s, LAST_ROW)) return false;
  for (int r = FIRST_ROW + 1; r < LAST_ROW; ++r) {
    if (!SameCell(s, r, s, LAST_ROW)) return false;
  }
  return true;
}

static int TopStone(const Strip* s) {
  for (int r = FIRST_ROW; r <= LAST_ROW; ++r) {
    if (!IsEmpty(s, r)) return r;
  }
  return LAST_ROW + 1;
}

/* The trio moved down one row and nothing else in the column changed: the
 * stone that was on top is one row lower and its old cell is empty. */
static bool IsFallStep(const Strip* before, const Strip* after) {
  const int top = TopStone(before);
  if (top >= LAST_ROW) return false;
  if (!IsEmpty(after, top) || !SameCell(after, top + 1, before, top)) return false;
  for (int r = top + 2; r <= LAST_ROW; ++r) {
    if (!SameCell(after, r, before, r)) return false;
  }
  return true;
}

/* ---- events ---- */

typedef struct {
  double start_ms, end_ms;
  long pixels;
  int damages;
} Frame;

/* What the loop saw since the caller last looked. */
static struct {
  bool popup_mapped;
  double first_damage_ms; /* after the last ResetSeen */
  long damages;
  long pixels;
  Frame open;
  bool frame_open;
  Frame closed[4096];
  int closed_count;
} seen;

static void ResetSeen(void) {
  seen.first_damage_ms = 0;
  seen.damages = 0;
  seen.pixels = 0;
  seen.closed_count = 0;
  seen.popup_mapped = false;
}

static void HandleEvent(XEvent* e, double at) {
  if (e->type == damage_event_base + XDamageNotify) {
    const XDamageNotifyEvent* d = (const XDamageNotifyEvent*)e;
    if (window == None || d->drawable != window) return;
    const long area = (long)d->area.width * d->area.height;
    ++seen.damages;
    seen.pixels += area;
    if (seen.first_damage_ms == 0) seen.first_damage_ms = at;
    if (!seen.frame_open) {
      seen.open = (Frame){at, at, 0, 0};
      seen.frame_open = true;
    }
    seen.open.end_ms = at;
    seen.open.pixels += area;
    ++seen.open.damages;
    return;
  }
  if (e->type == CreateNotify && e->xcreatewindow.parent == root &&
      !e->xcreatewindow.override_redirect) {
    Watch(e->xcreatewindow.window);
  } else if (e->type == DestroyNotify && e->xdestroywindow.event == root) {
    Unwatch(e->xdestroywindow.window);
    if (e->xdestroywindow.window == window) window = None;
  } else if (e->type == UnmapNotify && e->xunmap.event == root && e->xunmap.window == window) {
    window = None;
  } else if (e->type == MapNotify && e->xmap.event == root) {
    XWindowAttributes a;
    if (!XGetWindowAttributes(dpy, e->xmap.window, &a)) return;
    if (a.override_redirect) {
      seen.popup_mapped = true;
      return;
    }
    if (window != None) return;
    const long pid = WindowPid(e->xmap.window);
    if ((pid == child || (pid == 0 && a.width >= 200 && a.height >= 200))) {
      if (!Watched(e->xmap.window)) Watch(e->xmap.window);
      window = e->xmap.window;
    }
  }
}

static void CloseFrame(void) {
  if (!seen.frame_open) return;
  if (seen.closed_count < (int)(sizeof seen.closed / sizeof seen.closed[0])) {
    seen.closed[seen.closed_count++] = seen.open;
  }
  seen.frame_open = false;
}

/* Runs the event loop until the deadline, or until a frame closes when
 * stop_on_frame is set. Returns true if a frame closed. */
static bool Pump(double deadline_ms, bool stop_on_frame) {
  const int fd = ConnectionNumber(dpy);
  const int before = seen.closed_count;
  for (;;) {
    while (XPending(dpy)) {
      XEvent e;
      XNextEvent(dpy, &e);
      const double at = NowMs();
      if (seen.frame_open && at - seen.open.end_ms >= FRAME_GAP_MS &&
          e.type == damage_event_base + XDamageNotify) {
        CloseFrame();
      }
      HandleEvent(&e, at);
    }
    const double now = NowMs();
    if (seen.frame_open && now - seen.open.end_ms >= FRAME_GAP_MS) CloseFrame();
    if (stop_on_frame && seen.closed_count > before) return true;
    if (now >= deadline_ms) return false;
    double wait = deadline_ms - now;
    if (seen.frame_open) wait = fmin(wait, seen.open.end_ms + FRAME_GAP_MS - now);
    struct pollfd p = {fd, POLLIN, 0};
    poll(&p, 1, (int)ceil(fmax(wait, 0.0)));
  }
}

static void PumpFor(double ms) {
  Pump(NowMs() + ms, false);
}

/* ---- input ---- */

static void Key(KeySym sym, bool down) {
  XTestFakeKeyEvent(dpy, XKeysymToKeycode(dpy, sym), down, CurrentTime);
  XFlush(dpy);
}

static void ClickAt(int x, int y) {
  XTestFakeMotionEvent(dpy, DefaultScreen(dpy), x, y, CurrentTime);
  XTestFakeButtonEvent(dpy, 1, True, CurrentTime);
  XTestFakeButtonEvent(dpy, 1, False, CurrentTime);
  XFlush(dpy);
}

static void WindowOrigin(int* x, int* y) {
  Window unused;
  XTranslateCoordinates(dpy, window, root, 0, 0, x, y, &unused);
}

/* ---- phases ---- */

static char** program;

static Bool IsWindowDamage(Display* d, XEvent* e, XPointer counter) {
  (void)d;
  if (e->type == damage_event_base + XDamageNotify &&
      ((const XDamageNotifyEvent*)e)->drawable == window) {
    ++*(int*)counter;
  }
  return False;
}

/* Damage on the window that has reached us but is not handled yet. */
static int QueuedDamage(void) {
  int count = 0;
  XEvent e;
  XCheckIfEvent(dpy, &e, IsWindowDamage, (XPointer)&count);
  return count;
}

/* Why the last StartUp found no content, for the message that ends the probe. */
static char no_content[160];

/* Starts the program and waits for the first damage after which its window
 * shows content; returns the milliseconds from exec to that damage, or a
 * negative number if none came, with the reason in no_content. The window
 * is looked at once the events that have arrived are handled, so a program
 * that draws in many small steps is timed at the step that made the screen,
 * not at the end of its burst. */
static double StartUp(void) {
  window = None;
  watched_count = 0;
  memset(&seen, 0, sizeof seen);
  XSync(dpy, False);
  const double t0 = NowMs();
  child = Launch(program);
  const double deadline = t0 + 15000;
  const int fd = ConnectionNumber(dpy);
  long looked_at = 0;
  Window looked_window = None;
  double looked_ms = 0;
  double last_damage_ms = 0;
  for (;;) {
    while (XPending(dpy)) {
      XEvent e;
      XNextEvent(dpy, &e);
      const double at = NowMs();
      const long before = seen.damages;
      HandleEvent(&e, at);
      if (seen.damages != before) last_damage_ms = at;
    }
    /* Damage drawn before the probe began to watch a window is never
     * reported: a window found, or one last looked at, 100 ms ago with no news
     * since is looked at all the same, and content found that way counts from
     * the look. */
    if (window != looked_window) {
      looked_window = window;
      looked_ms = NowMs();
    }
    const bool news = seen.damages != looked_at;
    if (news || (window != None && NowMs() - looked_ms >= 100)) {
      looked_at = seen.damages;
      looked_ms = NowMs();
      if (HasContent(window)) {
        /* Damage that came in while the pixels were read may be what drew
         * them: then the screen was there by the time the reading ended. */
        return (!news || QueuedDamage() > 0 ? NowMs() : last_damage_ms) - t0;
      }
    }
    int status = 0;
    if (waitpid(child, &status, WNOHANG) == child) {
      child = 0;
      if (WIFSIGNALED(status)) {
        snprintf(no_content, sizeof no_content,
                 "the program was killed by signal %d (%s) before its first frame",
                 WTERMSIG(status), strsignal(WTERMSIG(status)));
      } else {
        snprintf(no_content, sizeof no_content,
                 "the program exited with status %d before its first frame", WEXITSTATUS(status));
      }
      return -1;
    }
    const double now = NowMs();
    if (now >= deadline) {
      if (window == None) {
        snprintf(no_content, sizeof no_content, "the program showed no window in 15 s");
      } else {
        snprintf(
            no_content, sizeof no_content,
            "no frame with content reached the server in 15 s (%ld damage events on its window)",
            seen.damages);
      }
      return -1;
    }
    struct pollfd p = {fd, POLLIN, 0};
    poll(&p, 1, (int)fmin(ceil(deadline - now), 100.0));
  }
}

static void Surface(void) {
  XWindowAttributes a;
  XGetWindowAttributes(dpy, window, &a);
  surface_x = a.width > ZONBELI_SURFACE_WIDTH ? (a.width - ZONBELI_SURFACE_WIDTH) / 2 : 0;
  surface_y = a.height > ZONBELI_SURFACE_HEIGHT ? a.height - ZONBELI_SURFACE_HEIGHT : 0;
}

typedef struct {
  ProcSample before, after;
  ProcUse program, server;
  double frames_per_second;
  double pixels_per_damage;
  double pixels_per_frame;
} Stretch;

/* Leaves the program alone for the given time and measures it. */
static Stretch Measure(double seconds) {
  Stretch m;
  memset(&m, 0, sizeof m);
  ResetSeen();
  const ProcSample p0 = Sample(child), x0 = server_pid ? Sample(server_pid) : p0;
  PumpFor(seconds * 1000.0);
  const ProcSample p1 = Sample(child), x1 = server_pid ? Sample(server_pid) : p0;
  m.before = p0;
  m.after = p1;
  m.program = Between(&p0, &p1);
  if (server_pid) m.server = Between(&x0, &x1);
  m.frames_per_second = seen.closed_count / seconds;
  m.pixels_per_damage = seen.damages ? (double)seen.pixels / (double)seen.damages : 0;
  m.pixels_per_frame = seen.closed_count ? (double)seen.pixels / seen.closed_count : 0;
  return m;
}

static void PrintStretch(const char* name, const Stretch* m) {
  printf("%s_cpu_program_percent %.3f\n", name, m->program.cpu_percent);
  printf("%s_cpu_server_percent %.3f\n", name, m->server.cpu_percent);
  printf("%s_wakeups_per_second %.2f\n", name, m->program.switches_per_second);
  printf("%s_threads %d\n", name, m->program.threads);
  printf("%s_frames_per_second %.2f\n", name, m->frames_per_second);
  printf("%s_pixels_per_damage %.0f\n", name, m->pixels_per_damage);
  printf("%s_pixels_per_frame %.0f\n", name, m->pixels_per_frame);
  /* Each thread alone, to tell whose wake-ups they are. */
  const double seconds = (m->after.at_ms - m->before.at_ms) / 1000.0;
  for (int i = 0; i < m->after.count; ++i) {
    double run0 = 0;
    long switches0 = 0;
    for (int j = 0; j < m->before.count; ++j) {
      if (m->before.tid[j] == m->after.tid[i]) {
        run0 = m->before.run_ns[j];
        switches0 = m->before.switches[j];
      }
    }
    printf("%s_thread %s cpu_percent %.3f wakeups_per_second %.2f\n", name, m->after.name[i],
           (m->after.run_ns[i] - run0) / 1e9 / seconds * 100.0,
           (double)(m->after.switches[i] - switches0) / seconds);
  }
}

/* ゲーム → 開始 through the menu bar, as a player would. */
static bool StartGame(void) {
  int wx, wy;
  WindowOrigin(&wx, &wy);
  for (int attempt = 0; attempt < 3; ++attempt) {
    ResetSeen();
    ClickAt(wx + 24, wy + surface_y / 2);
    const double deadline = NowMs() + 2000;
    while (!seen.popup_mapped && NowMs() < deadline) Pump(deadline, true);
    PumpFor(100);
    Key(XK_Down, true);
    Key(XK_Down, false);
    Key(XK_Return, true);
    Key(XK_Return, false);
    const double started = NowMs() + 3000;
    while (NowMs() < started) {
      if (!Pump(started, true)) break;
      PumpFor(20);
      const Strip s = ReadStrip();
      if (FreshGame(&s)) {
        empty_cell = s;
        return true;
      }
    }
  }
  return false;
}

/* Single moves while the trio falls slowly: each key goes out well clear of
 * any fall step, and the time to the first damage after it is recorded. */
static void KeyLatency(int samples, Series* latency) {
  bool left = true;
  int misses = 0;
  while (latency->n < samples && misses < samples) {
    ResetSeen();
    const double quiet = 150 + (double)(rand() % 300);
    double last = NowMs();
    while (NowMs() - last < quiet) {
      if (Pump(last + quiet, true)) last = NowMs();
    }
    ResetSeen();
    const KeySym sym = left ? XK_Left : XK_Right;
    const double t0 = NowMs();
    Key(sym, true);
    const double deadline = t0 + 200;
    while (seen.first_damage_ms == 0 && NowMs() < deadline) Pump(deadline, true);
    if (seen.first_damage_ms != 0) {
      Push(latency, seen.first_damage_ms - t0);
    } else {
      ++misses;
    }
    Key(sym, false);
    PumpFor(30);
    left = !left;
  }
}

/* The down key held until the well fills: fall steps are told apart from
 * everything else by the middle column, and the game ends with the slide of
 * the board, one frame every 200 ms. */
typedef struct {
  Series intervals, step_pixels;
  int steps;
  bool ended;
} Drop;

static Drop DropToGameOver(double limit_ms) {
  Drop d;
  memset(&d, 0, sizeof d);
  Strip previous = ReadStrip();
  bool previous_step = false;
  double previous_ms = 0;
  int slide = 0;
  double last_frame_ms = 0;
  const double deadline = NowMs() + limit_ms;
  Key(XK_Down, true);
  double pressed = NowMs();
  while (NowMs() < deadline) {
    ResetSeen();
    const bool framed = Pump(fmin(deadline, pressed + 20), true);
    if (NowMs() - pressed >= 20) {
      /* The server may not repeat a key pressed through XTest; pressing it
       * again is what a repeat would do. */
      Key(XK_Down, true);
      pressed = NowMs();
    }
    if (!framed) continue;
    const Frame f = seen.closed[seen.closed_count - 1];
    const double gap = f.start_ms - last_frame_ms;
    last_frame_ms = f.start_ms;
    slide = (gap > 170 && gap < 400) ? slide + 1 : 0;
    if (slide >= 4) {
      d.ended = true;
      break;
    }
    const Strip now = ReadStrip();
    const bool step = IsFallStep(&previous, &now);
    if (step) {
      ++d.steps;
      Push(&d.step_pixels, (double)f.pixels);
      if (previous_step) Push(&d.intervals, f.start_ms - previous_ms);
    }
    previous_step = step;
    previous_ms = f.start_ms;
    previous = now;
  }
  Key(XK_Down, false);
  return d;
}

static void Report(const char* key, double value) {
  printf("%s %.3f\n", key, value);
}

/* The program's processor time from exec to now, every thread that ever
 * ran counted, to the microsecond: it is stopped where it stands and
 * reaped, and the kernel's account of a reaped process keeps the time of
 * threads that ended long before. */
static double EndAndCountMs(pid_t pid) {
  kill(pid, SIGSTOP);
  kill(pid, SIGKILL);
  struct rusage use;
  int status;
  if (wait4(pid, &status, 0, &use) != pid) return NAN;
  return (double)(use.ru_utime.tv_sec + use.ru_stime.tv_sec) * 1000.0 +
         (double)(use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1000.0;
}

static int RunStartUp(int runs) {
  Series times = {0}, cpu = {0};
  for (int i = 0; i < runs; ++i) {
    const double ms = StartUp();
    if (ms < 0) {
      Stop(child);
      Die(no_content);
    }
    /* How much of the wait was the program's own work. */
    const double cpu_ms = EndAndCountMs(child);
    child = 0;
    printf("start_up_ms %.1f\n", ms);
    printf("start_up_cpu_ms %.1f\n", cpu_ms);
    Push(&times, ms);
    Push(&cpu, cpu_ms);
    SleepMs(300);
  }
  Report("start_up_median_ms", Percentile(times.v, times.n, 50));
  Report("start_up_cpu_median_ms", Percentile(cpu.v, cpu.n, 50));
  return 0;
}

static int RunIdle(double seconds) {
  const double ms = StartUp();
  if (ms < 0) {
    Stop(child);
    Die(no_content);
  }
  Report("start_up_ms", ms);
  PumpFor(kSettleMs);
  const Stretch idle = Measure(seconds);
  PrintStretch("idle", &idle);
  printf("first_screen_peak_rss_kb %ld\n", PeakResidentKb(child));
  Stop(child);
  return 0;
}

static int RunGame(double seconds) {
  const double ms = StartUp();
  if (ms < 0) {
    Stop(child);
    Die(no_content);
  }
  Report("start_up_ms", ms);
  Surface();
  XSetInputFocus(dpy, window, RevertToParent, CurrentTime);
  PumpFor(kSettleMs);

  const Stretch idle = Measure(seconds);
  PrintStretch("idle", &idle);
  printf("first_screen_peak_rss_kb %ld\n", PeakResidentKb(child));
  fflush(stdout);

  if (!StartGame()) {
    Stop(child);
    Die("the game did not start from the menu");
  }
  PumpFor(1000);
  const Stretch play = Measure(seconds);
  PrintStretch("play", &play);
  Report("play_wakeups_per_tick", play.program.switches_per_second / TICKS_PER_SECOND);
  fflush(stdout);

  Series latency = {0};
  KeyLatency(40, &latency);
  printf("key_samples %d\n", latency.n);
  Report("key_to_pixels_p50_ms", Percentile(latency.v, latency.n, 50));
  Report("key_to_pixels_p95_ms", Percentile(latency.v, latency.n, 95));
  Report("key_to_pixels_max_ms", Percentile(latency.v, latency.n, 100));
  fflush(stdout);

  Drop drop = DropToGameOver(180000);
  printf("fall_steps %d\n", drop.steps);
  printf("fall_intervals %d\n", drop.intervals.n);
  Series deviation = {0};
  for (int i = 0; i < drop.intervals.n; ++i)
    Push(&deviation, fabs(drop.intervals.v[i] - FALL_STEP_MS));
  Report("fall_step_median_ms", Percentile(drop.intervals.v, drop.intervals.n, 50));
  Report("fall_step_p99_ms", Percentile(drop.intervals.v, drop.intervals.n, 99));
  Report("fall_step_max_ms", Percentile(drop.intervals.v, drop.intervals.n, 100));
  Report("fall_step_deviation_p99_ms", Percentile(deviation.v, deviation.n, 99));
  Report("pixels_per_fall_step", Percentile(drop.step_pixels.v, drop.step_pixels.n, 50));
  if (!drop.ended) {
    Stop(child);
    Die("the game did not end with the down key held");
  }
  printf("game_over 1\n");
  fflush(stdout);

  /* The rest of the slide, the game-over sound and the silence after it,
   * then the blink alone. */
  PumpFor(8000);
  const Stretch blink = Measure(seconds);
  PrintStretch("blink", &blink);
  printf("after_game_peak_rss_kb %ld\n", PeakResidentKb(child));
  Stop(child);
  return 0;
}

static void Usage(void) {
  fprintf(stderr,
          "usage: xprobe [-x SERVER_PID] start-up RUNS|idle SECONDS|game SECONDS -- PROGRAM "
          "[ARGS...]\n");
  exit(2);
}

int main(int argc, char** argv) {
  int i = 1;
  if (i + 1 < argc && strcmp(argv[i], "-x") == 0) {
    server_pid = (pid_t)atoi(argv[i + 1]);
    i += 2;
  }
  if (argc < i + 4 || strcmp(argv[i + 2], "--") != 0) Usage();
  const char* mode = argv[i];
  const double amount = atof(argv[i + 1]);
  program = argv + i + 3;

  dpy = XOpenDisplay(NULL);
  if (!dpy) Die("cannot open the display");
  XSetErrorHandler(IgnoreXError);
  int error_base, major, minor, event_base;
  if (!XDamageQueryExtension(dpy, &damage_event_base, &error_base)) Die("no DAMAGE extension");
  if (!XTestQueryExtension(dpy, &event_base, &error_base, &major, &minor)) Die("no XTEST");
  root = DefaultRootWindow(dpy);
  XSelectInput(dpy, root, SubstructureNotifyMask);
  srand((unsigned)getpid());
  signal(SIGPIPE, SIG_IGN);

  int status;
  if (strcmp(mode, "start-up") == 0) {
    status = RunStartUp((int)amount);
  } else if (strcmp(mode, "idle") == 0) {
    status = RunIdle(amount);
  } else if (strcmp(mode, "game") == 0) {
    status = RunGame(amount);
  } else {
    Usage();
    status = 2;
  }
  XCloseDisplay(dpy);
  return status;
}
