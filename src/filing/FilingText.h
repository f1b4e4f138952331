#pragma once

#include <QString>

#include <filesystem>

namespace larkfold {

// Words the filing texts share.

// `name` between straight double quotes.
QString quotedName(const QString& name);
// "1 file" or "3 files".
QString fileCount(qsizetype count);
// "1 file is" or "3 files are".
QString filesAre(qsizetype count);
// Spaces and tabs trimmed at both ends; line breaks stay.
QString trimmedSpacesAndTabs(const QString& text);

// A path's bytes as text, for display and for names typed by the user, and back.
QString pathText(const std::filesystem::path& path);
std::filesystem::path pathFromText(const QString& text);

} // namespace larkfold
