#include "status/RestoreFixture.h"

#include "platform/UtilityTask.h"
#include "status/RestoreFileFilter.h"
#include "support/EventLoop.h"

#include <QStandardPaths>

namespace larkfold::test {

namespace fs = std::filesystem;

namespace {
constexpr int kWaitMs = 60'000;
}

RestoreFixture::RestoreFixture()
{
    pair.id = QUuid::createUuid();
    pair.name = QString::fromLatin1(kPairName);
    pair.sourceURL = tree.mkdir("source");
    pair.destinationURL = tree.mkdir("destination");
    pair.createdAt = QDateTime::currentDateTimeUtc();
    tree.mkdir(backupFolder());
}

RestoreFixture::~RestoreFixture()
{
    // Work a test left running must not outlive the folders it works in.
    platform::waitForUtilityTasks(kWaitMs);
    std::error_code error;
    fs::remove_all(fs::path(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation).toStdString()) / "Trash",
                   error);
}

fs::path RestoreFixture::backupFolder() const
{
    return tree.path("destination/Larkfold") / kPairName;
}

fs::path RestoreFixture::backUp(const std::string& relative, const std::string& content)
{
    return tree.write(backupFolder() / relative, content);
}

RestoreViewModel::Environment RestoreFixture::environment()
{
    RestoreViewModel::Environment environment;
    environment.prompts = &prompts;
    return environment;
}

std::vector<std::string> RestoreFixture::shownPaths(const RestoreViewModel& model)
{
    std::vector<std::string> paths;
    const auto* rows = model.filteredFiles();
    for (int row = 0; row < rows->rowCount(); ++row)
        paths.push_back(rows->index(row, 0).data(Qt::ToolTipRole).toString().toStdString());
    return paths;
}

void RestoreFixture::waitForFiles(const RestoreViewModel& model)
{
    ASSERT_TRUE(spinUntil([&] { return !model.isLoading(); }, kWaitMs));
}

void RestoreFixture::waitForRestore(const RestoreViewModel& model)
{
    ASSERT_TRUE(spinUntil([&] { return !model.restoreInProgress(); }, kWaitMs));
}

} // namespace larkfold::test
