#include "X11ContentPicker.h"

#include "ContentList.h"
#include "PickerDialog.h"

namespace orvane {

X11ContentPicker::X11ContentPicker(std::string display, QObject* parent)
    : ContentPicker(parent), display_(std::move(display)) {}

X11ContentPicker::~X11ContentPicker() {
    closeDialog();
}

void X11ContentPicker::setActive(bool active) {
    active_ = active;
    if (!active) {
        closeDialog();
    }
}

void X11ContentPicker::closeDialog() {
    if (dialog_) {
        // Closed from here, not by the user: no answer follows.
        dialog_->disconnect(this);
        dialog_->hide();
        dialog_->deleteLater();
        dialog_ = nullptr;
    }
}

void X11ContentPicker::present() {
    if (!active_) {
        return;
    }
    if (dialog_) {
        dialog_->raise();
        dialog_->activateWindow();
        return;
    }
    QString error;
    auto entries = readCaptureContents(display_, 0, &error);
    if (!entries) {
        QMetaObject::invokeMethod(
            this, [this, error] { emit failed(error); }, Qt::QueuedConnection);
        return;
    }
    dialog_ = new PickerDialog(std::move(*entries));
    dialog_->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog_, &QDialog::finished, this, [this](int result) {
        PickerDialog* d = dialog_;
        dialog_ = nullptr;
        if (d == nullptr) {
            return;
        }
        const int index = d->selectedEntry();
        if (result == QDialog::Accepted && index >= 0) {
            const CaptureContent content = d->entries()[static_cast<std::size_t>(index)].content;
            QMetaObject::invokeMethod(
                this, [this, content] { emit contentChosen(content); }, Qt::QueuedConnection);
        } else {
            QMetaObject::invokeMethod(
                this, [this] { emit cancelled(); }, Qt::QueuedConnection);
        }
    });
    dialog_->show();
    dialog_->raise();
    dialog_->activateWindow();
}

} // namespace orvane
