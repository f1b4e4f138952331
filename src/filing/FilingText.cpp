#include "filing/FilingText.h"

#include <QFile>

namespace larkfold {
namespace {

bool isSpaceOrTab(QChar c)
{
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

} // namespace

QString quotedName(const QString& name)
{
    return u'"' + name + u'"';
}

QString fileCount(qsizetype count)
{
    return QString::number(count) + (count == 1 ? QStringLiteral(" file") : QStringLiteral(" files"));
}

QString filesAre(qsizetype count)
{
    return QString::number(count) + (count == 1 ? QStringLiteral(" file is") : QStringLiteral(" files are"));
}

QString trimmedSpacesAndTabs(const QString& text)
{
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && isSpaceOrTab(text[start]))
        ++start;
    while (end > start && isSpaceOrTab(text[end - 1]))
        --end;
    return text.mid(start, end - start);
}

QString pathText(const std::filesystem::path& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
}

std::filesystem::path pathFromText(const QString& text)
{
    return std::filesystem::path(QFile::encodeName(text).toStdString());
}

} // namespace larkfold
