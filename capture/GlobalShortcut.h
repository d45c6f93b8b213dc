#pragma once

#include <QObject>
#include <QString>

namespace orvane {

// A key combination that reaches Orvane whichever window has the keyboard
// (the display server grabs it for us), so that a take can be stopped, or
// started, from anywhere.
//
// Keys are given as portable text: modifiers ("Ctrl", "Shift", "Alt",
// "Meta") and one key (a letter, a digit or F1 to F12) joined by '+', as
// QKeySequence::toString(QKeySequence::PortableText) writes them.
//
// Main thread only; `activated` is emitted there.
class GlobalShortcut : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // Takes `keys` as the shortcut, replacing the previous one; empty gives
    // it up. An empty result when it is registered (or asked for, where the
    // desktop answers later), otherwise the reason for the user ("Ctrl+Shift+R
    // is already taken by another program").
    virtual QString setKeys(const QString& keys) = 0;
    virtual QString keys() const = 0;
    // Why the shortcut does not work now, for the user; empty when it does.
    // A desktop that answers later changes it (problemChanged).
    virtual QString problem() const { return problem_; }

signals:
    void activated();
    void problemChanged();

protected:
    void setProblem(const QString& problem) {
        if (problem != problem_) {
            problem_ = problem;
            emit problemChanged();
        }
    }

private:
    QString problem_;
};

} // namespace orvane
