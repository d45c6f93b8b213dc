#include "RecordingOptions.h"

#include "ui/Theme.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QCoreApplication>
#include <QResizeEvent>
#include <QVBoxLayout>

#include <iterator>

namespace orvane {

RecordingOptions::RecordingOptions(QWidget* parent) : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    auto caption = [this](const QString& text) {
        auto* l = new QLabel(text, this);
        l->setFont(Theme::font(Theme::Font::caption));
        l->setStyleSheet(QStringLiteral("color: %1").arg(Theme::css(Theme::Color::secondaryText)));
        return l;
    };
    countdown_ = new QComboBox(this);
    for (int s : RecordingSettings::kCountdowns) {
        countdown_->addItem(s == 0 ? QStringLiteral("No countdown") : QStringLiteral("%1 s countdown").arg(s), s);
    }
    countdown_->setAccessibleName(QStringLiteral("Countdown"));
    shortcut_ = new QKeySequenceEdit(this);
    shortcut_->setClearButtonEnabled(true);
    shortcut_->setAccessibleName(QStringLiteral("Stop shortcut"));
    shortcut_->setFixedWidth(130);
    showBar_ = new QCheckBox(QStringLiteral("Show the recording bar"), this);
    region_ = new QCheckBox(QStringLiteral("Record a region"), this);
    region_->setToolTip(QStringLiteral("After choosing a display, drag the rectangle to record"));
    row->addWidget(countdown_);
    row->addWidget(caption(QStringLiteral("Stop with")));
    row->addWidget(shortcut_);
    row->addWidget(showBar_);
    row->addWidget(region_);
    column->addLayout(row);
    problem_ = caption(QString());
    problem_->setWordWrap(true);
    problem_->setMaximumWidth(520);
    problem_->hide();
    column->addWidget(problem_, 0, Qt::AlignHCenter);

    connect(countdown_, &QComboBox::activated, this, [this](int index) {
        settings_.countdown = countdown_->itemData(index).toInt();
        emit settingsChanged(settings_);
    });
    connect(shortcut_, &QKeySequenceEdit::editingFinished, this, [this] {
        // One combination: the first of what was typed.
        const QKeySequence typed = shortcut_->keySequence();
        settings_.shortcut = typed.isEmpty() ? QString()
                                             : QKeySequence(typed[0]).toString(QKeySequence::PortableText);
        emit settingsChanged(settings_);
    });
    connect(shortcut_, &QKeySequenceEdit::keySequenceChanged, this, [this](const QKeySequence& keys) {
        if (keys.isEmpty() && !settings_.shortcut.isEmpty()) { // the clear button
            settings_.shortcut.clear();
            emit settingsChanged(settings_);
        }
    });
    connect(showBar_, &QCheckBox::toggled, this, [this](bool on) {
        if (settings_.showBar != on) {
            settings_.showBar = on;
            emit settingsChanged(settings_);
        }
    });
    connect(region_, &QCheckBox::toggled, this, [this](bool on) {
        if (settings_.region != on) {
            settings_.region = on;
            emit settingsChanged(settings_);
        }
    });
    setSettings(settings_);
}

void RecordingOptions::setSettings(const RecordingSettings& settings) {
    settings_ = settings;
    const int index = countdown_->findData(settings.countdown);
    countdown_->setCurrentIndex(index >= 0 ? index : 0);
    const QSignalBlocker block(shortcut_);
    shortcut_->setKeySequence(QKeySequence::fromString(settings.shortcut, QKeySequence::PortableText));
    const QSignalBlocker blockBar(showBar_);
    showBar_->setChecked(settings.showBar);
    const QSignalBlocker blockRegion(region_);
    region_->setChecked(settings.region);
}

void RecordingOptions::setRegionAvailable(bool available) {
    region_->setVisible(available);
}

void RecordingOptions::setShortcutProblem(const QString& problem) {
    problem_->setText(problem);
    problem_->setVisible(!problem.isEmpty());
    adjustSize();
    if (parentWidget() != nullptr) {
        // The parent places this by its size.
        QResizeEvent resized(parentWidget()->size(), parentWidget()->size());
        QCoreApplication::sendEvent(parentWidget(), &resized);
    }
}

void RecordingOptions::setBarOptional(bool optional) {
    showBar_->setVisible(optional);
}

} // namespace orvane
