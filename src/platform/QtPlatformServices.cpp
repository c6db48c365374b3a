#include "platform/QtPlatformServices.h"

#include "platform/OpenFileDialog.h"
#include "platform/PlotSizeDialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QRegularExpression>

namespace kelviq {

QStringList QtPlatformServices::setFilters(QFileDialog& dialog, const QStringList& filters)
{
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    QStringList shown;
    for (const QString& filter : filters)
        shown.append(QtPlatformServices::dialogFilter(filter));
    dialog.setNameFilters(shown);
    return shown;
}

namespace {

// The chosen file's full path, or an empty string when cancelled.
QString chosenFile(QFileDialog& dialog)
{
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

} // namespace

// The dialog shows each filter's text exactly as asked, while the patterns it filters by
// suit this system: "*.*" means every file, as it does where those texts come from (here it
// would skip names without a dot), and extensions match in either case.
QString QtPlatformServices::dialogFilter(const QString& filter)
{
    static const QRegularExpression patternsAtEnd(QStringLiteral("\\(([^()]*)\\)\\s*$"));
    const QRegularExpressionMatch match = patternsAtEnd.match(filter);
    if (!match.hasMatch())
        return filter;
    QStringList patterns;
    for (const QString& pattern : match.captured(1).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (pattern == QLatin1String("*.*")) {
            patterns.append(QStringLiteral("*"));
            continue;
        }
        patterns.append(pattern);
        if (pattern.toUpper() != pattern)
            patterns.append(pattern.toUpper());
    }
    // With the dialog's details hidden, only the text before this last group shows.
    return filter + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
}

void QtPlatformServices::showMessage(const QString& text, const QString& title, MessageIcon icon)
{
    QString shown = text;
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QMessageBox box(icon == MessageIcon::Critical ? QMessageBox::Critical
                                                  : QMessageBox::Information,
                    title, shown, QMessageBox::Ok, m_parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void QtPlatformServices::beep()
{
    QApplication::beep();
}

void QtPlatformServices::processEvents()
{
    QCoreApplication::processEvents();
}

void QtPlatformServices::end()
{
    m_endRequested = true;
    // Leaves the main loop once the handler on the stack (possibly a run) has returned.
    QCoreApplication::exit(0);
}

QString QtPlatformServices::chooseOpenFile(const OpenFileRequest& request)
{
    OpenFileDialog dialog(request, m_parent);
    return dialog.exec() == QDialog::Accepted ? dialog.chosenFile() : QString();
}

QString QtPlatformServices::chooseSaveFile(const SaveFileRequest& request)
{
    const QFileInfo start(request.path);
    QFileDialog dialog(m_parent, request.title, start.absolutePath());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // Asks before replacing a file (the dialog's own question).
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    setFilters(dialog, request.filters);
    dialog.setDefaultSuffix(request.defaultSuffix);
    dialog.selectFile(start.fileName());
    return chosenFile(dialog);
}

std::optional<PlotSizeAnswer> QtPlatformServices::askPlotSize(const PlotSizeRequest& request)
{
    PlotSizeDialog dialog(request, m_parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.answer();
}

} // namespace kelviq
