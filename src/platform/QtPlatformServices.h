#pragma once

#include "platform/PlatformServices.h"

class QFileDialog;
class QWidget;

namespace kelviq {

// The real platform: Qt message boxes, file dialog and event loop.
class QtPlatformServices : public PlatformServices
{
public:
    void setDialogParent(QWidget* parent) { m_parent = parent; }

    void showMessage(const QString& text, const QString& title, MessageIcon icon) override;
    void beep() override;
    void processEvents() override;
    void end() override;
    bool endRequested() const override { return m_endRequested; }
    QString chooseOpenFile(const OpenFileRequest& request) override;
    QString chooseSaveFile(const SaveFileRequest& request) override;
    std::optional<PlotSizeAnswer> askPlotSize(const PlotSizeRequest& request) override;

    // The name filter given to the file dialog for a "Description (patterns)" entry: shows the
    // description as written, filters by patterns that suit this system.
    static QString dialogFilter(const QString& filter);
    // Gives the dialog the filters, their texts shown as asked; returns the dialog's own.
    static QStringList setFilters(QFileDialog& dialog, const QStringList& filters);

private:
    QWidget* m_parent = nullptr;
    bool m_endRequested = false;
};

} // namespace kelviq
