#include "PickerDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace orvane {

namespace {

constexpr int kEntryRole = Qt::UserRole + 1;
const QSize kIconSize(160, 100);

// Every icon the same size, the picture centred, so the rows line up. Without
// a picture (not read yet, or unreadable) the plain canvas is the placeholder.
QIcon iconFor(const QImage& thumbnail) {
    QPixmap canvas(kIconSize);
    canvas.fill(QColor(40, 40, 40));
    if (!thumbnail.isNull()) {
        QPainter p(&canvas);
        // Pictures come already scaled down; only an oversized one is shrunk here.
        const QImage fitted =
            thumbnail.width() <= kIconSize.width() && thumbnail.height() <= kIconSize.height()
                ? thumbnail
                : thumbnail.scaled(kIconSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        p.drawImage((kIconSize.width() - fitted.width()) / 2,
                    (kIconSize.height() - fitted.height()) / 2, fitted);
    }
    return QIcon(canvas);
}

QListWidgetItem* heading(const QString& text) {
    auto* item = new QListWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled);
    QFont f = item->font();
    f.setBold(true);
    item->setFont(f);
    item->setData(kEntryRole, -1);
    return item;
}

} // namespace

PickerDialog::PickerDialog(std::vector<PickerEntry> entries, QWidget* parent)
    : QDialog(parent), entries_(std::move(entries)) {
    setWindowTitle(tr("Choose what to record"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Choose a display or a window to record."), this));

    list_ = new QListWidget(this);
    list_->setIconSize(kIconSize);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setUniformItemSizes(false);
    bool windowsHeading = false;
    list_->addItem(heading(tr("Displays")));
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const PickerEntry& e = entries_[i];
        if (e.content.kind == CaptureContent::Kind::Window && !windowsHeading) {
            list_->addItem(heading(tr("Windows")));
            windowsHeading = true;
        }
        const QRectF& a = e.content.area;
        auto* item = new QListWidgetItem(
            iconFor(e.thumbnail),
            QStringLiteral("%1\n%2 × %3").arg(e.content.title).arg(a.width()).arg(a.height()));
        item->setData(kEntryRole, static_cast<int>(i));
        list_->addItem(item);
        items_.push_back(item);
    }
    layout->addWidget(list_);

    auto* buttons = new QDialogButtonBox(this);
    record_ = buttons->addButton(tr("Record"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QDialogButtonBox::Cancel);
    record_->setEnabled(false);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(list_, &QListWidget::itemSelectionChanged, this,
            [this] { record_->setEnabled(selectedEntry() >= 0); });
    connect(list_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        if (item->data(kEntryRole).toInt() >= 0) {
            accept();
        }
    });
    resize(460, 560);
}

int PickerDialog::selectedEntry() const {
    const QList<QListWidgetItem*> items = list_->selectedItems();
    if (items.isEmpty()) {
        return -1;
    }
    return items.first()->data(kEntryRole).toInt();
}

void PickerDialog::selectEntry(int index) {
    for (int row = 0; row < list_->count(); ++row) {
        QListWidgetItem* item = list_->item(row);
        if (item->data(kEntryRole).toInt() == index && index >= 0) {
            list_->setCurrentItem(item);
            item->setSelected(true);
            list_->scrollToItem(item);
            return;
        }
    }
}

void PickerDialog::setThumbnail(int index, const QImage& thumbnail) {
    if (index < 0 || static_cast<std::size_t>(index) >= entries_.size() || thumbnail.isNull()) {
        return;
    }
    const auto i = static_cast<std::size_t>(index);
    entries_[i].thumbnail = thumbnail;
    items_[i]->setIcon(iconFor(thumbnail));
}

bool PickerDialog::hasThumbnail(int index) const {
    return index >= 0 && static_cast<std::size_t>(index) < entries_.size() &&
           !entries_[static_cast<std::size_t>(index)].thumbnail.isNull();
}

QRect PickerDialog::entryRect(int index) const {
    for (int row = 0; row < list_->count(); ++row) {
        QListWidgetItem* item = list_->item(row);
        if (item->data(kEntryRole).toInt() == index && index >= 0) {
            const QRect r = list_->visualItemRect(item);
            return QRect(list_->viewport()->mapToGlobal(r.topLeft()), r.size());
        }
    }
    return {};
}

} // namespace orvane
