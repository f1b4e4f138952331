#pragma once

#include "shell/VolumeMonitor.h"

#include <QString>

namespace larkfold {

// What kind of volume a destination row shows: a network volume, else an external drive, else
// a local drive.
struct VolumeKind {
    QString symbol; // the name of our symbol for it
    QString text;

    static VolumeKind of(const VolumeMonitor::VolumeInfo& volume);
    // The row's second line: the kind and the free space ("External Drive · 1.2 TB free").
    static QString detailLine(const VolumeMonitor::VolumeInfo& volume);

    bool operator==(const VolumeKind&) const = default;
};

} // namespace larkfold
