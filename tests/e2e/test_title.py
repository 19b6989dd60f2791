"""The title screen, its menu keys, the processor while it waits, and start-up without a usable
terminal."""

import os
import pty
import select
import subprocess
import termios
import time
import unittest

from terminal import (DEFAULT_TIMEOUT, Terminal, cpu_seconds, dice_art, game_binary, have_tmux,
                      unread_input)

MENU_X, MENU_Y = 40, 18
# A line typed before a start that must be refused: the game leaves it for whoever reads next.
TYPED_AHEAD = b"typed ahead\r"
MENU_LINES = {
    "SINGLE": "  -> SINGLE      MULTI      RANKING",
    "MULTI": "     SINGLE   -> MULTI      RANKING",
    "RANKING": "     SINGLE      MULTI   -> RANKING",
}


def title_rows(choice, height=30):
    """Every row of the title screen as a person sees it, trailing blanks dropped."""
    rows = [""] * height
    rows[8] = " " * 54 + "Jorvo  Dice"
    for r, line in enumerate(dice_art([1, 2, 3, 4, 5])):
        rows[10 + r] = (" " * 35 + line).rstrip()
    rows[MENU_Y] = " " * MENU_X + MENU_LINES[choice]
    return rows


def shown_rows(screen):
    return [screen.row(y).rstrip() for y in range(screen.height)]


def wait_title(term, choice):
    screen = term.wait_text(MENU_X, MENU_Y, MENU_LINES[choice])
    return shown_rows(screen)


@unittest.skipUnless(have_tmux(), "needs tmux")
class TitleScreen(unittest.TestCase):
    def test_title_screen_cell_for_cell(self):
        for term_type in (None, "xterm-256color"):  # tmux's own, and the one most terminals give
            with self.subTest(TERM=term_type or "tmux default"), Terminal(110, 30) as term:
                term.start(extra_env={"TERM": term_type} if term_type else None)
                self.assertEqual(wait_title(term, "SINGLE"), title_rows("SINGLE"))
                self.assertFalse(term.cursor_visible(), "the cursor shows on the title screen")
                term.keys("Right")
                self.assertEqual(wait_title(term, "MULTI"), title_rows("MULTI"))

    def test_arrow_keys_move_the_choice_without_wrapping(self):
        # Each step's keys are sent after the last step's screen was seen. A step that must change
        # nothing ends with a key that must, so that a wrong move cannot hide behind it.
        steps = (
            (("Left", "Right"), "MULTI"),           # Left on SINGLE stays on SINGLE
            (("Right",), "RANKING"),
            (("Right", "Left"), "MULTI"),           # Right on RANKING stays on RANKING
            (("Left",), "SINGLE"),
            (("Up", "Down", "Right"), "MULTI"),      # Up and Down do nothing
            (("Escape", "F1", "Home", "x", "Left"), "SINGLE"),  # nor other keys
        )
        with Terminal(110, 30) as term:
            term.start()
            wait_title(term, "SINGLE")
            for keys, choice in steps:
                with self.subTest(keys=keys):
                    term.keys(*keys)
                    self.assertEqual(wait_title(term, choice), title_rows(choice))

    def test_picking_each_mode(self):
        cases = (
            # keys on the title screen, then (x, y, text) that the chosen screen shows
            (("Enter",), (27, 8, "SINGLE MODE")),
            (("Right", "Space"), (28, 8, "1P's turn")),
            (("Right", "Right", "Enter"), (48, 25, "PRESS ENTER TO RETURN")),
        )
        for keys, (x, y, text) in cases:
            with self.subTest(keys=keys), Terminal(110, 30) as term:
                term.start()
                wait_title(term, "SINGLE")
                term.keys(*keys)
                screen = term.wait_text(x, y, text)
                if text.startswith("PRESS"):
                    # No entries yet: only the return line, and back to the menu at SINGLE.
                    others = [screen.row(r).strip() for r in range(screen.height) if r != y]
                    self.assertEqual(others, [""] * (screen.height - 1))
                    term.keys("Enter")
                    self.assertEqual(wait_title(term, "SINGLE"), title_rows("SINGLE"))
                else:
                    self.assertTrue(screen.has(65, 3, "turn  1/12"))
                    self.assertTrue(screen.has(28, 19, "-> roll"))

    def test_waiting_screens_use_no_processor(self):
        # Not a benchmark: a loop that polls instead of waiting uses a whole core, so a lenient
        # bound tells the two apart.
        with Terminal(110, 30) as term:
            term.start()
            wait_title(term, "SINGLE")
            pid = term.game_pid()
            # Each screen, then the keys that lead to the next one and what that one shows.
            screens = (
                ("title menu", ("Right", "Right", "Enter"), (48, 25, "PRESS ENTER TO RETURN")),
                ("ranking screen", ("Enter",), (MENU_X, MENU_Y, MENU_LINES["SINGLE"])),
                ("title menu again", ("Enter",), (27, 8, "SINGLE MODE")),
                ("game screen", (), None),
            )
            for where, keys, shown in screens:
                # From the moment the game waits for a key, its processor time over a window:
                # the window is what is measured, and no speed of the machine makes a waiting
                # game use 5 % of a core or a polling one less.
                term.wait_idle()
                before, start = cpu_seconds(pid), time.monotonic()
                time.sleep(2.0)
                share = (cpu_seconds(pid) - before) / (time.monotonic() - start)
                print(f"processor use while the {where} waits: {share * 100:.2f}% of a core")
                self.assertLess(share, 0.05, where)
                if keys:
                    term.keys(*keys)
                    term.wait_text(*shown)


class StartWithoutTerminal(unittest.TestCase):
    """Without a terminal to draw on the game says so on one line and stops at once: it neither
    asks the terminal anything nor reads from it."""

    def run_game(self, env, stdin_tty, stdout_tty):
        """Runs the game with each end on a pseudo-terminal or not (/dev/null in, a pipe out),
        with a line typed on the terminal beforehand; returns its status, its stderr, what
        reached the terminal or the pipe, whether the typed line is still unread, and the time."""
        env = {k: v for k, v in env.items() if v is not None}
        master, slave = pty.openpty()
        try:
            modes = termios.tcgetattr(slave)
            os.write(master, TYPED_AHEAD)
            echo = b""
            while not echo.endswith(b"\r\n"):  # the terminal's echo of it, before the game
                self.assertTrue(select.select([master], [], [], DEFAULT_TIMEOUT)[0], echo)
                echo += os.read(master, 4096)
            typed = unread_input(os.ttyname(slave))
            start = time.monotonic()
            # The time limit only bounds a game that waits for something.
            result = subprocess.run([game_binary()],
                                    stdin=slave if stdin_tty else subprocess.DEVNULL,
                                    stdout=slave if stdout_tty else subprocess.PIPE,
                                    stderr=subprocess.PIPE, env=env, timeout=DEFAULT_TIMEOUT)
            elapsed = time.monotonic() - start
            self.assertEqual(termios.tcgetattr(slave), modes, "the terminal modes changed")
            drawn = result.stdout or b""
            while select.select([master], [], [], 0)[0]:
                drawn += os.read(master, 4096)
            unread = typed > 0 and unread_input(os.ttyname(slave)) == typed
            return result.returncode, result.stderr, drawn, unread, elapsed
        finally:
            os.close(master)
            os.close(slave)

    def test_refuses_to_start_without_a_usable_terminal(self):
        base = dict(os.environ, LANG="C.UTF-8", TERM="xterm-256color")
        with Terminal(110, 30) as scratch:  # only for its fresh data folder
            base["XDG_DATA_HOME"] = scratch.data_home
            cases = (
                # what is wrong, environment, standard input a terminal, standard output one
                ("standard input not a terminal", dict(base), False, True),
                ("standard output not a terminal", dict(base), True, False),
                ("neither a terminal", dict(base), False, False),
                ("TERM unset", dict(base, TERM=None), True, True),
                ("TERM empty", dict(base, TERM=""), True, True),
                ("TERM unknown", dict(base, TERM="no-such-terminal-type"), True, True),
                ("TERM cannot move the cursor", dict(base, TERM="dumb"), True, True),
            )
            for what, env, stdin_tty, stdout_tty in cases:
                with self.subTest(what):
                    status, stderr, drawn, unread, elapsed = self.run_game(env, stdin_tty,
                                                                           stdout_tty)
                    lines = stderr.decode("utf-8", "replace").splitlines()
                    print(f"{what}: status {status} after {elapsed:.2f} s: {lines}")
                    self.assertNotEqual(status, 0)
                    self.assertEqual(len(lines), 1, lines)
                    self.assertTrue(lines[0].strip())
                    self.assertEqual(drawn, b"", "something was drawn")
                    self.assertTrue(unread, "the game read the terminal, as if to wait for it")
            self.assertEqual(os.listdir(scratch.data_home), [], "a refused start made files")


if __name__ == "__main__":
    unittest.main()
