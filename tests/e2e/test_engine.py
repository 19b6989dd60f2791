"""The optimal-play engine from the outside: the command line, self-play statistics, a coached game
and a game against the computer in a real terminal, and the review printed after them."""

import json
import re
import subprocess
import unittest

import rules
from terminal import Terminal, game_binary, have_tmux, read_dice

GAME_VALUE = 191.7744
# The self-play means the levels are calibrated to, and the distance from it each must keep.
LEVEL_GOALS = {1: 150.0, 2: 162.0, 3: 174.0, 4: 184.0, 5: 191.77}
LEVEL_TOLERANCE = 1.5
CATEGORY_KEYS = ("aces", "deuces", "threes", "fours", "fives", "sixes", "choice", "4ofakind",
                 "fullhouse", "sstraight", "lstraight", "jorvo")
CATEGORY_LABELS = ("Aces", "Deuces", "Threes", "Fours", "Fives", "Sixes", "Choice", "4 of a Kind",
                   "Full House", "S. Straight", "L. Straight", "Jorvo")
LEVEL_X, LEVEL_Y = 40, 8
COACH_LINE = re.compile(r"Best: (.+)  avg total ([0-9]+\.[0-9])  yours: (best|-[0-9]+\.[0-9]|taken)")
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
                 "points lost a game", "optimal play expects"):
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
        # The short forms say the same, and the usage lists every option.
        self.assertEqual(run("-h").stdout, run("--help").stdout)
        self.assertEqual(run("-V").stdout, result.stdout)
        usage = run("-h").stdout
        for option in ("--coach", "--computer", "--level L", "--simulate N", "--seed S",
                       "--analyse", "--sheet LIST", "--dice FACES", "--rolls R", "--json",
                       "-h, --help", "-V, --version"):
            self.assertIn(option, usage)

    def test_output_that_cannot_be_written_is_reported_with_status_1(self):
        # A full device, and a standard output closed before the game starts.
        for args in (("--help",), ("--version",), ("--simulate", "5", "--seed", "1"),
                     ("--analyse", "--rolls", "3"), ("--analyse", "--rolls=3", "--json")):
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
            (("--simulate=10", "--level=6"), "'6'"),
            (("--level", "2"), "--level goes with --computer or --simulate"),
            (("--computer", "--level"), "--level needs a number"),
            (("--coach=1",), "--coach takes no value"),
            (("--json",), "--json goes with --analyse"),
            (("--analyse", "--dice", "1,2,3,4,5"), "--analyse needs --rolls"),
            (("--analyse", "--rolls", "3", "--computer"), "--computer"),
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
        self.assertEqual(figures["points lost a game"], 0)

    def test_each_level_plays_to_its_mean_and_the_options_take_either_form(self):
        means = {}
        for level in (1, 3, 4):
            first = run("--simulate", "20000", "--seed", "31", "--level", str(level))
            again = run("--simulate=20000", "--seed=31", f"--level={level}")
            self.assertEqual(first.returncode, 0, first.stderr)
            timing = re.compile(r"^\(.* s on [0-9]+ threads\)$", re.M)
            self.assertEqual(timing.sub("", first.stdout), timing.sub("", again.stdout))
            self.assertRegex(first.stdout, rf"^20000 games at level {level} of 5, seed 31\n")
            figures = statistics(first.stdout)
            means[level] = figures["mean"]
            print(f"level {level}: mean {figures['mean']} ± {figures['standard error']}")
            self.assertLessEqual(abs(figures["mean"] - LEVEL_GOALS[level]),
                                 LEVEL_TOLERANCE)
            # The luck of the dice averages nothing: the points lost make up the difference.
            self.assertLessEqual(abs(figures["mean"] + figures["points lost a game"]
                                     - GAME_VALUE), 4 * figures["standard error"])
            wins = re.search(r"^  wins against level 5 +([0-9.]+) %", first.stdout, re.M)
            self.assertTrue(wins, first.stdout)
            self.assertTrue(0 < float(wins.group(1)) < 50, wins.group(0))
        self.assertLess(means[1], means[3])
        self.assertLess(means[3], means[4])


def words(action):
    """An action of --analyse's JSON in the words the coach and the table use."""
    if action["action"] == "record":
        return f"record {CATEGORY_LABELS[action['index']]}"
    keep = action["keep"]
    if not keep:
        return "roll all five"
    if len(keep) == 5:
        return "keep all five, roll"
    return f"keep {' '.join(map(str, keep))}, roll"


def analyse(*args):
    return run("--analyse", *args, timeout=60)


class Analysis(unittest.TestCase):
    EXAMPLE = ("--sheet", "aces=3,sixes=24,choice=22", "--dice", "6,6,3,2,1", "--rolls", "2")

    def test_every_action_best_first_in_words_and_in_json(self):
        table = analyse(*self.EXAMPLE)
        self.assertEqual(table.returncode, 0, table.stderr)
        self.assertEqual(table.stderr, "")
        lines = table.stdout.splitlines()
        self.assertEqual(lines[0], "Sheet: 49 points (aces 3, sixes 24, choice 22)")
        self.assertEqual(lines[1], "Dice: 6 6 3 2 1, 2 rolls left")
        rows = [re.fullmatch(r"(.+?) +([0-9]+\.[0-9]{4}) +([0-9]+\.[0-9]{4})", line)
                for line in lines[4:]]
        self.assertTrue(all(rows), lines)
        result = analyse(*self.EXAMPLE, "--json")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout.count("\n"), 1)
        document = json.loads(result.stdout)
        self.assertEqual(document["sheet_points"], 49)
        actions = document["actions"]
        # Nine categories open, and a keep for each of the 2 * 2 * 2 * 3 sub-multisets of the dice.
        self.assertEqual(len(actions), 9 + 24)
        self.assertEqual(len(rows), len(actions))
        best = actions[0]["value"]
        self.assertEqual(actions[0]["cost"], 0)
        for action, row in zip(actions, rows):
            self.assertLessEqual(action["value"], best)
            self.assertAlmostEqual(action["cost"], best - action["value"], delta=1.5e-4)
            self.assertEqual(float(row.group(2)), action["value"])
            self.assertEqual(float(row.group(3)), action["cost"])
            if action["action"] == "record":
                self.assertEqual(action["category"], CATEGORY_KEYS[action["index"]])
                self.assertTrue(row.group(1).startswith("record "), row.group(0))
            else:
                self.assertEqual(action["action"], "roll")
                keep = action["keep"]
                self.assertEqual(keep, sorted(keep))
                self.assertEqual(row.group(1), words(action))
        values = [a["value"] for a in actions]
        self.assertEqual(values, sorted(values, reverse=True))
        self.assertEqual({a["category"] for a in actions if a["action"] == "record"},
                         set(CATEGORY_KEYS) - {"aces", "sixes", "choice"})

    def test_the_check_points_are_the_engines(self):
        start = analyse("--rolls", "3")
        self.assertEqual(start.returncode, 0, start.stderr)
        self.assertRegex(start.stdout, r"\nroll all five +191\.7744 +0\.0000\n$")
        self.assertEqual(json.loads(analyse("--rolls=3", "--sheet=", "--json").stdout),
                         {"sheet_points": 0,
                          "actions": [{"action": "roll", "keep": [], "value": 191.7744,
                                       "cost": 0.0}]})
        # Everything recorded at its lowest (Choice cannot be 0) but one category.
        lowest = {key: 5 if key == "choice" else 0 for key in CATEGORY_KEYS}
        for open_category, value in (("aces", 5 + 455 / 216), ("jorvo", 5 + 2.30143)):
            sheet = ",".join(f"{k}={v}" for k, v in lowest.items() if k != open_category)
            document = json.loads(analyse("--sheet", sheet, "--rolls", "3", "--json").stdout)
            self.assertEqual(document["sheet_points"], 5)
            self.assertAlmostEqual(document["actions"][0]["value"], value, delta=1e-4)

    def test_every_bad_position_is_named_in_one_line_with_status_2(self):
        full = ",".join(f"{k}={5 if k == 'choice' else 0}" for k in CATEGORY_KEYS)
        cases = (
            (("--sheet", "kings=4", "--rolls", "3"), "'kings'"),
            (("--sheet", "aces=1,aces=2", "--rolls", "3"), "aces twice"),
            (("--sheet", "aces=7", "--rolls", "3"), "aces=7"),
            (("--sheet", "sixes=5", "--rolls", "3"), "sixes=5"),
            (("--sheet", "jorvo=20", "--rolls", "3"), "jorvo=20"),
            (("--sheet", full, "--rolls", "3"), "every category"),
            (("--dice", "1,2,3,4", "--rolls", "2"), "five faces"),
            (("--dice", "1,2,3,4,5,6", "--rolls", "2"), "five faces"),
            (("--dice", "1,2,3,4,7", "--rolls", "2"), "'7'"),
            (("--dice", "1,2,3,4,5", "--rolls", "4"), "'4'"),
            (("--dice", "1,2,3,4,5", "--rolls=-1"), "'-1'"),
            (("--dice", "1,2,3,4,5", "--rolls", "3"), "takes no --dice"),
            (("--rolls", "0"), "needs --dice"),
        )
        for args, named in cases:
            with self.subTest(args=args):
                result = analyse(*args)
                self.assertEqual(result.returncode, 2)
                self.assertEqual(result.stdout, "")
                self.assertRegex(result.stderr, r"^jorvo-dice: [^\n]+\n$")
                self.assertIn(named, result.stderr)


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
                self.assertRegex(line, r"^Best: .+  avg total [0-9]+\.[0-9]  "
                                       r"yours: (best|-[0-9]+\.[0-9]|taken) *$")
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

    def test_a_game_against_the_lowest_level_plays_to_its_end(self):
        with Terminal(110, 30) as term:
            term.start(args=["--computer", "--level=1", "--seed", "19"])
            term.wait_text(42, 18, "-> SINGLE")
            term.keys("Right", "Enter")
            for turn in range(1, 13):
                screen = wait_turn_start(term, 1, turn, timeout=60)
                self.assertTrue(screen.has(LEVEL_X, LEVEL_Y, "2P: computer, level 1"),
                                screen.dump())
                term.keys("Enter")
                term.wait_text(25, 22, "Remain Roll : 2")
                term.keys("Right", *["Down"] * (turn - 1), "Enter")
                screen = term.wait_text(28, 8, "2P's turn")
                self.assertTrue(screen.has(LEVEL_X, LEVEL_Y, "2P: computer, level 1"))
            screen = term.wait(lambda s: s.has(65, 3, "turn 13/12"), "the end", timeout=60)
            sheets = [{c: int(screen.text(VALUE_X[p] + 1, row, 2))
                       for c, row in enumerate(CATEGORY_ROWS)} for p in range(2)]
            totals = [rules.totals(sheet)[1] for sheet in sheets]
            self.assertEqual([int(screen.text(VALUE_X[p], 25, 3)) for p in range(2)], totals)
            term.wait_text(50, 27, rules.result_text(*totals))
            print(f"against level 1: {totals}")
            term.keys("x")
            self.assertEqual(term.wait_exit(), 0)
            self.check_review(term, 1, totals[0])
            _, block = review_of(term, 1)
            self.assertRegex(block, r"\n  closest level of play +level [1-5] of 5 \(its decisions "
                                    r"lose [0-9]+\.[0-9]{2} a game\)\n")

    def test_the_coach_and_analyse_agree_on_every_position_of_a_seeded_game(self):
        """Each turn: the first roll, a die held, a second roll with it held and a third; at each
        the coach's line and marks against --analyse of the position read off the screen."""
        compared = 0
        with Terminal(110, 30) as term:
            term.start(args=["--coach", "--seed", "23"])
            term.wait_text(42, 18, "-> SINGLE")
            term.keys("Enter")
            term.wait_text(27, 8, "SINGLE MODE")
            for turn in range(12):
                term.wait_text(25, 22, "Remain Roll : 3")
                term.keys("Enter")
                screen = term.wait(lambda s: s.has(25, 22, "Remain Roll : 2")
                                   and s.has(COACH_X, COACH_Y, "Best: "), "the advice")
                self.compare(screen, 2, held=[])
                term.keys("Up", "Enter", "Down")
                screen = term.wait(lambda s: s.has(8, 11, "   fix    ")
                                   and s.has(28, 19, "-> roll"), "the first die held")
                first = read_dice(screen, DICE_X, DICE_Y)[0]
                self.compare(screen, 2, held=[first])
                for rolls in (1, 0):
                    term.keys("Enter")
                    screen = term.wait(lambda s: s.has(25, 22, f"Remain Roll : {rolls}")
                                       and s.has(COACH_X, COACH_Y, "Best: "), "the advice")
                    if rolls:
                        self.compare(screen, rolls, held=[first])
                    else:
                        self.compare(screen, rolls, category=0)  # the cursor starts on Aces
                compared += 4
                term.keys(*["Down"] * turn, "Enter")
            term.wait_text(19, 25, "게임 끝!", timeout=10)
            term.type("Agreed")
            term.keys("Enter")
            term.wait_text(23, 27, "PRESS ENTER TO EXIT")
            term.keys("Enter")
            self.assertEqual(term.wait_exit(), 0)
        self.assertEqual(compared, 48)

    def compare(self, screen, rolls, held=None, category=None):
        line = screen.text(COACH_X, COACH_Y, COACH_COLUMNS).rstrip()
        coach = COACH_LINE.fullmatch(line)
        self.assertTrue(coach, line)
        dice = read_dice(screen, DICE_X, DICE_Y)
        recorded = {}
        for c, row in enumerate(CATEGORY_ROWS):
            cell = screen.text(VALUE_X[0], row, 4)
            if cell.startswith("["):
                recorded[CATEGORY_KEYS[c]] = int(cell[1:3])
        result = run("--analyse", "--sheet", ",".join(f"{k}={v}" for k, v in recorded.items()),
                     "--dice", ",".join(map(str, dice)), f"--rolls={rolls}", "--json", timeout=60)
        self.assertEqual(result.returncode, 0, result.stderr)
        actions = json.loads(result.stdout)["actions"]
        self.assertEqual(json.loads(result.stdout)["sheet_points"],
                         int(screen.text(VALUE_X[0], 25, 3)))
        best = actions[0]
        where = f"{line!r} for dice {dice}, {rolls} rolls left, sheet {recorded}"
        self.assertEqual(coach.group(1), words(best), where)
        self.assertAlmostEqual(float(coach.group(2)), best["value"], delta=0.05 + 1e-4, msg=where)
        if category is not None:
            mine = [a for a in actions if a.get("index") == category]
        else:
            mine = [a for a in actions if a["action"] == "roll" and a["keep"] == sorted(held)]
        if not mine:
            self.assertEqual(coach.group(3), "taken", where)
        elif coach.group(3) == "best":
            self.assertLess(mine[0]["cost"], 5e-5, where)
        else:
            self.assertAlmostEqual(-float(coach.group(3)), mine[0]["cost"], delta=0.05 + 1e-4,
                                   msg=where)
        # The marks: "keep" over the first die of each face the best keeps, "<-" by its category.
        keeps = [screen.text(8 + 10 * i, 10, 10) == "   keep   " for i in range(5)]
        left = list(best.get("keep", []))
        want = []
        for face in dice:
            want.append(face in left)
            if face in left:
                left.remove(face)
        self.assertEqual(keeps, want if best["action"] == "roll" else [False] * 5, where)
        marks = [screen.text(100, row, 2) == "<-" for row in CATEGORY_ROWS]
        self.assertEqual(marks, [best.get("index") == c for c in range(12)], where)

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
