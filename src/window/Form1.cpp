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

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <cmath>

namespace kelviq {

namespace {

const QChar CR(u'\r');

// Inner size the window is designed for, and the least it may shrink to.
constexpr int DesignWidth = 1020;
constexpr int MinimumWidth = 1024;
constexpr int MinimumHeight = 725;

// Distances from the bottom edge, and the room the picture area leaves around itself.
constexpr int ControlsAboveBottom = 69;
constexpr int BusyAboveBottom = 80;
constexpr int PictureMarginWidth = 24;
constexpr int PictureMarginHeight = 95;

// Least blank between a caption and the control to its right.
constexpr int CaptionGap = 2;

// The tracing options: between the settings frame (ending at 537) and "3 - Make out.plt"
// (starting at 784), with a margin on either side.
constexpr int OptionsLeft = 545;
constexpr int OptionsWidth = 231;

QLabel* addLabel(QWidget* parent, const char* name, const QString& text, const QRect& geometry)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(geometry);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

QPushButton* addButton(QWidget* parent, const char* name, const QString& text,
                       const QRect& geometry)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(geometry);
    return button;
}

NumberBox* addTextBox(QWidget* parent, const char* name, const QString& text, const QRect& geometry)
{
    auto* box = new NumberBox(text, parent);
    box->setObjectName(QLatin1String(name));
    box->setGeometry(geometry);
    return box;
}

void addSeparator(QWidget* parent, const char* name, int x)
{
    auto* line = new QWidget(parent);
    line->setObjectName(QLatin1String(name));
    line->setGeometry(x, 16, 1, 33);
    line->setBackgroundRole(QPalette::Dark);
    line->setAutoFillBackground(true);
}

// Width a caption may take: up to the next control to its right on the same row, or the
// label's own width, whichever is less.
int captionRoom(const QLabel* label)
{
    int room = label->width();
    const QRect own = label->geometry();
    for (const QObject* child : label->parentWidget()->children()) {
        const auto* other = qobject_cast<const QWidget*>(child);
        if (!other || other == label || qobject_cast<const QLabel*>(other))
            continue;
        const QRect geometry = other->geometry();
        if (geometry.left() > own.left() && geometry.top() <= own.bottom() &&
            geometry.bottom() >= own.top())
            room = std::min(room, geometry.left() - own.left());
    }
    return room;
}

// The largest font, from the system's size down, in which every caption fits its room; the
// condensed face is tried at each size before a smaller one where condensing is allowed.
QFont fittingFont(QFont font, const std::function<bool(const QFontMetrics&)>& fits,
                  bool condensedAllowed)
{
    const int systemPixels = QFontInfo(font).pixelSize();
    for (int pixels = systemPixels; pixels >= 7; --pixels) {
        font.setPixelSize(pixels);
        for (const int stretch : {int(QFont::Unstretched), int(QFont::Condensed)}) {
            if (stretch == QFont::Condensed && !condensedAllowed)
                continue;
            font.setStretch(stretch);
            if (fits(QFontMetrics(font)))
                return font;
        }
    }
    return font;
}

} // namespace

Form1::Form1(PlatformServices& platform, QWidget* parent)
    : QMainWindow(parent), m_platform(platform)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(caption());
    setWindowIcon(QIcon(QPixmap::fromImage(Artwork::icon())));

    QAction* about = menuBar()->addAction(QStringLiteral("About"));
    about->setObjectName(QStringLiteral("about"));
    connect(about, &QAction::triggered, this, &Form1::about_Click);
    setAcceptDrops(true);

    m_surface = new QWidget(this);
    m_surface->setObjectName(QStringLiteral("Form1_client"));
    // A window made smaller than this springs back in the dimension that is too small.
    m_surface->setMinimumSize(MinimumWidth, MinimumHeight);
    m_surface->installEventFilter(this);
    setCentralWidget(m_surface);

    createControls();
    useFittingFonts();
    m_viewMenu = new ViewMenu(menuBar(), m_picture1, this);
    connect(m_viewMenu, &ViewMenu::fitInWindowRequested, this, &Form1::fitInWindow);
    connect(m_viewMenu, &ViewMenu::setPlotSizeRequested, this, &Form1::setPlotSize);
    m_exportMenu = new ExportMenu(menuBar(), this);
    connect(m_exportMenu, &ExportMenu::exportRequested, this, &Form1::exportPlot);

    // Below the client area: the window grows by its height.
    m_status = new StatusLine(this);
    setStatusBar(m_status);
    m_analysis = new TraceAnalysis(this);
    connect(m_analysis, &TraceAnalysis::finished, this, [this] {
        m_picture1->setTraced(m_analysis->mask(), ViewRenderer::highlightFor(targetColor()));
        showStatus();
    });
    connect(m_text1, &QLineEdit::textChanged, this, &Form1::settingsChanged);
    connect(m_text2, &QLineEdit::textChanged, this, &Form1::settingsChanged);
    connect(m_shape1, &ColorSwatch::fillColorChanged, this, &Form1::retrace);
    connect(m_options, &TraceOptions::changed, this, &Form1::retrace);
    settingsChanged();

    Form_Load();
    // The design size; the minimum widens it at once.
    resize(DesignWidth,
           MinimumHeight + menuBar()->sizeHint().height() + m_status->sizeHint().height());
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

void Form1::createControls()
{
    QWidget* form = m_surface;

    m_picture1 = new PictureArea(form);
    m_picture1->setObjectName(QStringLiteral("Picture1"));
    m_picture1->setGeometry(8, 8, 1001, 636);
    connect(m_picture1, &PictureArea::mouseDown, this, &Form1::Picture1_MouseDown);
    connect(m_picture1, &PictureArea::mouseMove, this, &Form1::Picture1_MouseMove);
    connect(m_picture1, &PictureArea::focusChanged, m_surface, qOverload<>(&QWidget::update));
    connect(m_picture1, &PictureArea::zoomChanged, this,
            [this] { fitPictureArea(m_picture1->shownSize()); });

    m_command1 =
        addButton(form, "Command1", QStringLiteral("3 - Make out.plt"), QRect(784, 656, 105, 57));
    m_command2 =
        addButton(form, "Command2", QStringLiteral("1 - Select BMP file"), QRect(16, 656, 121, 57));

    m_frame1 = new QGroupBox(QStringLiteral("2 - Settings"), form);
    m_frame1->setObjectName(QStringLiteral("Frame1"));
    m_frame1->setGeometry(152, 656, 385, 57);
    // The caption sits on the border line, so the frame's box starts near its top edge and
    // holds the separators whole.
    m_frame1->setStyleSheet(QStringLiteral(
        "QGroupBox#Frame1 { border: 1px solid palette(mid); border-radius: 3px; margin-top: 6px; }"
        "QGroupBox#Frame1::title { subcontrol-origin: margin; left: 8px; padding: 0 2px; }"));
    addLabel(m_frame1, "Label1_0", QStringLiteral("Lines Thick:"), QRect(16, 24, 73, 17));
    addLabel(m_frame1, "Label2_0", QStringLiteral("Scale:  1 Pixel is"), QRect(144, 24, 105, 17));
    addLabel(m_frame1, "Label2_2", QStringLiteral("Mils"), QRect(256, 24, 33, 17));
    m_text1 = addTextBox(m_frame1, "Text1", QStringLiteral("2"), QRect(224, 22, 25, 19));
    m_text2 = addTextBox(m_frame1, "Text2", QStringLiteral("10"), QRect(80, 22, 25, 19));
    addLabel(m_frame1, "Label2_1", QStringLiteral("Mils"), QRect(112, 24, 33, 17));
    addLabel(m_frame1, "Label1_1", QStringLiteral("Pick Color: "), QRect(288, 24, 65, 17));
    m_shape1 = new ColorSwatch(m_frame1);
    m_shape1->setObjectName(QStringLiteral("Shape1"));
    m_shape1->setGeometry(344, 24, 17, 17);
    addSeparator(m_frame1, "Line1_0", 136);
    addSeparator(m_frame1, "Line1_1", 280);
    // Labels reach under the boxes and the swatch beside them; those stay on top.
    m_text1->raise();
    m_text2->raise();
    m_shape1->raise();

    // In the free space between the frame and "3 - Make out.plt".
    m_options = new TraceOptions(form);
    m_options->setGeometry(OptionsLeft, 656, OptionsWidth, 57);

    m_command3 = addButton(form, "Command3", QStringLiteral("4 - Bye"), QRect(904, 656, 105, 57));

    for (int i = 0; i < 2; ++i) {
        auto* image = new QLabel(form);
        image->setObjectName(QStringLiteral("Image1_%1").arg(i));
        image->setPixmap(QPixmap::fromImage(Artwork::busyPicture(i)));
        image->setScaledContents(true);
        image->setGeometry(808, 648, 65, 71);
        image->hide();
        image->raise();
        m_image1[i] = image;
    }

    setTabOrder(m_picture1, m_command1);
    setTabOrder(m_command1, m_command2);
    setTabOrder(m_command2, m_text1);
    setTabOrder(m_text1, m_text2);
    QWidget* previous = m_text2;
    for (QWidget* option : m_options->tabOrder()) {
        setTabOrder(previous, option);
        previous = option;
    }
    setTabOrder(previous, m_command3);

    // Enter on a focused button presses it, as Space does.
    for (QPushButton* button : {m_command1, m_command2, m_command3})
        button->setAutoDefault(true);

    connect(m_command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(m_command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(m_command3, &QPushButton::clicked, this, &Form1::Command3_Click);
}

// The controls keep their designed places. Buttons and the frame's title use the system's font
// where their captions fit; the settings' captions, packed into fixed widths, get the largest
// font (condensed if need be) in which every one of them reads whole.
void Form1::useFittingFonts()
{
    const QFont system = QApplication::font();
    for (QPushButton* button : {m_command1, m_command2, m_command3}) {
        button->setFont(fittingFont(
            system,
            [button](const QFontMetrics& metrics) {
                return metrics.horizontalAdvance(button->text()) + 12 <= button->width();
            },
            false));
    }

    const QList<QLabel*> labels = m_frame1->findChildren<QLabel*>();
    const QFont captions = fittingFont(
        system,
        [&](const QFontMetrics& metrics) {
            bool fits = metrics.height() <= 17;
            for (const QLabel* label : labels)
                fits = fits && metrics.horizontalAdvance(label->text().trimmed()) + CaptionGap <=
                                   captionRoom(label);
            for (const QLineEdit* box : {m_text1, m_text2})
                fits = fits && metrics.horizontalAdvance(box->text()) + 8 <= box->width();
            return fits;
        },
        true);
    // The frame's style sheet would otherwise give it and its children the default font.
    m_frame1->setFont(fittingFont(
        system,
        [this](const QFontMetrics& metrics) {
            return metrics.horizontalAdvance(m_frame1->title()) + 24 <= m_frame1->width() &&
                   metrics.height() <= 17;
        },
        false));
    for (QWidget* child : m_frame1->findChildren<QWidget*>())
        child->setFont(captions);

    // The tracing options read like the settings beside them, smaller only if they must.
    QFont options = captions;
    for (int pixels = QFontInfo(captions).pixelSize(); pixels >= 7; --pixels) {
        options.setPixelSize(pixels);
        if (m_options->arrange(options))
            break;
    }
}

int Form1::ScaleWidth() const
{
    return m_surface->width();
}

int Form1::ScaleHeight() const
{
    return m_surface->height();
}

bool Form1::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_surface && event->type() == QEvent::Resize)
        Form_Resize();
    if (watched == m_surface && event->type() == QEvent::Paint && m_picture1->hasFocus()) {
        // The picture area's focus frame: two pixels around it, in the margin it leaves.
        QPainter painter(m_surface);
        const QRect area = m_picture1->geometry().adjusted(-2, -2, 2, 2);
        const QColor frame = palette().color(QPalette::Highlight);
        painter.fillRect(area.left(), area.top(), area.width(), 2, frame);
        painter.fillRect(area.left(), area.bottom() - 1, area.width(), 2, frame);
        painter.fillRect(area.left(), area.top(), 2, area.height(), frame);
        painter.fillRect(area.right() - 1, area.top(), 2, area.height(), frame);
    }
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
    m_command1->move(m_command1->x(), bottom - ControlsAboveBottom);
    m_command2->move(m_command2->x(), bottom - ControlsAboveBottom);
    m_command3->move(m_command3->x(), bottom - ControlsAboveBottom);
    m_image1[0]->move(m_image1[0]->x(), bottom - BusyAboveBottom);
    m_image1[1]->move(m_image1[1]->x(), bottom - BusyAboveBottom);
    m_frame1->move(m_frame1->x(), bottom - ControlsAboveBottom);
    m_options->move(m_options->x(), bottom - ControlsAboveBottom);
    if (m_bigPicture) {
        m_picture1->resize(ScaleWidth() - PictureMarginWidth, ScaleHeight() - PictureMarginHeight);
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
    m_picture1->setPicture(raster);
    fitPictureArea(QSize(raster.width(), raster.height()));
    setWindowTitle(caption() + QStringLiteral(" - ") + path);
    // out.plt is written beside the picture.
    QDir::setCurrent(QFileInfo(path).absolutePath());
    m_viewMenu->setPlotSizeEnabled(true);
    m_exportMenu->setEnabled(true);
    m_status->showNote(QString());
    retrace();
}

void Form1::fitPictureArea(QSize shown)
{
    m_bigPicture = false;
    m_picture1->resize(shown);
    // Strict comparisons: a picture exactly as large as the room is not cut.
    if (ScaleHeight() - PictureMarginHeight < shown.height()) {
        m_bigPicture = true;
        m_picture1->resize(m_picture1->width(), ScaleHeight() - PictureMarginHeight);
    }
    if (ScaleWidth() - PictureMarginWidth < shown.width()) {
        m_bigPicture = true;
        m_picture1->resize(ScaleWidth() - PictureMarginWidth, m_picture1->height());
    }
}

// The largest zoom at which the whole picture fits the room.
void Form1::fitInWindow()
{
    const Raster& raster = m_picture1->picture();
    if (raster.isNull())
        return;
    const double room = std::min(double(ScaleWidth() - PictureMarginWidth) / raster.width(),
                                 double(ScaleHeight() - PictureMarginHeight) / raster.height());
    m_picture1->setZoomStep(static_cast<int>(std::floor(std::log2(room))));
}

void Form1::setPlotSize()
{
    const Raster& raster = m_picture1->picture();
    if (raster.isNull())
        return;
    const std::optional<QString> scale =
        PlotSizeQuestion::ask(m_platform, QSize(raster.width(), raster.height()),
                              parseNumber(m_text1->text().toStdString()));
    if (scale)
        m_text1->setNumberText(*scale);
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
    const Raster& raster = m_picture1->picture();
    if (raster.isNull())
        return;
    // The same settings a run takes, so what is shown is what will be written.
    m_picture1->releaseTraced();
    m_analysis->start(raster, traceSettings());
    showStatus();
}

void Form1::settingsChanged()
{
    const std::optional<double> scale = parseNumber(m_text1->text().toStdString());
    const std::optional<double> thickness = parseNumber(m_text2->text().toStdString());
    m_picture1->setPlotLook(scale.value_or(0.0), thickness.value_or(0.0));
    showStatus();
}

void Form1::showStatus()
{
    StatusFacts facts;
    const Raster& raster = m_picture1->picture();
    if (!raster.isNull())
        facts.picture = QSize(raster.width(), raster.height());
    facts.scaleText = m_text1->text();
    facts.thicknessText = m_text2->text();
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
    const ColorValue p = m_picture1->Point(x, y);
    if (p > NoColor && button != Qt::NoButton)
        m_shape1->setFillColor(m_picture1->Point(x, y));
}

Raster Form1::picture() const
{
    return m_picture1->picture();
}

ColorValue Form1::targetColor() const
{
    return m_shape1->FillColor();
}

TraceSettings Form1::traceSettings() const
{
    return m_options->settings(targetColor());
}

QString Form1::scaleText() const
{
    return m_text1->text();
}

QString Form1::thicknessText() const
{
    return m_text2->text();
}

void Form1::setMakeButtonVisible(bool visible)
{
    m_command1->setVisible(visible);
    // One plot at a time: no export while one is being written.
    m_exportMenu->setEnabled(visible && !m_fileName.isEmpty());
}

void Form1::setBusyPictureVisible(int index, bool visible)
{
    m_image1[index]->setVisible(visible);
}

} // namespace kelviq
