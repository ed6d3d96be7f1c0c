#pragma once

// Byte colours of the glyph, shared with the picking.
namespace glyphcolour {
constexpr unsigned char kEdgeR1 = 254;  // edges parallel to r1 (grey 254)
constexpr unsigned char kEdgeR2 = 253;  // edges parallel to r2 (grey 253)
// The three handle balls, each a colour of its own: none is the red or green
// of the axis lines, and each differs in every byte from the others. Handle
// 1 sits on the plane's point, handle 2 sets the r1 direction, handle 3 r2.
constexpr unsigned char kHandle[3][3] = {{20, 90, 255}, {255, 160, 20}, {160, 20, 220}};
// A dragged handle is drawn halfway to white (never read by the picking:
// a press only starts a drag from the idle 3-Ball mode).
inline unsigned char draggedChannel(unsigned char c) { return (unsigned char)((int(c) + 255) / 2); }
}  // namespace glyphcolour
