#include "status/RunErrorsModel.h"

#include <QFile>
#include <QStringList>

#include <array>
#include <utility>

namespace larkfold {
namespace {

constexpr std::array<std::pair<const char*, const char*>, 14> kActions{{
    {"copy", "Copying"},
    {"verifySize", "Checking the copy"},
    {"archive", "Moving it to the backup trash"},
    {"createDirectory", "Making a folder"},
    {"validateDestination", "Checking the backup folder"},
    {"validateSource", "Checking the source folder"},
    {"validatePath", "Checking the folders"},
    {"sourceVolumeCheck", "Checking the source drive"},
    {"destinationVolumeCheck", "Checking the backup drive"},
    {"syncDestination", "Writing to the backup drive"},
    {"scan", "Reading the folder"},
    {"lockBackupFolder", "Locking the backup folder"},
    {"testWrite", "Writing a test file"},
    {"backup", "Backing up"},
}};

} // namespace

RunErrorsModel::RunErrorsModel(QString pairName, RunFileErrors errors)
    : m_pairName(std::move(pairName)), m_errors(std::move(errors))
{
    m_rows.reserve(m_errors.kept.size());
    for (const RunFileError& error : m_errors.kept)
        m_rows.push_back({QFile::decodeName(QByteArray::fromStdString(error.path.native())),
                          actionText(error.operation), error.message});
}

QString RunErrorsModel::title() const
{
    return QStringLiteral("Backup Problems — ") + m_pairName;
}

QString RunErrorsModel::heading() const
{
    if (m_errors.total == 0)
        return QStringLiteral("Nothing went wrong in the last backup of %1").arg(m_pairName);
    const QString problems
        = m_errors.total == 1 ? QStringLiteral("1 problem") : QStringLiteral("%1 problems").arg(m_errors.total);
    return QStringLiteral("%1 in the last backup of %2").arg(problems, m_pairName);
}

QString RunErrorsModel::shownNote() const
{
    if (m_errors.kept.size() >= m_errors.total)
        return {};
    return QStringLiteral("Showing the first %1 of %2.").arg(m_errors.kept.size()).arg(m_errors.total);
}

QString RunErrorsModel::clipboardText() const
{
    QStringList lines{heading()};
    if (const QString note = shownNote(); !note.isEmpty())
        lines << note;
    for (const Row& row : m_rows)
        lines << row.path + u'\t' + row.action + u'\t' + row.message;
    return lines.join(u'\n') + u'\n';
}

QString RunErrorsModel::actionText(const QString& operation)
{
    for (const auto& [label, text] : kActions) {
        if (operation == QLatin1String(label))
            return QString::fromUtf8(text);
    }
    return operation;
}

} // namespace larkfold
