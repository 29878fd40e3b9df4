// SPDX-License-Identifier: MIT
// Baseline program for bench/run.sh: one fixed 430x665 window with a label and a button.
// Return presses the (default) button, which flips the label, as Veluna's big button does.
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("bench-bare"));
    window.setFixedSize(430, 665);
    auto *layout = new QVBoxLayout(&window);
    auto *label = new QLabel(QStringLiteral("Normal"), &window);
    auto *button = new QPushButton(QStringLiteral("Start"), &window);
    button->setDefault(true);
    button->setAutoDefault(true);
    layout->addStretch();
    layout->addWidget(label, 0, Qt::AlignHCenter);
    layout->addWidget(button, 0, Qt::AlignHCenter);
    layout->addStretch();
    bool on = false;
    QObject::connect(button, &QPushButton::clicked, label, [&on, label, button] {
        on = !on;
        label->setText(on ? QStringLiteral("Awake") : QStringLiteral("Normal"));
        button->setText(on ? QStringLiteral("Stop") : QStringLiteral("Start"));
    });
    window.show();
    button->setFocus();
    return QApplication::exec();
}
