// orvane-demo-form: a small window with something to click, for the demo that
// records it. Its title is "Orvane demo"; it opens at a fixed place and size.
#include <QApplication>
#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Orvane demo"));
    window.setStyleSheet(QStringLiteral(
        "QWidget { background: #f4f5f8; color: #1d2330; font-size: 18px; }"
        "QLineEdit { background: white; border: 1px solid #b8bfcc; border-radius: 6px; padding: 8px; }"
        "QPushButton { background: #3b6cf6; color: white; border: none; border-radius: 8px;"
        "  padding: 12px 22px; font-weight: 600; }"
        "QPushButton#secondary { background: #e3e7ef; color: #1d2330; }"
        "QLabel#title { font-size: 30px; font-weight: 700; }"));
    auto* column = new QVBoxLayout(&window);
    column->setContentsMargins(48, 40, 48, 40);
    column->setSpacing(22);
    auto* title = new QLabel(QStringLiteral("Create your account"));
    title->setObjectName(QStringLiteral("title"));
    column->addWidget(title);
    auto* form = new QFormLayout;
    form->setSpacing(16);
    auto* name = new QLineEdit;
    name->setObjectName(QStringLiteral("name"));
    auto* email = new QLineEdit;
    form->addRow(QStringLiteral("Name"), name);
    form->addRow(QStringLiteral("Email"), email);
    column->addLayout(form);
    auto* terms = new QCheckBox(QStringLiteral("I agree to the terms"));
    column->addWidget(terms);
    auto* status = new QLabel;
    column->addWidget(status);
    column->addStretch(1);
    auto* buttons = new QHBoxLayout;
    auto* cancel = new QPushButton(QStringLiteral("Cancel"));
    cancel->setObjectName(QStringLiteral("secondary"));
    auto* create = new QPushButton(QStringLiteral("Create account"));
    buttons->addStretch(1);
    buttons->addWidget(cancel);
    buttons->addWidget(create);
    column->addLayout(buttons);
    QObject::connect(create, &QPushButton::clicked, status, [status, name] {
        status->setText(QStringLiteral("Welcome, %1!").arg(name->text().isEmpty() ? QStringLiteral("friend") : name->text()));
    });
    window.setGeometry(160, 120, 900, 600);
    window.show();
    return QApplication::exec();
}
