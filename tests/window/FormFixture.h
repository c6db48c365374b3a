#pragma once

#include "ColorSwatch.h"
#include "Form1.h"
#include "PictureArea.h"
#include "RecordingPlatform.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

// The window on a recording platform, a folder for pictures, and the controls the tests use.
// start() in init(), stop() in cleanup().
class FormFixture
{
protected:
    void start()
    {
        m_previousDir = QDir::currentPath();
        m_dir = std::make_unique<QTemporaryDir>();
        m_platform = std::make_unique<kelviq::RecordingPlatform>();
        m_form = std::make_unique<kelviq::Form1>(*m_platform);
        m_form->show();
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
        QCOMPARE(QSize(m_form->ScaleWidth(), m_form->ScaleHeight()), QSize(1024, 725));
    }
    void stop()
    {
        m_form.reset();
        m_platform.reset();
        QDir::setCurrent(m_previousDir);
        m_dir.reset();
    }

    QString savePicture(const QString& name, const QImage& image)
    {
        const QString path = m_dir->filePath(name);
        if (!image.save(path, "BMP"))
            qWarning("cannot save %s", qPrintable(path));
        return path;
    }
    // "1 - Select BMP file", the dialog answering with path (empty: cancelled).
    void choose(const QString& path)
    {
        m_platform->setNextOpenFileAnswer(path);
        QTest::mouseClick(button("Command2"), Qt::LeftButton);
    }
    void type(const char* name, const QString& text)
    {
        box(name)->selectAll();
        QTest::keyClicks(box(name), text);
    }
    void trigger(const QString& action) { m_form->findChild<QAction*>(action)->trigger(); }

    QPushButton* button(const char* name) const { return m_form->findChild<QPushButton*>(name); }
    QLineEdit* box(const char* name) const { return m_form->findChild<QLineEdit*>(name); }
    kelviq::PictureArea* picture1() const
    {
        return m_form->findChild<kelviq::PictureArea*>("Picture1");
    }
    kelviq::ColorValue swatch() const
    {
        return m_form->findChild<kelviq::ColorSwatch*>("Shape1")->FillColor();
    }
    QString status(const char* part) const { return m_form->findChild<QLabel*>(part)->text(); }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_previousDir;
    std::unique_ptr<kelviq::RecordingPlatform> m_platform;
    std::unique_ptr<kelviq::Form1> m_form;
};
