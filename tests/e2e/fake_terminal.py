"""The game on a pseudo-terminal of the test's own that pretends to be a given kind of terminal.

The game asks the terminal where the cursor went after a few characters (the cursor position
report); FakeTerminal answers as the terminal it pretends to be, by following the cursor's column
through every byte the game writes: UTF-8 or not, East Asian ambiguous-width characters one column
or two, the line-drawing set one column or two, or no answer at all. It records every byte, so
that what the game wrote can be replayed into a real terminal (tmux) and read back cell by cell.

    with FakeTerminal(UTF8_NARROW) as fake:       # or AMBIGUOUS_WIDE, LATIN1, SILENT, ...
        fake.start(env={"LANG": "C.UTF-8"})
        fake.wait_for(b"RANKING")                 # reads until the bytes have been written
        fake.settle()                             # ... and until the game writes nothing more
        fake.send(b"\\r")
        cells = replay(fake.output(), 110, 30)    # what a terminal shows for those bytes
"""

import fcntl
import os
import select
import shutil
import struct
import subprocess
import tempfile
import termios
import time
import unicodedata
from dataclasses import dataclass

from terminal import game_binary


@dataclass(frozen=True)
class Kind:
    """What a terminal does with the bytes it is sent."""
    name: str
    answers: bool = True          # answers the cursor position report
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
    if line_drawing:
        return 2 if kind.line_drawing_wide else 1
    if unicodedata.combining(ch) or ord(ch) < 0x20:
        return 0
    width = unicodedata.east_asian_width(ch)
    if width in ("W", "F") or (width == "A" and kind.ambiguous_wide):
        return 2
    return 1


class FakeTerminal:
    def __init__(self, kind, width=110, height=30):
        self.kind = kind
        self.width = width
        self.height = height
        self._tmp = tempfile.TemporaryDirectory(prefix="jorvo-fake-")
        self.data_home = os.path.join(self._tmp.name, "data")
        os.makedirs(self.data_home)
        self.log = bytearray()
        self.reports = 0
        self.process = None
        self.master = None
        # The terminal's state, as far as the column of the cursor needs it.
        self._column = 1
        self._pending = bytearray()
        self._line_drawing = False

    def start(self, env=None, argv=None):
        environment = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": self.data_home,
                       "TERM": "xterm-256color", "XDG_DATA_HOME": self.data_home}
        environment.update(env or {})
        environment = {k: v for k, v in environment.items() if v is not None}
        self.master, slave = os.openpty()
        fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", self.height, self.width, 0, 0))
        self.started = time.monotonic()
        self.process = subprocess.Popen(argv or [game_binary()], stdin=slave, stdout=slave,
                                        stderr=slave, env=environment, start_new_session=True,
                                        preexec_fn=lambda: fcntl.ioctl(0, termios.TIOCSCTTY, 0))
        os.close(slave)

    def close(self):
        if self.process is not None and self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        if self.master is not None:
            os.close(self.master)
            self.master = None
        self._tmp.cleanup()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    # ---- the terminal side ----------------------------------------------------------------------

    def pump(self, timeout):
        """Reads what the game wrote within `timeout` seconds, answering its questions; False when
        nothing came."""
        ready, _, _ = select.select([self.master], [], [], max(timeout, 0))
        if not ready:
            return False
        try:
            data = os.read(self.master, 65536)
        except OSError:  # EIO: the game's side is closed
            return False
        if not data:
            return False
        self.log += data
        self._follow(data)
        return True

    def _follow(self, data):
        self._pending += data
        buf = self._pending
        i = 0
        while i < len(buf):
            b = buf[i]
            if b == 0x1B:
                end = self._escape_end(buf, i)
                if end is None:
                    break  # the rest of the sequence has not arrived yet
                self._escape(bytes(buf[i:end]))
                i = end
            elif b == 0x0D:
                self._column = 1
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
        if second == ord("]"):
            for j in range(i + 2, len(buf)):
                if buf[j] == 0x07:
                    return j + 1
                if buf[j] == 0x1B and j + 1 < len(buf) and buf[j + 1] == ord("\\"):
                    return j + 2
            return None
        if second in b"()*+":
            return i + 3 if i + 2 < len(buf) else None
        return i + 2

    def _escape(self, sequence):
        if sequence == b"\x1b[6n":
            self.reports += 1
            if self.kind.answers:
                os.write(self.master, f"\x1b[1;{self._column}R".encode())
        elif sequence in (b"\x1b(0", b"\x1b(B"):
            self._line_drawing = sequence == b"\x1b(0"
        elif sequence.endswith(b"H") and sequence.startswith(b"\x1b["):
            params = sequence[2:-1].split(b";")
            self._column = int(params[1]) if len(params) == 2 and params[1] else 1
        elif sequence.endswith(b"G") and sequence.startswith(b"\x1b["):
            self._column = int(sequence[2:-1] or b"1")

    def _advance(self, columns):
        self._column = min(self._column + columns, self.width)

    def wait_for(self, text, timeout=10.0):
        deadline = time.monotonic() + timeout
        while text not in self.log:
            if time.monotonic() > deadline:
                raise AssertionError(f"the game never wrote {text!r}; it wrote {bytes(self.log)!r}")
            self.pump(0.05)

    def settle(self, quiet=0.3, timeout=10.0):
        """Reads until the game has written nothing for `quiet` seconds."""
        deadline = time.monotonic() + timeout
        while self.pump(quiet):
            if time.monotonic() > deadline:
                raise AssertionError("the game never stopped writing")

    def send(self, data):
        os.write(self.master, data)

    def output(self):
        return bytes(self.log)

    def wait_exit(self, timeout=20.0):
        deadline = time.monotonic() + timeout
        while self.process.poll() is None:
            if time.monotonic() > deadline:
                raise AssertionError("the game did not end")
            self.pump(0.05)
        while self.pump(0.05):
            pass
        return self.process.returncode


# ---- reading the bytes back as a terminal shows them ---------------------------------------------

# What tmux's capture shows for a cell of the VT100 line-drawing set, by its letter.
LINE_DRAWING_MARK = "\x0e"


def replay(data, width, height, tag="replay"):
    """The cells a terminal of width x height shows after `data`: tmux reads the bytes from a file
    and its capture is parsed, with each cell of the line-drawing set given as LINE_DRAWING_MARK
    and its letter."""
    with tempfile.TemporaryDirectory(prefix="jorvo-replay-") as folder:
        path = os.path.join(folder, "bytes")
        done = os.path.join(folder, "done")
        with open(path, "wb") as f:
            # tmux would answer the questions itself, and its answers would be echoed.
            f.write(data.replace(b"\x1b[6n", b""))
        socket = f"jorvo-{tag}-{os.getpid()}-{time.monotonic_ns()}"
        config = os.path.join(folder, "tmux.conf")
        with open(config, "w", encoding="ascii") as f:
            f.write("set -g status off\n")
        tmux = ["tmux", "-u", "-L", socket, "-f", config]
        env = dict(os.environ, LANG="C.UTF-8")
        env.pop("TMUX", None)
        subprocess.run([*tmux, "new-session", "-d", "-x", str(width), "-y", str(height),
                        f"cat '{path}'; touch '{done}'; exec sleep 60"], check=True, env=env)
        try:
            deadline = time.monotonic() + 10
            while not os.path.exists(done):
                if time.monotonic() > deadline:
                    raise AssertionError("tmux did not replay the bytes")
                time.sleep(0.02)
            time.sleep(0.05)
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
