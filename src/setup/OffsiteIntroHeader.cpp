#include "setup/OffsiteIntroHeader.h"

#include "setup/SheetParts.h"
#include "widgets/ToneLabel.h"
#include "widgets/Theme.h"

#include <QLabel>
#include <QVBoxLayout>

namespace larkfold {
namespace {

constexpr int kSpacingPixels = 6;

} // namespace

OffsiteIntroHeader::OffsiteIntroHeader(QWidget* parent) : QWidget(parent)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(kSpacingPixels);
    QLabel* title = makeText(heading(), Theme::headingFont(), Tone::label, true, this);
    title->setObjectName(QStringLiteral("offsiteHeading"));
    column->addWidget(title);
    QLabel* text = makeText(explanation(), Theme::captionFont(), Tone::secondary, true, this);
    text->setObjectName(QStringLiteral("offsiteExplanation"));
    column->addWidget(text);
}

QString OffsiteIntroHeader::heading()
{
    return QStringLiteral("Want an offsite copy too?");
}

QString OffsiteIntroHeader::explanation()
{
    return QStringLiteral("Larkfold can also keep a copy in a cloud folder. That way, if anything ever happens to "
                          "your computer and your backup drive, you'd still have a copy.");
}

} // namespace larkfold
