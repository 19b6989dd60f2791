"""The game on a pseudo-terminal of the test's own that pretends to be a given kind of terminal.

The game asks the terminal questions: where the cursor went after a few characters (the cursor
position report, ESC [ 6 n) and what the terminal is (the device attributes, ESC [ c and
ESC [ > c). FakeTerminal answers them as the terminal it pretends to be, by following the cursor's
column through every byte the game writes: UTF-8 or not, East Asian ambiguous-width characters
one column or two, the line-drawing set one column or two, or no answer at all. A thread of its
own reads what the game writes and answers each question the moment it is read, in order,
whatever the test does meanwhile; `latency` delays every answer as a slow link would, without
holding up the reading of what comes after the question. Every byte is recorded with the time it
was read, so that what the game wrote can be replayed into a real terminal (tmux) and read back
cell by cell, and timed.

    with FakeTerminal(UTF8_NARROW) as fake:       # or AMBIGUOUS_WIDE, LATIN1, SILENT, ...
        fake.start(env={"LANG": "C.UTF-8"}, args=["--seed", "7"])
        fake.wait_for(b"RANKING")                 # until the bytes have been written
        fake.wait_idle()                          # ... and the game waits for a key
        fake.send(b"\\r")                          # keys; send_split(parts, gap) with pauses
        cells = replay(fake.output(), 110, 30)    # what a terminal shows for those bytes

The game counts as idle when it is asleep in poll() without a time limit, with nothing unread on
either side: neither what it wrote (in the master) nor what it was sent (in the slave's input
queue). That is read from /proc/PID/syscall; where the kernel does not show it, a silence of
QUIET_SECONDS stands in for it. A deadline (DEADLINE) only bounds a hang: nothing here depends on
how fast the machine is.

start(controlling=False) gives the game a terminal that is not its controlling one, so that
hang_up() (closing the terminal) sends no hang-up signal: the game can only find out from its
input. start(capture_stderr=True) keeps the game's standard error apart, in stderr_text().
write_calls(), cpu_seconds() and proc_field() read the game's counters from /proc, rusage its
resource use once it has ended.
"""

import collections
import fcntl
import os
import re
import select
import shutil
import signal
import struct
import subprocess
import tempfile
import termios
import threading
import time
import unicodedata
from dataclasses import dataclass

from terminal import (descendants, game_binary, process_state, still_waiting_for_key,
                      unread_input)

# Bounds a hang, never a step that a loaded machine takes slowly.
DEADLINE = 60.0
# The silence that stands in for "idle" where /proc does not tell.
QUIET_SECONDS = 0.3
# How often the game's state is looked at while waiting for it to be idle.
POLL_INTERVAL = 0.005

CURSOR_POSITION_QUESTION = b"\x1b[6n"
PRIMARY_ATTRIBUTES_QUESTIONS = (b"\x1b[c", b"\x1b[0c")
SECONDARY_ATTRIBUTES_QUESTIONS = (b"\x1b[>c", b"\x1b[>0c")
# A VT220-class terminal with colour, and a terminal that gives no type, version or cartridge.
PRIMARY_ATTRIBUTES = b"\x1b[?62;22c"
SECONDARY_ATTRIBUTES = b"\x1b[>0;0;0c"


@dataclass(frozen=True)
class Kind:
    """What a terminal does with the bytes it is sent."""
    name: str
    answers: bool = True          # answers the cursor position report and device attributes
    utf8: bool = True             # decodes UTF-8; else one column a byte (ISO 8859)
    ambiguous_wide: bool = False  # East Asian ambiguous-width characters take two columns
    line_drawing_wide: bool = False  # the VT100 line-drawing set takes two columns


UTF8_NARROW = Kind("UTF-8, ambiguous narrow")
# As xterm -cjk_width: ambiguous characters and the line-drawing set are both two columns.
AMBIGUOUS_WIDE = Kind("UTF-8, ambiguous wide", ambiguous_wide=True, line_drawing_wide=True)
# A terminal for East Asian text whose line-drawing set stays one column.
AMBIGUOUS_WIDE_NARROW_LINES = Kind("UTF-8, ambiguous wide, line drawing narrow",
                                   ambiguous_wide=True)
LATIN1 = Kind("ISO 8859-1", utf8=False)
SILENT = Kind("no answer", answers=False)


def char_columns(ch, kind, line_drawing):
    """Columns the terminal of `kind` gives one character."""
    if line_drawing:
        return 2 if kind.line_drawing_wide else 1
    if unicodedata.combining(ch) or ord(ch) < 0x20:
        return 0
    width = unicodedata.east_asian_width(ch)
    if width in ("W", "F") or (width == "A" and kind.ambiguous_wide):
        return 2
    return 1


class CursorFollower:
    """The terminal's state as far as the column of the cursor needs it, fed the game's bytes.
    feed() returns the questions they complete, in order, each with the answer of a terminal of
    `kind` (None for SILENT)."""

    def __init__(self, kind, width):
        self.kind = kind
        self.width = width
        self.column = 1
        self._pending = bytearray()
        self._line_drawing = False

    def feed(self, data):
        questions = []
        self._pending += data
        buf = self._pending
        i = 0
        while i < len(buf):
            b = buf[i]
            if b == 0x1B:
                end = self._escape_end(buf, i)
                if end is None:
                    break  # the rest of the sequence has not arrived yet
                question = self._escape(bytes(buf[i:end]))
                if question is not None:
                    questions.append(question)
                i = end
            elif b == 0x0D:
                self.column = 1
                i += 1
            elif b < 0x20 or b == 0x7F:
                i += 1
            elif not self.kind.utf8:
                if not 0x80 <= b < 0xA0:
                    self._advance(1)
                i += 1
            else:
                length = 1 if b < 0x80 else 2 if b < 0xE0 else 3 if b < 0xF0 else 4
                if i + length > len(buf):
                    break
                ch = bytes(buf[i:i + length]).decode("utf-8", "replace")
                line = self._line_drawing and b < 0x80 and 0x5F <= b <= 0x7E
                self._advance(sum(char_columns(c, self.kind, line) for c in ch))
                i += length
        del buf[:i]
        return questions

    @staticmethod
    def _escape_end(buf, i):
        if i + 1 >= len(buf):
            return None
        second = buf[i + 1]
        if second == ord("["):
            for j in range(i + 2, len(buf)):
                if 0x40 <= buf[j] <= 0x7E:
                    return j + 1
            return None
        if second in b"]P^_X":  # strings, ended by BEL (OSC only) or ESC \
            for j in range(i + 2, len(buf)):
                if buf[j] == 0x07 and second == ord("]"):
                    return j + 1
                if buf[j] == 0x1B and j + 1 < len(buf) and buf[j + 1] == ord("\\"):
                    return j + 2
            return None
        if second in b"()*+":
            return i + 3 if i + 2 < len(buf) else None
        return i + 2

    def _escape(self, sequence):
        """Follows one escape sequence; (question, answer) where it asks something."""
        answers = self.kind.answers
        if sequence == CURSOR_POSITION_QUESTION:
            return sequence, f"\x1b[1;{self.column}R".encode() if answers else None
        if sequence in PRIMARY_ATTRIBUTES_QUESTIONS:
            return sequence, PRIMARY_ATTRIBUTES if answers else None
        if sequence in SECONDARY_ATTRIBUTES_QUESTIONS:
            return sequence, SECONDARY_ATTRIBUTES if answers else None
        if sequence in (b"\x1b(0", b"\x1b(B"):
            self._line_drawing = sequence == b"\x1b(0"
        elif sequence.endswith(b"H") and sequence.startswith(b"\x1b["):
            params = sequence[2:-1].split(b";")
            self.column = int(params[1]) if len(params) == 2 and params[1] else 1
        elif sequence.endswith(b"G") and sequence.startswith(b"\x1b["):
            self.column = int(sequence[2:-1] or b"1")
        return None

    def _advance(self, columns):
        self.column = min(self.column + columns, self.width)


class FakeTerminal:
    """A pseudo-terminal of width x height that answers as a terminal of `kind`, `latency`
    seconds after each question was read. `data_home` is the game's HOME and XDG_DATA_HOME: a
    fresh folder that close() removes unless one is given."""

    def __init__(self, kind=UTF8_NARROW, width=110, height=30, latency=0.0, data_home=None):
        self.kind = kind
        self.width = width
        self.height = height
        self.latency = latency
        self._tmp = None
        if data_home is None:
            self._tmp = tempfile.TemporaryDirectory(prefix="jorvo-fake-")
            data_home = os.path.join(self._tmp.name, "data")
            os.makedirs(data_home)
        self.data_home = data_home
        self.process = None
        self.master = None
        self.tty = None
        self.started = None
        self.rusage = None
        self._follower = CursorFollower(kind, width)
        # What the reader thread shares, behind _lock; _changed tells the test of each change.
        self._lock = threading.Lock()
        self._changed = threading.Condition(self._lock)
        self._log = bytearray()
        self._reads = []                       # (time, offset) where each read began
        self._asked = collections.Counter()    # questions read, by sequence
        self._answered = 0
        self._answers = collections.deque()    # (when due, answer) not sent yet
        self._closed = False                   # the game's side is closed: nothing more to read
        self._status = None
        self._stderr = None
        self._game = None
        self._wake_read, self._wake_write = os.pipe()
        self._threads = []

    # ---- life cycle -----------------------------------------------------------------------------

    def start(self, env=None, args=(), argv=None, controlling=True, capture_stderr=False,
              game=None):
        """Starts the game (or `argv`) with `args` after it, in a small environment that `env`
        adds to (a value of None removes a variable). The terminal is the game's controlling
        one unless `controlling` is false; its standard error goes to the terminal unless
        `capture_stderr`. `game` is the program whose process waits for keys (wait_idle()):
        by default the one started."""
        argv = [*(argv or [game_binary()]), *args]
        self._game = os.path.realpath(game or shutil.which(argv[0]) or argv[0])
        environment = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": self.data_home,
                       "TERM": "xterm-256color", "XDG_DATA_HOME": self.data_home}
        environment.update(env or {})
        environment = {k: v for k, v in environment.items() if v is not None}
        self.master, slave = os.openpty()
        self.tty = os.ttyname(slave)
        fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", self.height, self.width, 0, 0))
        take = (lambda: fcntl.ioctl(0, termios.TIOCSCTTY, 0)) if controlling else None
        self.started = time.monotonic()
        try:
            self.process = subprocess.Popen(
                argv, stdin=slave, stdout=slave,
                stderr=subprocess.PIPE if capture_stderr else slave, env=environment,
                start_new_session=True, preexec_fn=take)
        finally:
            os.close(slave)
        self._spawn(self._read_loop)
        self._spawn(self._reap)
        if capture_stderr:
            self._spawn(self._read_stderr)
        return self.process

    def _spawn(self, target):
        """Runs `target` in a thread of this terminal's own, which close() waits for."""
        thread = threading.Thread(target=target, daemon=True)
        thread.start()
        self._threads.append(thread)

    def close(self):
        """Ends the game if it still runs, and gives back the terminal and the folder."""
        if self.process is not None and self.running():
            try:  # the game and whatever else was started in its session
                os.killpg(self.process.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        self._stop_reading()
        for thread in self._threads:
            thread.join(timeout=DEADLINE)
        if self.master is not None:
            os.close(self.master)
            self.master = None
        for fd in (self._wake_read, self._wake_write):
            try:
                os.close(fd)
            except OSError:
                pass
        self._wake_read = self._wake_write = -1
        if self._tmp is not None:
            self._tmp.cleanup()
            self._tmp = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def hang_up(self):
        """Closes the terminal, as a window that goes away does."""
        self._stop_reading()
        self._threads[0].join(timeout=DEADLINE)
        os.close(self.master)
        self.master = None

    def _stop_reading(self):
        """Tells the reader thread to stop, and wakes it from its select()."""
        with self._lock:
            self._closed = True
            self._changed.notify_all()
        try:
            os.write(self._wake_write, b"x")
        except OSError:
            pass

    # ---- the terminal side: one thread reads and answers ----------------------------------------

    def _read_loop(self):
        """The reader thread: reads what the game writes, and sends each answer when it is due."""
        while True:
            with self._lock:
                if self._closed:
                    return
                due = self._answers[0][0] if self._answers else None
            timeout = None if due is None else max(0.0, due - time.monotonic())
            ready, _, _ = select.select([self.master, self._wake_read], [], [], timeout)
            self._send_due_answers()
            if self.master in ready and not self._read_once():
                return

    def _read_once(self):
        """Reads what the game wrote and queues the answers to its questions; False once the
        game's side is closed."""
        with self._lock:
            if self._closed:
                return False
            try:
                data = os.read(self.master, 65536)
            except OSError:  # EIO: every process has closed the game's side
                data = b""
            if not data:
                self._closed = True
                self._answers.clear()
                self._changed.notify_all()
                return False
            now = time.monotonic()
            self._reads.append((now, len(self._log)))
            self._log += data
            for question, answer in self._follower.feed(data):
                self._asked[question] += 1
                if answer is not None:
                    self._answers.append((now + self.latency, answer))
            self._changed.notify_all()
        self._send_due_answers()
        return True

    def _send_due_answers(self):
        """Sends, in order, the answers whose time has come; each counts as sent once written."""
        while True:
            with self._lock:
                if not self._answers or self._answers[0][0] > time.monotonic() or self._closed:
                    return
                answer = self._answers[0][1]
            try:
                os.write(self.master, answer)
            except OSError:
                pass
            with self._lock:
                self._answers.popleft()
                self._answered += 1
                self._changed.notify_all()

    def _reap(self):
        """Waits for the process started to end (the only one to wait for it) and keeps its exit
        status and resource use."""
        _, status, rusage = os.wait4(self.process.pid, 0)
        with self._lock:
            self.rusage = rusage
            self._status = os.waitstatus_to_exitcode(status)
            self.process.returncode = self._status  # so that Popen never waits for it again
            self._changed.notify_all()

    def _read_stderr(self):
        data = self.process.stderr.read()
        self.process.stderr.close()
        with self._lock:
            self._stderr = data
            self._changed.notify_all()

    # ---- what the game wrote and asked ----------------------------------------------------------

    def output(self, since=0):
        """The bytes the game wrote, from byte `since` on."""
        with self._lock:
            return bytes(self._log[since:])

    def mark(self):
        """The number of bytes written so far: output(mark) is what comes after."""
        with self._lock:
            return len(self._log)

    def reads(self, since=0):
        """(time, bytes) of every read from the terminal that began at byte `since` or later."""
        with self._lock:
            ends = [offset for _, offset in self._reads[1:]] + [len(self._log)]
            return [(when, bytes(self._log[offset:end]))
                    for (when, offset), end in zip(self._reads, ends) if offset >= since]

    def asked(self, question):
        """How many times the game asked `question` (CURSOR_POSITION_QUESTION, ...)."""
        with self._lock:
            return self._asked[question]

    @property
    def reports(self):
        """How many times the game asked where the cursor is."""
        return self.asked(CURSOR_POSITION_QUESTION)

    @property
    def answered(self):
        """How many answers have been sent."""
        with self._lock:
            return self._answered

    # ---- keys -----------------------------------------------------------------------------------

    def send(self, data):
        """Types `data` at once."""
        os.write(self.master, data)

    def send_split(self, parts, gap):
        """Types each of `parts` `gap` seconds after the one before, as a slow link delivers the
        bytes of one key: the pause is what is being tested, not a wait for the game."""
        for i, part in enumerate(parts):
            if i:
                time.sleep(gap)
            self.send(part)

    # ---- waiting --------------------------------------------------------------------------------

    def _wait(self, done, what, timeout):
        """Waits, holding the lock, until done() holds; fails after `timeout` seconds."""
        deadline = time.monotonic() + timeout
        with self._changed:
            while not done():
                left = deadline - time.monotonic()
                if left <= 0:
                    tail = bytes(self._log[-600:])
                    raise AssertionError(f"timed out waiting for {what}; the game wrote last: "
                                         f"{tail!r}")
                self._changed.wait(left)

    def wait_for(self, text, since=0, timeout=DEADLINE):
        """Waits until the game has written `text` (after byte `since`); returns the time of the
        read that completed it."""
        found = []

        def written():
            at = self._log.find(text, since)
            if at >= 0:
                end = at + len(text)
                found.append(max(when for when, offset in self._reads if offset < end))
                return True
            if self._closed:
                raise AssertionError(f"the game never wrote {text!r}; it wrote "
                                     f"{bytes(self._log[-600:])!r}")
            return False

        self._wait(written, repr(text), timeout)
        return found[0]

    def idle(self):
        """Whether the game waits for a key with nothing unread on either side; None where /proc
        does not tell."""
        pid = self.game_pid()
        if pid is None:
            # Not started yet, or a system whose /proc shows no process at all.
            return False if process_state(self.process.pid) is not None else None
        return still_waiting_for_key(pid, self._nothing_unread)

    def _nothing_unread(self):
        """Nothing left for the game to read, nor for this side: the slave's input queue is
        empty, and the master holds nothing that the reader thread has not taken and followed.
        (poll() on either side first moves into the queue what the kernel has on its way.)"""
        if unread_input(self.tty) != 0:
            return False
        with self._lock:
            if self._answers or self._closed:
                return False
            readable, _, _ = select.select([self.master], [], [], 0)
            return not readable

    def wait_idle(self, timeout=DEADLINE):
        """Waits until the game is idle: it has drawn all it had to draw and waits for a key."""
        deadline = time.monotonic() + timeout
        while True:
            idle = self.idle()
            if idle is None:
                return self._wait_quiet(deadline)
            if idle:
                return
            if not self.running():
                raise AssertionError(f"the game ended (status {self._status}) instead of "
                                     f"waiting for a key")
            if time.monotonic() > deadline:
                raise AssertionError("the game never waited for a key")
            time.sleep(POLL_INTERVAL)

    def _wait_quiet(self, deadline):
        """Where /proc does not tell: until nothing has been read for QUIET_SECONDS."""
        while True:
            with self._lock:
                last = self._reads[-1][0] if self._reads else self.started
                quiet = not self._answers and time.monotonic() - last >= QUIET_SECONDS
            if quiet:
                return
            if time.monotonic() > deadline:
                raise AssertionError("the game never stopped writing")
            time.sleep(POLL_INTERVAL)

    def wait_exit(self, timeout=DEADLINE):
        """Waits until the game has ended and all it wrote has been read; its exit status."""
        self._wait(lambda: self._status is not None, "the game to end", timeout)
        if self.master is not None:
            self._wait(lambda: self._closed, "the game's last output", timeout)
        return self._status

    def stderr_text(self, timeout=DEADLINE):
        """What the game wrote to its standard error (start(capture_stderr=True)), once it has
        closed it."""
        self._wait(lambda: self._stderr is not None, "the game's standard error", timeout)
        return self._stderr.decode("utf-8", "replace")

    # ---- the process ----------------------------------------------------------------------------

    def game_pid(self):
        """The game's process: the first process, the one started or one under it (under a
        shell, say), that runs the game; None while there is none."""
        if self.process is None or self._status is not None:
            return None
        for pid in (self.process.pid, *descendants(self.process.pid)):
            try:
                if os.path.realpath(f"/proc/{pid}/exe") == self._game:
                    return pid
            except OSError:
                pass
        return None

    def running(self):
        """Whether the process started has not ended yet."""
        with self._lock:
            return self._status is None

    def signal(self, sig=signal.SIGTERM):
        """Sends `sig` to the process started."""
        os.kill(self.process.pid, sig)

    def proc_field(self, file, name):
        """A counter of the game's /proc/PID/`file`, such as ("status", "VmHWM")."""
        with open(f"/proc/{self.process.pid}/{file}", encoding="ascii") as f:
            for line in f:
                if line.startswith(name + ":"):
                    return int(line.split()[1])
        raise RuntimeError(f"no {name} in /proc/{self.process.pid}/{file}")

    def write_calls(self):
        """The write() calls the game has made so far; NaN where /proc does not tell."""
        try:
            return self.proc_field("io", "syscw")
        except (OSError, RuntimeError):
            return float("nan")

    def cpu_seconds(self):
        """User plus system processor time the game has used so far."""
        with open(f"/proc/{self.process.pid}/stat", encoding="ascii") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def ranking_path(self):
        return os.path.join(self.data_home, "JorvoDice", "Ranking.txt")


# ---- reading the bytes back as a terminal shows them ---------------------------------------------

# What tmux's capture shows for a cell of the VT100 line-drawing set, by its letter.
LINE_DRAWING_MARK = "\x0e"
# The questions a replay leaves out: the device status and attribute requests.
QUESTIONS = re.compile(rb"\x1b\[[>?]?[0-9;]*[nc]")
REPLAYED_TITLE = "jorvo-replayed"


def replay(data, width, height, tag="replay"):
    """The cells a terminal of width x height shows after `data`: tmux reads the bytes from a file
    and its capture is parsed, with each cell of the line-drawing set given as LINE_DRAWING_MARK
    and its letter."""
    with tempfile.TemporaryDirectory(prefix="jorvo-replay-") as folder:
        path = os.path.join(folder, "bytes")
        with open(path, "wb") as f:
            # tmux would answer the questions itself, and its answers would be echoed. The title
            # set last tells that tmux has read everything before it.
            f.write(QUESTIONS.sub(b"", data) + f"\x1b]2;{REPLAYED_TITLE}\x07".encode())
        socket = f"jorvo-{tag}-{os.getpid()}-{time.monotonic_ns()}"
        config = os.path.join(folder, "tmux.conf")
        with open(config, "w", encoding="ascii") as f:
            f.write("set -g status off\n")
        tmux = ["tmux", "-u", "-L", socket, "-f", config]
        env = dict(os.environ, LANG="C.UTF-8")
        env.pop("TMUX", None)
        subprocess.run([*tmux, "new-session", "-d", "-x", str(width), "-y", str(height),
                        f"stty -echo; cat '{path}'; exec sleep 600"], check=True, env=env)
        try:
            deadline = time.monotonic() + DEADLINE
            while subprocess.run([*tmux, "display-message", "-p", "#{pane_title}"],
                                 capture_output=True, text=True, env=env,
                                 check=False).stdout.strip() != REPLAYED_TITLE:
                if time.monotonic() > deadline:
                    raise AssertionError("tmux did not replay the bytes")
                time.sleep(0.02)
            captured = subprocess.run([*tmux, "capture-pane", "-e", "-p"], capture_output=True,
                                      check=True, env=env).stdout.decode("utf-8")
        finally:
            subprocess.run([*tmux, "kill-server"], capture_output=True, check=False)
    return parse_capture(captured, width, height)


def parse_capture(captured, width, height):
    """Rows of cells from a capture with escapes: attributes dropped, line drawing marked, a wide
    character in its first cell and an empty string in its second."""
    rows = []
    for line in captured.split("\n")[:height]:
        row = []
        shifted = False
        i = 0
        while i < len(line):
            ch = line[i]
            if ch == "\x1b":
                j = i + 1
                if j < len(line) and line[j] == "[":
                    j += 1
                    while j < len(line) and not 0x40 <= ord(line[j]) <= 0x7E:
                        j += 1
                    i = j + 1
                elif j < len(line) and line[j] in "()":
                    shifted = line[j + 1] == "0" if j + 1 < len(line) else shifted
                    i = j + 2
                else:
                    i = j + 1
                continue
            if ch in "\x0e\x0f":
                shifted = ch == "\x0e"
                i += 1
                continue
            if shifted and 0x5F <= ord(ch) <= 0x7E:
                row.append(LINE_DRAWING_MARK + ch)
            elif unicodedata.combining(ch) and row:
                row[-1] += ch
            else:
                row.append(ch)
                if unicodedata.east_asian_width(ch) in ("W", "F"):
                    row.append("")
            i += 1
        row += [" "] * (width - len(row))
        rows.append(row[:width])
    while len(rows) < height:
        rows.append([" "] * width)
    return rows


def have_tmux():
    return shutil.which("tmux") is not None
