"""The Windows game run under wine in a real terminal (tmux), checked as a player sees it.

Environment: JORVO_DICE_EXE the cross-built jorvo-dice.exe, WINEPREFIX a prefix of its own,
WINE the wine command (default "wine"), JORVO_DICE_NATIVE the game built for this system, whose
screens the Windows game must match.
"""

import glob
import itertools
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unicodedata
import unittest

# What /proc tells of the processes on a terminal, shared with the tests of the POSIX game.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from terminal import descendants, quiet_activity, terminal_processes  # noqa: E402

EXE = os.environ.get("JORVO_DICE_EXE", "")
NATIVE = os.environ.get("JORVO_DICE_NATIVE", "")
PREFIX = os.environ.get("WINEPREFIX", "")
WINE = os.environ.get("WINE", "wine")
WIDTH, HEIGHT = 110, 30
FIRST_SCREEN_SECONDS = 180  # the first start of a prefix runs wineboot
# Deadlines that only a hang misses, however loaded the machine.
STEP_SECONDS = 60
POLL_INTERVAL = 0.05

# One die as a person sees it: pip rows by face, each 10 cells wide with the gap after the die.
EMPTY, LEFT, CENTRE, RIGHT, BOTH = ("┃　 　　┃ ", "┃ ● 　　┃ ", "┃　 ● 　┃ ", "┃　　 ● ┃ ",
                                    "┃ ● 　● ┃ ")
FACES = {
    1: (EMPTY, CENTRE, EMPTY),
    2: (LEFT, EMPTY, RIGHT),
    3: (LEFT, CENTRE, RIGHT),
    4: (BOTH, EMPTY, BOTH),
    5: (BOTH, CENTRE, BOTH),
    6: (BOTH, BOTH, BOTH),
}
# Each test has a tmux server of its own, so that none starts while the last one is going away.
SOCKETS = itertools.count()

PROMPT = "게임 끝! 이름 입력: "
PROMPT_X, NAME_X, NAME_COLUMNS = 19, 39, 9

TOP = "┏━━━━━━━┓ " * 5
BOTTOM = "┗━━━━━━━┛ " * 5


def width_of(ch):
    return 2 if unicodedata.east_asian_width(ch) in ("W", "F") else 1


def cells(row):
    """The row as one entry per screen cell; the right half of a wide character is ''."""
    out = []
    for ch in row:
        out.append(ch)
        if width_of(ch) == 2:
            out.append("")
    return out


class Screen:
    """Places text at cells, as the game does, and gives the rows a person would see."""

    def __init__(self):
        self.grid = [[" "] * WIDTH for _ in range(HEIGHT)]

    def put(self, x, y, text):
        for cell in cells(text):
            self.grid[y][x] = cell
            x += 1
        return self

    def rows(self):
        return ["".join(line).rstrip() for line in self.grid]


def dice_screen(x, y, faces, screen):
    screen.put(x, y, TOP)
    for row in range(3):
        screen.put(x, y + 1 + row, "".join(FACES[f][row] for f in faces))
    screen.put(x, y + 4, BOTTOM)
    return screen


def faces_at(rows, x, y):
    """Reads the five dice drawn from cell (x, y) back into face values (None if unreadable)."""
    faces = []
    for die in range(5):
        pips = tuple("".join(cells(rows[y + 1 + r])[x + 10 * die:x + 10 * die + 9]) + " "
                     for r in range(3))
        face = [f for f, pattern in FACES.items() if pattern == pips]
        faces.append(face[0] if face else None)
    return faces


class Panes:
    """The tmux server of one test and its panes by name: captures that count only once the
    panes' processes have finished drawing, and a server that is only gone once the programs it
    ran are."""

    def __init__(self, socket):
        self.socket = socket

    def tmux(self, *args):
        return subprocess.run(["tmux", "-L", self.socket, *args], capture_output=True, text=True,
                              check=True).stdout

    def capture(self, name):
        out = self.tmux("capture-pane", "-p", "-t", name)
        rows = [r.rstrip() for r in out.split("\n")[:HEIGHT]]
        return rows + [""] * (HEIGHT - len(rows))

    def processes(self, name):
        """The processes that can draw in the pane: those started in it and those that have its
        terminal as theirs (wine's console host among them)."""
        root = int(self.tmux("display", "-p", "-t", name, "#{pane_pid}"))
        tty = self.tmux("display", "-p", "-t", name, "#{pane_tty}").strip()
        return sorted({root, *descendants(root), *terminal_processes(tty)})

    def settled(self, names):
        """The captures of the panes `names`, once two in a row agree while none of the panes'
        processes ran in between (or, where /proc does not tell, POLL_INTERVAL apart); panes
        that never settle are taken as they are after STEP_SECONDS, for the caller to judge."""
        deadline = time.monotonic() + STEP_SECONDS
        while True:
            pids = [pid for name in names for pid in self.processes(name)]
            before = quiet_activity(pids)
            first = [self.capture(name) for name in names]
            if before is None:
                time.sleep(POLL_INTERVAL)
            second = [self.capture(name) for name in names]
            if first == second and (before is None or (before and quiet_activity(pids) == before)):
                return second
            if time.monotonic() > deadline:
                return second
            time.sleep(POLL_INTERVAL)

    def kill(self, names):
        """Ends the server, then waits until the programs that drew in its panes have ended too,
        so that none of them is still at work when the next test starts."""
        try:
            pids = [pid for name in names for pid in self.processes(name)]
        except subprocess.CalledProcessError:
            pids = []
        subprocess.run(["tmux", "-L", self.socket, "kill-server"], stderr=subprocess.DEVNULL,
                       check=False)
        deadline = time.monotonic() + STEP_SECONDS
        while True:
            left = [pid for pid in pids if running(pid)]
            if not left:
                return
            if time.monotonic() > deadline:
                for pid in left:
                    os.kill(pid, signal.SIGKILL)
                deadline += STEP_SECONDS
            time.sleep(POLL_INTERVAL)


def running(pid):
    """Whether process `pid` exists and has not ended."""
    try:
        with open(f"/proc/{pid}/stat", encoding="ascii", errors="replace") as f:
            return f.read().rsplit(")", 1)[1].split()[0] not in ("Z", "X")
    except (OSError, IndexError):
        return False


def appdata_ranking_files():
    return glob.glob(os.path.join(PREFIX, "drive_c", "users", "*", "AppData", "Roaming",
                                  "JorvoDice", "Ranking.txt"))


class WineSession:
    """The Windows game started under wine in a tmux pane of its own, with ARGS on its command
    line, its exit status echoed after it."""

    ARGS = ""

    def prepare_files(self):
        """Puts files in place for the game before it starts; none by default."""

    def setUp(self):
        self.socket = f"jorvo-wine-{os.getpid()}-{next(SOCKETS)}"
        for folder in glob.glob(os.path.join(PREFIX, "drive_c", "users", "*", "AppData",
                                             "Roaming", "JorvoDice")):
            shutil.rmtree(folder)
        self.prepare_files()
        env = os.environ.copy()
        env.pop("JORVO_DATA_HOME", None)
        env.update(WINEDEBUG="-all", LC_ALL="C.UTF-8", TERM="xterm-256color")
        command = f"{WINE} '{EXE}' {self.ARGS}; echo \"EXIT=$?\"; sleep 600"
        subprocess.run(["tmux", "-L", self.socket, "-f", "/dev/null", "new-session", "-d",
                        "-x", str(WIDTH), "-y", str(HEIGHT), "-s", "game", command],
                       env=env, check=True)
        self.panes = Panes(self.socket)
        self.addCleanup(self.panes.kill, ["game"])

    def pane(self, variable):
        return subprocess.run(["tmux", "-L", self.socket, "display", "-p", "-t", "game",
                               "#{" + variable + "}"],
                              capture_output=True, text=True, check=True).stdout.rstrip("\n")

    def exit_status(self):
        rows = self.wait_for("the game to end", lambda r: re.search(r"EXIT=\d+", "".join(r)))
        return int(re.search(r"EXIT=(\d+)", "".join(rows)).group(1))

    def capture(self):
        """The pane's rows once the game and the console have finished drawing."""
        return self.panes.settled(["game"])[0]

    def send(self, *keys, literal=False):
        subprocess.run(["tmux", "-L", self.socket, "send-keys", "-t", "game"] +
                       (["-l"] if literal else []) + list(keys), check=True)

    def wait_for(self, what, predicate, seconds=STEP_SECONDS):
        deadline = time.monotonic() + seconds
        rows = self.capture()
        while not predicate(rows):
            if time.monotonic() > deadline:
                self.fail(f"timed out waiting for {what}; the screen was:\n" + "\n".join(rows))
            time.sleep(POLL_INTERVAL)
            rows = self.capture()
        return rows

    def wait_pane(self, variable, value, seconds=STEP_SECONDS):
        """Waits until tmux shows `value` for the pane's `variable`: the console writes what the
        game set in its own time."""
        deadline = time.monotonic() + seconds
        while self.pane(variable) != value:
            if time.monotonic() > deadline:
                self.fail(f"the pane's {variable} stays {self.pane(variable)!r}, not {value!r}")
            time.sleep(POLL_INTERVAL)

    def wait_pane_not(self, variable, value, seconds=STEP_SECONDS):
        deadline = time.monotonic() + seconds
        while self.pane(variable) == value:
            if time.monotonic() > deadline:
                self.fail(f"the pane's {variable} stays {value!r}")
            time.sleep(POLL_INTERVAL)

    def wait_row(self, y, pattern, seconds=STEP_SECONDS):
        return self.wait_for(f"row {y} to match {pattern!r}",
                             lambda rows: re.search(pattern, rows[y]) is not None, seconds)

    def play_to_name_prompt(self):
        """From the title menu, a single-player game recording category k in turn k; returns the
        screen at the name prompt."""
        self.send("Enter")
        for turn in range(12):
            self.wait_for(f"turn {turn + 1}", lambda r: re.search(rf"turn\s+{turn + 1}/12", r[3])
                          and "Remain Roll : 3" in r[22])
            self.send("Enter")
            self.wait_row(22, r"Remain Roll : 2")
            self.send("Right", *(["Down"] * turn), "Enter")
        return self.wait_row(25, PROMPT)

    def menu_line(self, choice):
        labels = {"SINGLE": "  -> SINGLE      MULTI      RANKING",
                  "MULTI": "     SINGLE   -> MULTI      RANKING",
                  "RANKING": "     SINGLE      MULTI   -> RANKING"}
        return Screen().put(40, 18, labels[choice]).rows()[18]


@unittest.skipUnless(EXE and PREFIX, "JORVO_DICE_EXE and WINEPREFIX must be set")
class WineGame(WineSession, unittest.TestCase):
    def test_title_menu_a_whole_game_and_the_ranking_in_appdata(self):
        rows = self.wait_row(18, "-> SINGLE", FIRST_SCREEN_SECONDS)

        # The title screen, every cell of it.
        expected = dice_screen(35, 10, [1, 2, 3, 4, 5], Screen().put(54, 8, "Jorvo  Dice"))
        expected.put(40, 18, "  -> SINGLE      MULTI      RANKING")
        for y, (seen, wanted) in enumerate(zip(rows, expected.rows())):
            self.assertEqual(seen, wanted, f"title screen row {y}")

        # The console's title is set and its cursor hidden.
        self.wait_pane("pane_title", "Jorvo Dice")
        self.wait_pane("cursor_flag", "0")

        # The ranking file is created empty in the roaming application data at start-up.
        files = appdata_ranking_files()
        self.assertEqual(len(files), 1, "Ranking.txt in the prefix's AppData\\Roaming\\JorvoDice")
        with open(files[0], "rb") as f:
            self.assertEqual(f.read(), b"")

        # The arrow moves right and left, and stops at either end.
        for key, choice in [("Left", "SINGLE"), ("Right", "MULTI"), ("Right", "RANKING"),
                            ("Right", "RANKING"), ("Left", "MULTI"), ("Left", "SINGLE")]:
            self.send(key)
            self.wait_for(f"{choice} after {key}", lambda r: r[18] == self.menu_line(choice))

        # A single-player game starts with the title's dice and three rolls.
        self.send("Enter")
        rows = self.wait_row(22, r"Remain Roll : 3")
        self.assertIn("SINGLE MODE", rows[8])
        self.assertEqual(faces_at(rows, 8, 12), [1, 2, 3, 4, 5])

        # One roll: two rolls left, and the sheet offers what the new dice are worth.
        self.send("Enter")
        rows = self.wait_for("the roll's last frame",
                             lambda r: "Remain Roll : 2" in r[22]
                             and re.search(r"Choice\s+\d+", r[17]) is not None)
        faces = faces_at(rows, 8, 12)
        self.assertNotIn(None, faces, "\n".join(rows[12:17]))
        self.assertEqual(int(re.search(r"Choice\s+(\d+)", rows[17]).group(1)), sum(faces))
        self.assertEqual(int(re.search(r"Aces\s+(\d+)", rows[5]).group(1)), faces.count(1))

        # Twelve turns, recording category k in turn k, then the name typed in Hangul.
        for turn in range(12):
            if turn > 0:
                self.wait_row(3, rf"turn\s+{turn + 1}/12")
                self.send("Enter")
                self.wait_row(22, r"Remain Roll : 2")
            self.send("Right", *(["Down"] * turn), "Enter")
        rows = self.wait_row(25, PROMPT)
        total = self.type_name_checking_every_cell(rows)
        self.send("Enter")
        self.wait_row(27, "PRESS ENTER TO EXIT")
        self.send("Enter")
        self.assertEqual(self.exit_status(), 0)
        # The console is left as it was found: cursor shown, title given back.
        self.wait_pane("cursor_flag", "1")
        self.wait_pane_not("pane_title", "Jorvo Dice")

        with open(appdata_ranking_files()[0], "rb") as f:
            self.assertEqual(f.read().decode("utf-8"), f"1\t홍길동abc\t{total}\n")
        folder = os.path.dirname(appdata_ranking_files()[0])
        self.assertEqual(sorted(os.listdir(folder)), ["Ranking.lock", "Ranking.txt"],
                         "no temporary file is left beside the ranking")

    def type_name_checking_every_cell(self, rows):
        """Types a Hangul name at the prompt, checking the whole screen cell for cell after every
        key: each character right after the one before it, once, in the name's nine columns, and
        everything else as it was, the sheet's total on the same row included. Returns the total."""
        prompt_row = cells(rows[25]) + [" "] * WIDTH
        self.assertEqual(prompt_row[:NAME_X], cells(" " * PROMPT_X + PROMPT), "the prompt")
        self.assertEqual(prompt_row[NAME_X:NAME_X + NAME_COLUMNS], [" "] * NAME_COLUMNS)
        total = re.search(r"Total\s+(\d+)", rows[25])
        self.assertIsNotNone(total, "the sheet's total on the prompt's row")
        # key, the name shown after it
        steps = [("홍", "홍"), ("길", "홍길"), ("동", "홍길동"), ("가", "홍길동가"),
                 ("나", "홍길동가"),  # two more columns do not fit: the name is cut there
                 ("BSpace", "홍길동"), ("a", "홍길동a"), ("b", "홍길동ab"), ("c", "홍길동abc")]
        for key, name in steps:
            self.send(key, literal=key != "BSpace")
            want = list(rows)
            field = cells(name) + [" "] * (NAME_COLUMNS - len(cells(name)))
            want[25] = "".join(prompt_row[:NAME_X] + field +
                               prompt_row[NAME_X + NAME_COLUMNS:]).rstrip()
            self.wait_for(f"{name} after {key}", lambda r: r == want)
        return int(total.group(1))

    def test_ctrl_c_ends_the_run_unfinished_and_gives_the_console_back(self):
        self.wait_row(18, "-> SINGLE", FIRST_SCREEN_SECONDS)
        self.wait_pane("cursor_flag", "0")
        self.send("C-c")
        self.assertNotEqual(self.exit_status(), 0)
        self.wait_pane("cursor_flag", "1")
        self.wait_pane_not("pane_title", "Jorvo Dice")


@unittest.skipUnless(EXE and PREFIX, "JORVO_DICE_EXE and WINEPREFIX must be set")
class WineGameWithTheEngine(WineSession, unittest.TestCase):
    ARGS = "--coach --computer"

    def test_a_coached_game_against_the_computer_plays_to_its_result(self):
        self.wait_row(18, "-> SINGLE", FIRST_SCREEN_SECONDS)
        self.send("Right", "Enter")
        for turn in range(1, 13):
            self.wait_for(f"1P's turn {turn}",
                          lambda r: re.search(rf"turn\s+{turn}/12", r[3]) and "1P's turn" in r[8]
                          and "Remain Roll : 3" in r[22], 60)
            self.send("Enter")
            rows = self.wait_for("the advice after the roll",
                                 lambda r: "Remain Roll : 2" in r[22] and "Best: " in r[24])
            self.assertRegex(rows[24],
                             r"^        Best: .+  avg total \d+\.\d  yours: (best|-\d+\.\d|taken)$")
            self.send("Right", *(["Down"] * (turn - 1)), "Enter")
            self.wait_for("2P's turn", lambda r: "2P's turn" in r[8])
        rows = self.wait_row(27, r"(1P WIN!|2P WIN!|DRAW\.\.\.)", 60)
        totals = [int(t) for t in re.search(r"Total\s+(\d+)\s+(\d+)", rows[25]).groups()]
        want = "1P WIN!" if totals[0] > totals[1] else "2P WIN!" if totals[1] > totals[0] else "DRAW..."
        self.assertIn(want, rows[27])
        self.send("x")
        self.assertEqual(self.exit_status(), 0)
        rows = self.wait_for("the review", lambda r: any("Review of 1P's game" in row for row in r))
        review = "\n".join(rows)
        self.assertRegex(review, rf"final total +{totals[0]}\n")
        self.assertNotIn("Review of 2P's game", review)


@unittest.skipUnless(EXE and PREFIX, "JORVO_DICE_EXE and WINEPREFIX must be set")
class WineGameAgainstTheLowestLevel(WineSession, unittest.TestCase):
    ARGS = "--computer --level=1 --seed 5"

    def test_a_game_against_level_1_plays_to_its_end_showing_the_level(self):
        self.wait_row(18, "-> SINGLE", FIRST_SCREEN_SECONDS)
        self.send("Right", "Enter")
        for turn in range(1, 13):
            rows = self.wait_for(f"1P's turn {turn}",
                                 lambda r: re.search(rf"turn\s+{turn}/12", r[3])
                                 and "1P's turn" in r[8] and "Remain Roll : 3" in r[22], 60)
            self.assertEqual(rows[8][40:61], "2P: computer, level 1")
            self.send("Enter")
            self.wait_row(22, r"Remain Roll : 2")
            self.send("Right", *(["Down"] * (turn - 1)), "Enter")
            self.wait_for("2P's turn", lambda r: "2P's turn" in r[8])
        rows = self.wait_row(27, r"(1P WIN!|2P WIN!|DRAW\.\.\.)", 60)
        totals = [int(t) for t in re.search(r"Total\s+(\d+)\s+(\d+)", rows[25]).groups()]
        want = "1P WIN!" if totals[0] > totals[1] else "2P WIN!" if totals[1] > totals[0] else "DRAW..."
        self.assertIn(want, rows[27])
        self.assertEqual(rows[8][40:61], "2P: computer, level 1")
        self.send("x")
        self.assertEqual(self.exit_status(), 0)
        rows = self.wait_for("the review", lambda r: any("Review of 1P's game" in row for row in r))
        review = "\n".join(rows)
        self.assertRegex(review, rf"final total +{totals[0]}\n")
        self.assertRegex(review, r"closest level of play +level [1-5] of 5")


@unittest.skipUnless(EXE and PREFIX, "JORVO_DICE_EXE and WINEPREFIX must be set")
class WineLinkedRanking(WineSession, unittest.TestCase):
    """A player who keeps the ranking in a folder of their own, with a link in its place. wine
    makes no Windows symbolic link, but opens a link of this system's as Windows opens its own:
    the game must find the file it leads to, and replace that file rather than the link."""

    LINK = os.path.join("..", "..", "..", "Sync", "scores.txt")
    STORED = "1\tAnn\t300\nmy best games\n2\tBo\t1\n"

    def prepare_files(self):
        self.folder = appdata_folder()
        self.synced = os.path.join(self.folder, "..", "..", "..", "Sync")
        shutil.rmtree(self.synced, ignore_errors=True)
        self.addCleanup(shutil.rmtree, self.synced, ignore_errors=True)
        os.makedirs(self.synced)
        shutil.rmtree(self.folder, ignore_errors=True)
        os.makedirs(self.folder)
        with open(os.path.join(self.synced, "scores.txt"), "w", encoding="utf-8") as f:
            f.write(self.STORED)
        os.symlink(self.LINK, os.path.join(self.folder, "Ranking.txt"))

    def test_a_save_replaces_the_file_the_link_leads_to_and_keeps_the_link(self):
        self.wait_row(18, "-> SINGLE", FIRST_SCREEN_SECONDS)
        rows = self.play_to_name_prompt()
        total = int(re.search(r"Total\s+(\d+)", rows[25]).group(1))
        self.send("Zed", literal=True)
        self.send("Enter")
        self.wait_row(27, "PRESS ENTER TO EXIT")
        self.send("Enter")
        self.assertEqual(self.exit_status(), 0)

        link = os.path.join(self.folder, "Ranking.txt")
        self.assertTrue(os.path.islink(link), "the link was replaced by a file")
        self.assertEqual(os.readlink(link), self.LINK)
        with open(os.path.join(self.synced, "scores.txt"), encoding="utf-8", newline="") as f:
            # The note is no entry and goes; the entries on either side of it stay.
            self.assertEqual(f.read(), f"1\tAnn\t300\n2\tZed\t{total}\n3\tBo\t1\n")
        self.assertEqual(os.listdir(self.synced), ["scores.txt"], "a temporary file was left")
        self.assertEqual(sorted(os.listdir(self.folder)), ["Ranking.lock", "Ranking.txt"])


def appdata_folder():
    users = [u for u in glob.glob(os.path.join(PREFIX, "drive_c", "users", "*"))
             if os.path.basename(u) != "Public"]
    if len(users) != 1:
        raise AssertionError(f"expected one user in the wine prefix, found {users}")
    return os.path.join(users[0], "AppData", "Roaming", "JorvoDice")


@unittest.skipUnless(EXE and PREFIX and NATIVE,
                     "JORVO_DICE_EXE, WINEPREFIX and JORVO_DICE_NATIVE must be set")
class SameScreensAsNative(unittest.TestCase):
    """The same keys give the same screens, cell for cell, on Windows and on this system."""

    # The widest names: nine columns, and one that is cut to eight.
    RANKING = "1\t김철수\t250\n2\tAnn\t180\n3\tBo\t95\n4\t가나다라x\t90\n5\t홍길동가나다\t80\n"

    def setUp(self):
        self.socket = f"jorvo-same-{os.getpid()}-{next(SOCKETS)}"
        data = tempfile.mkdtemp(prefix="jorvo-same-")
        self.addCleanup(shutil.rmtree, data)
        os.makedirs(os.path.join(data, "JorvoDice"))
        with open(os.path.join(data, "JorvoDice", "Ranking.txt"), "w", encoding="utf-8") as f:
            f.write(self.RANKING)
        folder = appdata_folder()
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        with open(os.path.join(folder, "Ranking.txt"), "w", encoding="utf-8") as f:
            f.write(self.RANKING)
        env = os.environ.copy()
        env.pop("JORVO_DATA_HOME", None)
        env.update(WINEDEBUG="-all", LC_ALL="C.UTF-8", XDG_DATA_HOME=data)
        self.panes = Panes(self.socket)
        self.addCleanup(self.panes.kill, ["win", "native"])
        # The same seed on both: the same keys then roll the same dice on both systems.
        seed = "--seed 2026"
        for name, command in [("win", f"{WINE} '{EXE}' {seed}"),
                              ("native", f"'{NATIVE}' {seed}")]:
            subprocess.run(["tmux", "-L", self.socket, "-f", "/dev/null", "new-session", "-d",
                            "-x", str(WIDTH), "-y", str(HEIGHT), "-s", name,
                            command + "; sleep 600"], env=env, check=True)

    def capture(self, name):
        return self.panes.capture(name)

    def send(self, key):
        for name in ("win", "native"):
            subprocess.run(["tmux", "-L", self.socket, "send-keys", "-t", name, key], check=True)

    def expect_same(self, what, y, pattern, seconds=STEP_SECONDS):
        deadline = time.monotonic() + seconds
        while True:
            win, native = self.panes.settled(["win", "native"])
            if win == native and re.search(pattern, win[y]):
                return
            if time.monotonic() > deadline:
                diff = [f"row {i}:\n  windows: {a!r}\n  native:  {b!r}"
                        for i, (a, b) in enumerate(zip(win, native)) if a != b]
                self.fail(f"{what}: the screens differ or row {y} lacks {pattern!r}\n" +
                          "\n".join(diff or win))
            time.sleep(POLL_INTERVAL)

    def test_title_menu_ranking_first_game_frame_and_seeded_rolls(self):
        self.expect_same("the title screen", 18, "-> SINGLE", FIRST_SCREEN_SECONDS)
        self.send("Right")
        self.expect_same("MULTI chosen", 18, "-> MULTI")
        self.send("Right")
        self.expect_same("RANKING chosen", 18, "-> RANKING")
        self.send("Enter")
        self.expect_same("the ranking screen", 25, "PRESS ENTER TO RETURN")
        self.assertIn("김철수", self.capture("win")[3])
        self.assertIn(" 4   가나다라x    90", self.capture("win")[9])
        self.assertIn(" 5    홍길동가    80", self.capture("win")[11])
        self.send("Enter")
        self.expect_same("the title screen again", 18, "-> SINGLE")
        self.send("Enter")
        self.expect_same("the first frame of a game", 22, "Remain Roll : 3")
        for rolls_left in (2, 1):
            self.send("Enter")
            self.expect_same(f"a roll of the seeded game, {rolls_left} left", 22,
                             f"Remain Roll : {rolls_left}")


@unittest.skipUnless(EXE and PREFIX, "JORVO_DICE_EXE and WINEPREFIX must be set")
class WineWithoutConsole(unittest.TestCase):
    def test_redirected_output_is_refused_with_a_reason(self):
        env = dict(os.environ, WINEDEBUG="-all")
        with tempfile.TemporaryFile() as out:
            result = subprocess.run([WINE, EXE], stdin=subprocess.DEVNULL, stdout=out,
                                    stderr=subprocess.PIPE, env=env, timeout=120)
            out.seek(0)
            written = out.read()
        self.assertEqual(result.returncode, 1)
        self.assertIn(b"must be a console", result.stderr)
        self.assertNotIn(b"\x1b", written)

    def test_output_that_cannot_be_written_is_reported_with_status_1(self):
        env = dict(os.environ, WINEDEBUG="-all")
        for args in (["--help"], ["--version"], ["--simulate", "5", "--seed", "1"]):
            for where in ("/dev/full", "closed"):
                with self.subTest(args=args, where=where):
                    if where == "closed":
                        command = ["/bin/sh", "-c", 'exec "$@" >&-', "sh", WINE, EXE, *args]
                        result = subprocess.run(command, stdin=subprocess.DEVNULL,
                                                capture_output=True, env=env, timeout=300)
                    else:
                        with open(where, "wb") as full:
                            result = subprocess.run([WINE, EXE, *args], stdin=subprocess.DEVNULL,
                                                    stdout=full, stderr=subprocess.PIPE, env=env,
                                                    timeout=300)
                    self.assertEqual(result.returncode, 1, result.stderr)
                    self.assertTrue(result.stderr.startswith(b"jorvo-dice: write error"),
                                    result.stderr)


if __name__ == "__main__":
    unittest.main()
