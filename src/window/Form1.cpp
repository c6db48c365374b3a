#include "window/Form1.h"

#include "picture/PictureLoader.h"
#include "platform/PlatformServices.h"
#include "plot/NumberText.h"
#include "window/Artwork.h"
#include "window/ColorSwatch.h"
#include "window/ExportMenu.h"
#include "window/MessageWhenShown.h"
#include "window/NumberBox.h"
#include "window/OutlineAnalysis.h"
#include "window/PictureArea.h"
#include "window/PictureDrop.h"
#include "window/PictureOpening.h"
#include "window/PlotSizeQuestion.h"
#include "window/ScreenFit.h"
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
#include <QPushButton>
#include <utility>

namespace kelviq {

namespace {

const QChar CR(u'\r');

// The least height the picture area keeps where the screen is small.
constexpr int LeastPictureHeight = 40;

} // namespace

Form1::Form1(PlatformServices& platform, QWidget* parent)
    : QMainWindow(parent), m_platform(platform)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(caption());
    setWindowIcon(QIcon(QPixmap::fromImage(Artwork::icon())));

    m_ui.setupUi(this);
    connect(m_ui.about, &QAction::triggered, this, &Form1::about_Click);
    connect(new PictureDrop(this), &PictureDrop::dropped, this, &Form1::openFiles);
    m_screenFit =
        new ScreenFit(this, m_ui.surface, Form1Ui::PictureMarginHeight + LeastPictureHeight);

    connect(m_ui.Picture1, &PictureArea::mouseDown, this, &Form1::Picture1_MouseDown);
    connect(m_ui.Picture1, &PictureArea::mouseMove, this, &Form1::Picture1_MouseMove);
    connect(m_ui.Picture1, &PictureArea::zoomChanged, this,
            [this] { fitPictureArea(m_ui.Picture1->shownSize()); });
    connect(m_ui.Picture1, &PictureArea::viewChanged, this, &Form1::showView);
    connect(m_ui.Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(m_ui.Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(m_ui.Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    m_viewMenu = new ViewMenu(menuBar(), m_ui.Picture1, this);
    connect(m_viewMenu, &ViewMenu::fitInWindowRequested, this, &Form1::fitInWindow);
    connect(m_viewMenu, &ViewMenu::setPlotSizeRequested, this, &Form1::setPlotSize);
    m_exportMenu = new ExportMenu(menuBar(), this);
    connect(m_exportMenu, &ExportMenu::exportRequested, this, &Form1::exportPlot);
    connect(m_exportMenu, &ExportMenu::styleChanged, this, &Form1::settingsChanged);

    // Below the client area: the window grows by its height.
    m_status = new StatusLine(this);
    setStatusBar(m_status);
    m_analysis = new TraceAnalysis(this);
    connect(m_analysis, &TraceAnalysis::finished, this, [this] {
        m_ui.Picture1->setTraced(m_analysis->mask(), ViewRenderer::highlightFor(targetColor()));
        followOutlines();
        showStatus();
    });
    connect(m_analysis, &TraceAnalysis::hintFound, this, &Form1::showStatus);
    m_outlines = new OutlineAnalysis(this);
    connect(m_outlines, &OutlineAnalysis::finished, this, [this] {
        m_ui.Picture1->setFilled(m_outlines->filled(), m_outlines->side() == BoardSide::Bottom);
        showStatus();
    });
    m_opening = new PictureOpening(this);
    connect(m_opening, &PictureOpening::finished, this, &Form1::pictureRead);
    connect(m_opening, &PictureOpening::note, m_status, &StatusLine::showNote);
    m_messages = new MessageWhenShown(this, m_platform, ConversionRun::messageTitle());
    connect(m_ui.Text1, &QLineEdit::textChanged, this, &Form1::settingsChanged);
    connect(m_ui.Text2, &QLineEdit::textChanged, this, &Form1::settingsChanged);
    connect(m_ui.Shape1, &ColorSwatch::fillColorChanged, this, &Form1::retrace);
    connect(m_ui.traceOptions, &TraceOptions::changed, this, &Form1::retrace);
    settingsChanged();
    showView();

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
    run.setStyle(m_exportMenu->style(PlotFormat::Ipf));
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
    m_status->showRun(m_lastRun, traceSettings());
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
    openPicture(QFileInfo(paths.first()).absoluteFilePath());
    m_ignored = paths.mid(1);
}

bool Form1::loading() const
{
    return m_opening->busy();
}

void Form1::openPicture(const QString& path)
{
    m_lastFolder = QFileInfo(path).absolutePath();
    m_ignored.clear();
    m_opening->open(path);
}

// Shows the picture read, or tells why it cannot be and keeps what was shown.
void Form1::pictureRead(const QString& path, const LoadResult& loaded)
{
    const ViewMode view = m_ui.Picture1->viewMode();
    m_status->showNote(StatusTexts::opened(
        path, loaded.ok() ? QString() : loaded.error, std::exchange(m_ignored, {}),
        view == ViewMode::Picture ? QString() : ViewMenu::viewName(view), loaded.turned()));
    if (!loaded.ok()) {
        // The previous picture, file name, caption and layout stay as they were.
        m_messages->tell(loaded.error);
        return;
    }
    const Raster& raster = loaded.raster;
    const QSize size(raster.width(), raster.height());
    m_fileName = path;
    m_density = loaded.density;
    fitPictureArea(size);
    // A picture larger than the room is shown whole, as large as the room in sight allows;
    // the area is sized first so that the picture is shown once, at its zoom.
    m_ui.Picture1->setPicture(
        raster, m_bigPicture
                    ? PictureArea::fitZoom(
                          size, m_screenFit->inSight(m_ui.Picture1->pos(), m_ui.Picture1->size()))
                    : 1.0);
    setWindowTitle(caption() + QStringLiteral(" - ") + path);
    // out.plt is written beside the picture.
    QDir::setCurrent(QFileInfo(path).absolutePath());
    m_viewMenu->setPlotSizeEnabled(true);
    // Read during a run, it is exported once the run is over.
    m_exportMenu->setEnabled(!m_ui.Command1->isHidden());
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
    const QSize room(ScaleWidth() - Form1Ui::PictureMarginWidth,
                     ScaleHeight() - Form1Ui::PictureMarginHeight);
    m_ui.Picture1->setZoom(PictureArea::fitZoom(QSize(raster.width(), raster.height()),
                                                m_screenFit->inSight(m_ui.Picture1->pos(), room)));
}

void Form1::setPlotSize()
{
    const Raster& raster = m_ui.Picture1->picture();
    if (raster.isNull())
        return;
    const std::optional<PlotSizeQuestion::Answer> answer =
        PlotSizeQuestion::ask(m_platform, {QSize(raster.width(), raster.height()),
                                           StatusTexts::number(m_ui.Text1->text()),
                                           StatusTexts::number(m_ui.Text2->text()), m_density});
    if (!answer)
        return;
    m_ui.Text1->setNumberText(answer->scale);
    if (answer->thickness)
        m_ui.Text2->setNumberText(*answer->thickness);
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
    run.setStyle(m_exportMenu->style(format));
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
    m_outlines->clear();
    m_analysis->start(raster, traceSettings());
    m_status->markRunEarlier();
    showStatus();
}

void Form1::followOutlines()
{
    const PlotStyle chosen = m_exportMenu->chosen();
    if (chosen.shape == PlotShape::Outline || m_ui.Picture1->viewMode() == ViewMode::Outline)
        m_outlines->follow(*m_analysis, chosen.side);
}

void Form1::settingsChanged()
{
    followOutlines();
    const std::optional<double> scale = StatusTexts::number(m_ui.Text1->text());
    const std::optional<double> thickness = StatusTexts::number(m_ui.Text2->text());
    m_ui.Picture1->setPlotLook(scale.value_or(0.0), thickness.value_or(0.0));
    m_status->markRunEarlier();
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
    facts.settings = traceSettings();
    facts.density = m_density;
    if (m_analysis->ready()) {
        facts.segments = m_analysis->segments();
        facts.hint = m_analysis->hint();
    }
    facts.outlines = m_exportMenu->chosen().shape == PlotShape::Outline;
    if (m_outlines->ready()) {
        facts.shapes = m_outlines->shapes();
        facts.vertices = m_outlines->vertices();
    }
    m_status->showFacts(facts);
    m_ui.Picture1->setNotice(facts.segments == 0 ? QStringLiteral("Nothing traced: ") +
                                                       StatusTexts::nothingTraced(facts.settings)
                                                 : QString());
}

void Form1::showView()
{
    followOutlines();
    m_status->showView(
        StatusTexts::view(ViewMenu::viewName(m_ui.Picture1->viewMode()), m_ui.Picture1->zoom()));
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
    // Hiding the button would hand its focus on to the next control: it gets it back.
    if (!visible)
        m_makeHadFocus = m_ui.Command1->hasFocus();
    m_ui.Command1->setVisible(visible);
    if (visible && std::exchange(m_makeHadFocus, false))
        m_ui.Command1->setFocus();
    // One plot at a time: no export while one is being written.
    m_exportMenu->setEnabled(visible && !m_fileName.isEmpty());
}

void Form1::setBusyPictureVisible(int index, bool visible)
{
    m_ui.Image1[index]->setVisible(visible);
}

} // namespace kelviq
