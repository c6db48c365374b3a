#include "platform/PlotSizeDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace kelviq {

PlotSizeDialog::PlotSizeDialog(const PlotSizeRequest& request, QWidget* parent)
    : QDialog(parent), m_request(request)
{
    setWindowTitle(QStringLiteral("Set Plot Size"));
    m_side = new QComboBox(this);
    m_side->addItems({QStringLiteral("Width"), QStringLiteral("Height")});
    m_side->setCurrentIndex(request.side == PlotSide::Height ? 1 : 0);
    m_number = new QLineEdit(request.number, this);
    m_unit = new QComboBox(this);
    m_unit->addItems(request.units);
    m_result = new QLabel(this);
    m_result->setObjectName(QStringLiteral("result"));
    m_result->setWordWrap(true);
    m_result->setMinimumWidth(m_result->fontMetrics().averageCharWidth() * 48);
    m_match = new QCheckBox(QStringLiteral("Set Lines Thick to match"), this);
    m_match->setObjectName(QStringLiteral("matchThickness"));
    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);

    auto* length = new QHBoxLayout;
    length->addWidget(m_number, 1);
    length->addWidget(m_unit);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("The plot's"), m_side);
    form->addRow(QStringLiteral("should be"), length);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    if (request.stated) {
        auto* stated = new QPushButton(request.stated->caption, this);
        stated->setObjectName(QStringLiteral("statedSize"));
        stated->setAutoDefault(false);
        form->addRow(QString(), stated);
        connect(stated, &QPushButton::clicked, this, [this] {
            const PlotSizeChoice& choice = *m_request.stated;
            m_side->setCurrentIndex(choice.side == PlotSide::Height ? 1 : 0);
            m_unit->setCurrentIndex(choice.unit);
            m_number->setText(choice.number);
        });
    }
    layout->addWidget(m_result);
    layout->addWidget(m_match);
    layout->addWidget(m_buttons);

    connect(m_side, &QComboBox::currentIndexChanged, this, &PlotSizeDialog::describe);
    connect(m_unit, &QComboBox::currentIndexChanged, this, &PlotSizeDialog::describe);
    connect(m_number, &QLineEdit::textChanged, this, &PlotSizeDialog::describe);
    connect(m_match, &QCheckBox::clicked, this, [this] { m_matchChosen = true; });
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // Typing replaces the number at once.
    m_number->setFocus();
    m_number->selectAll();
    describe();
}

PlotSizeAnswer PlotSizeDialog::answer() const
{
    return {m_side->currentIndex() == 1 ? PlotSide::Height : PlotSide::Width,
            m_number->text().trimmed() + m_unit->currentText(), m_match->isChecked()};
}

void PlotSizeDialog::describe()
{
    const PlotSizeAnswer wanted = answer();
    m_result->setText(m_request.describe ? m_request.describe(wanted.side, wanted.length)
                                         : QString());
    const bool acceptable =
        !m_request.acceptable || m_request.acceptable(wanted.side, wanted.length);
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(acceptable);
    if (!m_matchChosen && acceptable && m_request.matchThickness)
        m_match->setChecked(m_request.matchThickness(wanted.side, wanted.length));
}

} // namespace kelviq
