#pragma once

#include <QImage>

namespace orvane::ui {

// One decoded movie frame as the player shows it. Handed out as
// std::shared_ptr<const PlayerFrame>: immutable while anyone holds it, and its
// buffer goes back to the player's pool when the last holder lets go. Hold the
// pointer, not a copy of `image`: a copy would make the pool allocate anew.
struct PlayerFrame {
    QImage image;    // Format_RGB32 (bytes B, G, R, 255), the movie's size in pixels
    double time = 0; // presentation time, seconds on the movie's timeline
};

} // namespace orvane::ui
