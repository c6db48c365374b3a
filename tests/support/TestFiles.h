#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// File helpers and the expected plot header, kept apart from the program's own copy so that the
// tests check the header instead of repeating it.
namespace testfiles {

inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

inline bool writeFile(const QString& path, const QByteArray& data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

// Every name in a folder, hidden ones too, sorted: what a run must not leave behind.
inline QStringList folderEntries(const QString& folder)
{
    QStringList list = QDir(folder).entryList(QDir::NoDotAndDotDot | QDir::AllEntries |
                                              QDir::Hidden | QDir::System);
    list.sort();
    return list;
}

// A fresh folder made the current one while it lives, as the window makes the picture's.
struct CurrentFolder
{
    QTemporaryDir dir;
    QString previous = QDir::currentPath();
    CurrentFolder() { QDir::setCurrent(dir.path()); }
    ~CurrentFolder() { QDir::setCurrent(previous); }
    QString path(const QString& name) const { return dir.filePath(name); }
    QStringList entries() const { return folderEntries(dir.path()); }
};

inline const QByteArray PlotHeader = "-1175000 -1100025 3025000 1899975 12\r\n"
                                     "-190525 -204016 413469 170985\r\n"
                                     "16\r\n"
                                     "2500 1600 600 0 0.000000\r\n"
                                     "3100 2300 800 0 0.000000\r\n"
                                     "5000 3800 1300 0 0.000000\r\n"
                                     "6300 4700 1600 0 0.000000\r\n"
                                     "7500 5600 1900 0 0.000000\r\n"
                                     "8000 6000 2000 0 0.000000\r\n"
                                     "9400 6900 2300 0 0.000000\r\n"
                                     "10000 7500 2500 0 0.000000\r\n"
                                     "12500 9300 3100 0 0.000000\r\n"
                                     "15600 11700 6200 0 0.000000\r\n"
                                     "17500 13100 4400 0 0.000000\r\n"
                                     "18800 14100 4700 0 0.000000\r\n"
                                     "20000 15000 5000 0 0.000000\r\n"
                                     "22500 16700 5600 0 0.000000\r\n"
                                     "25000 18900 6300 0 0.000000\r\n"
                                     "50000 37500 12500 0 0.000000\r\n";

} // namespace testfiles
