// Turns a fuzz input into the bytes of a zip package for the Office Open XML
// readers. An input that starts with "PK" is taken as an archive as it is.
// Any other input is a list of parts, each introduced by a line
// "@@@@ <part name>", and becomes an archive of those parts stored with
// correct sizes and CRCs, so that mutations reach the XML itself rather than
// the zip headers. tests/fuzz/make-seeds writes seeds in that form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace querna::fuzz {

std::string PackageFromFuzzInput(const uint8_t* data, size_t size);

}  // namespace querna::fuzz
