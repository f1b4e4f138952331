#include "store/BookmarkError.h"

namespace larkfold {

QString BookmarkError::errorDescription() const
{
    return QStringLiteral("Access denied for security-scoped resource at %1.").arg(QString::fromStdString(url.string()));
}

} // namespace larkfold
