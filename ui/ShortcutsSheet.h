#pragma once

#include <QDialog>
#include <QString>

#include <utility>
#include <vector>

namespace orvane {

// The sheet that lists the keyboard shortcuts: a header with "Keyboard
// shortcuts" and "Done", then one row per item with its key cap and label.
class ShortcutsSheet : public QDialog {
    Q_OBJECT

public:
    using Item = std::pair<QString, QString>; // keys, label

    // The seven shortcuts of the main window, in order.
    static std::vector<Item> windowItems();

    explicit ShortcutsSheet(std::vector<Item> items, QWidget* parent = nullptr);
    const std::vector<Item>& items() const { return items_; }

private:
    std::vector<Item> items_;
};

} // namespace orvane
