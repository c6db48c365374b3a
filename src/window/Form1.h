#pragma once

#include "ColorValue.h"
#include "ConversionFrontEnd.h"
#include "ConversionRun.h"

#include <QMainWindow>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kelviq {

class ColorSwatch;
class PictureArea;
class PlatformServices;

// The program's window: the picture area, the four numbered steps along the bottom edge and
// the About menu. Every handler runs on the user-interface thread; a conversion run lets
// events in once per row, so the other handlers may run in the middle of one.
class Form1 : public QMainWindow, private ConversionFrontEnd
{
    Q_OBJECT

public:
    explicit Form1(PlatformServices& platform, QWidget* parent = nullptr);

    // Inner (client) size in pixels, below the menu bar.
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
    QString scaleText() const override;
    QString thicknessText() const override;
    void setMakeButtonVisible(bool visible) override;
    void setBusyPictureVisible(int index, bool visible) override;

    void createControls();
    void useFittingFont();
    void pickColor(Qt::MouseButtons button, int x, int y);

    PlatformServices& m_platform;
    bool m_bigPicture = false;
    QString m_fileName;
    RunResult m_lastRun;

    QWidget* m_surface = nullptr;
    PictureArea* m_picture1 = nullptr;
    QPushButton* m_command1 = nullptr;
    QPushButton* m_command2 = nullptr;
    QPushButton* m_command3 = nullptr;
    QGroupBox* m_frame1 = nullptr;
    QLineEdit* m_text1 = nullptr;
    QLineEdit* m_text2 = nullptr;
    ColorSwatch* m_shape1 = nullptr;
    QLabel* m_image1[2] = {nullptr, nullptr};
};

} // namespace kelviq
