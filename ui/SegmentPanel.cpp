#include "SegmentPanel.h"

#include "InspectorTexts.h"
#include "SliderRow.h"
#include "Theme.h"
#include "ToggleSwitch.h"

#include "app/Recorder.h"

#include <QVBoxLayout>

#include <algorithm>

namespace orvane {

namespace {
constexpr double kFallbackDuration = 1.5;
constexpr double kFallbackFocus = 0.5;
} // namespace

SegmentPanel::SegmentPanel(Recorder& recorder, QWidget* parent) : QWidget(parent), rec_(recorder) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(16);

    zoom_ = new SliderRow(QStringLiteral("Zoom"), 1.4, 3.2, this);
    zoom_->format = InspectorTexts::zoomLevel;
    duration_ = new SliderRow(QStringLiteral("Duration"), 0.5, 8.0, this);
    duration_->format = InspectorTexts::duration;
    transition_ = new SliderRow(QStringLiteral("Transition"), 0, 1, this);
    transition_->format = InspectorTexts::transition;
    lock_ = new ToggleSwitch(QStringLiteral("Lock focus point"), this);
    lock_->setFont(Theme::font(Theme::Font::label));
    focusX_ = new SliderRow(QStringLiteral("Focus X"), 0, 1, this);
    focusX_->format = InspectorTexts::focus;
    focusY_ = new SliderRow(QStringLiteral("Focus Y"), 0, 1, this);
    focusY_->format = InspectorTexts::focus;
    for (QWidget* w : {static_cast<QWidget*>(zoom_), static_cast<QWidget*>(duration_),
                       static_cast<QWidget*>(transition_), static_cast<QWidget*>(lock_),
                       static_cast<QWidget*>(focusX_), static_cast<QWidget*>(focusY_)}) {
        layout->addWidget(w);
    }

    // Every drag of a segment slider is one undo step.
    for (SliderRow* row : {zoom_, duration_, transition_, focusX_, focusY_}) {
        row->onEditBegin = [this] {
            if (valid()) {
                rec_.beginEdit();
            }
        };
    }
    zoom_->onChange = [this](double v) { rec_.setZoomLevel(index_, v); };
    duration_->onChange = [this](double v) {
        if (valid()) {
            const double start = rec_.zooms()[static_cast<std::size_t>(index_)].start;
            rec_.setZoomEdge(index_, false, start + v);
        }
    };
    transition_->onChange = [this](double v) { rec_.setZoomSmooth(index_, v); };
    focusX_->onChange = [this](double v) {
        if (valid()) {
            const auto& z = rec_.zooms()[static_cast<std::size_t>(index_)];
            rec_.setZoomFocus(index_, NormPoint{v, z.fy.value_or(kFallbackFocus)});
        }
    };
    focusY_->onChange = [this](double v) {
        if (valid()) {
            const auto& z = rec_.zooms()[static_cast<std::size_t>(index_)];
            rec_.setZoomFocus(index_, NormPoint{z.fx.value_or(kFallbackFocus), v});
        }
    };
    connect(lock_, &ToggleSwitch::toggled, this, [this](bool on) {
        if (refreshing_ || !valid()) {
            return;
        }
        rec_.beginEdit();
        if (on) {
            const auto& z = rec_.zooms()[static_cast<std::size_t>(index_)];
            rec_.setZoomFocus(index_, NormPoint{z.fx.value_or(kFallbackFocus),
                                                z.fy.value_or(kFallbackFocus)});
        } else {
            rec_.setZoomFocus(index_, std::nullopt);
        }
    });
    connect(&rec_, &EditModel::zoomsChanged, this, &SegmentPanel::refresh);
    refresh();
}

bool SegmentPanel::valid() const {
    return index_ >= 0 && static_cast<std::size_t>(index_) < rec_.zooms().size();
}

void SegmentPanel::setIndex(int index) {
    index_ = index;
    refresh();
}

void SegmentPanel::refresh() {
    refreshing_ = true;
    if (valid()) {
        const ZoomEffect& z = rec_.zooms()[static_cast<std::size_t>(index_)];
        zoom_->setValue(z.zoom);
        duration_->setValue(std::max(z.end - z.start, 0.5));
        transition_->setValue(z.smooth);
        lock_->setChecked(z.hasFocus());
        focusX_->setValue(z.fx.value_or(kFallbackFocus));
        focusY_->setValue(z.fy.value_or(kFallbackFocus));
    } else {
        zoom_->setValue(rec_.zoom());
        duration_->setValue(kFallbackDuration);
        transition_->setValue(rec_.smoothness());
        lock_->setChecked(false);
        focusX_->setValue(kFallbackFocus);
        focusY_->setValue(kFallbackFocus);
    }
    focusX_->setVisible(lock_->isChecked());
    focusY_->setVisible(lock_->isChecked());
    refreshing_ = false;
}

} // namespace orvane
