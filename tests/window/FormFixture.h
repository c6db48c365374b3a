#pragma once

#include "picture/RgbColor.h"
#include "support/RecordingPlatform.h"
#include "support/TestFiles.h"
#include "window/ColorSwatch.h"
#include "window/Form1.h"
#include "window/PictureArea.h"

#include <QAction>
#include <QBuffer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <memory>

using namespace kelviq;
using namespace testfiles;

// Every pixel its own colour: red is the column, green and blue the row.
inline QImage numbered(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(x, y % 256, y / 256));
    return image;
}

// The window on a recording platform, with a folder for pictures: start() in init(), stop() in
// cleanup().
class FormFixture
{
protected:
    void start()
    {
        QStandardPaths::setTestModeEnabled(true);
        m_previousDir = QDir::currentPath();
        m_dir = std::make_unique<QTemporaryDir>();
        m_platform = std::make_unique<RecordingPlatform>();
        m_form = std::make_unique<Form1>(*m_platform);
        m_form->show();
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    }
    void stop()
    {
        m_form.reset();
        QDir::setCurrent(m_previousDir);
    }

    // A bitmap stating no density, unlike Qt's writer (96 dpi), or the dots per metre given.
    QString savePicture(const QString& name, const QImage& image, quint32 dotsPerMetre = 0)
    {
        const QString path = m_dir->filePath(name);
        QByteArray data;
        QBuffer buffer(&data);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "BMP");
        for (const int at : {38, 42})
            qToLittleEndian(dotsPerMetre, data.data() + at);
        return writeFile(path, data) ? path : QString("cannot save " + path);
    }
    // "1 - Select BMP file", the dialog answering with path (empty: cancelled); waits until
    // the picture is read.
    void choose(const QString& path)
    {
        m_platform->setNextOpenFileAnswer(path);
        QTest::mouseClick(button("Command2"), Qt::LeftButton);
        waitForPicture();
    }
    void waitForPicture() { QTRY_VERIFY(!m_form->loading()); }
    // Replaces the text of a box or spin box by typing.
    void type(const char* name, const QString& text)
    {
        auto* widget = m_form->findChild<QWidget*>(name);
        QTest::keyClick(widget, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(widget, text);
    }
    void click(QPoint at) { QTest::mouseClick(picture1()->viewport(), Qt::LeftButton, {}, at); }
    QAction* action(const char* name) const { return m_form->findChild<QAction*>(name); }
    QPushButton* button(const char* name) const { return m_form->findChild<QPushButton*>(name); }
    QLineEdit* box(const char* name) const { return m_form->findChild<QLineEdit*>(name); }
    PictureArea* picture1() const { return m_form->findChild<PictureArea*>("Picture1"); }
    ColorValue swatch() const { return m_form->findChild<ColorSwatch*>("Shape1")->FillColor(); }
    QString status(const char* part) const { return m_form->findChild<QLabel*>(part)->text(); }

    // Waits until the background trace has counted the segments; returns the count.
    qint64 countedSegments()
    {
        static const QRegularExpression count(QStringLiteral("(\\d+) segments?$"));
        QRegularExpressionMatch match;
        [&] { QTRY_VERIFY((match = count.match(status("StatusFacts"))).hasMatch()); }();
        return match.hasMatch() ? match.captured(1).toLongLong() : -1;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_previousDir;
    std::unique_ptr<RecordingPlatform> m_platform;
    std::unique_ptr<Form1> m_form;
};
