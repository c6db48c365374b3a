#pragma once

class QAction;
class QGroupBox;
class QLabel;
class QMainWindow;
class QPushButton;
class QWidget;

namespace kelviq {

class ColorSwatch;
class NumberBox;
class PictureArea;
class TraceOptions;

// Form1's surface as it is laid out: every control at its designed place with its object name
// and caption, the fonts in which the captions fit, the tab order and the picture area's focus
// frame. The members carry the controls' names; Form1 gives them their behaviour.
class Form1Ui
{
public:
    // Distances from the bottom edge, and the room the picture area leaves around itself.
    static constexpr int ControlsAboveBottom = 69;
    static constexpr int BusyAboveBottom = 80;
    static constexpr int PictureMarginWidth = 24;
    static constexpr int PictureMarginHeight = 95;

    // Builds the "About" item and the client surface of form. The surface's events go to form's
    // event filter.
    void setupUi(QMainWindow* form);
    // The design size, once the menu bar and the status line are in place; the minimum widens
    // it at once.
    void resizeToDesign(QMainWindow* form) const;
    // The picture area's focus frame, while it has the focus: for the surface's paint event.
    void paintFocusFrame() const;

    QAction* about = nullptr;
    // "Form1_client": between the menu bar and the status line; its size is ScaleWidth and
    // ScaleHeight.
    QWidget* surface = nullptr;
    PictureArea* Picture1 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command3 = nullptr;
    QGroupBox* Frame1 = nullptr;
    NumberBox* Text1 = nullptr;
    NumberBox* Text2 = nullptr;
    ColorSwatch* Shape1 = nullptr;
    QLabel* Image1[2] = {nullptr, nullptr};
    TraceOptions* traceOptions = nullptr;

private:
    // Inner size the window is designed for, and the least it may shrink to.
    static constexpr int DesignWidth = 1020;
    static constexpr int MinimumWidth = 1024;
    static constexpr int MinimumHeight = 725;

    void createControls();
    void useFittingFonts();
};

} // namespace kelviq
