#include "setup/FolderChooser.h"

#include "platform/Drives.h"
#include "platform/Paths.h"
#include "platform/Utf8.h"

#include <QCheckBox>
#include <QFileIconProvider>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <system_error>

namespace larkfold {
namespace {

namespace fs = std::filesystem;

constexpr int kWidthPixels = 640;
constexpr int kHeightPixels = 420;
constexpr int kPlacesWidthPixels = 140;
constexpr int kPathRole = Qt::UserRole;

QString shown(const fs::path& path)
{
    return platform::readableText(path.native());
}

QByteArray bytesOf(const fs::path& path)
{
    return QByteArray::fromStdString(path.native());
}

fs::path pathOf(const QListWidgetItem* item)
{
    return fs::path(item->data(kPathRole).toByteArray().toStdString());
}

bool isFolder(const fs::path& path)
{
    std::error_code error;
    return fs::is_directory(path, error);
}

} // namespace

FolderChooser::FolderChooser(const FolderPanel& panel, QWidget* parent) : QDialog(parent), m_panel(panel)
{
    setWindowTitle(panel.message);
    resize(kWidthPixels, kHeightPixels);
    auto* column = new QVBoxLayout(this);

    auto* message = new QLabel(panel.message, this);
    message->setWordWrap(true);
    column->addWidget(message);

    auto* locationRow = new QHBoxLayout;
    auto* up = new QToolButton(this);
    up->setObjectName(QStringLiteral("upButton"));
    up->setIcon(style()->standardIcon(QStyle::SP_FileDialogToParent));
    up->setToolTip(QStringLiteral("Enclosing folder"));
    connect(up, &QToolButton::clicked, this, [this] { setFolder(m_folder.parent_path()); });
    locationRow->addWidget(up);
    m_location = new QLineEdit(this);
    m_location->setObjectName(QStringLiteral("location"));
    locationRow->addWidget(m_location, 1);
    column->addLayout(locationRow);

    auto* lists = new QHBoxLayout;
    m_places = new QListWidget(this);
    m_places->setObjectName(QStringLiteral("places"));
    m_places->setFixedWidth(kPlacesWidthPixels);
    const QIcon folderIcon = QFileIconProvider().icon(QFileIconProvider::Folder);
    const auto addPlace = [&](const QString& name, const fs::path& place) {
        auto* item = new QListWidgetItem(folderIcon, name, m_places);
        item->setData(kPathRole, bytesOf(place));
        item->setToolTip(shown(place));
    };
    addPlace(QStringLiteral("Home"), platform::homeFolder());
    if (const auto drives = platform::drivesFolder())
        addPlace(QStringLiteral("Drives"), *drives);
    addPlace(QStringLiteral("Computer"), "/");
    connect(m_places, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) { setFolder(pathOf(item)); });
    lists->addWidget(m_places);

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("folders"));
    m_list->setSelectionMode(panel.allowsMultipleSelection ? QAbstractItemView::ExtendedSelection
                                                           : QAbstractItemView::SingleSelection);
    connect(m_list, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) { setFolder(pathOf(item)); });
    lists->addWidget(m_list, 1);
    column->addLayout(lists, 1);

    auto* buttons = new QHBoxLayout;
    m_showHidden = new QCheckBox(QStringLiteral("Show hidden folders"), this);
    m_showHidden->setObjectName(QStringLiteral("showHidden"));
    connect(m_showHidden, &QCheckBox::toggled, this, &FolderChooser::refresh);
    buttons->addWidget(m_showHidden);
    if (panel.canCreateDirectories) {
        auto* create = new QPushButton(QStringLiteral("New Folder…"), this);
        create->setObjectName(QStringLiteral("newFolder"));
        create->setAutoDefault(false);
        connect(create, &QPushButton::clicked, this, &FolderChooser::createFolder);
        buttons->addWidget(create);
    }
    buttons->addStretch(1);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("cancel"));
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(cancel);
    m_choose = new QPushButton(panel.prompt, this);
    m_choose->setObjectName(QStringLiteral("choose"));
    m_choose->setDefault(true);
    connect(m_choose, &QPushButton::clicked, this, &QDialog::accept);
    buttons->addWidget(m_choose);
    column->addLayout(buttons);

    const fs::path start = panel.startingFolder ? *panel.startingFolder : platform::homeFolder();
    setFolder(isFolder(start) ? start : platform::homeFolder());
    // A path typed there and Return choose that folder, as in the desktop's own panels.
    m_location->setFocus();
}

void FolderChooser::accept()
{
    const QString typed = m_location->text().trimmed();
    if (typed != shown(m_folder)) {
        const auto path = typedPath(typed);
        if (!path || !isFolder(*path)) {
            m_location->selectAll();
            return;
        }
        setFolder(*path);
    }
    QDialog::accept();
}

void FolderChooser::setFolder(const fs::path& folder)
{
    if (folder.empty() || !isFolder(folder))
        return;
    m_folder = platform::standardized(folder);
    refresh();
}

std::vector<fs::path> FolderChooser::chosenFolders() const
{
    std::vector<fs::path> chosen;
    for (int row = 0; row < m_list->count(); ++row) {
        if (const QListWidgetItem* item = m_list->item(row); item->isSelected())
            chosen.push_back(pathOf(item));
    }
    if (chosen.empty() && !m_folder.empty())
        chosen.push_back(m_folder);
    return chosen;
}

std::vector<fs::path> FolderChooser::subfolders(const fs::path& folder, bool showHidden)
{
    std::vector<fs::path> folders;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const fs::path& entry = it->path();
        if (!showHidden && entry.filename().native().starts_with('.'))
            continue;
        std::error_code kindError;
        if (it->is_directory(kindError))
            folders.push_back(entry);
    }
    std::sort(folders.begin(), folders.end(), [](const fs::path& a, const fs::path& b) {
        const int order = shown(a.filename()).compare(shown(b.filename()), Qt::CaseInsensitive);
        return order != 0 ? order < 0 : a < b;
    });
    return folders;
}

void FolderChooser::refresh()
{
    m_location->setText(shown(m_folder));
    m_list->clear();
    const QIcon folderIcon = QFileIconProvider().icon(QFileIconProvider::Folder);
    for (const fs::path& folder : subfolders(m_folder, m_showHidden->isChecked())) {
        auto* item = new QListWidgetItem(folderIcon, shown(folder.filename()), m_list);
        item->setData(kPathRole, bytesOf(folder));
    }
}

std::optional<fs::path> FolderChooser::typedPath(const QString& typed)
{
    if (typed == QStringLiteral("~") || typed.startsWith(QStringLiteral("~/")))
        return platform::homeFolder() / fs::path(typed.mid(1).toStdString()).relative_path();
    const fs::path path(typed.toStdString());
    if (!path.is_absolute())
        return std::nullopt;
    return path;
}

void FolderChooser::createFolder()
{
    bool confirmed = false;
    const QString name =
        QInputDialog::getText(this, QStringLiteral("New Folder"), QStringLiteral("Name of the new folder:"), QLineEdit::Normal, {}, &confirmed)
            .trimmed();
    if (!confirmed || name.isEmpty())
        return;
    if (name.contains(u'/') || name == QStringLiteral(".") || name == QStringLiteral("..")) {
        QMessageBox::warning(this, QStringLiteral("New Folder"),
                             QStringLiteral("\"%1\" can't be the name of a folder.").arg(name));
        return;
    }
    const fs::path created = m_folder / name.toStdString();
    std::error_code error;
    fs::create_directory(created, error); // one that is there already is simply selected
    if (error) {
        QMessageBox::warning(this, QStringLiteral("New Folder"),
                             QStringLiteral("Couldn't create the folder \"%1\": %2.")
                                 .arg(name, QString::fromStdString(error.message())));
        return;
    }
    refresh();
    for (int row = 0; row < m_list->count(); ++row) {
        if (pathOf(m_list->item(row)) == created)
            m_list->setCurrentRow(row);
    }
}

} // namespace larkfold
