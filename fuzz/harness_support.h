// What the fuzz targets share: a reader over the input bytes, a Ui that answers
// from them, the scratch folders every run works in, and the checks that hold
// for any open image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "document/image_document.h"
#include "platform/ui.h"

namespace kv::fuzz {

// Reads the input front to back; an exhausted input reads as zeros.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool Empty() const { return position_ >= size_; }
    std::size_t Remaining() const { return Empty() ? 0 : size_ - position_; }
    std::uint8_t Byte() { return Empty() ? 0 : data_[position_++]; }
    std::uint16_t Word() {
        std::uint16_t low = Byte();
        return static_cast<std::uint16_t>(low | (Byte() << 8));
    }
    // Up to `count` bytes (fewer when the input ends).
    std::string Text(std::size_t count);
    // Takes the rest of the input.
    std::vector<std::uint8_t> Rest();

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

// Answers every question with a button the box offers, chosen by the next
// input byte; without answers (or once they run out) with the safe one: No,
// Cancel or Abort. File dialogs confirm the queued paths, then cancel. Every
// text shown must be UTF-8 and not empty, and every operation must leave the
// arrow cursor behind.
class FuzzUi final : public Ui {
public:
    Input* answers = nullptr;
    std::deque<std::string> dialogPaths;
    int messages = 0;
    std::string lastText;
    std::string problem;  // the first malformed message
    Cursor cursor = Cursor::Arrow;

    int ShowMessageBox(WindowRef owner, const std::string& text, const std::string& caption,
                       std::uint32_t style) override;
    bool ChooseFile(WindowRef owner, const FileDialogRequest& request, FileDialogResult& result) override;
    void SetCursor(Cursor c) override { cursor = c; }
    void SetWindowTitle(const std::string& title) override;
    void EnableFileList(bool) override {}
};

// Well-formed UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsUtf8(const std::string& text);

// The folders of one process's runs, in the memory host (fuzz/memory_host.h):
// image.dsk and its side file, in/ for the host files that are added, jail/out/
// for extractions. Reset empties them.
class Scratch {
public:
    static Scratch& Get();
    void Reset();
    std::string Image() const { return (base_ / "image.dsk").string(); }
    std::filesystem::path In() const { return base_ / "in"; }
    std::filesystem::path Out() const { return base_ / "jail" / "out"; }
    // Empty when the scratch folder holds nothing but image.dsk, image.der,
    // in/ and jail/, jail/ nothing but out/, and out/ only regular files whose
    // names are in `allowed`.
    std::string CheckNothingOutside(const std::set<std::string>& allowed) const;

private:
    Scratch() = default;
    const std::filesystem::path base_ = "/fuzz";
};

// Files of the memory host: the bytes written, the bytes read (empty when the
// file is missing).
void WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size);
std::vector<std::uint8_t> ReadFile(const std::string& path);

// The checks that hold for any open image. Each gives an empty text or the
// violation.

// The rows are exactly the shown slots of the root directory (any order), each
// inside the root directory and the image.
std::string CheckRows(const Session& s, bool textsAsShown);

// Reads everything a user can look at: cells, clusters, the consistency
// report, the label, every chain.
std::string CheckReads(Session& s);

// Extracts every file twice: dragged out into Scratch::Out() (both passes),
// and with the Extract command (the save dialog confirms the same folder, so
// the replace question comes), then checks the folder.
std::string CheckExtraction(Session& s, FuzzUi& ui);

// The image's bytes as they are now.
std::vector<std::uint8_t> Snapshot(const ImageDocument& doc);

}  // namespace kv::fuzz
