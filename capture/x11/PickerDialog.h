#pragma once

#include "ContentList.h"

#include <QDialog>

#include <vector>

class QListWidget;
class QPushButton;

namespace orvane {

// The dialog in which the user chooses a display or a window: one list with
// the displays first and the windows after them, each with its picture and
// name. Double-click or "Record" chooses; "Cancel" or Escape cancels. Main
// thread only.
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

private:
    std::vector<PickerEntry> entries_;
    QListWidget* list_ = nullptr;
    QPushButton* record_ = nullptr;
};

} // namespace orvane
