"""The game over a slow link: a terminal whose answers take a long round trip, keys whose bytes
arrive apart, and a window that closes.

The test terminal answers each question `latency` seconds after it was asked, without holding up
anything else, as a terminal at the end of a long ssh connection does.
"""

import os
import signal
import time
import unittest

from fake_terminal import AMBIGUOUS_WIDE, LATIN1, UTF8_NARROW, FakeTerminal, have_tmux, replay
from terminal import game_binary

WIDTH, HEIGHT = 110, 30
ENTER, RIGHT, DOWN = b"\r", b"\x1b[C", b"\x1b[B"
SEED = ("--seed", "17")
NAME_PROMPT = "이름 입력".encode()
# More than the game waits for its answers (a second).
LATER_THAN_THE_LIMIT = 1.5


def row_text(row):
    return "".join(row)


def title_screen(kind, latency):
    """The title as the game draws it on a terminal of `kind` answering after `latency`."""
    with FakeTerminal(kind, WIDTH, HEIGHT, latency=latency) as fake:
        fake.start(env={"LANG": "C.UTF-8"}, args=SEED)
        fake.wait_for(b"RANKING")
        fake.wait_idle()
        return replay(fake.output(), WIDTH, HEIGHT), fake.answered


def whole_game_keys():
    """SINGLE, then one roll a turn and the next category recorded, up to the name prompt."""
    keys = bytearray(ENTER)
    for turn in range(12):
        keys += ENTER + RIGHT + DOWN * turn + ENTER
    return bytes(keys)


@unittest.skipUnless(have_tmux(), "needs tmux")
class SlowAnswers(unittest.TestCase):
    def test_a_long_round_trip_chooses_what_a_local_terminal_chooses(self):
        for kind in (UTF8_NARROW, AMBIGUOUS_WIDE, LATIN1):
            with self.subTest(kind=kind.name):
                local, _ = title_screen(kind, 0.0)
                started = time.monotonic()
                far, answered = title_screen(kind, 0.2)
                print(f"{kind.name}: the title after {time.monotonic() - started:.2f} s "
                      f"over a 200 ms link")
                self.assertEqual(answered, 4, "every question was answered")
                self.assertEqual([row_text(r) for r in far], [row_text(r) for r in local])

    def test_answers_after_the_limit_are_no_keys_and_never_reach_the_shell(self):
        # The game gives up waiting, uses what its locale says, and must neither take the late
        # answers for keys nor leave them to the shell.
        shell = "\"$0\" \"$@\"; echo \"status $?\"; IFS= read -r -t 3 line; echo \"read: [$line]\""
        with FakeTerminal(UTF8_NARROW, WIDTH, HEIGHT, latency=LATER_THAN_THE_LIMIT) as fake:
            fake.start(env={"LANG": "C.UTF-8"}, argv=["bash", "-c", shell, game_binary()],
                       args=SEED, game=game_binary())
            fake.wait_for(b"RANKING")
            # Once every late answer has been read by the game, a key still moves the menu one
            # step, and the screen shows nothing of the answers.
            deadline = time.monotonic() + 60
            while fake.answered < 4:
                self.assertLess(time.monotonic(), deadline, "the answers were never sent")
                time.sleep(0.05)
            fake.wait_idle()
            mark = fake.mark()
            fake.send(RIGHT)
            fake.wait_for(b"->", since=mark)
            fake.wait_idle()
            rows = replay(fake.output(), WIDTH, HEIGHT)
            self.assertEqual(row_text(rows[18]).strip(), "SINGLE   -> MULTI      RANKING")
            self.assertFalse(any("[" in row_text(r) or ";" in row_text(r) for r in rows),
                             "an answer reached the screen")
            os.kill(fake.game_pid(), signal.SIGTERM)
            self.assertEqual(fake.wait_exit(), 0)
            tail = fake.output()[fake.output().rfind(b"\x1b[?1049l"):]
            self.assertIn(f"status {128 + signal.SIGTERM}".encode(), tail)
            self.assertIn(b"read: []", tail)

    def test_answers_after_the_limit_never_reach_the_shell_when_the_game_ends_at_once(self):
        shell = "\"$0\" \"$@\"; echo \"status $?\"; IFS= read -r -t 3 line; echo \"read: [$line]\""
        with FakeTerminal(UTF8_NARROW, WIDTH, HEIGHT, latency=LATER_THAN_THE_LIMIT) as fake:
            # A folder where the ranking file should be: the game ends right after asking.
            os.makedirs(os.path.join(fake.data_home, "JorvoDice", "Ranking.txt"))
            fake.start(env={"LANG": "C.UTF-8"}, argv=["bash", "-c", shell, game_binary()],
                       game=game_binary())
            self.assertEqual(fake.wait_exit(), 0)
            tail = fake.output()[fake.output().rfind(b"\x1b[?1049l"):]
            self.assertIn(b"status 1", tail)
            self.assertIn(b"read: []", tail, tail)
            self.assertNotIn(b"62;22c", tail, "the late answer was echoed by the shell's terminal")


class SplitKeys(unittest.TestCase):
    def test_an_arrow_whose_bytes_come_apart_is_still_an_arrow(self):
        for arrow in ((b"\x1b", b"[", b"C"), (b"\x1b", b"O", b"C"), (b"\x1b[", b"C")):
            with self.subTest(arrow=b"".join(arrow)), FakeTerminal(UTF8_NARROW, WIDTH,
                                                                   HEIGHT) as fake:
                fake.start(env={"LANG": "C.UTF-8"}, args=SEED)
                fake.wait_for(b"RANKING")
                fake.wait_idle()
                mark = fake.mark()
                fake.send_split(list(arrow), gap=0.15)
                fake.wait_for(b"->", since=mark)
                fake.wait_idle()
                rows = replay(fake.output(), WIDTH, HEIGHT)
                self.assertEqual(row_text(rows[18]).strip(), "SINGLE   -> MULTI      RANKING")

    def test_an_arrow_split_at_the_name_prompt_types_nothing(self):
        with FakeTerminal(UTF8_NARROW, WIDTH, HEIGHT) as fake:
            fake.start(env={"LANG": "C.UTF-8"}, args=SEED)
            fake.wait_for(b"RANKING")
            fake.send(whole_game_keys())
            fake.wait_for(NAME_PROMPT)
            fake.wait_idle()
            fake.send(b"Ab")
            fake.send_split([b"\x1b", b"[", b"D"], gap=0.15)
            fake.send(b"c" + ENTER)
            fake.wait_for(b"PRESS ENTER TO EXIT")
            fake.send(ENTER)
            self.assertEqual(fake.wait_exit(), 0)
            with open(fake.ranking_path(), encoding="utf-8") as f:
                self.assertTrue(f.read().startswith("1\tAbc\t"))


class ClosedWindow(unittest.TestCase):
    def test_the_game_ends_by_the_hang_up_when_it_notices_the_closed_input_first(self):
        # The game's session is led by a shell that catches SIGHUP and passes it on to nobody, so
        # the kernel's hang-up signal never reaches the game: all it sees is its input closing,
        # and it must end as the signal would have ended it.
        with FakeTerminal(UTF8_NARROW, WIDTH, HEIGHT) as fake:
            status_file = os.path.join(fake.data_home, "status")
            script = 'trap "echo hung up" HUP; "$0"; echo $? > "$1.part"; mv "$1.part" "$1"'
            fake.start(env={"LANG": "C.UTF-8"},
                       argv=["sh", "-c", script, game_binary(), status_file],
                       game=game_binary())
            fake.wait_for(b"RANKING")
            fake.wait_idle()
            fake.hang_up()
            deadline = time.monotonic() + 60
            while not os.path.exists(status_file):
                self.assertLess(time.monotonic(), deadline, "the game did not end")
                time.sleep(0.05)
            with open(status_file, encoding="ascii") as f:
                self.assertEqual(f.read().strip(), str(128 + signal.SIGHUP))


if __name__ == "__main__":
    unittest.main()
