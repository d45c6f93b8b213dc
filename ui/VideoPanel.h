#pragma once

#include <QWidget>

namespace orvane {

// The inspector's panel for the video clip. Playback speed is not available
// yet: the row is shown, marked "Soon", disabled and dimmed.
class VideoPanel : public QWidget {
    Q_OBJECT

public:
    explicit VideoPanel(QWidget* parent = nullptr);
};

} // namespace orvane
