#!/usr/bin/env python3
"""Measures what the game costs the machine and the terminal link, and prints the figures.

The game runs on a pseudo-terminal of this script's own (the end-to-end tests' FakeTerminal), so
every byte it writes and the moment it arrives are seen exactly. The game counts as idle once it is
blocked in poll() waiting for a key with nothing left unread on either side; the bytes of a key are
those that arrive between the key and that moment. This is a benchmark, not a test: it prints figures beside their goals and exits 0
whether or not the goals are met.

Usage: bench.py [--quick] GAME
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time

# The terminal the game runs on is the end-to-end tests' own.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from fake_terminal import UTF8_NARROW, FakeTerminal  # noqa: E402

COLUMNS, ROWS = 110, 30
CLOCK_TICKS = os.sysconf("SC_CLK_TCK")

# Keys as a terminal in keypad-transmit mode sends them (the game switches that mode on).
UP, DOWN, RIGHT, LEFT = b"\x1bOA", b"\x1bOB", b"\x1bOC", b"\x1bOD"
ENTER = b"\r"

# A full ranking, so that start-up reads ten entries.
RANKING = "".join(f"{place}\tplayer{place}\t{220 - 20 * place}\n" for place in range(1, 11))
NAME_PROMPT = "이름 입력".encode()


class Game(FakeTerminal):
    """One run of the game on a pseudo-terminal of COLUMNS x ROWS that answers the terminal's
    questions as a UTF-8 terminal with narrow ambiguous characters would."""

    def __init__(self, exe, data_home, args=()):
        super().__init__(UTF8_NARROW, COLUMNS, ROWS, data_home=data_home)
        self.start(env={"LANG": "C.UTF-8"}, argv=[exe], args=args)

    def key(self, keys):
        """Sends keys and waits until the game is idle again. Returns the mark of the answer in
        the log, the bytes of the answer and the write() calls that carried it."""
        mark = self.mark()
        calls = self.write_calls()
        self.send(keys)
        self.wait_idle()
        return mark, self.output(mark), self.write_calls() - calls

    def idle_cpu(self, seconds):
        """Share of one core used over `seconds` while the game waits for a key."""
        before = self.cpu_seconds()
        begun = time.monotonic()
        time.sleep(seconds)
        return (self.cpu_seconds() - before) / (time.monotonic() - begun)


def new_data_home(root):
    home = tempfile.mkdtemp(prefix="home", dir=root)
    os.makedirs(os.path.join(home, "JorvoDice"))
    with open(os.path.join(home, "JorvoDice", "Ranking.txt"), "w") as f:
        f.write(RANKING)
    return home


def bursts(log, gap=0.03):
    """Groups reads into the game's frames: reads closer than `gap` seconds belong together.
    Returns [first read time, last read time, bytes] of each."""
    groups = []
    for when, data in log:
        if groups and when - groups[-1][1] < gap:
            groups[-1][1] = when
            groups[-1][2] += len(data)
        else:
            groups.append([when, when, len(data)])
    return groups


# ---- the measurements ---------------------------------------------------------------------------


def measure_start(exe, root, runs):
    """Seconds from fork to the read that completes the title's menu line, the last thing the
    first title frame draws."""
    times = []
    for run in range(runs + 1):
        game = Game(exe, new_data_home(root))
        try:
            done = game.wait_for(b"RANKING")
            if run > 0:  # the first run only warms the caches
                times.append(done - game.started)
            game.wait_idle()
        finally:
            game.close()
    return times


def measure_floor(root, runs):
    """The same measurement for a program that only prints the word: what the harness itself
    costs (fork, exec, the pseudo-terminal)."""
    times = []
    for _ in range(runs):
        program = Game("/bin/echo", new_data_home(root), ["RANKING"])
        times.append(program.wait_for(b"RANKING") - program.started)
        program.wait_exit()
        program.close()
    return times


ANALYSE = {
    "the example, as a table": ["--sheet", "aces=3,sixes=24,choice=22", "--dice", "6,6,3,2,1",
                                "--rolls", "2"],
    "the example, as JSON": ["--sheet", "aces=3,sixes=24,choice=22", "--dice", "6,6,3,2,1",
                             "--rolls", "2", "--json"],
    "a new sheet (the whole table)": ["--rolls", "3"],
}


def measure_analyse(exe, runs):
    """Wall time of whole --analyse runs, from the start of the process to its exit: the table (as
    much of it as the position needs) and the printed answer included."""
    times = {kind: [] for kind in ANALYSE}
    for _ in range(runs):
        for kind, args in ANALYSE.items():
            began = time.monotonic()
            result = subprocess.run([exe, "--analyse", *args], stdout=subprocess.PIPE,
                                    stderr=subprocess.PIPE, check=False)
            times[kind].append(time.monotonic() - began)
            if result.returncode != 0:
                raise RuntimeError(f"--analyse failed: {result.stderr.decode()}")
    return times


def play_single_game(exe, root, figures, idle_seconds):
    """Plays a whole single-player game by a fixed script, recording what each kind of key costs.

    It visits the ranking screen first, then rolls once a turn and records the turn's category
    (Aces on turn 1, Deuces on turn 2, ...); on the first turns it also walks the dice row,
    holding and releasing a die. With `idle_seconds` it measures the CPU of each waiting screen.
    """
    game = Game(exe, new_data_home(root))

    def cost(kind, keys):
        mark, data, calls = game.key(keys)
        figures.setdefault(kind, []).append((len(data), calls))
        return mark

    def expect(text, where):
        if text not in game.output():
            raise RuntimeError(f"{where} did not show {text!r}")

    def idle(screen):
        if idle_seconds:
            figures.setdefault("cpu " + screen, []).append(game.idle_cpu(idle_seconds))

    try:
        game.wait_for(b"RANKING")
        game.wait_idle()
        figures.setdefault("first title frame", []).append((len(game.output()), game.write_calls()))
        idle("title")
        cost("unlisted key 'x' on the title", b"x")
        cost("menu move", RIGHT)
        cost("menu move", RIGHT)
        cost("Right on RANKING, the last entry", RIGHT)
        cost("to the ranking screen", ENTER)
        expect(b"PRESS ENTER TO RETURN", "the ranking screen")
        idle("ranking")
        cost("unlisted key 'x' on the ranking", b"x")
        cost("back to the title", ENTER)
        cost("to the game screen", ENTER)
        expect(b"SINGLE MODE", "the game screen")
        idle("game")
        cost("unlisted key 'x' in the game", b"x")
        cost("Left on roll before the first roll", LEFT)
        for turn in range(12):
            mark = cost("roll (five frames and the frame after)", ENTER)
            figures.setdefault("roll frames", []).append(bursts(game.reads(mark)))
            if turn < 3:
                cost("into the dice row", UP)
                cost("Left on the first die", LEFT)
                cost("dice-cursor move", RIGHT)
                cost("dice-cursor move", RIGHT)
                cost("hold", ENTER)
                cost("hold", ENTER)  # release it, so that every die rolls next time
                cost("out of the dice row", DOWN)
            cost("into the sheet", RIGHT)
            if turn == 0:
                cost("Up on the first category", UP)
            for _ in range(turn):
                cost("sheet-cursor move", DOWN)
            cost("record", ENTER)
        expect(NAME_PROMPT, "the end of the game")
        for letter in b"bench":
            cost("name letter", bytes([letter]))
        cost("name entered", ENTER)
        expect(b"PRESS ENTER TO EXIT", "the end of the game")
        figures.setdefault("VmHWM", []).append(game.proc_field("status", "VmHWM"))
        calls = game.write_calls()
        game.send(ENTER)
        figures.setdefault("exit status", []).append(game.wait_exit())
        figures.setdefault("whole game", []).append((len(game.output()), calls))
        figures.setdefault("game cpu", []).append(game.rusage.ru_utime + game.rusage.ru_stime)
        figures.setdefault("queries", []).append(game.answered)
    finally:
        game.close()


# ---- the report ---------------------------------------------------------------------------------


def median(values):
    return statistics.median(values)


def spread(values, unit, digits=0):
    """The median, with the range when the values differ."""
    text = f"{median(values):.{digits}f} {unit}".rstrip()
    if min(values) != max(values):
        text += f" ({min(values):.{digits}f}-{max(values):.{digits}f})"
    return text


def line(name, measured, goal="", met=None, extra=""):
    verdict = "" if met is None else ("met" if met else "MISSED")
    print(f"| {name:<42} | {measured:>20} | {extra:>10} | {goal:<22} | {verdict:<6} |")


def heading(text):
    print(f"| **{text}** | | | | |")


def machine():
    model = "unknown CPU"
    try:
        with open("/proc/cpuinfo") as f:
            for text in f:
                if text.startswith("model name"):
                    model = text.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    load = ", ".join(f"{x:.2f}" for x in os.getloadavg())
    return f"{os.cpu_count()} cores (nproc {len(os.sched_getaffinity(0))}), {model}, " \
           f"{os.uname().sysname} {os.uname().release}; load average {load}"


def report(figures, start_times, floor_times, idle_seconds, games, analyse_times):
    print(f"Machine: {machine()}")
    print(f"Terminal: pseudo-terminal {COLUMNS}x{ROWS}, TERM=xterm-256color, LANG=C.UTF-8; "
          f"{games} scripted single-player game(s); medians, with the range where runs differ.")
    print()
    line("figure", "measured", "goal", None, "write()s")
    print(f"|{'-' * 44}|{'-' * 22}|{'-' * 12}|{'-' * 24}|{'-' * 8}|")

    resolution = 100 / (CLOCK_TICKS * idle_seconds)
    heading(f"CPU while waiting for a key ({idle_seconds:g} s each, share of one core, "
            f"resolution {resolution:.2f} %)")
    for screen in ("title", "game", "ranking"):
        share = median(figures["cpu " + screen]) * 100
        line(f"{screen} screen", f"{share:.2f} %", "<= 0.5 %", share <= 0.5)

    heading("Bytes written to the terminal per key, until the game waits again")
    for kind in ("unlisted key 'x' on the title", "Right on RANKING, the last entry",
                 "unlisted key 'x' on the ranking", "unlisted key 'x' in the game",
                 "Left on roll before the first roll", "Left on the first die",
                 "Up on the first category"):
        sizes = [b for b, _ in figures[kind]]
        line(kind, spread(sizes, "B"), "0 B", max(sizes) == 0,
             spread([c for _, c in figures[kind]], ""))
    kinds = [
        ("sheet-cursor move", "<= 64 B", lambda worst: worst <= 64),
        ("dice-cursor move", "changed cells", None),
        ("hold", "changed cells", None),
        ("roll (five frames and the frame after)", "changed cells", None),
        ("record", "changed cells", None),
        ("into the dice row", "changed cells", None),
        ("out of the dice row", "changed cells", None),
        ("into the sheet", "changed cells", None),
        ("name letter", "changed cells", None),
        ("menu move", "changed cells", None),
        ("to the ranking screen", "changed cells", None),
        ("back to the title", "changed cells", None),
        ("to the game screen", "changed cells", None),
        ("first title frame", "changed cells", None),
        ("whole game", "changed cells", None),
    ]
    for kind, goal, check in kinds:
        sizes = [b for b, _ in figures[kind]]
        calls = [c for _, c in figures[kind]]
        name = {"first title frame": "start-up to the first title frame",
                "whole game": "whole scripted game, start to exit"}.get(kind, kind)
        line(name, spread(sizes, "B"), goal, check(max(sizes)) if check else None,
             spread(calls, ""))

    heading("Roll animation, from the frame writes seen on the terminal")
    rolls = [groups for groups in figures["roll frames"] if len(groups) >= 6]
    totals = [(g[5][0] - g[0][0]) * 1000 for g in rolls]
    frames = [(g[i + 1][0] - g[i][0]) * 1000 for g in rolls for i in range(5)]
    counts = [len(g) for g in figures["roll frames"]]
    if totals:
        line("five frames: first frame to the frame after", f"{median(totals):.1f} ms",
             "500 ms +- 5 %", 475 <= median(totals) <= 525)
        line("  every roll", f"{min(totals):.1f}-{max(totals):.1f} ms", "500 ms +- 5 %",
             475 <= min(totals) and max(totals) <= 525)
        line("  one frame", spread(frames, "ms", 1), "100 ms")
    line("  frames seen per roll", spread(counts, ""), "6 (5 + the frame after)", min(counts) == 6)

    heading("Start-up: fork to the read that completes the title's menu line")
    ms = [t * 1000 for t in start_times]
    line(f"ten-entry ranking file, {len(ms)} runs", spread(ms, "ms", 1), "< 20 ms",
         median(ms) < 20)
    line("  floor: /bin/echo through the same harness",
         spread([t * 1000 for t in floor_times], "ms", 1))

    heading("Memory and the rest")
    line("peak resident memory (VmHWM at the exit prompt)", spread(figures["VmHWM"], "kB"))
    line("CPU time of the whole scripted game", spread([c * 1000 for c in figures["game cpu"]],
                                                       "ms"))
    line("exit status after the finished game", spread(figures["exit status"], ""), "0",
         max(figures["exit status"]) == 0)
    line("terminal queries answered", spread(figures["queries"], ""))

    heading("--analyse, the whole run: start, table, answer, exit")
    for kind, times in analyse_times.items():
        ms = [t * 1000 for t in times]
        line(f"{kind}, {len(ms)} runs", spread(ms, "ms", 1), "< 100 ms", median(ms) < 100)


def main():
    options = [a for a in sys.argv[1:] if a.startswith("--")]
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    if len(args) != 1 or set(options) - {"--quick"}:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    exe = os.path.abspath(args[0])
    quick = "--quick" in options
    idle_seconds = 2.0 if quick else 10.0
    games = 1 if quick else 3
    starts = 5 if quick else 21

    figures = {}
    with tempfile.TemporaryDirectory(prefix="jorvo-bench-") as root:
        start_times = measure_start(exe, root, starts)
        floor_times = measure_floor(root, starts)
        for game in range(games):
            play_single_game(exe, root, figures, idle_seconds if game == 0 else 0)
    analyse_times = measure_analyse(exe, starts)
    report(figures, start_times, floor_times, idle_seconds, games, analyse_times)
    return 0


if __name__ == "__main__":
    sys.exit(main())
