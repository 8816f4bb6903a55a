#pragma once
// Words on the canvas, drawn as line strokes through the host's line drawing, so that they need
// no font and come out the same in every run and on every back end: the tool in use by the
// cursor, and the program's short messages. Capitals, digits and a little punctuation; small
// letters are drawn as capitals and anything else as a space.

#include <cstdint>
#include <string_view>

// One character cell at scale 1 is 4 x 6 units with a gap of 2: at the default scale of 2, a
// character takes 8 x 12 pixels and the next starts 12 pixels on.
inline constexpr float kTextScale = 2.0f;
float CanvasTextWidth(std::string_view text, float scale = kTextScale);
inline float CanvasTextHeight(float scale = kTextScale) { return 6.0f * scale; }

// Draws text with its top-left corner at (x, y) in the current colour.
void DrawCanvasText(std::string_view text, float x, float y, float scale = kTextScale);
