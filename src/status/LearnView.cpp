#include "status/LearnView.h"

#include "status/LearnTopic.h"
#include "widgets/Divider.h"
#include "widgets/PlainButton.h"
#include "widgets/SymbolView.h"
#include "widgets/Theme.h"
#include "widgets/ToneLabel.h"

#include <QAbstractButton>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPropertyAnimation>
#include <QVBoxLayout>
#include <QVariantAnimation>

namespace larkfold {
namespace {

constexpr int kViewWidth = 400;
constexpr int kViewHeight = 520;
constexpr int kContentPadding = 16;
constexpr int kHeaderSpacing = 4;
constexpr int kDividerSpace = 8;
constexpr int kHeaderLineSpacing = 10;
constexpr int kHeaderLinePadding = 8;
constexpr double kTopicSymbolPoints = 16;
constexpr int kTopicSymbolWidth = 24;
constexpr int kTitleSpacing = 2;
constexpr double kChevronPoints = 10;
constexpr double kOpenChevronDegrees = 90;
constexpr int kExplanationIndent = 34;
constexpr int kExplanationBottom = 8;

QFont semibold(QFont font)
{
    font.setWeight(QFont::DemiBold);
    return font;
}

// The chevron of a topic, which turns to point down while the topic is open.
class Chevron : public SymbolView {
public:
    explicit Chevron(QWidget* parent)
        : SymbolView(QStringLiteral("chevron.right"), Theme::systemFont(kChevronPoints, QFont::DemiBold), Tone::tertiary,
                     0, parent)
    {
    }

    double degrees() const { return m_degrees; }
    void setDegrees(double degrees)
    {
        m_degrees = degrees;
        setRotation(degrees);
    }

private:
    double m_degrees = 0;
};

void configure(QVariantAnimation& animation)
{
    animation.setDuration(Theme::quickAnimation().durationMs);
    animation.setEasingCurve(Theme::quickAnimation().curve);
}

} // namespace

// One topic: its header line and, while open, its explanation.
class TopicRow : public QWidget {
    Q_OBJECT
    Q_PROPERTY(bool expanded READ isExpanded)
    Q_PROPERTY(double chevronDegrees READ chevronDegrees)

public:
    TopicRow(const LearnTopic& topic, QWidget* parent);

    bool isExpanded() const { return m_expanded; }
    double chevronDegrees() const { return m_chevron->degrees(); }

private:
    void toggle();

    bool m_expanded = false;
    Chevron* m_chevron = nullptr;
    QWidget* m_explanation = nullptr;
    QGraphicsOpacityEffect* m_fade = nullptr;
    QVariantAnimation m_turn;
    QPropertyAnimation m_fadeAnimation;
};

TopicRow::TopicRow(const LearnTopic& topic, QWidget* parent) : QWidget(parent)
{
    auto* header = new PlainButton(this);
    header->setObjectName(QStringLiteral("topicHeader"));
    header->setAccessibleName(topic.title);
    auto* line = new QHBoxLayout(header);
    line->setContentsMargins(0, kHeaderLinePadding, 0, kHeaderLinePadding);
    line->setSpacing(kHeaderLineSpacing);
    line->addWidget(new SymbolView(topic.icon, Theme::systemFont(kTopicSymbolPoints), Tone::green, kTopicSymbolWidth, header));
    auto* texts = new QVBoxLayout;
    texts->setSpacing(kTitleSpacing);
    texts->addWidget(makeText(topic.title, semibold(Theme::bodyFont()), Tone::label, false, header));
    texts->addWidget(makeText(topic.subtitle, Theme::captionFont(), Tone::secondary, false, header));
    line->addLayout(texts);
    line->addStretch();
    m_chevron = new Chevron(header);
    line->addWidget(m_chevron);
    for (QWidget* child : header->findChildren<QWidget*>())
        child->setAttribute(Qt::WA_TransparentForMouseEvents);
    connect(header, &QAbstractButton::clicked, this, &TopicRow::toggle);

    m_explanation = new QWidget(this);
    auto* explanationLayout = new QVBoxLayout(m_explanation);
    explanationLayout->setContentsMargins(kExplanationIndent, 0, 0, kExplanationBottom);
    QLabel* text = makeText(topic.explanation, Theme::captionFont(), Tone::label, false, m_explanation);
    text->setObjectName(QStringLiteral("explanation"));
    text->setWordWrap(true);
    explanationLayout->addWidget(text);
    m_fade = new QGraphicsOpacityEffect(m_explanation);
    m_fade->setOpacity(0);
    m_explanation->setGraphicsEffect(m_fade);
    m_explanation->hide();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(header);
    layout->addWidget(m_explanation);
    layout->addWidget(new Divider(0, 0, this));

    configure(m_turn);
    connect(&m_turn, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { m_chevron->setDegrees(value.toDouble()); });
    m_fadeAnimation.setTargetObject(m_fade);
    m_fadeAnimation.setPropertyName("opacity");
    configure(m_fadeAnimation);
    connect(&m_fadeAnimation, &QAbstractAnimation::finished, this, [this] {
        if (!m_expanded)
            m_explanation->hide();
    });
}

void TopicRow::toggle()
{
    m_expanded = !m_expanded;
    m_turn.stop();
    m_turn.setStartValue(m_chevron->degrees());
    m_turn.setEndValue(m_expanded ? kOpenChevronDegrees : 0.0);
    m_turn.start();
    m_fadeAnimation.stop();
    m_fadeAnimation.setStartValue(m_fade->opacity());
    m_fadeAnimation.setEndValue(m_expanded ? 1.0 : 0.0);
    if (m_expanded)
        m_explanation->show();
    m_fadeAnimation.start();
}

LearnView::LearnView(QWidget* parent) : QScrollArea(parent)
{
    setWindowTitle(QStringLiteral("How Larkfold Works"));
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // The window background under the whole list.
    viewport()->setBackgroundRole(QPalette::Window);
    viewport()->setAutoFillBackground(true);

    auto* content = new QWidget;
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(kContentPadding, kContentPadding, kContentPadding, kContentPadding);
    layout->setSpacing(0);
    auto* header = new QVBoxLayout;
    header->setSpacing(kHeaderSpacing);
    header->addWidget(makeText(QStringLiteral("How Larkfold Keeps Your Files Safe"), Theme::titleFont(),
                                Tone::label, false, content));
    header->addWidget(makeText(QStringLiteral("Tap any topic to learn more."), Theme::captionFont(),
                                Tone::secondary, false, content));
    layout->addLayout(header);
    layout->addSpacing(kDividerSpace);
    layout->addWidget(new Divider(0, 0, content));
    layout->addSpacing(kDividerSpace);
    for (const LearnTopic& topic : learnTopics())
        layout->addWidget(new TopicRow(topic, content));
    layout->addStretch();
    setWidget(content);
    resize(sizeHint());
}

QSize LearnView::sizeHint() const
{
    return {kViewWidth, kViewHeight};
}

} // namespace larkfold

#include "LearnView.moc"
