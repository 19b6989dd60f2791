"""What a real terminal does to the game: signals, suspend and resume, a window that closes or
shrinks, a terminal that goes away, and keys that arrive in bursts.

Every case checks what the player is left with: the terminal modes as `stty -g` saw them before,
the cursor visible again, the screen drawn in full, and a ranking file that only a finished game
wrote to.
"""

import os
import resource
import shutil
import signal
import subprocess
import time
import unittest

from fake_terminal import UTF8_NARROW, FakeTerminal
from terminal import (DEFAULT_TIMEOUT, Terminal, cpu_seconds, game_binary, have_tmux,
                      process_state, read_dice, still_waiting_for_key, text_width, unread_input)

PROMPT = "게임 끝! 이름 입력: "
DICE_X, DICE_Y = 8, 12
CATEGORY_ROWS = (5, 6, 7, 8, 9, 10, 17, 19, 20, 21, 22, 23)


def setUpModule():
    # Crash signals must not leave core files about; the tmux server and the game inherit this.
    resource.setrlimit(resource.RLIMIT_CORE, (0, 0))


def wait_title(term):
    return term.wait_text(42, 18, "-> SINGLE")


def start_game(term):
    """From the title menu into a single-player game."""
    wait_title(term)
    term.keys("Enter")
    return term.wait_text(27, 8, "SINGLE MODE")


def whole_game_keys():
    """The keys of a single-player game that records the twelve categories in order."""
    keys = ["Enter"]
    for category in range(12):
        keys += ["Enter", "Right"] + ["Down"] * category + ["Enter"]
    return keys


def wait_too_small(term, width, height):
    """The message that stands in for the game while the window is too small."""
    lines = ("The game needs 103x28.", f"This window is {width}x{height}.",
             "Make it larger to go on.")
    return term.wait(lambda s: all(s.has(0, y, line) for y, line in enumerate(lines))
                     and all(s.row(y).strip() == "" for y in range(3, s.height)),
                     f"the size message for {width}x{height}")


def ranking(term):
    try:
        with open(term.ranking_path(), encoding="utf-8") as f:
            return f.read()
    except FileNotFoundError:
        return ""


def resize(term, width, height):
    term._tmux("resize-window", "-t", "game", "-x", str(width), "-y", str(height))
    term.width, term.height = width, height


def game_screen_complete(screen):
    """The fixed parts of the game screen are all there, and the dice can be read."""
    return (screen.has(27, 8, "SINGLE MODE") and screen.has(65, 5, "Aces")
            and screen.has(65, 23, "Jorvo") and screen.has(65, 25, "Total")
            and screen.has(25, 22, "Remain Roll : ")
            and read_dice(screen, DICE_X, DICE_Y) is not None)


def crash(test, pid):
    """Makes the game jump to address 0, as a real fault would, with gdb."""
    if shutil.which("gdb") is None:
        test.skipTest("gdb is not installed")
    result = subprocess.run(["gdb", "-q", "-batch", "-nx", "-p", str(pid), "-ex",
                             "set var $pc = 0", "-ex", "detach"], stdin=subprocess.DEVNULL,
                            capture_output=True, text=True, timeout=60, check=False)
    if result.returncode != 0 or "detached" not in result.stdout + result.stderr:
        test.skipTest(f"gdb cannot take hold of the game here: {result.stderr.strip()[-200:]}")


def wait_animation(term):
    """Waits until the game sleeps between two frames of the roll it was sent. A game that has
    already read the key and waits for the next one has rolled (this was not seen in time), and
    where /proc does not tell, the game is left to read the key."""
    pid, tty = term.game_pid(), term.pane_tty()
    deadline = time.monotonic() + DEFAULT_TIMEOUT
    while True:
        state = process_state(pid)
        if state is None:
            term.wait_idle()
            return
        if state.asleep and state.call in ("nanosleep", "clock_nanosleep"):
            return
        if still_waiting_for_key(pid, lambda: unread_input(tty) == 0):
            print("the roll was over before it was seen: the signal lands after it")
            return
        if time.monotonic() > deadline:
            raise AssertionError("the game never rolled")
        time.sleep(0.002)


def rows(screen, width=103, height=28):
    return [screen.text(0, y, width) for y in range(height)]


def pty_game(test):
    """The game on a pseudo-terminal of its own that is not its controlling terminal, so that
    closing it sends no hang-up signal: the game can only find out from its input."""
    game = FakeTerminal(UTF8_NARROW, 110, 30)
    test.addCleanup(game.close)
    game.start(env={"LANG": "C.UTF-8"}, controlling=False, capture_stderr=True)
    return game


def hang_up(test, game):
    """Closes the terminal; returns the exit status, stderr and the seconds it took."""
    start = time.monotonic()
    game.hang_up()
    try:
        status = game.wait_exit()
    except AssertionError:
        test.fail("the game did not end when its terminal went away")
    elapsed = time.monotonic() - start
    return status, game.stderr_text(), elapsed


@unittest.skipUnless(have_tmux(), "tmux is not installed")
class Signals(unittest.TestCase):
    def test_every_way_out_gives_the_terminal_back(self):
        cases = (
            # what ends the game, where, the status the shell sees
            ("SIGTERM", "title", 128 + signal.SIGTERM),
            ("SIGHUP", "title", 128 + signal.SIGHUP),
            ("SIGTERM", "after a roll", 128 + signal.SIGTERM),
            ("C-c", "after a roll", 128 + signal.SIGINT),
            ("C-\\", "roll", 128 + signal.SIGQUIT),
            ("C-c", "roll", 128 + signal.SIGINT),
            ("SIGSEGV", "game", 128 + signal.SIGSEGV),
            ("a real crash", "game", 128 + signal.SIGSEGV),
            ("SIGABRT", "game", 128 + signal.SIGABRT),
            ("SIGBUS", "game", 128 + signal.SIGBUS),
            ("SIGTERM", "too small", 128 + signal.SIGTERM),
            ("SIGHUP", "ranking screen", 128 + signal.SIGHUP),
            ("C-c", "name prompt", 128 + signal.SIGINT),
            ("SIGQUIT", "name prompt", 128 + signal.SIGQUIT),
        )
        for how, where, status in cases:
            with self.subTest(how=how, where=where), Terminal(110, 30) as term:
                term.start(wrapped=True)
                wait_title(term)
                if where == "ranking screen":
                    term.keys("Right", "Right", "Enter")
                    term.wait_text(48, 25, "PRESS ENTER TO RETURN")
                elif where == "name prompt":
                    term.keys(*whole_game_keys())
                    term.wait_text(19, 25, PROMPT, timeout=30)
                    term.type("Half")
                    term.wait_text(19 + text_width(PROMPT), 25, "Half")
                elif where != "title":
                    term.keys("Enter")
                    term.wait_text(27, 8, "SINGLE MODE")
                    if where == "roll":
                        term.keys("Enter")  # the signal lands during the roll's animation
                        wait_animation(term)
                    elif where == "after a roll":
                        term.keys("Enter")
                        term.wait_text(25, 22, "Remain Roll : 2")
                    elif where == "too small":
                        resize(term, 80, 24)
                        wait_too_small(term, 80, 24)
                self.assertFalse(term.cursor_visible())
                if how == "a real crash":
                    crash(self, term.game_pid())
                elif how.startswith("SIG"):
                    term.signal_game(getattr(signal, how))
                else:
                    term.keys(how)
                result = term.wait_wrapper()
                self.assertEqual(result.status, status)
                self.assertEqual(result.stty_after, result.stty_before)
                self.assertTrue(term.cursor_visible(), "the cursor stays hidden")
                self.assertEqual(ranking(term), "", "an unfinished game was saved")

    def test_a_finished_game_gives_the_terminal_back(self):
        with Terminal(110, 30) as term:
            term.start(wrapped=True)
            wait_title(term)
            term.keys(*whole_game_keys())
            term.wait_text(19, 25, PROMPT, timeout=30)
            term.type("Zed")
            term.keys("Enter")
            term.wait_text(23, 27, "PRESS ENTER TO EXIT")
            term.keys("Enter")
            result = term.wait_wrapper()
            self.assertEqual(result.status, 0)
            self.assertEqual(result.stty_after, result.stty_before)
            self.assertTrue(term.cursor_visible())


@unittest.skipUnless(have_tmux(), "tmux is not installed")
class SuspendAndResume(unittest.TestCase):
    """Ctrl+Z from a shell with job control, then `fg`."""

    def shell(self, term):
        script = os.path.join(term.dir, "bashrc")
        with open(script, "w", encoding="ascii") as f:
            f.write("PS1='$ '\n")
        env = term.environment()
        term._tmux("new-session", "-d", "-s", "game", "-x", str(term.width), "-y",
                   str(term.height), "-e", f"XDG_DATA_HOME={term.data_home}", "-e",
                   "LANG=C.UTF-8", f"exec bash --noprofile --rcfile {script} -i", env=env)
        term.started = True
        term.wait(lambda s: s.row(0).startswith("$"), "the shell's prompt")

    def run_in_shell(self, term, command):
        done = os.path.join(term.dir, "done")
        if os.path.exists(done):
            os.remove(done)
        term.type(f"{command}; touch {done}")
        term.keys("Enter")
        deadline = time.monotonic() + DEFAULT_TIMEOUT
        while not os.path.exists(done):
            self.assertLess(time.monotonic(), deadline, f"{command} did not finish")
            time.sleep(0.02)

    def read(self, term, name):
        with open(os.path.join(term.dir, name), encoding="ascii") as f:
            return f.read().strip()

    def test_suspend_gives_the_terminal_back_and_resume_redraws_it(self):
        with Terminal(110, 30) as term:
            self.shell(term)
            self.run_in_shell(term, f"stty -g > {term.dir}/before")
            term.type(f"clear; {game_binary()}")
            term.keys("Enter")
            start_game(term)
            term.keys("Enter")
            term.wait_text(25, 22, "Remain Roll : 2")
            before = term.screen()
            self.assertTrue(game_screen_complete(before), before.dump())
            self.assertFalse(term.cursor_visible())

            term.keys("C-z")
            term.wait(lambda s: any("Stopped" in s.row(y) for y in range(s.height)),
                      "the shell's report of the stopped game")
            self.assertTrue(term.cursor_visible(), "the cursor is hidden while suspended")
            self.run_in_shell(term, f"stty -g > {term.dir}/stopped")
            self.assertEqual(self.read(term, "stopped"), self.read(term, "before"))

            term.type("clear; fg")  # a cleared screen shows that resuming draws everything
            term.keys("Enter")
            after = term.wait(lambda s: game_screen_complete(s), "the game drawn again")
            self.assertEqual(rows(after), rows(before))
            self.assertFalse(term.cursor_visible(), "the cursor shows after resuming")
            # The game goes on where it was.
            term.keys("Enter")
            before = term.wait_text(25, 22, "Remain Roll : 1")

            # A window resized while the game is stopped: the signal went to the shell, and the
            # resumed game still finds out.
            term.keys("C-z")
            term.wait(lambda s: any("Stopped" in s.row(y) for y in range(s.height)),
                      "the shell's report of the stopped game")
            resize(term, 80, 24)
            term.type("clear; fg")
            term.keys("Enter")
            wait_too_small(term, 80, 24)
            resize(term, 110, 30)
            after = term.wait(lambda s: game_screen_complete(s), "the game drawn again")
            self.assertEqual(rows(after), rows(before))

            term.signal_game(signal.SIGTERM)
            term.wait(lambda s: s.row(s.height - 1).startswith("$") or
                      any(s.row(y).startswith("$ ") for y in range(s.height)), "the shell")
            self.run_in_shell(term, f"stty -g > {term.dir}/after")
            self.assertEqual(self.read(term, "after"), self.read(term, "before"))
            self.assertTrue(term.cursor_visible())


@unittest.skipUnless(have_tmux(), "tmux is not installed")
class Resizing(unittest.TestCase):
    def test_too_small_at_the_start_waits_then_draws_the_menu(self):
        with Terminal(80, 24) as term:
            term.start()
            wait_too_small(term, 80, 24)
            pid = term.game_pid()
            # Keys typed while nothing can be seen are not played blind.
            term.keys("Right", "Enter")
            term.expect_no_exit()
            # The processor time over a window while the game waits: the window is what is
            # measured, and a game that polls uses most of a core however loaded the machine.
            before, start = cpu_seconds(pid), time.monotonic()
            time.sleep(1.0)
            share = (cpu_seconds(pid) - before) / (time.monotonic() - start)
            print(f"processor use while the window is too small: {share * 100:.2f}% of a core")
            self.assertLess(share, 0.05)
            resize(term, 100, 30)
            wait_too_small(term, 100, 30)
            resize(term, 103, 28)
            screen = wait_title(term)
            self.assertTrue(screen.has(54, 8, "Jorvo  Dice"), screen.dump())
            self.assertEqual(screen.text(0, 0, 103).strip(), "")
            term.keys("Enter")
            term.wait_text(27, 8, "SINGLE MODE")

    def test_shrinking_and_growing_redraws_the_whole_screen_in_place(self):
        with Terminal(110, 30) as term:
            term.start()
            start_game(term)
            term.keys("Enter")
            term.wait_text(25, 22, "Remain Roll : 2")
            before = term.screen()
            for width, height in ((80, 24), (103, 27), (102, 28), (40, 10)):
                with self.subTest(size=(width, height)):
                    resize(term, width, height)
                    wait_too_small(term, width, height)
                    resize(term, 110, 30)
                    after = term.wait(game_screen_complete, "the game drawn again")
                    self.assertEqual(rows(after), rows(before))
            # Larger than needed: the screen stays where it is.
            resize(term, 140, 40)
            term.wait_text(27, 8, "SINGLE MODE")
            self.assertEqual(rows(term.screen()), rows(before))

    def test_a_resize_during_a_roll_redraws_the_roll_in_full(self):
        with Terminal(110, 30) as term:
            term.start()
            start_game(term)
            term.keys("Enter")
            resize(term, 80, 24)  # while the dice are still turning
            wait_too_small(term, 80, 24)
            term.wait_idle()  # the animation has ended: the game waits for a key
            resize(term, 110, 30)
            shown = term.wait(game_screen_complete, "the game drawn again")
            self.assertTrue(shown.has(25, 22, "Remain Roll : 2"), shown.dump())
            # A resize that keeps the window large enough redraws the same screen.
            resize(term, 120, 32)
            resize(term, 110, 30)
            again = term.wait(game_screen_complete, "the game drawn again")
            self.assertEqual(rows(again), rows(shown))
            # The dice shown are the dice the game scores: Choice is their sum.
            faces = read_dice(shown, DICE_X, DICE_Y)
            self.assertTrue(shown.has(65, 17, "Choice"), shown.dump())
            self.assertEqual(int(shown.text(83, 17, 3)), sum(faces), shown.dump())


@unittest.skipUnless(have_tmux(), "tmux is not installed")
class LostTerminal(unittest.TestCase):
    def wait_gone(self, pid, timeout=DEFAULT_TIMEOUT):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            try:
                with open(f"/proc/{pid}/stat", encoding="ascii") as stat:
                    if stat.read().rsplit(")", 1)[1].split()[0] == "Z":
                        return
            except FileNotFoundError:
                return
            time.sleep(0.02)
        self.fail(f"the game is still running {timeout} s after its terminal went away")

    def test_closing_the_window_ends_the_game_without_saving(self):
        for where in ("game", "name prompt"):
            with self.subTest(where=where), Terminal(110, 30) as term:
                term.start()
                if where == "game":
                    start_game(term)
                    term.keys("Enter")
                else:
                    wait_title(term)
                    term.keys(*whole_game_keys())
                    term.wait_text(19, 25, PROMPT, timeout=30)
                    term.type("Half")
                    term.wait_text(19 + text_width(PROMPT), 25, "Half")
                pid = term.game_pid()
                term._tmux("kill-session", "-t", "game")
                self.wait_gone(pid)
                self.assertEqual(ranking(term), "")

    def test_a_terminal_that_goes_away_ends_the_run_at_once(self):
        for where in ("title", "game", "name prompt"):
            with self.subTest(where=where):
                game = pty_game(self)
                game.wait_for(b"SINGLE")
                game.wait_idle()
                if where != "title":
                    mark = game.mark()
                    game.send(b"\r")
                    game.wait_for(b"SINGLE MODE", since=mark)
                    game.send(b"\r")  # a roll
                    game.wait_idle()
                if where == "name prompt":
                    mark = game.mark()
                    for category in range(12):
                        keys = (b"\r" if category > 0 else b"") + b"\x1b[C"
                        game.send(keys + b"\x1b[B" * category + b"\r")
                    game.wait_for("이름 입력".encode(), since=mark)
                    game.send(b"Half")
                    game.wait_idle()
                status, stderr, elapsed = hang_up(self, game)
                print(f"terminal gone at the {where}: status {status} after {elapsed:.2f} s")
                self.assertEqual(status, 1, stderr)
                self.assertIn("the input ended", stderr)
                self.assertEqual(ranking(game), "")

    def test_malformed_input_neither_spins_nor_eats_the_next_key(self):
        garbage = (b"\xc3", b"\xff", b"\x80\x80\x80", b"\xe2\x82", b"\x1b[", b"\x1b[1;2",
                   b"\x1bO", b"\x1b", b"\x1b[200~", b"\x1b[<0;3;4M")
        game = pty_game(self)
        game.wait_for(b"SINGLE")
        game.wait_idle()
        for data in garbage:
            with self.subTest(data=data):
                game.send(data)
                # A game that spins on the input never waits for a key again.
                game.wait_idle()
                # Nor does it wake up now and then: its processor time over a window while it
                # waits, which no speed of the machine brings near the bound.
                before = cpu_seconds(game.process.pid)
                time.sleep(0.5)
                used = cpu_seconds(game.process.pid) - before
                self.assertLess(used, 0.1, "the game spins on this input")
                self.assertTrue(game.running())
        mark = game.mark()
        game.send(b"\r")
        game.wait_for(b"SINGLE MODE", since=mark)
        hang_up(self, game)


@unittest.skipUnless(have_tmux(), "tmux is not installed")
class SaveFaults(unittest.TestCase):
    """Faults that appear while a game is played, met when its result is saved."""

    def test_the_message_follows_the_restored_terminal(self):
        def file_becomes_folder(term):
            os.rename(term.ranking_path(), term.ranking_path() + ".kept")
            os.mkdir(term.ranking_path())
            return term.ranking_path(), "Is a directory"

        def folder_becomes_file(term):
            folder = os.path.dirname(term.ranking_path())
            os.rename(folder, folder + ".kept")
            with open(folder, "w", encoding="ascii") as f:
                f.write("in the way\n")
            # The save takes its lock first, so the lock file is what it cannot open.
            return os.path.join(folder, "Ranking.lock"), "Not a directory"

        old = "1\tAnn\t900\n2\tBob\t800\n"
        for make in (file_becomes_folder, folder_becomes_file):
            with self.subTest(make.__name__), Terminal(110, 30) as term:
                os.makedirs(os.path.dirname(term.ranking_path()))
                with open(term.ranking_path(), "w", encoding="utf-8") as f:
                    f.write(old)
                term.start(wrapped=True)
                wait_title(term)
                term.keys(*whole_game_keys())
                screen = term.wait_text(19, 25, PROMPT, timeout=30)
                total = int(screen.text(83, 25, 3))
                path, reason = make(term)
                term.type("Zed")
                term.keys("Enter")
                result = term.wait_wrapper()
                self.assertEqual(result.status, 1)
                self.assertEqual(result.stty_after, result.stty_before)
                self.assertTrue(term.cursor_visible())
                message = f"파일 연결 실패: {path}: {reason}"
                term.wait(lambda s: any(s.row(y).strip() == message for y in range(s.height)),
                          "the message on the terminal the game gave back")
                # The line after it gives the result that was lost.
                lost = f"jorvo-dice: the result was not saved: Zed {total}"
                term.wait(lambda s: any(s.row(y).strip() == message and
                                        s.row(y + 1).strip() == lost
                                        for y in range(s.height - 1)), "the result not saved")
                kept = [p for p in (term.ranking_path() + ".kept",
                                    os.path.join(os.path.dirname(term.ranking_path()) + ".kept",
                                                 "Ranking.txt")) if os.path.isfile(p)]
                self.assertEqual(len(kept), 1)
                with open(kept[0], encoding="utf-8") as f:
                    self.assertEqual(f.read(), old)


@unittest.skipUnless(have_tmux(), "tmux is not installed")
class Bursts(unittest.TestCase):
    def test_pasted_escape_sequences_are_keys_one_by_one(self):
        with Terminal(110, 30) as term:
            term.start()
            wait_title(term)
            # Right, Right, Left, Right as raw escape sequences in one paste.
            term._tmux("set-buffer", "-b", "keys", "\x1b[C\x1b[C\x1b[D\x1b[C")
            term._tmux("paste-buffer", "-b", "keys", "-t", "game")
            term.wait_text(65, 18, "-> RANKING")
            term._tmux("set-buffer", "-b", "keys", "\x1b[D\x1b[D\x1b[C")
            term._tmux("paste-buffer", "-b", "keys", "-t", "game")
            term.wait_text(54, 18, "-> MULTI")

    def test_a_whole_game_sent_in_one_burst(self):
        with Terminal(110, 30) as term:
            term.start(wrapped=True)
            wait_title(term)
            # Every key of the game, the name pasted, all at once: the rolls' animations run
            # while the keys after them wait.
            term.keys(*whole_game_keys(), "Left", "F1", "Escape")
            term._tmux("set-buffer", "-b", "name", "Zed")
            term._tmux("paste-buffer", "-b", "name", "-t", "game")
            term.keys("Enter")
            screen = term.wait_text(23, 27, "PRESS ENTER TO EXIT", timeout=30)
            for y in CATEGORY_ROWS:
                self.assertNotEqual(screen.text(83, y, 3).strip(), "", screen.dump())
            total = int(screen.text(83, 25, 3))
            self.assertTrue(screen.has(19, 25, PROMPT + "Zed"), screen.dump())
            term.keys("Enter")
            result = term.wait_wrapper()
            self.assertEqual(result.status, 0)
            self.assertEqual(result.stty_after, result.stty_before)
            self.assertEqual(ranking(term), f"1\tZed\t{total}\n")


if __name__ == "__main__":
    unittest.main()
