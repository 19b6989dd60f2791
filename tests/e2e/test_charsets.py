"""The whole game in a locale whose charset is not UTF-8: Korean in EUC-KR, through luit, which
converts between the game's EUC-KR and the UTF-8 of tmux as a terminal set up for that locale
would. The game is played beside the same game in UTF-8, both with the same seed so that the dice
are the same, and every screen must equal the UTF-8 one cell for cell, with the dice drawn in
the line-drawing set (EUC-KR holds the dice's characters only two columns wide). A Hangul name is
typed and must be found in the ranking file as UTF-8.

The ko_KR.EUC-KR locale is generated into a folder of the test's own (localedef, LOCPATH). Where
luit, localedef or the locale data cannot be had, the tests skip, saying so.
"""

import os
import shutil
import subprocess
import tempfile
import unittest

from terminal import Terminal, text_width

PROMPT = "게임 끝! 이름 입력: "
NAME = "홍길동"
LUIT = ("luit", "-encoding", "EUC-KR", "--")

# What the game's characters become on the way, by the terminal type the game is given: the
# line-drawing glyphs the game sends, as luit passes them on in Unicode, where the type switches
# its line-drawing set into G0 (vt220, and the xterm types, whose repeat sequence the game must not
# use: luit drops it after a character it has converted); ASCII where the set is shifted in from G1
# (the screen type that tmux gives), as G1 holds the locale's own characters. The ideographic
# space becomes two blanks in both.
LINE_DRAWING_CELLS = {"┏": "┌", "┓": "┐", "┗": "└", "┛": "┘", "━": "─", "┃": "│", "●": "◆",
                      "↑": "^"}
ASCII_CELLS = {"┏": "+", "┓": "+", "┗": "+", "┛": "+", "━": "-", "┃": "|", "●": "o", "↑": "^"}
TERMINAL_TYPES = (("vt220", LINE_DRAWING_CELLS), ("xterm", LINE_DRAWING_CELLS),
                  ("xterm-256color", LINE_DRAWING_CELLS), (None, ASCII_CELLS))
# The same dice in both games: the same seed and the same keys roll the same.
SEED = ("--seed", "2026")

locale_dir = None
skip_reason = None


def setUpModule():
    global locale_dir, skip_reason
    missing = [tool for tool in ("tmux", "luit", "localedef") if shutil.which(tool) is None]
    if missing:
        skip_reason = f"{', '.join(missing)} not installed"
        return
    locale_dir = tempfile.mkdtemp(prefix="jorvo-locale-")
    subprocess.run(["localedef", "-i", "ko_KR", "-f", "EUC-KR",
                    os.path.join(locale_dir, "ko_KR.EUC-KR")], capture_output=True, check=False)
    charmap = subprocess.run(["locale", "charmap"], capture_output=True, text=True, check=False,
                             env=dict(os.environ, LOCPATH=locale_dir, LC_ALL="ko_KR.EUC-KR"))
    if charmap.stdout.strip() != "EUC-KR":
        skip_reason = "the ko_KR.EUC-KR locale could not be generated (locales package missing?)"
        return
    if not luit_converts():
        skip_reason = "luit cannot convert EUC-KR here (its encodings, xfonts-encodings, missing?)"


def tearDownModule():
    if locale_dir:
        shutil.rmtree(locale_dir, ignore_errors=True)


def luit_converts():
    """Whether luit shows EUC-KR text as the Hangul it stands for: once the line after it is
    shown, the text is there or it never will be."""
    with Terminal(40, 5) as term:
        # The pane starts the game's path after its launcher: here it is only sh's $0.
        shows = "printf '\\260\\324\\300\\323\\r\\nshown'; sleep 600"
        term.start(extra_env=euc_kr_env(), launcher=(*LUIT, "sh", "-c", shows))
        try:
            screen = term.wait_text(0, 1, "shown")
        except AssertionError:
            return False
        return screen.has(0, 0, "게임")


def euc_kr_env():
    return {"LANG": "ko_KR.EUC-KR", "LOCPATH": locale_dir}


def in_euc_kr(screen, stand_ins):
    """The cells of a UTF-8 game's screen as the EUC-KR game shows them."""
    rows = []
    for row in screen.cells:
        cells = []
        x = 0
        while x < len(row):
            cell = row[x]
            if cell == "\u3000":
                cells += [" ", " "]
                x += 2
                continue
            cells.append(stand_ins.get(cell, cell))
            x += 1
        rows.append(cells)
    return rows


def diff(want, screen):
    return "\n".join(f"row {y}:\n  want {''.join(w)!r}\n  got  {''.join(g)!r}"
                     for y, (w, g) in enumerate(zip(want, screen.cells)) if w != g)


class EucKrGame(unittest.TestCase):
    def setUp(self):
        if skip_reason:
            print(f"SKIPPED: {skip_reason}")
            self.skipTest(skip_reason)

    def same(self, utf8, euc, ready, what):
        """Waits until the UTF-8 game shows `ready`, then until the EUC-KR one shows the same."""
        shown = utf8.wait(ready, what)
        want = in_euc_kr(shown, self.stand_ins)
        try:
            euc.wait(lambda s: s.cells == want, f"{what} in EUC-KR")
        except AssertionError:
            self.fail(f"{what}: the EUC-KR screen differs\n{diff(want, euc.screen())}")
        return shown

    def test_the_failure_message_is_written_in_the_locales_charset(self):
        with Terminal(110, 30) as term:
            os.makedirs(term.ranking_path())  # a folder where the file should be
            term.start(extra_env={"TERM": "vt220", **euc_kr_env()}, launcher=LUIT)
            term.wait_wrapper()
            message = f"파일 연결 실패: {term.ranking_path()}: "
            term.wait(lambda s: any(s.row(y).startswith(message) for y in range(s.height)),
                      "the message in Hangul")

    def test_the_whole_game_reads_the_same_and_stores_the_name_in_utf8(self):
        for term_type, stand_ins in TERMINAL_TYPES:
            with self.subTest(TERM=term_type or "tmux's own"):
                self.stand_ins = stand_ins
                self.play_beside(term_type)

    def play_beside(self, term_type):
        env = {"TERM": term_type} if term_type else {}
        with Terminal(110, 30) as utf8, Terminal(110, 30) as euc:
            utf8.start(extra_env=env, args=SEED)
            euc.start(extra_env={**env, **euc_kr_env()}, launcher=LUIT, args=SEED)

            def both(*keys):
                utf8.keys(*keys)
                euc.keys(*keys)

            def at(x, y, text):
                return lambda s: s.has(x, y, text)

            self.same(utf8, euc, at(42, 18, "-> SINGLE"), "the title")
            both("Right")
            self.same(utf8, euc, at(54, 18, "-> MULTI"), "the title on MULTI")
            both("Left", "Enter")
            self.same(utf8, euc, at(27, 8, "SINGLE MODE"), "the first frame")
            for turn in range(12):
                both("Enter")
                self.same(utf8, euc, at(25, 22, "Remain Roll : 2"), f"turn {turn + 1}'s roll")
                if turn < 2:
                    both("Up", "Right")
                    self.same(utf8, euc, at(22, 17, "↑"), "the dice cursor on the second die")
                    both("Enter")
                    self.same(utf8, euc, at(21, 11, "fix"), "the second die held")
                    both("Down", "Enter")
                    self.same(utf8, euc, at(25, 22, "Remain Roll : 1"), "the second roll")
                both("Right", *["Down"] * turn)
                row = (5, 6, 7, 8, 9, 10, 17, 19, 20, 21, 22, 23)[turn]
                self.same(utf8, euc, at(79, row, "->"), "the sheet cursor")
                both("Enter")
                if turn < 11:
                    self.same(utf8, euc, at(65, 3, f"turn {turn + 2:2d}/12"), "the next turn")
            self.same(utf8, euc, at(19, 25, PROMPT), "the name prompt")
            for term in (utf8, euc):
                term.type(NAME)
            self.same(utf8, euc, at(19 + text_width(PROMPT), 25, NAME), "the typed name")
            both("Enter")
            shown = self.same(utf8, euc, at(23, 27, "PRESS ENTER TO EXIT"), "the ranking")
            total = int(shown.text(83, 25, 3))
            both("Enter")
            for term in (utf8, euc):
                self.assertEqual(term.wait_exit(), 0)
            for term in (utf8, euc):
                with open(term.ranking_path(), "rb") as f:
                    self.assertEqual(f.read(), f"1\t{NAME}\t{total}\n".encode("utf-8"))


if __name__ == "__main__":
    unittest.main()
