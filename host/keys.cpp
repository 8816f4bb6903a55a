#include "host/keys.h"

int32_t KeyFromPunctuation(int32_t character) {
    switch (character) {
        case ';':
            return 186;
        case '=':
            return 187;
        case ',':
            return 188;
        case '-':
            return 189;
        case '.':
            return 190;
        case '/':
            return 191;
        case '`':
            return 192;
        case '[':
            return 219;
        case '\\':
            return 220;
        case ']':
            return 221;
        case '\'':
            return 222;
        default:
            return 0;
    }
}

int32_t CharacterOfKey(int32_t key) {
    switch (key) {
        case 8:
        case 9:
        case 13:
        case 27:
            return key;
        default:
            return 0;
    }
}
