#include "filing/FilingWindow.h"

#include "filing/DialogFilingPrompts.h"
#include "filing/PromoteView.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QVBoxLayout>

namespace larkfold {
namespace {

// Opens large enough to show a review with a few warnings without scrolling.
constexpr int kWidthPixels = 500;
constexpr int kHeightPixels = 560;

} // namespace

FilingWindow::FilingWindow(PromoteViewModel& model, std::unique_ptr<FilingPrompts> prompts, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_model(model)
    , m_prompts(prompts ? std::move(prompts) : std::make_unique<DialogFilingPrompts>())
{
    setWindowTitle(title());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_view = new PromoteView(model, *m_prompts, this);
    layout->addWidget(m_view);
    resize(kWidthPixels, kHeightPixels);
}

FilingWindow::~FilingWindow() = default;

void FilingWindow::keyPressEvent(QKeyEvent* event)
{
    QCoreApplication::sendEvent(m_view, event);
}

QString FilingWindow::title()
{
    return QStringLiteral("File a Finished Project");
}

} // namespace larkfold
