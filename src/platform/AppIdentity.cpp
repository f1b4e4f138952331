#include "platform/AppIdentity.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>

namespace larkfold::platform {
namespace {

QString contextFolder(IconContext context)
{
    switch (context) {
    case IconContext::apps: return QStringLiteral("apps");
    case IconContext::status: return QStringLiteral("status");
    }
    return {};
}

// Larger first, so a server that scales the file down gets a sharp one.
bool largerSizeFirst(const QString& a, const QString& b)
{
    return a.section(QLatin1Char('x'), 0, 0).toInt() > b.section(QLatin1Char('x'), 0, 0).toInt();
}

} // namespace

QString dataFolderBesideProgram()
{
    if (!QCoreApplication::instance())
        return {};
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../share"));
}

QString iconFile(const QString& name, IconContext context, const QStringList& dataFolders)
{
    const QString folder = contextFolder(context);
    for (const QString& data : dataFolders) {
        const QDir theme(data + QStringLiteral("/icons/hicolor"));
        QStringList sizes = theme.entryList({QStringLiteral("*x*")}, QDir::Dirs | QDir::NoDotAndDotDot);
        std::sort(sizes.begin(), sizes.end(), largerSizeFirst);
        for (const QString& size : sizes) {
            const QString png = theme.filePath(size + QLatin1Char('/') + folder + QLatin1Char('/') + name + QStringLiteral(".png"));
            if (QFileInfo(png).isFile())
                return png;
        }
        const QString svg = theme.filePath(QStringLiteral("scalable/") + folder + QLatin1Char('/') + name + QStringLiteral(".svg"));
        if (QFileInfo(svg).isFile())
            return svg;
    }
    return {};
}

IconReference iconReference(const QString& name, IconContext context)
{
    return iconReference(name, context, QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation),
                         dataFolderBesideProgram());
}

IconReference iconReference(const QString& name, IconContext context, const QStringList& desktopDataFolders,
                            const QString& besideProgram)
{
    if (!iconFile(name, context, desktopDataFolders).isEmpty())
        return {name, {}};
    if (besideProgram.isEmpty())
        return {};
    return {{}, iconFile(name, context, {besideProgram})};
}

} // namespace larkfold::platform
