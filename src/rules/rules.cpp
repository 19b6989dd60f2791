#include "rules/rules.h"

namespace {

constexpr int SmallStraightPoints = 15;
constexpr int LargeStraightPoints = 30;
constexpr int JorvoPoints = 50;

int count(const Evaluation& e, int face) {
    return e.eyesCount[face - 1];
}

bool facesPresent(const Evaluation& e, int first, int last) {
    for (int face = first; face <= last; ++face) {
        if (count(e, face) == 0) {
            return false;
        }
    }
    return true;
}

bool hasFourOfAKind(const Evaluation& e) {
    for (int face = 1; face <= FaceCount; ++face) {
        if (count(e, face) >= 4) {
            return true;
        }
    }
    return false;
}

// Counts of 2, 3 and 5 add up to exactly 5 only for three-and-two or five of a kind; two pairs
// reach 4 and stop there.
bool hasFullHouse(const Evaluation& e) {
    int accumulated = 0;
    for (int face = 1; face <= FaceCount; ++face) {
        const int n = count(e, face);
        if (n == 2 || n == 3 || n == 5) {
            accumulated += n;
        }
        if (accumulated == 5) {
            return true;
        }
    }
    return false;
}

bool hasRun(const Evaluation& e, int length) {
    for (int start = 1; start + length - 1 <= FaceCount; ++start) {
        if (facesPresent(e, start, start + length - 1)) {
            return true;
        }
    }
    return false;
}

bool hasJorvo(const Evaluation& e) {
    for (int face = 1; face <= FaceCount; ++face) {
        if (count(e, face) == 5) {
            return true;
        }
    }
    return false;
}

} // namespace

Evaluation evaluateCategories(const Dice& eyes) {
    Evaluation e{};
    for (int face : eyes) {
        if (face >= 1 && face <= FaceCount) {
            ++e.eyesCount[face - 1];
            e.sum += face;
        }
    }
    for (int c = Aces; c <= Sixes; ++c) {
        e.scores[c] = (c + 1) * e.eyesCount[c];
    }
    e.scores[Choice] = e.sum;
    e.scores[FourOfAKind] = hasFourOfAKind(e) ? e.sum : 0;
    e.scores[FullHouse] = hasFullHouse(e) ? e.sum : 0;
    e.scores[SmallStraight] = hasRun(e, 4) ? SmallStraightPoints : 0;
    e.scores[LargeStraight] = hasRun(e, 5) ? LargeStraightPoints : 0;
    e.scores[Jorvo] = hasJorvo(e) ? JorvoPoints : 0;
    return e;
}

bool commitCategory(Sheet& playerScore, Sheet& playerSelected, int c, const Sheet& scores) {
    if (playerSelected[c] != 0) {
        return false;
    }
    playerSelected[c] = 1;
    playerScore[c] = scores[c];
    return true;
}

bool bonusGranted(int subtotal) {
    return subtotal >= BonusThreshold;
}

Totals computeTotals(const Sheets& playersScore) {
    Totals t{};
    for (int p = 0; p < PlayerCount; ++p) {
        for (int c = 0; c < CategoryCount; ++c) {
            if (c < UpperCount) {
                t.subtotal[p] += playersScore[p][c];
            }
            t.total[p] += playersScore[p][c];
        }
        if (bonusGranted(t.subtotal[p])) {
            t.total[p] += BonusPoints;
        }
    }
    return t;
}

const char* resultText(const Totals& totals) {
    if (totals.total[0] > totals.total[1]) {
        return "1P WIN!\n";
    }
    if (totals.total[0] < totals.total[1]) {
        return "2P WIN!\n";
    }
    return "DRAW...\n";
}
