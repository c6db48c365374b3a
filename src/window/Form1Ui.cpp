#include "window/Form1Ui.h"

#include "window/Artwork.h"
#include "window/ColorSwatch.h"
#include "window/NumberBox.h"
#include "window/PictureArea.h"
#include "window/TraceOptions.h"

#include <QAction>
#include <QApplication>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QStatusBar>

namespace kelviq {

namespace {

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

void Form1Ui::setupUi(QMainWindow* form)
{
    about = form->menuBar()->addAction(QStringLiteral("About"));
    about->setObjectName(QStringLiteral("about"));

    surface = new QWidget(form);
    surface->setObjectName(QStringLiteral("Form1_client"));
    // A window made smaller than this springs back in the dimension that is too small.
    surface->setMinimumSize(MinimumWidth, MinimumHeight);
    surface->installEventFilter(form);
    form->setCentralWidget(surface);

    createControls();
    useFittingFonts();
}

void Form1Ui::resizeToDesign(QMainWindow* form) const
{
    form->resize(DesignWidth, MinimumHeight + form->menuBar()->sizeHint().height() +
                                  form->statusBar()->sizeHint().height());
}

void Form1Ui::createControls()
{
    QWidget* form = surface;

    Picture1 = new PictureArea(form);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setGeometry(8, 8, 1001, 636);
    // The focus frame comes and goes with the focus.
    QObject::connect(Picture1, &PictureArea::focusChanged, surface, qOverload<>(&QWidget::update));

    Command1 =
        addButton(form, "Command1", QStringLiteral("3 - Make out.plt"), QRect(784, 656, 105, 57));
    Command2 =
        addButton(form, "Command2", QStringLiteral("1 - Select BMP file"), QRect(16, 656, 121, 57));

    Frame1 = new QGroupBox(QStringLiteral("2 - Settings"), form);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setGeometry(152, 656, 385, 57);
    // The caption sits on the border line, so the frame's box starts near its top edge and
    // holds the separators whole.
    Frame1->setStyleSheet(QStringLiteral(
        "QGroupBox#Frame1 { border: 1px solid palette(mid); border-radius: 3px; margin-top: 6px; }"
        "QGroupBox#Frame1::title { subcontrol-origin: margin; left: 8px; padding: 0 2px; }"));
    addLabel(Frame1, "Label1_0", QStringLiteral("Lines Thick:"), QRect(16, 24, 73, 17));
    addLabel(Frame1, "Label2_0", QStringLiteral("Scale:  1 Pixel is"), QRect(144, 24, 105, 17));
    addLabel(Frame1, "Label2_2", QStringLiteral("Mils"), QRect(256, 24, 33, 17));
    Text1 = addTextBox(Frame1, "Text1", QStringLiteral("2"), QRect(224, 22, 25, 19));
    Text2 = addTextBox(Frame1, "Text2", QStringLiteral("10"), QRect(80, 22, 25, 19));
    addLabel(Frame1, "Label2_1", QStringLiteral("Mils"), QRect(112, 24, 33, 17));
    addLabel(Frame1, "Label1_1", QStringLiteral("Pick Color: "), QRect(288, 24, 65, 17));
    Shape1 = new ColorSwatch(Frame1);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setGeometry(344, 24, 17, 17);
    addSeparator(Frame1, "Line1_0", 136);
    addSeparator(Frame1, "Line1_1", 280);
    // Labels reach under the boxes and the swatch beside them; those stay on top.
    Text1->raise();
    Text2->raise();
    Shape1->raise();

    // In the free space between the frame and "3 - Make out.plt".
    traceOptions = new TraceOptions(form);
    traceOptions->setGeometry(OptionsLeft, 656, OptionsWidth, 57);

    Command3 = addButton(form, "Command3", QStringLiteral("4 - Bye"), QRect(904, 656, 105, 57));

    for (int i = 0; i < 2; ++i) {
        auto* image = new QLabel(form);
        image->setObjectName(QStringLiteral("Image1_%1").arg(i));
        image->setPixmap(QPixmap::fromImage(Artwork::busyPicture(i)));
        image->setScaledContents(true);
        image->setGeometry(808, 648, 65, 71);
        image->hide();
        image->raise();
        Image1[i] = image;
    }

    QWidget::setTabOrder(Picture1, Command1);
    QWidget::setTabOrder(Command1, Command2);
    QWidget::setTabOrder(Command2, Text1);
    QWidget::setTabOrder(Text1, Text2);
    QWidget* previous = Text2;
    for (QWidget* option : traceOptions->tabOrder()) {
        QWidget::setTabOrder(previous, option);
        previous = option;
    }
    QWidget::setTabOrder(previous, Command3);

    // Enter on a focused button presses it, as Space does.
    for (QPushButton* button : {Command1, Command2, Command3})
        button->setAutoDefault(true);
}

// The controls keep their designed places. Buttons and the frame's title use the system's font
// where their captions fit; the settings' captions, packed into fixed widths, get the largest
// font (condensed if need be) in which every one of them reads whole.
void Form1Ui::useFittingFonts()
{
    const QFont system = QApplication::font();
    for (QPushButton* button : {Command1, Command2, Command3}) {
        button->setFont(fittingFont(
            system,
            [button](const QFontMetrics& metrics) {
                return metrics.horizontalAdvance(button->text()) + 12 <= button->width();
            },
            false));
    }

    const QList<QLabel*> labels = Frame1->findChildren<QLabel*>();
    const QFont captions = fittingFont(
        system,
        [&](const QFontMetrics& metrics) {
            bool fits = metrics.height() <= 17;
            for (const QLabel* label : labels)
                fits = fits && metrics.horizontalAdvance(label->text().trimmed()) + CaptionGap <=
                                   captionRoom(label);
            for (const QLineEdit* box : {Text1, Text2})
                fits = fits && metrics.horizontalAdvance(box->text()) + 8 <= box->width();
            return fits;
        },
        true);
    // The frame's style sheet would otherwise give it and its children the default font.
    Frame1->setFont(fittingFont(
        system,
        [this](const QFontMetrics& metrics) {
            return metrics.horizontalAdvance(Frame1->title()) + 24 <= Frame1->width() &&
                   metrics.height() <= 17;
        },
        false));
    for (QWidget* child : Frame1->findChildren<QWidget*>())
        child->setFont(captions);

    // The tracing options read like the settings beside them, smaller only if they must.
    QFont options = captions;
    for (int pixels = QFontInfo(captions).pixelSize(); pixels >= 7; --pixels) {
        options.setPixelSize(pixels);
        if (traceOptions->arrange(options))
            break;
    }
}

void Form1Ui::paintFocusFrame() const
{
    if (!Picture1->hasFocus())
        return;
    // The picture area's focus frame: two pixels around it, in the margin it leaves.
    QPainter painter(surface);
    const QRect area = Picture1->geometry().adjusted(-2, -2, 2, 2);
    const QColor frame = surface->window()->palette().color(QPalette::Highlight);
    painter.fillRect(area.left(), area.top(), area.width(), 2, frame);
    painter.fillRect(area.left(), area.bottom() - 1, area.width(), 2, frame);
    painter.fillRect(area.left(), area.top(), 2, area.height(), frame);
    painter.fillRect(area.right() - 1, area.top(), 2, area.height(), frame);
}

} // namespace kelviq
