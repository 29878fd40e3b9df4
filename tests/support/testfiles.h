// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

// Whole files read and written in one step, for fixtures and for what a test finds on disk.
namespace TestFiles {
// The file's bytes; empty when it cannot be read.
QByteArray read(const QString &path);
// Replaces the file with contents; false unless every byte was written.
bool write(const QString &path, const QByteArray &contents);
} // namespace TestFiles
