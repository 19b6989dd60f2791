// The ranking screen, shown from the title menu.
#pragma once

#include "ranking/ranking_file.h"

// Lists the table, its places numbered 1 to 10 in its order, until Enter or Space; returns with the
// screen cleared. False if the input ended.
bool showRanking(const RankTable& r);
