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
        term.expect_no_exit()                 # fails if the game ends within 0.3 s

    The game runs from a small shell in the pane that records ``stty -g`` before and after the
    game, and the game's exit status as the shell sees it (128 + N after signal N); the shell stays
    afterwards, so term.cursor_visible() still reads the terminal the game left behind.
    term.wait_exit() returns the status, term.wait_wrapper() all three as a WrapperResult. (tmux's
    own #{pane_dead_status} is not used: the server does not always collect it.)

    term.game_pid() is the game's process id; cpu_seconds(pid) its processor time so far.
    term.data_home is the game's XDG_DATA_HOME (pass data_home= to share one between two runs),
    term.ranking_path() the ranking file in it.

Screen positions are (x, y) cells, zero-based. A wide character (Hangul, U+3000) takes two cells:
Screen keeps it in its first cell and an empty string in the second, so text(x, y, n) of a row
holding "게임" at x gives back "게임" for n = 4.

Waiting: every wait polls the screen until the condition holds and the screen has stopped
changing, and fails after a deadline (default 10 s) with the whole screen in the message.
"""

import itertools
import os
import shlex
import shutil
import signal
import subprocess
import tempfile
import time
import unicodedata
from dataclasses import dataclass

DEFAULT_TIMEOUT = 10.0
POLL_INTERVAL = 0.02

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
        """Waits until condition(screen) holds on a screen that has stopped changing."""
        deadline = time.monotonic() + timeout
        screen = self.screen()
        while True:
            if condition(screen):
                time.sleep(POLL_INTERVAL)
                again = self.screen()
                if again == screen:
                    return screen
                screen = again
                continue
            if time.monotonic() > deadline:
                raise AssertionError(f"timed out waiting for {what}; the screen:\n{screen.dump()}")
            time.sleep(POLL_INTERVAL)
            screen = self.screen()

    def wait_text(self, x, y, text, timeout=DEFAULT_TIMEOUT):
        return self.wait(lambda s: s.has(x, y, text), f"{text!r} at ({x}, {y})", timeout)

    def cursor_visible(self):
        return self.display("#{cursor_flag}") == "1"

    # ---- the process -----------------------------------------------------------------------------

    def pane_pid(self):
        return int(self.display("#{pane_pid}"))

    def game_pid(self, timeout=DEFAULT_TIMEOUT):
        """The game's process, the recording shell's child."""
        game = game_binary()
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            root = self.pane_pid()
            for pid in _children(root):
                try:
                    if os.path.realpath(f"/proc/{pid}/exe") == game:
                        return pid
                except OSError:
                    pass
            time.sleep(POLL_INTERVAL)
        raise AssertionError("the game's process was not found")

    def signal_game(self, sig=signal.SIGTERM):
        os.kill(self.game_pid(), sig)

    def wait_exit(self, timeout=DEFAULT_TIMEOUT):
        """The game's exit status, once it has ended."""
        return self.wait_wrapper(timeout).status

    def expect_no_exit(self, settle=0.3):
        """Fails if the game ends within `settle` seconds: for keys that must change nothing."""
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

        def read(name):
            with open(os.path.join(self.dir, name), encoding="ascii") as f:
                return f.read().strip()

        return WrapperResult(int(read("status")), read("stty.before"), read("stty.after"))

    def ranking_path(self):
        return os.path.join(self.data_home, "JorvoDice", "Ranking.txt")


def _children(parent):
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
