#pragma once

#include "setup/SheetParts.h"
#include "shell/VolumeMonitor.h"

#include <functional>

namespace larkfold {

// A mounted volume offered as a destination: its kind, name and free space. Selection belongs to
// the owner, which builds the row again when it changes; a click only calls `onSelect`.
class VolumePickerRow : public RowButton {
    Q_OBJECT
public:
    VolumePickerRow(const VolumeMonitor::VolumeInfo& volume, bool isSelected, std::function<void()> onSelect,
                    bool reduceMotion, QWidget* parent = nullptr);

    const VolumeMonitor::VolumeInfo& volume() const { return m_volume; }
    // The leading green bar as drawn now: 0 (none) to 1.
    double accentBarOpacity() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    VolumeMonitor::VolumeInfo m_volume;
};

} // namespace larkfold
