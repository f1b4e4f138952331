#include "status/LearnTopic.h"

namespace larkfold {
namespace {

struct TopicText {
    const char* icon;
    const char* title;
    const char* subtitle;
    const char* explanation;
};

// The explanations say what this program really does; change them with the behaviour they describe.
constexpr TopicText kTopics[] = {
    {"shield.checkered", "Safe Copies", "Your files are never half-written.",
     "Larkfold first writes each file under a temporary name and only then moves it into place, in a single "
     "step. If the power goes out or a drive is unplugged in the middle of a copy, your earlier backup stays "
     "intact — you never end up with a half-written file."},
    {"checkmark.shield", "Copy Verification", "Every file is checked after copying.",
     "Right after each copy, Larkfold compares the size of the copy with the size of your file. A copy that "
     "doesn't match is deleted and made again at the next backup, so a failed copy never goes unnoticed."},
    {"waveform.badge.magnifyingglass", "Bit Rot Detection", "Catches silent corruption before it's too late.",
     "Any drive — hard disk or SSD — can slowly degrade, and a single flipped bit can spoil a photo years "
     "later. Larkfold records a fingerprint of every file it backs up and from time to time reads your backups "
     "again to compare them, so a file that changed silently is found while you can still restore it."},
    {"bolt.slash", "Disconnect Protection", "Yanking a cable won't destroy your backup.",
     "Larkfold keeps checking that your source and backup drives are connected. If either disappears during "
     "a backup, it stops at once and leaves your existing backups alone — it never deletes files because of a "
     "brief disconnection — and carries on by itself when the drive comes back."},
    {"tortoise", "Quiet Mode", "Backups never slow down your computer.",
     "While you're working on your computer — typing, browsing, editing — backups slow down so you won't "
     "notice them. After a couple of minutes without activity they run at full speed. There's nothing to set "
     "up."},
    {"battery.25percent", "Battery Awareness", "Won't drain your battery.",
     "Heavy backups pause while your computer runs on battery below 30 %, while Power Saver is on, or while "
     "your computer is running hot. They resume by themselves once you plug in or conditions improve."},
    {"doc.on.doc", "Large File Handling", "Videos and big files are handled with care.",
     "Files over 64 MB — videos, disk images, project files and the like — are copied in small chunks with "
     "their progress tracked, so a copy can be stopped partway and you can see how far each large file has "
     "got. Everything about a file comes along: its permissions, modification date and file manager tags."},
    {"trash.slash", "Safe Deletion", "Deleted files aren't gone immediately.",
     "Removing a file from your source never removes its backup. Larkfold moves the backup copy into a dated "
     "trash folder, where it stays until you delete it, so an accidental deletion can be undone. A safety "
     "guard refuses to do even that when an unusually large number of files would go at once — protection "
     "against deleting everything by mistake."},
    {"folder.badge.questionmark", "Path Safety", "We won't let you back up to the wrong place.",
     "Larkfold examines every destination you pick and refuses unsafe ones — system folders, your home folder "
     "itself, folders inside the source. Choosing a cloud-synced folder, such as Dropbox or Nextcloud, brings a "
     "warning, because cloud sync can undermine the reliability of a backup."},
};

} // namespace

std::vector<LearnTopic> learnTopics()
{
    std::vector<LearnTopic> topics;
    for (const TopicText& topic : kTopics) {
        topics.push_back({QUuid::createUuid(), QString::fromUtf8(topic.icon), QString::fromUtf8(topic.title),
                          QString::fromUtf8(topic.subtitle), QString::fromUtf8(topic.explanation)});
    }
    return topics;
}

} // namespace larkfold
