#pragma once

#include <QObject>
#include <QSize>

class QMainWindow;
class QScrollArea;
class QScreen;
class QWidget;

namespace kelviq {

// Keeps the window within the screen it is on. The form's client surface has a minimum size;
// where the screen's free area is smaller than the window that minimum makes, the minimum
// shrinks to the screen: the picture area gives up the room in height (the controls keep
// their places along the bottom edge), and what no longer fits across is scrolled to (Tab
// scrolls to the control it reaches). Wherever the screen allows, the form's minimum stands.
class ScreenFit : public QObject
{
    Q_OBJECT

public:
    // Puts surface into a frameless scroll area as form's central widget. The surface's
    // minimum size is the form's; it never gets lower than leastHeight.
    ScreenFit(QMainWindow* form, QWidget* surface, int leastHeight);

    struct Minimums
    {
        QSize surface; // the client surface (ScaleWidth × ScaleHeight at least)
        QSize view;    // what shows of it
    };
    // For a client area of at most room; a scroll bar across takes extent pixels of height.
    static Minimums fit(QSize minimum, int leastHeight, QSize room, int extent);

    // The room the window's screen leaves the client area now.
    QSize room() const;
    // Sets the minimums for the screen, and makes the window fit it where it does not.
    void apply();
    // As much of room, from topLeft of the surface on, as the window shows.
    QSize inSight(QPoint topLeft, QSize room) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void watchScreen(QScreen* screen);
    void screenChanged(QScreen* screen);

    QMainWindow* m_form;
    QWidget* m_surface;
    QScrollArea* m_view;
    QSize m_minimum;
    int m_leastHeight;
};

} // namespace kelviq
