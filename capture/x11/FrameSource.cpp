#include "FrameSource.h"

namespace orvane::x11 {

Grab DisplaySource::grab(DrawableReader& reader) {
    Grab g;
    switch (reader.read(root_, x_, y_, w_, h_)) {
    case ReadStatus::Ok:
        g = Grab::frame(reader, w_, h_);
        g.rootX = x_;
        g.rootY = y_;
        break;
    case ReadStatus::Gone:
        // The root window cannot go away; a read that fails is a monitor that
        // shrank under the rectangle. Skip rather than end: it may come back.
        g.status = Grab::Status::Skip;
        break;
    case ReadStatus::Broken:
        g.status = Grab::Status::Broken;
        break;
    }
    return g;
}

} // namespace orvane::x11
