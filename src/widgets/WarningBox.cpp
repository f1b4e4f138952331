#include "widgets/WarningBox.h"

#include "widgets/SymbolView.h"
#include "widgets/Theme.h"
#include "widgets/ToneLabel.h"

#include <QHBoxLayout>

namespace larkfold {
namespace {

constexpr int kPaddingPixels = 10;
constexpr int kSpacingPixels = 6;
constexpr int kCornerRadiusPixels = 8;
constexpr double kPoints = 11;

} // namespace

WarningBox::WarningBox(QWidget* parent) : RoundedCard(kCornerRadiusPixels, parent)
{
    setFill(Theme::warningFill());
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(kPaddingPixels, kPaddingPixels, kPaddingPixels, kPaddingPixels);
    layout->setSpacing(kSpacingPixels);
    layout->addWidget(new SymbolView(QStringLiteral("exclamationmark.triangle.fill"), Theme::systemFont(kPoints),
                                     Tone::amber, 0, this),
                      0, Qt::AlignTop);
    m_text = makeText({}, Theme::systemFont(kPoints), Tone::secondary, true, this);
    m_text->setObjectName(QStringLiteral("warningText"));
    layout->addWidget(m_text, 1);
}

void WarningBox::setText(const QString& text)
{
    m_text->setText(text);
}

QString WarningBox::text() const
{
    return m_text->text();
}

} // namespace larkfold
