#pragma once

#include "platform/PlatformServices.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;

namespace kelviq {

// "Set Plot Size": the wanted width or height, a number and its unit (or the size the picture
// states, by a button), below them what the window says that gives (the scale), updated while
// the user types, and "Set Lines Thick to match".
class PlotSizeDialog : public QDialog
{
    Q_OBJECT

public:
    explicit PlotSizeDialog(const PlotSizeRequest& request, QWidget* parent = nullptr);

    PlotSizeAnswer answer() const;

private:
    void describe();

    PlotSizeRequest m_request;
    QComboBox* m_side;
    QLineEdit* m_number;
    QComboBox* m_unit;
    QLabel* m_result;
    QCheckBox* m_match;
    // Until the user ticks or clears the box, it follows the window's advice for each answer.
    bool m_matchChosen = false;
    QDialogButtonBox* m_buttons;
};

} // namespace kelviq
