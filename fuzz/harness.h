// Fuzz targets over the core: each takes one input of arbitrary bytes, runs
// the operations a user could run on it, and checks the invariants that must
// hold whatever the input (nothing written outside the chosen folder, an
// image in memory never half-changed, every failure shown in words).
//
// The same functions serve the libFuzzer programs (fuzz/, built with clang
// when KORVANE_FUZZ is on) and the corpus replay in the normal test suite.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kv::fuzz {

// Each returns an empty text when every invariant held, otherwise the first
// violation found.

// Every target works on files in memory (fuzz/memory_host.h).

// The input is an image file (with or without a comment header): open it,
// list it, count its clusters, check it, follow every chain, format every
// cell, extract every file into a fresh folder, close it.
std::string OpenAndRead(const std::uint8_t* data, std::size_t size);

// Byte 0 is the length N of a script, the next N bytes the script, the rest
// the image: open it, then add host files and folders, delete, rename, set
// attributes and labels and save, as the script says; the same bytes answer
// the questions.
std::string Modify(const std::uint8_t* data, std::size_t size);

// The input is the custom format dialog's nine field texts, one per line: read
// them, show the capacity, confirm the dialog, and for an accepted geometry
// build the blank image and check it, add a file and read it back.
std::string CustomFormat(const std::uint8_t* data, std::size_t size);

// A floppy drive made of the input (which sectors fail and how often, the
// answers to the sector errors, when Cancel is pressed, the disk's bytes) is
// read into a new image, with the format of byte 0 or its own boot sector.
std::string FloppyRead(const std::uint8_t* data, std::size_t size);

// Byte 0 is the length N of a file name, the next N bytes the name (any bytes;
// "/" and NUL become "_"), the rest the image: korvane-cli's list, info and
// check output, text and JSON, of the image under that name must be valid
// UTF-8 and JSON, and text and messages hold no control characters.
std::string CliOutput(const std::uint8_t* data, std::size_t size);

// The targets by name ("open_and_read", "modify", "custom_format",
// "floppy_read", "cli_output"); null for an unknown name.
using Target = std::string (*)(const std::uint8_t* data, std::size_t size);
Target FindTarget(const std::string& name);

}  // namespace kv::fuzz
