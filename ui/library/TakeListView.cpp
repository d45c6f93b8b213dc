#include "TakeListView.h"

#include "ThumbnailCache.h"

#include "ui/Theme.h"

#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QPainter>
#include <QVBoxLayout>

#include <cmath>

namespace orvane {

namespace {

constexpr QSize kIconSize(96, 60);

// A thumbnail fitted into the row's icon box, letterboxed on dark grey.
QIcon iconFor(const QImage& image) {
    QPixmap box(kIconSize);
    box.fill(QColor(40, 40, 44));
    if (!image.isNull()) {
        const QImage fitted = image.scaled(kIconSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        QPainter p(&box);
        p.drawImage((kIconSize.width() - fitted.width()) / 2,
                    (kIconSize.height() - fitted.height()) / 2, fitted);
    }
    return QIcon(box);
}

QString clock(double seconds) {
    const auto s = static_cast<long long>(std::llround(std::max(seconds, 0.0)));
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

TakeListView::TakeListView(ThumbnailCache& thumbnails, QWidget* parent)
    : QWidget(parent), thumbnails_(thumbnails) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    heading_ = new QLabel(QStringLiteral("Recordings"), this);
    heading_->setFont(Theme::font(Theme::Font::heading));
    column->addWidget(heading_);
    list_ = new QListWidget(this);
    list_->setIconSize(kIconSize);
    list_->setSpacing(2);
    list_->setUniformItemSizes(true);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    list_->setAccessibleName(QStringLiteral("Recordings"));
    // Rows on the window's own background, a surface under the pointer.
    list_->setFrameShape(QFrame::NoFrame);
    list_->setStyleSheet(QStringLiteral("QListWidget { background: transparent; }"
                                        "QListWidget::item { border-radius: 6px; padding: 4px; }"
                                        "QListWidget::item:hover { background: %1; }"
                                        "QListWidget::item:selected { background: %2; }")
                             .arg(Theme::css(Theme::Color::surface),
                                  Theme::css(Theme::Color::raisedSurface)));
    column->addWidget(list_, 1);
    connect(list_, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        emit openRequested(item->data(Qt::UserRole).toString());
    });
    connect(list_, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        emit openRequested(item->data(Qt::UserRole).toString());
    });
    connect(list_, &QWidget::customContextMenuRequested, this, &TakeListView::showMenu);
    connect(&thumbnails_, &ThumbnailCache::ready, this, &TakeListView::thumbnailReady);
}

QString TakeListView::details(const TakeEntry& take) {
    const QLocale locale = QLocale::system();
    QString text = locale.toString(take.recordedAt, QLocale::ShortFormat);
    if (take.duration > 0) {
        text += QStringLiteral(" · ") + clock(take.duration);
    }
    text += QStringLiteral(" · ") +
            locale.formattedDataSize(take.bytes, 1, QLocale::DataSizeSIFormat);
    if (take.recording) {
        text += QStringLiteral(" · recording now");
    } else if (take.interrupted) {
        text += QStringLiteral(" · interrupted");
    } else if (!take.problem.isEmpty()) {
        text += QStringLiteral(" · ") + take.problem;
    }
    return text;
}

void TakeListView::setTakes(const std::vector<TakeEntry>& takes) {
    takes_ = takes;
    list_->clear();
    heading_->setVisible(!takes.empty());
    for (const TakeEntry& take : takes) {
        auto* item = new QListWidgetItem(take.name + QLatin1Char('\n') + details(take), list_);
        item->setData(Qt::UserRole, take.folder);
        item->setData(Qt::UserRole + 1, take.moviePath());
        item->setToolTip(take.folder);
        // Cached thumbnails show at once; the others follow from the worker.
        item->setIcon(iconFor(thumbnails_.request(take.moviePath())));
    }
}

void TakeListView::thumbnailReady(const QString& moviePath, const QImage& image) {
    for (int i = 0; i < list_->count(); ++i) {
        QListWidgetItem* item = list_->item(i);
        if (item->data(Qt::UserRole + 1).toString() == moviePath) {
            item->setIcon(iconFor(image));
        }
    }
}

void TakeListView::showMenu(const QPoint& at) {
    QListWidgetItem* item = list_->itemAt(at);
    if (item == nullptr) {
        return;
    }
    const QString folder = item->data(Qt::UserRole).toString();
    const QString name = item->text().section(QLatin1Char('\n'), 0, 0);
    QMenu menu(this);
    QAction* open = menu.addAction(QStringLiteral("Open"));
    QAction* rename = menu.addAction(QStringLiteral("Rename…"));
    QAction* trash = menu.addAction(QStringLiteral("Move to Trash"));
    QAction* chosen = menu.exec(list_->viewport()->mapToGlobal(at));
    if (chosen == open) {
        emit openRequested(folder);
    } else if (chosen == rename) {
        bool ok = false;
        const QString newName = QInputDialog::getText(this, QStringLiteral("Rename Recording"),
                                                      QStringLiteral("Name:"), QLineEdit::Normal,
                                                      name, &ok);
        if (ok && !newName.trimmed().isEmpty()) {
            emit renameRequested(folder, newName);
        }
    } else if (chosen == trash) {
        emit trashRequested(folder);
    }
}

} // namespace orvane
