#pragma once

#include "platform/LoginItem.h"

#include <filesystem>
#include <optional>
#include <string>

namespace larkfold::platform {

// The login item as an XDG autostart entry, $XDG_CONFIG_HOME/autostart/larkfold.desktop (the name
// earlier versions wrote, so their entries go on working): the installed desktop entry with Exec
// the program's absolute path. Registering writes it whole and atomically (replacing one
// that would start something else), unregistering removes it.
class XdgAutostartLoginItem final : public LoginItem {
public:
    static constexpr const char* kFileName = "larkfold.desktop";

    // `executable`: the program to start, by default the running one; `autostartFolder`: by default
    // defaultAutostartFolder().
    explicit XdgAutostartLoginItem(std::filesystem::path executable = runningExecutable(),
                                   std::filesystem::path autostartFolder = defaultAutostartFolder());

    Status status() const override;
    QString registerItem() override;
    QString unregisterItem() override;

    const std::filesystem::path& entryPath() const { return m_entryPath; }

    // The absolute path of the running program.
    static std::filesystem::path runningExecutable();
    // $XDG_CONFIG_HOME/autostart when that is an absolute path, else ~/.config/autostart.
    static std::filesystem::path defaultAutostartFolder();
    // The entry's text for `executable`: the desktop entry's keys, that Exec and autostart switched
    // on; none when its path cannot be written into one.
    static std::optional<std::string> entryText(const std::filesystem::path& executable);

private:
    std::filesystem::path m_executable;
    std::filesystem::path m_entryPath;
};

} // namespace larkfold::platform
