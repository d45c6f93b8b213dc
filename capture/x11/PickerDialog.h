#pragma once

#include "ContentList.h"

#include <QDialog>

#include <vector>

class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace orvane {

// The dialog in which the user chooses a display or a window: one list with
// the displays first and the windows after them, each with its picture and
// name. Entries without a picture show a plain placeholder until
// setThumbnail() brings one. Double-click or "Record" chooses; "Cancel" or
// Escape cancels. Main thread only.
class PickerDialog final : public QDialog {
    Q_OBJECT
public:
    explicit PickerDialog(std::vector<PickerEntry> entries, QWidget* parent = nullptr);

    const std::vector<PickerEntry>& entries() const { return entries_; }
    // The entry the user has selected, -1 when none.
    int selectedEntry() const;
    // Selects entry `index` as a click on it would (for keyboard and scripts).
    void selectEntry(int index);
    // The list row of entry `index` (rows include the section headings).
    QRect entryRect(int index) const; // in global screen coordinates

    // Shows the picture of entry `index` in place of its placeholder. Pictures
    // larger than 160 x 100 are shrunk; a null picture or an index out of
    // range changes nothing.
    void setThumbnail(int index, const QImage& thumbnail);
    bool hasThumbnail(int index) const;

private:
    std::vector<PickerEntry> entries_;
    std::vector<QListWidgetItem*> items_; // one per entry, owned by list_
    QListWidget* list_ = nullptr;
    QPushButton* record_ = nullptr;
};

} // namespace orvane
