#pragma once

#include "setup/SetupPrompts.h"

#include <QDialog>

#include <filesystem>
#include <optional>
#include <vector>

class QCheckBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace larkfold {

// The open panel of the setup flows. It lists folders by their names' bytes: Qt's own file
// dialog leaves out every name that is not valid UTF-8, so such a folder could not be chosen at
// all, and a path that went through its text would name another folder.
class FolderChooser : public QDialog {
    Q_OBJECT

public:
    // Opens in the panel's starting folder, else the home folder.
    explicit FolderChooser(const FolderPanel& panel, QWidget* parent = nullptr);

    // The folder whose subfolders are listed.
    const std::filesystem::path& folder() const { return m_folder; }
    // Lists `folder`'s subfolders; a path that is no folder changes nothing.
    void setFolder(const std::filesystem::path& folder);
    // The selected subfolders in the list's order, or the listed folder itself when none is selected.
    std::vector<std::filesystem::path> chosenFolders() const;

    // Chooses the folder typed into the location field when it differs from the one listed
    // (Return in the field comes here too); a typed path that is no folder keeps the panel open.
    void accept() override;

    // The folders in `folder` (links to folders too), sorted by name as shown, hidden ones only
    // when asked for.
    static std::vector<std::filesystem::path> subfolders(const std::filesystem::path& folder, bool showHidden);

private:
    void refresh();
    // An absolute path or one from "~"; typed text is taken as UTF-8.
    static std::optional<std::filesystem::path> typedPath(const QString& typed);
    void createFolder();

    FolderPanel m_panel;
    std::filesystem::path m_folder;
    QLineEdit* m_location = nullptr;
    QListWidget* m_places = nullptr;
    QListWidget* m_list = nullptr;
    QCheckBox* m_showHidden = nullptr;
    QPushButton* m_choose = nullptr;
};

} // namespace larkfold
