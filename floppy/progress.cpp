#include "floppy/progress.h"

#include "platform/string_table.h"

namespace kv {

std::string DriveCapacityText(std::uint32_t driveIndex, std::uint64_t capacityBytes) {
    std::string letter(1, static_cast<char>('A' + driveIndex));
    return FillText(LoadText(str::kDriveCapacity).substr(0, 79), {letter, std::to_string(capacityBytes / 1024)});
}

void ShowDriveCapacity(ProgressSink* sink, std::uint32_t driveIndex, std::uint64_t capacityBytes) {
    if (sink != nullptr) sink->SetDriveText(DriveCapacityText(driveIndex, capacityBytes));
}

void UpdateProgress(ProgressSink* sink, std::uint64_t current, std::uint64_t total) {
    if (sink == nullptr || total == 0) return;
    sink->SetPercent(static_cast<std::uint32_t>(current * 100 / total));
    sink->PumpMessages();
}

}  // namespace kv
