#include "copy/EditorDetector.h"

#include "platform/ChildProcess.h"
#include "platform/Utf8.h"

#include <algorithm>

namespace larkfold {

namespace {


} // namespace

const std::unordered_map<std::string, std::string>& editorApplications()
{
    static const std::unordered_map<std::string, std::string> table{
        {"com.apple.FinalCut", "Final Cut Pro"},
        {"com.apple.logic10", "Logic Pro"},
        {"com.apple.iMovieApp", "iMovie"},
        {"com.apple.garageband10", "GarageBand"},
        {"com.apple.MotionApp", "Motion"},
        {"com.apple.compressorxapp", "Compressor"},
        {"com.adobe.PremierePro.27", "Premiere Pro"},
        {"com.adobe.PremierePro.24", "Premiere Pro"},
        {"com.adobe.PremierePro", "Premiere Pro"},
        {"com.adobe.AfterEffects", "After Effects"},
        {"com.adobe.Photoshop", "Photoshop"},
        {"com.adobe.illustrator", "Illustrator"},
        {"com.adobe.InDesign", "InDesign"},
        {"com.adobe.Audition", "Audition"},
        {"com.adobe.LightroomClassicCC7", "Lightroom Classic"},
        {"com.adobe.Lightroom7", "Lightroom"},
        {"com.blackmagic-design.DaVinciResolve", "DaVinci Resolve"},
        {"com.avid.ProTools", "Pro Tools"},
        {"com.ableton.live", "Ableton Live"},
        {"com.steinberg.cubase13", "Cubase"},
        {"com.steinberg.cubase", "Cubase"},
        {"com.captureone.captureone16", "Capture One"},
        {"com.apple.Photos", "Photos"},
    };
    return table;
}

const RunningEditorFiles& noRunningEditors()
{
    static const RunningEditorFiles none;
    return none;
}

RunningEditorFiles runningEditorFiles(platform::RunningApplications& applications)
{
    return runningEditorFiles(applications, [](const std::string& pids) { return openFilePaths(pids); });
}

RunningEditorFiles runningEditorFiles(platform::RunningApplications& applications, const OpenFileLister& lister)
{
    const auto& table = editorApplications();
    std::string pids;
    std::vector<std::string> names;
    for (const platform::RunningApplication& application : applications.list()) {
        if (!application.identifier || application.pid < 1)
            continue;
        const auto editor = table.find(*application.identifier);
        if (editor == table.end())
            continue;
        if (!pids.empty())
            pids += ',';
        pids += std::to_string(application.pid);
        names.push_back(editor->second);
    }
    if (names.empty())
        return noRunningEditors();

    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return {std::move(names), lister(pids)};
}

std::unordered_set<std::string> openFilePaths(const std::string& pids, std::chrono::milliseconds timeLimit)
{
    // lsof escapes every non-ASCII byte in the C locale; under UTF-8 it prints valid UTF-8
    // names as they are, so they can match the scanned paths.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    const auto output = platform::runChildProcess(
        QStringLiteral("lsof"),
        {QStringLiteral("-p"), QString::fromStdString(pids), QStringLiteral("-F"), QStringLiteral("n"),
         QStringLiteral("-w")},
        timeLimit, environment);
    return output ? parseOpenFilePaths(*output) : std::unordered_set<std::string>{};
}

std::unordered_set<std::string> parseOpenFilePaths(const QByteArray& output)
{
    if (!platform::decodeUtf8(std::string_view(output.constData(), size_t(output.size()))))
        return {};

    std::unordered_set<std::string> paths;
    qsizetype start = 0;
    while (start < output.size()) {
        qsizetype end = output.indexOf('\n', start);
        if (end < 0)
            end = output.size();
        if (end - start >= 2 && output[start] == 'n' && output[start + 1] == '/')
            paths.emplace(output.constData() + start + 1, static_cast<size_t>(end - start - 1));
        start = end + 1;
    }
    return paths;
}

bool isOpenInEditor(const std::filesystem::path& file, const std::vector<std::string>& editorNames,
                    const std::unordered_set<std::string>& openPaths)
{
    if (editorNames.empty())
        return false;
    std::error_code ec;
    std::filesystem::path resolved = std::filesystem::weakly_canonical(file.lexically_normal(), ec);
    if (ec)
        resolved = file.lexically_normal();
    const std::string& path = resolved.native();
    if (openPaths.contains(path))
        return true;

    const std::string prefix = path.ends_with('/') ? path : path + '/';
    return std::any_of(openPaths.begin(), openPaths.end(),
                       [&](const std::string& open) { return open.starts_with(prefix); });
}

} // namespace larkfold
