"""The game on terminals that show its characters differently, each played on a pseudo-terminal
that answers the game's question (where did the cursor go?) as that terminal would, or not at all.

Games on every kind of terminal are started with the same seed, so that their dice are the same,
and are sent the same keys. What each wrote is replayed into tmux and read back cell by cell: it
must equal the game on a UTF-8 terminal with narrow ambiguous characters, with the stand-ins that
kind of terminal needs in exactly the cells of the characters they stand for.
"""

import os
import unicodedata
import unittest

from fake_terminal import (AMBIGUOUS_WIDE, AMBIGUOUS_WIDE_NARROW_LINES, LATIN1,
                           LINE_DRAWING_MARK, PRIMARY_ATTRIBUTES_QUESTIONS, SILENT, UTF8_NARROW,
                           FakeTerminal, have_tmux, replay)
from terminal import game_binary

WIDTH, HEIGHT = 110, 30
ENTER, UP, RIGHT, DOWN = b"\r", b"\x1b[A", b"\x1b[C", b"\x1b[B"
ENTER_ALTERNATE_SCREEN = b"\x1b[?1049h"
# The dice of every game side by side: the same seed and the same keys roll the same.
SEED = ("--seed", "2026")

# The dice's characters, each with the letter of its glyph in the VT100 line-drawing set (None
# where xterm's set has none) and its ASCII stand-in.
DICE_STAND_INS = {
    "┏": ("l", "+"), "┓": ("k", "+"), "┗": ("m", "+"), "┛": ("j", "+"),
    "━": ("q", "-"), "┃": ("x", "|"), "●": ("`", "o"), "↑": (None, "^"),
}
IDEOGRAPHIC_SPACE = "\u3000"

# Each case: what it is, the terminal, the locale variables, and how the dice are drawn there:
# as they are ("kept"), with the line-drawing set where it has the glyph ("lines"), or in ASCII.
CASES = (
    ("UTF-8 narrow terminal, C.UTF-8", UTF8_NARROW, {"LANG": "C.UTF-8"}, "kept"),
    ("UTF-8 narrow terminal, no LANG at all", UTF8_NARROW, {}, "kept"),
    ("UTF-8 narrow terminal, LANG=C", UTF8_NARROW, {"LANG": "C"}, "kept"),
    ("ambiguous wide, line drawing wide too (xterm -cjk_width)", AMBIGUOUS_WIDE,
     {"LANG": "C.UTF-8"}, "ascii"),
    ("ambiguous wide, line drawing narrow", AMBIGUOUS_WIDE_NARROW_LINES, {"LANG": "C.UTF-8"},
     "lines"),
    ("ISO 8859-1 terminal in a UTF-8 locale", LATIN1, {"LANG": "C.UTF-8"}, "lines"),
    ("ISO 8859-1 terminal, LANG=C", LATIN1, {"LANG": "C"}, "lines"),
    ("no answer, C.UTF-8", SILENT, {"LANG": "C.UTF-8"}, "kept"),
    ("no answer, LANG=C", SILENT, {"LANG": "C"}, "lines"),
)


def stand_in_rows(rows, dice):
    """The rows of a narrow UTF-8 terminal as a terminal that needs stand-ins shows them."""
    out = []
    for row in rows:
        cells = []
        skip_next = False
        for x, cell in enumerate(row):
            if skip_next:
                skip_next = False
                continue
            if dice != "kept" and cell in DICE_STAND_INS:
                letter, ascii_text = DICE_STAND_INS[cell]
                cells.append(LINE_DRAWING_MARK + letter if dice == "lines" and letter
                             else ascii_text)
            elif dice != "kept" and cell == IDEOGRAPHIC_SPACE:
                cells += [" ", " "]
                skip_next = True
            else:
                cells.append(cell)
        out.append(cells)
    return out


def row_text(row):
    return "".join(row)


def differences(want, got):
    return [f"row {y}:\n  want {row_text(w)!r}\n  got  {row_text(g)!r}"
            for y, (w, g) in enumerate(zip(want, got)) if w != g]


def after_probe(data):
    """What the game wrote from the first frame on: the alternate screen and all that follows."""
    at = data.find(ENTER_ALTERNATE_SCREEN)
    return data[at:] if at >= 0 else b""


@unittest.skipUnless(have_tmux(), "needs tmux")
class StandInsKeepTheLayout(unittest.TestCase):
    def play(self, fakes):
        """The same keys to every game: the title, the game's first frame, a roll, and the dice
        cursor on the first die. Returns the bytes of each at the title and at the end."""
        for fake in fakes:
            fake.wait_for(b"RANKING")
            fake.wait_idle()
        titles = [fake.output() for fake in fakes]
        for keys in (ENTER, ENTER, UP):
            for fake in fakes:
                fake.send(keys)
            for fake in fakes:
                fake.wait_idle()
        return titles, [fake.output() for fake in fakes]

    def test_every_terminal_shows_the_same_cells(self):
        fakes = [FakeTerminal(kind, WIDTH, HEIGHT) for _, kind, _, _ in CASES]
        try:
            for fake, (_, _, env, _) in zip(fakes, CASES):
                fake.start(env={"LANG": None, "LC_ALL": None, **env}, args=SEED)
            titles, games = self.play(fakes)
            self.check_screens(fakes, titles, games)
        finally:
            for fake in fakes:
                fake.close()

    def check_screens(self, fakes, titles, games):
        reference_title = replay(titles[0], WIDTH, HEIGHT)
        reference_game = replay(games[0], WIDTH, HEIGHT)
        self.assertIn("Jorvo  Dice", row_text(reference_title[8]))
        self.assertIn("↑", row_text(reference_game[17]), "the dice cursor is not shown")
        self.assertIn("●", row_text(reference_game[13]))
        for fake, (what, kind, _, dice), title, game in zip(fakes, CASES, titles, games):
            with self.subTest(what):
                asked = fake.reports
                print(f"{what}: {asked} question(s), dice drawn {dice}")
                # Every terminal, one that answers nothing included, is asked all three at once
                # (whether it decodes UTF-8, draws ambiguous characters wide, and how wide its
                # line-drawing set is), then for its attributes, once.
                self.assertEqual(asked, 3)
                self.assertEqual(fake.asked(PRIMARY_ATTRIBUTES_QUESTIONS[0]), 1)
                self.check_one_write(game)
                for name, data, reference in (("title", title, reference_title),
                                              ("game", game, reference_game)):
                    want = stand_in_rows(reference, dice)
                    got = replay(data, WIDTH, HEIGHT)
                    diff = differences(want, got)
                    self.assertFalse(diff, f"the {name} screen differs:\n" + "\n".join(diff))
                self.check_bytes(game, kind, dice)
                # The probe is erased before the first frame, on the screen it was drawn on.
                before = game[:game.find(ENTER_ALTERNATE_SCREEN)]
                blank = [[" "] * WIDTH for _ in range(HEIGHT)]
                self.assertEqual(replay(before, WIDTH, HEIGHT), blank,
                                 "the probe was left on the screen")

    def check_one_write(self, data):
        """The questions go out together, ended by the attributes request, before any frame."""
        first = data.find(b"\x1b[6n")
        attributes = data.find(PRIMARY_ATTRIBUTES_QUESTIONS[0])
        self.assertGreaterEqual(first, 0)
        self.assertEqual(data.count(b"\x1b[6n", first, attributes), 3)
        self.assertLess(attributes - first, 96, "the questions are not in one piece")
        self.assertLess(attributes, data.find(ENTER_ALTERNATE_SCREEN))

    def check_bytes(self, data, kind, dice):
        """Nothing the terminal would draw wider than the layout counts is sent after the probe."""
        text = after_probe(data).decode("utf-8", "replace")
        if dice == "kept":
            return
        if kind.utf8:
            wide = sorted({ch for ch in text if unicodedata.east_asian_width(ch) == "A"})
            self.assertEqual(wide, [], "ambiguous-width characters sent")
        if not kind.utf8 or not kind.answers:
            self.assertTrue(all(ord(ch) < 0x80 for ch in text), "non-ASCII bytes sent")
        if dice == "ascii":
            self.assertNotIn("\x1b(0", text, "the line-drawing set used where it is wide")


@unittest.skipUnless(have_tmux(), "needs tmux")
class TerminalSetUp(unittest.TestCase):
    def test_the_title_is_set_and_given_back(self):
        cases = (
            # TERM, the sequence that sets the title, the one that gives the old one back
            ("xterm", b"\x1b[22;2t\x1b]2;Jorvo Dice\x07", b"\x1b[23;2t"),
            ("xterm-256color", b"\x1b[22;2t\x1b]2;Jorvo Dice\x07", b"\x1b[23;2t"),
            ("tmux-256color", b"\x1b]0;Jorvo Dice\x07", None),  # its status line: no way back
            ("vt220", None, None),
        )
        for term, title, restore in cases:
            with self.subTest(TERM=term), FakeTerminal(UTF8_NARROW, WIDTH, HEIGHT) as fake:
                fake.start(env={"LANG": "C.UTF-8", "TERM": term})
                fake.wait_for(b"RANKING")
                fake.wait_idle()
                fake.send(b"\x03")  # Ctrl+C
                fake.wait_exit()
                data = fake.output()
                frame = data.find(b"Jorvo  Dice")
                if title is None:
                    self.assertNotIn(b"Jorvo Dice", data)
                else:
                    self.assertEqual(data.count(title), 1, data)
                    self.assertLess(data.find(ENTER_ALTERNATE_SCREEN), data.find(title))
                    self.assertLess(data.find(title), frame)
                if restore is None:
                    self.assertNotIn(b"\x1b[23;2t", data)
                else:
                    # Given back after the frames, before the terminal leaves the game's screen.
                    self.assertEqual(data.count(restore), 1)
                    self.assertLess(frame, data.find(restore))
                    self.assertLess(data.find(restore), data.rfind(b"\x1b[?1049l"))

    def test_the_failure_message_reads_on_a_terminal_without_hangul(self):
        with FakeTerminal(LATIN1, WIDTH, HEIGHT) as fake:
            path = os.path.join(fake.data_home, "JorvoDice", "Ranking.txt")
            os.makedirs(path)  # a folder where the file should be
            fake.start(env={"LANG": "C.UTF-8"})
            self.assertEqual(fake.wait_exit(), 1)
            message = fake.output()[fake.output().rfind(b"\x1b[?1049l"):]
            self.assertIn(f"ranking failed: {path}: ".encode(), message)
            self.assertTrue(all(b < 0x80 for b in message), message)

    def test_keys_typed_while_the_terminal_is_asked_are_kept(self):
        with FakeTerminal(UTF8_NARROW, WIDTH, HEIGHT) as fake:
            fake.start(env={"LANG": "C.UTF-8"})
            fake.send(RIGHT + RIGHT)  # before the game has asked anything
            fake.wait_for(b"RANKING")
            fake.wait_idle()
            menu = row_text(replay(fake.output(), WIDTH, HEIGHT)[18])
            self.assertEqual(menu.strip(), "SINGLE      MULTI   -> RANKING")
            self.assertEqual(fake.reports, 3)

    def test_keys_typed_past_the_end_never_reach_the_shell(self):
        keys = bytearray(ENTER)  # SINGLE
        for turn in range(12):
            keys += ENTER + RIGHT + DOWN * turn + ENTER  # roll once, record the next category
        keys += b"Zed" + ENTER + ENTER  # the name, then the end
        keys += b"echo LEFT-OVER\r"  # what a paste with a line break would leave
        with FakeTerminal(UTF8_NARROW, WIDTH, HEIGHT) as fake:
            # Keys left over would be in the terminal's queue as the game ends, for read to take
            # at once: its two seconds only bound the wait for keys that are not there.
            shell = ("\"$0\"; echo \"status $?\"; "
                     "IFS= read -r -t 2 line; echo \"read: [$line]\"")
            fake.start(env={"LANG": "C.UTF-8"}, argv=["bash", "-c", shell, game_binary()],
                       game=game_binary())
            fake.wait_for(b"RANKING")
            fake.wait_idle()
            fake.send(bytes(keys))
            self.assertEqual(fake.wait_exit(timeout=60), 0)
            tail = fake.output()[-200:]
            self.assertIn(b"status 0", tail)
            self.assertIn(b"read: []", tail, tail)
            with open(os.path.join(fake.data_home, "JorvoDice", "Ranking.txt"),
                      encoding="utf-8") as f:
                self.assertTrue(f.read().startswith("1\tZed\t"))


if __name__ == "__main__":
    unittest.main()
