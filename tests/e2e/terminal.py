"""A small tmux driver for the end-to-end tests: the real game in a real terminal.

Each Terminal runs its own tmux server (``tmux -L <unique name>``), so tests never share a server,
and its own temporary folder, which is also the game's XDG_DATA_HOME. The pane has exactly the
asked size (no status line), LANG=C.UTF-8 and tmux's own TERM.

    with Terminal(110, 30) as term:
        term.start()                          # runs $JORVO_DICE in the pane, from the shell below
                                              # (extra_env={"TERM": ...} sets variables for it)
        term.wait_text(54, 8, "Jorvo  Dice")  # waits (with a deadline) until the text is there
        term.keys("Right", "Enter")           # tmux key names: Left Up Enter Space F1 C-c ...
        term.type("tester")                   # literal text, UTF-8 included
        screen = term.screen()                # one capture: screen.text(x, y, cells), screen.row(y)
        status = term.wait_exit()             # the game's exit status, once it has ended
        term.wait_idle()                      # until the game has read every key and waits
        term.expect_no_exit()                 # fails if the keys sent so far ended the game

    The game runs from a small shell in the pane that records ``stty -g`` before and after the
    game, and the game's exit status as the shell sees it (128 + N after signal N); the shell stays
    afterwards, so term.cursor_visible() still reads the terminal the game left behind.
    term.wait_exit() returns the status, term.wait_wrapper() all three as a WrapperResult. (tmux's
    own #{pane_dead_status} is not used: the server does not always collect it.)

    term.game_pid() is the game's process id; cpu_seconds(pid) its processor time so far.
    process_state(pid) tells from /proc whether a process is asleep, in which system call and
    whether it waits for input without a time limit (waits_for_key); unread_input(tty) the bytes
    typed to a terminal that nobody has read yet; quiet_activity(pids) whether processes are all
    asleep, in a form that tells whether they ran since. fake_terminal.py and the wine tests use
    them too.
    term.data_home is the game's XDG_DATA_HOME (pass data_home= to share one between two runs),
    term.ranking_path() the ranking file in it.

Screen positions are (x, y) cells, zero-based. A wide character (Hangul, U+3000) takes two cells:
Screen keeps it in its first cell and an empty string in the second, so text(x, y, n) of a row
holding "게임" at x gives back "게임" for n = 4.

Waiting: every wait polls the screen until the condition holds on a screen the game has finished
drawing (two captures that agree, taken while the processes in the pane were asleep and did not
run), and fails after a deadline (default 30 s) with the whole screen in the message. The deadline
only bounds a hang: no wait depends on how fast the machine is.
"""

import fcntl
import itertools
import os
import select
import shlex
import shutil
import signal
import struct
import subprocess
import tempfile
import termios
import time
import unicodedata
from dataclasses import dataclass

# A deadline that only a hang misses, however loaded the machine.
DEFAULT_TIMEOUT = 30.0
POLL_INTERVAL = 0.02
# What the recording shell sets as the pane's title once the game has ended: tmux has read all
# that the game wrote once it shows it, as it reads a pane's bytes in order.
WRAPPER_DONE_TITLE = "jorvo-wrapper-done"

_sessions = itertools.count()


def game_binary():
    """The game under test, from the environment that ctest sets."""
    path = os.environ.get("JORVO_DICE")
    if not path:
        raise RuntimeError("JORVO_DICE must name the game executable")
    return os.path.realpath(path)


def cell_width(ch):
    """Cells one character takes on screen, as the terminal counts them."""
    if unicodedata.combining(ch):
        return 0
    return 2 if unicodedata.east_asian_width(ch) in ("W", "F") else 1


def text_width(text):
    return sum(cell_width(ch) for ch in text)


def cpu_seconds(pid):
    """User plus system processor time the process has used, in seconds."""
    with open(f"/proc/{pid}/stat", encoding="ascii") as stat:
        # The command name may hold blanks; the fields after its closing parenthesis do not.
        fields = stat.read().rsplit(")", 1)[1].split()
    utime, stime = int(fields[11]), int(fields[12])
    return (utime + stime) / os.sysconf("SC_CLK_TCK")


# ---- what a process is doing, from /proc -----------------------------------------------------------

# The numbers of the system calls that tell what a process waits for, by machine.
SYSTEM_CALLS = {
    "x86_64": {7: "poll", 271: "ppoll", 23: "select", 270: "pselect6", 35: "nanosleep",
               230: "clock_nanosleep", 1: "write", 20: "writev"},
    "aarch64": {73: "ppoll", 72: "pselect6", 101: "nanosleep", 115: "clock_nanosleep",
                64: "write", 66: "writev"},
}.get(os.uname().machine, {})


@dataclass(frozen=True)
class ProcessState:
    """A process as /proc shows it at one moment."""
    state: str        # R running, S asleep, D in uninterruptible sleep, T stopped, Z ended
    call: str         # the system call it is in, by name ("other" for one not named above)
    forever: bool     # in poll or ppoll without a time limit: waiting for input and nothing else
    switches: tuple   # its voluntary and involuntary context switches so far

    @property
    def asleep(self):
        return self.state == "S"

    @property
    def waits_for_key(self):
        """Asleep in poll with no time limit: nothing but input (or a signal) wakes it."""
        return self.asleep and self.forever

    @property
    def quiet(self):
        """Not running and about to run only when woken: asleep, though not because its output
        waits to be read, or stopped, or ended."""
        return (self.asleep and self.call not in ("write", "writev")) or self.state in "TtZX"


def process_state(pid, thread=None):
    """What process `pid` (or its thread `thread`) is doing, or None where /proc does not tell
    (no such process, or a kernel or machine that does not show the system call)."""
    base = f"/proc/{pid}" if thread is None else f"/proc/{pid}/task/{thread}"
    try:
        with open(f"{base}/status", encoding="ascii", errors="replace") as f:
            switches = tuple(int(line.split()[1]) for line in f
                             if line.startswith(("voluntary_ctxt", "nonvoluntary_ctxt")))
        with open(f"{base}/stat", encoding="ascii", errors="replace") as f:
            state = f.read().rsplit(")", 1)[1].split()[0]
        with open(f"{base}/syscall", encoding="ascii") as f:
            fields = f.read().split()
    except (OSError, IndexError, ValueError):
        return None
    if not SYSTEM_CALLS or not fields or len(switches) != 2:
        return None
    if fields[0] == "running":
        return ProcessState("R", "running", False, switches)
    try:
        call = SYSTEM_CALLS.get(int(fields[0]), "other")
        limit = int(fields[3], 16)
    except (IndexError, ValueError):
        return ProcessState(state, "other", False, switches)
    # poll's time limit is an int (-1: none); ppoll's a pointer to a timespec (NULL: none).
    forever = (call == "poll" and limit & 0xFFFFFFFF >= 0x80000000) or \
        (call == "ppoll" and limit == 0)
    return ProcessState(state, call, forever, switches)


def quiet_activity(pids):
    """The state of every thread of `pids` while all are quiet (asleep and not writing, stopped
    or ended); False while one is not, or one has just ended; None where /proc does not tell.
    Two equal results mean that none of them ran in between."""
    states = []
    for pid in pids:
        try:
            threads = sorted(os.listdir(f"/proc/{pid}/task"))
        except OSError:
            return False if not os.path.exists(f"/proc/{pid}") else None
        for thread in threads:
            state = process_state(pid, thread)
            if state is None:
                return False if not os.path.exists(f"/proc/{pid}/task/{thread}") else None
            if not state.quiet:
                return False
            states.append((pid, thread, state))
    return tuple(states)


def terminal_processes(tty):
    """The processes whose controlling terminal is `tty` (the path of a terminal's slave side):
    those that can write to it, as a console host does for the programs it serves."""
    device = os.stat(tty).st_rdev
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat", encoding="ascii", errors="replace") as stat:
                tty_nr = int(stat.read().rsplit(")", 1)[1].split()[4])
        except (OSError, IndexError, ValueError):
            continue
        major = (tty_nr >> 8) & 0xFFF
        minor = (tty_nr & 0xFF) | ((tty_nr >> 12) & 0xFFF00)
        if tty_nr and (major, minor) == (os.major(device), os.minor(device)):
            found.append(int(entry))
    return found


def still_waiting_for_key(pid, check):
    """Whether `pid` waits for a key from before check() to after it, in the same call without
    having run in between, and check() holds; None where /proc does not tell."""
    before = process_state(pid)
    if before is None:
        return None
    if not before.waits_for_key or not check():
        return False
    return process_state(pid) == before


def unread_input(tty):
    """The bytes typed to the terminal `tty` (the path of its slave side) that nobody has read
    yet. poll() first moves into the queue what the kernel still has on its way there."""
    fd = os.open(tty, os.O_RDONLY | os.O_NOCTTY | os.O_NONBLOCK)
    try:
        select.select([fd], [], [], 0)
        return struct.unpack("i", fcntl.ioctl(fd, termios.FIONREAD, b"\0" * 4))[0]
    finally:
        os.close(fd)


def descendants(pid):
    """The processes started by `pid`, their own children included."""
    found = []
    parents = [pid]
    while parents:
        parent = parents.pop()
        children = _children(parent)
        found += children
        parents += children
    return found


class Screen:
    """One capture of the pane, as rows of cells."""

    def __init__(self, lines, width, height):
        self.width = width
        self.height = height
        self.cells = []
        for y in range(height):
            line = lines[y] if y < len(lines) else ""
            row = []
            for ch in line:
                w = cell_width(ch)
                if w == 0 and row:
                    row[-1] += ch
                    continue
                row.append(ch)
                if w == 2:
                    row.append("")
            row += [" "] * (width - len(row))
            self.cells.append(row[:width])

    def text(self, x, y, cells):
        """The text in `cells` cells of row y from column x."""
        return "".join(self.cells[y][x:x + cells])

    def row(self, y):
        return self.text(0, y, self.width)

    def has(self, x, y, text):
        return self.text(x, y, text_width(text)) == text

    def dump(self):
        return "\n".join(f"{y:2d}|{self.row(y).rstrip()}" for y in range(self.height))

    def __eq__(self, other):
        return isinstance(other, Screen) and self.cells == other.cells


@dataclass
class WrapperResult:
    status: int
    stty_before: str
    stty_after: str


class Terminal:
    def __init__(self, width=110, height=30, data_home=None):
        self.width = width
        self.height = height
        self._tmp = tempfile.TemporaryDirectory(prefix="jorvo-e2e-")
        self.dir = self._tmp.name
        self.data_home = data_home or os.path.join(self.dir, "data")
        os.makedirs(self.data_home, exist_ok=True)
        self.socket = f"jorvo-e2e-{os.getpid()}-{next(_sessions)}"
        self.started = False
        self._pane_pid = None
        self._tty = None
        config = os.path.join(self.dir, "tmux.conf")
        with open(config, "w", encoding="ascii") as f:
            f.write("set -g status off\n"
                    "set -g remain-on-exit on\n"
                    "set -g default-shell /bin/sh\n"
                    "set -g history-limit 0\n")
        self.config = config

    # ---- life cycle ------------------------------------------------------------------------------

    def environment(self):
        env = {k: v for k, v in os.environ.items() if not k.startswith(("TMUX", "LC_"))}
        env.update(LANG="C.UTF-8", XDG_DATA_HOME=self.data_home)
        return env

    def start(self, wrapped=True, extra_env=None, args=(), launcher=()):
        """Starts the game, with `args` on its command line, in a fresh pane, from the recording
        shell (always: `wrapped` is accepted for callers written when the shell was optional).
        `launcher` is a command the game is started through, such as a charset converter."""
        game = game_binary()
        env = self.environment()
        # tmux sets TERM in the pane itself, so variables for the game go on its command line.
        settings = [f"{k}={v}" for k, v in (extra_env or {}).items()]
        script = os.path.join(self.dir, "wrapper.sh")
        with open(script, "w", encoding="ascii") as f:
            # A caught signal is reset for the game, so Ctrl+C reaches it, not the shell.
            f.write('d=$1; shift\n'
                    'trap : INT QUIT\n'
                    'stty -g > "$d/stty.before"\n'
                    '"$@"\n'
                    'echo $? > "$d/status.part"\n'
                    'stty -g > "$d/stty.after"\n'
                    f"printf '\\033]2;{WRAPPER_DONE_TITLE}\\007'\n"
                    'mv "$d/status.part" "$d/status"\n'
                    'exec sleep 600\n')
        argv = ["/bin/sh", script, self.dir, *(["env", *settings] if settings else []),
                *launcher, game, *args]
        command = "exec " + " ".join(shlex.quote(a) for a in argv)
        args = ["new-session", "-d", "-s", "game", "-x", str(self.width), "-y", str(self.height)]
        for name in ("LANG", "XDG_DATA_HOME"):
            args += ["-e", f"{name}={env[name]}"]
        self._tmux(*args, command, env=env)
        self.started = True

    def close(self):
        if self.started:
            subprocess.run(["tmux", "-L", self.socket, "kill-server"],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
            self.started = False
        self._tmp.cleanup()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def _tmux(self, *args, env=None):
        result = subprocess.run(["tmux", "-L", self.socket, "-f", self.config, *args],
                                capture_output=True, text=True, env=env, check=False, timeout=20)
        if result.returncode != 0:
            raise RuntimeError(f"tmux {' '.join(args)} failed: {result.stderr.strip()}")
        return result.stdout

    def display(self, fmt):
        return self._tmux("display-message", "-p", "-t", "game", fmt).strip()

    # ---- input -----------------------------------------------------------------------------------

    def keys(self, *names):
        """Sends keys by their tmux names, in order."""
        self._tmux("send-keys", "-t", "game", *names)

    def type(self, text):
        """Sends text literally, as typed."""
        self._tmux("send-keys", "-t", "game", "-l", "--", text)

    # ---- output ----------------------------------------------------------------------------------

    def screen(self):
        out = self._tmux("capture-pane", "-p", "-t", "game")
        return Screen(out.split("\n"), self.width, self.height)

    def wait(self, condition, what, timeout=DEFAULT_TIMEOUT):
        """Waits until condition(screen) holds on a screen the game has finished drawing: a
        second capture shows the same, and the processes in the pane were asleep, not writing,
        from before the first capture to after the second without running in between. Where
        /proc does not tell, the second capture is taken POLL_INTERVAL after the first."""
        deadline = time.monotonic() + timeout
        while True:
            before = self._pane_activity()
            screen = self.screen()
            if condition(screen):
                if before is None:
                    time.sleep(POLL_INTERVAL)
                if self.screen() == screen and (before is None or
                                                (before and self._pane_activity() == before)):
                    return screen
            if time.monotonic() > deadline:
                raise AssertionError(f"timed out waiting for {what}; the screen:\n{screen.dump()}")
            time.sleep(POLL_INTERVAL)

    def _pane_activity(self):
        """The states of the pane's processes while all are quiet, False while one is not, None
        where /proc does not tell (quiet_activity): those started in the pane and those that have
        its terminal as theirs."""
        try:
            root = self.pane_pid()
            if self._tty is None:
                self._tty = self.pane_tty()
            pids = {root, *descendants(root), *terminal_processes(self._tty)}
        except (RuntimeError, ValueError, OSError):
            return None
        return quiet_activity(sorted(pids))

    def wait_text(self, x, y, text, timeout=DEFAULT_TIMEOUT):
        return self.wait(lambda s: s.has(x, y, text), f"{text!r} at ({x}, {y})", timeout)

    def cursor_visible(self):
        return self.display("#{cursor_flag}") == "1"

    # ---- the process -----------------------------------------------------------------------------

    def pane_pid(self):
        """The process the pane started (the recording shell), asked of tmux once."""
        if self._pane_pid is None:
            self._pane_pid = int(self.display("#{pane_pid}"))
        return self._pane_pid

    def pane_tty(self):
        """The pane's terminal, the slave side the game reads its keys from."""
        return self.display("#{pane_tty}")

    def game_pid(self, timeout=DEFAULT_TIMEOUT):
        """The game's process, the recording shell's child (or a launcher's)."""
        game = game_binary()
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            for pid in descendants(self.pane_pid()):
                try:
                    if os.path.realpath(f"/proc/{pid}/exe") == game:
                        return pid
                except OSError:
                    pass
            time.sleep(POLL_INTERVAL)
        raise AssertionError("the game's process was not found")

    def wait_idle(self, timeout=DEFAULT_TIMEOUT):
        """Waits until the game has read every key sent to it and waits for the next one: asleep
        in poll without a time limit, with nothing unread in its terminal's input, from before
        that check to after it. Returns False at once where /proc does not tell."""
        pid = self.game_pid(timeout)
        tty = self.pane_tty()
        deadline = time.monotonic() + timeout
        while True:
            idle = still_waiting_for_key(pid, lambda: unread_input(tty) == 0)
            if idle is None:
                return False
            if idle:
                return True
            if os.path.exists(os.path.join(self.dir, "status")):
                raise AssertionError(f"the game ended; the screen:\n{self.screen().dump()}")
            if time.monotonic() > deadline:
                raise AssertionError(f"the game never waited for a key; the screen:\n"
                                     f"{self.screen().dump()}")
            time.sleep(POLL_INTERVAL)

    def signal_game(self, sig=signal.SIGTERM):
        os.kill(self.game_pid(), sig)

    def wait_exit(self, timeout=DEFAULT_TIMEOUT):
        """The game's exit status, once it has ended."""
        return self.wait_wrapper(timeout).status

    def expect_no_exit(self, settle=0.3):
        """Fails if the keys sent so far end the game: for keys that must change nothing. Once
        the game has read them and waits for the next key, they did not end it. Where /proc does
        not tell, the game is watched for `settle` seconds instead: that wait bounds how long
        "nothing happens" is looked for, and a game that ends later is not caught."""
        if self.wait_idle():
            return
        deadline = time.monotonic() + settle
        while time.monotonic() < deadline:
            if os.path.exists(os.path.join(self.dir, "status")):
                raise AssertionError(f"the game ended; the screen:\n{self.screen().dump()}")
            time.sleep(POLL_INTERVAL)

    def wait_wrapper(self, timeout=DEFAULT_TIMEOUT):
        """What the recording shell saw, once the game has ended."""
        status_file = os.path.join(self.dir, "status")
        deadline = time.monotonic() + timeout
        while not os.path.exists(status_file):
            if time.monotonic() > deadline:
                raise AssertionError(f"the game did not end; the screen:\n{self.screen().dump()}")
            time.sleep(POLL_INTERVAL)
        # The shell's title comes after all the game wrote: once tmux shows it, the cursor and
        # the screen are those the game left.
        while self.display("#{pane_title}") != WRAPPER_DONE_TITLE:
            if time.monotonic() > deadline:
                raise AssertionError("tmux never read what the game wrote last")
            time.sleep(POLL_INTERVAL)

        def read(name):
            with open(os.path.join(self.dir, name), encoding="ascii") as f:
                return f.read().strip()

        return WrapperResult(int(read("status")), read("stty.before"), read("stty.after"))

    def ranking_path(self):
        return os.path.join(self.data_home, "JorvoDice", "Ranking.txt")


def _children(parent):
    """The processes that `parent` started, from /proc/PID/task/*/children where the kernel has
    it, else from the parent of every process."""
    try:
        found = []
        for task in os.listdir(f"/proc/{parent}/task"):
            with open(f"/proc/{parent}/task/{task}/children", encoding="ascii") as f:
                found += [int(pid) for pid in f.read().split()]
        return found
    except FileNotFoundError:
        pass
    except OSError:
        return []
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat", encoding="ascii", errors="replace") as stat:
                ppid = int(stat.read().rsplit(")", 1)[1].split()[1])
        except (OSError, IndexError, ValueError):
            continue
        if ppid == parent:
            found.append(int(entry))
    return found


def have_tmux():
    return shutil.which("tmux") is not None


# ---- what the game draws ------------------------------------------------------------------------
# The dice art, for reading faces off the screen and for comparing it cell for cell.

IDEO = "\u3000"
PIP_ROWS = {
    "empty": "┃" + IDEO + " " + IDEO + IDEO + "┃ ",
    "left": "┃ ● " + IDEO + IDEO + "┃ ",
    "centre": "┃" + IDEO + " ● " + IDEO + "┃ ",
    "right": "┃" + IDEO + IDEO + " ● ┃ ",
    "both": "┃ ● " + IDEO + "● ┃ ",
}
PIP_CELLS = {"empty": (), "left": (2,), "centre": (4,), "right": (6,), "both": (2, 6)}
FACE_ROWS = {
    1: ("empty", "centre", "empty"),
    2: ("left", "empty", "right"),
    3: ("left", "centre", "right"),
    4: ("both", "empty", "both"),
    5: ("both", "centre", "both"),
    6: ("both", "both", "both"),
}
DIE_CELLS = 10
DICE_TOP = " ".join(["┏" + "━" * 7 + "┓"] * 5)
DICE_BOTTOM = " ".join(["┗" + "━" * 7 + "┛"] * 5)


def dice_art(faces):
    """The five lines the game draws for these faces, without the indentation."""
    middle = ["".join(PIP_ROWS[FACE_ROWS[f][r]] for f in faces) for r in range(3)]
    return [DICE_TOP, *middle, DICE_BOTTOM]


def read_dice(screen, x, y):
    """The five faces drawn with their top-left corner at (x, y), or None if no dice art is there.

    The faces are read from the pips, then the whole art is compared with what those faces look
    like, so a wrongly drawn die is not mistaken for another face.
    """
    faces = []
    for i in range(5):
        left = x + DIE_CELLS * i
        pips = tuple(tuple(screen.text(left + dx, y + 1 + r, 1) == "●" for dx in (2, 4, 6))
                     for r in range(3))
        for face, names in FACE_ROWS.items():
            want = tuple(tuple(dx in PIP_CELLS[n] for dx in (2, 4, 6)) for n in names)
            if pips == want:
                faces.append(face)
                break
        else:
            return None
    for r, line in enumerate(dice_art(faces)):
        if not screen.has(x, y + r, line):
            return None
    return faces
