#include "X11PickerDialogs.h"

#include "PickerDialog.h"
#include "ThumbnailLoader.h"

namespace orvane {

X11PickerDialogs::~X11PickerDialogs() {
    close();
}

void X11PickerDialogs::open(std::vector<PickerEntry> entries, const std::string& display,
                            Answer answer) {
    close();
    // The list itself is quick to read; the pictures are not (every display and
    // window read at full size), so the dialog opens with placeholders and a
    // worker fills the pictures in as they come.
    std::vector<CaptureContent> contents;
    for (const PickerEntry& e : entries) {
        contents.push_back(e.content);
    }
    dialog_ = new PickerDialog(std::move(entries));
    dialog_->setAttribute(Qt::WA_DeleteOnClose);
    // A child of the dialog: closing the dialog stops the worker.
    auto* loader = new ThumbnailLoader(dialog_);
    QObject::connect(loader, &ThumbnailLoader::thumbnailReady, dialog_, &PickerDialog::setThumbnail);
    PickerDialog* d = dialog_;
    QObject::connect(dialog_, &QDialog::finished, dialog_, [this, d, answer](int result) {
        dialog_ = nullptr;
        const int index = d->selectedEntry();
        if (result == QDialog::Accepted && index >= 0) {
            answer(d->entries()[static_cast<std::size_t>(index)].content);
        } else {
            answer(std::nullopt);
        }
    });
    dialog_->show();
    raise();
    loader->start(display, std::move(contents));
}

void X11PickerDialogs::raise() {
    if (dialog_) {
        dialog_->raise();
        dialog_->activateWindow();
    }
}

void X11PickerDialogs::close() {
    if (dialog_) {
        // Closed from here, not by the user: no answer follows.
        PickerDialog* d = dialog_;
        dialog_ = nullptr;
        QObject::disconnect(d, &QDialog::finished, nullptr, nullptr);
        d->hide();
        d->deleteLater();
    }
}

PickerPresenterMaker x11PickerDialogs() {
    return [] { return std::make_unique<X11PickerDialogs>(); };
}

} // namespace orvane
