#pragma once

#include <QString>
#include <QStringList>

namespace larkfold::platform {

// The one name the desktop knows the application by: its desktop entry's base name, its icon's
// name in the icon theme, its AppStream id and its desktop file name.
inline constexpr const char* kApplicationId = LARKFOLD_APPLICATION_ID;

// The folders of the icon theme that icons are sorted into.
enum class IconContext { apps, status };

// The program's data as installed beside it (<prefix>/share for <prefix>/bin/larkfold); the
// build tree lays its data out the same way.
QString dataFolderBesideProgram();

// Where the hicolor theme holds an icon of that name: the icon's file in the first of
// `dataFolders` that has it (any size), preferring a PNG; empty when none does.
QString iconFile(const QString& name, IconContext context, const QStringList& dataFolders);

// How to name an icon to a desktop service that looks icons up in its icon theme: by its name when
// it is installed where the desktop looks (the XDG data folders), else by the path of its file
// beside the program, else empty (no icon rather than a missing one).
struct IconReference {
    QString themeName;
    QString file;

    // The name, else the file.
    QString nameOrFile() const { return themeName.isEmpty() ? file : themeName; }
    bool operator==(const IconReference&) const = default;
};
IconReference iconReference(const QString& name, IconContext context);
IconReference iconReference(const QString& name, IconContext context, const QStringList& desktopDataFolders,
                            const QString& besideProgram);

} // namespace larkfold::platform
