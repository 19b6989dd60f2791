"""The ranking in a real terminal: the ranking screen from a stored file, and the name typed at the
end of a single-player game merged into the file."""

import fcntl
import os
import unittest

from terminal import Terminal, have_tmux, text_width
from test_games import PROMPT, GamePlayer
from test_title import MENU_LINES, MENU_X, MENU_Y, title_rows, wait_title

LIST_X = 48
WAITING = "WAITING: ANOTHER GAME IS SAVING"


def ranking_line(place, name, score):
    """A listed entry from column LIST_X: the name right-aligned in 10 columns of the screen."""
    return f"{place:2d}  {' ' * (10 - text_width(name))}{name}   {score:3d}"


def write_ranking(term, text, encoding="utf-8"):
    os.makedirs(os.path.dirname(term.ranking_path()), exist_ok=True)
    with open(term.ranking_path(), "w", encoding=encoding, newline="") as f:
        f.write(text)


def play_single_game(term):
    """Picks SINGLE on the title menu and plays the twelve turns, each category in order."""
    term.wait_text(MENU_X, MENU_Y, MENU_LINES["SINGLE"])
    term.keys("Enter")
    player = GamePlayer(term, 1)
    player.wait_model("the first single-player frame")
    for category in range(12):
        player.play_turn(1, (), (), category)
    return player


@unittest.skipUnless(have_tmux(), "needs tmux")
class Ranking(unittest.TestCase):
    def test_ranking_screen_lists_the_stored_entries(self):
        # Places numbered by position, whatever the file gave; wide names aligned by their width
        # on screen.
        three = ((1, "amy", 200), (2, "홍길동", 150), (7, "abcdefghi", 99))
        eleven = tuple((i, f"p{i}", 300 - 10 * i) for i in range(1, 12))
        lines = lambda entries: "".join(f"{p}\t{n}\t{s}\n" for p, n, s in entries)
        # Edited by hand: lines that hold no entry between those that do, and names too wide.
        edited = ("1\tamy\t200\n2\tbo lee\t190\nmy best games\n3 가나다라x 150\n"
                  "4\tcy\t99999999999\n\n7\t홍길동가나다\t99\n")
        # Not in order: the best entry last, equal scores in the file's order.
        unordered = tuple((i, f"x{i}", 5) for i in range(1, 10)) + ((10, "Best", 300),)
        # As editors save it: with a byte order mark, or as UTF-16 with one (PowerShell 5).
        saved = "1\tAnn\t251\r\n2\t홍길동\t198\r\n"
        two = ((1, "Ann", 251), (2, "홍길동", 198))
        cases = (
            # what the file holds, its encoding, the entries listed
            ("three", lines(three), "utf-8", ((1, "amy", 200), (2, "홍길동", 150),
                                              (3, "abcdefghi", 99))),
            # a top ten: the eleventh line, the lowest, is not listed
            ("eleven", lines(eleven), "utf-8", eleven[:10]),
            ("edited", edited, "utf-8", ((1, "amy", 200), (2, "가나다라x", 150),
                                         (3, "홍길동가", 99))),
            ("unordered", lines(unordered), "utf-8",
             ((1, "Best", 300),) + tuple((i + 1, f"x{i}", 5) for i in range(1, 10))),
            ("UTF-8 with a mark", saved, "utf-8-sig", two),
            ("UTF-16 little-endian", saved, "utf-16-le", two),
            ("UTF-16 big-endian", saved, "utf-16-be", two),
        )
        for what, stored, encoding, listed in cases:
            with self.subTest(what), Terminal(110, 30) as term:
                if encoding.startswith("utf-16"):
                    stored = "\ufeff" + stored  # Python writes the mark itself only as "utf-16"
                write_ranking(term, stored, encoding)
                term.start()
                wait_title(term, "SINGLE")
                want = [""] * term.height
                for i, entry in enumerate(listed):
                    want[3 + 2 * i] = " " * LIST_X + ranking_line(*entry)
                want[25] = " " * LIST_X + "PRESS ENTER TO RETURN"
                for back in ("Enter", "Space"):
                    term.keys("Right", "Right")
                    wait_title(term, "RANKING")
                    term.keys("Enter")
                    screen = term.wait_text(LIST_X, 25, "PRESS ENTER TO RETURN")
                    self.assertEqual([screen.row(y).rstrip() for y in range(screen.height)], want)
                    # Only Enter and Space leave: had any of these left, the Enter or Space after
                    # them would have started a game from the menu.
                    term.keys("Left", "Up", "x", "F1", back)
                    self.assertEqual(wait_title(term, "SINGLE"), title_rows("SINGLE"))

    def test_typed_name_is_merged_into_the_file(self):
        with Terminal(110, 30) as term:
            term.start()
            player = play_single_game(term)
            player.wait_model("the frame that ends the game")
            total = player.totals(0)[1]
            name_x = 19 + text_width(PROMPT)
            term.wait_text(19, 25, PROMPT)
            self.assertFalse(term.cursor_visible(), "the cursor shows at the name prompt")

            # Another game saves its result while this one waits for the name; both must stay,
            # and so must the entry after a line edited by hand that holds none.
            write_ranking(term, f"1\tann\t{total + 5}\n2\tben\t{total}\nben's best\n"
                                f"3\tcid\t{total - 1}\n")

            # Empty and blank lines do not end the prompt; control keys type nothing, and
            # Ctrl+Space (a NUL byte) takes no key after it along; only the first word counts.
            term.keys("Enter", "Space", "Space", "Enter", "C-a")
            term.type("홍")
            term.keys("C-Space")
            term.type("길동 extra")
            term.wait_text(name_x, 25, "홍길동" + " " * 3)
            term.keys("Enter")
            term.wait_text(23, 27, "PRESS ENTER TO EXIT")
            term.keys("Space")
            self.assertEqual(term.wait_exit(), 0)

            with open(term.ranking_path(), encoding="utf-8", newline="") as f:
                stored = f.read()
            # Equal scores keep the older entry ahead.
            self.assertEqual(stored, f"1\tann\t{total + 5}\n2\tben\t{total}\n"
                                     f"3\t홍길동\t{total}\n4\tcid\t{total - 1}\n")
            print(f"name entered with a total of {total}")


    def test_what_a_save_needs_is_found_at_start_up(self):
        # A folder where the lock file should be: the game ends before its title, naming it.
        with Terminal(110, 30) as term:
            write_ranking(term, "1\tAnn\t251\n")
            lock = os.path.join(os.path.dirname(term.ranking_path()), "Ranking.lock")
            os.makedirs(lock)
            term.start()
            result = term.wait_wrapper()
            self.assertEqual(result.status, 1)
            self.assertEqual(result.stty_after, result.stty_before)
            message = f"파일 연결 실패: {lock}: Is a directory"
            screen = term.wait(lambda s: any(s.row(y).strip() == message
                                             for y in range(s.height)), "the message")
            self.assertFalse(any("SINGLE" in screen.row(y) for y in range(screen.height)),
                             screen.dump())
            with open(term.ranking_path(), encoding="utf-8") as f:
                self.assertEqual(f.read(), "1\tAnn\t251\n")

    def test_a_save_that_waits_for_another_games_lock_says_so(self):
        # This test holds the lock as another game's save would, for as long as it takes the
        # message to appear; once it lets go, the save goes through.
        with Terminal(110, 30) as term:
            term.start()
            player = play_single_game(term)
            player.wait_model("the frame that ends the game")
            total = player.totals(0)[1]
            term.wait_text(19, 25, PROMPT)
            lock = os.open(os.path.join(os.path.dirname(term.ranking_path()), "Ranking.lock"),
                           os.O_RDWR | os.O_CREAT, 0o600)
            try:
                fcntl.flock(lock, fcntl.LOCK_EX)
                term.type("Zed")
                term.keys("Enter")
                screen = term.wait_text(19, 25, WAITING)
                # Only the prompt's cells change: the rest of the row is the sheet's total.
                self.assertEqual(screen.text(19 + len(WAITING), 25, 65 - 19 - len(WAITING)),
                                 " " * (65 - 19 - len(WAITING)))
                self.assertTrue(screen.has(65, 25, "Total"), screen.dump())
                with open(term.ranking_path(), encoding="utf-8") as f:
                    self.assertEqual(f.read(), "", "saved without the lock")
            finally:
                os.close(lock)  # lets go of the lock
            screen = term.wait_text(23, 27, "PRESS ENTER TO EXIT")
            self.assertEqual(screen.text(19, 25, 46),
                             PROMPT + "Zed" + " " * (46 - text_width(PROMPT) - 3))
            with open(term.ranking_path(), encoding="utf-8") as f:
                self.assertEqual(f.read(), f"1\tZed\t{total}\n")
            term.keys("Enter")
            self.assertEqual(term.wait_exit(), 0)

    def test_a_ranking_that_cannot_be_opened_is_reported_after_the_game(self):
        # A folder where the file should be: at start-up, and when it appears during a game. The
        # message must still be readable once the game has given the terminal back.
        for when in ("start-up", "game end"):
            with self.subTest(when=when), Terminal(110, 30) as term:
                if when == "start-up":
                    os.makedirs(term.ranking_path())
                    term.start()
                else:
                    term.start()
                    play_single_game(term)
                    term.wait_text(19, 25, PROMPT)
                    os.remove(term.ranking_path())
                    os.makedirs(term.ranking_path())
                    term.type("late")
                    term.keys("Enter")
                result = term.wait_wrapper()
                self.assertEqual(result.stty_after, result.stty_before)
                self.assertNotEqual(result.status, 0)
                message = f"파일 연결 실패: {term.ranking_path()}: "
                screen = term.wait(lambda s: any(s.row(y).startswith(message)
                                                 for y in range(s.height)), "the message")
                print(f"{when}: status {result.status}, " + next(
                    screen.row(y).rstrip() for y in range(screen.height)
                    if screen.row(y).startswith(message)))
                self.assertTrue(os.path.isdir(term.ranking_path()))
                folder = os.path.dirname(term.ranking_path())
                self.assertEqual([n for n in os.listdir(folder) if n.startswith("Ranking.txt.")],
                                 [], "a temporary file was left behind")


if __name__ == "__main__":
    unittest.main()
