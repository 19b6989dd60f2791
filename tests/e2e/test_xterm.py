"""The game in a real xterm under Xvfb, read back through xterm's own print-screen: as xterm
-cjk_width, which draws East Asian ambiguous-width characters (and its line-drawing set) two
columns wide, as a plain UTF-8 xterm, and as an xterm in the C locale, which does not decode UTF-8.
Each is played beside the game in tmux, both with the same seed so that the dice are the same,
with the same keys, and every screen must equal the tmux one cell for cell: with ASCII stand-ins
for the dice in the wide xterm, as it is in the plain one, in the line-drawing set in the C locale.
The window's title is read as well. Where xterm, Xvfb or xdotool cannot be had, the tests skip,
saying so.
"""

import os
import shutil
import subprocess
import tempfile
import time
import unittest

from terminal import DEFAULT_TIMEOUT, Screen, Terminal, game_binary

WIDTH, HEIGHT = 110, 30
ASCII_CELLS = {"┏": "+", "┓": "+", "┗": "+", "┛": "+", "━": "-", "┃": "|", "●": "o", "↑": "^"}
LINE_DRAWING_LETTERS = {"┏": "l", "┓": "k", "┗": "m", "┛": "j", "━": "q", "┃": "x", "●": "`",
                        "↑": "^"}
# The same dice in both games: the same seed and the same keys roll the same.
SEED = ("--seed", "2026")
# The key that makes xterm print its screen, by its xdotool name and in xterm's translations.
PRINT_KEY, PRINT_KEY_BINDING = "ctrl+shift+F12", "Ctrl Shift <Key>F12"

display = None
xvfb = None
skip_reason = None


def setUpModule():
    global display, xvfb, skip_reason
    missing = [tool for tool in ("tmux", "xterm", "Xvfb", "xdotool") if shutil.which(tool) is None]
    if missing:
        skip_reason = f"{', '.join(missing)} not installed"
        return
    read, write = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1600x1000x24",
                             "-nolisten", "tcp"], pass_fds=(write,), stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    os.close(write)
    with os.fdopen(read) as number:
        found = number.readline().strip()
    if not found:
        skip_reason = "Xvfb did not start"
        return
    display = f":{found}"


def tearDownModule():
    if xvfb is not None:
        xvfb.terminate()
        xvfb.wait()


class XTerm:
    """The game in an xterm of WIDTH x HEIGHT on the test's display."""

    def __init__(self, options, lang):
        self._tmp = tempfile.TemporaryDirectory(prefix="jorvo-xterm-")
        self.dir = self._tmp.name
        self.tty_file = os.path.join(self.dir, "tty")
        self.print_file = os.path.join(self.dir, "screen")
        script = os.path.join(self.dir, "run.sh")
        with open(script, "w", encoding="ascii") as f:
            f.write(f"tty > '{self.tty_file}.part' && mv '{self.tty_file}.part' '{self.tty_file}'\n"
                    f"XDG_DATA_HOME='{self.dir}' exec '{game_binary()}' {' '.join(SEED)}\n")
        env = {k: v for k, v in os.environ.items() if not k.startswith(("LC_", "TMUX"))}
        env.update(DISPLAY=display, LANG=lang)
        self.process = subprocess.Popen(
            ["xterm", *options, "-hold", "-geometry", f"{WIDTH}x{HEIGHT}", "-title", "xterm",
             "-xrm", f"XTerm*printerCommand: cat > '{self.print_file}.part' && "
                     f"mv '{self.print_file}.part' '{self.print_file}'",
             "-xrm", "XTerm*printAttributes: 0",
             "-xrm", f"XTerm*VT100.translations: #override {PRINT_KEY_BINDING}: print()",
             "-e", "sh", script],
            env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.env = env
        self.window = None

    def wait_started(self, timeout=DEFAULT_TIMEOUT):
        deadline = time.monotonic() + timeout
        while not os.path.exists(self.tty_file):
            if time.monotonic() > deadline or self.process.poll() is not None:
                raise AssertionError("xterm did not start the game")
            time.sleep(0.02)
        with open(self.tty_file, encoding="ascii") as f:
            self.tty = f.read().strip()
        found = subprocess.run(["xdotool", "search", "--sync", "--pid", str(self.process.pid)],
                               capture_output=True, text=True, env=self.env,
                               timeout=DEFAULT_TIMEOUT)
        self.window = found.stdout.split()[0]

    def xdotool(self, *args):
        return subprocess.run(["xdotool", *args], capture_output=True, text=True, env=self.env,
                              check=True, timeout=DEFAULT_TIMEOUT).stdout.strip()

    def keys(self, *names):
        self.xdotool("windowfocus", "--sync", self.window)
        self.xdotool("key", "--clearmodifiers", *names)

    def title(self):
        return self.xdotool("getwindowname", self.window)

    def screen(self):
        """The screen as xterm prints it, asked by a key that xterm keeps for itself: a request
        written to the game's terminal could land in the middle of a frame the game writes."""
        if os.path.exists(self.print_file):
            os.remove(self.print_file)
        self.keys(PRINT_KEY)
        deadline = time.monotonic() + DEFAULT_TIMEOUT
        while not os.path.exists(self.print_file):
            if time.monotonic() > deadline:
                raise AssertionError("xterm did not print its screen")
            time.sleep(0.02)
        with open(self.print_file, encoding="utf-8", errors="replace") as f:
            # xterm prints U+FFFF for the right half of a wide character.
            lines = f.read().replace("\uffff", "").split("\n")
        return Screen(lines, WIDTH, HEIGHT)

    def wait(self, cells, what, timeout=DEFAULT_TIMEOUT):
        deadline = time.monotonic() + timeout
        while True:
            screen = self.screen()
            if screen.cells == cells:
                return screen
            if time.monotonic() > deadline:
                diff = "\n".join(f"row {y}:\n  want {''.join(w)!r}\n  got  {''.join(g)!r}"
                                 for y, (w, g) in enumerate(zip(cells, screen.cells)) if w != g)
                raise AssertionError(f"{what}: the xterm screen differs\n{diff}")
            time.sleep(0.1)

    def close(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait()
        self._tmp.cleanup()


def as_shown(screen, stand_ins):
    """The cells of the game in tmux with the stand-ins, where the ideographic space is two
    blanks."""
    rows = []
    for row in screen.cells:
        cells = []
        for x, cell in enumerate(row):
            if stand_ins and (cell == "\u3000" or (cell == "" and row[x - 1] == "\u3000")):
                cells.append(" ")
            else:
                cells.append(stand_ins.get(cell, cell))
        rows.append(cells)
    return rows


class RealXterm(unittest.TestCase):
    def setUp(self):
        if skip_reason:
            print(f"SKIPPED: {skip_reason}")
            self.skipTest(skip_reason)

    def test_the_game_in_xterm_equals_the_game_in_tmux(self):
        cases = (
            ("xterm -cjk_width", ["-u8", "-cjk_width"], "C.UTF-8", ASCII_CELLS),
            ("xterm", ["-u8"], "C.UTF-8", {}),
            # Not UTF-8: the dice in xterm's line-drawing set, which its print-screen gives as
            # the set's letters.
            ("xterm in the C locale", [], "C", LINE_DRAWING_LETTERS),
        )
        for what, options, lang, stand_ins in cases:
            with self.subTest(what):
                self.play_beside(options, lang, stand_ins)

    def play_beside(self, options, lang, stand_ins):
        with Terminal(WIDTH, HEIGHT) as tmux:
            xterm = XTerm(options, lang)
            try:
                tmux.start(args=SEED)
                xterm.wait_started()

                def same(x, y, text, what):
                    shown = tmux.wait_text(x, y, text)
                    xterm.wait(as_shown(shown, stand_ins), what)

                same(42, 18, "-> SINGLE", "the title")
                self.assertEqual(xterm.title(), "Jorvo Dice")
                steps = (
                    (("Return",), (27, 8, "SINGLE MODE"), "the first frame"),
                    (("Return",), (25, 22, "Remain Roll : 2"), "the first roll"),
                    (("Up", "Right"), (22, 17, "↑"), "the dice cursor on the second die"),
                    (("Return",), (21, 11, "fix"), "the second die held"),
                    (("Down", "Return"), (25, 22, "Remain Roll : 1"), "the second roll"),
                    (("Right", "Down"), (79, 6, "->"), "the sheet cursor on Deuces"),
                    (("Return",), (65, 3, "turn  2/12"), "the second turn"),
                )
                for keys, (x, y, text), what in steps:
                    tmux.keys(*[{"Return": "Enter"}.get(k, k) for k in keys])
                    xterm.keys(*keys)
                    same(x, y, text, what)
                xterm.keys("ctrl+c")
                deadline = time.monotonic() + DEFAULT_TIMEOUT
                while xterm.title() == "Jorvo Dice" and time.monotonic() < deadline:
                    time.sleep(0.05)
                self.assertEqual(xterm.title(), "xterm", "the title was not given back")
            finally:
                xterm.close()


if __name__ == "__main__":
    unittest.main()
