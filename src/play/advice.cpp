#include "play/advice.h"

#include "play/game_screen.h"

#include <cstdio>

bool computerOnTurn(const Assist& assist, const GameState& state, Mode mode) {
    return assist.computer && mode == ModeMulti && state.player == 1 && state.turn <= TurnCount;
}

Position positionOf(const GameState& state, int player) {
    return Position{state.playersScore[player], state.selected[player], state.eyes,
                    state.remainRoll};
}

Analysis adviseTurn(const Assist& assist, const GameState& state, Mode mode, const Totals& totals) {
    if (assist.table == nullptr || state.turn > TurnCount) {
        Analysis none{};
        none.valid = false;
        none.best = -1;
        return none;
    }
    const Position position = positionOf(state, state.player);
    if (computerOnTurn(assist, state, mode) && state.turn == TurnCount &&
        assist.level == PerfectLevel) {
        // 1P has played all twelve turns: its total is final, and only winning counts. A lower
        // level plays its last turn for points, as it plays every other.
        return analyseLastTurnToWin(position, totals.total[0]);
    }
    return analysePosition(*assist.table, position);
}

void describeAction(const Action& action, char* out, std::size_t size) {
    if (action.kind == ActionRecord) {
        std::snprintf(out, size, "record %s", categoryLabel(action.category));
        return;
    }
    char held[16] = "";
    int used = 0;
    int count = 0;
    for (int face = 1; face <= FaceCount; ++face) {
        for (int n = 0; n < action.hold[face - 1]; ++n) {
            used += std::snprintf(held + used, sizeof held - static_cast<std::size_t>(used),
                                  count == 0 ? "%d" : " %d", face);
            ++count;
        }
    }
    if (count == 0) {
        std::snprintf(out, size, "roll all five");
    } else if (count == DiceCount) {
        std::snprintf(out, size, "keep all five, roll");
    } else {
        std::snprintf(out, size, "keep %s, roll", held);
    }
}
