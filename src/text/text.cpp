#include "text/text.h"

#include <cstring>

namespace {

constexpr char32_t Replacement = 0xFFFD;

struct Range {
    char32_t first;
    char32_t last;
};

// East Asian Wide (W) and Fullwidth (F) blocks that a terminal shows two columns wide.
constexpr Range WideRanges[] = {
    {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x23E9, 0x23EC},
    {0x23F0, 0x23F0},   {0x23F3, 0x23F3},   {0x25FD, 0x25FE},   {0x2614, 0x2615},
    {0x2648, 0x2653},   {0x267F, 0x267F},   {0x2693, 0x2693},   {0x26A1, 0x26A1},
    {0x26AA, 0x26AB},   {0x26BD, 0x26BE},   {0x26C4, 0x26C5},   {0x26CE, 0x26CE},
    {0x26D4, 0x26D4},   {0x26EA, 0x26EA},   {0x26F2, 0x26F3},   {0x26F5, 0x26F5},
    {0x26FA, 0x26FA},   {0x26FD, 0x26FD},   {0x2705, 0x2705},   {0x270A, 0x270B},
    {0x2728, 0x2728},   {0x274C, 0x274C},   {0x274E, 0x274E},   {0x2753, 0x2755},
    {0x2757, 0x2757},   {0x2795, 0x2797},   {0x27B0, 0x27B0},   {0x27BF, 0x27BF},
    {0x2B1B, 0x2B1C},   {0x2B50, 0x2B50},   {0x2B55, 0x2B55},   {0x2E80, 0x303E},
    {0x3041, 0x33FF},   {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},
    {0xA960, 0xA97F},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE10, 0xFE19},
    {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},   {0x16FE0, 0x16FE4},
    {0x17000, 0x18CFF}, {0x1B000, 0x1B2FF}, {0x1F004, 0x1F004}, {0x1F0CF, 0x1F0CF},
    {0x1F18E, 0x1F18E}, {0x1F191, 0x1F19A}, {0x1F200, 0x1F251}, {0x1F300, 0x1F64F},
    {0x1F680, 0x1F6FF}, {0x1F7E0, 0x1F7EB}, {0x1F90C, 0x1F9FF}, {0x1FA70, 0x1FAFF},
    {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
};

// Combining marks and other characters that take no column of their own.
constexpr Range ZeroWidthRanges[] = {
    {0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x0610, 0x061A}, {0x064B, 0x065F},
    {0x0E31, 0x0E31}, {0x0E34, 0x0E3A}, {0x0E47, 0x0E4E}, {0x1160, 0x11FF}, {0x1AB0, 0x1AFF},
    {0x1DC0, 0x1DFF}, {0x200B, 0x200F}, {0x2028, 0x202E}, {0x2060, 0x206F}, {0x20D0, 0x20FF},
    {0xD7B0, 0xD7FF}, {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F}, {0xFEFF, 0xFEFF}, {0xE0000, 0xE0FFF},
};

template <std::size_t N> bool inRanges(const Range (&ranges)[N], char32_t c) {
    for (const Range& range : ranges) {
        if (c < range.first) {
            return false;
        }
        if (c <= range.last) {
            return true;
        }
    }
    return false;
}

bool isContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

} // namespace

int decodeUtf8(const char* s, std::size_t size, char32_t* codePoint) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(s);
    if (size == 0) {
        *codePoint = Replacement;
        return 0;
    }
    const unsigned char lead = bytes[0];
    int length = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        *codePoint = lead;
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2;
        value = lead & 0x1F;
        minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        value = lead & 0x0F;
        minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        value = lead & 0x07;
        minimum = 0x10000;
    } else {
        *codePoint = Replacement;
        return 1;
    }
    if (size < static_cast<std::size_t>(length)) {
        *codePoint = Replacement;
        return 1;
    }
    for (int i = 1; i < length; ++i) {
        if (!isContinuation(bytes[i])) {
            *codePoint = Replacement;
            return 1;
        }
        value = (value << 6) | (bytes[i] & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        *codePoint = Replacement;
        return 1;
    }
    *codePoint = value;
    return length;
}

int encodeUtf8(char32_t c, char* out) {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        c = Replacement;
    }
    if (c < 0x80) {
        out[0] = static_cast<char>(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = static_cast<char>(0xC0 | (c >> 6));
        out[1] = static_cast<char>(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (c >> 12));
        out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (c >> 18));
    out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (c & 0x3F));
    return 4;
}

int displayWidth(char32_t c) {
    if (c < 0x20 || (c >= 0x7F && c < 0xA0)) {
        return 0;
    }
    if (c < 0x300) {
        return 1;
    }
    if (inRanges(ZeroWidthRanges, c)) {
        return 0;
    }
    return inRanges(WideRanges, c) ? 2 : 1;
}

int textWidth(const char* s) {
    std::size_t size = std::strlen(s);
    int width = 0;
    while (size > 0) {
        char32_t c = 0;
        const int used = decodeUtf8(s, size, &c);
        width += displayWidth(c);
        s += used;
        size -= static_cast<std::size_t>(used);
    }
    return width;
}

bool isNameCharacter(char32_t c) {
    if (c == Replacement || c == 0x3000 || c == 0x00A0 || (c >= 0xE000 && c <= 0xF8FF)) {
        return false;
    }
    return c > 0x20 && displayWidth(c) > 0;
}
