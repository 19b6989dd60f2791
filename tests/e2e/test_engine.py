"""The optimal-play engine from the outside: the command line, self-play statistics, a coached game
and a game against the computer in a real terminal, and the review printed after them."""

import re
import subprocess
import unittest

import rules
from terminal import Terminal, game_binary, have_tmux, read_dice

GAME_VALUE = 191.7744
CATEGORY_ROWS = (5, 6, 7, 8, 9, 10, 17, 19, 20, 21, 22, 23)
VALUE_X = (83, 95)
DICE_X, DICE_Y = 8, 12
COACH_X, COACH_Y, COACH_COLUMNS = 8, 24, 56


def run(*args, timeout=300):
    return subprocess.run([game_binary(), *args], capture_output=True, text=True,
                          timeout=timeout, check=False)


def statistics(output):
    """The figures --simulate prints, by name."""
    figures = {}
    for name in ("mean", "standard deviation", "standard error", "minimum", "maximum",
                 "optimal play expects"):
        match = re.search(rf"^  {name} +(-?[0-9.]+)$", output, re.M)
        assert match, f"no {name} in:\n{output}"
        figures[name] = float(match.group(1))
    return figures


class CommandLine(unittest.TestCase):
    def test_help_and_version(self):
        result = run("--help")
        self.assertEqual(result.returncode, 0)
        self.assertIn("--simulate N", result.stdout)
        self.assertEqual(result.stderr, "")
        result = run("--version")
        self.assertEqual(result.returncode, 0)
        self.assertRegex(result.stdout, r"^jorvo-dice [0-9]+\.[0-9]+\.[0-9]+\n$")

    def test_output_that_cannot_be_written_is_reported_with_status_1(self):
        # A full device, and a standard output closed before the game starts.
        for args in (("--help",), ("--version",), ("--simulate", "5", "--seed", "1")):
            for where, reason in (("/dev/full", "No space left on device"),
                                  ("closed", "Bad file descriptor")):
                with self.subTest(args=args, where=where):
                    if where == "closed":
                        command = ["/bin/sh", "-c", 'exec "$@" >&-', "sh", game_binary(), *args]
                        result = subprocess.run(command, capture_output=True, text=True,
                                                timeout=300, check=False)
                    else:
                        with open(where, "w", encoding="ascii") as full:
                            result = subprocess.run([game_binary(), *args], stdout=full,
                                                    stderr=subprocess.PIPE, text=True,
                                                    timeout=300, check=False)
                    self.assertEqual(result.returncode, 1, result.stderr)
                    self.assertEqual(result.stderr, f"jorvo-dice: write error: {reason}\n")

    def test_a_bad_command_line_is_named_with_the_usage_and_status_2(self):
        cases = (
            (("--bogus",), "'--bogus'"),
            (("--simulate",), "--simulate needs a number"),
            (("--simulate", "0"), "'0'"),
            (("--simulate", "-3"), "'-3'"),
            (("--simulate", "123456789012"), "'123456789012'"),
            (("--simulate", "many"), "'many'"),
            (("--seed",), "--seed needs a number"),
            (("--seed", "-1"), "'-1'"),
            (("--simulate", "10", "--seed", "x"), "'x'"),
            (("--simulate", "10", "--coach"), "--coach"),
        )
        for args, named in cases:
            with self.subTest(args=args):
                result = run(*args)
                self.assertEqual(result.returncode, 2)
                self.assertEqual(result.stdout, "")
                first, _, rest = result.stderr.partition("\n")
                self.assertTrue(first.startswith("jorvo-dice: ") and named in first, first)
                self.assertIn("Usage: jorvo-dice", rest)

    def test_self_play_is_reproducible_and_its_mean_is_the_games_value(self):
        first = run("--simulate", "20000", "--seed", "2026")
        again = run("--simulate", "20000", "--seed", "2026")
        self.assertEqual(first.returncode, 0, first.stderr)
        timing = re.compile(r"^\(.* s on [0-9]+ threads\)$", re.M)
        self.assertEqual(timing.sub("", first.stdout), timing.sub("", again.stdout))
        figures = statistics(first.stdout)
        print(f"self-play: mean {figures['mean']} ± {figures['standard error']}")
        self.assertAlmostEqual(figures["optimal play expects"], GAME_VALUE, places=3)
        self.assertLessEqual(abs(figures["mean"] - GAME_VALUE), 3 * figures["standard error"])
        self.assertLessEqual(figures["minimum"], figures["mean"])
        self.assertLessEqual(figures["mean"], figures["maximum"])
        # The histogram's percentages add up to the whole.
        shares = [float(m) for m in re.findall(r"\| [# ]* +([0-9.]+) %$", first.stdout, re.M)]
        self.assertAlmostEqual(sum(shares), 100.0, delta=0.05 * len(shares))
        other = run("--simulate", "20000", "--seed", "2027")
        self.assertNotEqual(statistics(other.stdout)["mean"], figures["mean"])


def wait_turn_start(term, player, turn, timeout):
    """The frame that starts `player`'s (1 or 2) turn `turn` in a two-player game."""
    return term.wait(lambda s: s.has(65, 3, f"turn {turn:2d}/12") and
                     s.has(28, 8, f"{player}P's turn") and s.has(25, 22, "Remain Roll : 3"),
                     f"the start of {player}P's turn {turn}", timeout)


def review_of(term, player):
    """The review printed for `player` after the game, as its figures."""
    screen = term.wait(lambda s: any(f"Review of {player}P's game" in s.row(y)
                                     for y in range(s.height)), "the review")
    text = "\n".join(screen.row(y).rstrip() for y in range(screen.height))
    block = text[text.index(f"Review of {player}P's game"):]
    figures = {}
    for name in ("final total", "optimal play expects", "expected points lost",
                 "luck of the dice"):
        match = re.search(rf"^  {name} +([-+]?[0-9.]+)", block, re.M)
        assert match, f"no {name} in the review:\n{text}"
        figures[name] = float(match.group(1))
    return figures, block


@unittest.skipUnless(have_tmux(), "needs tmux")
class GamesWithTheEngine(unittest.TestCase):
    def check_review(self, term, player, total):
        figures, block = review_of(term, player)
        print(block)
        self.assertEqual(figures["final total"], total)
        self.assertAlmostEqual(figures["optimal play expects"], 191.77, places=2)
        # Rounded to two decimals each, the figures add up to the total.
        self.assertAlmostEqual(figures["optimal play expects"] - figures["expected points lost"]
                               + figures["luck of the dice"], total, delta=0.02)

    def test_a_coached_game_shows_its_advice_and_ends_with_the_review(self):
        with Terminal(110, 30) as term:
            term.start(args=["--coach"])
            term.wait_text(42, 18, "-> SINGLE")
            term.keys("Enter")
            term.wait_text(27, 8, "SINGLE MODE")
            for category in range(12):
                screen = term.wait_text(25, 22, "Remain Roll : 3")
                self.assertEqual(screen.text(COACH_X, COACH_Y, COACH_COLUMNS).strip(), "",
                                 "advice before the first roll")
                term.keys("Enter")
                screen = term.wait(lambda s: s.has(25, 22, "Remain Roll : 2")
                                   and s.has(COACH_X, COACH_Y, "Best: "), "the advice")
                line = screen.text(COACH_X, COACH_Y, COACH_COLUMNS)
                self.assertRegex(line, r"^Best: .+  [0-9]+\.[0-9]   Cursor: [0-9]+\.[0-9] *$")
                dice = read_dice(screen, DICE_X, DICE_Y)
                self.assertIsNotNone(dice)
                keeps = [screen.text(8 + 10 * i, 10, 10) for i in range(5)]
                self.assertTrue(all(k in (" " * 10, "   keep   ") for k in keeps), keeps)
                marks = [screen.text(100, row, 2) for row in CATEGORY_ROWS]
                if line.startswith("Best: record "):
                    self.assertEqual(marks.count("<-"), 1, marks)
                    self.assertEqual(keeps, [" " * 10] * 5)
                else:
                    self.assertEqual(marks, ["  "] * 12)
                term.keys("Right", *["Down"] * category, "Enter")
            screen = term.wait_text(19, 25, "게임 끝!")
            self.assertEqual(screen.text(COACH_X, COACH_Y, COACH_COLUMNS).strip(), "")
            total = int(screen.text(VALUE_X[0], 25, 3))
            term.type("Coached")
            term.keys("Enter")
            term.wait_text(23, 27, "PRESS ENTER TO EXIT")
            term.keys("Enter")
            self.assertEqual(term.wait_exit(), 0)
            self.check_review(term, 1, total)

    def test_a_game_against_the_computer_plays_to_its_result(self):
        with Terminal(110, 30) as term:
            term.start(args=["--computer"])
            term.wait_text(42, 18, "-> SINGLE")
            term.keys("Right", "Enter")
            for turn in range(1, 13):
                wait_turn_start(term, 1, turn, timeout=60)
                term.keys("Enter")
                screen = term.wait_text(25, 22, "Remain Roll : 2")
                category = turn - 1
                # Typed behind the key that hands the turn over, so that they are there while the
                # computer plays however long it takes them to arrive: thrown away, so 1P's next
                # turn starts untouched.
                term.keys("Right", *["Down"] * category, "Enter", "Up", "Enter", "Enter")
                term.wait_text(28, 8, "2P's turn")
            screen = term.wait(lambda s: s.has(65, 3, "turn 13/12"), "the end", timeout=60)
            sheets = [{c: int(screen.text(VALUE_X[p] + 1, row, 2))
                       for c, row in enumerate(CATEGORY_ROWS)} for p in range(2)]
            totals = [rules.totals(sheet)[1] for sheet in sheets]
            shown = [int(screen.text(VALUE_X[p], 25, 3)) for p in range(2)]
            self.assertEqual(shown, totals)
            result = rules.result_text(*totals)
            term.wait_text(50, 27, result)
            print(f"against the computer: {totals}, {result}")
            term.keys("x")
            self.assertEqual(term.wait_exit(), 0)
            self.check_review(term, 1, totals[0])
            screen = term.screen()
            self.assertFalse(any("Review of 2P's game" in screen.row(y)
                                 for y in range(screen.height)), "the computer was reviewed")
