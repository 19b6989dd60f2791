// The name asked for at the end of a single-player game.
#pragma once

#include "ranking/ranking_file.h"

// Shows the prompt on row 25 and reads the name. False if the input ended first.
bool askName(char (&name)[NameBytes]);

// Reads the name at (x, y): one word of at most NameCharacters printable characters, echoed as
// typed. False if the input ended first.
bool readName(char (&name)[NameBytes], int x, int y);
