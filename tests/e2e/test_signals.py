"""Every signal that would end the game gives the terminal back first, and a closed window ends the
game one way, whichever the game notices first: its input closing or the hang-up signal."""

import signal
import unittest

from terminal import Terminal, have_tmux

# The signals whose default action does not end a process, and those no process can catch.
NOT_ENDING = {signal.SIGKILL, signal.SIGSTOP, signal.SIGTSTP, signal.SIGTTIN, signal.SIGTTOU,
              signal.SIGCONT, signal.SIGCHLD, signal.SIGURG, signal.SIGWINCH}
ENDING = sorted(s for s in signal.valid_signals() if s not in NOT_ENDING)


def signal_name(number):
    try:
        return signal.Signals(number).name
    except ValueError:
        return f"SIGRTMIN+{number - signal.SIGRTMIN}"


def wait_title(term):
    term.wait_text(54, 8, "Jorvo  Dice", timeout=30)
    term.wait_text(40, 18, "  -> SINGLE")


@unittest.skipUnless(have_tmux(), "tmux is not installed")
class EndingSignals(unittest.TestCase):
    def test_every_signal_that_ends_the_game_gives_the_terminal_back(self):
        # Taken from the system, real-time signals included: more than the usual thirty.
        self.assertGreater(len(ENDING), 40)
        self.assertIn(signal.SIGPIPE, ENDING)
        self.assertIn(signal.SIGRTMAX, ENDING)
        for number in ENDING:
            with self.subTest(signal=signal_name(number)), Terminal(110, 30) as term:
                term.start()
                wait_title(term)
                self.assertFalse(term.cursor_visible())
                term.signal_game(number)
                result = term.wait_wrapper(timeout=30)
                self.assertEqual(result.status, 128 + number)
                self.assertEqual(result.stty_after, result.stty_before)
                self.assertTrue(term.cursor_visible(), "the cursor stays hidden")
                # Back on the shell's screen: the game's title is gone with its screen.
                self.assertNotIn("Jorvo  Dice", term.screen().row(8))

    def test_a_signal_ignored_at_the_start_stays_ignored(self):
        with Terminal(110, 30) as term:
            ignoring = ("sh", "-c", 'trap "" USR1 PIPE; exec "$0" "$@"')
            term.start(launcher=ignoring)
            wait_title(term)
            for number in (signal.SIGUSR1, signal.SIGPIPE):
                term.signal_game(number)
            # The game goes on: a key still moves the menu.
            term.keys("Right")
            term.wait_text(40, 18, "     SINGLE   -> MULTI")
            term.signal_game(signal.SIGTERM)
            self.assertEqual(term.wait_exit(timeout=30), 128 + signal.SIGTERM)


if __name__ == "__main__":
    unittest.main()
