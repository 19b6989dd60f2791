"""What five dice are worth in each category, written out plainly to check the game against.

Categories, in sheet order: Aces .. Sixes (0-5), Choice (6), 4 of a Kind (7), Full House (8),
S. Straight (9), L. Straight (10), Jorvo (11).
"""

from collections import Counter

CATEGORY_COUNT = 12
UPPER = range(6)
BONUS_NEEDS = 63
BONUS = 35


def scores(dice):
    """The twelve candidate scores of five faces."""
    assert len(dice) == 5 and all(1 <= d <= 6 for d in dice), dice
    counts = sorted(Counter(dice).values())
    faces = set(dice)
    total = sum(dice)
    result = [face * dice.count(face) for face in range(1, 7)]
    result.append(total)                                                   # Choice
    result.append(total if counts[-1] >= 4 else 0)                         # 4 of a Kind
    result.append(total if counts in ([2, 3], [5]) else 0)                 # Full House
    small = any({s, s + 1, s + 2, s + 3} <= faces for s in (1, 2, 3))
    result.append(15 if small else 0)                                      # S. Straight
    large = faces in ({1, 2, 3, 4, 5}, {2, 3, 4, 5, 6})
    result.append(30 if large else 0)                                      # L. Straight
    result.append(50 if len(faces) == 1 else 0)                            # Jorvo
    return result


def totals(recorded):
    """(subtotal, total) of a sheet given as {category: recorded score}."""
    subtotal = sum(score for c, score in recorded.items() if c in UPPER)
    total = sum(recorded.values()) + (BONUS if subtotal >= BONUS_NEEDS else 0)
    return subtotal, total


def result_text(total_1p, total_2p):
    if total_1p > total_2p:
        return "1P WIN!"
    if total_1p < total_2p:
        return "2P WIN!"
    return "DRAW..."


def self_check():
    """The scorer checked on hand-worked cases, before the game is checked against it."""
    cases = {
        (1, 2, 3, 4, 5): [1, 2, 3, 4, 5, 0, 15, 0, 0, 15, 30, 0],
        (6, 6, 6, 6, 6): [0, 0, 0, 0, 0, 30, 30, 30, 30, 0, 0, 50],
        (2, 2, 5, 5, 5): [0, 4, 0, 0, 15, 0, 19, 0, 19, 0, 0, 0],
        (3, 3, 4, 4, 1): [1, 0, 6, 8, 0, 0, 15, 0, 0, 0, 0, 0],
        (1, 3, 4, 5, 6): [1, 0, 3, 4, 5, 6, 19, 0, 0, 15, 0, 0],
        (4, 4, 4, 4, 1): [1, 0, 0, 16, 0, 0, 17, 17, 0, 0, 0, 0],
        (1, 2, 3, 4, 4): [1, 2, 3, 8, 0, 0, 14, 0, 0, 15, 0, 0],
    }
    for dice, want in cases.items():
        assert scores(list(dice)) == want, (dice, scores(list(dice)), want)
    assert totals({c: 3 * (c + 1) for c in UPPER}) == (63, 98)
    assert totals({0: 2, 5: 30, 4: 25, 6: 20}) == (57, 77)
    assert result_text(10, 9) == "1P WIN!" and result_text(9, 10) == "2P WIN!"
    assert result_text(7, 7) == "DRAW..."


if __name__ == "__main__":
    self_check()
    print("rules: all cases hold")
