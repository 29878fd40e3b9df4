// SPDX-License-Identifier: MIT
#pragma once

#include "appcast.h"

#include <QDialog>
#include <QUrl>

class BoundedText;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

// The updater's one window, never modal: "checking…" with a Cancel button while a check runs,
// then its answer in the same place: up to date, a newer version with its release notes and a
// button that opens its download page (or, once the file is downloaded and checked, its
// folder), or what went wrong. Every text is plain text; release notes sit in a read-only
// plain-text view, so markup from the feed is never interpreted. Versions, notes and errors come
// from the feed: however long, they scroll within the window and stay selectable.
class UpdateWindow : public QDialog
{
    Q_OBJECT

public:
    explicit UpdateWindow(QWidget *parent = nullptr);
    ~UpdateWindow() override;

    void showChecking();
    void showUpToDate(const QString &version);
    void showAvailable(const Appcast::Item &item, const QString &currentVersion,
                       const QString &downloadedFile = {});
    void showError(const QString &message);

    bool isChecking() const { return m_checking; }
    QString titleText() const;
    QString informativeText() const;
    QPlainTextEdit *releaseNotesView() const { return m_notes; }
    QPushButton *primaryButton() const { return m_primary; }
    QPushButton *secondaryButton() const { return m_secondary; }

signals:
    // The user cancelled the running check (Cancel, Escape or closing the window).
    void cancelRequested();

public slots:
    void reject() override;

private:
    void present(const QString &title, const QString &info, const QString &primary,
                 const QString &secondary);
    void openTarget();

    QLabel *m_title;
    BoundedText *m_info;
    QProgressBar *m_busy;
    QLabel *m_notesLabel;
    QPlainTextEdit *m_notes;
    QPushButton *m_primary;
    QPushButton *m_secondary;
    QUrl m_target;
    bool m_checking = false;
};
