#include "SectionPanel.h"

#include "SliderRow.h"
#include "Theme.h"
#include "ToggleSwitch.h"

#include "editing/EditModel.h"
#include "ui/TransportRules.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace orvane {

namespace {
QString speedText(double speed) {
    return QString::number(speed, 'g', 3) + QLatin1Char('x');
}
} // namespace

SectionPanel::SectionPanel(EditModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(14);

    auto* label = new QLabel(QStringLiteral("Speed"), this);
    label->setFont(Theme::font(Theme::Font::label));
    layout->addWidget(label);
    auto* grid = new QGridLayout;
    grid->setSpacing(6);
    int column = 0;
    for (const double preset : kPresets) {
        auto* b = new QPushButton(speedText(preset), this);
        b->setCheckable(true);
        b->setFocusPolicy(Qt::NoFocus);
        Theme::setButtonStyle(b, Theme::ButtonStyle::secondary);
        connect(b, &QPushButton::clicked, this, [this, preset] {
            if (refreshing_) {
                return;
            }
            model_.beginEdit();
            model_.setSectionSpeed(index(), preset);
            refresh();
        });
        grid->addWidget(b, column / 3, column % 3);
        presets_.push_back(b);
        ++column;
    }
    layout->addLayout(grid);

    speed_ = new SliderRow(QStringLiteral("Custom"), 0.25, 16, this);
    speed_->format = [](double v) { return speedText(v); };
    speed_->onEditBegin = [this] { model_.beginEdit(); };
    speed_->onChange = [this](double v) {
        if (!refreshing_) {
            model_.setSectionSpeed(index(), v);
        }
    };
    layout->addWidget(speed_);

    mute_ = new ToggleSwitch(QStringLiteral("Mute its sound"), this);
    mute_->setFont(Theme::font(Theme::Font::label));
    connect(mute_, &ToggleSwitch::toggled, this, [this](bool on) {
        if (!refreshing_) {
            model_.setSectionMuted(index(), on);
        }
    });
    layout->addWidget(mute_);

    cut_ = new QPushButton(this);
    cut_->setFocusPolicy(Qt::NoFocus);
    Theme::setButtonStyle(cut_, Theme::ButtonStyle::secondary);
    connect(cut_, &QPushButton::clicked, this, [this] {
        const auto& list = model_.sections();
        const int i = index();
        const bool cut = !list.empty() && static_cast<std::size_t>(i) < list.size() &&
                         list[static_cast<std::size_t>(i)].cut;
        model_.setSectionCut(i, !cut);
    });
    layout->addWidget(cut_);

    note_ = new QLabel(this);
    note_->setWordWrap(true);
    note_->setFont(Theme::font(Theme::Font::caption));
    note_->setStyleSheet(
        QStringLiteral("color: %1").arg(Theme::css(Theme::Color::secondaryText)));
    layout->addWidget(note_);

    connect(&model_, &EditModel::sectionsChanged, this, &SectionPanel::refresh);
    connect(&model_, &EditModel::selectedSectionChanged, this, &SectionPanel::refresh);
    refresh();
}

int SectionPanel::index() const { return model_.selectedSection().value_or(0); }

QString SectionPanel::note() const { return note_->text(); }

void SectionPanel::refresh() {
    refreshing_ = true;
    const std::vector<Section> list =
        model_.sections().empty() ? sections::whole(model_.duration()) : model_.sections();
    const std::size_t i = std::min<std::size_t>(static_cast<std::size_t>(index()), list.size() - 1);
    const Section s = list.empty() ? Section{} : list[i];
    for (std::size_t k = 0; k < presets_.size(); ++k) {
        presets_[k]->setChecked(s.speed == kPresets[k]);
    }
    speed_->setValue(s.speed);
    mute_->setChecked(s.muted);
    cut_->setText(s.cut ? QStringLiteral("Restore Section") : QStringLiteral("Cut Section"));
    for (QWidget* w : {static_cast<QWidget*>(speed_), static_cast<QWidget*>(mute_)}) {
        w->setEnabled(!s.cut);
    }
    for (QPushButton* b : presets_) {
        b->setEnabled(!s.cut);
    }
    QString note;
    if (s.cut) {
        note = QStringLiteral("Cut: left out of the preview and the export.");
    } else {
        const double shown = s.length() / s.speed;
        note = QStringLiteral("%1 of the take plays in %2.")
                   .arg(TransportRules::mmss(s.length()), TransportRules::mmss(shown));
        if (s.speed > sections::kSoundSpeedLimit) {
            note += QStringLiteral(" Above 4x its sound is left out.");
        }
    }
    note_->setText(note);
    refreshing_ = false;
}

} // namespace orvane
