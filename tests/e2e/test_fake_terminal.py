"""The test terminal itself (fake_terminal.py), played by small programs of this file's own in place
of the game: it answers questions asked all at once, in order and as its kind of terminal would;
it delays answers by its latency; it tells when a program waits for a key, and only then; and its
terminal need not be the controlling one.
"""

import sys
import textwrap
import unittest

from fake_terminal import (AMBIGUOUS_WIDE, CURSOR_POSITION_QUESTION, LATIN1,
                           PRIMARY_ATTRIBUTES_QUESTIONS, SECONDARY_ATTRIBUTES_QUESTIONS, SILENT,
                           UTF8_NARROW, FakeTerminal)

# What every program starts with: the terminal in raw mode, as the game sets it, and helpers.
PRELUDE = """
import os, re, select, sys, time, tty
tty.setraw(0)
PRIMARY_ANSWER = re.compile(rb"\x1b\[\?[0-9;]*c")
def out(data):
    os.write(1, data)
def wait_for_key():
    poller = select.poll()
    poller.register(0, select.POLLIN)
    poller.poll()
# Reads the terminal until done(what was read) holds, or `limit` seconds pass in silence.
def read_until(done, limit):
    got = b""
    while not done(got):
        if not select.select([0], [], [], limit)[0]:
            break
        got += os.read(0, 100)
    return got
"""

# Every question of the game's probe in one write, Primary Device Attributes last: the cent sign
# (one column where UTF-8 is decoded), a heavy vertical line (ambiguous width) and the secondary
# attributes.
ALL_QUESTIONS = (b"\r\xc2\xa2\x1b[6n" + b"\xe2\x94\x83\x1b[6n" + b"\x1b[>c" + b"\x1b[c")


def program(body):
    """The command line of a Python program made of PRELUDE and `body`."""
    return [sys.executable, "-c", PRELUDE + textwrap.dedent(body)]


class Answers(unittest.TestCase):
    def ask_all(self, kind, latency=0.0):
        """Runs a program that asks ALL_QUESTIONS at once and shows what came back; returns the
        terminal and the answers."""
        fake = FakeTerminal(kind, latency=latency)
        self.addCleanup(fake.close)
        fake.start(argv=program(f"""
            out({ALL_QUESTIONS!r})
            answers = read_until(PRIMARY_ANSWER.search, 30.0 if {kind.answers} else 0.5)
            out(b"ANSWERS " + answers.hex().encode() + b" END")
        """))
        fake.wait_for(b" END")
        self.assertEqual(fake.wait_exit(), 0)
        shown = fake.output()
        answers = bytes.fromhex(shown[shown.index(b"ANSWERS ") + 8:-4].decode())
        return fake, answers

    def test_questions_asked_at_once_are_answered_in_order(self):
        # The column after the cent sign, then after the line character, as each kind counts.
        columns = ((UTF8_NARROW, 2, 3), (AMBIGUOUS_WIDE, 2, 4), (LATIN1, 3, 4))
        for kind, after_cent, after_line in columns:
            with self.subTest(kind.name):
                fake, answers = self.ask_all(kind)
                self.assertEqual(answers, f"\x1b[1;{after_cent}R\x1b[1;{after_line}R".encode()
                                 + b"\x1b[>0;0;0c\x1b[?62;22c")
                self.assertEqual(fake.reports, 2)
                self.assertEqual(fake.asked(SECONDARY_ATTRIBUTES_QUESTIONS[0]), 1)
                self.assertEqual(fake.asked(PRIMARY_ATTRIBUTES_QUESTIONS[0]), 1)
                self.assertEqual(fake.answered, 4)

    def test_a_silent_terminal_answers_nothing(self):
        fake, answers = self.ask_all(SILENT)
        self.assertEqual(answers, b"")
        self.assertEqual(fake.asked(CURSOR_POSITION_QUESTION), 2)
        self.assertEqual(fake.asked(PRIMARY_ATTRIBUTES_QUESTIONS[0]), 1)
        self.assertEqual(fake.answered, 0)

    def test_a_slow_link_answers_late_in_the_same_order(self):
        latency = 0.2
        fake = FakeTerminal(UTF8_NARROW, latency=latency)
        self.addCleanup(fake.close)
        fake.start(argv=program("""
            asked = time.monotonic()
            out(b"\\x1b[6n")
            out(b"ab\\x1b[6n\\x1b[c")
            answers = read_until(PRIMARY_ANSWER.search, 30.0)
            waited = time.monotonic() - asked
            out(b"ANSWERS " + answers.hex().encode() + f" WAITED {waited:.3f} END".encode())
        """))
        fake.wait_for(b" END")
        shown = fake.output().decode()
        answers = bytes.fromhex(shown.split("ANSWERS ")[1].split()[0])
        self.assertEqual(answers, b"\x1b[1;1R\x1b[1;3R\x1b[?62;22c")
        # A lower bound only: a loaded machine can make the answers later, never sooner.
        self.assertGreaterEqual(float(shown.split("WAITED ")[1].split()[0]), latency)

    def test_keys_split_by_pauses_arrive_whole_and_in_order(self):
        fake = FakeTerminal(UTF8_NARROW)
        self.addCleanup(fake.close)
        fake.start(argv=program("""
            out(b"READY")
            keys = read_until(lambda got: got.endswith(b"D"), 30.0)
            out(b"KEYS " + keys.hex().encode() + b" END")
        """))
        fake.wait_for(b"READY")
        fake.send_split([b"\x1b", b"[", b"D"], gap=0.05)
        fake.wait_for(b" END")
        shown = fake.output().decode()
        self.assertEqual(bytes.fromhex(shown.split("KEYS ")[1].split()[0]), b"\x1b[D")


# A program that answers every key it reads with a line, then waits for the next one.
ECHO_KEYS = """
    out(b"READY")
    while True:
        wait_for_key()
        data = os.read(0, 100)
        if data == b"q":
            sys.exit(0)
        time.sleep(0.001)  # some work before the answer, as the game draws
        out(b"got " + data + b";")
"""


class Idle(unittest.TestCase):
    def start(self, body, **options):
        fake = FakeTerminal(UTF8_NARROW)
        self.addCleanup(fake.close)
        fake.start(argv=program(body), **options)
        return fake

    def test_idle_only_once_the_key_is_answered(self):
        fake = self.start(ECHO_KEYS)
        fake.wait_for(b"READY")
        fake.wait_idle()
        for i in range(100):
            key = bytes([ord("a") + i % 16])  # a to p: q ends the program
            fake.send(key)
            # Idle would be claimed too early if the key, or the line written for it, were
            # still on its way in the kernel.
            fake.wait_idle()
            self.assertTrue(fake.output().endswith(b"got " + key + b";"), fake.output()[-40:])
        fake.send(b"q")
        self.assertEqual(fake.wait_exit(), 0)

    def test_a_wait_with_a_time_limit_is_not_idle(self):
        fake = self.start("""
            select.select([0], [], [], 0.3)
            out(b"LIMIT PASSED")
            wait_for_key()
        """)
        fake.wait_idle()
        self.assertIn(b"LIMIT PASSED", fake.output())

    def test_the_byte_log_keeps_every_read_with_its_time(self):
        fake = self.start(ECHO_KEYS)
        fake.wait_for(b"READY")
        mark = fake.mark()
        for key in (b"x", b"y"):
            fake.send(key)
            fake.wait_idle()
        reads = fake.reads(mark)
        self.assertEqual(b"".join(data for _, data in reads), b"got x;got y;")
        self.assertEqual(fake.output(mark), b"got x;got y;")
        times = [when for when, _ in fake.reads()]
        self.assertEqual(times, sorted(times))
        self.assertGreaterEqual(times[0], fake.started)


class NotTheControllingTerminal(unittest.TestCase):
    SHOW_TERMINAL = """
        try:
            os.close(os.open("/dev/tty", os.O_RDWR))
            out(b"CONTROLLING ")
        except OSError:
            out(b"NOT CONTROLLING ")
        out(b"READY")
        wait_for_key()
        try:
            data = os.read(0, 100)
        except OSError:  # EIO: the terminal has gone
            data = b""
        sys.stderr.write("input ended" if not data else "a key")
        sys.exit(3)
    """

    def test_a_hang_up_is_seen_only_in_the_input(self):
        for controlling in (True, False):
            with self.subTest(controlling=controlling), FakeTerminal() as fake:
                fake.start(argv=program(self.SHOW_TERMINAL), controlling=controlling,
                           capture_stderr=True)
                fake.wait_for(b"READY")
                self.assertEqual(b"NOT" not in fake.output(), controlling)
                if controlling:
                    fake.send(b"k")
                    self.assertEqual(fake.wait_exit(), 3)
                    self.assertEqual(fake.stderr_text(), "a key")
                else:
                    fake.wait_idle()
                    fake.hang_up()
                    self.assertEqual(fake.wait_exit(), 3)
                    self.assertEqual(fake.stderr_text(), "input ended")


if __name__ == "__main__":
    unittest.main()
