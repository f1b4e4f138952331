#pragma once

#include <QString>

#include <filesystem>
#include <optional>

namespace larkfold::platform {

// The user's Trash (the freedesktop trash, in the home folder or at the top of the item's drive).
class Trash {
public:
    virtual ~Trash() = default;
    // Moves the file or folder into the Trash and returns where it went; none, with the reason in
    // `error`, when it stayed where it was.
    virtual std::optional<std::filesystem::path> moveToTrash(const std::filesystem::path& item,
                                                             QString* error = nullptr) const = 0;
};

class FreedesktopTrash final : public Trash {
public:
    std::optional<std::filesystem::path> moveToTrash(const std::filesystem::path& item,
                                                     QString* error = nullptr) const override;
};

Trash& systemTrash();

} // namespace larkfold::platform
