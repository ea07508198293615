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

#include "documents/DocumentText.h"
#include "documents/XmlReader.h"
#include "documents/ZipArchive.h"

namespace querna::fuzz {

std::string PackageFromFuzzInput(const uint8_t* data, size_t size);

// One of the Office Open XML readers.
using PackageReader = void (*)(ZipArchive& package, XmlReaders& xml, TextUnitSink& sink);

// Reads the package made of a fuzz input with `read`, through our XML tokenizer and under
// tight size limits. A DocumentError is an answer and is dropped; anything
// else leaves, for the fuzzer to report.
void ReadFuzzPackage(const uint8_t* data, size_t size, PackageReader read);

}  // namespace querna::fuzz
