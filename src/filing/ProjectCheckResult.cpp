#include "filing/ProjectCheckResult.h"

#include "filing/FilingText.h"

#include <QStringList>

namespace larkfold {

QString ProjectCheckResult::summary() const
{
    if (matches())
        return QStringLiteral("All ") + filesAre(expectedCount) + QStringLiteral(" present and the right size.");
    QStringList parts;
    if (!missing.empty())
        parts << filesAre(qsizetype(missing.size())) + QStringLiteral(" missing");
    if (!wrongSize.empty())
        parts << filesAre(qsizetype(wrongSize.size())) + QStringLiteral(" a different size than when this was archived");
    if (!differentContent.empty())
        parts << filesAre(qsizetype(differentContent.size())) + QStringLiteral(" not the same as the original");
    return parts.join(QStringLiteral(", ")) + u'.';
}

} // namespace larkfold
