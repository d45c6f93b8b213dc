#pragma once

#include <QAbstractButton>
#include <QImage>

namespace orvane {

// One background choice in the inspector's grid: a rounded square filled with a
// preset's gradient or an image's thumbnail, stroked while selected.
class BackgroundSwatch : public QAbstractButton {
    Q_OBJECT

public:
    BackgroundSwatch(int index, int side, QWidget* parent = nullptr);

    int index() const { return index_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int index_;
    int side_;
    QImage thumb_; // empty for gradients or a missing image
};

} // namespace orvane
