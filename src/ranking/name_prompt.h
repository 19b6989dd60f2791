// The name asked for at the end of a single-player game.
#pragma once

#include "ranking/ranking_file.h"

// Shows the prompt on row 25 and reads the name. False if the input ended first.
bool askName(char (&name)[NameBytes]);
// Shows the prompt on row 25 again, with the name typed after it.
void showNamePrompt(const char* name);

// Reads the name at (x, y): one word of printable characters, echoed as typed, in at most
// NameColumns columns; a name typed longer is cut at the last whole character that fits. False if
// the input ended first.
bool readName(char (&name)[NameBytes], int x, int y);
