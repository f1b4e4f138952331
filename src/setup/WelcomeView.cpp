#include "setup/WelcomeView.h"

#include "platform/Drives.h"
#include "platform/MountSource.h"
#include "setup/DialogSetupPrompts.h"
#include "setup/SheetParts.h"
#include "setup/OffsiteIntroHeader.h"
#include "setup/WelcomeModel.h"
#include "shell/StatusManager.h"
#include "widgets/BoundedScrollArea.h"
#include "widgets/Divider.h"
#include "widgets/ElidedText.h"
#include "widgets/RoundedCard.h"
#include "widgets/SymbolView.h"
#include "widgets/ToneLabel.h"
#include "widgets/WarningBox.h"
#include "widgets/TextButton.h"
#include "widgets/Theme.h"

#include <QAbstractButton>
#include <QDragEnterEvent>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace larkfold {
namespace {

namespace fs = std::filesystem;
using Step = WelcomeModel::Step;

constexpr int kStepDotPixels = 8;
constexpr int kDropZoneHeight = 140;
constexpr int kVolumeListMaxHeight = 140;
constexpr int kCloudListMaxHeight = 130;

QString text(const fs::path& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
}

QString lastComponent(const fs::path& path)
{
    const QString name = text(path.filename());
    return name.isEmpty() ? QStringLiteral("/") : name;
}

// The folder's icon as the file manager shows it; our own symbol where the desktop has none for it.
QPixmap folderIcon(const fs::path& path, int side, const QString& fallbackSymbol = QStringLiteral("folder.fill"))
{
    static QFileIconProvider provider;
    QPixmap icon = provider.icon(QFileInfo(text(path))).pixmap(side, side);
    if (icon.isNull())
        icon = Theme::symbol(fallbackSymbol, Theme::systemFont(side * 0.6), Theme::secondaryLabelColor());
    return icon;
}

// A flat text button in a colour of the theme, without a focus ring.
TextButton* linkButton(const QString& title, const QFont& font, Tone tone, QWidget* parent = nullptr)
{
    auto* button = new TextButton(title, font, tone, parent);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

// The source's drop zone: dashed while waiting, solid while a folder hovers over it. Only the
// zone takes drops, and its highlight lasts as long as the drag stays over it.
class DropZone : public QWidget {
public:
    explicit DropZone(QWidget* parent = nullptr) : QWidget(parent)
    {
        setFixedHeight(kDropZoneHeight);
        setAcceptDrops(true);
        setTargeted(false);
    }
    void setTargeted(bool targeted)
    {
        m_targeted = targeted;
        setProperty("dropTargeted", targeted);
        update();
    }
    std::function<void()> onClick;
    // Whether the dropped URLs were taken.
    std::function<bool(const QList<QUrl>&)> onDrop;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override
    {
        if (!onDrop || !event->mimeData()->hasUrls())
            return;
        event->acceptProposedAction();
        setTargeted(true);
    }
    void dragLeaveEvent(QDragLeaveEvent*) override { setTargeted(false); }
    void dropEvent(QDropEvent* event) override
    {
        setTargeted(false);
        if (onDrop && onDrop(event->mimeData()->urls()))
            event->acceptProposedAction();
    }

    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor fill = Theme::green();
        fill.setAlphaF(m_targeted ? 0.07 : 0.02);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 10, 10);
        painter.fillPath(shape, fill);
        QPen pen;
        if (m_targeted) {
            pen = QPen(Theme::green(), 2);
        } else {
            QColor faint = Theme::green();
            faint.setAlphaF(0.25);
            pen = QPen(faint, 1);
            pen.setDashPattern({6, 4});
        }
        painter.strokePath(shape, pen);
    }
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton && onClick)
            onClick();
    }

private:
    bool m_targeted = false;
};

QWidget* column(QWidget* parent, int spacing, QBoxLayout** layoutOut, const QMargins& margins = {})
{
    auto* widget = new QWidget(parent);
    auto* layout = new QVBoxLayout(widget);
    layout->setContentsMargins(margins);
    layout->setSpacing(spacing);
    *layoutOut = layout;
    return widget;
}

// A centred block for an empty list: symbol, text and hint.
QWidget* emptyState(const QString& symbol, const QString& title, const QString& hint, Tone hintTone,
                    int padding)
{
    QBoxLayout* layout = nullptr;
    QWidget* block = column(nullptr, 8, &layout, QMargins(0, padding, 0, padding));
    layout->addWidget(new SymbolView(symbol, Theme::systemFont(28, QFont::Light), Tone::tertiary), 0,
                      Qt::AlignHCenter);
    layout->addWidget(makeText(title, Theme::bodyFont(), Tone::secondary), 0, Qt::AlignHCenter);
    QLabel* second = makeText(hint, Theme::captionFont(), hintTone);
    second->setAlignment(Qt::AlignHCenter);
    second->setWordWrap(true);
    layout->addWidget(second);
    return block;
}

// A scrolling list on a rounded card; the rows go into `rows`.
QWidget* listCard(int maxHeight, QBoxLayout** rows)
{
    auto* card = new RoundedCard(8);
    auto* layout = new QVBoxLayout(card);
    layout->setContentsMargins(0, 0, 0, 0);
    QWidget* content = column(nullptr, 4, rows, QMargins(4, 4, 4, 4));
    auto* area = new BoundedScrollArea(content, maxHeight, card);
    // The card shows through the area and its viewport.
    area->setStyleSheet(QStringLiteral("QScrollArea, QScrollArea > QWidget > QWidget { background: transparent; }"));
    layout->addWidget(area);
    card->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    return card;
}

QString volumeName(const VolumeMonitor::VolumeInfo& volume)
{
    if (!volume.id.filename().empty())
        return volume.name;
    // The root file system: its label, as a user knows the computer's own disk.
    for (const platform::MountEntry& mount : platform::systemMountSource().mounts())
        if (mount.mountPoint == "/")
            if (const QString label = platform::fileSystemLabel(mount); !label.isEmpty())
                return label;
    return QStringLiteral("Computer");
}

// One step's dot in the header: green for the step shown, faint for the others, in the colours of
// the palette as it is drawn.
class StepDot : public QWidget {
public:
    explicit StepDot(QWidget* parent) : QWidget(parent)
    {
        setObjectName(QStringLiteral("stepDot"));
        setFixedSize(kStepDotPixels, kStepDotPixels);
    }

    void setCurrent(bool current)
    {
        if (m_current != current) {
            m_current = current;
            update();
        }
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(m_current ? Theme::green() : Theme::tertiaryFill());
        painter.drawEllipse(QRectF(rect()));
    }

private:
    bool m_current = false;
};

} // namespace

struct WelcomeView::Parts {
    std::unique_ptr<SetupPrompts> prompts;
    StatusManager* statusManager = nullptr;
    QLabel* subtitle = nullptr;
    QLabel* counter = nullptr;
    std::vector<StepDot*> dots;
    QWidget* stepArea = nullptr;
    QWidget* page = nullptr;
    TextButton* back = nullptr;
    QPushButton* primary = nullptr;
};

WelcomeView::WelcomeView(StatusManager& statusManager, ConfigStore& configStore,
                         std::unique_ptr<SetupPrompts> prompts, QWidget* parent)
    : QWidget(parent), m_parts(std::make_unique<Parts>())
{
    m_parts->prompts = prompts ? std::move(prompts) : std::make_unique<DialogSetupPrompts>(this);
    m_parts->statusManager = &statusManager;
    m_model = std::make_unique<WelcomeModel>(statusManager, configStore, *m_parts->prompts);
    setFixedWidth(kWidth);
    // The buttons take no focus, so the view keeps it and hears Return.
    setFocusPolicy(Qt::StrongFocus);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    // Header: symbol, title and step, the dots and the counter.
    auto* header = new QWidget(this);
    auto* headerRow = new QHBoxLayout(header);
    headerRow->setContentsMargins(24, 16, 24, 16);
    headerRow->setSpacing(12);
    headerRow->addWidget(new SymbolView(QStringLiteral("externaldrive.fill.badge.checkmark"),
                                     Theme::systemFont(22, QFont::Light), Tone::green));
    QBoxLayout* titles = nullptr;
    headerRow->addWidget(column(header, 2, &titles));
    titles->addWidget(makeText(QStringLiteral("Welcome to Larkfold"), Theme::titleFont(), Tone::label));
    m_parts->subtitle = makeText(QString(), Theme::bodyFont(), Tone::secondary);
    m_parts->subtitle->setObjectName(QStringLiteral("subtitle"));
    titles->addWidget(m_parts->subtitle);
    headerRow->addStretch(1);
    auto* dots = new QHBoxLayout;
    dots->setSpacing(5);
    for (int i = 0; i < WelcomeModel::kStepCount; ++i) {
        auto* dot = new StepDot(header);
        m_parts->dots.push_back(dot);
        dots->addWidget(dot);
    }
    headerRow->addLayout(dots);
    headerRow->addSpacing(8 - headerRow->spacing());
    m_parts->counter = makeText(QString(), Theme::smallFont(), Tone::tertiary);
    m_parts->counter->setObjectName(QStringLiteral("counter"));
    headerRow->addWidget(m_parts->counter);
    layout->addWidget(header);
    layout->addWidget(new Divider(0, 0, this));

    m_parts->stepArea = new QWidget(this);
    m_parts->stepArea->setFixedSize(kWidth, kStepHeight);
    auto* stepLayout = new QVBoxLayout(m_parts->stepArea);
    stepLayout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_parts->stepArea);
    layout->addWidget(new Divider(0, 0, this));

    // Footer: Back, then the primary button.
    auto* footer = new QWidget(this);
    auto* footerRow = new QHBoxLayout(footer);
    footerRow->setContentsMargins(24, 14, 24, 14);
    m_parts->back = linkButton(QStringLiteral("Back"), Theme::systemFont(13), Tone::secondary, footer);
    m_parts->back->setObjectName(QStringLiteral("back"));
    footerRow->addWidget(m_parts->back);
    footerRow->addStretch(1);
    m_parts->primary = new QPushButton(footer);
    m_parts->primary->setObjectName(QStringLiteral("primary"));
    m_parts->primary->setFocusPolicy(Qt::NoFocus);
    m_parts->primary->setDefault(true);
    m_parts->primary->setAutoDefault(true);
    m_parts->primary->setFont(Theme::systemFont(13, QFont::DemiBold));
    footerRow->addWidget(m_parts->primary);
    layout->addWidget(footer);

    connect(m_parts->back, &QAbstractButton::clicked, m_model.get(), &WelcomeModel::goBack);
    connect(m_parts->primary, &QPushButton::clicked, m_model.get(), &WelcomeModel::advance);
    connect(m_model.get(), &WelcomeModel::changed, this, [this] {
        refreshHeader();
        rebuildStep();
    });
    connect(m_model.get(), &WelcomeModel::completed, this, &WelcomeView::completed);
    connect(&statusManager.volumeMonitor(), &VolumeMonitor::mountedVolumesChanged, this, [this] {
        if (m_model->step() == Step::pickDestination)
            rebuildStep();
    });
    refreshHeader();
    rebuildStep();
}

WelcomeView::~WelcomeView() = default;

void WelcomeView::refreshHeader()
{
    const Step step = m_model->step();
    m_parts->subtitle->setText(WelcomeModel::subtitle(step));
    m_parts->counter->setText(m_model->counterText());
    for (int i = 0; i < int(m_parts->dots.size()); ++i)
        m_parts->dots[i]->setCurrent(i == int(step));
    m_parts->back->setVisible(m_model->showsBack());
    m_parts->primary->setText(m_model->primaryButtonTitle());
    const bool enabled = m_model->canContinue();
    m_parts->primary->setEnabled(enabled);
    m_parts->primary->setStyleSheet(
        QStringLiteral("QPushButton { color: %1; background: %2; border: none; border-radius: 8px; padding: 7px 16px; }")
            .arg(Theme::white().name(QColor::HexArgb),
                 (enabled ? Theme::greenButtonFill() : Theme::tertiaryFill()).name(QColor::HexArgb)));
}

void WelcomeView::rebuildStep()
{
    // The old page goes at once from view; it is deleted later, since a click on it may be what asked.
    if (m_parts->page) {
        m_parts->page->hide();
        m_parts->stepArea->layout()->removeWidget(m_parts->page);
        m_parts->page->deleteLater();
    }
    const Step step = m_model->step();
    const int spacing = step == Step::pickOffsite ? 6 : step == Step::confirm ? 20 : 16;
    QBoxLayout* layout = nullptr;
    QWidget* page = column(m_parts->stepArea, spacing, &layout, QMargins(16, 16, 16, 16));
    m_parts->page = page;
    m_parts->stepArea->layout()->addWidget(page);
    WelcomeModel& model = *m_model;
    const auto addWarning = [&] {
        if (model.warning().isEmpty())
            return;
        auto* box = new WarningBox(page);
        box->setObjectName(QStringLiteral("warning"));
        box->setText(model.warning());
        layout->addWidget(box);
    };

    switch (step) {
    case Step::pickSource: {
        layout->addWidget(makeText(QStringLiteral("What do you want to keep safe?"), Theme::headingFont(),
                                    Tone::label));
        auto* zone = new DropZone(page);
        zone->setObjectName(QStringLiteral("dropZone"));
        zone->onDrop = [&model](const QList<QUrl>& urls) { return model.handleDrop(urls); };
        if (!model.source()) {
            QBoxLayout* inside = new QVBoxLayout(zone);
            inside->setSpacing(8);
            inside->addStretch(1);
            inside->addWidget(new SymbolView(QStringLiteral("folder.badge.plus"), Theme::systemFont(28, QFont::Light),
                                          Tone::tertiary),
                              0, Qt::AlignHCenter);
            inside->addWidget(makeText(QStringLiteral("Drop a folder here"), Theme::systemFont(13, QFont::Medium),
                                        Tone::secondary),
                              0, Qt::AlignHCenter);
            TextButton* choose = linkButton(QStringLiteral("Or choose a folder…"), Theme::systemFont(12), Tone::green);
            choose->setObjectName(QStringLiteral("chooseSource"));
            connect(choose, &QAbstractButton::clicked, &model, &WelcomeModel::chooseSourceFolder);
            inside->addWidget(choose, 0, Qt::AlignHCenter);
            inside->addStretch(1);
            zone->onClick = [&model] { model.chooseSourceFolder(); };
        } else {
            auto* inside = new QHBoxLayout(zone);
            inside->setContentsMargins(16, 0, 16, 0);
            inside->setSpacing(10);
            auto* icon = new QLabel(zone);
            icon->setPixmap(folderIcon(*model.source(), 36));
            inside->addWidget(icon);
            QBoxLayout* names = nullptr;
            inside->addWidget(column(zone, 2, &names), 1, Qt::AlignVCenter);
            names->addWidget(makeText(lastComponent(*model.source()), Theme::systemFont(13, QFont::Medium),
                                       Tone::label));
            names->addWidget(new ElidedText(text(model.source()->parent_path()), Theme::systemFont(11),
                                                  Tone::tertiary));
            auto* clear = new QPushButton(zone);
            clear->setFlat(true);
            clear->setFocusPolicy(Qt::NoFocus);
            clear->setIcon(Theme::symbol(QStringLiteral("xmark.circle.fill"), Theme::systemFont(16),
                                         Theme::tertiaryLabelColor(), devicePixelRatioF()));
            clear->setAccessibleName(QStringLiteral("Clear"));
            clear->setObjectName(QStringLiteral("clearSource"));
            connect(clear, &QPushButton::clicked, &model, &WelcomeModel::clearSource);
            inside->addWidget(clear);
        }
        layout->addWidget(zone);
        layout->addStretch(1);
        break;
    }
    case Step::pickDestination: {
        layout->addWidget(makeText(QStringLiteral("Where should copies go?"), Theme::headingFont(), Tone::label));
        const auto& volumes = m_parts->statusManager->volumeMonitor().mountedVolumes();
        if (volumes.empty()) {
            layout->addWidget(emptyState(QStringLiteral("externaldrive.badge.exclamationmark"),
                                         QStringLiteral("No external drives found."),
                                         QStringLiteral("Connect an external drive, or choose any folder."),
                                         Tone::secondary, 20));
        } else {
            QBoxLayout* rows = nullptr;
            layout->addWidget(listCard(kVolumeListMaxHeight, &rows));
            for (const VolumeMonitor::VolumeInfo& volume : volumes) {
                const bool selected = model.destination() == volume.id;
                auto* row = new RowButton(8, false);
                row->setObjectName(QStringLiteral("volumeRow"));
                row->setSelected(selected);
                new QHBoxLayout(row);
                auto* rowLayout = static_cast<QHBoxLayout*>(row->layout());
                rowLayout->setContentsMargins(12, 8, 12, 8);
                rowLayout->setSpacing(10);
                auto* icon = new QLabel(row);
                icon->setPixmap(folderIcon(volume.id, 22, QStringLiteral("externaldrive")));
                rowLayout->addWidget(icon);
                QBoxLayout* names = nullptr;
                rowLayout->addWidget(column(row, 1, &names), 1, Qt::AlignVCenter);
                names->addWidget(makeText(volumeName(volume), Theme::systemFont(12, QFont::Medium), Tone::label));
                if (volume.totalSpace >= 1)
                    names->addWidget(makeText(QString::asprintf("%.0f GB", double(volume.totalSpace) / 1e9),
                                               Theme::systemFont(10), Tone::tertiary));
                if (selected)
                    rowLayout->addWidget(new SymbolView(QStringLiteral("checkmark"), Theme::systemFont(12, QFont::DemiBold),
                                                     Tone::green));
                const fs::path start = volume.id;
                connect(row, &QAbstractButton::clicked, &model, [&model, start] { model.chooseDestinationFolder(start); });
                rows->addWidget(row);
            }
        }
        QLabel* note = makeText(QStringLiteral("Larkfold will create a folder called \"Larkfold\" in the location you "
                                                "pick. Your files will be mirrored inside it."),
                                 Theme::smallFont(), Tone::tertiary);
        note->setWordWrap(true);
        layout->addWidget(note);
        TextButton* any = linkButton(QStringLiteral("Choose any folder…"), Theme::systemFont(12), Tone::green);
        any->setObjectName(QStringLiteral("chooseAnyFolder"));
        connect(any, &QAbstractButton::clicked, &model, [&model] { model.chooseDestinationFolder(); });
        layout->addWidget(any, 0, Qt::AlignLeft);
        addWarning();
        layout->addStretch(1);
        break;
    }
    case Step::pickOffsite: {
        layout->addWidget(new OffsiteIntroHeader(page));
        const auto clouds = model.cloudFolders();
        if (clouds.empty()) {
            layout->addWidget(emptyState(QStringLiteral("icloud.slash"), QStringLiteral("No cloud folders detected."),
                                         QStringLiteral("You can still pick any folder as your offsite location."),
                                         Tone::tertiary, 12));
        } else {
            QBoxLayout* rows = nullptr;
            layout->addWidget(listCard(kCloudListMaxHeight, &rows));
            for (const CloudSyncDetector::AvailableProvider& cloud : clouds) {
                const bool selected = model.offsite() == cloud.url;
                auto* row = new RowButton(6, false);
                row->setObjectName(QStringLiteral("cloudRow"));
                row->setSelected(selected);
                new QHBoxLayout(row);
                auto* rowLayout = static_cast<QHBoxLayout*>(row->layout());
                rowLayout->setContentsMargins(10, 7, 10, 7);
                rowLayout->setSpacing(10);
                auto* symbol = new SymbolView(
                    cloud.provider == CloudSyncDetector::Provider::iCloud ? QStringLiteral("icloud.fill")
                                                                          : QStringLiteral("cloud.fill"),
                    Theme::systemFont(14), selected ? Tone::green : Tone::secondary, 22, row);
                rowLayout->addWidget(symbol);
                QBoxLayout* names = nullptr;
                rowLayout->addWidget(column(row, 1, &names), 1, Qt::AlignVCenter);
                QFont medium = Theme::bodyFont();
                medium.setWeight(QFont::Medium);
                names->addWidget(makeText(CloudSyncDetector::displayName(cloud.provider), medium, Tone::label));
                names->addWidget(new ElidedText(text(cloud.url), Theme::smallFont(), Tone::tertiary));
                if (selected)
                    rowLayout->addWidget(new SymbolView(QStringLiteral("checkmark.circle.fill"), Theme::systemFont(14),
                                                     Tone::green));
                const fs::path start = cloud.url;
                connect(row, &QAbstractButton::clicked, &model, [&model, start] { model.chooseOffsiteFolder(start); });
                rows->addWidget(row);
            }
        }
        auto* buttons = new QHBoxLayout;
        TextButton* any = linkButton(QStringLiteral("Choose any folder…"), Theme::systemFont(12), Tone::green);
        any->setObjectName(QStringLiteral("chooseAnyFolder"));
        connect(any, &QAbstractButton::clicked, &model, [&model] { model.chooseOffsiteFolder(); });
        buttons->addWidget(any);
        if (model.offsite()) {
            TextButton* clear = linkButton(QStringLiteral("Clear"), Theme::systemFont(12), Tone::tertiary);
            clear->setObjectName(QStringLiteral("clearOffsite"));
            connect(clear, &QAbstractButton::clicked, &model, &WelcomeModel::clearOffsite);
            buttons->addWidget(clear);
        }
        buttons->addStretch(1);
        layout->addLayout(buttons);
        addWarning();
        layout->addStretch(1);
        break;
    }
    case Step::confirm: {
        layout->addWidget(makeText(QStringLiteral("Ready to start."), Theme::headingFont(), Tone::label));
        if (model.source() && model.destination()) {
            auto* card = new RoundedCard(10, page);
            card->setObjectName(QStringLiteral("summaryCard"));
            auto* row = new QHBoxLayout(card);
            row->setContentsMargins(16, 16, 16, 16);
            row->setSpacing(0);
            const auto side = [&](const fs::path& folder, const QString& caption) {
                QBoxLayout* stack = nullptr;
                QWidget* part = column(card, 6, &stack);
                auto* icon = new QLabel(part);
                icon->setPixmap(folderIcon(folder, 32));
                stack->addWidget(icon, 0, Qt::AlignHCenter);
                QLabel* name = makeText(lastComponent(folder), Theme::systemFont(12, QFont::Medium), Tone::label);
                name->setAlignment(Qt::AlignHCenter);
                name->setWordWrap(true);
                stack->addWidget(name);
                stack->addWidget(makeText(caption, Theme::systemFont(10), Tone::tertiary), 0,
                                 Qt::AlignHCenter);
                row->addWidget(part, 1);
            };
            side(*model.source(), QStringLiteral("From"));
            row->addSpacing(8);
            row->addWidget(new SymbolView(QStringLiteral("arrow.right"), Theme::systemFont(16, QFont::Light), Tone::green));
            row->addSpacing(8);
            side(*model.destination(), QStringLiteral("To"));
            layout->addWidget(card);
        }
        QLabel* note = makeText(QStringLiteral("Larkfold will watch for changes and copy files automatically."),
                                 Theme::systemFont(11), Tone::secondary);
        note->setAlignment(Qt::AlignHCenter);
        layout->addWidget(note);
        addWarning();
        layout->addStretch(1);
        break;
    }
    }
}

void WelcomeView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    setFocus();
}

void WelcomeView::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && event->modifiers() == Qt::NoModifier) {
        m_model->advance();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace larkfold
