#include "QtPlatformServices.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace kelviq {

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
    QFileDialog dialog(m_parent, request.title, request.directory);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setOption(QFileDialog::ReadOnly, false);
    dialog.setNameFilters(request.filters);
    if (request.selectedFilter >= 0 && request.selectedFilter < request.filters.size())
        dialog.selectNameFilter(request.filters.at(request.selectedFilter));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

} // namespace kelviq
