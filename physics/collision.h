#pragma once
// Collision between bodies, and the geometry functions of the physics module. Collision particles
// act as discs of radius kCollisionRadius, collision edges as segments thickened by the same
// radius; contacts are corrected in place, in list order, and friction goes through AddVelocity.

#include <cstdint>
#include <span>

#include "physics/vect.h"

constexpr float kCollisionRadius = 6.0f;
constexpr float kContactDistance = 12.0f;  // twice the radius
constexpr float kZeroDivisorSlope = 99999.0f;
// How far past a wall a collision pass may leave a particle. A pass sums many contacts, and in a
// pile crushed by its own weight that sum pushes particles 20 to 30 px through the floor, which
// the walls then hand back as speed; ordinary sessions end a pass a few pixels past at most.
constexpr float kWallGive = 20.0f;

// The point last computed by LinesIntersect.
extern float IntersectX;
extern float IntersectY;

// Foot of the perpendicular from c onto segment a-b, or none when it falls outside the segment.
VectRef ClosestPointOnSegment(const Vect& a, const Vect& b, const Vect& c);
// The same without allocating: false when there is no foot on the segment.
bool ClosestPointOnSegmentXY(float ax, float ay, float bx, float by, float cx, float cy,
                             float& outX, float& outY);
// Foot of the perpendicular from c onto the infinite line through a and b.
VectRef ClosestPointOnLine(const Vect& a, const Vect& b, const Vect& c);
// 1 when the ray from (px, py) towards +x crosses the edge (x1, y1)-(x2, y2).
int32_t RayCrossesEdge(float x1, float y1, float x2, float y2, float px, float py);
// Crossing parity over the polygon x0, y0, x1, y1, ...; 1 is inside.
int32_t PointInPolygon(float px, float py, std::span<const float> coords);
int32_t PointInVectPolygon(float px, float py, std::span<const VectRef> points);
// 1 when segments 1-2 and 3-4 cross strictly inside both; stores the lines' crossing point in
// IntersectX, IntersectY whenever they are not parallel.
int32_t LinesIntersect(float x1, float y1, float x2, float y2, float x3, float y3, float x4,
                       float y4);
