#include "window/Form1.h"

#include "picture/PictureLoader.h"
#include "platform/PlatformServices.h"
#include "plot/NumberText.h"
#include "window/Artwork.h"
#include "window/ColorSwatch.h"
#include "window/ExportMenu.h"
#include "window/NumberBox.h"
#include "window/PictureArea.h"
#include "window/PlotSizeQuestion.h"
#include "window/StatusLine.h"
#include "window/TraceAnalysis.h"
#include "window/TraceOptions.h"
#include "window/ViewMenu.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <cmath>

namespace kelviq {

namespace {

const QChar CR(u'\r');

} // namespace

Form1::Form1(PlatformServices& platform, QWidget* parent)
    : QMainWindow(parent), m_platform(platform)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(caption());
    setWindowIcon(QIcon(QPixmap::fromImage(Artwork::icon())));

    m_ui.setupUi(this);
    connect(m_ui.about, &QAction::triggered, this, &Form1::about_Click);
    setAcceptDrops(true);

    connect(m_ui.Picture1, &PictureArea::mouseDown, this, &Form1::Picture1_MouseDown);
    connect(m_ui.Picture1, &PictureArea::mouseMove, this, &Form1::Picture1_MouseMove);
    connect(m_ui.Picture1, &PictureArea::zoomChanged, this,
            [this] { fitPictureArea(m_ui.Picture1->shownSize()); });
    connect(m_ui.Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(m_ui.Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(m_ui.Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    m_viewMenu = new ViewMenu(menuBar(), m_ui.Picture1, this);
    connect(m_viewMenu, &ViewMenu::fitInWindowRequested, this, &Form1::fitInWindow);
    connect(m_viewMenu, &ViewMenu::setPlotSizeRequested, this, &Form1::setPlotSize);
    m_exportMenu = new ExportMenu(menuBar(), this);
    connect(m_exportMenu, &ExportMenu::exportRequested, this, &Form1::exportPlot);

    // Below the client area: the window grows by its height.
    m_status = new StatusLine(this);
    setStatusBar(m_status);
    m_analysis = new TraceAnalysis(this);
    connect(m_analysis, &TraceAnalysis::finished, this, [this] {
        m_ui.Picture1->setTraced(m_analysis->mask(), ViewRenderer::highlightFor(targetColor()));
        showStatus();
    });
    connect(m_ui.Text1, &QLineEdit::textChanged, this, &Form1::settingsChanged);
    connect(m_ui.Text2, &QLineEdit::textChanged, this, &Form1::settingsChanged);
    connect(m_ui.Shape1, &ColorSwatch::fillColorChanged, this, &Form1::retrace);
    connect(m_ui.traceOptions, &TraceOptions::changed, this, &Form1::retrace);
    settingsChanged();

    Form_Load();
    m_ui.resizeToDesign(this);
}

Form1::~Form1() = default;

QString Form1::caption()
{
    return QStringLiteral("KELVIQ converter");
}

QString Form1::aboutTitle()
{
    return QStringLiteral("About KELVIQ");
}

QString Form1::aboutText()
{
    return QStringLiteral("KELVIQ 1.1 exports BMP raster files to PCB Allegro vectorial IPF "
                          "file.") +
           CR + CR + QStringLiteral("Written by the KELVIQ developers, 2026.") + CR +
           QStringLiteral("Free software: you may use, copy and give it away at no charge.") + CR +
           QStringLiteral("Contact: write to the KELVIQ project by post.");
}

QStringList Form1::openFilters()
{
    return {QStringLiteral("All Files (*.*)"), QStringLiteral("BMP Files(*.bmp)")};
}

int Form1::ScaleWidth() const
{
    return m_ui.surface->width();
}

int Form1::ScaleHeight() const
{
    return m_ui.surface->height();
}

bool Form1::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_ui.surface && event->type() == QEvent::Resize)
        Form_Resize();
    if (watched == m_ui.surface && event->type() == QEvent::Paint)
        m_ui.paintFocusFrame();
    return QMainWindow::eventFilter(watched, event);
}

void Form1::closeEvent(QCloseEvent* event)
{
    // The only window: closing it ends the program, also in the middle of a run.
    if (!m_platform.endRequested())
        m_platform.end();
    event->accept();
}

void Form1::Form_Load()
{
    m_bigPicture = true;
}

void Form1::Form_Resize()
{
    // Too small a size cannot happen: the client area's minimum size restores it.
    const int bottom = ScaleHeight();
    m_ui.Command1->move(m_ui.Command1->x(), bottom - Form1Ui::ControlsAboveBottom);
    m_ui.Command2->move(m_ui.Command2->x(), bottom - Form1Ui::ControlsAboveBottom);
    m_ui.Command3->move(m_ui.Command3->x(), bottom - Form1Ui::ControlsAboveBottom);
    m_ui.Image1[0]->move(m_ui.Image1[0]->x(), bottom - Form1Ui::BusyAboveBottom);
    m_ui.Image1[1]->move(m_ui.Image1[1]->x(), bottom - Form1Ui::BusyAboveBottom);
    m_ui.Frame1->move(m_ui.Frame1->x(), bottom - Form1Ui::ControlsAboveBottom);
    m_ui.traceOptions->move(m_ui.traceOptions->x(), bottom - Form1Ui::ControlsAboveBottom);
    if (m_bigPicture) {
        m_ui.Picture1->resize(ScaleWidth() - Form1Ui::PictureMarginWidth,
                              ScaleHeight() - Form1Ui::PictureMarginHeight);
    }
}

void Form1::about_Click()
{
    m_platform.showMessage(aboutText(), aboutTitle(), MessageIcon::Information);
}

void Form1::Command1_Click()
{
    ConversionRun run(*this, m_platform);
    finishRun(run.run());
}

void Form1::finishRun(const RunResult& result)
{
    m_lastRun = result;
    if (result.outcome == RunOutcome::Written)
        m_platform.beep();
    else if (!result.message.isEmpty())
        m_platform.showMessage(result.message, ConversionRun::messageTitle(),
                               MessageIcon::Critical);
    m_status->showRun(m_lastRun);
}

void Form1::Command2_Click()
{
    OpenFileRequest request;
    request.title = QStringLiteral("Open");
    request.filters = openFilters();
    request.selectedFilter = 1;
    request.directory = m_lastFolder;
    const QString path = m_platform.chooseOpenFile(request);
    if (path.isEmpty())
        return; // cancelled: nothing changes
    openPicture(path);
}

void Form1::openFiles(const QStringList& paths)
{
    if (paths.isEmpty())
        return;
    const QString first = QFileInfo(paths.first()).absoluteFilePath();
    openPicture(first);
    const bool opened = m_fileName == first;
    if (paths.size() > 1) {
        m_status->showNote((opened ? QStringLiteral("Opened ") + first
                                   : QStringLiteral("Could not open ") + first) +
                           QStringLiteral("; one picture at a time, so these were ignored: ") +
                           paths.mid(1).join(QStringLiteral(", ")));
    }
}

// Loads the picture at path and shows it, or tells why it cannot and keeps what was shown.
void Form1::openPicture(const QString& path)
{
    m_lastFolder = QFileInfo(path).absolutePath();

    // Large pictures take a while to read.
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const LoadResult loaded = PictureLoader::load(path, LoadMode::Decode);
    QGuiApplication::restoreOverrideCursor();
    if (!loaded.ok()) {
        // The previous picture, file name, caption and layout stay as they were.
        m_platform.showMessage(loaded.error, ConversionRun::messageTitle(), MessageIcon::Critical);
        return;
    }
    const Raster& raster = loaded.raster;

    m_fileName = path;
    m_ui.Picture1->setPicture(raster);
    fitPictureArea(QSize(raster.width(), raster.height()));
    setWindowTitle(caption() + QStringLiteral(" - ") + path);
    // out.plt is written beside the picture.
    QDir::setCurrent(QFileInfo(path).absolutePath());
    m_viewMenu->setPlotSizeEnabled(true);
    m_exportMenu->setEnabled(true);
    // A photo turned upright as every viewer shows it: say so, its rows are not the file's.
    m_status->showNote(loaded.turned() ? QStringLiteral("Turned as its EXIF orientation says.")
                                       : QString());
    retrace();
}

void Form1::fitPictureArea(QSize shown)
{
    m_bigPicture = false;
    m_ui.Picture1->resize(shown);
    // Strict comparisons: a picture exactly as large as the room is not cut.
    if (ScaleHeight() - Form1Ui::PictureMarginHeight < shown.height()) {
        m_bigPicture = true;
        m_ui.Picture1->resize(m_ui.Picture1->width(), ScaleHeight() - Form1Ui::PictureMarginHeight);
    }
    if (ScaleWidth() - Form1Ui::PictureMarginWidth < shown.width()) {
        m_bigPicture = true;
        m_ui.Picture1->resize(ScaleWidth() - Form1Ui::PictureMarginWidth, m_ui.Picture1->height());
    }
}

// The largest zoom at which the whole picture fits the room.
void Form1::fitInWindow()
{
    const Raster& raster = m_ui.Picture1->picture();
    if (raster.isNull())
        return;
    const double room =
        std::min(double(ScaleWidth() - Form1Ui::PictureMarginWidth) / raster.width(),
                 double(ScaleHeight() - Form1Ui::PictureMarginHeight) / raster.height());
    m_ui.Picture1->setZoomStep(static_cast<int>(std::floor(std::log2(room))));
}

void Form1::setPlotSize()
{
    const Raster& raster = m_ui.Picture1->picture();
    if (raster.isNull())
        return;
    const std::optional<QString> scale =
        PlotSizeQuestion::ask(m_platform, QSize(raster.width(), raster.height()),
                              parseNumber(m_ui.Text1->text().toStdString()));
    if (scale)
        m_ui.Text1->setNumberText(*scale);
}

void Form1::exportPlot(PlotFormat format)
{
    if (m_fileName.isEmpty())
        return; // the menu is disabled without a picture
    const QString path = m_platform.chooseSaveFile(ExportMenu::saveRequest(format, m_fileName));
    if (path.isEmpty())
        return; // cancelled: nothing written
    // What "3 - Make out.plt" writes, in this format and to this file.
    ConversionRun run(*this, m_platform);
    run.setFormat(format);
    run.setOutputPath(path);
    run.setDesignName(QFileInfo(path).completeBaseName());
    finishRun(run.run());
}

void Form1::retrace()
{
    const Raster& raster = m_ui.Picture1->picture();
    if (raster.isNull())
        return;
    // The same settings a run takes, so what is shown is what will be written.
    m_ui.Picture1->releaseTraced();
    m_analysis->start(raster, traceSettings());
    showStatus();
}

void Form1::settingsChanged()
{
    const std::optional<double> scale = parseNumber(m_ui.Text1->text().toStdString());
    const std::optional<double> thickness = parseNumber(m_ui.Text2->text().toStdString());
    m_ui.Picture1->setPlotLook(scale.value_or(0.0), thickness.value_or(0.0));
    showStatus();
}

void Form1::showStatus()
{
    StatusFacts facts;
    const Raster& raster = m_ui.Picture1->picture();
    if (!raster.isNull())
        facts.picture = QSize(raster.width(), raster.height());
    facts.scaleText = m_ui.Text1->text();
    facts.thicknessText = m_ui.Text2->text();
    facts.color = targetColor();
    if (m_analysis->ready())
        facts.segments = m_analysis->segments();
    m_status->showFacts(facts);
}

void Form1::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls() && event->mimeData()->urls().constFirst().isLocalFile())
        event->acceptProposedAction();
}

void Form1::dropEvent(QDropEvent* event)
{
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile())
            paths.append(url.toLocalFile());
    }
    event->acceptProposedAction();
    openFiles(paths);
}

void Form1::Command3_Click()
{
    m_platform.end();
    close();
}

void Form1::Picture1_MouseDown(Qt::MouseButtons button, Qt::KeyboardModifiers /*shift*/, int x,
                               int y)
{
    pickColor(button, x, y);
}

void Form1::Picture1_MouseMove(Qt::MouseButtons button, Qt::KeyboardModifiers /*shift*/, int x,
                               int y)
{
    pickColor(button, x, y);
}

void Form1::pickColor(Qt::MouseButtons button, int x, int y)
{
    const ColorValue p = m_ui.Picture1->Point(x, y);
    if (p > NoColor && button != Qt::NoButton)
        m_ui.Shape1->setFillColor(m_ui.Picture1->Point(x, y));
}

Raster Form1::picture() const
{
    return m_ui.Picture1->picture();
}

ColorValue Form1::targetColor() const
{
    return m_ui.Shape1->FillColor();
}

TraceSettings Form1::traceSettings() const
{
    return m_ui.traceOptions->settings(targetColor());
}

QString Form1::scaleText() const
{
    return m_ui.Text1->text();
}

QString Form1::thicknessText() const
{
    return m_ui.Text2->text();
}

void Form1::setMakeButtonVisible(bool visible)
{
    m_ui.Command1->setVisible(visible);
    // One plot at a time: no export while one is being written.
    m_exportMenu->setEnabled(visible && !m_fileName.isEmpty());
}

void Form1::setBusyPictureVisible(int index, bool visible)
{
    m_ui.Image1[index]->setVisible(visible);
}

} // namespace kelviq
