// The POSIX terminal under the ncurses backend: its modes, the one way it is given back (signals
// included), the question of what it shows, its title, and whether its input has ended.
#pragma once

#include "console/probe.h"

#include <cstddef>

// Keeps the terminal's modes as they were found, to give them back; false where stdin is no
// terminal whose modes can be read.
bool saveTerminalModes();

// Writes every byte straight to the terminal, past the standard output's buffer.
void writeTerminal(const char* bytes, std::size_t size);

// Asks the terminal the probe's questions, reading its answers raw and without echo, with the
// signals that would end or stop the game held until the modes are back; erases what the
// questions drew. Keys typed meanwhile are in the reader's `typed`.
ProbeReader askTerminal(const ProbeStrings& strings);

// The bytes that leave the game's screen, from terminfo strings, written by a signal handler where
// ncurses cannot run; prepared in advance since nothing else may run there.
void prepareScreenRestore(const char* const* capabilities, int count);

// Sets the window's title: terminals of the xterm family (`type` starting with xterm) keep the
// title they had and get it back when the terminal is given back; others with a status line for
// it (terminfo's tsl and fsl, given here) get the title without a way back; others none.
void setTerminalTitle(const char* title, const char* type, const char* toStatusLine,
                      const char* fromStatusLine);

// Gives the terminal back as it was found: the old title, then what leaves the game's screen
// (`leaveScreen`, or in a signal handler the prepared bytes), then the answers the terminal may
// still owe the probe and every key typed ahead thrown away, so that none reaches the shell, and
// the modes as they were. Safe to call more than once.
void restoreTerminal(void (*leaveScreen)());

// Every signal that would end the process (or dump core) gives the terminal back first and then
// ends it as it would have; a signal the game was started with ignored stays ignored. A change of
// the window's size, and a resume after a suspend, are noted for terminalResized.
void installSignalHandlers();
void restoreSignalHandlers();
// Whether the window may have changed size since the last call.
bool terminalResized();

enum class InputWait { Ready, Interrupted, Ended };
// Waits without using the processor until input is waiting (Ready), a signal comes (Interrupted:
// a resize), or the input has ended for good (Ended: end of file, hang-up, the terminal gone).
InputWait waitForInput();

// Where the input ended because the terminal hung up (the window was closed) and that terminal is
// the game's controlling one, a hang-up signal is on its way: the game ends by it at once, the
// same way whichever of the two it noticed first. Otherwise returns.
void endIfHungUp();
