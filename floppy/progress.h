// The progress window of a floppy transfer as the core sees it, and the texts it
// shows.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/ui.h"

namespace kv {

enum class TransferKind {
    Read,   // "Reading disk"
    Write,  // "Write to disk"
};

// A modeless progress window, created when a transfer starts and destroyed when
// it ends. While it exists its owner (the dialog that started the transfer) is
// disabled, so that the user can only use the progress window; its Cancel button
// sets Session::transferCancelled and can be pressed once.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    // The drive line (static text 1015).
    virtual void SetDriveText(const std::string& text) = 0;
    // The percentage: its text (1012) and the progress bar (1011, range 0..100).
    virtual void SetPercent(std::uint32_t percent) = 0;
    // Handles every pending event of the user interface, so that the Cancel
    // button, painting and the rest stay alive during a transfer.
    virtual void PumpMessages() = 0;
    // The window that messages shown during the transfer are owned by.
    virtual WindowRef Window() const = 0;
};

// Creates the progress window of a transfer owned by `owner`; null when it
// cannot be created (the transfer then runs without one).
using ProgressFactory = std::function<std::unique_ptr<ProgressSink>(TransferKind kind, WindowRef owner)>;

// "Disk in %c:, capacity is %lu KBytes" with the drive's letter and the capacity
// in KB (rounded down).
std::string DriveCapacityText(std::uint32_t driveIndex, std::uint64_t capacityBytes);

// Shows DriveCapacityText in the progress window, when there is one.
void ShowDriveCapacity(ProgressSink* sink, std::uint32_t driveIndex, std::uint64_t capacityBytes);

// Moves the progress to current × 100 / total percent (rounded down) and pumps
// the events; nothing without a window. `total` is above 0.
void UpdateProgress(ProgressSink* sink, std::uint64_t current, std::uint64_t total);

}  // namespace kv
