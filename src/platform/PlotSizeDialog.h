#pragma once

#include "platform/PlatformServices.h"

#include <QDialog>

class QComboBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;

namespace kelviq {

// "Set Plot Size": the wanted width or height, a number and its unit, and below them what the
// window says that gives (the scale), updated while the user types.
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
    QDialogButtonBox* m_buttons;
};

} // namespace kelviq
