#include "database/TextFold.h"

namespace korvalt {

Decoded decodeUtf8(std::string_view s, std::size_t i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        return {b0, 1};
    }
    std::size_t need = 0;
    char32_t cp = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        need = 1;
        cp = b0 & 0x1Fu;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        need = 2;
        cp = b0 & 0x0Fu;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        need = 3;
        cp = b0 & 0x07u;
    } else {
        return {kInvalidBase + b0, 1};
    }
    if (i + need >= s.size()) {
        return {kInvalidBase + b0, 1};
    }
    for (std::size_t k = 1; k <= need; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0u) != 0x80u) {
            return {kInvalidBase + b0, 1};
        }
        cp = (cp << 6) | (b & 0x3Fu);
    }
    const bool overlong = (need == 2 && cp < 0x800) || (need == 3 && cp < 0x10000);
    if (overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return {kInvalidBase + b0, 1};
    }
    return {cp, need + 1};
}

void encodeUtf8(char32_t cp, std::string& out) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool asciiFoldsTo(std::string_view name, std::string_view folded) {
    if (name.size() != folded.size())
        return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        char c = name[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + ('a' - 'A'));
        if (c != folded[i])
            return false;
    }
    return true;
}

namespace {

// Blocks where capital and small letters alternate: capital at the even (or,
// with oddUpper, the odd) code point, its small letter right after it.
bool pairedUpper(char32_t c, char32_t low, char32_t high, bool oddUpper) {
    return inRange(c, low, high) && ((c & 1u) == (oddUpper ? 1u : 0u));
}

} // namespace

// Simple case folding (capital -> small) for the scripts a pipe database is
// likely to hold. Code points outside these blocks fold to themselves.
char32_t foldCodePoint(char32_t c) {
    if (c < 0x80) {
        return inRange(c, 'A', 'Z') ? c + 32 : c;
    }
    if (c < 0x100) {
        if (c == 0xB5) {
            return 0x3BC;
        }
        return (inRange(c, 0xC0, 0xDE) && c != 0xD7) ? c + 32 : c;
    }
    if (c < 0x250) {
        if (pairedUpper(c, 0x100, 0x12F, false) || pairedUpper(c, 0x132, 0x137, false) ||
            pairedUpper(c, 0x139, 0x148, true) || pairedUpper(c, 0x14A, 0x177, false) ||
            pairedUpper(c, 0x179, 0x17E, true) || pairedUpper(c, 0x182, 0x185, false) ||
            pairedUpper(c, 0x1A0, 0x1A5, false) || pairedUpper(c, 0x1CD, 0x1DC, true) ||
            pairedUpper(c, 0x1DE, 0x1EF, false) || pairedUpper(c, 0x1F8, 0x21F, false) ||
            pairedUpper(c, 0x222, 0x233, false) || pairedUpper(c, 0x246, 0x24F, false)) {
            return c + 1;
        }
        switch (c) {
        case 0x178:
            return 0xFF;
        case 0x17F:
            return 's';
        case 0x181:
            return 0x253;
        case 0x186:
            return 0x254;
        case 0x187:
            return 0x188;
        case 0x189:
            return 0x256;
        case 0x18A:
            return 0x257;
        case 0x18B:
            return 0x18C;
        case 0x18E:
            return 0x1DD;
        case 0x18F:
            return 0x259;
        case 0x190:
            return 0x25B;
        case 0x191:
            return 0x192;
        case 0x193:
            return 0x260;
        case 0x194:
            return 0x263;
        case 0x196:
            return 0x269;
        case 0x197:
            return 0x268;
        case 0x198:
            return 0x199;
        case 0x19C:
            return 0x26F;
        case 0x19D:
            return 0x272;
        case 0x19F:
            return 0x275;
        case 0x1A7:
            return 0x1A8;
        case 0x1A9:
            return 0x283;
        case 0x1AC:
            return 0x1AD;
        case 0x1AE:
            return 0x288;
        case 0x1AF:
            return 0x1B0;
        case 0x1B1:
            return 0x28A;
        case 0x1B2:
            return 0x28B;
        case 0x1B3:
            return 0x1B4;
        case 0x1B5:
            return 0x1B6;
        case 0x1B7:
            return 0x292;
        case 0x1B8:
            return 0x1B9;
        case 0x1BC:
            return 0x1BD;
        case 0x1C4:
        case 0x1C5:
            return 0x1C6;
        case 0x1C7:
        case 0x1C8:
            return 0x1C9;
        case 0x1CA:
        case 0x1CB:
            return 0x1CC;
        case 0x1F1:
        case 0x1F2:
            return 0x1F3;
        case 0x1F4:
            return 0x1F5;
        case 0x1F6:
            return 0x195;
        case 0x1F7:
            return 0x1BF;
        case 0x220:
            return 0x19E;
        case 0x23A:
            return 0x2C65;
        case 0x23B:
            return 0x23C;
        case 0x23D:
            return 0x19A;
        case 0x23E:
            return 0x2C66;
        case 0x241:
            return 0x242;
        case 0x243:
            return 0x180;
        case 0x244:
            return 0x289;
        case 0x245:
            return 0x28C;
        default:
            return c;
        }
    }
    if (c < 0x400) {
        if (inRange(c, 0x391, 0x3A1) || inRange(c, 0x3A3, 0x3AB)) {
            return c + 32;
        }
        if (inRange(c, 0x388, 0x38A)) {
            return c + 37;
        }
        if (pairedUpper(c, 0x370, 0x373, false) || pairedUpper(c, 0x3D8, 0x3EF, false)) {
            return c + 1;
        }
        if (inRange(c, 0x3FD, 0x3FF)) {
            return c - 130;
        }
        switch (c) {
        case 0x345:
            return 0x3B9;
        case 0x376:
            return 0x377;
        case 0x37F:
            return 0x3F3;
        case 0x386:
            return 0x3AC;
        case 0x38C:
            return 0x3CC;
        case 0x38E:
            return 0x3CD;
        case 0x38F:
            return 0x3CE;
        case 0x3C2:
            return 0x3C3;
        case 0x3CF:
            return 0x3D7;
        case 0x3D0:
            return 0x3B2;
        case 0x3D1:
            return 0x3B8;
        case 0x3D5:
            return 0x3C6;
        case 0x3D6:
            return 0x3C0;
        case 0x3F0:
            return 0x3BA;
        case 0x3F1:
            return 0x3C1;
        case 0x3F4:
            return 0x3B8;
        case 0x3F5:
            return 0x3B5;
        case 0x3F7:
            return 0x3F8;
        case 0x3F9:
            return 0x3F2;
        case 0x3FA:
            return 0x3FB;
        default:
            return c;
        }
    }
    if (c < 0x600) {
        if (inRange(c, 0x400, 0x40F)) {
            return c + 80;
        }
        if (inRange(c, 0x410, 0x42F)) {
            return c + 32;
        }
        if (c == 0x4C0) {
            return 0x4CF;
        }
        if (pairedUpper(c, 0x460, 0x481, false) || pairedUpper(c, 0x48A, 0x4BF, false) ||
            pairedUpper(c, 0x4C1, 0x4CE, true) || pairedUpper(c, 0x4D0, 0x52F, false)) {
            return c + 1;
        }
        if (inRange(c, 0x531, 0x556)) {
            return c + 48;
        }
        return c;
    }
    if (pairedUpper(c, 0x1E00, 0x1E95, false) || pairedUpper(c, 0x1EA0, 0x1EFF, false)) {
        return c + 1;
    }
    if (inRange(c, 0x2160, 0x216F)) {
        return c + 16;
    }
    if (inRange(c, 0x24B6, 0x24CF)) {
        return c + 26;
    }
    if (inRange(c, 0xFF21, 0xFF3A)) {
        return c + 32;
    }
    switch (c) {
    case 0x1E9B:
        return 0x1E61;
    case 0x1E9E:
        return 0xDF;
    case 0x2126:
        return 0x3C9;
    case 0x212A:
        return 'k';
    case 0x212B:
        return 0xE5;
    default:
        return c;
    }
}

} // namespace korvalt
