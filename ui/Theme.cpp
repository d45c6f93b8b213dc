#include "Theme.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPainter>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>
#include <QVariant>

namespace orvane::Theme {

QColor color(Color role) {
    switch (role) {
    case Color::windowBackground: return {0x16, 0x17, 0x1B};
    case Color::primaryText: return {0xF2, 0xF3, 0xF5};
    case Color::secondaryText: return {0x9A, 0x9D, 0xA6};
    case Color::surface: return {0x1F, 0x20, 0x26};
    case Color::raisedSurface: return {0x2A, 0x2C, 0x33};
    case Color::stroke: return {0x2F, 0x31, 0x38};
    case Color::strongStroke: return {0x46, 0x49, 0x52};
    case Color::accent: return {0x4F, 0x7C, 0xFF};
    case Color::danger: return {0xFF, 0x5A, 0x52};
    case Color::success: return {0x34, 0xC7, 0x59};
    case Color::scrim: return {0, 0, 0, 150};
    case Color::videoTint: return {0x3A, 0x3F, 0x4B};
    }
    return {};
}

QFont font(Font role) {
    QFont f = QApplication::font();
    switch (role) {
    case Font::title:
        f.setPixelSize(20);
        f.setWeight(QFont::DemiBold);
        break;
    case Font::heading:
        f.setPixelSize(15);
        f.setWeight(QFont::DemiBold);
        break;
    case Font::body:
        f.setPixelSize(13);
        break;
    case Font::caption:
        f.setPixelSize(11);
        break;
    case Font::footnote:
        f.setPixelSize(11);
        f.setItalic(false);
        break;
    case Font::label:
        f.setPixelSize(13);
        f.setWeight(QFont::Medium);
        break;
    case Font::callout:
        f.setPixelSize(13);
        break;
    }
    return f;
}

QString css(Color role) {
    const QColor c = color(role);
    return QStringLiteral("rgba(%1, %2, %3, %4)")
        .arg(c.red())
        .arg(c.green())
        .arg(c.blue())
        .arg(c.alpha());
}

QPalette palette() {
    QPalette p;
    p.setColor(QPalette::Window, color(Color::windowBackground));
    p.setColor(QPalette::WindowText, color(Color::primaryText));
    p.setColor(QPalette::Base, color(Color::surface));
    p.setColor(QPalette::AlternateBase, color(Color::raisedSurface));
    p.setColor(QPalette::ToolTipBase, color(Color::raisedSurface));
    p.setColor(QPalette::ToolTipText, color(Color::primaryText));
    p.setColor(QPalette::Text, color(Color::primaryText));
    p.setColor(QPalette::PlaceholderText, color(Color::secondaryText));
    p.setColor(QPalette::Button, color(Color::raisedSurface));
    p.setColor(QPalette::ButtonText, color(Color::primaryText));
    p.setColor(QPalette::BrightText, Qt::white);
    p.setColor(QPalette::Highlight, color(Color::accent));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, color(Color::accent));
    p.setColor(QPalette::Mid, color(Color::strongStroke));
    p.setColor(QPalette::Dark, color(Color::stroke));
    p.setColor(QPalette::Disabled, QPalette::Text, color(Color::secondaryText));
    p.setColor(QPalette::Disabled, QPalette::ButtonText, color(Color::secondaryText));
    p.setColor(QPalette::Disabled, QPalette::WindowText, color(Color::secondaryText));
    return p;
}

namespace {

QString styleSheet() {
    const QString accent = css(Color::accent);
    return QStringLiteral(R"(
QToolTip { color: %1; background: %3; border: 1px solid %5; padding: 4px; }
QPushButton[orvaneStyle="primary"] {
    color: white; background: %6; border: none; border-radius: 9px;
    padding: 9px 18px; font-size: 13px; font-weight: 600;
}
QPushButton[orvaneStyle="primary"]:hover { background: %7; }
QPushButton[orvaneStyle="primary"]:pressed { background: %8; }
QPushButton[orvaneStyle="primary"]:disabled { background: %4; color: %2; }
QPushButton[orvaneStyle="secondary"], QPushButton[orvaneStyle="secondaryDestructive"] {
    color: %1; background: %9; border: 1px solid %5; border-radius: 7px;
    padding: 4px 10px; font-size: 11px;
}
QPushButton[orvaneStyle="secondaryDestructive"] { color: %10; }
QPushButton[orvaneStyle="secondary"]:pressed,
QPushButton[orvaneStyle="secondaryDestructive"]:pressed { background: %3; }
QPushButton[orvaneStyle="transport"], QPushButton[orvaneStyle="transportProminent"],
QToolButton[orvaneStyle="transport"], QToolButton[orvaneStyle="transportProminent"] {
    background: %9; border: 1px solid %11;
}
QPushButton[orvaneStyle="transport"], QToolButton[orvaneStyle="transport"] { border-radius: 18px; }
QPushButton[orvaneStyle="transportProminent"], QToolButton[orvaneStyle="transportProminent"] {
    border-radius: 23px;
}
QPushButton[orvaneStyle="transport"]:pressed, QToolButton[orvaneStyle="transport"]:pressed,
QPushButton[orvaneStyle="transportProminent"]:pressed,
QToolButton[orvaneStyle="transportProminent"]:pressed { background: %3; }
QScrollArea { background: transparent; border: none; }
QScrollBar:vertical { background: transparent; width: 8px; }
QScrollBar::handle:vertical { background: %5; border-radius: 4px; min-height: 24px; }
QScrollBar::add-line, QScrollBar::sub-line { height: 0; }
QSlider::groove:horizontal { height: 4px; background: %5; border-radius: 2px; }
QSlider::sub-page:horizontal { background: %6; border-radius: 2px; }
QSlider::handle:horizontal {
    background: white; width: 14px; height: 14px; margin: -5px 0; border-radius: 7px;
}
)")
        .arg(css(Color::primaryText), css(Color::secondaryText), css(Color::raisedSurface),
             css(Color::stroke), css(Color::strongStroke), accent,
             color(Color::accent).lighter(112).name(), color(Color::accent).darker(120).name(),
             css(Color::surface))
        .arg(css(Color::danger), css(Color::stroke));
}

const char* styleName(ButtonStyle style) {
    switch (style) {
    case ButtonStyle::primary: return "primary";
    case ButtonStyle::secondary: return "secondary";
    case ButtonStyle::secondaryDestructive: return "secondaryDestructive";
    case ButtonStyle::transport: return "transport";
    case ButtonStyle::transportProminent: return "transportProminent";
    }
    return "";
}

} // namespace

void apply(QApplication& app) {
    app.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    app.setPalette(palette());
    QFont base = app.font();
    base.setPixelSize(13);
    app.setFont(base);
    app.setStyleSheet(styleSheet());
}

void setButtonStyle(QAbstractButton* button, ButtonStyle style) {
    button->setProperty("orvaneStyle", QString::fromLatin1(styleName(style)));
    if (style == ButtonStyle::transport) {
        button->setFixedSize(36, 36);
    } else if (style == ButtonStyle::transportProminent) {
        button->setFixedSize(46, 46);
    }
    // Re-polish so a style set after the widget was shown takes effect.
    button->style()->unpolish(button);
    button->style()->polish(button);
}

QPixmap tinted(const QPixmap& pixmap, const QColor& color) {
    QPixmap out = pixmap;
    QPainter p(&out);
    p.setCompositionMode(QPainter::CompositionMode_SourceIn);
    p.fillRect(out.rect(), color);
    return out;
}

} // namespace orvane::Theme
