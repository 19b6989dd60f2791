"""The Windows installer and the portable ZIP (scripts/package windows), used under wine as a
player uses them: the installer run silently, what it put where, the installed game started, and
the silent uninstall, after which nothing of the install is left but the player's ranking.

Environment: JORVO_INSTALLER and JORVO_ZIP the two packages, JORVO_VERSION the project's version,
WINEPREFIX a prefix of this test's own (its drive_c is compared before and after), WINE the wine
command (default "wine").
"""

import os
import re
import struct
import subprocess
import tempfile
import time
import unittest
import zipfile

import test_wine
from test_wine import FIRST_SCREEN_SECONDS, Screen, dice_screen

INSTALLER = os.environ.get("JORVO_INSTALLER", "")
ZIP = os.environ.get("JORVO_ZIP", "")
VERSION = os.environ.get("JORVO_VERSION", "")
PREFIX = os.environ.get("WINEPREFIX", "")
WINE = os.environ.get("WINE", "wine")
ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
READY = INSTALLER and ZIP and VERSION and PREFIX
NOT_READY = "JORVO_INSTALLER, JORVO_ZIP, JORVO_VERSION and WINEPREFIX must be set"

PUBLISHER = "The Jorvo Dice developers"
KEY = r"Software\Microsoft\Windows\CurrentVersion\Uninstall\JorvoDice"
INSTALLED = ["LICENSE.txt", "README.txt", "Uninstall.exe", "jorvo-dice.exe"]
PACKED = ["LICENSE.txt", "README.txt", "jorvo-dice.exe"]
WINE_SECONDS = 300  # for one wine command on a loaded machine, a first start included
WINE_ENV = dict(os.environ, WINEDEBUG="-all")
WINE_ENV.pop("JORVO_DATA_HOME", None)  # the game keeps its ranking in the real %APPDATA%


def wine(*args, timeout=WINE_SECONDS):
    return subprocess.run([WINE, *args], env=WINE_ENV, capture_output=True, timeout=timeout)


def wait_for_wine():
    """Waits until every program of the prefix has ended (the uninstaller goes on in a copy of
    itself after the one started has returned) and its wine server with them."""
    subprocess.run(["wineserver", "-w"], env=WINE_ENV, timeout=WINE_SECONDS, check=True)


def uninstaller_copies():
    """The uninstaller's copies of itself in %TEMP% still running in this prefix (wine shows a
    program's Windows command line as its process's)."""
    running = []
    prefix = f"WINEPREFIX={PREFIX}".encode()
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                command = f.read().decode("utf-8", "replace")
            with open(f"/proc/{pid}/environ", "rb") as f:
                environment = f.read().split(b"\0")
            with open(f"/proc/{pid}/stat") as f:
                state = f.read().rsplit(")", 1)[1].split()[0]
        except OSError:
            continue  # it ended meanwhile, or is another user's
        if (re.search(r"\\~nsu[^\\]*\.tmp\\Un\.exe", command) and prefix in environment
                and state != "Z"):
            running.append(pid)
    return running


def drive_c():
    return os.path.join(PREFIX, "drive_c")


def user():
    users = [u for u in os.listdir(os.path.join(drive_c(), "users")) if u != "Public"]
    if len(users) != 1:
        raise AssertionError(f"expected one user in the wine prefix, found {users}")
    return users[0]


def unix_path(windows_path):
    """C:\\a\\b as the file in the prefix."""
    assert windows_path[:3].upper() == "C:\\", windows_path
    return os.path.join(drive_c(), *windows_path[3:].split("\\"))


def file_tree():
    """Every file, folder and link under drive_c, relative to it (links are not followed)."""
    paths = set()
    for folder, folders, files in os.walk(drive_c()):
        for name in folders + files:
            paths.add(os.path.relpath(os.path.join(folder, name), drive_c()))
    return paths


def registry_text():
    """HKLM and HKCU exported as text, through wine's reg, into a folder outside drive_c."""
    text = ""
    with tempfile.TemporaryDirectory() as folder:
        for hive in ("HKLM", "HKCU"):
            out = os.path.join(folder, hive + ".reg")
            result = wine("reg", "export", hive, "Z:" + out.replace("/", "\\"), "/y")
            if result.returncode != 0:
                raise AssertionError(f"wine reg export {hive} failed: {result.stderr!r}")
            with open(out, "rb") as f:
                text += f.read().decode("utf-16")
    return text


def registry_values(hive):
    """The values of the game's Apps & features key in HKLM or HKCU, or None without the key."""
    result = wine("reg", "query", f"{hive}\\{KEY}")
    if result.returncode != 0:
        return None
    values = {}
    for line in result.stdout.decode("utf-8", "replace").splitlines():
        found = re.match(r"^\s+(\S+)\s+(REG_\w+)\s+(.*?)\s*$", line)
        if found:
            values[found.group(1)] = found.group(3)
    return values


def apps_listed():
    """What wine's own Apps & features (its uninstaller program) lists, one entry a line."""
    result = wine("uninstaller", "--list")
    return result.stdout.decode("utf-8", "replace").replace("\r", "").splitlines()


def read_shortcut(path):
    """The target, working folder, icon and window state of a .lnk file (Shell Link format)."""
    with open(path, "rb") as f:
        data = f.read()
    header_size, = struct.unpack_from("<I", data, 0)
    flags, = struct.unpack_from("<I", data, 20)
    icon_index, show = struct.unpack_from("<iI", data, 56)
    at = header_size
    if flags & 0x1:  # an item id list
        at += 2 + struct.unpack_from("<H", data, at)[0]
    target = None
    if flags & 0x2:  # link info, with the target's local path
        size, _, info_flags, _, local_path = struct.unpack_from("<IIIII", data, at)
        if info_flags & 0x1:
            end = data.index(b"\0", at + local_path)
            target = data[at + local_path:end].decode("latin-1")
        at += size
    strings = {}
    for bit, name in [(0x4, "description"), (0x8, "relative"), (0x10, "folder"),
                      (0x20, "arguments"), (0x40, "icon")]:
        if flags & bit:
            count, = struct.unpack_from("<H", data, at)
            width = 2 if flags & 0x80 else 1
            raw = data[at + 2:at + 2 + count * width]
            # Wine counts a closing NUL in the string, which the Shell Link format leaves out.
            strings[name] = raw.decode("utf-16-le" if width == 2 else "latin-1").split("\0")[0]
            at += 2 + count * width
    return dict(strings, target=target, icon_index=icon_index, show=show)


def windows_text(source, bom):
    with open(os.path.join(ROOT, source), "rb") as f:
        text = f.read().replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
    return (b"\xef\xbb\xbf" if bom else b"") + text


def pe_machine(path):
    """The machine field and the optional header's magic of a Windows program."""
    with open(path, "rb") as f:
        data = f.read(4096)
    pe, = struct.unpack_from("<I", data, 0x3C)
    if data[pe:pe + 4] != b"PE\0\0":
        raise AssertionError(f"{path} is no Windows program")
    machine, = struct.unpack_from("<H", data, pe + 4)
    magic, = struct.unpack_from("<H", data, pe + 24)
    return machine, magic


@unittest.skipUnless(READY, NOT_READY)
class Packages(unittest.TestCase):
    """The installer and the ZIP as they come out of scripts/package windows."""

    def test_the_installer_is_a_64_bit_windows_program(self):
        # 0x8664 is x86-64, 0x20b a PE32+ header: wine here runs nothing else.
        self.assertEqual(pe_machine(INSTALLER), (0x8664, 0x20B))
        self.assertEqual(os.path.basename(INSTALLER), f"jorvo-dice-{VERSION}-win64.exe")

    def test_the_zip_holds_the_game_and_its_texts_in_one_folder(self):
        folder = f"jorvo-dice-{VERSION}-win64"
        self.assertEqual(os.path.basename(ZIP), folder + ".zip")
        with zipfile.ZipFile(ZIP) as archive:
            self.assertEqual(sorted(n for n in archive.namelist() if not n.endswith("/")),
                             [f"{folder}/{name}" for name in PACKED])
            self.assertEqual(archive.read(f"{folder}/README.txt"), windows_text("README.md", True))
            self.assertEqual(archive.read(f"{folder}/LICENSE.txt"), windows_text("LICENSE", False))
            game = archive.read(f"{folder}/jorvo-dice.exe")
        # The game is the 64-bit build, stripped of its debugging sections.
        with tempfile.TemporaryDirectory() as unpacked:
            with zipfile.ZipFile(ZIP) as archive:
                archive.extractall(unpacked)
            exe = os.path.join(unpacked, folder, "jorvo-dice.exe")
            self.assertEqual(pe_machine(exe), (0x8664, 0x20B))
            self.assertNotIn(b".debug_info", game)
            # Portable: it runs from wherever it was unpacked.
            result = wine(exe, "--version")
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertEqual(result.stdout.decode(), f"jorvo-dice {VERSION}\r\n")

    def test_the_game_carries_its_version_and_the_dice_icon(self):
        with zipfile.ZipFile(ZIP) as archive:
            game = archive.read(f"jorvo-dice-{VERSION}-win64/jorvo-dice.exe")
        with tempfile.NamedTemporaryFile(suffix=".exe") as exe:
            exe.write(game)
            exe.flush()
            resources = subprocess.run(["x86_64-w64-mingw32-windres", "-i", exe.name, "-O", "rc"],
                                       capture_output=True, text=True, check=True).stdout
        strings = dict(re.findall(r'VALUE "(\w+)", "([^"]*)"', resources))
        major, minor, patch = VERSION.split(".")
        self.assertIn(f"FILEVERSION {major}, {minor}, {patch}, 0", resources)
        self.assertEqual(strings.get("ProductName"), "Jorvo Dice")
        self.assertEqual(strings.get("ProductVersion"), VERSION)
        self.assertEqual(strings.get("FileVersion"), VERSION)
        self.assertEqual(strings.get("CompanyName"), PUBLISHER)
        self.assertIn("dice game", strings.get("FileDescription", ""))
        self.assertEqual(strings.get("OriginalFilename"), "jorvo-dice.exe")

        # Every image of the committed icon is in the program as it is in the icon file.
        with open(os.path.join(ROOT, "cmake", "windows", "jorvo-dice.ico"), "rb") as f:
            icon = f.read()
        reserved, kind, count = struct.unpack_from("<HHH", icon, 0)
        self.assertEqual((reserved, kind), (0, 1))
        self.assertGreaterEqual(count, 4)
        self.assertIn(f"Has {count} elements", resources)
        for entry in range(count):
            side, _, _, _, _, bits, size, offset = struct.unpack_from("<BBBBHHII", icon,
                                                                      6 + 16 * entry)
            self.assertEqual(bits, 32)
            self.assertIn(icon[offset:offset + size], game, f"the {side or 256}-pixel image")


class InstallRound(test_wine.WineSession):
    """One install, as a player does it, and its uninstall. The game is started in tmux with the
    helpers of test_wine (capture, send, wait_for, ...)."""

    ARGS = []  # the installer's arguments besides /S

    def setUp(self):
        self.socket = None
        self.sockets = 0

    def tearDown(self):
        self.stop_game()

    def start_game(self, exe, folder):
        """The installed game started as its shortcut starts it: the installed file, in the
        install folder. Its exit status is echoed after it."""
        self.stop_game()
        self.sockets += 1
        self.socket = f"jorvo-installer-{os.getpid()}-{self.sockets}"
        env = dict(WINE_ENV, LC_ALL="C.UTF-8", TERM="xterm-256color")
        command = f"{WINE} '{exe}'; echo \"EXIT=$?\"; sleep 600"
        subprocess.run(["tmux", "-L", self.socket, "-f", "/dev/null", "new-session", "-d",
                        "-x", str(test_wine.WIDTH), "-y", str(test_wine.HEIGHT), "-s", "game",
                        "-c", folder, command], env=env, check=True)
        self.panes = test_wine.Panes(self.socket)

    def stop_game(self):
        if self.socket:
            # Ends the game and waits for its wine processes, so that none outlives the round.
            self.panes.kill(["game"])
            self.socket = None

    def wait_for_title(self):
        rows = self.wait_row(18, "-> SINGLE", FIRST_SCREEN_SECONDS)
        expected = dice_screen(35, 10, [1, 2, 3, 4, 5], Screen().put(54, 8, "Jorvo  Dice"))
        expected.put(40, 18, "  -> SINGLE      MULTI      RANKING")
        for y, (seen, wanted) in enumerate(zip(rows, expected.rows())):
            self.assertEqual(seen, wanted, f"title screen row {y}")

    def ranking_folder(self):
        return os.path.join(drive_c(), "users", user(), "AppData", "Roaming", "JorvoDice")

    def install(self):
        result = wine(INSTALLER, "/S", *self.ARGS)
        self.assertEqual(result.returncode, 0, f"the installer failed: {result.stderr!r}")

    def check_install(self, folder, start_menu, hive, tree_before):
        """What the installer put where, and nothing else; returns the uninstall command."""
        windows_folder = folder
        folder = unix_path(folder)
        self.assertEqual(sorted(os.listdir(folder)), INSTALLED)
        with zipfile.ZipFile(ZIP) as archive:
            for name in PACKED:
                with open(os.path.join(folder, name), "rb") as f:
                    self.assertEqual(f.read(), archive.read(f"jorvo-dice-{VERSION}-win64/{name}"),
                                     f"{name} is the ZIP's")
        self.assertEqual(pe_machine(os.path.join(folder, "Uninstall.exe")), (0x8664, 0x20B))

        shortcut_file = os.path.join(unix_path(start_menu), "Jorvo Dice.lnk")
        shortcut = read_shortcut(shortcut_file)
        game = windows_folder + "\\jorvo-dice.exe"
        self.assertEqual(shortcut["target"], game)
        self.assertEqual(shortcut["folder"], windows_folder)
        self.assertEqual((shortcut["icon"], shortcut["icon_index"]), (game, 0))
        self.assertEqual(shortcut["show"], 1, "a normal window")
        self.assertEqual(shortcut.get("arguments", ""), "")

        # Exactly these, and nothing else anywhere on the drive.
        relative = os.path.relpath(folder, drive_c())
        made = {relative} | {os.path.join(relative, name) for name in INSTALLED}
        made.add(os.path.relpath(shortcut_file, drive_c()))
        self.assertEqual(file_tree() - tree_before, made)
        self.assertEqual(tree_before - file_tree(), set())

        values = registry_values(hive)
        self.assertIsNotNone(values, f"no key {hive}\\{KEY}")
        uninstaller = f'"{windows_folder}\\Uninstall.exe"'
        size = values.pop("EstimatedSize", "0x0")
        self.assertEqual(values, {
            "DisplayName": "Jorvo Dice", "DisplayVersion": VERSION, "Publisher": PUBLISHER,
            "DisplayIcon": game + ",0", "InstallLocation": windows_folder,
            "UninstallString": uninstaller, "QuietUninstallString": uninstaller + " /S",
            "NoModify": "0x1", "NoRepair": "0x1",
            "VersionMajor": hex(int(VERSION.split(".")[0])),
            "VersionMinor": hex(int(VERSION.split(".")[1]))})
        kilobytes = sum(os.path.getsize(os.path.join(folder, n)) for n in INSTALLED) / 1024
        self.assertLessEqual(abs(int(size, 16) - kilobytes), len(INSTALLED), "EstimatedSize")
        # The export that must name the game nowhere once it is uninstalled finds the key now.
        long_hive = {"HKLM": "HKEY_LOCAL_MACHINE", "HKCU": "HKEY_CURRENT_USER"}[hive]
        self.assertIn(f"[{long_hive}\\{KEY}]", registry_text())
        other = "HKCU" if hive == "HKLM" else "HKLM"
        self.assertIsNone(registry_values(other), f"a key in {other} too")
        self.assertIn("JorvoDice|||Jorvo Dice", apps_listed())

        # The installed game answers as the build does.
        result = wine(game, "--version")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout.decode(), f"jorvo-dice {VERSION}\r\n")
        return values["QuietUninstallString"]

    def run_uninstaller(self, command):
        """Runs the quiet uninstall as Apps & features does. It returns at once, leaving the work
        to a copy of itself."""
        found = re.fullmatch(r'"([^"]+)" (/S)', command)
        self.assertIsNotNone(found, command)
        result = wine(found.group(1), found.group(2))
        self.assertEqual(result.returncode, 0, f"the uninstaller failed: {result.stderr!r}")

    def uninstall_while_the_game_runs(self, command, folder, start_menu, hive):
        """The uninstall refused, changing nothing, while the game it would delete runs."""
        self.run_uninstaller(command)
        deadline = time.monotonic() + WINE_SECONDS
        while uninstaller_copies():
            self.assertLess(time.monotonic(), deadline, "the uninstaller did not end")
            time.sleep(0.2)
        self.assertEqual(sorted(os.listdir(unix_path(folder))), INSTALLED)
        self.assertTrue(os.path.exists(os.path.join(unix_path(start_menu), "Jorvo Dice.lnk")))
        self.assertIsNotNone(registry_values(hive), f"{hive}\\{KEY} is gone")
        self.assertIn("JorvoDice|||Jorvo Dice", apps_listed())

    def uninstall(self, command, folder, start_menu, hive):
        """Runs the quiet uninstall, and checks the install is gone."""
        self.stop_game()
        self.run_uninstaller(command)
        wait_for_wine()
        self.assertFalse(os.path.lexists(unix_path(folder)), "the install folder is left")
        self.assertFalse(os.path.lexists(os.path.join(unix_path(start_menu), "Jorvo Dice.lnk")),
                         "the shortcut is left")
        self.assertIsNone(registry_values(hive), f"{hive}\\{KEY} is left")
        self.assertNotIn("JorvoDice|||Jorvo Dice", apps_listed())

    def restart_and_compare(self, tree_before):
        """After a restart (which takes the uninstaller's copy in %TEMP%), the drive holds what it
        held before the install and the ranking's folder; the registry names no Jorvo Dice."""
        result = wine("wineboot", "--restart")
        self.assertEqual(result.returncode, 0, result.stderr)
        wait_for_wine()
        ranking = os.path.relpath(self.ranking_folder(), drive_c())
        after = file_tree()
        self.assertEqual({p for p in after - tree_before
                          if p != ranking and not p.startswith(ranking + os.sep)}, set(),
                         "left by the install")
        self.assertEqual(tree_before - after, set(), "removed by the uninstall")
        self.assertNotIn("jorvo", registry_text().lower())


@unittest.skipUnless(READY, NOT_READY)
class InstallForAllUsers(InstallRound, unittest.TestCase):
    """An administrator's install, which wine's user is: Program Files and HKLM."""

    def test_install_a_game_to_the_ranking_and_uninstall_keeping_it(self):
        # The installed game makes the ranking: there is none before.
        subprocess.run(["rm", "-rf", self.ranking_folder()], check=True)
        self.assertNotIn("jorvo", registry_text().lower())
        before = file_tree()

        self.install()
        folder = r"C:\Program Files\Jorvo Dice"
        start_menu = r"C:\ProgramData\Microsoft\Windows\Start Menu\Programs"
        command = self.check_install(folder, start_menu, "HKLM", before)

        # A whole single-player game with the installed game, to a place in the ranking.
        self.start_game(folder + r"\jorvo-dice.exe", unix_path(folder))
        self.wait_for_title()
        # Meanwhile the game's file cannot be deleted: the uninstall stops and says so.
        self.uninstall_while_the_game_runs(command, folder, start_menu, "HKLM")
        self.assertEqual(self.capture()[18], self.menu_line("SINGLE"), "the game went on")
        rows = self.play_to_name_prompt()
        total = int(re.search(r"Total\s+(\d+)", rows[25]).group(1))
        self.send("Inst", literal=True)
        self.send("Enter")
        self.wait_row(27, "PRESS ENTER TO EXIT")
        self.send("Enter")
        self.assertEqual(self.exit_status(), 0)
        ranking_file = os.path.join(self.ranking_folder(), "Ranking.txt")
        with open(ranking_file, "rb") as f:
            ranking = f.read()
        self.assertEqual(ranking, f"1\tInst\t{total}\n".encode())

        self.uninstall(command, folder, start_menu, "HKLM")
        self.assertTrue(os.path.exists(ranking_file), "the uninstall removed the ranking")
        with open(ranking_file, "rb") as f:
            self.assertEqual(f.read(), ranking, "the ranking changed")
        self.restart_and_compare(before)
        with open(ranking_file, "rb") as f:
            self.assertEqual(f.read(), ranking, "the ranking changed at the restart")


@unittest.skipUnless(READY, NOT_READY)
class InstallForTheUserAlone(InstallRound, unittest.TestCase):
    """The install of a user who is not an administrator (or chose it): the user's own programs
    folder and HKCU, here chosen with /CurrentUser since wine's user is an administrator."""

    ARGS = ["/CurrentUser"]
    RANKING = "1\tAnn\t250\n2\tBo\t180\n"

    def test_install_over_a_players_ranking_and_uninstall_keeping_it(self):
        # A player's ranking from before, which the installed game shows and the uninstall keeps.
        os.makedirs(self.ranking_folder(), exist_ok=True)
        ranking_file = os.path.join(self.ranking_folder(), "Ranking.txt")
        with open(ranking_file, "w", encoding="utf-8", newline="") as f:
            f.write(self.RANKING)
        # Windows has the user's programs folder; wine makes it only when it is first asked for.
        programs = os.path.join(drive_c(), "users", user(), "AppData", "Local", "Programs")
        os.makedirs(programs, exist_ok=True)
        before = file_tree()

        self.install()
        folder = rf"C:\users\{user()}\AppData\Local\Programs\Jorvo Dice"
        start_menu = rf"C:\users\{user()}\AppData\Roaming\Microsoft\Windows\Start Menu\Programs"
        command = self.check_install(folder, start_menu, "HKCU", before)

        self.start_game(folder + r"\jorvo-dice.exe", unix_path(folder))
        self.wait_for_title()
        self.send("Right", "Right", "Enter")
        rows = self.wait_row(25, "PRESS ENTER TO RETURN")
        screen = "\n".join(rows)
        self.assertRegex(screen, r"1\s+Ann\s+250")
        self.assertRegex(screen, r"2\s+Bo\s+180")
        self.send("Enter")
        self.wait_row(18, "-> SINGLE")
        self.send("C-c")
        self.assertNotEqual(self.exit_status(), 0)

        self.uninstall(command, folder, start_menu, "HKCU")
        self.assertTrue(os.path.exists(ranking_file), "the uninstall removed the ranking")
        self.restart_and_compare(before)
        with open(ranking_file, encoding="utf-8", newline="") as f:
            self.assertEqual(f.read(), self.RANKING, "the ranking changed")


if __name__ == "__main__":
    unittest.main()
