#include "app/canvas_text.h"

#include "host/graphics.h"

namespace {

// Each glyph is polylines on a grid 0..4 across and 0..6 down (7 for a comma's tail), separated by
// spaces; a polyline is its points as digit pairs, x first.
struct Glyph {
    char c;
    const char* strokes;
};
constexpr Glyph kGlyphs[] = {
    {'A', "0602204246 0444"},
    {'B', "06003041423303 3344453606"},
    {'C', "4130100105163645"},
    {'D', "00304145360600"},
    {'E', "40000646 0333"},
    {'F', "400006 0333"},
    {'G', "41301001051636454323"},
    {'H', "0006 4046 0343"},
    {'I', "1030 2026 1636"},
    {'J', "4045361605"},
    {'K', "0006 400346"},
    {'L', "000646"},
    {'M', "0600234046"},
    {'N', "06004640"},
    {'O', "103041453616050110"},
    {'P', "06003041423303"},
    {'Q', "103041453616050110 2446"},
    {'R', "06003041423303 2346"},
    {'S', "413010010213334445361605"},
    {'T', "0040 2026"},
    {'U', "000516364540"},
    {'V', "002640"},
    {'W', "0016233640"},
    {'X', "0046 4006"},
    {'Y', "002340 2326"},
    {'Z', "00400646"},
    {'0', "103041453616050110 4105"},
    {'1', "112026 1636"},
    {'2', "01103041420646"},
    {'3', "0110304142334445361605 1333"},
    {'4', "36300444"},
    {'5', "4000033344453606"},
    {'6', "30100105163645443303"},
    {'7', "004016"},
    {'8', "13020110304142331304051636454433"},
    {'9', "43130201103041453616"},
    {'.', "2526"},
    {',', "2517"},
    {'-', "1333"},
    {':', "2122 2526"},
    {'(', "30212536"},
    {')', "10212516"},
    {'/', "0640"},
    {'\'', "2021"},
    {'"', "1011 3031"},
    {'?', "01103041422324 2526"},
    {'!', "2024 2526"},
    {'+', "1333 2224"},
    {'=', "1232 1434"},
    {'<', "400346"},
    {'>', "004306"},
};

constexpr float kAdvance = 6.0f;  // the cell's width and the gap

const char* StrokesOf(char c) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    for (const Glyph& g : kGlyphs) {
        if (g.c == c) return g.strokes;
    }
    return "";
}

}  // namespace

float CanvasTextWidth(std::string_view text, float scale) {
    if (text.empty()) return 0.0f;
    return (static_cast<float>(text.size()) * kAdvance - 2.0f) * scale;
}

void DrawCanvasText(std::string_view text, float x, float y, float scale) {
    for (char c : text) {
        const char* s = StrokesOf(c);
        while (*s != '\0') {
            // one polyline: pairs of digits up to a space or the end
            float px = 0.0f, py = 0.0f;
            bool first = true;
            for (; s[0] != '\0' && s[0] != ' ' && s[1] != '\0'; s += 2) {
                const float qx = x + static_cast<float>(s[0] - '0') * scale;
                const float qy = y + static_cast<float>(s[1] - '0') * scale;
                if (!first) DrawLineSegment(px, py, qx, qy, 1);
                px = qx;
                py = qy;
                first = false;
            }
            if (*s == ' ') ++s;
        }
        x += kAdvance * scale;
    }
}
