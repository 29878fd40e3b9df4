// SPDX-License-Identifier: MIT
#include "updatewindow.h"

#include "boundedtext.h"
#include "buildinfo.h"
#include "localisation.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
constexpr int textWidth = 400;
constexpr int infoMaximumHeight = 120;

QLabel *plainLabel(bool bold)
{
    auto *label = new QLabel;
    // Texts here carry versions, paths and server errors: never markup.
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    if (bold) {
        QFont font = label->font();
        font.setBold(true);
        label->setFont(font);
    }
    return label;
}

QUrl websiteUrl()
{
    return QUrl(QString::fromUtf8(BuildInfo::websiteUrl));
}
} // namespace

UpdateWindow::UpdateWindow(QWidget *parent)
    : QDialog(parent)
    , m_title(plainLabel(true))
    , m_info(new BoundedText(plainLabel(false), textWidth, infoMaximumHeight))
    , m_busy(new QProgressBar)
    , m_notesLabel(plainLabel(true))
    , m_notes(new QPlainTextEdit)
    , m_primary(new QPushButton)
    , m_secondary(new QPushButton)
{
    setWindowTitle(L(QStringLiteral("update.window_title")));
    setMinimumWidth(440);
    m_busy->setRange(0, 0);
    m_busy->setTextVisible(false);
    m_notesLabel->setText(L(QStringLiteral("update.release_notes")));
    m_notes->setReadOnly(true);
    m_notes->setMinimumHeight(160);
    m_primary->setDefault(true);
    // Return means the primary answer even when the checking state left the focus on Cancel.
    m_secondary->setAutoDefault(false);
    connect(m_primary, &QPushButton::clicked, this, &UpdateWindow::openTarget);
    connect(m_secondary, &QPushButton::clicked, this, &UpdateWindow::reject);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_secondary);
    buttons->addWidget(m_primary);
    auto *root = new QVBoxLayout(this);
    root->setContentsMargins(20, 20, 20, 16);
    root->addWidget(m_title);
    root->addWidget(m_info);
    root->addWidget(m_busy);
    root->addWidget(m_notesLabel);
    root->addWidget(m_notes);
    root->addLayout(buttons);
}

UpdateWindow::~UpdateWindow() = default;

void UpdateWindow::showChecking()
{
    present(L(QStringLiteral("update.checking")), {}, {}, L(QStringLiteral("update.cancel")));
    m_checking = true;
    m_busy->show();
}

void UpdateWindow::showUpToDate(const QString &version)
{
    present(L(QStringLiteral("update.up_to_date_title")),
            L(QStringLiteral("update.up_to_date_message"), version), L(QStringLiteral("update.ok")),
            {});
}

void UpdateWindow::showAvailable(const Appcast::Item &item, const QString &currentVersion,
                                 const QString &downloadedFile)
{
    if (downloadedFile.isEmpty()) {
        present(L(QStringLiteral("update.available_title")),
                L(QStringLiteral("update.available_message"), item.version, currentVersion),
                L(QStringLiteral("update.open_download_page")), L(QStringLiteral("update.later")));
        m_target = item.downloadPage.isEmpty() ? websiteUrl() : item.downloadPage;
    } else {
        present(L(QStringLiteral("update.available_title")),
                L(QStringLiteral("update.downloaded_message"), item.version, downloadedFile),
                L(QStringLiteral("update.show_in_folder")), L(QStringLiteral("update.later")));
        m_target = QUrl::fromLocalFile(QFileInfo(downloadedFile).absolutePath());
    }
    BoundedText::showIn(m_notes, item.releaseNotes);
    m_notesLabel->setVisible(!item.releaseNotes.isEmpty());
    m_notes->setVisible(!item.releaseNotes.isEmpty());
    adjustSize();
}

void UpdateWindow::showError(const QString &message)
{
    present(L(QStringLiteral("update.error_title")), message, L(QStringLiteral("update.ok")), {});
}

QString UpdateWindow::titleText() const
{
    return m_title->text();
}

QString UpdateWindow::informativeText() const
{
    return m_info->text();
}

void UpdateWindow::reject()
{
    if (m_checking) {
        m_checking = false;
        emit cancelRequested();
    }
    QDialog::reject();
}

// Shows one state: every part hidden unless this state fills it.
void UpdateWindow::present(const QString &title, const QString &info, const QString &primary,
                           const QString &secondary)
{
    m_checking = false;
    m_target.clear();
    m_title->setText(title);
    m_info->setText(info);
    m_info->setVisible(!info.isEmpty());
    m_busy->hide();
    m_notesLabel->hide();
    m_notes->hide();
    m_notes->clear();
    m_primary->setText(primary);
    m_primary->setVisible(!primary.isEmpty());
    m_secondary->setText(secondary);
    m_secondary->setVisible(!secondary.isEmpty());
    if (!primary.isEmpty())
        m_primary->setFocus();
    adjustSize();
}

void UpdateWindow::openTarget()
{
    if (!m_target.isEmpty())
        QDesktopServices::openUrl(m_target);
    accept();
}
