#pragma once

#include "platform/PlatformServices.h"

#include <QFileDialog>

class QLineEdit;

namespace kelviq {

// The file-open dialog: the filters shown as asked, and a name typed into it that names an
// existing file opens that file, whatever filter is chosen. Qt's own dialog goes by its folder
// listing, which hides the files the filter leaves out and fills in while the user types: a
// path typed before the listing was there selected every folder it passed through (and files
// chosen in the dialog before), rewrote the name as a list of them, and Return then changed to
// the first folder and cleared the name, or opened a file chosen before.
class OpenFileDialog : public QFileDialog
{
    Q_OBJECT

public:
    OpenFileDialog(const OpenFileRequest& request, QWidget* parent = nullptr);

    // The chosen file's full path, once accepted.
    QString chosenFile() const;
    // The existing file (not a folder) the name box names, or else the name the user last
    // typed into it, unless a file was picked from the list since; taken from the dialog's
    // folder when it is not a full path. Empty when it names none.
    QString typedFile() const;

    void accept() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* nameBox() const;
    QString existingFile(QString name) const;
    void takeTypedFile();

    QString m_typed; // what the user last typed, before the dialog rewrote it
    QString m_chosen;
};

} // namespace kelviq
