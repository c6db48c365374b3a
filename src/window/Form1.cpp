#include "Form1.h"

#include "Artwork.h"
#include "ColorSwatch.h"
#include "PictureArea.h"
#include "PictureLoader.h"
#include "PlatformServices.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>

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

QLineEdit* addTextBox(QWidget* parent, const char* name, const QString& text, const QRect& geometry)
{
    auto* box = new QLineEdit(text, parent);
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

    m_surface = new QWidget(this);
    m_surface->setObjectName(QStringLiteral("Form1_client"));
    // A window made smaller than this springs back in the dimension that is too small.
    m_surface->setMinimumSize(MinimumWidth, MinimumHeight);
    m_surface->installEventFilter(this);
    setCentralWidget(m_surface);

    createControls();
    useFittingFont();
    Form_Load();
    // The design size; the minimum widens it at once.
    resize(DesignWidth, MinimumHeight + menuBar()->sizeHint().height());
}

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
    setTabOrder(m_text2, m_command3);

    connect(m_command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(m_command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(m_command3, &QPushButton::clicked, this, &Form1::Command3_Click);
}

// The controls keep their designed places, so the captions get the largest font that lets
// every one of them read whole.
void Form1::useFittingFont()
{
    QFont font = m_surface->font();
    const QList<QLabel*> labels = m_frame1->findChildren<QLabel*>();
    const QList<QPushButton*> buttons = {m_command1, m_command2, m_command3};
    const QList<QLineEdit*> boxes = {m_text1, m_text2};
    for (int pixels = 13; pixels >= 7; --pixels) {
        font.setPixelSize(pixels);
        const QFontMetrics metrics(font);
        bool fits = metrics.height() <= 17;
        for (const QLabel* label : labels)
            fits = fits && metrics.horizontalAdvance(label->text().trimmed()) + CaptionGap <=
                               captionRoom(label);
        for (const QPushButton* button : buttons)
            fits = fits && metrics.horizontalAdvance(button->text()) + 12 <= button->width();
        for (const QLineEdit* box : boxes)
            fits = fits && metrics.horizontalAdvance(box->text()) + 8 <= box->width();
        fits = fits && metrics.horizontalAdvance(m_frame1->title()) + 24 <= m_frame1->width();
        if (fits)
            break;
    }
    m_surface->setFont(font);
    // The frame's style sheet would otherwise give it and its children the default font.
    m_frame1->setFont(font);
    for (QWidget* child : m_frame1->findChildren<QWidget*>())
        child->setFont(font);
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
    m_lastRun = run.Command1_Click();
}

void Form1::Command2_Click()
{
    OpenFileRequest request;
    request.title = QStringLiteral("Open");
    request.filters = openFilters();
    request.selectedFilter = 1;
    const QString path = m_platform.chooseOpenFile(request);
    if (path.isEmpty())
        return; // cancelled: nothing changes

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

    m_bigPicture = false;
    m_fileName = path;
    m_picture1->setPicture(raster);
    m_picture1->resize(raster.width(), raster.height());
    // Strict comparisons: a picture exactly as large as the room is not cut.
    if (ScaleHeight() - PictureMarginHeight < raster.height()) {
        m_bigPicture = true;
        m_picture1->resize(m_picture1->width(), ScaleHeight() - PictureMarginHeight);
    }
    if (ScaleWidth() - PictureMarginWidth < raster.width()) {
        m_bigPicture = true;
        m_picture1->resize(ScaleWidth() - PictureMarginWidth, m_picture1->height());
    }
    setWindowTitle(caption() + QStringLiteral(" - ") + path);
    // out.plt is written beside the picture.
    QDir::setCurrent(QFileInfo(path).absolutePath());
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
}

void Form1::setBusyPictureVisible(int index, bool visible)
{
    m_image1[index]->setVisible(visible);
}

} // namespace kelviq
