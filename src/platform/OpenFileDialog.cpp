#include "platform/OpenFileDialog.h"

#include "platform/QtPlatformServices.h"

#include <QAbstractItemView>
#include <QDialogButtonBox>
#include <QDir>
#include <QEvent>
#include <QLineEdit>
#include <QPushButton>

namespace kelviq {

OpenFileDialog::OpenFileDialog(const OpenFileRequest& request, QWidget* parent)
    : QFileDialog(parent, request.title, request.directory)
{
    setFileMode(QFileDialog::ExistingFile);
    setAcceptMode(QFileDialog::AcceptOpen);
    setOption(QFileDialog::ReadOnly, false);
    const QStringList filters = QtPlatformServices::setFilters(*this, request.filters);
    if (request.selectedFilter >= 0 && request.selectedFilter < filters.size())
        selectNameFilter(filters.at(request.selectedFilter));

    QLineEdit* box = nameBox();
    if (!box)
        return; // the system's own dialog
    connect(box, &QLineEdit::textEdited, this, [this](const QString& text) { m_typed = text; });
    // Return reaches the box also through its completion list, past any event filter.
    connect(box, &QLineEdit::returnPressed, this, [this] {
        if (!typedFile().isEmpty())
            takeTypedFile();
    });
    // After the dialog's own check, which greys Open out for a file its filter hides.
    auto* buttons = findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    connect(box, &QLineEdit::textChanged, this, [this, buttons] {
        if (buttons && buttons->button(QDialogButtonBox::Open) && !typedFile().isEmpty())
            buttons->button(QDialogButtonBox::Open)->setEnabled(true);
    });
    // A file or folder picked from the lists is chosen over what was typed.
    for (const char* name : {"listView", "treeView", "sidebar"}) {
        if (auto* view = findChild<QAbstractItemView*>(QLatin1String(name))) {
            view->installEventFilter(this);
            view->viewport()->installEventFilter(this);
        }
    }
}

QLineEdit* OpenFileDialog::nameBox() const
{
    return findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
}

QString OpenFileDialog::existingFile(QString name) const
{
    // Several names in quotes are the dialog's own business.
    if (name.isEmpty() || name.contains(QLatin1Char('"')))
        return {};
    if (name == QLatin1String("~") || name.startsWith(QLatin1String("~/")))
        name.replace(0, 1, QDir::homePath());
    const QFileInfo file(directory(), name);
    return file.exists() && !file.isDir() ? file.absoluteFilePath() : QString();
}

QString OpenFileDialog::typedFile() const
{
    const QLineEdit* box = nameBox();
    const QString shown = box ? existingFile(box->text()) : QString();
    return shown.isEmpty() ? existingFile(m_typed) : shown;
}

QString OpenFileDialog::chosenFile() const
{
    if (!m_chosen.isEmpty())
        return m_chosen;
    const QStringList files = selectedFiles();
    return files.isEmpty() ? QString() : files.constFirst();
}

void OpenFileDialog::takeTypedFile()
{
    m_chosen = typedFile();
    done(QDialog::Accepted);
}

void OpenFileDialog::accept()
{
    if (!typedFile().isEmpty()) {
        takeTypedFile();
        return;
    }
    QFileDialog::accept();
}

bool OpenFileDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::KeyPress)
        m_typed.clear();
    return QFileDialog::eventFilter(watched, event);
}

} // namespace kelviq
