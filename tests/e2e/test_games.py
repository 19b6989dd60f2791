"""Whole games played with real keys in tmux, every frame checked against a model of the game.

After each roll the five dice are read off the screen and the candidate scores the game shows are
checked against rules.py; every other item of the game screen is predicted from the keys sent.
"""

import os
import unittest

import rules
from terminal import DEFAULT_TIMEOUT, Terminal, dice_art, have_tmux, read_dice, text_width

CATEGORY_ROWS = (5, 6, 7, 8, 9, 10, 17, 19, 20, 21, 22, 23)
CATEGORY_LABELS = ("Aces", "Deuces", "Threes", "Fours", "Fives", "Sixes", "Choice", "4 of a Kind",
                   "Full House", "S. Straight", "L. Straight", "Jorvo")
OTHER_LABELS = ((12, "Subtotal"), (13, "+35 Bonus"), (15, "Bonus if Aces-Sixes are over 63 points"),
                (25, "Total"))
VALUE_X = (83, 95)
CURSOR_X = (79, 91)
SUBTOTAL_X = (82, 94)
DICE_X, DICE_Y = 8, 12
PROMPT = "게임 끝! 이름 입력: "


class GamePlayer:
    """Plays a game through the terminal and checks each frame against its own model."""

    def __init__(self, term, players):
        self.term = term
        self.players = players
        self.sheets = [{} for _ in range(players)]
        self.dice = [1, 2, 3, 4, 5]
        self.held = [False] * 5
        self.focus = "roll"
        self.dice_cursor = 0
        self.score_cursor = -1
        self.rolls_left = 3
        self.turn = 1
        self.player = 0
        self.rolls = 0

    # ---- the model's picture of the screen -------------------------------------------------------

    def totals(self, p):
        return rules.totals(self.sheets[p])

    def expected(self):
        """(x, y, text, what) for every item of the game screen the model can predict."""
        items = [(65, 3, f"turn {self.turn:2d}/12", "turn line")]
        if self.players == 1:
            items.append((27, 8, "SINGLE MODE", "mode line"))
        else:
            items += [(84, 2, "1P", "1P header"), (96, 2, "2P", "2P header"),
                      (28, 8, f"{self.player + 1}P's turn", "mode line")]
        labels = "".join("   fix    " if h else " " * 10 for h in self.held)
        items.append((8, 11, labels, "hold labels"))
        for r, line in enumerate(dice_art(self.dice)):
            items.append((DICE_X, DICE_Y + r, line, f"dice row {r}"))
        cursor = [" "] * 41
        if self.focus == "dice":
            cursor[10 * self.dice_cursor] = "↑"
        items.append((12, 17, "".join(cursor), "dice cursor"))
        button = "-> roll" if self.focus == "roll" and self.turn <= 12 else "   roll"
        items.append((28, 19, button, "roll button"))
        items.append((25, 22, f"Remain Roll : {self.rolls_left}", "rolls left"))
        for c, (row, label) in enumerate(zip(CATEGORY_ROWS, CATEGORY_LABELS)):
            items.append((65, row, label, "label"))
        for row, label in OTHER_LABELS:
            items.append((65, row, label, "label"))
        candidates = rules.scores(self.dice)
        for c, row in enumerate(CATEGORY_ROWS):
            for p in range(2):
                here = self.focus == "sheet" and self.score_cursor == c and self.player == p
                items.append((CURSOR_X[p], row, "->" if here else "  ", f"sheet cursor {p + 1}P"))
                sheet = self.sheets[p] if p < self.players else {}
                if c in sheet:
                    value = f"[{sheet[c]:2d}]"
                elif self.rolls_left == 3 or p != self.player:
                    value = "   "
                else:
                    value = f"{candidates[c]:3d}"
                items.append((VALUE_X[p], row, value, f"{CATEGORY_LABELS[c]} of {p + 1}P"))
        for p in range(2):
            if p < self.players:
                subtotal, total = self.totals(p)
                items += [(SUBTOTAL_X[p], 12, f"{subtotal:2d}/63", f"subtotal {p + 1}P"),
                          (VALUE_X[p], 13, "+35" if subtotal >= 63 else "   ", f"bonus {p + 1}P"),
                          (VALUE_X[p], 25, f"{total:3d}", f"total {p + 1}P")]
            else:
                items += [(SUBTOTAL_X[p], 12, " " * 5, "no 2P subtotal"),
                          (VALUE_X[p], 13, "   ", "no 2P bonus"),
                          (VALUE_X[p], 25, "   ", "no 2P total")]
        return items

    def mismatches(self, screen):
        return [f"{what} at ({x}, {y}): want {text!r}, shown {screen.text(x, y, len(text))!r}"
                for x, y, text, what in self.expected() if not screen.has(x, y, text)]

    def wait_model(self, what, timeout=DEFAULT_TIMEOUT):
        try:
            return self.term.wait(lambda s: not self.mismatches(s), what, timeout)
        except AssertionError as failure:
            screen = self.term.screen()
            raise AssertionError("\n".join([str(failure), *self.mismatches(screen)])) from None

    # ---- moves -----------------------------------------------------------------------------------

    # Enter and Space do the same everywhere in a game; `key` says which one a move uses.

    def roll(self, key="Enter"):
        assert self.focus == "roll"
        before = list(self.dice)
        self.term.keys(key)
        self.rolls_left -= 1
        self.rolls += 1
        if self.rolls_left == 0:
            self.focus, self.score_cursor = "sheet", 0
        screen = self.term.wait(
            lambda s: s.has(25, 22, f"Remain Roll : {self.rolls_left}")
            and read_dice(s, DICE_X, DICE_Y) is not None,
            f"the end of roll {self.rolls}")
        self.dice = read_dice(screen, DICE_X, DICE_Y)
        for i in range(5):
            if self.held[i] and self.dice[i] != before[i]:
                raise AssertionError(f"held die {i} changed from {before[i]} to {self.dice[i]}")
        self.wait_model(f"the frame after roll {self.rolls} with dice {self.dice}")

    def toggle_holds(self, indices, key="Enter"):
        """Enters the dice row, flips the hold of each die in `indices`, and goes back to roll."""
        if not indices:
            return
        assert self.focus == "roll" and self.rolls_left < 3
        self.term.keys("Up")
        self.focus, self.dice_cursor = "dice", 0
        self.wait_model("the dice cursor on the first die")
        for i in indices:
            step = "Right" if i > self.dice_cursor else "Left"
            self.term.keys(*[step] * abs(i - self.dice_cursor), key)
            self.dice_cursor = i
            self.held[i] = not self.held[i]
            self.wait_model(f"die {i} {'held' if self.held[i] else 'released'}")
        self.term.keys("Down")
        self.focus, self.dice_cursor = "roll", 0
        self.wait_model("the focus back on the roll button")

    def record(self, category, overshoot=0, key="Enter"):
        """Moves the sheet cursor to `category` and records it there. On Aces or Jorvo,
        `overshoot` more keys push against that end of the sheet, which must do nothing."""
        assert category not in self.sheets[self.player]
        assert overshoot == 0 or category in (0, 11)
        keys = []
        if self.focus == "roll":
            keys.append("Right")
            self.focus, self.score_cursor = "sheet", 0
        step = "Down" if category >= self.score_cursor else "Up"
        keys += [step] * abs(category - self.score_cursor)
        keys += ["Up" if category == 0 else "Down"] * overshoot
        self.term.keys(*keys)
        self.score_cursor = category
        self.wait_model(f"the sheet cursor on {CATEGORY_LABELS[category]}")
        self.term.keys(key)
        self.sheets[self.player][category] = rules.scores(self.dice)[category]
        self.held = [False] * 5
        self.focus, self.score_cursor, self.rolls_left = "roll", -1, 3
        if self.players == 1 or self.player == 1:
            self.turn += 1
            self.player = 0
        else:
            self.player = 1
        self.wait_model(f"the frame after recording {CATEGORY_LABELS[category]}")

    def play_turn(self, rolls, holds_before_second, holds_before_third, category, overshoot=0,
                  key="Enter"):
        self.roll(key)
        for holds in (holds_before_second, holds_before_third)[:rolls - 1]:
            self.toggle_holds(holds, key)
            self.roll(key)
        self.record(category, overshoot, key)


# (rolls, dice whose hold flips before the second roll, before the third, category): every category
# once, in an order that sends the cursor both ways, holds of one, several and all five dice.
SINGLE_PLAN = (
    (1, (), (), 11),
    (2, (0,), (), 0),
    (3, (2,), (4,), 6),
    (1, (), (), 3),
    (3, (0, 1, 2, 3, 4), (), 10),  # all five held: two rolls that change no die
    (2, (4,), (), 5),
    (1, (), (), 1),
    (3, (1, 3), (1,), 8),          # die 1 released again before the third roll
    (1, (), (), 2),
    (2, (2,), (), 9),
    (1, (), (), 4),
    (3, (), (), 7),
)


def start_single_game(term):
    term.start()
    term.wait_text(42, 18, "-> SINGLE")
    term.keys("Enter")
    player = GamePlayer(term, 1)
    player.wait_model("the first single-player frame")
    return player


def enter_name(test, term, name, total):
    """At the end of a single-player game: checks the prompt, types `name` and Enter."""
    term.wait_text(19, 25, PROMPT)
    test.assertFalse(term.cursor_visible(), "the cursor shows at the name prompt")
    term.type(name)
    term.wait_text(19 + text_width(PROMPT), 25, name)
    term.keys("Enter")
    term.wait_text(23, 27, "PRESS ENTER TO EXIT")
    test.assertTrue(term.screen().has(83, 25, f"{total:3d}"))


@unittest.skipUnless(have_tmux(), "needs tmux")
class WholeGames(unittest.TestCase):
    def test_scorer_matches_hand_worked_cases(self):
        rules.self_check()

    def test_single_player_game_enters_the_ranking(self):
        name = "tester"
        with Terminal(110, 30) as term:
            player = start_single_game(term)
            for plan in SINGLE_PLAN:
                player.play_turn(*plan)
            screen = player.wait_model("the frame that ends the game")
            self.assertTrue(screen.has(65, 3, "turn 13/12"))
            subtotal, total = player.totals(0)
            print(f"single-player game: {player.rolls} rolls, subtotal {subtotal}, total {total}")

            enter_name(self, term, name, total)
            with open(term.ranking_path(), encoding="utf-8", newline="") as f:
                self.assertEqual(f.read(), f"1\t{name}\t{total}\n")
            term.keys("Left", "x", "F1")  # only Enter or Space ends the game
            term.expect_no_exit()
            term.keys("Enter")
            result = term.wait_wrapper()
            self.assertEqual(result.status, 0)
            self.assertEqual(result.stty_after, result.stty_before)
            self.assertTrue(term.cursor_visible())

            with Terminal(110, 30, data_home=term.data_home) as again:
                again.start()
                again.wait_text(42, 18, "-> SINGLE")
                again.keys("Right", "Right")
                again.wait_text(65, 18, "-> RANKING")
                again.keys("Enter")
                screen = again.wait_text(48, 25, "PRESS ENTER TO RETURN")
                self.assertEqual(screen.row(3).rstrip(), " " * 48 + f" 1  {name:>10}   {total:3d}")
                self.assertEqual(screen.row(5).strip(), "")

    def test_keys_typed_during_a_roll_wait_for_it(self):
        with Terminal(110, 30) as term:
            player = start_single_game(term)
            # Roll, then while the dice still tumble: into the dice row, hold the second die, back
            # to the roll button, roll again. Taken in any other order the keys end elsewhere.
            term.keys("Enter", "Up", "Right", "Enter", "Down", "Enter")
            player.rolls_left, player.rolls, player.held[1] = 1, 2, True
            screen = term.wait(lambda s: s.has(25, 22, "Remain Roll : 1")
                               and read_dice(s, DICE_X, DICE_Y) is not None, "the second roll")
            player.dice = read_dice(screen, DICE_X, DICE_Y)
            player.wait_model("the frame after both rolls")
            player.toggle_holds((1,))
            player.roll()
            player.record(6)

    def test_two_player_game_ends_with_the_result(self):
        first = list(range(12))                 # 1P from Aces down
        second = list(reversed(range(12)))      # 2P from Jorvo up
        # The smallest window the game fits in: the result goes on its last row.
        with Terminal(103, 28) as term:
            term.start()
            term.wait_text(42, 18, "-> SINGLE")
            term.keys("Right")
            term.wait_text(54, 18, "-> MULTI")
            term.keys("Enter")
            player = GamePlayer(term, 2)
            player.wait_model("the first two-player frame")
            for turn in range(1, 13):
                for p, order in enumerate((first, second)):
                    screen = term.screen()
                    self.assertTrue(screen.has(65, 3, f"turn {turn:2d}/12")
                                    and screen.has(28, 8, f"{p + 1}P's turn"),
                                    f"turn {turn} of {p + 1}P:\n{screen.dump()}")
                    rolls = 2 if turn % 4 == p else 1
                    # Keys past the top (Up on Aces) and the bottom (Down on Jorvo) do nothing.
                    overshoot = 1 if (turn == 1 or (p == 1 and turn == 12)) else 0
                    holds = ((p + turn) % 5,) if rolls == 2 else ()
                    player.play_turn(rolls, holds, (), order[turn - 1], overshoot,
                                     key="Space" if p == 1 else "Enter")  # 2P plays with Space
            screen = player.wait_model("the frame that ends the game")
            # Every one of the 24 categories is recorded, and the turn line reads 13 with the
            # turn handed back to 1P.
            recorded = [screen.text(VALUE_X[p], row, 4) for p in range(2) for row in CATEGORY_ROWS]
            self.assertTrue(all(v.startswith("[") and v.endswith("]") for v in recorded), recorded)
            self.assertTrue(screen.has(65, 3, "turn 13/12") and screen.has(28, 8, "1P's turn"))
            totals = [player.totals(p)[1] for p in range(2)]
            want = rules.result_text(*totals)
            screen = term.wait_text(50, 27, want)
            shown = [int(screen.text(VALUE_X[p], 25, 3)) for p in range(2)]
            self.assertEqual(shown, totals)
            print(f"two-player game: {player.rolls} rolls, totals {totals}, {want}")

            term.keys("F1")  # any key ends it, a function key too
            result = term.wait_wrapper()
            self.assertEqual(result.status, 0)
            self.assertEqual(result.stty_after, result.stty_before)
            self.assertTrue(term.cursor_visible())
            self.assertFalse(os.path.exists(term.ranking_path()) and
                             os.path.getsize(term.ranking_path()) > 0,
                             "a two-player game wrote the ranking")


if __name__ == "__main__":
    unittest.main()
