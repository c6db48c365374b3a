#pragma once

#include "picture/PictureDensity.h"
#include "run/ConversionFrontEnd.h"
#include "run/ConversionRun.h"
#include "trace/ColorValue.h"
#include "window/Form1Ui.h"

#include <QMainWindow>
#include <optional>

namespace kelviq {

class ExportMenu;
class MessageWhenShown;
class PictureOpening;
class PlatformServices;
class ScreenFit;
class StatusLine;
struct LoadResult;
class TraceAnalysis;
class ViewMenu;

// The program's window: the picture area, the four numbered steps along the bottom edge with
// the tracing options beside the settings, the About, View and Export menus and the status line
// below. Form1Ui builds the controls at their places; Form1 gives them their behaviour. Every
// handler runs on the user-interface thread; a conversion run lets events in once per row, so
// the other handlers may run in the middle of one. Pictures are read, and what the views and
// the status line show is traced, in the background.
class Form1 : public QMainWindow, private ConversionFrontEnd
{
    Q_OBJECT

public:
    explicit Form1(PlatformServices& platform, QWidget* parent = nullptr);
    ~Form1() override;

    // Inner (client) size in pixels, below the menu bar and above the status line.
    int ScaleWidth() const;
    int ScaleHeight() const;

    // True while the picture area follows the window size.
    bool BigPicture() const { return m_bigPicture; }
    // The chosen picture file's full path; empty until one has been loaded.
    QString FileName() const { return m_fileName; }
    const RunResult& lastRun() const { return m_lastRun; }

    static QString caption();
    static QString aboutText();
    static QString aboutTitle();
    static QStringList openFilters();

    // Opens the first picture as "1 - Select BMP file" would and says that the others were
    // ignored: for names given at start-up or dropped on the window.
    void openFiles(const QStringList& paths);
    // True while a picture is being read; the one shown before stays until it is whole.
    bool loading() const;

    // Handlers, named after the control and the event.
    void Form_Load();
    void Form_Resize();
    void about_Click();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Picture1_MouseDown(Qt::MouseButtons button, Qt::KeyboardModifiers shift, int x, int y);
    void Picture1_MouseMove(Qt::MouseButtons button, Qt::KeyboardModifiers shift, int x, int y);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // What a conversion run reads and shows.
    QString fileName() const override { return m_fileName; }
    Raster picture() const override;
    ColorValue targetColor() const override;
    TraceSettings traceSettings() const override;
    QString scaleText() const override;
    QString thicknessText() const override;
    void setMakeButtonVisible(bool visible) override;
    void setBusyPictureVisible(int index, bool visible) override;

    void pickColor(Qt::MouseButtons button, int x, int y);

    // Starts reading the picture at path; pictureRead() shows it once it is whole.
    void openPicture(const QString& path);
    void pictureRead(const QString& path, const LoadResult& loaded);
    // Sizes the picture area for the picture as shown: its own size where it fits, else the
    // room, and then it follows the window.
    void fitPictureArea(QSize shown);
    void fitInWindow();
    void setPlotSize();
    // Writes the plot's segments in another format, to a file the user names.
    void exportPlot(PlotFormat format);
    // Tells how a run ended: a beep for a plot written, else the run's message.
    void finishRun(const RunResult& result);
    // The picture or the picked colour changed: trace again. The scale or the thickness
    // changed: only the plot's look and the status.
    void retrace();
    void settingsChanged();
    void showStatus();
    void showView();

    PlatformServices& m_platform;
    bool m_bigPicture = false;
    QString m_fileName;
    // Where the open dialog starts: the folder of the last picture chosen or dropped.
    QString m_lastFolder;
    RunResult m_lastRun;
    PictureDensity m_density;
    // Said once the picture being read is shown: the names that were not opened.
    QStringList m_ignored;
    // The button "3 - Make out.plt" hides during a run: it gets the focus back if it had it.
    bool m_makeHadFocus = false;

    // The controls, at their places.
    Form1Ui m_ui;

    ViewMenu* m_viewMenu = nullptr;
    ExportMenu* m_exportMenu = nullptr;
    StatusLine* m_status = nullptr;
    TraceAnalysis* m_analysis = nullptr;
    PictureOpening* m_opening = nullptr;
    MessageWhenShown* m_messages = nullptr;
    ScreenFit* m_screenFit = nullptr;
};

} // namespace kelviq
