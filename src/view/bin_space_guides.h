#pragma once

class QGLWidget;

// What the bin-space view draws around the cubes so that they can be read:
// the three parameter axes along the edges of the index box that meet at its
// origin corner, with their names and ranges, and a legend of the cube
// colours. Both need the side view's GL context to be current.

// Axis colours (RGB bytes): theta dark red, phi dark green, d dark blue.
namespace binguide {
constexpr unsigned char kThetaAxis[3] = {190, 30, 30};
constexpr unsigned char kPhiAxis[3] = {30, 150, 30};
constexpr unsigned char kDAxis[3] = {30, 60, 200};
}  // namespace binguide

// Axes in the current model-view (the camera applied), drawn in bin-index
// units under the same scale and offset as the cubes.
void drawBinSpaceAxes(QGLWidget* widget);

// The legend in the view's upper-right corner: a white swatch for bins whose
// votes all still count and one swatch per feature kind for bins whose
// strongest removed vote is of that kind. `names` holds the ten kind names.
// Leaves both matrices as identity.
void drawBinSpaceLegend(QGLWidget* widget, const char* const* names, int count);
